// The navigation key handler: the key's step on the program's state, then the
// window invalidated so that a paint (and its pose snapshot) follows.
#include "platform/winapi/winapi.h"
#include "viewer/navigation.h"

LRESULT handleNavigationKey(HWND window, WPARAM key) {
    applyNavigationKey(viewerState, key);
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}
