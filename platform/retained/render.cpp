// The renderer: draws a frame tree into a viewport.
//
// A Render runs in three passes over a persistent pool of workers, with every buffer kept from
// one frame to the next (no allocation once the buffers have grown to the scene):
//   1. vertices: each mesh instance's vertices go to camera space and the screen; in Gouraud
//      quality they are lit here;
//   2. triangles: each worker takes a contiguous run of all triangles (in submission order),
//      rejects, culls and clips them, sets up their edges and attribute planes, and files them
//      into the 64 x 64 pixel tiles they touch;
//   3. tiles: workers take whole tiles and draw the tile's triangles in submission order
//      (worker 0's run first), so the picture does not depend on the thread count.
#include "platform/retained/render.h"
#include "platform/retained/pool.h"
#include "platform/retained/raster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace retained {

namespace {

// Geometry is clipped to the viewport grown by this many pixels on each side; what lies inside
// this band is only bounded, not clipped, so most triangles crossing the border skip clipping.
constexpr float kGuardBand = 1024.0f;
// Camera-space coordinates beyond this are treated as broken geometry and their faces skipped.
constexpr float kHugeCoordinate = 1e15f;

// What one Render draws at most (the tree may reuse a mesh on many frames): about 3 GB of
// vertex and triangle buffers.
constexpr std::size_t kMaxFrameVertices = std::size_t{1} << 26;
constexpr std::size_t kMaxFrameTriangles = std::size_t{1} << 26;

// Work shares: vertices in blocks, triangles in chunks of about this many.
constexpr std::size_t kVertexBlock = 8192;
constexpr std::size_t kChunkTriangles = 16384;

constexpr std::uint32_t kOutNear = 1, kOutFar = 2, kOutLeft = 4, kOutRight = 8, kOutTop = 16,
                        kOutBottom = 32, kOutInvalid = 64;

struct SceneLight {
    D3DRMLIGHTTYPE type;
    Vec3 colour;
    Vec3 position;  // world, then model space per instance
    Vec3 direction; // the light frame's +z
};

struct Instance {
    const MeshImpl* mesh;
    Transform modelToCamera;
    Transform modelToWorld;
    std::size_t firstVertex;
    std::size_t firstTriangle;
    std::size_t lightsBegin, lightsEnd; // model-space non-ambient lights in modelLights_
    Vec3 ambient;                       // sum of the ambient lights
    Vec3 colour;                        // mesh colour, 0..1 per channel
    RasterTexture texture;
    bool textured;
};

struct VertexOut {
    float x, y, z;     // camera space
    std::int32_t X, Y; // screen, 1/16 pixel (when outcode is 0)
    float invZ;
    float r, g, b; // lit colour 0..255 (Gouraud)
    std::uint32_t outcode;
};

// A vertex of a polygon being clipped: camera space plus attributes.
struct ClipVertex {
    float x, y, z;
    float r, g, b;
    float u, v;
};

struct View {
    float s;                        // pixels per unit at z = 1
    float cx, cy;                   // screen centre
    float front, back;              // clip distances
    float left, right, top, bottom; // guard band, device pixels
    int vx0, vy0, vx1, vy1;         // viewport pixels (inclusive)
    int tileX0, tileY0, tilesX, tilesY;
    bool gouraud;
};

// Triangle records of one chunk: grow to the largest frame seen and stay, and are handed out
// without clearing (every field used is written by the setup). Textured triangles also fill
// the parallel texture record of the same index.
class RecordArray {
  public:
    std::uint32_t append() {
        if (size_ == capacity_)
            grow();
        return static_cast<std::uint32_t>(size_++);
    }
    TriSetup& operator[](std::size_t i) { return records_[i]; }
    TexSetup& texture(std::size_t i) { return textures_[i]; }
    void clear() { size_ = 0; }
    std::size_t size() const { return size_; }
    const TriSetup* data() const { return records_.get(); }
    const TexSetup* textures() const { return textures_.get(); }

