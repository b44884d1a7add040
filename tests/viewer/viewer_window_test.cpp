// The viewer's window procedure on its real window, offscreen: create, size,
// paint, activate, keys, the three commands, destroy, and WinMain's whole run.
#include "tests/viewer/viewer_window_fixture.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <cmath>
#include <set>

using namespace viewer_test;

namespace {

void expectPoseEq(const CameraPose& a, const CameraPose& b) {
    const double* pa = &a.eye.x;
    const double* pb = &b.eye.x;
    static_assert(sizeof(CameraPose) == 15 * sizeof(double));
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(pa[i], pb[i]) << "pose value " << i;
}

std::size_t distinctColours(const wt::Picture& p) {
    return std::set<std::uint32_t>(p.pixels.begin(), p.pixels.end()).size();
}

// The device's picture (0x00RRGGBB).
wt::Picture devicePicture() {
    wt::Picture p;
    IDirect3DRMDevice* d = viewerState.rmDevice;
    p.width = static_cast<int>(d->GetWidth());
    p.height = static_cast<int>(d->GetHeight());
    const auto* base = reinterpret_cast<const unsigned char*>(d->GetPixels());
    for (int y = 0; y < p.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            base + static_cast<std::size_t>(y) * static_cast<std::size_t>(d->GetStrideBytes()));
        for (int x = 0; x < p.width; ++x)
            p.pixels.push_back(row[x] & 0x00FFFFFFu);
    }
    return p;
}

QMainWindow* viewerTopLevel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* top = qobject_cast<QMainWindow*>(w))
            if (top->isVisible() && top->windowTitle() == QString::fromUtf8(kViewerTitle))
                return top;
    return nullptr;
}

QAction* menuAction(QMainWindow* top, const QString& text) {
    for (QAction* popup : top->menuBar()->actions())
        for (QAction* item : popup->menu()->actions())
            if (item->text() == text)
                return item;
    return nullptr;
}

} // namespace

TEST_F(ViewerWindowTest, CreateBuildsStartsTheTimerAndTheSizeRebuildsAtTheClientSize) {
    ASSERT_NE(create(), nullptr);
    ViewerState& s = viewerState;
    EXPECT_TRUE(messages.empty());
    EXPECT_GE(rt::callCount("Direct3DRMCreate"), 2); // creation, then the size that follows
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(s.clientWidth, client.right);
    EXPECT_EQ(s.clientHeight, client.bottom);
    ASSERT_NE(s.rmDevice, nullptr);
    ASSERT_NE(s.rmViewport, nullptr);
    EXPECT_EQ(s.rmDevice->GetWidth(), static_cast<DWORD>(client.right));
    EXPECT_EQ(s.rmDevice->GetHeight(), static_cast<DWORD>(client.bottom));
    EXPECT_NE(s.timerId, 0u);
    EXPECT_EQ(wt::runningTimers(), 1);
    EXPECT_EQ(s.backgroundColor, 0u);
    char title[256];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, kViewerTitle);

    // The timer's ticks arrive as WM_USER + 1 for the window, answered with 0.
    MSG m{};
    ASSERT_GT(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.hwnd, window);
    EXPECT_EQ(m.message, WM_USER + 1u);
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 0);
    EXPECT_EQ(DispatchMessageA(&m), 0);
}

TEST_F(ViewerWindowTest, PaintSnapshotsThePoseAndShowsTheScene) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(viewerState.savedPoseValid, 0);
    viewerState.pose.target.z = 1234.5; // only snapshotted, never used to aim
    EXPECT_EQ(paint(), 1);
    EXPECT_EQ(viewerState.savedPoseValid, 1);
    expectPoseEq(viewerState.savedPose, viewerState.pose);
    const wt::Picture shown = wt::clientPixels(window);
    EXPECT_GT(distinctColours(shown), 100u);
    const wt::Picture device = devicePicture();
    ASSERT_EQ(shown.width, device.width);
    ASSERT_EQ(shown.height, device.height);
    EXPECT_TRUE(shown.pixels == device.pixels);
}

