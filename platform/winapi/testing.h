// Test seams of the window layer. Qt-free, so tests of code written against winapi.h can
// answer dialogs and look at results without knowing how the layer is built.
#pragma once

#include "platform/winapi/winapi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winapi::testing {

// Answers MessageBoxA instead of a modal message box. The handler gets what the box would
// show; caption is null when the caller gave none. Its result is MessageBoxA's result. An empty
// function restores the real message box.
using MessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const char* caption, UINT type)>;
void setMessageBoxHandler(MessageBoxHandler handler);

// Answers ChooseColorA instead of the colour dialog: the handler may change rgbResult and the
// custom colours, and its result is ChooseColorA's result. An empty function restores the dialog.
using ChooseColorHandler = std::function<BOOL(CHOOSECOLORA& request)>;
void setChooseColorHandler(ChooseColorHandler handler);

// A picture read back from the layer: 0x00RRGGBB pixels, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The image on the system clipboard (empty when there is none).
Picture clipboardImage();

// What the window's client area shows, in device pixels.
Picture clientPixels(HWND window);

// Resizes the window so that its client area is width x height device pixels (restoring it
// first when it is maximised or minimised); the WM_SIZE it causes is sent before this returns.
BOOL setClientSize(HWND window, int width, int height);

// Number of live GDI objects (device contexts and bitmaps) and of running timers, for leak
// checks.
int liveGdiObjects();
int runningTimers();

} // namespace winapi::testing
