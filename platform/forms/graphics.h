#pragma once

// Pictures of the form layer: TBitmap holds its pixels in a QImage and keeps the
// pixel format of the file it came from, so that a loaded picture is saved in
// the same format; TCanvas reads and writes single pixels as TColor values.

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A colour laid out 0x00BBGGRR: red in the low byte. Every colour of a picture
// is non-negative, so kNoColor (what a read outside the picture gives) is none.
using TColor = std::int32_t;
inline constexpr TColor kNoColor = -1;

constexpr TColor RGBToColor(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int ColorRed(TColor c) {
    return c & 0xFF;
}
constexpr int ColorGreen(TColor c) {
    return (c >> 8) & 0xFF;
}
constexpr int ColorBlue(TColor c) {
    return (c >> 16) & 0xFF;
}

// Bits per pixel of a picture as stored in its file.
enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit };

int BitsPerPixel(TPixelFormat format);

// Channel masks of a 16- or 32-bit picture, as in the file's bit fields.
struct TBitFields {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
    std::uint32_t alpha = 0;
    friend bool operator==(const TBitFields&, const TBitFields&) = default;
};

inline constexpr TBitFields kFields555{0x7C00, 0x03E0, 0x001F, 0};
inline constexpr TBitFields kFields565{0xF800, 0x07E0, 0x001F, 0};
inline constexpr TBitFields kFields888{0x00FF0000, 0x0000FF00, 0x000000FF, 0};
inline constexpr TBitFields kFields8888{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};

// Largest picture the layer creates or decodes, in megabytes of pixel memory,
// and in pixels. Files that claim more are refused before anything is allocated.
inline constexpr int kPictureLimitMegabytes = 1024;
inline constexpr std::int64_t kPictureLimitPixels = std::int64_t{1} << 28;

class TBitmap;

// Pixel access to a bitmap, one pixel per call. A read outside the picture
// gives kNoColor; a write outside it changes nothing.
class TCanvas {
  public:
    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

  private:
    friend class TBitmap;
    explicit TCanvas(TBitmap& bitmap) : bitmap_(&bitmap) {}
    TBitmap* bitmap_;
};

class TBitmap {
  public:
    // An empty picture, 0 x 0.
    TBitmap();
    // A picture of the given size and format, every pixel colour 0 (or palette
    // index 0). Indexed formats take their palette (at most 2, 16 or 256
    // entries; an empty palette gets black and white); 16- and 32-bit formats
    // take their channel masks (5-5-5 and 8-8-8 when none are given).
    TBitmap(int width, int height, TPixelFormat format, std::vector<TColor> palette = {},
            std::optional<TBitFields> fields = {});
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    TBitmap(TBitmap&& other) noexcept;
    TBitmap& operator=(TBitmap&& other);
    ~TBitmap() = default;

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool Empty() const { return image_.isNull(); }
    TPixelFormat PixelFormat() const { return format_; }
    const TBitFields& BitFields() const { return fields_; }
    std::vector<TColor> Palette() const;

    TCanvas Canvas() { return TCanvas(*this); }
    // Reads like the canvas does, on a picture that is not to be changed.
    TColor Pixel(int x, int y) const;

    // Loads a Windows BMP file. On any failure throws Exception with the text
    // the user sees and leaves the picture as it was. A 0-byte file gives an
    // empty picture.
    void LoadFromFile(const QString& fileName);
    // Saves as a Windows BMP file in the picture's pixel format; an empty
    // picture gives a 0-byte file. The file is written beside the target and
    // moved over it only when complete, so a failed save leaves it untouched.
    void SaveToFile(const QString& fileName) const;
    // The BMP file that SaveToFile writes, in memory.
    QByteArray SaveToBytes() const;
    // Decodes a whole BMP file held in memory (as LoadFromFile does after
    // reading the file).
    void LoadFromBytes(const QByteArray& bytes);

    // Direct access to the pixel rows, top row first. A row holds Width()
    // pixels of ScanLineBits() bits each: 1 (most significant bit first, palette
    // index), 8 (palette index), 16, 24 or 32. Call Changed() after writing.
    int ScanLineBits() const { return image_.depth(); }
    std::uint8_t* ScanLine(int y) { return image_.scanLine(y); }
    const std::uint8_t* ScanLine(int y) const { return image_.constScanLine(y); }

    // Tells the OnChange listener that the pixels changed.
    void Changed() const;
    // Called after every change of the pixels; not copied with the picture.
    std::function<void()> OnChange;

    // The pixels, for display and for tests.
    const QImage& Image() const { return image_; }

  private:
    friend class TCanvas;
    void SetPixelUnchecked(int x, int y, TColor color);
    int PaletteIndexFor(TColor color);

    QImage image_;
    TPixelFormat format_ = TPixelFormat::pf24bit;
    TBitFields fields_{};
    // The last colour written to an indexed picture and its palette index.
    TColor lastColor_ = kNoColor;
    int lastIndex_ = 0;
};
