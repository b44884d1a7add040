// The engine's objects: reference counts and release order, statuses callers rely on, the
// scene graph's placement arithmetic, face records, presenting, and the test seams.
#include "platform/retained/retained.h"
#include "platform/retained/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <pthread.h>
#include <string>
#include <vector>

namespace rt = retained::testing;

namespace {

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::resetFaults();
        baseline_ = rt::liveObjectCount();
        ASSERT_EQ(Direct3DRMCreate(&rm), 0);
    }
    void TearDown() override {
        if (rm)
            rm->Release();
        rt::resetFaults();
        EXPECT_EQ(rt::liveObjectCount(), baseline_) << "objects leaked";
    }
    IDirect3DRMFrame* frame(IDirect3DRMFrame* parent = nullptr) {
        IDirect3DRMFrame* f = nullptr;
        EXPECT_EQ(rm->CreateFrame(parent, &f), 0);
        return f;
    }
    IDirect3DRM* rm = nullptr;
    std::size_t baseline_ = 0;
};

void expectVector(D3DVECTOR v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v.x, x, 1e-5) << what;
    EXPECT_NEAR(v.y, y, 1e-5) << what;
    EXPECT_NEAR(v.z, z, 1e-5) << what;
}

// ---------------------------------------------------------------------------------------------
// Reference counting

TEST_F(Engine, ParentHoldsChildrenAndEitherReleaseOrderFreesAll) {
    for (bool parentFirst : {true, false}) {
        const std::size_t before = rt::liveObjectCount();
        IDirect3DRMFrame* parent = frame();
        IDirect3DRMFrame* child = frame(parent);
        EXPECT_EQ(rt::referenceCount(child), 2u);
        EXPECT_EQ(rt::frameParent(child), parent);
        ASSERT_EQ(rt::frameChildren(parent).size(), 1u);
        if (parentFirst) {
            EXPECT_EQ(parent->Release(), 0u);
            // The child lives on with the caller's reference, now a root of its own.
            EXPECT_EQ(rt::referenceCount(child), 1u);
            EXPECT_EQ(rt::frameParent(child), nullptr);
            EXPECT_EQ(child->Release(), 0u);
        } else {
            EXPECT_EQ(child->Release(), 1u);
            EXPECT_EQ(parent->Release(), 0u);
        }
        EXPECT_EQ(rt::liveObjectCount(), before);
    }
}

// Freeing the top of a long chain of frames must not nest a call per frame: it runs here on a
// thread with a 256 KiB stack, which a call per frame would overflow many times over.
TEST_F(Engine, LongChainOfFramesIsFreedWithoutDeepNesting) {
    const std::size_t before = rt::liveObjectCount();
    IDirect3DRMFrame* top = frame();
    IDirect3DRMFrame* parent = top;
    for (int i = 0; i < 300000; ++i) {
        IDirect3DRMFrame* child = frame(parent);
        ASSERT_EQ(child->Release(), 1u); // the parent keeps it
        parent = child;
    }
    EXPECT_EQ(rt::liveObjectCount(), before + 300001);
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* p) -> void* {
                      static_cast<IDirect3DRMFrame*>(p)->Release();
                      return nullptr;
                  },
                  top),
              0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(rt::liveObjectCount(), before);
}