TEST_F(ViewerWindowTest, ResizeKeepsTheViewOfTheLastPaintAndTheBackground) {
    ASSERT_NE(create(), nullptr);
    for (int i = 0; i < 3; ++i)
        SendMessageA(window, WM_KEYDOWN, VK_UP, 0);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0);
    paint();
    const CameraPose seen = viewerState.pose;
    viewerState.backgroundColor = 0x00102030;
    const std::size_t oneContext = rt::liveObjectCount();

    ASSERT_TRUE(wt::setClientSize(window, 400, 300));
    expectPoseEq(viewerState.pose, seen);
    EXPECT_EQ(viewerState.clientWidth, 400);
    EXPECT_EQ(viewerState.clientHeight, 300);
    EXPECT_EQ(viewerState.rmDevice->GetWidth(), 400u);
    const D3DVECTOR at = rt::frameWorldPosition(viewerState.cameraFrame);
    EXPECT_FLOAT_EQ(at.x, static_cast<float>(seen.eye.x));
    EXPECT_FLOAT_EQ(at.y, static_cast<float>(seen.eye.y));
    EXPECT_EQ(rt::sceneBackground(viewerState.sceneFrame) & 0xFFFFFFu, 0x102030u);
    EXPECT_LT(rt::liveObjectCount(), oneContext + 1); // the old context went first
}

TEST_F(ViewerWindowTest, AThousandRebuildsKeepOneContextAlive) {
    enterFolder(tinySceneDir());
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(wt::setClientSize(window, 64, 48));
    const std::size_t oneContext = rt::liveObjectCount();
    const int gdiObjects = wt::liveGdiObjects();
    const int builds = rt::callCount("Direct3DRMCreate");
    for (int i = 0; i < 1000; ++i)
        SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(64, 48));
    EXPECT_EQ(rt::callCount("Direct3DRMCreate"), builds + 1000);
    EXPECT_EQ(rt::callCount("CreateLightRGB"), 4 * (builds + 1000)); // every scene loaded
    EXPECT_EQ(rt::liveObjectCount(), oneContext);
    EXPECT_EQ(wt::liveGdiObjects(), gdiObjects);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ViewerWindowTest, ZeroAndMinimisedSizesAreStoredButDoNotRebuild) {
    ASSERT_NE(create(), nullptr);
    IDirect3DRM* root = viewerState.rmRoot;
    const int builds = rt::callCount("Direct3DRMCreate");
    SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(viewerState.clientWidth, 0);
    EXPECT_EQ(viewerState.clientHeight, 0);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 0));
    EXPECT_EQ(viewerState.clientWidth, 300);
    EXPECT_EQ(rt::callCount("Direct3DRMCreate"), builds);
    EXPECT_EQ(viewerState.rmRoot, root);

    ShowWindow(window, SW_MINIMIZE);
    if (!IsIconic(window))
        GTEST_SKIP() << "this platform does not minimise windows";
    EXPECT_EQ(rt::callCount("Direct3DRMCreate"), builds);
    viewerState.pose.eye.x = 77.0;
    EXPECT_EQ(paint(), 0);                        // default processing only...
    EXPECT_EQ(viewerState.savedPose.eye.x, 77.0); // ...after the snapshot
    EXPECT_EQ(viewerState.savedPoseValid, 1);
}

