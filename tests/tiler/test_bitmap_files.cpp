// Loading and saving BMP files through TBitmap: the public BMP test suite
// (good files round-trip, bad ones are refused cleanly), the failure texts,
// a failed load or save leaving everything as it was, and each pixel format
// written in its own bit count.

#include "platform/forms/exception.h"
#include "platform/forms/graphics.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <random>
#include <string>

#ifndef BMPSUITE_DIR
#error "BMPSUITE_DIR must name the BMP test suite folder"
#endif

namespace {

const QString kNotValid = QStringLiteral("Bitmap image is not valid");

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

int BitsInHeader(const QByteArray& file) {
    const int at = file[14] == 12 ? 24 : 28; // the 12-byte header has 16-bit sizes
    return static_cast<unsigned char>(file[at]) | (static_cast<unsigned char>(file[at + 1]) << 8);
}

// Runs `f` and returns the text of the Exception it throws ("" if none).
template <typename F> QString ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << "at " << x << "," << y;
    // Alpha, where there is one, survives too.
    if (a.Image().hasAlphaChannel()) {
        ASSERT_TRUE(b.Image().hasAlphaChannel());
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                ASSERT_EQ(qAlpha(a.Image().pixel(x, y)), qAlpha(b.Image().pixel(x, y)));
    }
}

// Saving and loading again gives the same format, bit count and pixels.
void ExpectRoundTrip(const TBitmap& loaded, int bitsInFile) {
    const QByteArray saved = loaded.SaveToBytes();
    ASSERT_GE(saved.size(), 54);
    EXPECT_EQ(BitsInHeader(saved), bitsInFile);
    TBitmap again;
    again.LoadFromBytes(saved);
    EXPECT_EQ(again.PixelFormat(), loaded.PixelFormat());
    ExpectSamePixels(loaded, again);
}

// ---------------------------------------------------------------- bmpsuite

