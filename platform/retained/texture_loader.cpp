// Texture decoding with Qt's image readers (BMP, PPM, PNG, JPEG and whatever else Qt reads).
// The format is decided from the file's content, not its name; the size is checked before any
// pixel is decoded, and Qt's own allocation limit stays on for what it decodes.
#include "platform/retained/internal.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QString>

namespace retained {

HRESULT decodeTextureFile(const char* fileName, TextureImpl& texture) {
    const QString path = QString::fromLocal8Bit(fileName);
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return D3DRMERR_NOTFOUND;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return D3DRMERR_BADFILE;
    const QSize announced = reader.size();
    if (announced.isValid() &&
        (announced.width() > kMaxSurfaceSide || announced.height() > kMaxSurfaceSide))
        return D3DRMERR_BADFILE;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return D3DRMERR_BADFILE;
    if (image.width() < 1 || image.height() < 1 || image.width() > kMaxSurfaceSide ||
        image.height() > kMaxSurfaceSide)
        return D3DRMERR_BADFILE;
    image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return D3DRMERR_OUTOFMEMORY;
    const int w = image.width(), h = image.height();
    try {
        texture.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    } catch (const std::bad_alloc&) {
        return D3DRMERR_OUTOFMEMORY;
    }
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::uint32_t* out = texture.pixels.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x)
            out[x] = row[x] & 0x00FFFFFFu;
    }
    texture.width = w;
    texture.height = h;
    return D3DRM_OK;
}

} // namespace retained