TEST_F(ViewerWindowTest, KeysMoveTheCameraAndAPaintFollows) {
    ASSERT_NE(create(), nullptr);
    paint();
    const CameraPose before = viewerState.pose;
    const int updates = rt::callCount("Update");
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_UP, 0x01480001), 0);
    const Vec3d& d = before.viewDir;
    const double n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const double step = viewerState.moveStep;
    EXPECT_NEAR(viewerState.pose.eye.x, before.eye.x + step * d.x / n, 1e-9);
    EXPECT_NEAR(viewerState.pose.eye.y, before.eye.y + step * d.y / n, 1e-9);
    EXPECT_NEAR(viewerState.pose.eye.z, before.eye.z + step * d.z / n, 1e-9);
    ASSERT_TRUE(pumpUntil([&] { return rt::callCount("Update") > updates; }));
    expectPoseEq(viewerState.savedPose, viewerState.pose);

    // Any other key: nothing moves, the window is painted again all the same.
    const CameraPose moved = viewerState.pose;
    const int updates2 = rt::callCount("Update");
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0), 0);
    expectPoseEq(viewerState.pose, moved);
    EXPECT_TRUE(pumpUntil([&] { return rt::callCount("Update") > updates2; }));

    // Alt combinations are system keys: default processing, no move.
    SendMessageA(window, WM_SYSKEYDOWN, VK_UP, 1 << 29);
    expectPoseEq(viewerState.pose, moved);
}

TEST_F(ViewerWindowTest, ActivationReachesTheDevice) {
    ASSERT_NE(create(), nullptr);
    const int before = rt::callCount("HandleActivate");
    EXPECT_EQ(SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0), 0);
    EXPECT_EQ(rt::callCount("HandleActivate"), before + 1);
    rt::failCall("QueryInterface");
    EXPECT_EQ(SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0), 0);
    EXPECT_EQ(rt::callCount("HandleActivate"), before + 1);
}

TEST_F(ViewerWindowTest, CopyPutsTheClientAreaOfTheLastSizeOnTheClipboard) {
    ASSERT_NE(create(), nullptr);
    paint();
    const wt::Picture shown = wt::clientPixels(window);
    SendMessageA(window, WM_COMMAND, ID_IMAGE_COPY, 0);
    wt::Picture copied = wt::clipboardImage();
    ASSERT_EQ(copied.width, viewerState.clientWidth);
    ASSERT_EQ(copied.height, viewerState.clientHeight);
    EXPECT_TRUE(copied.pixels == shown.pixels);

    // The size of the last size message, not a fresh client rectangle.
    viewerState.clientWidth = 100;
    viewerState.clientHeight = 50;
    SendMessageA(window, WM_COMMAND, ID_IMAGE_COPY, 0);
    copied = wt::clipboardImage();
    ASSERT_EQ(copied.width, 100);
    ASSERT_EQ(copied.height, 50);
    for (int y = 0; y < 50; y += 7)
        for (int x = 0; x < 100; x += 9)
            EXPECT_EQ(copied.at(x, y), shown.at(x, y));
}

TEST_F(ViewerWindowTest, ChooseBackgroundAppliesTheChosenColourAndCancelKeepsTheOld) {
    ASSERT_NE(create(), nullptr);
    struct Case {
        BOOL accept;
        COLORREF answer;
        std::uint32_t background; // expected afterwards
    };
    const Case cases[] = {
        {TRUE, 0x000000FF, 0x00FF0000},                                  // pure red
        {TRUE, 0x00FF0000, 0x000000FF},                                  // pure blue
        {TRUE, 0x00123456, 0x00563412}, {FALSE, 0x0000FF00, 0x00563412}, // Cancel: as it was
        {TRUE, 0x00808080, 0x00808080},
    };
    for (const Case& c : cases) {
        bool asked = false;
        wt::setChooseColorHandler([&](CHOOSECOLORA& request) {
            asked = true;
            EXPECT_EQ(request.rgbResult, 0x00808080u); // always opens on grey
            EXPECT_EQ(request.Flags, CC_RGBINIT | CC_FULLOPEN);
            EXPECT_EQ(request.lpCustColors, viewerState.customColors);
            EXPECT_EQ(request.hwndOwner, nullptr);
            request.rgbResult = c.answer;
            return c.accept;
        });
        SendMessageA(window, WM_COMMAND, ID_IMAGE_CHOOSEBACKGROUND, 0);
        EXPECT_TRUE(asked);
        EXPECT_EQ(viewerState.backgroundColor, c.background);
        EXPECT_EQ(rt::sceneBackground(viewerState.sceneFrame) & 0xFFFFFFu, c.background);
        paint();
        EXPECT_EQ(wt::clientPixels(window).at(0, 0), c.background); // the sky of the demo
    }
}