  private:
    void grow() {
        const std::size_t capacity = std::max<std::size_t>(4096, capacity_ * 2);
        std::unique_ptr<TriSetup[]> records(new TriSetup[capacity]);
        std::unique_ptr<TexSetup[]> textures(new TexSetup[capacity]);
        std::copy(records_.get(), records_.get() + size_, records.get());
        std::copy(textures_.get(), textures_.get() + size_, textures.get());
        records_ = std::move(records);
        textures_ = std::move(textures);
        capacity_ = capacity;
    }
    std::unique_ptr<TriSetup[]> records_;
    std::unique_ptr<TexSetup[]> textures_;
    std::size_t size_ = 0, capacity_ = 0;
};

// Per chunk of triangles: their records and, per tile, the records filed there.
struct ChunkBins {
    RecordArray records;
    std::vector<std::vector<std::uint32_t>> tiles;
};

[[gnu::always_inline]] inline Vec3 lightAt(const Vec3& p, const Vec3& n, const SceneLight* lights,
                                           std::size_t count, const Vec3& ambient) {
    static const float kSpotInner = std::cos(0.4f), kSpotOuter = std::cos(0.5f);
    Vec3 received = ambient;
    for (std::size_t i = 0; i < count; ++i) {
        const SceneLight& l = lights[i];
        float amount = 0.0f;
        if (l.type == D3DRMLIGHT_DIRECTIONAL) {
            amount = std::max(0.0f, -dot(n, l.direction));
        } else {
            const Vec3 toLight = l.position - p;
            const float distance = length(toLight);
            if (!(distance > 0.0f) || !std::isfinite(distance))
                continue;
            amount = std::max(0.0f, dot(n, toLight) / distance);
            if (l.type == D3DRMLIGHT_SPOT && amount > 0.0f) {
                // Angle between the light's axis and the way to the point.
                const float c = -dot(l.direction, toLight) / distance;
                if (c < kSpotOuter)
                    amount = 0.0f;
                else if (c < kSpotInner)
                    amount *= (0.5f - std::acos(std::min(1.0f, c))) / 0.1f;
            }
        }
        received = received + l.colour * amount;
    }
    return received;
}

// A screen coordinate (inside the guard band) to 1/16 pixel, rounded to nearest (ties to even),
// the same way for every vertex so that shared edges stay shared.
inline std::int32_t snapToSubPixel(float f) {
#if defined(__SSE__) || defined(__x86_64__)
    return _mm_cvt_ss2si(_mm_set_ss(f * kSubPixel));
#else
    return static_cast<std::int32_t>(std::lrint(f * kSubPixel));
#endif
}

inline float shade(float base, float received) {
    return std::clamp(base * received, 0.0f, 1.0f) * 255.0f;
}

struct Coverage {
    std::int64_t area;
    int px0, px1, py0, py1;
};

class Renderer {
  public:
    Renderer() : kernel_(selectTileKernel()), clearKernel_(selectClearKernel()) {
        resizePool(defaultThreads());
    }

    static int defaultThreads() {
        const unsigned n = std::thread::hardware_concurrency();
        return static_cast<int>(std::clamp(n, 1u, 64u));
    }

    int threads() const { return pool_->size(); }
    void resizePool(int threads) {
        threads = std::clamp(threads, 1, 64);
        if (pool_ && pool_->size() == threads)
            return;
        pool_.reset();
        pool_ = std::make_unique<WorkerPool>(threads);
    }

    void clear(ViewportImpl& vp);
    void clearRows(const ViewportImpl& vp, int y0, int y1, std::uint32_t bg);
    HRESULT render(ViewportImpl& vp, FrameImpl& frame);

  private:
    void gatherLights(FrameImpl& root);
    void gatherInstances(FrameImpl& frame, const Transform& worldToCamera);
    void processVertices(std::size_t begin, std::size_t end);
    void processTriangles(ChunkBins& bins, std::size_t begin, std::size_t end);
    void fileTriangle(ChunkBins& bins, const VertexOut* v[3], const Instance& inst,
                      const std::uint32_t* corners, const float flat[3], const Coverage& cov);
    void clipAndFile(ChunkBins& bins, const Instance& inst, const std::uint32_t* corners,
                     const VertexOut* v[3], std::uint32_t outcodes, const float flat[3]);
    void drawTiles(int worker);

