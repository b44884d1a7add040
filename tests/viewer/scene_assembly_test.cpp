// Scene assembly against a real engine context, checked through the engine's
// own objects (children, visuals, lights, mesh data).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <QImage>

#include "platform/retained/retained.h"
#include "platform/retained/testing.h"
#include "tests/viewer/scene_bytes.h"
#include "tools/scenegen/generated_scenes.h"
#include "viewer/scene_assembly.h"
#include "viewer/scene_file.h"

namespace rt = retained::testing;

namespace {

// The objects a render-context build makes, made here directly.
struct Context {
    std::unique_ptr<ViewerState> state = std::make_unique<ViewerState>();
    std::size_t liveBefore = rt::liveObjectCount();

    explicit Context(int width = 160, int height = 120) {
        ViewerState& s = *state;
        EXPECT_EQ(Direct3DRMCreate(&s.rmRoot), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(nullptr, &s.sceneFrame), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(nullptr, &s.meshRootA), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(nullptr, &s.meshRootB), 0);
        s.meshRootB->SetPosition(nullptr, 20.0f, 50.0f, 0.0f);
        EXPECT_EQ(s.rmRoot->CreateFrame(s.sceneFrame, &s.cameraFrame), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(s.sceneFrame, &s.lightFrame), 0);
        EXPECT_EQ(s.rmRoot->CreateDeviceOffscreen(width, height, &s.rmDevice), 0);
        EXPECT_EQ(
            s.rmRoot->CreateViewport(s.rmDevice, s.cameraFrame, 0, 0, width, height, &s.rmViewport),
            0);
        s.rmViewport->SetBack(5000.0f);
        rt::resetFaults();
    }
    ~Context() {
        rt::resetFaults();
        ViewerState& s = *state;
        s.rmViewport->Release();
        s.rmDevice->Release();
        for (auto* f : {s.cameraFrame, s.lightFrame, s.sceneFrame, s.meshRootA, s.meshRootB})
            f->Release();
        s.rmRoot->Release();
        EXPECT_EQ(rt::liveObjectCount(), liveBefore) << "engine objects leaked";
    }
    ViewerState& st() { return *state; }

    IDirect3DRMFrame* meshFrameA() {
        auto children = rt::frameChildren(state->meshRootA);
        return children.empty() ? nullptr : children.back();
    }
    IDirect3DRMFrame* meshFrameB() {
        auto children = rt::frameChildren(state->meshRootB);
        return children.empty() ? nullptr : children.back();
    }
};

const std::string& textureFile() {
    static const std::string path = [] {
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(0x00FF8040u);
        const std::string p = testTempDir() + "/tex.bmp";
        EXPECT_TRUE(image.save(QString::fromStdString(p), "BMP"));
        return p;
    }();
    return path;
}

std::string writeScene(const SceneBytes& bytes) {
    static int n = 0;
    return writeTempFile("scene" + std::to_string(++n) + ".dat", bytes.bytes);
}

// n vertices where vertex i is (file x = -(i + 0.25), y = i + 0.5, z = 0), one triangle.
std::vector<std::array<double, 3>> numberedVertices(int n) {
    std::vector<std::array<double, 3>> v;
    for (int i = 0; i < n; ++i)
        v.push_back({-(i + 0.25), i + 0.5, 0.0});
    return v;
}
const std::vector<std::uint32_t> kOneTriangle = {3, 0, 1, 2, 0};

} // namespace