TEST_F(ViewerWindowTest, CustomColoursAreOfferedAgainForTheRun) {
    ASSERT_NE(create(), nullptr);
    wt::setChooseColorHandler([](CHOOSECOLORA& request) {
        request.lpCustColors[2] = 0x00ABCDEF;
        return FALSE;
    });
    SendMessageA(window, WM_COMMAND, ID_IMAGE_CHOOSEBACKGROUND, 0);
    COLORREF offered = 0;
    wt::setChooseColorHandler([&](CHOOSECOLORA& request) {
        offered = request.lpCustColors[2];
        return FALSE;
    });
    SendMessageA(window, WM_COMMAND, ID_IMAGE_CHOOSEBACKGROUND, 0);
    EXPECT_EQ(offered, 0x00ABCDEFu);
}

TEST_F(ViewerWindowTest, UnknownCommandGoesToDefaultProcessingOnly) {
    ASSERT_NE(create(), nullptr);
    paint();
    const CameraPose before = viewerState.pose;
    bool asked = false;
    wt::setChooseColorHandler([&](CHOOSECOLORA&) { return asked = true; });
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 40002, 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(40007, 0), 0), 0);
    EXPECT_FALSE(asked);
    expectPoseEq(viewerState.pose, before);
    EXPECT_EQ(viewerState.backgroundColor, 0u);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(ViewerWindowTest, ExitPostsTheQuitWithCodeZero) {
    ASSERT_NE(create(), nullptr);
    SendMessageA(window, WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_EQ(drainUntilQuit(), 0);
    EXPECT_TRUE(IsWindow(window)); // the window is not destroyed first
}

TEST_F(ViewerWindowTest, DestroyStopsTheTimerReleasesEverythingAndQuits) {
    ASSERT_NE(create(), nullptr);
    ASSERT_EQ(wt::runningTimers(), 1);
    DestroyWindow(window);
    EXPECT_EQ(wt::runningTimers(), 0);
    EXPECT_EQ(viewerState.timerId, 0u);
    EXPECT_EQ(viewerState.rmRoot, nullptr);
    EXPECT_EQ(viewerState.lightFrame, nullptr);
    EXPECT_EQ(viewerState.meshRootA, nullptr);
    EXPECT_EQ(viewerState.meshRootB, nullptr);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    EXPECT_EQ(drainUntilQuit(), 0);
}

TEST_F(ViewerWindowTest, FailedFirstBuildShowsOneMessageAndEndsTheRun) {
    enterFolder(noSceneDir());
    ASSERT_NE(create(), nullptr); // the window is still created
    EXPECT_EQ(wt::runningTimers(), 1);
    QTest::qWait(50); // sizes and paints that follow
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
    EXPECT_EQ(drainUntilQuit(), 0);
    // A key while the frames are half built moves the pose and nothing breaks.
    SendMessageA(window, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(viewerState.pose.eye.z, 2.0);
}

TEST_F(ViewerWindowTest, PaintWithoutAViewportGoesToDefaultProcessing) {
    ASSERT_NE(create(), nullptr);
    releaseRenderContext();
    EXPECT_EQ(paint(), 0);
    EXPECT_EQ(viewerState.savedPoseValid, 1);
}

// ---- WinMain's whole run ----------------------------------------------------

class WinMainTest : public ViewerWindowTest {
  protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        // WinMain registers the class itself.
        UnregisterClassA(kViewerTitle, GetModuleHandleA(nullptr));
    }
    void TearDown() override {
        // Exit leaves the window to the program's end: close what is left.
        while (QMainWindow* top = viewerTopLevel()) {
            top->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        ViewerWindowTest::TearDown();
        // Leave the class registered for the other tests.
        if (!IsWindow(window))
            registerViewerWindowClass(GetModuleHandleA(nullptr));
    }
    // Runs WinMain while `drive` acts on the visible viewer window.
    int runWith(std::function<void(QMainWindow*)> drive) {
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, drive] {
            if (QMainWindow* top = viewerTopLevel()) {
                poll->stop();
                poll->deleteLater();
                drive(top);
            }
        });
        poll->start();
        return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
    }
};