TEST_F(Engine, OwnersKeepWhatTheyHoldUntilTheyGo) {
    const std::size_t before = rt::liveObjectCount();
    IDirect3DRMFrame* f = frame();
    IDirect3DRMMeshBuilder* mesh = nullptr;
    IDirect3DRMLight* light = nullptr;
    IDirect3DRMTexture* texture = nullptr;
    IDirect3DRMDevice* device = nullptr;
    IDirect3DRMViewport* viewport = nullptr;
    const std::uint32_t texel = 0x123456;
    ASSERT_EQ(rm->CreateMeshBuilder(&mesh), 0);
    ASSERT_EQ(rm->CreateLightRGB(D3DRMLIGHT_POINT, 1, 0.5f, 0.25f, &light), 0);
    ASSERT_EQ(rt::createTexture(rm, 1, 1, &texel, &texture), 0);
    ASSERT_EQ(rm->CreateDeviceOffscreen(8, 8, &device), 0);
    ASSERT_EQ(rm->CreateViewport(device, f, 0, 0, 8, 8, &viewport), 0);
    ASSERT_EQ(mesh->SetTexture(texture), 0);
    ASSERT_EQ(f->AddVisual(mesh), 0);
    ASSERT_EQ(f->AddLight(light), 0);
    EXPECT_EQ(rt::referenceCount(texture), 2u);
    EXPECT_EQ(rt::referenceCount(device), 2u);
    EXPECT_EQ(rt::referenceCount(f), 2u);
    // The creator's references go first; the holders keep the objects alive and usable.
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(mesh->Release(), 1u);
    EXPECT_EQ(light->Release(), 1u);
    EXPECT_EQ(device->Release(), 1u);
    EXPECT_EQ(f->Release(), 1u);
    EXPECT_EQ(rt::meshTexture(rt::frameVisuals(f)[0]), texture);
    EXPECT_EQ(viewport->Clear(), 0);
    EXPECT_EQ(viewport->Render(f), 0);
    EXPECT_EQ(rt::liveObjectCount(), before + 6);
    // Releasing the viewport takes the whole chain with it.
    EXPECT_EQ(viewport->Release(), 0u);
    EXPECT_EQ(rt::liveObjectCount(), before);
}

TEST_F(Engine, SettingAnotherTextureReleasesTheFirst) {
    const std::uint32_t texel = 0;
    IDirect3DRMMeshBuilder* mesh = nullptr;
    IDirect3DRMTexture *a = nullptr, *b = nullptr;
    ASSERT_EQ(rm->CreateMeshBuilder(&mesh), 0);
    ASSERT_EQ(rt::createTexture(rm, 1, 1, &texel, &a), 0);
    ASSERT_EQ(rt::createTexture(rm, 1, 1, &texel, &b), 0);
    ASSERT_EQ(mesh->SetTexture(a), 0);
    ASSERT_EQ(mesh->SetTexture(a), 0); // again: still one reference held
    EXPECT_EQ(rt::referenceCount(a), 2u);
    ASSERT_EQ(mesh->SetTexture(b), 0);
    EXPECT_EQ(rt::referenceCount(a), 1u);
    ASSERT_EQ(mesh->SetTexture(nullptr), 0);
    EXPECT_EQ(rt::referenceCount(b), 1u);
    a->Release();
    b->Release();
    mesh->Release();
}

TEST_F(Engine, WindowDeviceAndPresenter) {
    static HWND seenWindow = nullptr;
    static int seenWidth = 0, seenHeight = 0, seenStride = 0, calls = 0;
    static const std::uint32_t* seenPixels = nullptr;
    Direct3DRMSetPresenter([](HWND w, const std::uint32_t* p, int width, int height, int stride) {
        seenWindow = w;
        seenPixels = p;
        seenWidth = width;
        seenHeight = height;
        seenStride = stride;
        ++calls;
    });
    HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x1234});
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(DirectDrawCreateClipper(0, &clipper, nullptr), 0);
    ASSERT_EQ(clipper->SetHWnd(0, window), 0);
    EXPECT_EQ(rt::clipperWindow(clipper), window);
    IDirect3DRMDevice* device = nullptr;
    ASSERT_EQ(rm->CreateDeviceFromClipper(clipper, nullptr, 30, 20, &device), 0);
    EXPECT_EQ(device->GetWidth(), 30u);
    EXPECT_EQ(device->GetHeight(), 20u);
    EXPECT_EQ(rt::deviceQuality(device), D3DRMRENDER_FLAT);
    EXPECT_EQ(device->Update(), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenWindow, window);
    EXPECT_EQ(seenPixels, device->GetPixels());
    EXPECT_EQ(seenWidth, 30);
    EXPECT_EQ(seenHeight, 20);
    EXPECT_EQ(seenStride, device->GetStrideBytes());
    EXPECT_GE(seenStride, 30 * 4);

    void* out = nullptr;
    ASSERT_EQ(device->QueryInterface(IID_IDirect3DRMWinDevice, &out), 0);
    auto* win = static_cast<IDirect3DRMWinDevice*>(out);
    EXPECT_EQ(win->HandlePaint(nullptr), 0);
    EXPECT_EQ(win->HandleActivate(1), 0);
    GUID other = IID_IDirect3DRMWinDevice;
    other.Data1 ^= 1;
    void* none = &out;
    EXPECT_LT(device->QueryInterface(other, &none), 0);
    EXPECT_EQ(none, nullptr);

    // An off-screen device presents nothing.
    IDirect3DRMDevice* offscreen = nullptr;
    ASSERT_EQ(rm->CreateDeviceOffscreen(4, 4, &offscreen), 0);
    EXPECT_EQ(offscreen->Update(), 0);
    EXPECT_EQ(calls, 1);
    Direct3DRMSetPresenter(nullptr);

    offscreen->Release();
    device->Release();
    EXPECT_EQ(win->Release(), 0u); // held the device until now
    clipper->Release();
}