TEST(SceneAssembly, TextureCoordinatesFollowTheVertexCount) {
    struct Case {
        int n;
        int expectedCalls;
    };
    // Below 20: the first eight vertices only; from 20 on: every vertex.
    for (const Case c : {Case{4, 4}, Case{8, 8}, Case{19, 8}, Case{20, 20}, Case{22, 22}}) {
        SCOPED_TRACE(c.n);
        Context ctx;
        // A first textured mesh of 30 vertices leaves entries 20..29 behind for
        // the mesh under test, whose coordinates may reach past its own vertices.
        SceneBytes b;
        b.header().u32(2);
        b.name(textureFile()).geometry(numberedVertices(30), kOneTriangle);
        std::vector<std::array<double, 3>> own = numberedVertices(c.n);
        for (auto& v : own)
            v[2] = 7.0; // distinguishes this mesh's entries from the first mesh's
        b.name(textureFile()).geometry(own, kOneTriangle);
        const std::string path = writeScene(b);

        ASSERT_EQ(loadScene(ctx.st(), path.c_str()), 1);
        auto visuals = rt::frameVisuals(ctx.meshFrameA());
        ASSERT_EQ(visuals.size(), 2u);
        // 30 for the first mesh, then the rule's count for the mesh under test.
        EXPECT_EQ(rt::callCount("SetTextureCoordinates"), 30 + c.expectedCalls);

        auto coords = rt::meshTextureCoordinates(visuals[1]);
        ASSERT_EQ(coords.size(), static_cast<std::size_t>(c.n));
        if (c.n < 20) {
            const float u[8] = {0, 1, 1, 0, 0, 1, 1, 0}, v[8] = {0, 0, 1, 1, 0, 0, 1, 1};
            for (int i = 0; i < std::min(c.n, 8); ++i) {
                EXPECT_EQ(coords[i].u, u[i]) << i;
                EXPECT_EQ(coords[i].v, v[i]) << i;
            }
        } else {
            // Vertex j takes the stored x and y of entry j + 4: the negated file x.
            for (int j = 0; j < c.n; ++j) {
                EXPECT_EQ(coords[j].u, static_cast<float>(j + 4 + 0.25)) << j;
                EXPECT_EQ(coords[j].v, static_cast<float>(j + 4 + 0.5)) << j;
            }
        }
    }
}

TEST(SceneAssembly, ColouredMeshesTakeTheConvertedColour) {
    const std::uint32_t words[] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0x00FFFFFF,
                                   0x00804020, 0,          0xFF0000FF};
    const std::uint32_t expected[] = {0xFFFE0000, 0xFF00FE00, 0xFF0000FE, 0xFFFEFEFE,
                                      0xFF1F3F7F, 0xFF000000, 0xFFFE0000};
    Context ctx;
    SceneBytes b;
    b.header().u32(0);
    for (std::uint32_t w : words)
        b.u32(w).geometry(numberedVertices(3), kOneTriangle);
    ASSERT_EQ(loadScene(ctx.st(), writeScene(b).c_str()), 1);
    auto visuals = rt::frameVisuals(ctx.meshFrameA());
    ASSERT_EQ(visuals.size(), std::size(words));
    for (std::size_t i = 0; i < visuals.size(); ++i) {
        EXPECT_EQ(rt::meshColor(visuals[i]), expected[i]) << std::hex << words[i];
        EXPECT_EQ(rt::meshTexture(visuals[i]), nullptr);
    }
}

TEST(SceneAssembly, RenderModeSetsQualityOnlyForZeroAndOne) {
    struct Case {
        std::int32_t mode;
        DWORD expected;
        int calls;
    };
    for (const Case c : {Case{0, D3DRMRENDER_FLAT, 1}, Case{1, D3DRMRENDER_GOURAUD, 1},
                         Case{2, D3DRMRENDER_GOURAUD, 0}, Case{-1, D3DRMRENDER_GOURAUD, 0}}) {
        SCOPED_TRACE(c.mode);
        Context ctx;
        ctx.st().rmDevice->SetQuality(D3DRMRENDER_GOURAUD); // what a mode outside 0/1 keeps
        rt::resetFaults();
        SceneBytes b;
        b.header({1, -40, 10, 0, 0, 0, 5, -5, 20, 0, 0, 0}, {0.25, 0.5, 0.75, 1.0, 2.0}, c.mode)
            .u32(0);
        ASSERT_EQ(loadScene(ctx.st(), writeScene(b).c_str()), 1);
        EXPECT_EQ(rt::deviceQuality(ctx.st().rmDevice), c.expected);
        EXPECT_EQ(rt::callCount("SetQuality"), c.calls);
    }
}