TEST_F(WinMainTest, ExitFromTheMenuEndsWithZeroAndNothingLeftRunning) {
    const int code = runWith([](QMainWindow* top) {
        QAction* exit = menuAction(top, "E&xit");
        ASSERT_NE(exit, nullptr);
        exit->trigger();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(wt::runningTimers(), 0);
    EXPECT_EQ(viewerState.rmRoot, nullptr);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WinMainTest, CloseBoxEndsWithZero) {
    const int code = runWith([](QMainWindow* top) { top->close(); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(wt::runningTimers(), 0);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}

TEST_F(WinMainTest, FailedBuildEndsWithZeroAfterOneMessage) {
    enterFolder(noSceneDir());
    const int code = WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
    EXPECT_EQ(wt::runningTimers(), 0);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}

TEST_F(WinMainTest, RefusedClassEndsWithZeroAndNoMessage) {
    ASSERT_NE(registerViewerWindowClass(GetModuleHandleA(nullptr)), 0); // taken already
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(wt::runningTimers(), 0);
}

TEST_F(ViewerWindowTest, ResizeDuringAFailureMessageDoesNotBuildAgain) {
    ASSERT_NE(create(), nullptr);
    paint();
    enterFolder(noSceneDir()); // the next rebuild fails
    int builds = 0;
    wt::setMessageBoxHandler([&](HWND, const std::string& text, const char*, UINT) {
        messages.push_back(text);
        builds = rt::callCount("Direct3DRMCreate");
        // The user resizes and paints while the box is open.
        SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 100));
        SendMessageA(window, WM_PAINT, 0, 0);
        return IDOK;
    });
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
    EXPECT_EQ(rt::callCount("Direct3DRMCreate"), builds);
    EXPECT_EQ(viewerState.clientWidth, 200); // sizes are stored all the same
    // Sizes after the failure do not build either; the run ends.
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 240));
    EXPECT_EQ(rt::callCount("Direct3DRMCreate"), builds);
    EXPECT_EQ(drainUntilQuit(), 0);
}

TEST_F(ViewerWindowTest, WindowClosedDuringAFailureMessageLeavesNothingBehind) {
    ASSERT_NE(create(), nullptr);
    enterFolder(noSceneDir());
    wt::setMessageBoxHandler([&](HWND, const std::string& text, const char*, UINT) {
        messages.push_back(text);
        SendMessageA(window, WM_CLOSE, 0, 0); // default processing destroys the window
        return IDOK;
    });
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(viewerState.rmRoot, nullptr);
    EXPECT_EQ(wt::runningTimers(), 0);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    EXPECT_EQ(drainUntilQuit(), 0);
}

TEST_F(ViewerWindowTest, WindowDestroyedDuringTheColourDialogIsNotTouchedAfterwards) {
    ASSERT_NE(create(), nullptr);
    wt::setChooseColorHandler([&](CHOOSECOLORA& request) {
        DestroyWindow(window);
        request.rgbResult = 0x000000FF;
        return TRUE;
    });
    SendMessageA(window, WM_COMMAND, ID_IMAGE_CHOOSEBACKGROUND, 0);
    EXPECT_EQ(viewerState.backgroundColor, 0x00FF0000u);
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}
