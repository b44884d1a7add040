#pragma once

// The parts of the Windows BMP format that the form layer handles itself:
// the checks Qt's BMP reader leaves out (truncated pixel data, malformed RLE
// streams, top-down RLE, oversized pictures) and the writer for the pixel
// formats Qt's BMP writer cannot produce (8-bit with 16 palette entries or
// fewer, 16-bit and 32-bit, with or without bit fields).

#include "platform/forms/graphics.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <optional>

namespace bmp {

inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitFields = 3;

// What the headers of a BMP file say, once they have been checked.
struct Layout {
    int width = 0;
    int height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    TBitFields fields{}; // channel masks of a 16- or 32-bit file
    std::uint32_t pixelOffset = 0;
};

// Checks the headers and the pixel data of a whole BMP file that begins with
// "BM": known header size, sane dimensions within kPictureLimitPixels, a
// supported bit count and compression, pixel data that is all there, an RLE
// stream that stays inside the picture. Returns nothing on any fault.
std::optional<Layout> Inspect(const QByteArray& file);

// The pixels of an RLE4 or RLE8 file that Inspect accepted, as 8-bit palette
// indices; pixels the stream skips (deltas, early end of line or bitmap) get
// index 0. (Qt's reader leaves them as whatever the memory held.) The
// palette is not set. A null image on failure.
QImage DecodeRle(const QByteArray& file, const Layout& layout);

// Writes a BMP file with a 40-byte info header (108 bytes when the masks
// include alpha). `image` is the picture in any QImage format; indexed formats
// give 4 or 8 bits per pixel with their palette, the rest 16 or 32 bits with
// `fields`. bitsPerPixel is 4, 8, 16 or 32.
QByteArray Encode(const QImage& image, int bitsPerPixel, const TBitFields& fields);

// One channel value (0..255) placed into a mask, keeping its top bits; the
// inverse of the reader's scaling for masks of up to 8 bits.
std::uint32_t PackChannel(int value, std::uint32_t mask);
// The channel value (0..255) that Qt's reader gives for a packed pixel.
int UnpackChannel(std::uint32_t pixel, std::uint32_t mask);

} // namespace bmp
