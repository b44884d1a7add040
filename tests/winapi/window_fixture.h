// A window of the layer with a window procedure that records every message it gets and can be
// told how to answer some of them.
#pragma once

#include "platform/winapi/qt_bridge.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace winapi_test {

// The viewer's window title (UTF-8) and menu.
inline const char* const kTitle =
    "입체 보기 ver 1.0(모라온)-Up,Down,Left,Right,PgUp,PgDn 키보드 사용";
constexpr UINT kExit = 40001;
constexpr UINT kCopy = 40003;
constexpr UINT kChooseBackground = 40006;

inline void registerViewerMenu() {
    static const MenuResourceItem items[] = {
        {"&File", "E&xit", kExit},
        {"&Image", "&Copy", kCopy},
        {"&Image", "ChooseBackground", kChooseBackground},
    };
    ASSERT_TRUE(RegisterMenuResource(MAKEINTRESOURCEA(101), items, 3));
}

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the recording procedure does for a message: a result, or nothing for DefWindowProcA.
using Hook = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

struct Recorder {
    std::vector<Message> log;
    Hook hook;
    RECT clientAtCreate{};
    std::string nameAtCreate;

    std::vector<Message> only(UINT message) const {
        std::vector<Message> out;
        for (const Message& m : log)
            if (m.message == message)
                out.push_back(m);
        return out;
    }
    int count(UINT message) const { return static_cast<int>(only(message).size()); }
};

inline Recorder*& currentRecorder() {
    static Recorder* r = nullptr;
    return r;
}

inline LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder* r = currentRecorder();
    if (r) {
        r->log.push_back({message, wParam, lParam});
        if (message == WM_CREATE) {
            GetClientRect(window, &r->clientAtCreate);
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            r->nameAtCreate = create && create->lpszName ? create->lpszName : "";
        }
        if (r->hook)
            if (auto result = r->hook(window, message, wParam, lParam))
                return *result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline void registerViewerClass() {
    static bool done = false;
    if (done)
        return;
    registerViewerMenu();
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = recordingProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(101);
    wc.lpszClassName = kTitle;
    ASSERT_NE(RegisterClassA(&wc), 0);
    done = true;
}

// Runs Qt's event loop until the condition holds (or a generous time has passed).
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registerViewerClass();
        currentRecorder() = &recorder;
    }

    void TearDown() override {
        if (window && IsWindow(window)) {
            recorder.hook = nullptr;
            DestroyWindow(window);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(1);
        currentRecorder() = nullptr;
        winapi::testing::setMessageBoxHandler({});
        winapi::testing::setChooseColorHandler({});
        // Leave nothing queued for the next test.
        MSG m{};
        PostQuitMessage(0);
        while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        }
    }

    HWND create(DWORD style = WS_VISIBLE | WS_MAXIMIZE | WS_OVERLAPPEDWINDOW) {
        window = CreateWindowExA(0, kTitle, kTitle, style, 100, 100, 768, 768, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        return window;
    }

    // Lets queued paints and commands arrive.
    void settle() { QTest::qWait(20); }

    QMainWindow* top() const { return winapi::topLevelOf(window); }
    QWidget* client() const { return winapi::clientAreaOf(window); }

    Recorder recorder;
    HWND window = nullptr;
};

} // namespace winapi_test
