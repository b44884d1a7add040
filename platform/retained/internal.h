// The engine's objects behind the public structs, shared by the engine's own sources.
#pragma once

#include "platform/retained/math.h"
#include "platform/retained/retained.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace retained {

class Renderer;

// Counts of live objects, for the test seam.
void noteCreated();
void noteDestroyed();

// Test seam: counts the call and says whether an armed fault makes it fail.
bool injectedFault(const char* operation);

constexpr int kMaxSurfaceSide = 16384;

struct ClipperImpl final : IDirectDrawClipper {
    ClipperImpl() { noteCreated(); }
    ~ClipperImpl() { noteDestroyed(); }
    ULONG refs = 1;
    HWND window = nullptr;
};

struct TextureImpl final : IDirect3DRMTexture {
    TextureImpl() { noteCreated(); }
    ~TextureImpl() { noteDestroyed(); }
    ULONG refs = 1;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows top to bottom, width apart
    std::string fileName;
};

struct LightImpl final : IDirect3DRMLight {
    LightImpl() { noteCreated(); }
    ~LightImpl() { noteDestroyed(); }
    ULONG refs = 1;
    D3DRMLIGHTTYPE type = D3DRMLIGHT_AMBIENT;
    float r = 0, g = 0, b = 0;
};

struct MeshImpl final : IDirect3DRMMeshBuilder {
    MeshImpl() { noteCreated(); }
    ~MeshImpl();
    ULONG refs = 1;
    std::vector<Vec3> vertices;
    std::vector<float> u, v; // per vertex
    // Triangles after fanning polygons: three vertex indices each, and the polygon each came from.
    std::vector<std::uint32_t> triangles;
    std::vector<std::uint32_t> triangleFace;
    // Polygons as given: offsets into faceIndices (faceStart has one more entry than faces).
    std::vector<std::uint32_t> faceIndices;
    std::vector<std::uint32_t> faceStart{0};
    // Derived: per face plane normal (unit, out of its front) and centroid; per vertex normal.
    std::vector<Vec3> faceNormals;
    std::vector<Vec3> faceCentroids;
    std::vector<Vec3> vertexNormals;
    D3DCOLOR colour = 0xFFFFFFFF;
    TextureImpl* texture = nullptr;
};

struct FrameImpl final : IDirect3DRMFrame {
    FrameImpl() { noteCreated(); }
    ~FrameImpl();
    ULONG refs = 1;
    FrameImpl* parent = nullptr; // not owned: the parent owns this frame
    std::vector<FrameImpl*> children;
    std::vector<MeshImpl*> visuals;
    std::vector<LightImpl*> lights;
    Mat3 rotation = Mat3::identity(); // local axes in parent coordinates (columns x, y, z)
    Vec3 position{0, 0, 0};           // origin in parent coordinates
    D3DCOLOR background = 0xFF000000;

    Transform world() const; // local to world
    FrameImpl* root();
};

struct DeviceImpl;

struct WinDeviceImpl final : IDirect3DRMWinDevice {
    WinDeviceImpl() { noteCreated(); }
    ~WinDeviceImpl();
    ULONG refs = 1;
    DeviceImpl* device = nullptr; // owned reference
};

struct DeviceImpl final : IDirect3DRMDevice {
    DeviceImpl() { noteCreated(); }
    ~DeviceImpl();
    ULONG refs = 1;
    int width = 0;
    int height = 0;
    int stridePixels = 0; // row pitch of both buffers, in elements
    HWND window = nullptr;
    bool fromClipper = false;
    DWORD quality = D3DRMRENDER_FLAT;
    // Buffers aligned for vector stores; depth holds 1/z (0 = nothing drawn, far away).
    std::uint32_t* colour = nullptr;
    float* depth = nullptr;
    void* block = nullptr;
    // Depth is cleared lazily per 64 x 64 tile: a tile that a Clear covered whole is only
    // marked here, and its depth is zeroed when a Render first draws into it.
    int depthTilesX = 0, depthTilesY = 0;
    std::vector<std::uint8_t> depthPending;
    bool allocate(int w, int h);
};

struct ViewportImpl final : IDirect3DRMViewport {
    ViewportImpl() { noteCreated(); }
    ~ViewportImpl();
    ULONG refs = 1;
    DeviceImpl* device = nullptr; // owned reference
    FrameImpl* camera = nullptr;  // owned reference
    int x = 0, y = 0, width = 0, height = 0;
    float front = 1.0f;
    float back = 100.0f;
    float field = 0.5f;
};

struct RootImpl final : IDirect3DRM {
    RootImpl() { noteCreated(); }
    ~RootImpl() { noteDestroyed(); }
    ULONG refs = 1;
};

// Texture decoding, provided by the texture loader library (Qt's image readers) or by the
// core-only stand-in that refuses every file. Fills texture's size and pixels.
HRESULT decodeTextureFile(const char* fileName, TextureImpl& texture);

// Draws the frame tree into the viewport's rectangle of its device. Fails (having drawn what
// fits) when the tree holds more than one frame may draw or memory runs out.
HRESULT renderFrameTree(ViewportImpl& viewport, FrameImpl& frame);
void clearViewport(ViewportImpl& viewport);

inline ClipperImpl* impl(IDirectDrawClipper* p) {
    return static_cast<ClipperImpl*>(p);
}
inline TextureImpl* impl(IDirect3DRMTexture* p) {
    return static_cast<TextureImpl*>(p);
}
inline LightImpl* impl(IDirect3DRMLight* p) {
    return static_cast<LightImpl*>(p);
}
inline MeshImpl* impl(IDirect3DRMMeshBuilder* p) {
    return static_cast<MeshImpl*>(p);
}
inline FrameImpl* impl(IDirect3DRMFrame* p) {
    return static_cast<FrameImpl*>(p);
}
inline DeviceImpl* impl(IDirect3DRMDevice* p) {
    return static_cast<DeviceImpl*>(p);
}
inline WinDeviceImpl* impl(IDirect3DRMWinDevice* p) {
    return static_cast<WinDeviceImpl*>(p);
}
inline ViewportImpl* impl(IDirect3DRMViewport* p) {
    return static_cast<ViewportImpl*>(p);
}
inline RootImpl* impl(IDirect3DRM* p) {
    return static_cast<RootImpl*>(p);
}

// Frees an object whose last reference went. Frames hold their children, so freeing a long
// chain would nest one destructor inside another as deep as the chain: frames freed while
// another frame is being freed are queued and freed one after another instead.
void destroyFrame(FrameImpl* frame);
inline void destroy(FrameImpl* p) {
    destroyFrame(p);
}
template <class T> void destroy(T* p) {
    delete p;
}

template <class T> void addRef(T* p) {
    if (p)
        ++p->refs;
}
template <class T> void release(T* p) {
    if (p && --p->refs == 0)
        destroy(p);
}

} // namespace retained
