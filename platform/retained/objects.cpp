// The engine's objects: creation, reference counting, the scene graph and its setters.
#include "platform/retained/internal.h"
#include "platform/retained/render.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace retained;

namespace {

std::atomic<long> g_liveObjects{0};
D3DRMPRESENTFN g_presenter = nullptr;

// Per builder limits: far above any scene the viewer reads (300000 table entries), and small
// enough that a forged count cannot make us allocate without bound.
constexpr std::size_t kMaxMeshVertices = std::size_t{1} << 24;
constexpr std::size_t kMaxMeshTriangles = std::size_t{1} << 25;

bool validSide(long long side) {
    return side >= 1 && side <= kMaxSurfaceSide;
}

} // namespace

namespace retained {

void noteCreated() {
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}
void noteDestroyed() {
    g_liveObjects.fetch_sub(1, std::memory_order_relaxed);
}
long liveObjects() {
    return g_liveObjects.load(std::memory_order_relaxed);
}

MeshImpl::~MeshImpl() {
    release(texture);
    noteDestroyed();
}

FrameImpl::~FrameImpl() {
    for (FrameImpl* child : children) {
        child->parent = nullptr;
        release(child);
    }
    for (MeshImpl* mesh : visuals)
        release(mesh);
    for (LightImpl* light : lights)
        release(light);
    noteDestroyed();
}

namespace {
thread_local std::vector<FrameImpl*>* t_framesToFree = nullptr;
}

void destroyFrame(FrameImpl* frame) {
    if (t_framesToFree) {
        t_framesToFree->push_back(frame);
        return;
    }
    std::vector<FrameImpl*> toFree{frame};
    t_framesToFree = &toFree;
    while (!toFree.empty()) {
        FrameImpl* f = toFree.back();
        toFree.pop_back();
        delete f;
    }
    t_framesToFree = nullptr;
}

Transform FrameImpl::world() const {
    Transform t{rotation, position};
    for (const FrameImpl* p = parent; p; p = p->parent)
        t = Transform{p->rotation, p->position} * t;
    return t;
}

FrameImpl* FrameImpl::root() {
    FrameImpl* f = this;
    while (f->parent)
        f = f->parent;
    return f;
}

WinDeviceImpl::~WinDeviceImpl() {
    release(device);
    noteDestroyed();
}

DeviceImpl::~DeviceImpl() {
    std::free(block);
    noteDestroyed();
}

bool DeviceImpl::allocate(int w, int h) {
    // Rows padded to 16 pixels (64 bytes) so that every row starts aligned for vector stores.
    const std::size_t stride = (static_cast<std::size_t>(w) + 15) & ~std::size_t{15};
    const std::size_t plane = stride * static_cast<std::size_t>(h) * 4;
    void* memory = std::aligned_alloc(64, plane * 2);
    if (!memory)
        return false;
    block = memory;
    width = w;
    height = h;
    stridePixels = static_cast<int>(stride);
    colour = static_cast<std::uint32_t*>(memory);
    depth = reinterpret_cast<float*>(static_cast<char*>(memory) + plane);
    std::memset(memory, 0, plane * 2); // black picture, depth 0 (nothing drawn)
    depthTilesX = (w + 63) / 64;
    depthTilesY = (h + 63) / 64;
    depthPending.assign(static_cast<std::size_t>(depthTilesX) * depthTilesY, 0);
    return true;
}

ViewportImpl::~ViewportImpl() {
    release(camera);
    release(device);
    noteDestroyed();
}

} // namespace retained

// ---------------------------------------------------------------------------------------------
// GUIDs

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

const GUID IID_IDirect3DRMWinDevice = {
    0xc5016cc0, 0xd273, 0x11ce, {0xac, 0x48, 0x00, 0x00, 0xc0, 0x38, 0x25, 0xa1}};

// ---------------------------------------------------------------------------------------------
// Entry points

HRESULT Direct3DRMCreate(IDirect3DRM** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("Direct3DRMCreate"))
        return D3DRMERR_FAULTINJECTED;
    *out = new RootImpl;
    return D3DRM_OK;
}

