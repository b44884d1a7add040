// Test seams that look at windows (the others live beside what they observe).

#include "platform/winapi/testing.h"
#include "platform/winapi/internal.h"
#include "platform/winapi/qt_bridge.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QThread>

#include <cmath>

using namespace winapi::detail;

namespace winapi::testing {

Picture clientPixels(HWND window) {
    Picture picture;
    auto record = findWindow(window);
    if (!record)
        return picture;
    const QImage& surface = record->surface;
    picture.width = surface.width();
    picture.height = surface.height();
    picture.pixels.reserve(static_cast<std::size_t>(surface.width()) *
                           static_cast<std::size_t>(surface.height()));
    for (int y = 0; y < surface.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(surface.constScanLine(y));
        for (int x = 0; x < surface.width(); ++x)
            picture.pixels.push_back(row[x] & 0x00FFFFFFu);
    }
    return picture;
}

BOOL setClientSize(HWND window, int width, int height) {
    auto record = findWindow(window);
    if (!record || width <= 0 || height <= 0)
        return FALSE;
    if (record->top->isMaximized() || record->top->isMinimized() || record->top->isFullScreen())
        record->top->showNormal();
    const double ratio = record->client->devicePixelRatioF();
    const int logicalWidth = static_cast<int>(std::lround(width / ratio));
    const int logicalHeight = static_cast<int>(std::lround(height / ratio));
    // A window manager may answer asynchronously: try for a while, never forever.
    for (int attempt = 0; attempt < 200; ++attempt) {
        record = findWindow(window);
        if (!record)
            return FALSE;
        const QSize now = clientDeviceSize(*record);
        if (now == QSize(width, height) && record->sizeSent && record->sizeWidth == width &&
            record->sizeHeight == height)
            return TRUE;
        const int menuHeight = record->menuBar && record->menuBar->isVisible()
                                   ? record->menuBar->height()
                                   : (record->menuBar ? record->menuBar->sizeHint().height() : 0);
        const QSize wanted(logicalWidth, logicalHeight + menuHeight);
        if (record->top->size() != wanted)
            record->top->resize(wanted);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (attempt > 0)
            QThread::msleep(5);
    }
    return FALSE;
}

} // namespace winapi::testing

namespace winapi {
QMainWindow* topLevelOf(HWND window) {
    auto record = findWindow(window);
    return record ? record->top : nullptr;
}
QWidget* clientAreaOf(HWND window) {
    auto record = findWindow(window);
    return record ? record->client : nullptr;
}
} // namespace winapi