// ---------------------------------------------------------------------------------------------
// Statuses

TEST_F(Engine, DeviceAndViewportSizesOutsideTheLimitsFail) {
    struct Size {
        int w, h;
        bool ok;
    };
    for (const Size& s :
         {Size{1, 1, true}, Size{0, 10, false}, Size{10, 0, false}, Size{-5, 10, false},
          Size{16385, 4, false}, Size{4, 16385, false}, Size{16384, 2, true}}) {
        IDirect3DRMDevice* d = nullptr;
        const HRESULT status = rm->CreateDeviceOffscreen(s.w, s.h, &d);
        EXPECT_EQ(status == 0, s.ok) << s.w << "x" << s.h;
        EXPECT_EQ(d != nullptr, s.ok);
        if (d)
            d->Release();
    }
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(DirectDrawCreateClipper(0, &clipper, nullptr), 0);
    IDirect3DRMDevice* d = nullptr;
    EXPECT_LT(rm->CreateDeviceFromClipper(clipper, nullptr, 0, 100, &d), 0);
    EXPECT_LT(rm->CreateDeviceFromClipper(clipper, nullptr, 100, 20000, &d), 0);
    EXPECT_LT(rm->CreateDeviceFromClipper(nullptr, nullptr, 100, 100, &d), 0);
    EXPECT_EQ(d, nullptr);
    clipper->Release();

    IDirect3DRMFrame* camera = frame();
    ASSERT_EQ(rm->CreateDeviceOffscreen(100, 50, &d), 0);
    struct Rect {
        DWORD x, y, w, h;
        bool ok;
    };
    for (const Rect& r :
         {Rect{0, 0, 100, 50, true}, Rect{10, 5, 90, 45, true}, Rect{10, 5, 91, 45, false},
          Rect{0, 0, 100, 51, false}, Rect{0, 0, 0, 50, false}, Rect{0, 0, 100, 0, false},
          Rect{0xFFFFFFF0u, 0, 100, 50, false}, Rect{0, 1, 100, 0xFFFFFFFFu, false},
          Rect{100, 0, 1, 1, false}}) {
        IDirect3DRMViewport* vp = nullptr;
        EXPECT_EQ(rm->CreateViewport(d, camera, r.x, r.y, r.w, r.h, &vp) == 0, r.ok)
            << r.x << "," << r.y << " " << r.w << "x" << r.h;
        if (vp)
            vp->Release();
    }
    IDirect3DRMViewport* vp = nullptr;
    EXPECT_LT(rm->CreateViewport(nullptr, camera, 0, 0, 1, 1, &vp), 0);
    EXPECT_LT(rm->CreateViewport(d, nullptr, 0, 0, 1, 1, &vp), 0);
    d->Release();
    camera->Release();
}