HRESULT DirectDrawCreateClipper(DWORD flags, IDirectDrawClipper** out, void* outer) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("DirectDrawCreateClipper"))
        return D3DRMERR_FAULTINJECTED;
    if (flags != 0 || outer)
        return D3DRMERR_BADVALUE;
    *out = new ClipperImpl;
    return D3DRM_OK;
}

void Direct3DRMSetPresenter(D3DRMPRESENTFN presenter) {
    g_presenter = presenter;
}

// ---------------------------------------------------------------------------------------------
// Reference counting: the same two methods on every type.

#define SV_REFCOUNTED(Type)                                                                        \
    ULONG Type::AddRef() {                                                                         \
        auto* self = impl(this);                                                                   \
        return ++self->refs;                                                                       \
    }                                                                                              \
    ULONG Type::Release() {                                                                        \
        auto* self = impl(this);                                                                   \
        ULONG left = --self->refs;                                                                 \
        if (left == 0)                                                                             \
            destroy(self);                                                                         \
        return left;                                                                               \
    }

SV_REFCOUNTED(IDirectDrawClipper)
SV_REFCOUNTED(IDirect3DRM)
SV_REFCOUNTED(IDirect3DRMFrame)
SV_REFCOUNTED(IDirect3DRMMeshBuilder)
SV_REFCOUNTED(IDirect3DRMTexture)
SV_REFCOUNTED(IDirect3DRMLight)
SV_REFCOUNTED(IDirect3DRMDevice)
SV_REFCOUNTED(IDirect3DRMWinDevice)
SV_REFCOUNTED(IDirect3DRMViewport)

#undef SV_REFCOUNTED

// ---------------------------------------------------------------------------------------------
// Clipper

