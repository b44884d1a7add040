// Frames of the renderer at 1920 x 1080: Clear + Render + Update of
//   sphere_gouraud   a lit lat/long sphere of about 1,000,000 triangles (Gouraud quality,
//                    ambient + directional + point light), filling ~70% of the height;
//   sphere_textured  the same sphere at about 100,000 triangles with a 256 x 256 texture;
//   clear_empty      Clear plus the render of an empty scene (the fill-rate floor).
// The argument is the worker count (0 = the engine's default, one per core).
// Counters: tri/s = submitted triangles per second (about half are back faces).
#include "platform/retained/retained.h"
#include "platform/retained/testing.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Frame {
    IDirect3DRM* rm = nullptr;
    IDirect3DRMFrame* scene = nullptr;
    IDirect3DRMFrame* camera = nullptr;
    IDirect3DRMDevice* device = nullptr;
    IDirect3DRMViewport* viewport = nullptr;
    long triangles = 0;

    Frame() {
        Direct3DRMCreate(&rm);
        rm->CreateFrame(nullptr, &scene);
        rm->CreateFrame(scene, &camera);
        rm->CreateDeviceOffscreen(kWidth, kHeight, &device);
        device->SetQuality(D3DRMRENDER_GOURAUD);
        rm->CreateViewport(device, camera, 0, 0, kWidth, kHeight, &viewport);
        viewport->SetBack(5000.0f);
        scene->SetSceneBackground(0xFF203040);
    }
    ~Frame() {
        viewport->Release();
        device->Release();
        camera->Release();
        scene->Release();
        rm->Release();
    }

    void addLights() {
        struct L {
            D3DRMLIGHTTYPE type;
            float level;
            D3DVECTOR position, direction;
        };
        for (const L& l : {L{D3DRMLIGHT_AMBIENT, 0.2f, {0, 0, 0}, {0, 0, 1}},
                           L{D3DRMLIGHT_DIRECTIONAL, 0.7f, {0, 0, 0}, {-0.3f, -0.5f, 1}},
                           L{D3DRMLIGHT_POINT, 0.6f, {30, 20, 40}, {0, 0, 1}}}) {
            IDirect3DRMFrame* f = nullptr;
            IDirect3DRMLight* light = nullptr;
            rm->CreateFrame(scene, &f);
            f->SetPosition(nullptr, l.position.x, l.position.y, l.position.z);
            f->SetOrientation(nullptr, l.direction.x, l.direction.y, l.direction.z, 0, 1, 0);
            rm->CreateLightRGB(l.type, l.level, l.level, l.level, &light);
            f->AddLight(light);
            light->Release();
            f->Release();
        }
    }

    // A lat/long sphere of about `target` triangles, 100 units ahead, radius 35.
    void addSphere(long target, bool textured) {
        const long stacks = std::max(2L, std::lround(std::sqrt(target / 4.0)));
        const long slices = std::max(3L, (target / 2 + stacks / 2) / stacks);
        std::vector<D3DVECTOR> v;
        std::vector<float> uv;
        for (long s = 0; s <= stacks; ++s) {
            const double th = M_PI * s / stacks;
            for (long l = 0; l <= slices; ++l) {
                const double ph = 2 * M_PI * l / slices;
                v.push_back({static_cast<float>(35 * std::sin(th) * std::cos(ph)),
                             static_cast<float>(35 * std::cos(th)),
                             static_cast<float>(100 + 35 * std::sin(th) * std::sin(ph))});
                uv.push_back(static_cast<float>(8.0 * l / slices));
                uv.push_back(static_cast<float>(4.0 * s / stacks));
            }
        }
        std::vector<DWORD> faces;
        for (long s = 0; s < stacks; ++s)
            for (long l = 0; l < slices; ++l) {
                const auto a = static_cast<DWORD>(s * (slices + 1) + l), b = a + 1;
                const auto c = a + static_cast<DWORD>(slices + 1), d = c + 1;
                faces.insert(faces.end(), {4, a, b, d, c});
            }
        faces.push_back(0);
        triangles = stacks * slices * 2;
        IDirect3DRMFrame* f = nullptr;
        IDirect3DRMMeshBuilder* m = nullptr;
        rm->CreateFrame(scene, &f);
        rm->CreateMeshBuilder(&m);
        m->AddFaces(static_cast<DWORD>(v.size()), v.data(), 0, nullptr, faces.data(),
                    static_cast<DWORD>(faces.size()), nullptr);
        m->SetColor(0xFFE0C0A0);
        if (textured) {
            std::vector<std::uint32_t> texels(256 * 256);
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    texels[y * 256 + x] = ((x / 32 + y / 32) % 2)
                                              ? 0xFFE6u << 8
                                              : (std::uint32_t(60 + x / 2) << 16) |
                                                    (std::uint32_t(60 + y / 2) << 8) | 0x80;
            IDirect3DRMTexture* t = nullptr;
            retained::testing::createTexture(rm, 256, 256, texels.data(), &t);
            m->SetTexture(t);
            t->Release();
            for (std::size_t i = 0; i < v.size(); ++i)
                m->SetTextureCoordinates(static_cast<DWORD>(i), uv[2 * i], uv[2 * i + 1]);
        }
        f->AddVisual(m);
        m->Release();
        f->Release();
    }

    void draw() {
        viewport->Clear();
        viewport->Render(scene);
        device->Update();
    }
};

void run(benchmark::State& state, Frame& frame) {
    const int before = retained::testing::rendererThreadCount();
    if (state.range(0) > 0)
        retained::testing::setRendererThreadCount(static_cast<int>(state.range(0)));
    state.counters["threads"] = retained::testing::rendererThreadCount();
    for (int i = 0; i < 3; ++i)
        frame.draw(); // warm-up: buffers grow to the scene once
    for (auto _ : state) {
        frame.draw();
        benchmark::DoNotOptimize(frame.device->GetPixels());
        benchmark::ClobberMemory();
    }
    if (frame.triangles > 0)
        state.counters["tri/s"] = benchmark::Counter(static_cast<double>(frame.triangles) *
                                                         static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
    retained::testing::setRendererThreadCount(before);
}

void BM_sphere_gouraud(benchmark::State& state) {
    static Frame* frame = [] {
        auto* f = new Frame;
        f->addLights();
        f->addSphere(1000000, false);
        return f;
    }();
    run(state, *frame);
}

void BM_sphere_textured(benchmark::State& state) {
    static Frame* frame = [] {
        auto* f = new Frame;
        f->addLights();
        f->addSphere(100000, true);
        return f;
    }();
    run(state, *frame);
}

void BM_clear_empty(benchmark::State& state) {
    static Frame* frame = new Frame;
    run(state, *frame);
}

} // namespace

BENCHMARK(BM_sphere_gouraud)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_sphere_textured)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_clear_empty)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
