// The block tiling transform against a literal run of its four nested loops
// (one canvas read and one canvas write per step), and against the outcome
// rule on the raw pixels, for every pixel format and a table of sizes.

#include "tiler/tile_transform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

// The transform as the loops describe it: c outermost, then d, i, j; each read
// followed at once by its write; reads and writes outside the picture included.
void LiteralTileTopLeftBlock(TBitmap& picture, int a) {
    TCanvas canvas = picture.Canvas();
    const int columns = picture.Width() / a;
    for (int c = 0; c <= columns; ++c) {
        const int rows = picture.Height() / a;
        for (int d = 0; d <= rows; ++d)
            for (int i = 0; i <= a; ++i)
                for (int j = 0; j <= a; ++j)
                    canvas.SetPixel(8 * c + i, 8 * d + j, canvas.Pixel(i, j));
    }
}

struct Format {
    const char* name;
    TPixelFormat format;
    std::optional<TBitFields> fields;
    int paletteSize;
};

const Format kFormats[] = {
    {"1bit", TPixelFormat::pf1bit, {}, 2},
    {"4bit", TPixelFormat::pf4bit, {}, 16},
    {"8bit", TPixelFormat::pf8bit, {}, 256},
    {"8bit_small_palette", TPixelFormat::pf8bit, {}, 5},
    {"16bit_555", TPixelFormat::pf16bit, kFields555, 0},
    {"16bit_565", TPixelFormat::pf16bit, kFields565, 0},
    {"16bit_4444", TPixelFormat::pf16bit, TBitFields{0x0F00, 0x00F0, 0x000F, 0xF000}, 0},
    {"24bit", TPixelFormat::pf24bit, {}, 0},
    {"32bit", TPixelFormat::pf32bit, {}, 0},
    {"32bit_alpha", TPixelFormat::pf32bit, kFields8888, 0},
};

struct Size {
    int w, h;
};

const Size kSizes[] = {{0, 0},  {1, 1}, {8, 8},  {9, 9},   {16, 16},   {20, 3},   {3, 20},
                       {17, 9}, {7, 1}, {1, 30}, {65, 66}, {257, 131}, {333, 17}, {1001, 37}};

// The raw bits of one pixel, whatever the format.
std::uint64_t RawPixel(const TBitmap& b, int x, int y) {
    const int bits = b.ScanLineBits();
    const std::uint8_t* row = b.ScanLine(y);
    if (bits < 8) {
        const int bit = x * bits;
        return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    std::uint64_t v = 0;
    std::memcpy(&v, row + static_cast<size_t>(x) * (bits / 8), static_cast<size_t>(bits / 8));
    return v;
}

TBitmap RandomPicture(const Format& f, int w, int h, std::mt19937& rng) {
    std::vector<TColor> palette;
    for (int i = 0; i < f.paletteSize; ++i)
        palette.push_back(static_cast<TColor>(rng() & 0xFFFFFF));
    if (f.paletteSize > 3)
        palette[2] = palette[1]; // a repeated entry: colours alike, indices not
    TBitmap b(w, h, f.format, palette, f.fields);
    const QImage::Format memory = b.Image().format();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        const int bytes = static_cast<int>(b.Image().bytesPerLine());
        for (int i = 0; i < bytes; ++i)
            row[i] = static_cast<std::uint8_t>(rng());
        for (int x = 0; x < w; ++x) {
            if (memory == QImage::Format_Indexed8)
                row[x] = static_cast<std::uint8_t>(row[x] % f.paletteSize);
            else if (memory == QImage::Format_RGB32)
                row[4 * x + 3] = 0xFF;
            else if (memory == QImage::Format_RGB555)
                row[2 * x + 1] &= 0x7F;
            else if (f.fields && f.fields->alpha == 0xF000) // 4 bits a channel
                for (int k = 0; k < 4; ++k)
                    row[4 * x + k] &= 0xF0;
        }
    }
    return b;
}