TEST(SceneAssembly, EmptySceneStillGetsLightsPlacementAndBackground) {
    Context ctx;
    ViewerState& s = ctx.st();
    s.backgroundColor = 0x00336699;
    SceneBytes b;
    // File eye (-1, 2, 3) -> scene (1, 2, 3); target (-4, 6, 8) -> (4, 6, 8).
    b.header({-1, 2, 3, -4, 6, 8, 0, -10, 5, 0, 0, 0}, {0.1, 0.2, 0.3, 0.4, 2.0}, 0).u32(0);
    ASSERT_EQ(b.size(), 144u);
    ASSERT_EQ(loadScene(s, writeScene(b).c_str()), 1);

    EXPECT_EQ(s.pose.viewDir.x, 3.0);
    EXPECT_EQ(s.pose.viewDir.y, 4.0);
    EXPECT_EQ(s.pose.viewDir.z, 5.0);
    EXPECT_EQ(rt::sceneBackground(s.sceneFrame) & 0xFFFFFF, 0x336699u);

    const D3DVECTOR eye = rt::frameWorldPosition(s.cameraFrame);
    EXPECT_FLOAT_EQ(eye.x, 1.0f);
    EXPECT_FLOAT_EQ(eye.y, 2.0f);
    EXPECT_FLOAT_EQ(eye.z, 3.0f);
    const D3DVECTOR dir = rt::frameWorldDirection(s.cameraFrame);
    const float len = std::sqrt(50.0f);
    EXPECT_NEAR(dir.x, 3.0f / len, 1e-6);
    EXPECT_NEAR(dir.y, 4.0f / len, 1e-6);
    EXPECT_NEAR(dir.z, 5.0f / len, 1e-6);

    const D3DVECTOR light = rt::frameWorldPosition(s.lightFrame);
    EXPECT_FLOAT_EQ(light.y, -10.0f);
    EXPECT_FLOAT_EQ(light.z, 5.0f);
    const D3DVECTOR aim = rt::frameWorldDirection(s.lightFrame); // toward the origin
    EXPECT_NEAR(aim.y, 10.0f / std::sqrt(125.0f), 1e-6);
    EXPECT_NEAR(aim.z, -5.0f / std::sqrt(125.0f), 1e-6);

    // Four grey lights, in the order ambient, directional, point, spot.
    auto lights = rt::frameLights(s.lightFrame);
    ASSERT_EQ(lights.size(), 4u);
    const D3DRMLIGHTTYPE types[] = {D3DRMLIGHT_AMBIENT, D3DRMLIGHT_DIRECTIONAL, D3DRMLIGHT_POINT,
                                    D3DRMLIGHT_SPOT};
    const float levels[] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int i = 0; i < 4; ++i) {
        const rt::LightInfo info = rt::lightInfo(lights[i]);
        EXPECT_EQ(info.type, types[i]) << i;
        EXPECT_EQ(info.r, levels[i]);
        EXPECT_EQ(info.g, levels[i]);
        EXPECT_EQ(info.b, levels[i]);
    }
    EXPECT_TRUE(rt::frameVisuals(ctx.meshFrameA()).empty());
}

TEST(SceneAssembly, SavedPoseReplacesTheFilePose) {
    Context ctx;
    ViewerState& s = ctx.st();
    s.savedPoseValid = 1;
    s.savedPose.eye = {10.0, 20.0, 30.0};
    s.savedPose.target = {-1.0, -2.0, -3.0};
    s.savedPose.viewDir = {0.0, 1.0, 0.0}; // not target - eye: the saved direction wins
    s.savedPose.lightPos = {5.0, 5.0, 5.0};
    s.savedPose.lightTarget = {5.0, 5.0, 0.0};
    SceneBytes b;
    b.header().u32(0);
    ASSERT_EQ(loadScene(s, writeScene(b).c_str()), 1);

    EXPECT_EQ(std::memcmp(&s.pose, &s.savedPose, sizeof(CameraPose)), 0);
    EXPECT_EQ(s.savedPoseValid, 1);
    const D3DVECTOR eye = rt::frameWorldPosition(s.cameraFrame);
    EXPECT_FLOAT_EQ(eye.x, 10.0f);
    EXPECT_FLOAT_EQ(eye.z, 30.0f);
    const D3DVECTOR dir = rt::frameWorldDirection(s.cameraFrame);
    EXPECT_NEAR(dir.y, 1.0f, 1e-6);
    const D3DVECTOR aim = rt::frameWorldDirection(s.lightFrame);
    EXPECT_NEAR(aim.z, -1.0f, 1e-6);
    // Settings still come from the file.
    EXPECT_EQ(s.moveStep, 2.0);
    EXPECT_EQ(s.ambientLevel, 0.25);
}

