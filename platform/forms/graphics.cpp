#include "platform/forms/graphics.h"

#include "platform/forms/bmp_format.h"
#include "platform/forms/exception.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <new>
#include <stdexcept>

namespace {

const char* const kNotValid = "Bitmap image is not valid";

[[noreturn]] void ThrowNotValid() {
    throw Exception(QString::fromLatin1(kNotValid));
}

QRgb ToRgb(TColor c) {
    return qRgb(ColorRed(c), ColorGreen(c), ColorBlue(c));
}

TColor FromRgb(QRgb c) {
    return RGBToColor(qRed(c), qGreen(c), qBlue(c));
}

int PaletteLimit(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return 2;
    case TPixelFormat::pf4bit:
        return 16;
    case TPixelFormat::pf8bit:
        return 256;
    default:
        return 0;
    }
}

// How a picture of each file format is held in memory: packed 1-bit, 8-bit
// indices, 16-bit 5-5-5 or 5-6-5, 24-bit, 32-bit; pictures with other channel
// masks are held at 8 bits per channel and packed into their masks on saving.
QImage::Format MemoryFormat(TPixelFormat format, const TBitFields& fields) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return QImage::Format_Mono;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
        return QImage::Format_Indexed8;
    case TPixelFormat::pf16bit:
        if (fields == kFields555)
            return QImage::Format_RGB555;
        if (fields == kFields565)
            return QImage::Format_RGB16;
        return fields.alpha != 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    case TPixelFormat::pf24bit:
        return QImage::Format_RGB888;
    case TPixelFormat::pf32bit:
        return fields.alpha != 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }
    return QImage::Format_RGB32;
}

// Every palette index of an indexed picture must name an entry of its palette.
bool IndicesWithinPalette(const QImage& image) {
    const int colours = image.colorCount();
    if (colours <= 0)
        return false;
    for (int y = 0; y < image.height(); ++y) {
        if (image.format() == QImage::Format_Indexed8) {
            const uchar* row = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x)
                if (row[x] >= colours)
                    return false;
        } else if (colours < 2) {
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelIndex(x, y) >= colours)
                    return false;
        }
    }
    return true;
}

// Reads at most `limit` + 1 bytes, so a file beyond the limit is noticed
// without reading all of it, and stops after the first chunk of a file that
// is no bitmap. Returns false on a read error.
bool ReadUpTo(QFile& file, qint64 limit, QByteArray& out) {
    const qint64 known = file.size();
    if (known > 0)
        out.reserve(static_cast<qsizetype>(std::min(known, limit + 1)));
    char chunk[1 << 16];
    while (out.size() <= limit) {
        const qint64 n = file.read(chunk, sizeof chunk);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        out.append(chunk, static_cast<qsizetype>(n));
        if (out.size() >= 14 && !out.startsWith("BM"))
            break;
    }
    return true;
}

// Qt's BMP writer: 1 bit for packed pictures, 4 bits for indexed pictures of up
// to 16 colours, 8 bits for larger palettes, 24 bits for everything else.
QByteArray EncodeWithQt(const QImage& image) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(image))
        throw Exception(QStringLiteral("Stream write error"));
    return buffer.data();
}

int BitsWritten(const QByteArray& file) {
    return file.size() > 30
               ? static_cast<unsigned char>(file[28]) | (static_cast<unsigned char>(file[29]) << 8)
               : 0;
}

} // namespace

int BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
        return 32;
    }
    return 0;
}

TColor TCanvas::Pixel(int x, int y) const {
    return bitmap_->Pixel(x, y);
}