    TileKernel kernel_;
    ClearKernel clearKernel_;
    std::unique_ptr<WorkerPool> pool_;
    // Triangles are split into chunks that workers take in turn (so a worker held up by another
    // process does not hold up the frame); each chunk files its own records, and tiles draw
    // the chunks in order. Kept from frame to frame, never shrunk.
    std::vector<ChunkBins> chunks_;
    std::size_t chunkCount_ = 0;
    std::atomic<std::size_t> nextChunk_{0};
    View view_{};
    RasterTarget target_{};
    std::uint8_t* depthPending_ = nullptr;
    int depthTilesX_ = 0, deviceWidth_ = 0, deviceHeight_ = 0;
    std::vector<SceneLight> worldLights_;
    std::vector<SceneLight> modelLights_;
    std::vector<Instance> instances_;
    std::vector<VertexOut> vertices_;
    std::vector<std::pair<FrameImpl*, Transform>> stack_;
    std::size_t totalTriangles_ = 0;
    bool truncated_ = false; // the tree held more than one frame may draw
    std::atomic<int> nextTile_{0};
};

Renderer& renderer() {
    static Renderer instance;
    return instance;
}

void Renderer::clear(ViewportImpl& vp) {
    DeviceImpl& d = *vp.device;
    const std::uint32_t bg = vp.camera->root()->background & 0x00FFFFFFu;
    const int x0 = vp.x, x1 = vp.x + vp.width - 1;
    // Tiles the viewport covers whole get their depth cleared when first drawn into; the
    // viewport's part of the others is cleared now.
    const int tx0 = x0 >> kTileShift, tx1 = x1 >> kTileShift;
    const int ty0 = vp.y >> kTileShift, ty1 = (vp.y + vp.height - 1) >> kTileShift;
    for (int ty = ty0; ty <= ty1; ++ty)
        for (int tx = tx0; tx <= tx1; ++tx) {
            const int left = tx * kTileSize, top = ty * kTileSize;
            const int right = std::min(d.width, left + kTileSize) - 1;
            const int bottom = std::min(d.height, top + kTileSize) - 1;
            const bool whole =
                x0 <= left && x1 >= right && vp.y <= top && vp.y + vp.height - 1 >= bottom;
            if (whole)
                d.depthPending[static_cast<std::size_t>(ty) * d.depthTilesX + tx] = 1;
        }
    // Bands of rows, taken by whichever workers come.
    constexpr int kBand = 32;
    const auto bands = static_cast<std::size_t>((vp.height + kBand - 1) / kBand);
    nextChunk_.store(0, std::memory_order_relaxed);
    pool_->run([&](int) {
        for (std::size_t band;
             (band = nextChunk_.fetch_add(1, std::memory_order_relaxed)) < bands;) {
            const int y0 = vp.y + static_cast<int>(band) * kBand;
            clearRows(vp, y0, std::min(vp.y + vp.height, y0 + kBand), bg);
        }
    });
}

// Rows y0 .. y1 - 1 of the viewport: colour filled, depth zeroed outside pending tiles.
void Renderer::clearRows(const ViewportImpl& vp, int y0, int y1, std::uint32_t bg) {
    const DeviceImpl& d = *vp.device;
    const RasterTarget target{d.colour, d.depth, d.stridePixels};
    const int x0 = vp.x, x1 = vp.x + vp.width - 1;
    const int tx0 = x0 >> kTileShift, tx1 = x1 >> kTileShift;
    clearKernel_(target, x0, y0, x1, y1 - 1, bg);
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* pending =
            d.depthPending.data() + static_cast<std::size_t>(y >> kTileShift) * d.depthTilesX;
        float* row = d.depth + static_cast<std::ptrdiff_t>(y) * d.stridePixels;
        for (int tx = tx0; tx <= tx1; ++tx) {
            if (pending[tx])
                continue;
            const int a = std::max(x0, tx * kTileSize);
            const int b = std::min(x1, tx * kTileSize + kTileSize - 1);
            std::memset(row + a, 0, static_cast<std::size_t>(b - a + 1) * sizeof(float));
        }
    }
}

void Renderer::gatherLights(FrameImpl& root) {
    stack_.clear();
    stack_.push_back({&root, root.world()});
    while (!stack_.empty()) {
        auto [f, world] = stack_.back();
        stack_.pop_back();
        for (const LightImpl* l : f->lights)
            worldLights_.push_back({l->type, {l->r, l->g, l->b}, world.position, world.rotation.z});
        for (auto it = f->children.rbegin(); it != f->children.rend(); ++it)
            stack_.push_back({*it, world * Transform{(*it)->rotation, (*it)->position}});
    }
}

void Renderer::gatherInstances(FrameImpl& frame, const Transform& worldToCamera) {
    stack_.clear();
    stack_.push_back({&frame, frame.world()});
    std::size_t vertexBase = 0;
    std::size_t triangleBase = 0;
    truncated_ = false;
    while (!stack_.empty()) {
        auto [f, world] = stack_.back();
        stack_.pop_back();
        for (const MeshImpl* mesh : f->visuals) {
            if (mesh->triangleFace.empty())
                continue;
            if (vertexBase + mesh->vertices.size() > kMaxFrameVertices ||
                triangleBase + mesh->triangleFace.size() > kMaxFrameTriangles) {
                truncated_ = true; // draw what fits, report the rest
                continue;
            }
            Instance inst{};
            inst.mesh = mesh;
            inst.modelToWorld = world;
            inst.modelToCamera = worldToCamera * world;
            inst.firstVertex = vertexBase;
            inst.firstTriangle = triangleBase;
            inst.lightsBegin = modelLights_.size();
            inst.ambient = {0, 0, 0};
            const Transform toModel = world.inverse();
            for (const SceneLight& l : worldLights_) {
                if (l.type == D3DRMLIGHT_AMBIENT)
                    inst.ambient = inst.ambient + l.colour;
                else
                    modelLights_.push_back({l.type, l.colour, toModel.apply(l.position),
                                            toModel.rotation.apply(l.direction)});
            }
            inst.lightsEnd = modelLights_.size();
            inst.colour = {((mesh->colour >> 16) & 255) / 255.0f,
                           ((mesh->colour >> 8) & 255) / 255.0f, (mesh->colour & 255) / 255.0f};
            inst.textured = mesh->texture != nullptr;
            if (inst.textured)
                inst.texture = {mesh->texture->pixels.data(), mesh->texture->width,
                                mesh->texture->height};
            vertexBase += mesh->vertices.size();
            triangleBase += mesh->triangleFace.size();
            instances_.push_back(inst);
        }
        for (auto it = f->children.rbegin(); it != f->children.rend(); ++it)
            stack_.push_back({*it, world * Transform{(*it)->rotation, (*it)->position}});
    }
    totalTriangles_ = triangleBase;
    vertices_.resize(vertexBase);
}