TEST(SceneAssembly, EveryMeshIsAVisualOfBothFrames) {
    Context ctx;
    SceneBytes b;
    b.header().u32(1);
    b.name(textureFile()).geometry(numberedVertices(4), kOneTriangle);
    b.u32(0x0000FF00).geometry(numberedVertices(3), kOneTriangle);
    ASSERT_EQ(loadScene(ctx.st(), writeScene(b).c_str()), 1);
    auto a = rt::frameVisuals(ctx.meshFrameA());
    auto bVisuals = rt::frameVisuals(ctx.meshFrameB());
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a, bVisuals); // the same mesh builders, shared, not copied
    EXPECT_NE(rt::meshTexture(a[0]), nullptr);
    EXPECT_EQ(rt::meshColor(a[0]), 0xFFFFFFFFu);
    EXPECT_EQ(rt::textureInfo(rt::meshTexture(a[0])).fileName, textureFile());
    // Each frame and root holds its own reference; the load kept none.
    EXPECT_EQ(rt::referenceCount(a[0]), 2u);
    EXPECT_EQ(rt::referenceCount(ctx.meshFrameA()), 1u);
    EXPECT_EQ(rt::frameParent(ctx.meshFrameB()), ctx.st().meshRootB);
}

TEST(SceneAssembly, FailuresReleaseWhatTheLoadHeld) {
    // A good file with one textured and one coloured mesh; each case makes one
    // step fail. The context's destructor checks that nothing leaked.
    SceneBytes good;
    good.header().u32(1);
    good.name(textureFile()).geometry(numberedVertices(4), kOneTriangle);
    good.u32(0x0000FF00).geometry(numberedVertices(3), kOneTriangle);
    const std::string goodPath = writeScene(good);

    struct Fault {
        const char* operation;
        int nth;
    };
    for (const Fault f :
         {Fault{"CreateFrame", 1}, Fault{"CreateFrame", 2}, Fault{"CreateMeshBuilder", 1},
          Fault{"CreateMeshBuilder", 2}, Fault{"LoadTexture", 1}, Fault{"AddVisual", 1},
          Fault{"AddVisual", 2}, Fault{"AddVisual", 4}, Fault{"CreateLightRGB", 3},
          Fault{"SetPosition", 1}, Fault{"SetOrientation", 1}, Fault{"SetPosition", 2},
          Fault{"SetOrientation", 2}}) {
        SCOPED_TRACE(std::string(f.operation) + " #" + std::to_string(f.nth));
        Context ctx;
        rt::failCall(f.operation, f.nth);
        EXPECT_EQ(loadScene(ctx.st(), goodPath.c_str()), 0);
    }
    // Ignored statuses do not stop the load.
    for (const char* ignored : {"SetSceneBackground", "SetQuality", "AddFaces", "SetColor",
                                "SetTexture", "SetTextureCoordinates", "AddLight"}) {
        SCOPED_TRACE(ignored);
        Context ctx;
        rt::failCall(ignored, 1);
        EXPECT_EQ(loadScene(ctx.st(), goodPath.c_str()), 1);
    }
}

TEST(SceneAssembly, BadFilesFailTheLoad) {
    SceneBytes truncated;
    truncated.header().u32(0).u32(0x00FF0000).i32(3).f64(1.0); // cut inside a vertex
    SceneBytes missingTexture;
    missingTexture.header().u32(1);
    missingTexture.name(testTempDir() + "/no-such-texture.bmp")
        .geometry(numberedVertices(4), kOneTriangle);
    for (const std::string& path : {writeScene(truncated), writeScene(missingTexture),
                                    testTempDir() + "/no-such-scene.dat"}) {
        SCOPED_TRACE(path);
        Context ctx;
        ctx.st().ambientLevel = 123.0;
        EXPECT_EQ(loadScene(ctx.st(), path.c_str()), 0);
        if (path.find("no-such-scene") != std::string::npos) {
            EXPECT_EQ(ctx.st().ambientLevel, 123.0); // nothing read, nothing changed
        }
    }
}