HRESULT IDirectDrawClipper::SetHWnd(DWORD flags, HWND window) {
    if (injectedFault("SetHWnd"))
        return D3DRMERR_FAULTINJECTED;
    if (flags != 0)
        return D3DRMERR_BADVALUE;
    impl(this)->window = window;
    return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------------
// Root object

HRESULT IDirect3DRM::CreateFrame(IDirect3DRMFrame* parent, IDirect3DRMFrame** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateFrame"))
        return D3DRMERR_FAULTINJECTED;
    auto* frame = new FrameImpl;
    if (parent) {
        FrameImpl* p = impl(parent);
        p->children.push_back(frame);
        frame->parent = p;
        addRef(frame);
    }
    *out = frame;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateMeshBuilder(IDirect3DRMMeshBuilder** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateMeshBuilder"))
        return D3DRMERR_FAULTINJECTED;
    *out = new MeshImpl;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::LoadTexture(const char* fileName, IDirect3DRMTexture** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("LoadTexture"))
        return D3DRMERR_FAULTINJECTED;
    if (!fileName || !*fileName)
        return D3DRMERR_BADVALUE;
    auto* texture = new TextureImpl;
    texture->fileName = fileName;
    HRESULT status = decodeTextureFile(fileName, *texture);
    if (status == D3DRM_OK &&
        (!validSide(texture->width) || !validSide(texture->height) ||
         texture->pixels.size() !=
             static_cast<std::size_t>(texture->width) * static_cast<std::size_t>(texture->height)))
        status = D3DRMERR_BADFILE;
    if (status != D3DRM_OK) {
        delete texture;
        return status;
    }
    *out = texture;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE r, D3DVALUE g, D3DVALUE b,
                                    IDirect3DRMLight** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateLightRGB"))
        return D3DRMERR_FAULTINJECTED;
    const int t = static_cast<int>(type);
    if (t < D3DRMLIGHT_AMBIENT || t > D3DRMLIGHT_DIRECTIONAL)
        return D3DRMERR_BADVALUE;
    if (!std::isfinite(r) || !std::isfinite(g) || !std::isfinite(b))
        return D3DRMERR_BADVALUE;
    auto* light = new LightImpl;
    light->type = type;
    light->r = r;
    light->g = g;
    light->b = b;
    *out = light;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateDeviceFromClipper(IDirectDrawClipper* clipper, const GUID* /*driver*/,
                                             int width, int height, IDirect3DRMDevice** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateDeviceFromClipper"))
        return D3DRMERR_FAULTINJECTED;
    if (!clipper)
        return D3DRMERR_BADOBJECT;
    if (!validSide(width) || !validSide(height))
        return D3DRMERR_BADVALUE;
    auto* device = new DeviceImpl;
    if (!device->allocate(width, height)) {
        delete device;
        return D3DRMERR_OUTOFMEMORY;
    }
    device->window = impl(clipper)->window;
    device->fromClipper = true;
    *out = device;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateDeviceOffscreen(int width, int height, IDirect3DRMDevice** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateDeviceOffscreen"))
        return D3DRMERR_FAULTINJECTED;
    if (!validSide(width) || !validSide(height))
        return D3DRMERR_BADVALUE;
    auto* device = new DeviceImpl;
    if (!device->allocate(width, height)) {
        delete device;
        return D3DRMERR_OUTOFMEMORY;
    }
    *out = device;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, DWORD x,
                                    DWORD y, DWORD width, DWORD height, IDirect3DRMViewport** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("CreateViewport"))
        return D3DRMERR_FAULTINJECTED;
    if (!device || !camera)
        return D3DRMERR_BADOBJECT;
    DeviceImpl* d = impl(device);
    if (!validSide(width) || !validSide(height))
        return D3DRMERR_BADVALUE;
    if (std::uint64_t{x} + width > static_cast<std::uint64_t>(d->width) ||
        std::uint64_t{y} + height > static_cast<std::uint64_t>(d->height))
        return D3DRMERR_BADVALUE;
    auto* viewport = new ViewportImpl;
    viewport->device = d;
    addRef(d);
    viewport->camera = impl(camera);
    addRef(viewport->camera);
    viewport->x = static_cast<int>(x);
    viewport->y = static_cast<int>(y);
    viewport->width = static_cast<int>(width);
    viewport->height = static_cast<int>(height);
    *out = viewport;
    return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------------
// Frame

HRESULT IDirect3DRMFrame::AddVisual(IDirect3DRMMeshBuilder* visual) {
    if (injectedFault("AddVisual"))
        return D3DRMERR_FAULTINJECTED;
    if (!visual)
        return D3DRMERR_BADOBJECT;
    MeshImpl* mesh = impl(visual);
    impl(this)->visuals.push_back(mesh);
    addRef(mesh);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::AddLight(IDirect3DRMLight* light) {
    if (injectedFault("AddLight"))
        return D3DRMERR_FAULTINJECTED;
    if (!light)
        return D3DRMERR_BADOBJECT;
    LightImpl* l = impl(light);
    impl(this)->lights.push_back(l);
    addRef(l);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y,
                                      D3DVALUE z) {
    if (injectedFault("SetPosition"))
        return D3DRMERR_FAULTINJECTED;
    FrameImpl* self = impl(this);
    const Vec3 given{x, y, z};
    if (!isFinite(given))
        return D3DRMERR_BADVALUE;
    Vec3 local = given;
    if (reference) {
        const Vec3 world = impl(reference)->world().apply(given);
        local = self->parent ? self->parent->world().applyInverse(world) : world;
    }
    if (!isFinite(local))
        return D3DRMERR_BADVALUE;
    self->position = local;
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy,
                                         D3DVALUE dz, D3DVALUE ux, D3DVALUE uy, D3DVALUE uz) {
    if (injectedFault("SetOrientation"))
        return D3DRMERR_FAULTINJECTED;
    FrameImpl* self = impl(this);
    const Vec3 dir{dx, dy, dz};
    const Vec3 up{ux, uy, uz};
    if (!isFinite(dir) || !isFinite(up))
        return D3DRMERR_BADVALUE;
    const Vec3 z = normalised(dir);
    if (z.x == 0 && z.y == 0 && z.z == 0)
        return D3DRMERR_BADVALUE;
    // Up made perpendicular to the direction; when it is (nearly) parallel or zero, the world
    // axis least aligned with the direction stands in, so that the choice is stable.
    Vec3 u = normalised(up);
    Vec3 y = normalised(u - z * dot(u, z));
    if (length(u - z * dot(u, z)) < 1e-6f || (y.x == 0 && y.y == 0 && y.z == 0)) {
        const float ax = std::fabs(z.x), ay = std::fabs(z.y), az = std::fabs(z.z);
        Vec3 axis = (ax <= ay && ax <= az) ? Vec3{1, 0, 0}
                    : (ay <= az)           ? Vec3{0, 1, 0}
                                           : Vec3{0, 0, 1};
        y = normalised(axis - z * dot(axis, z));
    }
    const Vec3 x = cross(y, z);
    Mat3 axes{x, y, z}; // in the reference's coordinates (or the parent's)
    if (reference) {
        const Mat3 refWorld = impl(reference)->world().rotation;
        axes = refWorld * axes;
        if (self->parent)
            axes = self->parent->world().rotation.transposed() * axes;
    }
    self->rotation = axes;
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetSceneBackground(D3DCOLOR colour) {
    if (injectedFault("SetSceneBackground"))
        return D3DRMERR_FAULTINJECTED;
    impl(this)->root()->background = colour;
    return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------------
// Mesh builder

HRESULT IDirect3DRMMeshBuilder::AddFaces(DWORD vertexCount, const D3DVECTOR* vertices,
                                         DWORD normalCount, const D3DVECTOR* normals,
                                         const DWORD* faceData, DWORD faceDataWordCount,
                                         void** faceArray) {
    if (injectedFault("AddFaces"))
        return D3DRMERR_FAULTINJECTED;
    MeshImpl* mesh = impl(this);
    if (normalCount != 0 || normals || faceArray)
        return D3DRMERR_BADVALUE;
    if ((vertexCount > 0 && !vertices) || (faceDataWordCount > 0 && !faceData))
        return D3DRMERR_BADVALUE;
    const std::size_t base = mesh->vertices.size();
    if (vertexCount > kMaxMeshVertices - base)
        return D3DRMERR_OUTOFMEMORY;

    // First pass: check every face against the words given and the vertex count; count what
    // will be added. Nothing changes unless the whole record is sound.
    std::size_t pos = 0, newTriangles = 0, newFaces = 0, newIndices = 0;
    while (pos < faceDataWordCount) {
        const DWORD n = faceData[pos];
        if (n == 0)
            break;
        if (n > faceDataWordCount - pos - 1)
            return D3DRMERR_BADVALUE;
        for (DWORD k = 0; k < n; ++k)
            if (faceData[pos + 1 + k] >= vertexCount)
                return D3DRMERR_BADVALUE;
        if (n >= 3) {
            newTriangles += n - 2;
            newIndices += n;
            ++newFaces;
        }
        pos += std::size_t{n} + 1;
    }
    if (newTriangles > kMaxMeshTriangles - mesh->triangleFace.size())
        return D3DRMERR_OUTOFMEMORY;

    try {
        mesh->vertices.reserve(base + vertexCount);
        mesh->triangles.reserve(mesh->triangles.size() + newTriangles * 3);
        mesh->triangleFace.reserve(mesh->triangleFace.size() + newTriangles);
        mesh->faceIndices.reserve(mesh->faceIndices.size() + newIndices);
        mesh->faceStart.reserve(mesh->faceStart.size() + newFaces);
        mesh->u.reserve(base + vertexCount);
        mesh->v.reserve(base + vertexCount);
    } catch (const std::bad_alloc&) {
        return D3DRMERR_OUTOFMEMORY;
    }

    for (DWORD i = 0; i < vertexCount; ++i) {
        mesh->vertices.push_back({vertices[i].x, vertices[i].y, vertices[i].z});
        mesh->u.push_back(0.0f);
        mesh->v.push_back(0.0f);
    }
    pos = 0;
    while (pos < faceDataWordCount) {
        const DWORD n = faceData[pos];
        if (n == 0)
            break;
        if (n >= 3) {
            const auto face = static_cast<std::uint32_t>(mesh->faceStart.size() - 1);
            const DWORD* idx = faceData + pos + 1;
            for (DWORD k = 0; k < n; ++k)
                mesh->faceIndices.push_back(static_cast<std::uint32_t>(base + idx[k]));
            mesh->faceStart.push_back(static_cast<std::uint32_t>(mesh->faceIndices.size()));
            for (DWORD k = 1; k + 1 < n; ++k) {
                mesh->triangles.push_back(static_cast<std::uint32_t>(base + idx[0]));
                mesh->triangles.push_back(static_cast<std::uint32_t>(base + idx[k]));
                mesh->triangles.push_back(static_cast<std::uint32_t>(base + idx[k + 1]));
                mesh->triangleFace.push_back(face);
            }
        }
        pos += std::size_t{n} + 1;
    }
    computeMeshNormals(*mesh);
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetColor(D3DCOLOR colour) {
    if (injectedFault("SetColor"))
        return D3DRMERR_FAULTINJECTED;
    impl(this)->colour = colour;
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetTexture(IDirect3DRMTexture* texture) {
    if (injectedFault("SetTexture"))
        return D3DRMERR_FAULTINJECTED;
    MeshImpl* mesh = impl(this);
    TextureImpl* t = texture ? impl(texture) : nullptr;
    addRef(t);
    release(mesh->texture);
    mesh->texture = t;
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetTextureCoordinates(DWORD index, D3DVALUE u, D3DVALUE v) {
    if (injectedFault("SetTextureCoordinates"))
        return D3DRMERR_FAULTINJECTED;
    MeshImpl* mesh = impl(this);
    if (index >= mesh->vertices.size())
        return D3DRMERR_BADVALUE;
    if (!std::isfinite(u) || !std::isfinite(v))
        return D3DRMERR_BADVALUE;
    mesh->u[index] = u;
    mesh->v[index] = v;
    return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------------
// Device

HRESULT IDirect3DRMDevice::SetQuality(DWORD quality) {
    if (injectedFault("SetQuality"))
        return D3DRMERR_FAULTINJECTED;
    if (quality != D3DRMRENDER_FLAT && quality != D3DRMRENDER_GOURAUD)
        return D3DRMERR_BADVALUE;
    impl(this)->quality = quality;
    return D3DRM_OK;
}

DWORD IDirect3DRMDevice::GetWidth() {
    return static_cast<DWORD>(impl(this)->width);
}
DWORD IDirect3DRMDevice::GetHeight() {
    return static_cast<DWORD>(impl(this)->height);
}

HRESULT IDirect3DRMDevice::Update() {
    if (injectedFault("Update"))
        return D3DRMERR_FAULTINJECTED;
    DeviceImpl* d = impl(this);
    if (d->fromClipper && d->window && g_presenter)
        g_presenter(d->window, d->colour, d->width, d->height, d->stridePixels * 4);
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::QueryInterface(const GUID& iid, void** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (injectedFault("QueryInterface"))
        return D3DRMERR_FAULTINJECTED;
    if (!(iid == IID_IDirect3DRMWinDevice))
        return D3DRMERR_NOTFOUND;
    auto* win = new WinDeviceImpl;
    win->device = impl(this);
    addRef(win->device);
    *out = static_cast<IDirect3DRMWinDevice*>(win);
    return D3DRM_OK;
}

const std::uint32_t* IDirect3DRMDevice::GetPixels() {
    return impl(this)->colour;
}
int IDirect3DRMDevice::GetStrideBytes() {
    return impl(this)->stridePixels * 4;
}

// ---------------------------------------------------------------------------------------------
// Window device: the picture reaches the window at Update(), so painting and activation only
// need to be acknowledged.

HRESULT IDirect3DRMWinDevice::HandlePaint(HDC /*dc*/) {
    if (injectedFault("HandlePaint"))
        return D3DRMERR_FAULTINJECTED;
    return D3DRM_OK;
}

HRESULT IDirect3DRMWinDevice::HandleActivate(WORD /*state*/) {
    if (injectedFault("HandleActivate"))
        return D3DRMERR_FAULTINJECTED;
    return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------------
// Viewport

HRESULT IDirect3DRMViewport::SetBack(D3DVALUE distance) {
    if (injectedFault("SetBack"))
        return D3DRMERR_FAULTINJECTED;
    ViewportImpl* vp = impl(this);
    if (!std::isfinite(distance) || !(distance > vp->front))
        return D3DRMERR_BADVALUE;
    vp->back = distance;
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::Clear() {
    if (injectedFault("Clear"))
        return D3DRMERR_FAULTINJECTED;
    clearViewport(*impl(this));
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::Render(IDirect3DRMFrame* frame) {
    if (injectedFault("Render"))
        return D3DRMERR_FAULTINJECTED;
    if (!frame)
        return D3DRMERR_BADOBJECT;
    return renderFrameTree(*impl(this), *impl(frame));
}
