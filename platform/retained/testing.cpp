// Test seams: call counts, fault injection and read-only queries of the engine's objects.
#include "platform/retained/testing.h"
#include "platform/retained/internal.h"
#include "platform/retained/render.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

namespace retained {

long liveObjects();

namespace {

struct FaultTable {
    std::mutex lock;
    std::map<std::string, int, std::less<>> calls;
    std::map<std::string, std::set<int>, std::less<>> armed; // absolute call numbers that fail
};

FaultTable& faults() {
    static FaultTable table;
    return table;
}

D3DVECTOR toVector(Vec3 v) {
    return {v.x, v.y, v.z};
}

} // namespace

bool injectedFault(const char* operation) {
    FaultTable& t = faults();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.calls.find(operation);
    if (it == t.calls.end())
        it = t.calls.emplace(operation, 0).first;
    const int n = ++it->second;
    auto armed = t.armed.find(operation);
    if (armed == t.armed.end())
        return false;
    return armed->second.erase(n) > 0;
}

} // namespace retained

namespace retained::testing {

std::size_t liveObjectCount() {
    return static_cast<std::size_t>(retained::liveObjects());
}

ULONG referenceCount(IDirect3DRM* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMFrame* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMMeshBuilder* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMTexture* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMLight* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMDevice* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirect3DRMViewport* o) {
    return impl(o)->refs;
}
ULONG referenceCount(IDirectDrawClipper* o) {
    return impl(o)->refs;
}

void failCall(const std::string& operation, int nth) {
    FaultTable& t = faults();
    std::lock_guard<std::mutex> guard(t.lock);
    const int done = t.calls[operation];
    t.armed[operation].insert(done + std::max(1, nth));
}

void resetFaults() {
    FaultTable& t = faults();
    std::lock_guard<std::mutex> guard(t.lock);
    t.calls.clear();
    t.armed.clear();
}

int callCount(const std::string& operation) {
    FaultTable& t = faults();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.calls.find(operation);
    return it == t.calls.end() ? 0 : it->second;
}

HRESULT createTexture(IDirect3DRM* rm, int width, int height, const std::uint32_t* pixels,
                      IDirect3DRMTexture** out) {
    if (!out)
        return D3DRMERR_BADVALUE;
    *out = nullptr;
    if (!rm || !pixels)
        return D3DRMERR_BADOBJECT;
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        return D3DRMERR_BADVALUE;
    auto* texture = new TextureImpl;
    texture->width = width;
    texture->height = height;
    texture->pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    for (auto& p : texture->pixels)
        p &= 0x00FFFFFFu;
    *out = texture;
    return D3DRM_OK;
}

std::vector<IDirect3DRMFrame*> frameChildren(IDirect3DRMFrame* frame) {
    const auto& c = impl(frame)->children;
    return {c.begin(), c.end()};
}
std::vector<IDirect3DRMMeshBuilder*> frameVisuals(IDirect3DRMFrame* frame) {
    const auto& c = impl(frame)->visuals;
    return {c.begin(), c.end()};
}
std::vector<IDirect3DRMLight*> frameLights(IDirect3DRMFrame* frame) {
    const auto& c = impl(frame)->lights;
    return {c.begin(), c.end()};
}
IDirect3DRMFrame* frameParent(IDirect3DRMFrame* frame) {
    return impl(frame)->parent;
}

D3DVECTOR frameWorldPosition(IDirect3DRMFrame* frame) {
    return toVector(impl(frame)->world().position);
}
D3DVECTOR frameWorldDirection(IDirect3DRMFrame* frame) {
    return toVector(impl(frame)->world().rotation.z);
}
D3DVECTOR frameWorldUp(IDirect3DRMFrame* frame) {
    return toVector(impl(frame)->world().rotation.y);
}
D3DVECTOR frameWorldRight(IDirect3DRMFrame* frame) {
    return toVector(impl(frame)->world().rotation.x);
}
D3DCOLOR sceneBackground(IDirect3DRMFrame* frame) {
    return impl(frame)->root()->background;
}

LightInfo lightInfo(IDirect3DRMLight* light) {
    const LightImpl* l = impl(light);
    return {l->type, l->r, l->g, l->b};
}

std::vector<D3DVECTOR> meshVertices(IDirect3DRMMeshBuilder* mesh) {
    std::vector<D3DVECTOR> out;
    for (const Vec3& v : impl(mesh)->vertices)
        out.push_back(toVector(v));
    return out;
}

std::vector<std::vector<DWORD>> meshFaces(IDirect3DRMMeshBuilder* mesh) {
    const MeshImpl* m = impl(mesh);
    std::vector<std::vector<DWORD>> out;
    for (std::size_t f = 0; f + 1 < m->faceStart.size(); ++f)
        out.emplace_back(m->faceIndices.begin() + m->faceStart[f],
                         m->faceIndices.begin() + m->faceStart[f + 1]);
    return out;
}

D3DCOLOR meshColor(IDirect3DRMMeshBuilder* mesh) {
    return impl(mesh)->colour;
}
IDirect3DRMTexture* meshTexture(IDirect3DRMMeshBuilder* mesh) {
    return impl(mesh)->texture;
}

std::vector<TextureCoordinate> meshTextureCoordinates(IDirect3DRMMeshBuilder* mesh) {
    const MeshImpl* m = impl(mesh);
    std::vector<TextureCoordinate> out;
    for (std::size_t i = 0; i < m->u.size(); ++i)
        out.push_back({m->u[i], m->v[i]});
    return out;
}

TextureInfo textureInfo(IDirect3DRMTexture* texture) {
    const TextureImpl* t = impl(texture);
    return {t->width, t->height, t->pixels, t->fileName};
}

DWORD deviceQuality(IDirect3DRMDevice* device) {
    return impl(device)->quality;
}
HWND deviceWindow(IDirect3DRMDevice* device) {
    return impl(device)->window;
}
HWND clipperWindow(IDirectDrawClipper* clipper) {
    return impl(clipper)->window;
}
float viewportBack(IDirect3DRMViewport* viewport) {
    return impl(viewport)->back;
}

int rendererThreadCount() {
    return retained::renderThreadCount();
}
void setRendererThreadCount(int threads) {
    retained::setRenderThreadCount(threads);
}

} // namespace retained::testing