TEST(SceneAssembly, DemoSceneRendersTexturedAndColouredMeshes) {
    const std::string dir = testTempDir() + "/demo";
    std::string error;
    ASSERT_TRUE(writeGeneratedScene(dir, makeDemoScene(), error)) << error;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    const int W = 320, H = 240;
    {
        Context ctx(W, H);
        ViewerState& s = ctx.st();
        const int loaded = loadScene(s, kSceneFileName);
        ASSERT_EQ(chdir(cwd), 0);
        ASSERT_EQ(loaded, 1);

        auto coveredPixels = [&](IDirect3DRMFrame* root) {
            s.rmViewport->Clear();
            s.rmViewport->Render(root);
            const std::uint32_t background = s.rmDevice->GetPixels()[0] & 0xFFFFFF;
            const std::uint32_t* px = s.rmDevice->GetPixels();
            const int stride = s.rmDevice->GetStrideBytes() / 4;
            int covered = 0;
            std::set<std::uint32_t> colours;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const std::uint32_t c = px[y * stride + x] & 0xFFFFFF;
                    colours.insert(c);
                    covered += c != background;
                }
            return std::pair{covered, colours.size()};
        };
        // The whole scene covers much of the picture in many colours.
        s.rmViewport->Clear();
        s.rmViewport->Render(s.sceneFrame);
        auto [all, colours] = coveredPixels(s.meshRootA);
        EXPECT_GT(all, W * H / 4);
        EXPECT_GT(colours, 50u);

        // Each kind shows on its own: render every mesh alone in a fresh tree.
        int texturedShown = 0, colouredShown = 0;
        for (IDirect3DRMMeshBuilder* mesh : rt::frameVisuals(ctx.meshFrameA())) {
            IDirect3DRMFrame* root = nullptr;
            IDirect3DRMFrame* frame = nullptr;
            ASSERT_EQ(s.rmRoot->CreateFrame(nullptr, &root), 0);
            ASSERT_EQ(s.rmRoot->CreateFrame(root, &frame), 0);
            frame->AddVisual(mesh);
            const int covered = coveredPixels(root).first;
            (rt::meshTexture(mesh) ? texturedShown : colouredShown) += covered > 20;
            frame->Release();
            root->Release();
        }
        EXPECT_GE(texturedShown, 2);
        EXPECT_GE(colouredShown, 2);
    }
}

namespace {

// Resident memory of this process, from /proc/self/status.
long long residentKiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lld kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

// A coloured mesh with no vertices and no face data: the smallest record (12 bytes).
SceneBytes& emptyColouredMesh(SceneBytes& b, std::uint32_t colourWord) {
    return b.u32(colourWord).i32(0).i32(0);
}

} // namespace

TEST(SceneAssembly, MeshCountIsBounded) {
    struct Case {
        std::uint32_t textured;
        std::uint32_t coloured;
        int expected;
    };
    // Textured and coloured meshes count together.
    for (const Case c : {Case{0, kMaxSceneMeshes, 1}, Case{0, kMaxSceneMeshes + 1, 0},
                         Case{1, kMaxSceneMeshes - 1, 1}, Case{1, kMaxSceneMeshes, 0}}) {
        SCOPED_TRACE(std::to_string(c.textured) + " textured, " + std::to_string(c.coloured) +
                     " coloured");
        SceneBytes b;
        b.header().u32(c.textured);
        for (std::uint32_t i = 0; i < c.textured; ++i)
            b.name(textureFile()).geometry(numberedVertices(4), kOneTriangle);
        b.bytes.reserve(b.bytes.size() + std::size_t{c.coloured} * 12);
        for (std::uint32_t i = 0; i < c.coloured; ++i)
            emptyColouredMesh(b, i);
        Context ctx; // its destructor checks that a refused load left no engine object behind
        ASSERT_EQ(loadScene(ctx.st(), writeScene(b).c_str()), c.expected);
        if (c.expected == 1) {
            EXPECT_EQ(rt::frameVisuals(ctx.meshFrameA()).size(), c.textured + c.coloured);
        }
    }
}

TEST(SceneAssembly, GigabyteOfEmptyMeshesIsRefusedWithinBoundedMemory) {
    // A hostile 1 GiB file (sparse on disk): after the header and a textured count of 0,
    // nothing but zero bytes, which read as ~89 million empty coloured meshes of colour 0.
    SceneBytes b;
    b.header().u32(0);
    const std::string path = writeScene(b);
    ASSERT_EQ(::truncate(path.c_str(), std::int64_t{1} << 30), 0);

    const long long before = residentKiB();
    ASSERT_GT(before, 0);
    {
        Context ctx;
        EXPECT_EQ(loadScene(ctx.st(), path.c_str()), 0);
        // Engine objects for at most kMaxSceneMeshes meshes: a few hundred bytes each, well
        // under 1 GiB even with the sanitizers' redzones (unbounded, it would be ~30 GiB).
        const long long grown = residentKiB() - before;
        EXPECT_LT(grown, 1024LL * 1024) << grown << " KiB";
    }
    ::unlink(path.c_str());
}