// Good files load in the bit count of their header and survive a save and a
// load with the same pixels; questionable and bad files load (and then
// round-trip too) or give "Bitmap image is not valid"; nothing crashes.
TEST(BmpSuite, EveryFileOfTheSuite) {
    int files = 0;
    for (const char* folder : {"g", "q", "b"}) {
        const QDir dir(QStringLiteral(BMPSUITE_DIR "/") + QLatin1String(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*.bmp")}, QDir::Files)) {
            ++files;
            const QString path = dir.filePath(name);
            SCOPED_TRACE(path.toStdString());
            const QByteArray original = ReadAll(path);
            TBitmap bitmap;
            QString error;
            try {
                bitmap.LoadFromFile(path);
            } catch (const Exception& e) {
                error = e.Message();
            }
            if (QLatin1String(folder) == QLatin1String("g")) {
                ASSERT_TRUE(error.isEmpty()) << error.toStdString();
                ASSERT_FALSE(bitmap.Empty());
                EXPECT_EQ(BitsPerPixel(bitmap.PixelFormat()), BitsInHeader(original));
            } else if (!error.isEmpty()) {
                EXPECT_EQ(error, kNotValid);
                EXPECT_TRUE(bitmap.Empty()); // a failed load leaves the picture as it was
                continue;
            }
            ExpectRoundTrip(bitmap, BitsPerPixel(bitmap.PixelFormat()));
        }
    }
    EXPECT_GT(files, 0) << "the suite is missing from " BMPSUITE_DIR;
}

TEST(BmpSuiteContents, BadFilesThatAreTrulyBrokenAreRefused) {
    // These cannot be read safely or truthfully: cut short, runs past the row,
    // indices past the palette, impossible sizes and header values.
    for (const char* name :
         {"shortfile", "badrle", "badrle4", "badrlebis", "badrleter", "badrle4bis", "badrle4ter",
          "pal8badindex", "reallybig", "rletopdown", "badwidth", "badheadersize", "badbitcount",
          "badplanes", "badpalettesize"}) {
        TBitmap b;
        EXPECT_EQ(
            ErrorOf([&] { b.LoadFromFile(QStringLiteral(BMPSUITE_DIR "/b/%1.bmp").arg(name)); }),
            kNotValid)
            << name;
    }
}

// ------------------------------------------------------- crafted headers

QByteArray SmallBmp() {
    TBitmap b(5, 3, TPixelFormat::pf24bit);
    b.Canvas().SetPixel(1, 1, RGBToColor(10, 20, 30));
    return b.SaveToBytes();
}

void Put32(QByteArray& b, int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

TEST(BitmapLoad, ForgedHeadersAreRefusedWithoutAllocating) {
    struct Forgery {
        const char* what;
        int at;
        std::uint32_t value;
    };
    const Forgery forgeries[] = {
        {"header size huge", 14, 0xFFFFFFFF},
        {"header size 0", 14, 0},
        {"width negative", 18, static_cast<std::uint32_t>(-5)},
        {"width zero", 18, 0},
        {"height INT32_MIN", 22, 0x80000000},
        {"height zero", 22, 0},
        {"width huge", 18, 0x7FFFFFFF},
        {"height huge", 22, 0x7FFFFFFF},
        {"pixel offset past end", 10, 0x7FFFFFF0},
        {"pixel offset inside header", 10, 20},
        {"bit count 0", 28, 0},
        {"compression unknown", 30, 7},
        {"compression RLE8 on 24 bits", 30, 1},
    };
    for (const Forgery& f : forgeries) {
        QByteArray bytes = SmallBmp();
        if (f.at == 28)
            bytes[28] = bytes[29] = 0;
        else
            Put32(bytes, f.at, f.value);
        TBitmap b(2, 2, TPixelFormat::pf8bit);
        EXPECT_EQ(ErrorOf([&] { b.LoadFromBytes(bytes); }), kNotValid) << f.what;
        EXPECT_EQ(b.Width(), 2) << f.what;
    }
    // Cut anywhere inside the headers or the pixels.
    const QByteArray whole = SmallBmp();
    for (int n = 14; n < whole.size(); ++n) {
        TBitmap b;
        EXPECT_EQ(ErrorOf([&] { b.LoadFromBytes(whole.left(n)); }), kNotValid) << n;
    }
}

TEST(BitmapLoad, BitFieldMasksMustBeRunsOfBitsThatDoNotOverlap) {
    // A 32-bit picture with masks as given after the 40-byte header.
    auto withMasks = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        TBitmap picture(3, 2, TPixelFormat::pf32bit, {}, TBitFields{0xFF, 0xFF00, 0xFF0000, 0});
        QByteArray bytes = picture.SaveToBytes();
        Put32(bytes, 54, r);
        Put32(bytes, 58, g);
        Put32(bytes, 62, b);
        return bytes;
    };
    struct Case {
        const char* what;
        std::uint32_t r, g, b;
        bool valid;
    };
    const Case cases[] = {
        {"bgr order", 0xFF, 0xFF00, 0xFF0000, true},
        {"10-10-10", 0x3FF00000, 0x000FFC00, 0x000003FF, true},
        {"blue missing", 0xFF0000, 0xFF00, 0, true},
        {"red not one run", 0x54E00000, 0xFF00, 0xFF, false},
        {"green overlaps red", 0xFF0000, 0x1FF00, 0xFF, false},
        {"all ones", 0xFFFFFFFF, 0xFF00, 0xFF, false},
    };
    for (const Case& c : cases) {
        TBitmap b;
        EXPECT_EQ(ErrorOf([&] { b.LoadFromBytes(withMasks(c.r, c.g, c.b)); }),
                  c.valid ? QString() : kNotValid)
            << c.what;
    }
}

TEST(BitmapLoad, RunLengthPicturesMatchTheirUncompressedTwinsAndSkippedPixelsAreDefined) {
    auto load = [](const char* name) {
        TBitmap b;
        b.LoadFromFile(QStringLiteral(BMPSUITE_DIR "/") + QLatin1String(name));
        return b;
    };
    for (auto [rle, plain] :
         {std::pair{"g/pal4rle.bmp", "g/pal4.bmp"}, std::pair{"g/pal8rle.bmp", "g/pal8.bmp"}}) {
        SCOPED_TRACE(rle);
        ExpectSamePixels(load(rle), load(plain));
    }
    // Runs cut short and deltas leave pixels the stream never writes: they
    // get palette entry 0, the same on every load whatever memory held before.
    for (auto [rle, plain] :
         {std::pair{"q/pal4rletrns.bmp", "g/pal4.bmp"}, std::pair{"q/pal4rlecut.bmp", "g/pal4.bmp"},
          std::pair{"q/pal8rletrns.bmp", "g/pal8.bmp"},
          std::pair{"q/pal8rlecut.bmp", "g/pal8.bmp"}}) {
        SCOPED_TRACE(rle);
        const TBitmap first = load(rle);
        {
            std::vector<unsigned char> dirt(1 << 20, 0xAB); // leave garbage on the heap
            ASSERT_EQ(dirt[12345], 0xAB);
        }
        const TBitmap second = load(rle);
        ASSERT_EQ(first.Image(), second.Image());
        const TBitmap twin = load(plain);
        const TColor skipped = first.Palette().at(0);
        int skippedPixels = 0;
        for (int y = 0; y < first.Height(); ++y)
            for (int x = 0; x < first.Width(); ++x) {
                ASSERT_EQ(first.Image().pixelIndex(x, y) < first.Image().colorCount(), true);
                if (first.Pixel(x, y) != twin.Pixel(x, y)) {
                    ASSERT_EQ(first.Pixel(x, y), skipped) << x << "," << y;
                    ++skippedPixels;
                }
            }
        EXPECT_GT(skippedPixels, 0);
    }
}

// ------------------------------------------------------ failure texts

class BitmapFiles : public testing::Test {
  protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(BitmapFiles, LoadFailureTextsAndPictureLeftAsItWas) {
    const QByteArray good = SmallBmp();
    struct Case {
        const char* what;
        QByteArray content; // null: no such file
        QString expected;
    };
    const QString missing = Path(QStringLiteral("no such file.bmp"));
    const Case cases[] = {
        {"one byte", QByteArray("B"), QStringLiteral("Stream read error")},
        {"13 bytes", good.left(13), QStringLiteral("Stream read error")},
        {"14 bytes, header only", good.left(14), kNotValid},
        {"icon", QByteArray("\0\0\1\0\1\0\20\20\0\0\1\0\4\0\50\1\0\0", 18), kNotValid},
        {"metafile", QByteArray("\1\0\0\0\x6c\0\0\0\0\0\0\0\0\0\0\0", 16), kNotValid},
        {"BA instead of BM", QByteArray("BA") + good.mid(2), kNotValid},
    };
    for (const Case& c : cases) {
        const QString path = Path(QStringLiteral("case.bmp"));
        WriteAll(path, c.content);
        TBitmap b(3, 2, TPixelFormat::pf32bit);
        b.Canvas().SetPixel(2, 1, RGBToColor(1, 2, 3));
        const TBitmap before = b;
        EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(path); }), c.expected) << c.what;
        EXPECT_EQ(b.Image(), before.Image()) << c.what;
        EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit) << c.what;
    }
    TBitmap b(3, 2, TPixelFormat::pf32bit);
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(missing); }),
              QStringLiteral("Cannot open file ") + missing);
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(dir.path()); }),
              QStringLiteral("Cannot open file ") + dir.path());
    EXPECT_EQ(b.Width(), 3);
}