TEST_F(Engine, QualityAcceptsFlatAndGouraudOnly) {
    IDirect3DRMDevice* d = nullptr;
    ASSERT_EQ(rm->CreateDeviceOffscreen(4, 4, &d), 0);
    EXPECT_EQ(rt::deviceQuality(d), 0x88u);
    EXPECT_EQ(d->SetQuality(0x89), 0);
    EXPECT_EQ(rt::deviceQuality(d), 0x89u);
    for (DWORD bad : {0u, 0x87u, 0x8Au, 0xFFFFFFFFu}) {
        EXPECT_LT(d->SetQuality(bad), 0);
        EXPECT_EQ(rt::deviceQuality(d), 0x89u);
    }
    EXPECT_EQ(d->SetQuality(0x88), 0);
    EXPECT_EQ(rt::deviceQuality(d), 0x88u);
    d->Release();
}

TEST_F(Engine, SetBackNeedsAFiniteDistanceBeyondTheFront) {
    IDirect3DRMFrame* camera = frame();
    IDirect3DRMDevice* d = nullptr;
    IDirect3DRMViewport* vp = nullptr;
    ASSERT_EQ(rm->CreateDeviceOffscreen(4, 4, &d), 0);
    ASSERT_EQ(rm->CreateViewport(d, camera, 0, 0, 4, 4, &vp), 0);
    EXPECT_FLOAT_EQ(rt::viewportBack(vp), 100.0f);
    EXPECT_EQ(vp->SetBack(5000.0f), 0);
    EXPECT_FLOAT_EQ(rt::viewportBack(vp), 5000.0f);
    for (float bad : {0.5f, 1.0f, -3.0f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_LT(vp->SetBack(bad), 0);
        EXPECT_FLOAT_EQ(rt::viewportBack(vp), 5000.0f);
    }
    vp->Release();
    d->Release();
    camera->Release();
}

TEST_F(Engine, LightsKeepTypeAndColourAndRefuseUnknownTypes) {
    IDirect3DRMLight* l = nullptr;
    ASSERT_EQ(rm->CreateLightRGB(D3DRMLIGHT_SPOT, -0.5f, 2.0f, 0.25f, &l), 0);
    const rt::LightInfo info = rt::lightInfo(l);
    EXPECT_EQ(info.type, D3DRMLIGHT_SPOT);
    EXPECT_FLOAT_EQ(info.r, -0.5f);
    EXPECT_FLOAT_EQ(info.g, 2.0f);
    EXPECT_FLOAT_EQ(info.b, 0.25f);
    l->Release();
    IDirect3DRMLight* bad = nullptr;
    EXPECT_LT(rm->CreateLightRGB(static_cast<D3DRMLIGHTTYPE>(4), 1, 1, 1, &bad), 0);
    EXPECT_LT(rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, std::nanf(""), 1, 1, &bad), 0);
    EXPECT_EQ(bad, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Faces

struct FaceCase {
    const char* name;
    std::vector<DWORD> words;
    bool ok;
    std::vector<std::vector<DWORD>> faces; // what the builder holds afterwards
};

class AddFaces : public ::testing::TestWithParam<FaceCase> {};

TEST_P(AddFaces, TakesWellFormedRecordsWhole) {
    const FaceCase& c = GetParam();
    IDirect3DRM* rm = nullptr;
    ASSERT_EQ(Direct3DRMCreate(&rm), 0);
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(rm->CreateMeshBuilder(&m), 0);
    const D3DVECTOR v[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 0}};
    const HRESULT status = m->AddFaces(5, v, 0, nullptr, c.words.empty() ? nullptr : c.words.data(),
                                       static_cast<DWORD>(c.words.size()), nullptr);
    EXPECT_EQ(status == 0, c.ok);
    EXPECT_EQ(rt::meshFaces(m), c.faces);
    EXPECT_EQ(rt::meshVertices(m).size(), c.ok ? 5u : 0u);
    m->Release();
    rm->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Faces, AddFaces,
    ::testing::Values(
        FaceCase{"triangle_then_end", {3, 0, 1, 2, 0, 9, 9}, true, {{0, 1, 2}}},
        FaceCase{"end_of_words_ends", {3, 0, 1, 2, 4, 0, 1, 2, 3}, true, {{0, 1, 2}, {0, 1, 2, 3}}},
        FaceCase{"short_faces_skipped", {2, 0, 1, 1, 4, 3, 2, 3, 4, 0}, true, {{2, 3, 4}}},
        FaceCase{"pentagon", {5, 0, 1, 2, 4, 3, 0}, true, {{0, 1, 2, 4, 3}}},
        FaceCase{"no_words", {}, true, {}},
        FaceCase{"runs_past_words", {3, 0, 1, 2, 4, 0, 1, 2}, false, {}},
        FaceCase{"huge_count", {0xFFFFFFFFu, 0, 1, 2}, false, {}},
        FaceCase{"index_at_count", {3, 0, 1, 5, 0}, false, {}},
        FaceCase{"bad_index_after_good_face", {3, 0, 1, 2, 3, 0, 7, 1, 0}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, AddFacesCopiesAndNumbersLaterCallsAfterEarlierVertices) {
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(rm->CreateMeshBuilder(&m), 0);
    std::vector<D3DVECTOR> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    std::vector<DWORD> f = {3, 0, 1, 2, 0};
    ASSERT_EQ(m->AddFaces(3, v.data(), 0, nullptr, f.data(), 5, nullptr), 0);
    v.assign(3, {9, 9, 9}); // the caller's arrays may be refilled at once
    f.assign(5, 1);
    std::vector<D3DVECTOR> w = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
    std::vector<DWORD> g = {3, 2, 1, 0, 0};
    ASSERT_EQ(m->AddFaces(3, w.data(), 0, nullptr, g.data(), 5, nullptr), 0);
    const auto verts = rt::meshVertices(m);
    ASSERT_EQ(verts.size(), 6u);
    EXPECT_EQ(verts[1].x, 1.0f);
    EXPECT_EQ(verts[3].x, 5.0f);
    EXPECT_EQ(rt::meshFaces(m), (std::vector<std::vector<DWORD>>{{0, 1, 2}, {5, 4, 3}}));
    // Normals given, a face array wanted or a missing array: refused.
    void* faceArray = nullptr;
    EXPECT_LT(m->AddFaces(3, w.data(), 3, w.data(), g.data(), 5, nullptr), 0);
    EXPECT_LT(m->AddFaces(3, w.data(), 0, nullptr, g.data(), 5, &faceArray), 0);
    EXPECT_LT(m->AddFaces(3, nullptr, 0, nullptr, g.data(), 5, nullptr), 0);
    EXPECT_LT(m->AddFaces(3, w.data(), 0, nullptr, nullptr, 5, nullptr), 0);
    EXPECT_EQ(rt::meshVertices(m).size(), 6u);
    m->Release();
}

TEST_F(Engine, ColourAndTextureCoordinates) {
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(rm->CreateMeshBuilder(&m), 0);
    EXPECT_EQ(rt::meshColor(m), 0xFFFFFFFFu);
    EXPECT_EQ(m->SetColor(0x80102030), 0);
    EXPECT_EQ(rt::meshColor(m), 0x80102030u);
    EXPECT_LT(m->SetTextureCoordinates(0, 0.5f, 0.5f), 0); // no vertices yet
    const D3DVECTOR v[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const DWORD f[] = {3, 0, 1, 2, 0};
    ASSERT_EQ(m->AddFaces(3, v, 0, nullptr, f, 5, nullptr), 0);
    EXPECT_EQ(m->SetTextureCoordinates(2, -1.5f, 7.25f), 0);
    EXPECT_LT(m->SetTextureCoordinates(3, 0, 0), 0);
    const auto uv = rt::meshTextureCoordinates(m);
    ASSERT_EQ(uv.size(), 3u);
    EXPECT_EQ(uv[0].u, 0.0f); // default (0, 0)
    EXPECT_EQ(uv[0].v, 0.0f);
    EXPECT_EQ(uv[2].u, -1.5f);
    EXPECT_EQ(uv[2].v, 7.25f);
    m->Release();
}

// ---------------------------------------------------------------------------------------------
// Placement

TEST_F(Engine, OrientationFollowsDirectionAndUpLeftHanded) {
    IDirect3DRMFrame* scene = frame();
    IDirect3DRMFrame* f = frame(scene);
    ASSERT_EQ(f->SetOrientation(scene, 0, 0, 5, 0, 3, 0), 0);
    expectVector(rt::frameWorldDirection(f), 0, 0, 1, "z");
    expectVector(rt::frameWorldUp(f), 0, 1, 0, "y");
    expectVector(rt::frameWorldRight(f), 1, 0, 0, "x = y cross z");
    // Up not perpendicular: made so.
    ASSERT_EQ(f->SetOrientation(scene, 1, 0, 0, 1, 1, 0), 0);
    expectVector(rt::frameWorldDirection(f), 1, 0, 0, "z");
    expectVector(rt::frameWorldUp(f), 0, 1, 0, "y");
    expectVector(rt::frameWorldRight(f), 0, 0, -1, "x");
    // Looking straight down with up along the direction: still a proper frame.
    ASSERT_EQ(f->SetOrientation(scene, 0, 0, -1, 0, 0, 1), 0);
    const D3DVECTOR z = rt::frameWorldDirection(f), y = rt::frameWorldUp(f);
    expectVector(z, 0, 0, -1, "down");
    EXPECT_NEAR(y.x * z.x + y.y * z.y + y.z * z.z, 0, 1e-6);
    EXPECT_NEAR(std::hypot(y.x, y.y, y.z), 1, 1e-6);
    f->Release();
    scene->Release();
}

TEST_F(Engine, BadOrientationFailsAndLeavesTheFrameAsItWas) {
    IDirect3DRMFrame* f = frame();
    ASSERT_EQ(f->SetOrientation(nullptr, 1, 0, 0, 0, 1, 0), 0);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const float bad[][6] = {
        {0, 0, 0, 0, 1, 0}, {nan, 0, 1, 0, 1, 0}, {0, inf, 1, 0, 1, 0}, {0, 0, 1, nan, 1, 0}};
    for (const auto& b : bad) {
        EXPECT_LT(f->SetOrientation(nullptr, b[0], b[1], b[2], b[3], b[4], b[5]), 0);
        expectVector(rt::frameWorldDirection(f), 1, 0, 0, "unchanged");
        expectVector(rt::frameWorldUp(f), 0, 1, 0, "unchanged");
    }
    // Tiny (even denormal) and huge directions are still directions.
    EXPECT_EQ(f->SetOrientation(nullptr, 0, 0, 1e-30f, 0, 1, 0), 0);
    expectVector(rt::frameWorldDirection(f), 0, 0, 1, "tiny");
    EXPECT_EQ(f->SetOrientation(nullptr, 0, -1e-45f, 0, 0, 0, 1), 0);
    expectVector(rt::frameWorldDirection(f), 0, -1, 0, "denormal");
    EXPECT_EQ(f->SetOrientation(nullptr, 3e38f, 3e38f, 0, 0, 0, 1), 0);
    expectVector(rt::frameWorldDirection(f), std::sqrt(0.5f), std::sqrt(0.5f), 0, "huge");
    EXPECT_LT(f->SetPosition(nullptr, nan, 0, 0), 0);
    f->Release();
}

TEST_F(Engine, PositionsAndOrientationsAreGivenInTheReferenceFrame) {
    IDirect3DRMFrame* scene = frame();
    IDirect3DRMFrame* parent = frame(scene);
    IDirect3DRMFrame* child = frame(parent);
    IDirect3DRMFrame* other = frame(scene);
    ASSERT_EQ(parent->SetPosition(nullptr, 20, 50, 0), 0);
    // Turned a quarter about y: parent's +z is world +x.
    ASSERT_EQ(parent->SetOrientation(nullptr, 1, 0, 0, 0, 1, 0), 0);
    // No reference: in the parent's coordinates.
    ASSERT_EQ(child->SetPosition(nullptr, 0, 0, 2), 0);
    expectVector(rt::frameWorldPosition(child), 22, 50, 0, "parent coordinates");
    // Reference the scene: world coordinates, whatever the parent does.
    ASSERT_EQ(child->SetPosition(scene, 1, 2, 3), 0);
    expectVector(rt::frameWorldPosition(child), 1, 2, 3, "scene coordinates");
    ASSERT_EQ(child->SetOrientation(scene, 0, 0, 1, 0, 1, 0), 0);
    expectVector(rt::frameWorldDirection(child), 0, 0, 1, "scene direction");
    // Reference another frame.
    ASSERT_EQ(other->SetPosition(nullptr, 0, 0, 10), 0);
    ASSERT_EQ(other->SetOrientation(nullptr, 0, 1, 0, 0, 0, -1), 0); // its z is world y
    ASSERT_EQ(child->SetPosition(other, 0, 0, 1), 0);
    expectVector(rt::frameWorldPosition(child), 0, 1, 10, "other's coordinates");
    ASSERT_EQ(child->SetOrientation(other, 0, 0, 1, 0, 1, 0), 0);
    expectVector(rt::frameWorldDirection(child), 0, 1, 0, "other's direction");
    // The scene background belongs to the root of the tree.
    ASSERT_EQ(child->SetSceneBackground(0xFF336699), 0);
    EXPECT_EQ(rt::sceneBackground(scene), 0xFF336699u);
    EXPECT_EQ(rt::sceneBackground(other), 0xFF336699u);
    child->Release();
    other->Release();
    parent->Release();
    scene->Release();
}

// ---------------------------------------------------------------------------------------------
// Test seams

TEST_F(Engine, FaultInjectionFailsTheNthCallOnly) {
    rt::failCall("CreateFrame", 2);
    IDirect3DRMFrame *a = nullptr, *b = nullptr, *c = nullptr;
    EXPECT_EQ(rm->CreateFrame(nullptr, &a), 0);
    EXPECT_LT(rm->CreateFrame(nullptr, &b), 0);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(rm->CreateFrame(nullptr, &c), 0);
    EXPECT_EQ(rt::callCount("CreateFrame"), 3);

    rt::failCall("SetPosition");
    EXPECT_LT(a->SetPosition(nullptr, 1, 2, 3), 0);
    expectVector(rt::frameWorldPosition(a), 0, 0, 0, "failed call has no effect");
    EXPECT_EQ(a->SetPosition(nullptr, 1, 2, 3), 0);

    IDirect3DRM* second = nullptr;
    rt::failCall("Direct3DRMCreate");
    EXPECT_LT(Direct3DRMCreate(&second), 0);
    EXPECT_EQ(second, nullptr);

    IDirectDrawClipper* clipper = nullptr;
    rt::failCall("DirectDrawCreateClipper");
    EXPECT_LT(DirectDrawCreateClipper(0, &clipper, nullptr), 0);
    ASSERT_EQ(DirectDrawCreateClipper(0, &clipper, nullptr), 0);
    rt::failCall("SetHWnd");
    EXPECT_LT(clipper->SetHWnd(0, nullptr), 0);
    rt::failCall("CreateDeviceFromClipper");
    IDirect3DRMDevice* d = nullptr;
    EXPECT_LT(rm->CreateDeviceFromClipper(clipper, nullptr, 4, 4, &d), 0);
    rt::failCall("LoadTexture");
    IDirect3DRMTexture* t = nullptr;
    EXPECT_LT(rm->LoadTexture("anything.bmp", &t), 0);
    EXPECT_EQ(rt::callCount("LoadTexture"), 1);
    rt::resetFaults();
    EXPECT_EQ(rt::callCount("CreateFrame"), 0);
    EXPECT_EQ(rm->CreateFrame(nullptr, &b), 0);
    clipper->Release();
    a->Release();
    b->Release();
    c->Release();
}

TEST_F(Engine, MissingTextureFileFails) {
    IDirect3DRMTexture* t = nullptr;
    EXPECT_LT(rm->LoadTexture("/nonexistent/texture.bmp", &t), 0);
    EXPECT_LT(rm->LoadTexture("", &t), 0);
    EXPECT_LT(rm->LoadTexture(nullptr, &t), 0);
    EXPECT_EQ(t, nullptr);
}

} // namespace