void Renderer::processVertices(std::size_t begin, std::size_t end) {
    if (begin >= end)
        return;
    const View& vw = view_;
    // The instance holding vertex `begin`.
    auto inst =
        std::upper_bound(instances_.begin(), instances_.end(), begin,
                         [](std::size_t i, const Instance& in) { return i < in.firstVertex; }) -
        1;
    for (std::size_t i = begin; i < end; ++i) {
        while (i >= inst->firstVertex + inst->mesh->vertices.size())
            ++inst;
        const std::size_t k = i - inst->firstVertex;
        const Vec3 p = inst->mesh->vertices[k];
        const Vec3 c = inst->modelToCamera.apply(p);
        VertexOut& o = vertices_[i];
        o.x = c.x;
        o.y = c.y;
        o.z = c.z;
        std::uint32_t out = 0;
        if (!(std::fabs(c.x) < kHugeCoordinate && std::fabs(c.y) < kHugeCoordinate &&
              std::fabs(c.z) < kHugeCoordinate)) {
            out = kOutInvalid;
        } else {
            if (c.z < vw.front)
                out |= kOutNear;
            if (c.z > vw.back)
                out |= kOutFar;
            if (vw.s * c.x + (vw.cx - vw.left) * c.z < 0)
                out |= kOutLeft;
            if ((vw.right - vw.cx) * c.z - vw.s * c.x < 0)
                out |= kOutRight;
            if ((vw.cy - vw.top) * c.z - vw.s * c.y < 0)
                out |= kOutTop;
            if (vw.s * c.y + (vw.bottom - vw.cy) * c.z < 0)
                out |= kOutBottom;
        }
        o.outcode = out;
        if (out == 0) {
            const float iz = 1.0f / c.z;
            o.invZ = iz;
            o.X = snapToSubPixel(vw.cx + vw.s * c.x * iz);
            o.Y = snapToSubPixel(vw.cy - vw.s * c.y * iz);
        }
        if (vw.gouraud && !(out & kOutInvalid)) {
            const Vec3 received =
                lightAt(p, inst->mesh->vertexNormals[k], modelLights_.data() + inst->lightsBegin,
                        inst->lightsEnd - inst->lightsBegin, inst->ambient);
            o.r = shade(inst->colour.x, received.x);
            o.g = shade(inst->colour.y, received.y);
            o.b = shade(inst->colour.z, received.z);
        }
    }
}

// Plane gradients of an attribute over the screen, from its values at three vertices.
struct PlaneSetup {
    float d1x, d1y, d2x, d2y, inv;
    void plane(float a0, float a1, float a2, float out[3]) const {
        const float e1 = a1 - a0, e2 = a2 - a0;
        out[0] = a0;
        out[1] = (e1 * d2y - e2 * d1y) * inv;
        out[2] = (e2 * d1x - e1 * d2x) * inv;
    }
};

struct ScreenVertex {
    std::int32_t X, Y;
    float invZ;
    float r, g, b;
    float u, v; // texture coordinates (not divided by z)
};

// Edge setup, bounds and planes of one screen triangle; files it into the tiles it touches.
// Where a screen triangle may draw: its area (positive for a front face) and the pixels whose
// centres (px * 16 + 8) lie within its bounds, clipped to the viewport. False when it draws
// nothing: a back face, no area, or no pixel centre inside its bounds.
inline bool coverage(const View& vw, std::int32_t ax, std::int32_t ay, std::int32_t bx,
                     std::int32_t by, std::int32_t cx, std::int32_t cy, Coverage& out) {
    out.area = std::int64_t{bx - ax} * (cy - ay) - std::int64_t{by - ay} * (cx - ax);
    if (out.area <= 0)
        return false;
    const std::int32_t minX = std::min(ax, std::min(bx, cx)), maxX = std::max(ax, std::max(bx, cx));
    const std::int32_t minY = std::min(ay, std::min(by, cy)), maxY = std::max(ay, std::max(by, cy));
    out.px0 = std::max(vw.vx0, (minX - kSubPixel / 2 + kSubPixel - 1) >> kSubPixelBits);
    out.px1 = std::min(vw.vx1, (maxX - kSubPixel / 2) >> kSubPixelBits);
    out.py0 = std::max(vw.vy0, (minY - kSubPixel / 2 + kSubPixel - 1) >> kSubPixelBits);
    out.py1 = std::min(vw.vy1, (maxY - kSubPixel / 2) >> kSubPixelBits);
    return out.px0 <= out.px1 && out.py0 <= out.py1;
}

