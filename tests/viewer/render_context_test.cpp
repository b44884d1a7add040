// The render context on a real window of the window layer: the order of the
// build, one message per failing step, the handles a failure leaves, and the
// teardown that gives every object back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "platform/retained/testing.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"
#include "tests/viewer/viewer_test_scenes.h"
#include "viewer/render_context.h"

namespace rt = retained::testing;
namespace wt = winapi::testing;

namespace {

constexpr const char* kClass = "render context test";

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

class RenderContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = plainProc;
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = kClass;
            return RegisterClassA(&wc) != 0;
        }();
        ASSERT_TRUE(registered);
        window = CreateWindowExA(0, kClass, "test", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        wt::setMessageBoxHandler(
            [this](HWND owner, const std::string& text, const char* caption, UINT type) {
                messages.push_back(text);
                EXPECT_EQ(owner, window);
                EXPECT_EQ(caption, nullptr);
                EXPECT_EQ(type, static_cast<UINT>(MB_ICONERROR));
                return IDOK;
            });
        rt::resetFaults();
        liveBefore = rt::liveObjectCount();
        scene = demoSceneDir() + "/trans.dat";
        enterFolder(demoSceneDir()); // texture names are relative to the scene's folder
    }
    void TearDown() override {
        rt::resetFaults();
        releaseRenderContext(st());
        EXPECT_EQ(rt::liveObjectCount(), liveBefore) << "engine objects outlived the teardown";
        wt::setMessageBoxHandler({});
        DestroyWindow(window);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ViewerState& st() { return *state; }
    int build() { return buildRenderContext(st(), window, scene.c_str()); }

    std::unique_ptr<ViewerState> state = std::make_unique<ViewerState>();
    HWND window = nullptr;
    std::vector<std::string> messages;
    std::size_t liveBefore = 0;
    std::string scene;
};

} // namespace

TEST_F(RenderContextTest, BuildMakesEveryObjectAndLoadsTheScene) {
    ASSERT_EQ(build(), 1);
    EXPECT_TRUE(messages.empty());
    ViewerState& s = st();
    for (const void* h :
         {static_cast<const void*>(s.rmRoot), static_cast<const void*>(s.sceneFrame),
          static_cast<const void*>(s.cameraFrame), static_cast<const void*>(s.lightFrame),
          static_cast<const void*>(s.meshRootA), static_cast<const void*>(s.meshRootB),
          static_cast<const void*>(s.rmClipper), static_cast<const void*>(s.rmDevice),
          static_cast<const void*>(s.rmViewport)})
        EXPECT_NE(h, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(s.rmDevice->GetWidth(), static_cast<DWORD>(client.right));
    EXPECT_EQ(s.rmDevice->GetHeight(), static_cast<DWORD>(client.bottom));
    EXPECT_EQ(rt::deviceWindow(s.rmDevice), window);
    EXPECT_EQ(rt::clipperWindow(s.rmClipper), window);
    EXPECT_FLOAT_EQ(rt::viewportBack(s.rmViewport), 5000.0f);
    EXPECT_EQ(rt::frameParent(s.cameraFrame), s.sceneFrame);
    EXPECT_EQ(rt::frameParent(s.lightFrame), s.sceneFrame);
    EXPECT_EQ(rt::frameParent(s.meshRootA), nullptr);
    const D3DVECTOR b = rt::frameWorldPosition(s.meshRootB);
    EXPECT_FLOAT_EQ(b.x, 20.0f);
    EXPECT_FLOAT_EQ(b.y, 50.0f);
    EXPECT_FLOAT_EQ(b.z, 0.0f);
    EXPECT_EQ(rt::frameLights(s.lightFrame).size(), 4u);
    EXPECT_FALSE(rt::frameVisuals(rt::frameChildren(s.meshRootA).at(0)).empty());
}

TEST_F(RenderContextTest, EachFailingStepShowsItsOneMessage) {
    struct Case {
        const char* operation;
        int nth;
        const char* message;
        // The handle whose create failed, or that belongs to the failing step, and later ones
        // stay absent; earlier ones are present.
        int presentHandles; // how many of the build order's handles exist after the failure
    };
    // Build order of the handles.
    const auto handles = [](ViewerState& s) {
        return std::vector<const void*>{s.rmRoot,    s.sceneFrame,  s.meshRootA,
                                        s.meshRootB, s.cameraFrame, s.lightFrame,
                                        s.rmClipper, s.rmDevice,    s.rmViewport};
    };
    const Case cases[] = {
        {"Direct3DRMCreate", 1, "Could not create Retained Mode Interface!", 0},
        {"CreateFrame", 1, "Could not create scene!", 1},
        {"CreateFrame", 2, "Could not create scene!", 2},
        {"CreateFrame", 3, "Could not create scene!", 3},
        {"CreateFrame", 4, "Could not create camera frame!", 4},
        {"SetPosition", 2, "Could not set camera position!", 5},
        {"CreateFrame", 5, "Could not create camera frame!", 5}, // the light frame
        {"DirectDrawCreateClipper", 1, "Could not create clipper!", 6},
        {"SetHWnd", 1, "Could not associate clipper with window!", 7},
        {"CreateDeviceFromClipper", 1, "Could not create viewport!", 7},
        {"CreateViewport", 1, "Could not create viewport!", 8},
        {"LoadTexture", 1, "Could not create scene!", 9},
        {"CreateFrame", 6, "Could not create scene!", 9}, // loadScene's first frame
        {"SetOrientation", 1, "Could not create scene!", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.nth));
        messages.clear();
        rt::resetFaults();
        rt::failCall(c.operation, c.nth);
        EXPECT_EQ(build(), 0);
        EXPECT_EQ(messages, std::vector<std::string>{c.message});
        const auto h = handles(st());
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(h[static_cast<std::size_t>(i)] != nullptr, i < c.presentHandles)
                << "handle " << i;
        releaseRenderContext(st());
        for (const void* p : handles(st()))
            EXPECT_EQ(p, nullptr);
        EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    }
}

