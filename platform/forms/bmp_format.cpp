#include "platform/forms/bmp_format.h"

#include <bit>
#include <cstring>

namespace bmp {
namespace {

constexpr std::int64_t kFileHeaderSize = 14;

std::uint16_t U16(const QByteArray& b, std::int64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const QByteArray& b, std::int64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool KnownHeaderSize(std::uint32_t size) {
    switch (size) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

// Walks an RLE4 or RLE8 stream: every run and every delta must stay inside
// the picture, and the stream must end with an end-of-bitmap code before the
// data runs out. With `out` (an 8-bit indexed picture of the right size, all
// index 0) the runs are written into it as well; pixels the stream skips keep
// index 0.
bool WalkRle(const QByteArray& file, std::int64_t at, int width, int height, bool fourBit,
             QImage* out) {
    const std::int64_t end = file.size();
    const auto* p = reinterpret_cast<const unsigned char*>(file.constData());
    std::int64_t x = 0;
    std::int64_t y = 0; // rows counted from the bottom
    auto row = [&]() { return out->scanLine(static_cast<int>(height - 1 - y)); };
    while (true) {
        if (end - at < 2)
            return false; // the stream ends without end-of-bitmap
        const int count = p[at];
        const int code = p[at + 1];
        at += 2;
        if (count > 0) { // a run of one value (RLE8) or two alternating values (RLE4)
            if (y >= height || x + count > width)
                return false;
            if (out != nullptr) {
                uchar* r = row();
                for (int i = 0; i < count; ++i)
                    r[x + i] =
                        static_cast<uchar>(fourBit ? ((i & 1) ? code & 0x0F : code >> 4) : code);
            }
            x += count;
            continue;
        }
        if (code == 0) { // end of line
            x = 0;
            ++y;
            if (y > height)
                return false;
        } else if (code == 1) { // end of bitmap
            return true;
        } else if (code == 2) { // delta: move right dx, up dy
            if (end - at < 2)
                return false;
            const int dx = p[at];
            const int dy = p[at + 1];
            at += 2;
            x += dx;
            y += dy;
            if (x > width || y >= height)
                return false;
        } else { // absolute run of `code` pixels, padded to a 16-bit boundary
            if (y >= height || x + code > width)
                return false;
            const std::int64_t bytes = fourBit ? (code + 1) / 2 : code;
            const std::int64_t padded = bytes + (bytes & 1);
            if (end - at < padded)
                return false;
            if (out != nullptr) {
                uchar* r = row();
                for (int i = 0; i < code; ++i) {
                    const int byte = p[at + (fourBit ? i / 2 : i)];
                    r[x + i] =
                        static_cast<uchar>(fourBit ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte);
                }
            }
            at += padded;
            x += code;
        }
    }
}

} // namespace

std::optional<Layout> Inspect(const QByteArray& file) {
    const std::int64_t size = file.size();
    if (size < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const std::uint32_t headerSize = U32(file, 14);
    if (!KnownHeaderSize(headerSize) || size < kFileHeaderSize + headerSize)
        return std::nullopt;

    Layout layout;
    layout.pixelOffset = U32(file, 10);
    std::int64_t width = 0;
    std::int64_t height = 0;
    int planes = 0;
    if (headerSize == 12) {
        width = U16(file, 18);
        height = U16(file, 20);
        planes = U16(file, 22);
        layout.bitsPerPixel = U16(file, 24);
    } else {
        width = static_cast<std::int32_t>(U32(file, 18));
        height = static_cast<std::int32_t>(U32(file, 22));
        planes = U16(file, 26);
        layout.bitsPerPixel = U16(file, 28);
        if (headerSize >= 20)
            layout.compression = U32(file, 30);
    }
    if (planes != 1 || width <= 0 || height == 0)
        return std::nullopt;
    if (height < 0) {
        layout.topDown = true;
        height = -height; // int64: no overflow for INT32_MIN
    }
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || width * height > kPictureLimitPixels)
        return std::nullopt;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);

    const int bpp = layout.bitsPerPixel;
    switch (layout.compression) {
    case kRgb:
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            return std::nullopt;
        break;
    case kRle8:
        if (bpp != 8 || layout.topDown)
            return std::nullopt;
        break;
    case kRle4:
        if (bpp != 4 || layout.topDown)
            return std::nullopt;
        break;
    case kBitFields:
        if (bpp != 16 && bpp != 32)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }

    // Channel masks: in the header from the 52-byte version on, else right after
    // a 40-byte header; fixed layouts without bit fields.
    if (layout.compression == kBitFields) {
        // The masks follow the first 40 bytes of the info header, inside it
        // from the 52-byte version on. (In the 64-byte OS/2 header the value 3
        // means Huffman coding, which is not supported.)
        if (headerSize < 40 || headerSize == 64)
            return std::nullopt;
        const std::int64_t at = kFileHeaderSize + 40;
        if (size < at + 12)
            return std::nullopt;
        layout.fields.red = U32(file, at);
        layout.fields.green = U32(file, at + 4);
        layout.fields.blue = U32(file, at + 8);
        if (headerSize >= 56)
            layout.fields.alpha = U32(file, at + 12);
        // Each mask one run of bits, no two masks sharing a bit: anything else
        // has no single meaning, and would not survive saving.
        const TBitFields& m = layout.fields;
        for (std::uint32_t mask : {m.red, m.green, m.blue, m.alpha}) {
            const std::uint32_t run = mask == 0 ? 0 : mask >> std::countr_zero(mask);
            if ((run & (run + 1)) != 0)
                return std::nullopt;
        }
        if ((m.red & m.green) || (m.red & m.blue) || (m.green & m.blue) ||
            (m.alpha & (m.red | m.green | m.blue)))
            return std::nullopt;
        if (bpp == 16) {
            const std::uint32_t all =
                layout.fields.red | layout.fields.green | layout.fields.blue | layout.fields.alpha;
            if (all > 0xFFFF)
                return std::nullopt;
        }
    } else if (bpp == 16) {
        layout.fields = kFields555;
    } else if (bpp == 32) {
        layout.fields = kFields888;
    }

    const std::int64_t headersEnd = kFileHeaderSize + headerSize;
    if (layout.pixelOffset < headersEnd || layout.pixelOffset > size)
        return std::nullopt;

    if (layout.compression == kRle8 || layout.compression == kRle4) {
        if (!WalkRle(file, layout.pixelOffset, layout.width, layout.height,
                     layout.compression == kRle4, nullptr))
            return std::nullopt;
    } else {
        const std::int64_t stride = (width * bpp + 31) / 32 * 4;
        if (stride * height > size - layout.pixelOffset)
            return std::nullopt; // pixel data cut short
    }
    return layout;
}

QImage DecodeRle(const QByteArray& file, const Layout& layout) {
    QImage image(layout.width, layout.height, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    image.fill(0);
    if (!WalkRle(file, layout.pixelOffset, layout.width, layout.height, layout.compression == kRle4,
                 &image))
        return QImage();
    return image;
}

std::uint32_t PackChannel(int value, std::uint32_t mask) {
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = 32 - std::countl_zero(mask) - shift;
    std::uint64_t v = static_cast<std::uint32_t>(value) & 0xFF;
    if (bits <= 8)
        v >>= 8 - bits;
    else
        v <<= bits - 8;
    return static_cast<std::uint32_t>(v << shift) & mask;
}

int UnpackChannel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = 32 - std::countl_zero(mask) - shift;
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<int>(bits <= 8 ? v << (8 - bits) : v >> (bits - 8)) & 0xFF;
}

namespace {

void Put16(QByteArray& b, std::int64_t at, std::uint32_t v) {
    b[static_cast<qsizetype>(at)] = static_cast<char>(v & 0xFF);
    b[static_cast<qsizetype>(at + 1)] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(QByteArray& b, std::int64_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

} // namespace

QByteArray Encode(const QImage& image, int bitsPerPixel, const TBitFields& fields) {
    const std::int64_t width = image.width();
    const std::int64_t height = image.height();
    const bool indexed = bitsPerPixel <= 8;
    const bool withAlpha = !indexed && fields.alpha != 0;
    const TBitFields standard = bitsPerPixel == 16 ? kFields555 : kFields888;
    const bool bitFields = !indexed && !(fields == standard);
    const std::int64_t infoSize = withAlpha ? 108 : 40;
    const std::int64_t masksSize = bitFields && !withAlpha ? 12 : 0;
    const int colours = indexed ? image.colorCount() : 0;
    const std::int64_t offset = kFileHeaderSize + infoSize + masksSize + 4 * colours;
    const std::int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    const std::int64_t total = offset + stride * height;
    if (total > 0x7FFFFFFF)
        throw std::length_error("bitmap too large for a BMP file");

    QByteArray out(static_cast<qsizetype>(total), '\0');
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(total));
    Put32(out, 10, static_cast<std::uint32_t>(offset));
    Put32(out, 14, static_cast<std::uint32_t>(infoSize));
    Put32(out, 18, static_cast<std::uint32_t>(width));
    Put32(out, 22, static_cast<std::uint32_t>(height));
    Put16(out, 26, 1);
    Put16(out, 28, static_cast<std::uint32_t>(bitsPerPixel));
    Put32(out, 30, bitFields ? kBitFields : kRgb);
    Put32(out, 34, static_cast<std::uint32_t>(stride * height));
    Put32(out, 38, 2835); // 72 dpi
    Put32(out, 42, 2835);
    Put32(out, 46, static_cast<std::uint32_t>(colours));
    if (bitFields) {
        const std::int64_t at = kFileHeaderSize + 40;
        Put32(out, at, fields.red);
        Put32(out, at + 4, fields.green);
        Put32(out, at + 8, fields.blue);
        if (withAlpha) {
            Put32(out, at + 12, fields.alpha);
            Put32(out, at + 16, 0x73524742); // colour space 'sRGB'
        }
    }
    const std::int64_t paletteAt = kFileHeaderSize + infoSize + masksSize;
    for (int i = 0; i < colours; ++i) {
        const QRgb c = image.color(i);
        Put32(out, paletteAt + 4 * i,
              static_cast<std::uint32_t>(qBlue(c) | (qGreen(c) << 8) | (qRed(c) << 16)));
    }

    auto* base = reinterpret_cast<unsigned char*>(out.data()) + offset;
    if (indexed) {
        const QImage source = image.format() == QImage::Format_Indexed8
                                  ? image
                                  : image.convertToFormat(QImage::Format_Indexed8);
        for (std::int64_t y = 0; y < height; ++y) {
            const uchar* src = source.constScanLine(static_cast<int>(y));
            unsigned char* dst = base + (height - 1 - y) * stride;
            if (bitsPerPixel == 8) {
                std::memcpy(dst, src, static_cast<size_t>(width));
            } else {
                for (std::int64_t x = 0; x < width; ++x) {
                    const int shift = (x & 1) ? 0 : 4;
                    dst[x / 2] =
                        static_cast<unsigned char>(dst[x / 2] | ((src[x] & 0x0F) << shift));
                }
            }
        }
        return out;
    }

    // The usual layouts are stored in memory as the file stores them (on a
    // little-endian machine): copy the rows.
    const QImage::Format f = image.format();
    const bool sameRows =
        (bitsPerPixel == 32 && f == QImage::Format_RGB32 && fields == kFields888) ||
        (bitsPerPixel == 32 && f == QImage::Format_ARGB32 && fields == kFields8888) ||
        (bitsPerPixel == 16 && f == QImage::Format_RGB555 && fields == kFields555) ||
        (bitsPerPixel == 16 && f == QImage::Format_RGB16 && fields == kFields565);
    if (sameRows && std::endian::native == std::endian::little) {
        const size_t rowBytes = static_cast<size_t>(width * (bitsPerPixel / 8));
        for (std::int64_t y = 0; y < height; ++y) {
            unsigned char* dst = base + (height - 1 - y) * stride;
            std::memcpy(dst, image.constScanLine(static_cast<int>(y)), rowBytes);
            if (f == QImage::Format_RGB32) // the fourth byte is unused: write 0
                for (std::int64_t x = 0; x < width; ++x)
                    dst[4 * x + 3] = 0;
        }
        return out;
    }

    const QImage::Format argb = QImage::Format_ARGB32;
    for (std::int64_t y = 0; y < height; ++y) {
        // One row at a time, so a large picture is never copied whole.
        const QImage row =
            image.copy(0, static_cast<int>(y), static_cast<int>(width), 1).convertToFormat(argb);
        const auto* src = reinterpret_cast<const QRgb*>(row.constScanLine(0));
        unsigned char* dst = base + (height - 1 - y) * stride;
        for (std::int64_t x = 0; x < width; ++x) {
            const QRgb c = src[x];
            const std::uint32_t v =
                PackChannel(qRed(c), fields.red) | PackChannel(qGreen(c), fields.green) |
                PackChannel(qBlue(c), fields.blue) | PackChannel(qAlpha(c), fields.alpha);
            const std::int64_t at = x * (bitsPerPixel / 8);
            dst[at] = static_cast<unsigned char>(v & 0xFF);
            dst[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
            if (bitsPerPixel == 32) {
                dst[at + 2] = static_cast<unsigned char>((v >> 16) & 0xFF);
                dst[at + 3] = static_cast<unsigned char>(v >> 24);
            }
        }
    }
    return out;
}

} // namespace bmp
