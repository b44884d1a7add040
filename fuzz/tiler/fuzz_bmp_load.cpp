// libFuzzer target: any bytes through the BMP loader; whatever loads goes
// through the transform and the saver, and must read back the same.

#include "platform/forms/exception.h"
#include "platform/forms/graphics.h"
#include "tiler/tile_transform.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TBitmap picture;
    try {
        picture.LoadFromBytes(bytes);
    } catch (const Exception&) {
        return 0;
    }
    if (picture.Empty())
        return 0;
    // A few bytes of RLE may describe a picture of up to the loader's limit (a 128-byte file
    // makes 5 x 16.7 million pixels): loading it is the test; the transform and the round trip
    // of so many pixels only spend the time limit.
    if (static_cast<long long>(picture.Width()) * picture.Height() > (4LL << 20))
        return 0;
    TileTopLeftBlock(picture, 8);
    TBitmap again;
    again.LoadFromBytes(picture.SaveToBytes());
    if (again.Width() != picture.Width() || again.Height() != picture.Height())
        std::abort();
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (again.Pixel(x, y) != picture.Pixel(x, y))
                std::abort();
    return 0;
}