void ExpectTransformMatches(const Format& format, Size size, int a) {
    std::mt19937 rng(static_cast<unsigned>(size.w * 7919 + size.h * 31 + a));
    const TBitmap before = RandomPicture(format, size.w, size.h, rng);

    TBitmap literal = before;
    LiteralTileTopLeftBlock(literal, a);
    TBitmap fast = before;
    TileTopLeftBlock(fast, a);

    ASSERT_EQ(fast.Width(), before.Width());
    ASSERT_EQ(fast.Height(), before.Height());
    ASSERT_EQ(fast.PixelFormat(), before.PixelFormat());
    for (int y = 0; y < size.h; ++y)
        for (int x = 0; x < size.w; ++x) {
            ASSERT_EQ(fast.Pixel(x, y), literal.Pixel(x, y)) << "at " << x << "," << y;
            const bool tiled = x % 8 <= a && y % 8 <= a;
            const std::uint64_t expected =
                tiled ? RawPixel(before, x % 8, y % 8) : RawPixel(before, x, y);
            ASSERT_EQ(RawPixel(fast, x, y), expected) << "raw at " << x << "," << y;
        }

    // A second run with the same block size changes nothing.
    TBitmap again = fast;
    TileTopLeftBlock(again, a);
    for (int y = 0; y < size.h; ++y)
        for (int x = 0; x < size.w; ++x)
            ASSERT_EQ(RawPixel(again, x, y), RawPixel(fast, x, y));
}

void PrintTo(const Format& f, std::ostream* os) {
    *os << f.name;
}

class TileTopLeftBlockTable : public testing::TestWithParam<Format> {};

// Every size of the table with every block size, in one pixel format.
TEST_P(TileTopLeftBlockTable, MatchesLiteralLoopsAndOutcomeRule) {
    for (const Size& size : kSizes)
        for (int a : {2, 4, 8}) {
            SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h) +
                         " a=" + std::to_string(a));
            ExpectTransformMatches(GetParam(), size, a);
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, TileTopLeftBlockTable, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<Format>& info) {
                             return std::string(info.param.name);
                         });

TBitmap Numbered(int w, int h) {
    TBitmap b(w, h, TPixelFormat::pf32bit);
    TCanvas canvas = b.Canvas();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            canvas.SetPixel(x, y, RGBToColor(x, y, 7));
    return b;
}

TEST(TileTopLeftBlock, NineByNineWithEightOverwritesColumnAndRowEight) {
    TBitmap b = Numbered(9, 9);
    TileTopLeftBlock(b, 8);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(b.Pixel(x, y), RGBToColor(x % 8, y % 8, 7)) << x << "," << y;
}

TEST(TileTopLeftBlock, LowPictureKeepsGapsAndTakesNothingFromOutside) {
    TBitmap b = Numbered(20, 3);
    TileTopLeftBlock(b, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 20; ++x) {
            const int source = x % 8 <= 4 ? x % 8 : x;
            EXPECT_EQ(b.Pixel(x, y), RGBToColor(source, y, 7)) << x << "," << y;
        }
}

TEST(TileTopLeftBlock, EightAfterTwoEqualsEightAloneAndTwoAfterEightChangesNothing) {
    std::mt19937 rng(5);
    const TBitmap p = RandomPicture(kFormats[8], 43, 29, rng);
    TBitmap eight = p;
    TileTopLeftBlock(eight, 8);
    TBitmap twoThenEight = p;
    TileTopLeftBlock(twoThenEight, 2);
    TileTopLeftBlock(twoThenEight, 8);
    TBitmap eightThenTwo = eight;
    TileTopLeftBlock(eightThenTwo, 2);
    EXPECT_EQ(twoThenEight.Image(), eight.Image());
    EXPECT_EQ(eightThenTwo.Image(), eight.Image());
}

TEST(TileTopLeftBlock, EmptyPictureStaysEmptyAndBadBlockSizeIsRefused) {
    TBitmap empty;
    TileTopLeftBlock(empty, 8);
    EXPECT_TRUE(empty.Empty());
    TBitmap b = Numbered(4, 4);
    for (int a : {0, 1, 3, 9, -2})
        EXPECT_THROW(TileTopLeftBlock(b, a), std::invalid_argument) << a;
}

TEST(TileTopLeftBlock, NotifiesTheListenerOnce) {
    TBitmap b = Numbered(16, 16);
    int calls = 0;
    b.OnChange = [&] { ++calls; };
    TileTopLeftBlock(b, 4);
    EXPECT_EQ(calls, 1);
}

} // namespace
