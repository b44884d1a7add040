// The clipboard: a bitmap put there goes onto the system clipboard as an image (on X11 it is
// offered as image/png, image/bmp and the other image types Qt can write).

#include "platform/winapi/internal.h"
#include "platform/winapi/testing.h"

#include <QClipboard>
#include <QGuiApplication>

namespace winapi::detail {

namespace {

struct ClipboardState {
    bool open = false;
    HWND owner = nullptr;
};

ClipboardState& clip() {
    static ClipboardState s;
    return s;
}

QClipboard* systemClipboard() {
    return onGuiThread() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

} // namespace

void clipboardWindowDestroyed(HWND window) {
    if (clip().open && clip().owner == window) {
        clip().open = false;
        clip().owner = nullptr;
    }
}

} // namespace winapi::detail

using namespace winapi::detail;

namespace winapi::testing {
Picture clipboardImage() {
    Picture picture;
    QClipboard* clipboard = systemClipboard();
    if (!clipboard)
        return picture;
    const QImage image = clipboard->image().convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return picture;
    picture.width = image.width();
    picture.height = image.height();
    picture.pixels.reserve(static_cast<std::size_t>(image.width()) *
                           static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            picture.pixels.push_back(row[x] & 0x00FFFFFFu);
    }
    return picture;
}
} // namespace winapi::testing

BOOL OpenClipboard(HWND owner) {
    if (!systemClipboard() || (owner && !IsWindow(owner)))
        return FALSE;
    ClipboardState& c = clip();
    if (c.open && c.owner != owner)
        return FALSE; // another window has it open
    c.open = true;
    c.owner = owner;
    return TRUE;
}

BOOL EmptyClipboard() {
    QClipboard* clipboard = systemClipboard();
    if (!clipboard || !clip().open)
        return FALSE;
    clipboard->clear();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    QClipboard* clipboard = systemClipboard();
    if (!clipboard || !clip().open || format != CF_BITMAP || !data)
        return nullptr;
    auto* bitmap = static_cast<HBITMAP>(data);
    if (bitmapOwnedByClipboard(bitmap))
        return nullptr;
    const QImage* image = bitmapImage(bitmap);
    if (!image)
        return nullptr;
    clipboard->setImage(*image);
    giveBitmapToClipboard(bitmap); // the bitmap is the clipboard's now
    return data;
}

BOOL CloseClipboard() {
    if (!clip().open)
        return FALSE;
    clip().open = false;
    clip().owner = nullptr;
    return TRUE;
}
