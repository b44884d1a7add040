// The Qt widgets behind a window of the layer, for program start-up code and for tests that
// drive a window with Qt events (keys, menu clicks, close). Not for the viewer's own code.
#pragma once

#include "platform/winapi/winapi.h"

class QMainWindow;
class QWidget;

namespace winapi {
QMainWindow* topLevelOf(HWND window); // null when the window does not exist
QWidget* clientAreaOf(HWND window);   // the widget that shows the client area
} // namespace winapi