// Edge setup and planes of a screen triangle that draws something; files it into its tiles.
void emitTriangle(ChunkBins& bins, const View& vw, const ScreenVertex& a, const ScreenVertex& b,
                  const ScreenVertex& c, const Instance& inst, bool flat, std::uint32_t flatColour,
                  const Coverage& cov) {
    const std::int64_t area = cov.area;
    const int px0 = cov.px0, px1 = cov.px1, py0 = cov.py0, py1 = cov.py1;
    const std::uint32_t index = bins.records.append();
    TriSetup& t = bins.records[index];
    const ScreenVertex* v[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
        const ScreenVertex& p = *v[k];
        const ScreenVertex& q = *v[(k + 1) % 3];
        const std::int32_t A = p.Y - q.Y, B = q.X - p.X;
        const bool topLeft = A > 0 || (A == 0 && B > 0);
        t.edgeA[k] = A;
        t.edgeB[k] = B;
        t.edgeC[k] = -(std::int64_t{A} * p.X + std::int64_t{B} * p.Y) - (topLeft ? 0 : 1);
    }
    t.minX = static_cast<std::int16_t>(px0);
    t.maxX = static_cast<std::int16_t>(px1);
    t.minY = static_cast<std::int16_t>(py0);
    t.maxY = static_cast<std::int16_t>(py1);
    const float scale = 1.0f / kSubPixel;
    const float ax = a.X * scale, ay = a.Y * scale;
    t.originX = ax - 0.5f;
    t.originY = ay - 0.5f;
    PlaneSetup ps{(b.X - a.X) * scale, (b.Y - a.Y) * scale, (c.X - a.X) * scale,
                  (c.Y - a.Y) * scale,
                  static_cast<float>(double(kSubPixel) * kSubPixel / static_cast<double>(area))};
    ps.plane(a.invZ, b.invZ, c.invZ, t.z);
    t.flatColour = flatColour;
    if (flat && !inst.textured) {
        t.mode = kModeFlat;
    } else {
        t.mode = inst.textured ? kModeTextured : kModeGouraud;
        ps.plane(a.r, b.r, c.r, t.r);
        ps.plane(a.g, b.g, c.g, t.g);
        ps.plane(a.b, b.b, c.b, t.b);
        if (inst.textured) {
            TexSetup& tex = bins.records.texture(index);
            tex.texture = &inst.texture;
            ps.plane(a.u * a.invZ, b.u * b.invZ, c.u * c.invZ, tex.uw);
            ps.plane(a.v * a.invZ, b.v * b.invZ, c.v * c.invZ, tex.vw);
        }
    }
    const int tx0 = (px0 >> kTileShift) - vw.tileX0, tx1 = (px1 >> kTileShift) - vw.tileX0;
    const int ty0 = (py0 >> kTileShift) - vw.tileY0, ty1 = (py1 >> kTileShift) - vw.tileY0;
    for (int ty = ty0; ty <= ty1; ++ty)
        for (int tx = tx0; tx <= tx1; ++tx)
            bins.tiles[static_cast<std::size_t>(ty) * vw.tilesX + tx].push_back(index);
}

void setupTriangle(ChunkBins& bins, const View& vw, const ScreenVertex& a, const ScreenVertex& b,
                   const ScreenVertex& c, const Instance& inst, bool flat,
                   std::uint32_t flatColour) {
    Coverage cov;
    if (coverage(vw, a.X, a.Y, b.X, b.Y, c.X, c.Y, cov))
        emitTriangle(bins, vw, a, b, c, inst, flat, flatColour, cov);
}

ScreenVertex project(const View& vw, const ClipVertex& c) {
    const float iz = 1.0f / c.z;
    auto snap = [](float f, float lo, float hi) { return snapToSubPixel(std::clamp(f, lo, hi)); };
    ScreenVertex s;
    s.X = snap(vw.cx + vw.s * c.x * iz, vw.left - 1.0f, vw.right + 1.0f);
    s.Y = snap(vw.cy - vw.s * c.y * iz, vw.top - 1.0f, vw.bottom + 1.0f);
    s.invZ = iz;
    s.r = c.r;
    s.g = c.g;
    s.b = c.b;
    s.u = c.u;
    s.v = c.v;
    return s;
}

float planeDistance(const View& vw, std::uint32_t plane, const ClipVertex& p) {
    switch (plane) {
    case kOutNear:
        return p.z - vw.front;
    case kOutFar:
        return vw.back - p.z;
    case kOutLeft:
        return vw.s * p.x + (vw.cx - vw.left) * p.z;
    case kOutRight:
        return (vw.right - vw.cx) * p.z - vw.s * p.x;
    case kOutTop:
        return (vw.cy - vw.top) * p.z - vw.s * p.y;
    default:
        return vw.s * p.y + (vw.bottom - vw.cy) * p.z;
    }
}

ClipVertex lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    auto mix = [t](float x, float y) { return x + (y - x) * t; };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z), mix(a.r, b.r),
            mix(a.g, b.g), mix(a.b, b.b), mix(a.u, b.u), mix(a.v, b.v)};
}