TEST_F(BitmapFiles, PipesAndDevicesAreRefusedWithoutWaiting) {
    const QString fifo = Path(QStringLiteral("pipe.bmp"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TBitmap b(2, 2, TPixelFormat::pf24bit);
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(fifo); }), QStringLiteral("Cannot open file ") + fifo);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(fifo); }), QStringLiteral("Cannot create file ") + fifo);
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile()) << "the pipe stays";
    const QString device = QStringLiteral("/dev/null");
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(device); }),
              QStringLiteral("Cannot open file ") + device);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(device); }),
              QStringLiteral("Cannot create file ") + device);
    EXPECT_EQ(b.Width(), 2);
}

TEST_F(BitmapFiles, EmptyFileGivesEmptyPictureAndEmptyPictureGivesEmptyFile) {
    const QString path = Path(QStringLiteral("empty.bmp"));
    WriteAll(path, QByteArray());
    TBitmap b(4, 4, TPixelFormat::pf8bit);
    b.LoadFromFile(path);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);

    const QString saved = Path(QStringLiteral("saved.bmp"));
    WriteAll(saved, QByteArray("old contents"));
    TBitmap().SaveToFile(saved);
    EXPECT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(QFileInfo(saved).size(), 0);
}

TEST_F(BitmapFiles, SaveFailureTexts) {
    const TBitmap b(2, 2, TPixelFormat::pf24bit);
    const QString inMissingFolder = Path(QStringLiteral("missing/x.bmp"));
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(inMissingFolder); }),
              QStringLiteral("Cannot create file ") + inMissingFolder);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(dir.path()); }),
              QStringLiteral("Cannot create file ") + dir.path());
}

