// Translation of Qt key events into Win32 key messages.
#pragma once

#include "platform/winapi/winapi.h"

class QKeyEvent;

namespace winapi::detail {

// The virtual-key code of a key event, 0 when the key has none.
UINT virtualKeyOf(const QKeyEvent& event);

struct KeyMessage {
    UINT message = 0; // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP; 0 for none
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// The message for a key press or release. Auto-repeated presses give one message each (previous
// state bit set); the releases Qt reports between auto-repeated presses give none.
KeyMessage keyMessageOf(const QKeyEvent& event, bool press);

} // namespace winapi::detail