void Renderer::fileTriangle(ChunkBins& bins, const VertexOut* v[3], const Instance& inst,
                            const std::uint32_t* corners, const float flat[3],
                            const Coverage& cov) {
    ScreenVertex s[3];
    for (int k = 0; k < 3; ++k) {
        s[k].X = v[k]->X;
        s[k].Y = v[k]->Y;
        s[k].invZ = v[k]->invZ;
        if (flat) {
            s[k].r = flat[0];
            s[k].g = flat[1];
            s[k].b = flat[2];
        } else {
            s[k].r = v[k]->r;
            s[k].g = v[k]->g;
            s[k].b = v[k]->b;
        }
        if (inst.textured) {
            s[k].u = inst.mesh->u[corners[k]];
            s[k].v = inst.mesh->v[corners[k]];
        } else {
            s[k].u = s[k].v = 0.0f;
        }
    }
    std::uint32_t packed = 0;
    if (flat)
        packed = (static_cast<std::uint32_t>(flat[0] + 0.5f) << 16) |
                 (static_cast<std::uint32_t>(flat[1] + 0.5f) << 8) |
                 static_cast<std::uint32_t>(flat[2] + 0.5f);
    emitTriangle(bins, view_, s[0], s[1], s[2], inst, flat != nullptr, packed, cov);
}

void Renderer::clipAndFile(ChunkBins& bins, const Instance& inst, const std::uint32_t* corners,
                           const VertexOut* v[3], std::uint32_t outcodes, const float flat[3]) {
    constexpr int kMax = 3 + 6 + 1;
    ClipVertex polyA[kMax], polyB[kMax];
    ClipVertex* in = polyA;
    ClipVertex* out = polyB;
    int n = 3;
    for (int k = 0; k < 3; ++k) {
        in[k] = {v[k]->x, v[k]->y, v[k]->z, 0, 0, 0, 0, 0};
        if (flat) {
            in[k].r = flat[0];
            in[k].g = flat[1];
            in[k].b = flat[2];
        } else {
            in[k].r = v[k]->r;
            in[k].g = v[k]->g;
            in[k].b = v[k]->b;
        }
        if (inst.textured) {
            in[k].u = inst.mesh->u[corners[k]];
            in[k].v = inst.mesh->v[corners[k]];
        }
    }
    for (std::uint32_t plane = kOutNear; plane <= kOutBottom; plane <<= 1) {
        if (!(outcodes & plane))
            continue;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const ClipVertex& p = in[i];
            const ClipVertex& q = in[(i + 1) % n];
            const float dp = planeDistance(view_, plane, p), dq = planeDistance(view_, plane, q);
            if (dp >= 0)
                out[m++] = p;
            if ((dp >= 0) != (dq >= 0) && m < kMax)
                out[m++] = lerp(p, q, dp / (dp - dq));
        }
        std::swap(in, out);
        n = m;
        if (n < 3)
            return;
    }
    ScreenVertex s[kMax];
    for (int i = 0; i < n; ++i) {
        if (!(in[i].z > 0.0f))
            return;
        s[i] = project(view_, in[i]);
    }
    std::uint32_t packed = 0;
    if (flat)
        packed = (static_cast<std::uint32_t>(flat[0] + 0.5f) << 16) |
                 (static_cast<std::uint32_t>(flat[1] + 0.5f) << 8) |
                 static_cast<std::uint32_t>(flat[2] + 0.5f);
    for (int i = 1; i + 1 < n; ++i)
        setupTriangle(bins, view_, s[0], s[i], s[i + 1], inst, flat != nullptr, packed);
}

void Renderer::processTriangles(ChunkBins& bins, std::size_t begin, std::size_t end) {
    if (begin >= end)
        return;
    auto inst =
        std::upper_bound(instances_.begin(), instances_.end(), begin,
                         [](std::size_t i, const Instance& in) { return i < in.firstTriangle; }) -
        1;
    const bool flatQuality = !view_.gouraud;
    std::uint32_t lastFace = UINT32_MAX;
    const Instance* lastInstance = nullptr;
    float flat[3] = {0, 0, 0};
    for (std::size_t tri = begin; tri < end; ++tri) {
        while (tri >= inst->firstTriangle + inst->mesh->triangleFace.size())
            ++inst;
        const Instance& in = *inst;
        const std::size_t local3 = (tri - in.firstTriangle) * 3;
        const std::uint32_t* corners = in.mesh->triangles.data() + local3;
        const VertexOut* v[3] = {&vertices_[in.firstVertex + corners[0]],
                                 &vertices_[in.firstVertex + corners[1]],
                                 &vertices_[in.firstVertex + corners[2]]};
        const std::uint32_t orCodes = v[0]->outcode | v[1]->outcode | v[2]->outcode;
        const std::uint32_t andCodes = v[0]->outcode & v[1]->outcode & v[2]->outcode;
        if (andCodes != 0 || (orCodes & kOutInvalid))
            continue;
        Coverage cov{};
        if (orCodes == 0) {
            // Back faces and triangles between pixel centres go before anything is copied.
            if (!coverage(view_, v[0]->X, v[0]->Y, v[1]->X, v[1]->Y, v[2]->X, v[2]->Y, cov))
                continue;
        } else {
            // A face seen from behind needs no clipping: a front face's normal points to the
            // camera at the origin.
            const Vec3 p0{v[0]->x, v[0]->y, v[0]->z}, p1{v[1]->x, v[1]->y, v[1]->z},
                p2{v[2]->x, v[2]->y, v[2]->z};
            if (dot(cross(p1 - p0, p2 - p0), p0) >= 0.0f)
                continue;
        }
        if (flatQuality) {
            const std::uint32_t face = in.mesh->triangleFace[tri - in.firstTriangle];
            if (&in != lastInstance || face != lastFace) {
                lastInstance = &in;
                lastFace = face;
                const Vec3 received =
                    lightAt(in.mesh->faceCentroids[face], in.mesh->faceNormals[face],
                            modelLights_.data() + in.lightsBegin, in.lightsEnd - in.lightsBegin,
                            in.ambient);
                flat[0] = shade(in.colour.x, received.x);
                flat[1] = shade(in.colour.y, received.y);
                flat[2] = shade(in.colour.z, received.z);
            }
        }
        if (orCodes == 0)
            fileTriangle(bins, v, in, corners, flatQuality ? flat : nullptr, cov);
        else
            clipAndFile(bins, in, corners, v, orCodes, flatQuality ? flat : nullptr);
    }
}