// A write that fails half-way (here: the file size limit of the process) must
// report "Stream write error" and leave the existing file as it was.
TEST_F(BitmapFiles, FailedWriteLeavesTheExistingFileUntouched) {
    const QString target = Path(QStringLiteral("target.bmp"));
    const QByteArray old("the picture saved before");
    WriteAll(target, old);
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup);
    const TBitmap big(512, 512, TPixelFormat::pf32bit); // 1 MiB of pixels

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = ErrorOf([&] { big.SaveToFile(target); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(error, QStringLiteral("Stream write error"));
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";

    // A save that succeeds replaces the file and keeps its permissions.
    big.SaveToFile(target);
    EXPECT_EQ(QFileInfo(target).size(), big.SaveToBytes().size());
    EXPECT_EQ(QFileInfo(target).permissions() & 0x0777,
              (QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup) & 0x0777);
}

// --------------------------------------------- formats written as they are

TEST(BitmapSave, EveryPixelFormatIsWrittenInItsOwnBitCountAndReadsBack) {
    struct Case {
        const char* what;
        TPixelFormat format;
        std::optional<TBitFields> fields;
        int paletteSize;
    };
    const Case cases[] = {
        {"1bit", TPixelFormat::pf1bit, {}, 2},
        {"4bit", TPixelFormat::pf4bit, {}, 16},
        {"4bit, 3 colours", TPixelFormat::pf4bit, {}, 3},
        {"8bit", TPixelFormat::pf8bit, {}, 256},
        {"8bit, 7 colours", TPixelFormat::pf8bit, {}, 7},
        {"16bit 555", TPixelFormat::pf16bit, kFields555, 0},
        {"16bit 565", TPixelFormat::pf16bit, kFields565, 0},
        {"16bit 4444", TPixelFormat::pf16bit, TBitFields{0x0F00, 0x00F0, 0x000F, 0xF000}, 0},
        {"24bit", TPixelFormat::pf24bit, {}, 0},
        {"32bit", TPixelFormat::pf32bit, {}, 0},
        {"32bit alpha", TPixelFormat::pf32bit, kFields8888, 0},
        {"32bit bgr order", TPixelFormat::pf32bit, TBitFields{0xFF, 0xFF00, 0xFF0000, 0}, 0},
    };
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        for (int width : {1, 2, 3, 4, 5, 13}) { // every row padding
            std::vector<TColor> palette;
            for (int i = 0; i < c.paletteSize; ++i)
                palette.push_back(static_cast<TColor>(rng() & 0xFFFFFF));
            TBitmap b(width, 3, c.format, palette, c.fields);
            TCanvas canvas = b.Canvas();
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x)
                    canvas.SetPixel(x, y,
                                    c.paletteSize ? palette[rng() % palette.size()]
                                                  : static_cast<TColor>(rng() & 0xFFFFFF));
            SCOPED_TRACE(std::string(c.what) + " width " + std::to_string(width));
            ExpectRoundTrip(b, BitsPerPixel(c.format));
        }
    }
}

TEST(BitmapPixels, ReadsOutsideGiveNoColourAndWritesOutsideChangeNothing) {
    TBitmap b(3, 2, TPixelFormat::pf24bit);
    TCanvas canvas = b.Canvas();
    canvas.SetPixel(0, 0, RGBToColor(255, 255, 255));
    const QImage before = b.Image();
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {INT32_MIN, INT32_MAX}}) {
        EXPECT_EQ(canvas.Pixel(x, y), kNoColor);
        canvas.SetPixel(x, y, RGBToColor(1, 2, 3));
    }
    EXPECT_EQ(b.Image(), before);
    EXPECT_EQ(canvas.Pixel(0, 0), RGBToColor(255, 255, 255));
    EXPECT_EQ(TBitmap().Pixel(0, 0), kNoColor);
}

} // namespace