TEST_F(RenderContextTest, MeshRootBPlacementIsNotConsulted) {
    rt::failCall("SetPosition", 1);
    EXPECT_EQ(build(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(RenderContextTest, MissingSceneFileStopsAtTheLastStepWithDeviceAndViewportMade) {
    scene = noSceneDir() + "/trans.dat";
    EXPECT_EQ(build(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
    EXPECT_NE(st().rmDevice, nullptr);
    EXPECT_NE(st().rmViewport, nullptr);
}

TEST_F(RenderContextTest, MalformedSceneFileIsRefusedWithTheSceneMessage) {
    SceneBytes b;
    b.header().u32(0).u32(0x00FF0000).i32(3).f64(1.0); // cut inside a vertex
    scene = writeTempFile("cut.dat", b.bytes);
    EXPECT_EQ(build(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
}

TEST_F(RenderContextTest, ZeroClientAreaStopsAtTheViewport) {
    ShowWindow(window, SW_MINIMIZE);
    if (!IsIconic(window))
        GTEST_SKIP() << "this platform does not minimise windows";
    RECT client{};
    GetClientRect(window, &client);
    ASSERT_EQ(client.right * client.bottom, 0);
    EXPECT_EQ(build(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create viewport!"});
    EXPECT_EQ(st().rmDevice, nullptr);
    EXPECT_NE(st().rmClipper, nullptr);
}

TEST_F(RenderContextTest, RebuildReleasesThePreviousContextFirst) {
    ASSERT_EQ(build(), 1);
    const std::size_t oneContext = rt::liveObjectCount();
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(build(), 1);
    EXPECT_EQ(rt::liveObjectCount(), oneContext);
    // A failed rebuild does not keep the old context either.
    rt::failCall("CreateViewport", 1);
    EXPECT_EQ(build(), 0);
    EXPECT_LT(rt::liveObjectCount(), oneContext);
}

TEST_F(RenderContextTest, TeardownIsSafeTwiceAndOnAnEmptyState) {
    releaseRenderContext(st()); // nothing built yet
    ASSERT_EQ(build(), 1);
    releaseRenderContext(st());
    releaseRenderContext(st());
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}
