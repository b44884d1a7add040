// The viewer's own window (class, procedure and program state) made offscreen,
// with the program state put back to its start values before each test.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/retained/testing.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"
#include "tests/viewer/viewer_test_scenes.h"
#include "viewer/render_context.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_window.h"

namespace viewer_test {

namespace rt = retained::testing;
namespace wt = winapi::testing;

// Every field except the mesh tables back to the program's start values.
inline void resetViewerState() {
    ViewerState& s = viewerState;
    s.pose = CameraPose{};
    s.savedPose = CameraPose{};
    s.savedPoseValid = 0;
    s.ambientLevel = s.directionalLevel = s.pointLevel = s.spotLevel = 0.0;
    s.moveStep = 2.0;
    s.renderMode = 0;
    s.backgroundColor = 0;
    s.timerId = 0;
    s.clientWidth = s.clientHeight = 0;
    s.colorDialog = CHOOSECOLORA{};
    for (COLORREF& c : s.customColors)
        c = 0;
}

inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Takes every queued message up to and including the quit message; returns the
// quit's code, or -1 when no quit came.
inline int drainUntilQuit(int maxMessages = 100000) {
    MSG m{};
    for (int i = 0; i < maxMessages; ++i) {
        const BOOL r = GetMessageA(&m, nullptr, 0, 0);
        if (r == 0)
            return static_cast<int>(m.wParam);
        if (r < 0)
            return -1;
    }
    return -1;
}

class ViewerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = registerViewerWindowClass(GetModuleHandleA(nullptr)) != 0;
        ASSERT_TRUE(registered);
        resetViewerState();
        rt::resetFaults();
        liveBefore = rt::liveObjectCount();
        wt::setMessageBoxHandler([this](HWND, const std::string& text, const char*, UINT) {
            messages.push_back(text);
            return IDOK;
        });
        enterFolder(demoSceneDir());
    }

    void TearDown() override {
        wt::setChooseColorHandler({});
        if (window && IsWindow(window))
            DestroyWindow(window);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PostQuitMessage(0);
        drainUntilQuit();
        endViewerRun();
        wt::setMessageBoxHandler({});
        rt::resetFaults();
        EXPECT_EQ(wt::runningTimers(), 0);
        EXPECT_EQ(rt::liveObjectCount(), liveBefore) << "engine objects leaked";
    }

    HWND create() {
        window = createViewerWindow(GetModuleHandleA(nullptr));
        return window;
    }

    // Sends a paint and returns how many pictures reached the window.
    int paint() {
        const int before = rt::callCount("Update");
        SendMessageA(window, WM_PAINT, 0, 0);
        return rt::callCount("Update") - before;
    }

    HWND window = nullptr;
    std::vector<std::string> messages;
    std::size_t liveBefore = 0;
};

} // namespace viewer_test
