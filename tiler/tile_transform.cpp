#include "tiler/tile_transform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

// Within each period of 8 pixels, across and down, the pixels 0..span-1 are
// the ones a tile writes: span = a + 1, but at most the whole period (for
// a = 8 the ninth row and column of the block fall on the next tile, which
// writes them again with the colours of row and column 0).

// Copies the first `span` pixels of each 8-pixel period of a row from `src` to
// `dst`, for pixels of `Bytes` bytes. SegBytes = span * Bytes is fixed at
// compile time so each copy is a couple of moves rather than a call.
template <int Bytes, int Span>
void CopyBands(std::uint8_t* dst, const std::uint8_t* src, int width, int firstPeriod) {
    constexpr int seg = Bytes * Span;
    int x = firstPeriod * 8;
    for (; x + Span <= width; x += 8)
        std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * Bytes,
                    src + static_cast<std::ptrdiff_t>(x) * Bytes, seg);
    if (x < width) // the last period, cut by the right edge
        std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * Bytes,
                    src + static_cast<std::ptrdiff_t>(x) * Bytes,
                    static_cast<size_t>(width - x) * Bytes);
}

// Row `src` and `dst` may be the same row when firstPeriod >= 1 and the source
// is the row's own first period.
template <int Bytes, int Span> void CopyBandsFromFirstPeriod(std::uint8_t* row, int width) {
    constexpr int seg = Bytes * Span;
    int x = 8;
    for (; x + Span <= width; x += 8)
        std::memcpy(row + static_cast<std::ptrdiff_t>(x) * Bytes, row, seg);
    if (x < width)
        std::memcpy(row + static_cast<std::ptrdiff_t>(x) * Bytes, row,
                    static_cast<size_t>(width - x) * Bytes);
}

template <int Bytes, int Span> void TileBytes(TBitmap& picture) {
    const int w = picture.Width();
    const int h = picture.Height();
    const size_t rowBytes = static_cast<size_t>(w) * Bytes;
    // Rows 0..span-1: repeat each row's first period across the row.
    for (int y = 0; y < std::min(Span, h); ++y)
        CopyBandsFromFirstPeriod<Bytes, Span>(picture.ScanLine(y), w);
    // Rows further down take their tiled pixels from row y mod 8.
    for (int y = 8; y < h; ++y) {
        const int source = y % 8;
        if (source >= Span)
            continue;
        std::uint8_t* dst = picture.ScanLine(y);
        const std::uint8_t* src = picture.ScanLine(source);
        if constexpr (Span == 8)
            std::memcpy(dst, src, rowBytes);
        else
            CopyBands<Bytes, Span>(dst, src, w, 0);
    }
}

template <int Bytes> void TileBytes(TBitmap& picture, int span) {
    switch (span) {
    case 3:
        return TileBytes<Bytes, 3>(picture);
    case 5:
        return TileBytes<Bytes, 5>(picture);
    default:
        return TileBytes<Bytes, 8>(picture);
    }
}

// Pictures of fewer than 8 bits per pixel: pixels packed most significant bits
// first, handled one pixel at a time.
class PackedRow {
  public:
    PackedRow(std::uint8_t* row, int bits) : row_(row), bits_(bits) {}
    unsigned Get(int x) const {
        const int bit = x * bits_;
        const int shift = 8 - bits_ - bit % 8;
        return (row_[bit / 8] >> shift) & ((1u << bits_) - 1);
    }
    void Set(int x, unsigned v) {
        const int bit = x * bits_;
        const int shift = 8 - bits_ - bit % 8;
        const unsigned mask = ((1u << bits_) - 1) << shift;
        row_[bit / 8] = static_cast<std::uint8_t>((row_[bit / 8] & ~mask) | ((v << shift) & mask));
    }

  private:
    std::uint8_t* row_;
    int bits_;
};

void TilePacked(TBitmap& picture, int span) {
    const int w = picture.Width();
    const int h = picture.Height();
    const int bits = picture.ScanLineBits();
    for (int y = 0; y < std::min(span, h); ++y) {
        PackedRow row(picture.ScanLine(y), bits);
        for (int x = 8; x < w; ++x)
            if (x % 8 < span)
                row.Set(x, row.Get(x % 8));
    }
    for (int y = 8; y < h; ++y) {
        const int source = y % 8;
        if (source >= span)
            continue;
        PackedRow dst(picture.ScanLine(y), bits);
        PackedRow src(picture.ScanLine(source), bits);
        for (int x = 0; x < w; ++x)
            if (x % 8 < span)
                dst.Set(x, src.Get(x));
    }
}

} // namespace

void TileTopLeftBlock(TBitmap& picture, int a) {
    if (a != 2 && a != 4 && a != 8)
        throw std::invalid_argument("block size must be 2, 4 or 8");
    if (picture.Empty())
        return; // every write of the tiles falls outside
    const int span = std::min(a + 1, 8);
    switch (picture.ScanLineBits()) {
    case 8:
        TileBytes<1>(picture, span);
        break;
    case 16:
        TileBytes<2>(picture, span);
        break;
    case 24:
        TileBytes<3>(picture, span);
        break;
    case 32:
        TileBytes<4>(picture, span);
        break;
    case 64:
        TileBytes<8>(picture, span);
        break;
    default:
        TilePacked(picture, span);
        break;
    }
    picture.Changed();
}
