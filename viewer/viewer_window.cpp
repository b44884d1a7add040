#include "viewer/viewer_window.h"

#include "platform/retained/retained.h"
#include "viewer/navigation.h"
#include "viewer/render_context.h"
#include "viewer/viewer_state.h"

namespace {

// Set when a build has failed and the quit message is on its way: the size
// messages that still arrive before the loop sees it (the one that follows
// the window's creation above all) do not build again, so a failure is
// reported once.
bool endingAfterFailedBuild = false;
// Set while a build runs. A build enters the message loop only through the
// message box of a failing step; a size message arriving then does not start
// a second build inside the failing one.
bool buildRunning = false;

// Builds the context; on failure (its message shown) the program ends.
void build(HWND window) {
    buildRunning = true;
    const int built = buildRenderContext(window);
    buildRunning = false;
    if (built == 0) {
        endingAfterFailedBuild = true;
        PostQuitMessage(0);
    }
}

void onCreate(HWND window) {
    endingAfterFailedBuild = false;
    build(window);
    timeBeginPeriod(kTimerPeriodMs);
    viewerState.timerId = timeSetEvent(kTimerDelayMs, kTimerResolutionMs, timerTick,
                                       reinterpret_cast<DWORD_PTR>(window), TIME_PERIODIC);
    viewerState.savedPoseValid = 0;
    viewerState.backgroundColor = 0;
}

void onSize(HWND window, LPARAM lParam) {
    viewerState.clientWidth = LOWORD(static_cast<std::uintptr_t>(lParam));
    viewerState.clientHeight = HIWORD(static_cast<std::uintptr_t>(lParam));
    if (viewerState.clientWidth == 0 || viewerState.clientHeight == 0 || IsIconic(window))
        return;
    if (endingAfterFailedBuild || buildRunning)
        return;
    // The whole previous context goes before the new one is built.
    releaseRenderContext();
    build(window);
}

void onActivate(WPARAM wParam) {
    IDirect3DRMDevice* device = viewerState.rmDevice;
    if (!device)
        return;
    IDirect3DRMWinDevice* winDevice = nullptr;
    if (device->QueryInterface(IID_IDirect3DRMWinDevice, reinterpret_cast<void**>(&winDevice)) >=
            0 &&
        winDevice) {
        winDevice->HandleActivate(LOWORD(wParam));
        winDevice->Release();
    }
}

LRESULT onPaint(HWND window, WPARAM wParam, LPARAM lParam) {
    // The snapshot comes first, on every paint, whatever follows.
    viewerState.savedPoseValid = 1;
    copyCameraPose(viewerState.savedPose, viewerState.pose);
    ViewerState& s = viewerState;
    if (!s.rmDevice || !s.rmViewport || IsIconic(window))
        return DefWindowProcA(window, WM_PAINT, wParam, lParam);

    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    IDirect3DRMWinDevice* winDevice = nullptr;
    if (s.rmDevice->QueryInterface(IID_IDirect3DRMWinDevice,
                                   reinterpret_cast<void**>(&winDevice)) >= 0 &&
        winDevice) {
        winDevice->HandlePaint(paint.hdc);
        winDevice->Release();
    }
    s.rmViewport->Clear();
    s.rmViewport->Render(s.sceneFrame);
    s.rmViewport->Render(s.meshRootA); // meshRootB is never rendered
    s.rmDevice->Update();
    EndPaint(window, &paint);
    return 0;
}

// The client area as shown, at the size of the last size message, onto the
// clipboard as a bitmap (which the clipboard then owns).
void copyToClipboard(HWND window) {
    const int width = viewerState.clientWidth;
    const int height = viewerState.clientHeight;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    SelectObject(memory, bitmap);
    StretchBlt(memory, 0, 0, width, height, screen, 0, 0, width, height, SRCCOPY);
    OpenClipboard(window);
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, bitmap);
    CloseClipboard();
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

// COLORREF 0x00BBGGRR to the engine's 0x00RRGGBB: red and blue bytes swapped.
std::uint32_t backgroundFromColorref(COLORREF c) {
    return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

void chooseBackground(HWND window) {
    CHOOSECOLORA& dialog = viewerState.colorDialog;
    dialog.lStructSize = sizeof(CHOOSECOLORA);
    dialog.hwndOwner = nullptr;
    dialog.hInstance = nullptr;
    dialog.rgbResult = kDialogStartColour;
    dialog.lpCustColors = viewerState.customColors;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
    dialog.lCustData = 0;
    dialog.lpfnHook = nullptr;
    dialog.lpTemplateName = nullptr;
    // Cancel leaves the background as it was.
    if (ChooseColorA(&dialog)) {
        dialog.rgbResult = backgroundFromColorref(dialog.rgbResult);
        viewerState.backgroundColor = dialog.rgbResult;
        // The dialog's modal loop may have seen the window destroyed and the
        // context released: only a frame still present is touched.
        if (viewerState.sceneFrame)
            viewerState.sceneFrame->SetSceneBackground(viewerState.backgroundColor);
    }
    InvalidateRect(window, nullptr, FALSE);
}

void onCommand(HWND window, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case ID_FILE_EXIT:
        PostQuitMessage(0);
        break;
    case ID_IMAGE_COPY:
        copyToClipboard(window);
        break;
    case ID_IMAGE_CHOOSEBACKGROUND:
        chooseBackground(window);
        break;
    default:
        break;
    }
}

} // namespace

void endViewerRun() {
    if (viewerState.timerId != 0) {
        timeKillEvent(viewerState.timerId); // returns once the timer's thread has ended
        timeEndPeriod(kTimerPeriodMs);
        viewerState.timerId = 0;
    }
    releaseRenderContext();
}

void CALLBACK timerTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    PostMessageA(reinterpret_cast<HWND>(user), WM_VIEWER_TICK, 0, 0);
}

LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        onCreate(window);
        return 0;
    case WM_DESTROY:
        endViewerRun();
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        onSize(window, lParam);
        return 0;
    case WM_ACTIVATE:
        onActivate(wParam);
        return 0;
    case WM_PAINT:
        return onPaint(window, wParam, lParam);
    case WM_KEYDOWN:
        return handleNavigationKey(window, wParam);
    case WM_COMMAND:
        onCommand(window, wParam);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_VIEWER_TICK:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

ATOM registerViewerWindowClass(HINSTANCE instance) {
    static const MenuResourceItem menu[] = {
        {"&File", "E&xit", ID_FILE_EXIT},
        {"&Image", "&Copy", ID_IMAGE_COPY},
        {"&Image", "ChooseBackground", ID_IMAGE_CHOOSEBACKGROUND},
    };
    if (!RegisterMenuResource(MAKEINTRESOURCEA(kViewerMenuResource), menu, 3))
        return 0;
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = viewerWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(kViewerMenuResource);
    wc.lpszClassName = kViewerTitle;
    return RegisterClassA(&wc);
}

HWND createViewerWindow(HINSTANCE instance) {
    return CreateWindowExA(0, kViewerTitle, kViewerTitle,
                           WS_VISIBLE | WS_MAXIMIZE | WS_OVERLAPPEDWINDOW, 100, 100, 768, 768,
                           nullptr, nullptr, instance, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (registerViewerWindowClass(instance) == 0)
        return 0;
    HWND window = createViewerWindow(instance);
    if (!window) {
        MessageBoxA(nullptr, kMsgNoWindow, nullptr, MB_ICONERROR);
        endViewerRun(); // a window that failed after its creation may have started the timer
        return 0;
    }
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // Exit and a failed build end the loop with the window still there: the
    // timer and the context go here, before the program returns.
    endViewerRun();
    return 0;
}