void TCanvas::SetPixel(int x, int y, TColor color) {
    if (x < 0 || y < 0 || x >= bitmap_->Width() || y >= bitmap_->Height())
        return;
    bitmap_->SetPixelUnchecked(x, y, color);
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format, std::vector<TColor> palette,
                 std::optional<TBitFields> fields)
    : format_(format) {
    if (format == TPixelFormat::pf16bit)
        fields_ = fields.value_or(kFields555);
    else if (format == TPixelFormat::pf32bit)
        fields_ = fields.value_or(kFields888);
    const int limit = PaletteLimit(format);
    if (limit > 0) {
        if (palette.empty())
            palette = {RGBToColor(0, 0, 0), RGBToColor(255, 255, 255)};
        if (static_cast<int>(palette.size()) > limit)
            throw std::invalid_argument("palette larger than the pixel format allows");
    }
    if (width <= 0 || height <= 0)
        return;
    if (std::int64_t{width} * height > kPictureLimitPixels)
        throw std::length_error("picture larger than the limit");
    image_ = QImage(width, height, MemoryFormat(format, fields_));
    if (image_.isNull())
        throw std::bad_alloc();
    if (limit > 0) {
        QList<QRgb> table;
        for (TColor c : palette)
            table.append(ToRgb(c));
        image_.setColorTable(table);
    }
    image_.fill(0);
}

TBitmap::TBitmap(const TBitmap& other)
    : image_(other.image_), format_(other.format_), fields_(other.fields_) {}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this != &other) {
        image_ = other.image_;
        format_ = other.format_;
        fields_ = other.fields_;
        lastColor_ = kNoColor;
        Changed();
    }
    return *this;
}

TBitmap::TBitmap(TBitmap&& other) noexcept
    : image_(std::move(other.image_)), format_(other.format_), fields_(other.fields_) {}

TBitmap& TBitmap::operator=(TBitmap&& other) {
    image_ = std::move(other.image_);
    format_ = other.format_;
    fields_ = other.fields_;
    lastColor_ = kNoColor;
    Changed();
    return *this;
}

std::vector<TColor> TBitmap::Palette() const {
    std::vector<TColor> palette;
    for (QRgb c : image_.colorTable())
        palette.push_back(FromRgb(c));
    return palette;
}

TColor TBitmap::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return kNoColor;
    return FromRgb(image_.pixel(x, y));
}

int TBitmap::PaletteIndexFor(TColor color) {
    if (color == lastColor_)
        return lastIndex_;
    // The exact entry if the palette has it, else the nearest one.
    const QList<QRgb> table = image_.colorTable();
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        const long dr = qRed(table[i]) - ColorRed(color);
        const long dg = qGreen(table[i]) - ColorGreen(color);
        const long db = qBlue(table[i]) - ColorBlue(color);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
            if (distance == 0)
                break;
        }
    }
    lastColor_ = color;
    lastIndex_ = best;
    return best;
}

void TBitmap::SetPixelUnchecked(int x, int y, TColor color) {
    const QImage::Format f = image_.format();
    if (f == QImage::Format_Mono || f == QImage::Format_MonoLSB || f == QImage::Format_Indexed8) {
        image_.setPixel(x, y, static_cast<uint>(PaletteIndexFor(color)));
    } else if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32) {
        // Held at 8 bits a channel but saved into the file's masks: keep only
        // what the masks can hold, so the picture reads the same after saving.
        auto fit = [](int value, std::uint32_t mask) {
            return bmp::UnpackChannel(bmp::PackChannel(value, mask), mask);
        };
        const int alpha = f == QImage::Format_ARGB32 ? fit(255, fields_.alpha) : 255;
        image_.setPixel(x, y,
                        qRgba(fit(ColorRed(color), fields_.red),
                              fit(ColorGreen(color), fields_.green),
                              fit(ColorBlue(color), fields_.blue), alpha));
    } else {
        image_.setPixel(x, y, ToRgb(color));
    }
}

void TBitmap::Changed() const {
    if (OnChange)
        OnChange();
}

void TBitmap::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    // Only regular files: a folder, a pipe or a device is no picture, and
    // opening a pipe would wait for a writer that may never come.
    const QFileInfo info(fileName);
    if ((info.exists() && !info.isFile()) || !file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file ") + fileName);
    const qint64 limit = qint64{kPictureLimitMegabytes} * 1024 * 1024 + (1 << 20);
    QByteArray bytes;
    if (!ReadUpTo(file, limit, bytes))
        throw Exception(QStringLiteral("Stream read error"));
    if (bytes.size() > limit)
        ThrowNotValid();
    LoadFromBytes(bytes);
}