void Renderer::drawTiles(int worker) {
    (void)worker;
    const View& vw = view_;
    const int tiles = vw.tilesX * vw.tilesY;
    for (;;) {
        const int tile = nextTile_.fetch_add(1, std::memory_order_relaxed);
        if (tile >= tiles)
            return;
        const int tx = tile % vw.tilesX + vw.tileX0, ty = tile / vw.tilesX + vw.tileY0;
        const int x0 = std::max(vw.vx0, tx * kTileSize),
                  x1 = std::min(vw.vx1, tx * kTileSize + kTileSize - 1);
        const int y0 = std::max(vw.vy0, ty * kTileSize),
                  y1 = std::min(vw.vy1, ty * kTileSize + kTileSize - 1);
        bool any = false;
        for (std::size_t c = 0; c < chunkCount_ && !any; ++c)
            any = !chunks_[c].tiles[static_cast<std::size_t>(tile)].empty();
        if (!any)
            continue;
        std::uint8_t& pending = depthPending_[static_cast<std::size_t>(ty) * depthTilesX_ + tx];
        if (pending) {
            // This tile's depth was cleared by a Clear that covered it whole: zero it now, while
            // it is about to be used.
            const int right = std::min(deviceWidth_, tx * kTileSize + kTileSize);
            const int bottom = std::min(deviceHeight_, ty * kTileSize + kTileSize);
            for (int y = ty * kTileSize; y < bottom; ++y)
                std::memset(target_.depth + static_cast<std::ptrdiff_t>(y) * target_.stride +
                                tx * kTileSize,
                            0, static_cast<std::size_t>(right - tx * kTileSize) * sizeof(float));
            pending = 0;
        }
        for (std::size_t c = 0; c < chunkCount_; ++c) {
            const ChunkBins& bins = chunks_[c];
            const auto& list = bins.tiles[static_cast<std::size_t>(tile)];
            if (!list.empty())
                kernel_(target_, bins.records.data(), bins.records.textures(), list.data(),
                        static_cast<int>(list.size()), x0, y0, x1, y1);
        }
    }
}

