// libFuzzer target: the engine's face data. Any vertex count and any face
// words go to AddFaces (twice on one builder, so the second call's indices
// are numbered after the first call's vertices), with texture coordinates at
// any index, then one render from a camera placed by the input.
//
// Input: u32 vertexCount, u8 flags, 3 x f32 camera position, u16 vertexBytes,
// then vertexBytes bytes that fill the vertex array over and over, then the
// face words (u32 each; a word cut short is dropped). The vertex array given
// always holds vertexCount entries; a count above kMaxVertexArray is passed
// with no array, which the engine must refuse without reading.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/retained/retained.h"
#include "platform/retained/testing.h"

namespace rt = retained::testing;

namespace {

constexpr DWORD kMaxVertexArray = 1u << 16;
constexpr int kWidth = 48;
constexpr int kHeight = 40;

void check(bool condition) {
    if (!condition)
        std::abort();
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    template <class T> T take() {
        T v{};
        const std::size_t n = std::min(sizeof(T), size - pos);
        std::memcpy(&v, data + pos, n);
        pos += n;
        return v;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One render thread: runs stay reproducible, and a loaded machine does not stall every
    // input on waking the workers (the worker pool has tests of its own).
    rt::setRendererThreadCount(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    const DWORD vertexCount = in.take<std::uint32_t>();
    const std::uint8_t flags = in.take<std::uint8_t>();
    const float eye[3] = {in.take<float>(), in.take<float>(), in.take<float>()};
    const std::uint16_t declaredVertexBytes = in.take<std::uint16_t>(); // before size - in.pos
    const std::size_t vertexBytes = std::min<std::size_t>(declaredVertexBytes, size - in.pos);
    const std::uint8_t* vertexSource = data + in.pos;
    in.pos += vertexBytes;
    std::vector<DWORD> words((size - in.pos) / 4);
    if (!words.empty())
        std::memcpy(words.data(), data + in.pos, words.size() * 4);

    std::vector<D3DVECTOR> vertices;
    if (vertexCount <= kMaxVertexArray) {
        vertices.resize(vertexCount, D3DVECTOR{0, 0, 0});
        // The vertex bytes over and over: copied once, then the filled part doubled.
        auto* out = reinterpret_cast<std::uint8_t*>(vertices.data());
        const std::size_t total = vertices.size() * sizeof(D3DVECTOR);
        if (vertexBytes > 0 && total > 0) {
            std::size_t filled = std::min(vertexBytes, total);
            std::memcpy(out, vertexSource, filled);
            while (filled < total) {
                const std::size_t n = std::min(filled, total - filled);
                std::memcpy(out + filled, out, n);
                filled += n;
            }
        }
    }
    const D3DVECTOR* vertexArray = vertices.empty() ? nullptr : vertices.data();
    const DWORD* faceData = words.empty() ? nullptr : words.data();
    // Sometimes fewer words than there are, never more.
    const DWORD wordCount =
        (flags & 4) && !words.empty() ? static_cast<DWORD>(words.size() - 1) : words.size();

    const std::size_t liveBefore = rt::liveObjectCount();
    {
        IDirect3DRM* rm = nullptr;
        IDirect3DRMFrame *scene = nullptr, *camera = nullptr, *meshFrame = nullptr,
                         *lightFrame = nullptr;
        IDirect3DRMDevice* device = nullptr;
        IDirect3DRMViewport* viewport = nullptr;
        IDirect3DRMMeshBuilder* mesh = nullptr;
        IDirect3DRMLight* light = nullptr;
        check(Direct3DRMCreate(&rm) == 0);
        check(rm->CreateFrame(nullptr, &scene) == 0);
        check(rm->CreateFrame(scene, &camera) == 0);
        check(rm->CreateFrame(scene, &meshFrame) == 0);
        check(rm->CreateFrame(scene, &lightFrame) == 0);
        check(rm->CreateDeviceOffscreen(kWidth, kHeight, &device) == 0);
        check(device->SetQuality((flags & 1) ? D3DRMRENDER_GOURAUD : D3DRMRENDER_FLAT) == 0);
        check(rm->CreateViewport(device, camera, 0, 0, kWidth, kHeight, &viewport) == 0);
        check(rm->CreateLightRGB((flags & 2) ? D3DRMLIGHT_POINT : D3DRMLIGHT_DIRECTIONAL, 1.0f,
                                 0.5f, 0.25f, &light) == 0);
        check(lightFrame->AddLight(light) == 0);
        camera->SetPosition(scene, eye[0], eye[1], eye[2]);
        camera->SetOrientation(scene, -eye[0], -eye[1], -eye[2], 0.0f, 1.0f, 0.0f);
        check(rm->CreateMeshBuilder(&mesh) == 0);

        const HRESULT first =
            mesh->AddFaces(vertexCount, vertexArray, 0, nullptr, faceData, wordCount, nullptr);
        if (vertexCount > 0 && !vertexArray)
            check(first < 0);
        if (flags & 8) {
            // Again, on top of what the first call added.
            mesh->AddFaces(vertexCount, vertexArray, 0, nullptr, faceData, wordCount, nullptr);
        }
        mesh->SetColor(0xFF000000u | (words.empty() ? 0x808080u : words[0]));
        if (flags & 16) {
            std::uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
            IDirect3DRMTexture* texture = nullptr;
            check(rt::createTexture(rm, 2, 2, pixels, &texture) == 0);
            mesh->SetTexture(texture);
            texture->Release();
            for (std::size_t i = 0; i < words.size() && i < 64; ++i) {
                float u, v;
                std::memcpy(&u, &words[i], 4);
                std::memcpy(&v, &words[words.size() - 1 - i], 4);
                mesh->SetTextureCoordinates(
                    static_cast<DWORD>(words[i] % (std::uint64_t{vertexCount} + 8)), u, v);
            }
        }
        check(meshFrame->AddVisual(mesh) == 0);
        viewport->Clear();
        viewport->Render(scene);
        check(device->GetPixels() != nullptr);

        mesh->Release();
        light->Release();
        viewport->Release();
        device->Release();
        for (auto* f : {lightFrame, meshFrame, camera, scene})
            f->Release();
        rm->Release();
    }
    check(rt::liveObjectCount() == liveBefore);
    return 0;
}
