// sceneview's window: the program entry, the window procedure with its three
// menu commands, and the multimedia timer's callback.
#pragma once

#include "platform/winapi/winapi.h"

// Window class name and title (UTF-8).
inline constexpr const char* kViewerTitle =
    "입체 보기 ver 1.0(모라온)-Up,Down,Left,Right,PgUp,PgDn 키보드 사용";
inline constexpr WORD kViewerMenuResource = 101;

// Menu command ids.
inline constexpr UINT ID_FILE_EXIT = 40001;
inline constexpr UINT ID_IMAGE_COPY = 40003;
inline constexpr UINT ID_IMAGE_CHOOSEBACKGROUND = 40006;

// The timer's tick, posted every 10 ms; carries no parameters.
inline constexpr UINT WM_VIEWER_TICK = WM_USER + 1;
inline constexpr UINT kTimerDelayMs = 10;
inline constexpr UINT kTimerResolutionMs = 5000;
inline constexpr UINT kTimerPeriodMs = 1000;

inline constexpr const char* kMsgNoWindow = "Could not create window!";
// Grey the colour dialog opens on.
inline constexpr COLORREF kDialogStartColour = 0x808080;

// Program entry: registers the class, creates the maximised window, runs the
// message loop and ends the run (timer stopped and joined, render context
// released) on every path. Always returns 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Multimedia timer callback (timer thread): posts WM_VIEWER_TICK to the window
// handle given as user data and touches nothing else.
void CALLBACK timerTick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                        DWORD_PTR reserved2);

// The steps WinMain takes before its loop, for tests and tools that need the
// very same window: the menu resource and class (0 when refused), and the window.
ATOM registerViewerWindowClass(HINSTANCE instance);
HWND createViewerWindow(HINSTANCE instance);

// Stops the timer (joining its thread) and releases the render context; safe
// to call more than once. Run by WM_DESTROY and at the end of WinMain.
void endViewerRun();
