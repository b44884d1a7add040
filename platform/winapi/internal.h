// Shared inner workings of the window layer (Qt side). Not for use outside platform/winapi.
#pragma once

#include "platform/winapi/winapi.h"

#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QWidget>

#include <memory>
#include <string>

class QDialog;
class QMenuBar;

namespace winapi::detail {

// The window: a top-level Qt main window whose central widget is the client area.
class TopLevelWindow : public QMainWindow {
  public:
    explicit TopLevelWindow(HWND handle) : handle_(handle) {}
    bool allowClose = false;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    HWND handle_;
};

class ClientArea : public QWidget {
  public:
    ClientArea(HWND handle, QWidget* parent);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    HWND handle_;
};

// One window made by CreateWindowExA. Records are shared so that a handler in progress keeps
// its record alive even when the window is destroyed from inside the handler.
struct WindowRecord {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    std::string className; // registry key of its class
    UINT classStyle = 0;
    HBRUSH background = nullptr;
    HCURSOR cursor = nullptr;
    TopLevelWindow* top = nullptr; // owned by Qt; deleted after the window is destroyed
    ClientArea* client = nullptr;  // child of top
    QMenuBar* menuBar = nullptr;   // child of top, or null without a menu

    QImage surface; // what the client area shows, device pixels, QImage::Format_RGB32

    bool created = false;        // WM_CREATE has been answered
    bool destroyed = false;      // DestroyWindow has begun
    bool invalid = true;         // a WM_PAINT is due
    bool eraseDue = true;        // the next BeginPaint erases the background first
    bool paintScheduled = false; // a WM_PAINT delivery is queued
    unsigned paintsBegun = 0;    // BeginPaint calls, to tell a validated paint from an ignored one
    RECT updateRect{};           // union of the invalidated parts (device pixels)

    // Last WM_SIZE sent, to send one per change.
    bool sizeSent = false;
    WPARAM sizeType = 0;
    int sizeWidth = 0;
    int sizeHeight = 0;

    int activeState = -1; // last WM_ACTIVATE state sent
};

bool onGuiThread();
bool haveWidgetsApplication();

// Windows (window.cpp).
std::shared_ptr<WindowRecord> findWindow(HWND window);
LRESULT sendToWindow(const std::shared_ptr<WindowRecord>& record, UINT message, WPARAM wParam,
                     LPARAM lParam);
QWidget* ownerWidget(HWND window);
// Client size in device pixels (what GetClientRect reports).
QSize clientDeviceSize(const WindowRecord& record);
// The surface changed outside a paint: show it at the next screen update.
void surfaceChanged(WindowRecord& record);
void destroyAllWindowsQuietly();
std::string lastWindowError();

// Message queue (message_queue.cpp).
void registerLiveWindow(HWND window);
void unregisterLiveWindow(HWND window); // also drops its posted messages
// Runs a dialog modally the way a Win32 modal loop does: window-system events keep flowing to
// the window procedures and posted window messages are dispatched. A pending quit message ends
// it unanswered (QDialog::Rejected) and stays pending. Returns the dialog's result.
int runModal(QDialog& dialog);
void flushDeferredDeletes();
bool quitPending();

// GDI (gdi.cpp).
QColor brushColour(HBRUSH brush, bool* isNullBrush);
HDC createWindowDc(HWND window);
void releaseWindowDcs(HWND window);
void releaseAllGdiObjects();
// The image a bitmap handle holds, for the clipboard; null when it is not a live bitmap.
const QImage* bitmapImage(HBITMAP bitmap);
// The clipboard took the bitmap: it can no longer be selected, and is freed once no device
// context holds it.
void giveBitmapToClipboard(HBITMAP bitmap);
bool bitmapOwnedByClipboard(HBITMAP bitmap);

// Clipboard (clipboard.cpp).
void clipboardWindowDestroyed(HWND window);

// Timers (mmtimer.cpp).
void stopAllTimers();
int timerCount();

// Settings: the layer never reads or writes a settings file (dialogs.cpp).
void keepSettingsInMemory();

} // namespace winapi::detail