HRESULT Renderer::render(ViewportImpl& vp, FrameImpl& frame) {
    DeviceImpl& d = *vp.device;
    FrameImpl* camera = vp.camera;
    const Transform cameraWorld = camera->world();
    const Transform worldToCamera = cameraWorld.inverse();

    View& vw = view_;
    vw.s = static_cast<float>(std::min(vp.width, vp.height)) / (2.0f * vp.field);
    vw.cx = vp.x + vp.width * 0.5f;
    vw.cy = vp.y + vp.height * 0.5f;
    vw.front = vp.front;
    vw.back = vp.back;
    vw.left = vp.x - kGuardBand;
    vw.right = vp.x + vp.width + kGuardBand;
    vw.top = vp.y - kGuardBand;
    vw.bottom = vp.y + vp.height + kGuardBand;
    vw.vx0 = vp.x;
    vw.vy0 = vp.y;
    vw.vx1 = vp.x + vp.width - 1;
    vw.vy1 = vp.y + vp.height - 1;
    vw.tileX0 = vw.vx0 >> kTileShift;
    vw.tileY0 = vw.vy0 >> kTileShift;
    vw.tilesX = (vw.vx1 >> kTileShift) - vw.tileX0 + 1;
    vw.tilesY = (vw.vy1 >> kTileShift) - vw.tileY0 + 1;
    vw.gouraud = d.quality == D3DRMRENDER_GOURAUD;
    target_ = {d.colour, d.depth, d.stridePixels};
    depthPending_ = d.depthPending.data();
    depthTilesX_ = d.depthTilesX;
    deviceWidth_ = d.width;
    deviceHeight_ = d.height;

    // Lights of the camera's scene, and of the rendered tree when it is another scene.
    const int n = pool_->size();
    const std::size_t tiles = static_cast<std::size_t>(vw.tilesX) * vw.tilesY;
    try {
        worldLights_.clear();
        modelLights_.clear();
        instances_.clear();
        FrameImpl* cameraRoot = camera->root();
        gatherLights(*cameraRoot);
        if (frame.root() != cameraRoot)
            gatherLights(frame);
        gatherInstances(frame, worldToCamera);
        if (instances_.empty() || totalTriangles_ == 0)
            return truncated_ ? D3DRMERR_OUTOFMEMORY : D3DRM_OK;
        chunkCount_ = std::clamp<std::size_t>(totalTriangles_ / kChunkTriangles, 1,
                                              static_cast<std::size_t>(8 * n));
        if (chunks_.size() < chunkCount_)
            chunks_.resize(chunkCount_);
        for (std::size_t c = 0; c < chunkCount_; ++c) {
            ChunkBins& bins = chunks_[c];
            bins.records.clear();
            if (bins.tiles.size() < tiles)
                bins.tiles.resize(tiles);
            for (std::size_t t = 0; t < tiles; ++t)
                bins.tiles[t].clear();
        }
    } catch (const std::bad_alloc&) {
        instances_.clear();
        return D3DRMERR_OUTOFMEMORY;
    }
    // A worker that cannot grow its buffers drops the rest of its triangles and says so.
    std::atomic<bool> outOfMemory{false};
    const std::size_t vertexCount = vertices_.size();
    const std::size_t vertexBlocks = (vertexCount + kVertexBlock - 1) / kVertexBlock;
    nextChunk_.store(0, std::memory_order_relaxed);
    pool_->run([&](int) {
        for (std::size_t b;
             (b = nextChunk_.fetch_add(1, std::memory_order_relaxed)) < vertexBlocks;)
            processVertices(b * kVertexBlock, std::min(vertexCount, (b + 1) * kVertexBlock));
    });
    nextChunk_.store(0, std::memory_order_relaxed);
    pool_->run([&](int) {
        for (std::size_t c;
             (c = nextChunk_.fetch_add(1, std::memory_order_relaxed)) < chunkCount_;) {
            try {
                processTriangles(chunks_[c], totalTriangles_ * c / chunkCount_,
                                 totalTriangles_ * (c + 1) / chunkCount_);
            } catch (const std::bad_alloc&) {
                outOfMemory.store(true, std::memory_order_relaxed);
            }
        }
    });
    nextTile_.store(0, std::memory_order_relaxed);
    pool_->run([&](int worker) { drawTiles(worker); });
    return outOfMemory.load() || truncated_ ? D3DRMERR_OUTOFMEMORY : D3DRM_OK;
}

} // namespace

void computeMeshNormals(MeshImpl& mesh) {
    const std::size_t faces = mesh.faceStart.size() - 1;
    mesh.faceNormals.assign(faces, Vec3{0, 0, 0});
    mesh.faceCentroids.assign(faces, Vec3{0, 0, 0});
    mesh.vertexNormals.assign(mesh.vertices.size(), Vec3{0, 0, 0});
    for (std::size_t f = 0; f < faces; ++f) {
        const std::uint32_t* idx = mesh.faceIndices.data() + mesh.faceStart[f];
        const std::size_t n = mesh.faceStart[f + 1] - mesh.faceStart[f];
        const Vec3 p0 = mesh.vertices[idx[0]];
        Vec3 sum{0, 0, 0}, centroid{0, 0, 0};
        for (std::size_t k = 0; k < n; ++k)
            centroid = centroid + mesh.vertices[idx[k]];
        // Sum over the fan: for a convex polygon, the plane normal with the front's sign
        // (vertices clockwise as seen from the front in left-handed coordinates).
        for (std::size_t k = 1; k + 1 < n; ++k)
            sum = sum + cross(mesh.vertices[idx[k]] - p0, mesh.vertices[idx[k + 1]] - p0);
        const Vec3 normal = normalised(sum);
        mesh.faceNormals[f] = normal;
        mesh.faceCentroids[f] = centroid * (1.0f / static_cast<float>(n));
        for (std::size_t k = 0; k < n; ++k)
            mesh.vertexNormals[idx[k]] = mesh.vertexNormals[idx[k]] + normal;
    }
    for (Vec3& n : mesh.vertexNormals)
        n = normalised(n);
}

int renderThreadCount() {
    return renderer().threads();
}
void setRenderThreadCount(int threads) {
    renderer().resizePool(threads);
}

void clearViewport(ViewportImpl& vp) {
    renderer().clear(vp);
}
HRESULT renderFrameTree(ViewportImpl& vp, FrameImpl& frame) {
    return renderer().render(vp, frame);
}

} // namespace retained
