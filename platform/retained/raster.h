// The rasterizer's triangle record and its tile kernels.
//
// Vertices are snapped to 1/16 pixel (4 fractional bits). A pixel (px, py) is sampled at its
// centre (px + 0.5, py + 0.5). With y growing downwards and front faces running clockwise on the
// screen, the edge function of a->b, E(p) = (a.y - b.y) * p.x + (b.x - a.x) * p.y + C, is
// positive inside. A sample exactly on an edge belongs to the triangle only when that edge is a
// top edge (horizontal, interior below) or a left edge (interior to its right): two triangles
// sharing an edge therefore never both draw, and never both miss, a pixel on it.
#pragma once

#include <cstdint>

namespace retained {

constexpr int kSubPixelBits = 4;
constexpr int kSubPixel = 1 << kSubPixelBits;
constexpr int kTileShift = 6; // 64 x 64 pixel tiles, aligned in device coordinates
constexpr int kTileSize = 1 << kTileShift;

struct RasterTexture {
    const std::uint32_t* pixels;
    int width;
    int height;
};

// One triangle ready to draw: fixed-point edges, pixel bounds and attribute planes, two cache
// lines. A plane gives a value at pixel (px, py) as base + dx * (px - originX) + dy * (py -
// originY).
struct alignas(64) TriSetup {
    std::int32_t edgeA[3], edgeB[3];     // per edge: E = A * x + B * y + C (x, y in 1/16 pixel)
    std::int64_t edgeC[3];               // top-left rule folded in: inside when E >= 0
    std::int16_t minX, minY, maxX, maxY; // pixels whose centres may be inside (inclusive)
    float originX, originY;              // pixel coordinates the planes are relative to
    float z[3];                          // 1/z: base, dx, dy
    float r[3], g[3], b[3];              // lit colour 0..255 (unused when flat)
    std::uint32_t flatColour;            // 0x00RRGGBB when every pixel takes one colour
    std::uint32_t mode;                  // see kMode*
};

// What a textured triangle needs besides: kept apart (same index) so that untextured records
// stay small.
struct TexSetup {
    float uw[3], vw[3]; // u/z and v/z
    const RasterTexture* texture;
};

constexpr std::uint32_t kModeFlat = 0;     // one colour: flatColour
constexpr std::uint32_t kModeGouraud = 1;  // interpolated colour
constexpr std::uint32_t kModeTextured = 2; // texture x interpolated colour

struct RasterTarget {
    std::uint32_t* colour;
    float* depth;
    int stride; // pixels per row of both buffers
};

// Draws, in order, the triangles records[indices[0 .. count-1]] clipped to the pixel rectangle
// [x0, x1] x [y0, y1] (inclusive), which lies inside one 64-pixel tile of the device: writes may
// touch the whole 8-pixel-aligned spans around the rectangle's pixels, but only within that tile
// and only with the values they already hold.
using TileKernel = void (*)(const RasterTarget& target, const TriSetup* records,
                            const TexSetup* textures, const std::uint32_t* indices, int count,
                            int x0, int y0, int x1, int y1);

// Fills the rows y0 .. y1, pixels x0 .. x1 (inclusive) of the colour buffer with a colour.
using ClearKernel = void (*)(const RasterTarget& target, int x0, int y0, int x1, int y1,
                             std::uint32_t colour);

TileKernel selectTileKernel();
ClearKernel selectClearKernel();
void clearRectGeneric(const RasterTarget&, int, int, int, int, std::uint32_t);
void clearRectAvx2(const RasterTarget&, int, int, int, int, std::uint32_t);
void drawTileGeneric(const RasterTarget&, const TriSetup*, const TexSetup*, const std::uint32_t*,
                     int, int, int, int, int);
void drawTileAvx2(const RasterTarget&, const TriSetup*, const TexSetup*, const std::uint32_t*, int,
                  int, int, int, int);

} // namespace retained