void TBitmap::LoadFromBytes(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        image_ = QImage();
        lastColor_ = kNoColor;
        Changed();
        return;
    }
    if (bytes.size() < 14)
        throw Exception(QStringLiteral("Stream read error"));
    const std::optional<bmp::Layout> layout = bmp::Inspect(bytes);
    if (!layout)
        ThrowNotValid();

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(kPictureLimitMegabytes);
    QImageReader reader(&buffer, "bmp");
    QImage decoded;
    if (!reader.read(&decoded) || decoded.width() != layout->width ||
        decoded.height() != layout->height)
        ThrowNotValid();

    TPixelFormat format = TPixelFormat::pf24bit;
    TBitFields fields{};
    switch (layout->bitsPerPixel) {
    case 1:
        format = TPixelFormat::pf1bit;
        if (decoded.format() != QImage::Format_Mono)
            decoded = decoded.convertToFormat(QImage::Format_Mono);
        break;
    case 4:
    case 8:
        format = layout->bitsPerPixel == 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
        if (decoded.format() != QImage::Format_Indexed8 ||
            decoded.colorCount() > PaletteLimit(format))
            ThrowNotValid();
        if (layout->compression == bmp::kRle4 || layout->compression == bmp::kRle8) {
            // Decode the runs here, so skipped pixels are defined; Qt's
            // result gives the palette.
            QImage pixels = bmp::DecodeRle(bytes, *layout);
            if (pixels.isNull())
                ThrowNotValid();
            pixels.setColorTable(decoded.colorTable());
            decoded = std::move(pixels);
        }
        break;
    case 16:
    case 32:
        format = layout->bitsPerPixel == 16 ? TPixelFormat::pf16bit : TPixelFormat::pf32bit;
        fields = layout->fields;
        if (!decoded.hasAlphaChannel())
            fields.alpha = 0;
        break;
    default:
        format = TPixelFormat::pf24bit;
        break;
    }
    if ((format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
         format == TPixelFormat::pf8bit) &&
        !IndicesWithinPalette(decoded))
        ThrowNotValid();
    const QImage::Format memory = MemoryFormat(format, fields);
    if (decoded.format() != memory)
        decoded = decoded.convertToFormat(memory);
    if (decoded.isNull())
        throw std::bad_alloc();

    image_ = std::move(decoded);
    format_ = format;
    fields_ = fields;
    lastColor_ = kNoColor;
    Changed();
}

QByteArray TBitmap::SaveToBytes() const {
    if (Empty())
        return {};
    const int bits = BitsPerPixel(format_);
    switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
    case TPixelFormat::pf24bit: {
        QByteArray written = EncodeWithQt(image_);
        if (BitsWritten(written) == bits)
            return written;
        if (bits == 1 || bits == 24)
            throw Exception(QStringLiteral("Stream write error"));
        // Qt picks the bit count from the palette size; an 8-bit picture with a
        // small palette must stay 8-bit.
        return bmp::Encode(image_, bits, fields_);
    }
    case TPixelFormat::pf16bit:
    case TPixelFormat::pf32bit:
        return bmp::Encode(image_, bits, fields_);
    }
    return {};
}

void TBitmap::SaveToFile(const QString& fileName) const {
    const QByteArray bytes = SaveToBytes();
    QSaveFile file(fileName);
    // An existing target must be a regular file: the new file is moved over
    // it, which must not replace a folder, a pipe or a device.
    const QFileInfo info(fileName);
    if ((info.exists() && !info.isFile()) || !file.open(QIODevice::WriteOnly))
        throw Exception(QStringLiteral("Cannot create file ") + fileName);
    const qint64 chunk = 1 << 20;
    for (qint64 at = 0; at < bytes.size(); at += chunk) {
        const qint64 n = std::min(chunk, static_cast<qint64>(bytes.size()) - at);
        if (file.write(bytes.constData() + at, n) != n) {
            file.cancelWriting();
            throw Exception(QStringLiteral("Stream write error"));
        }
    }
    if (!file.commit())
        throw Exception(QStringLiteral("Stream write error"));
}
