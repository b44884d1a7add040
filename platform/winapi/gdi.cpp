// GDI: device contexts of windows and of memory, 32-bit bitmaps, stock objects and block
// transfers — enough to capture a window's client area as it is shown.

#include "platform/winapi/internal.h"
#include "platform/winapi/testing.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace winapi::detail {

namespace {

// Largest bitmap side; a bitmap of the largest size is 1 GiB.
constexpr int kMaxBitmapSide = 16384;

// Stock objects have fixed handle values below every allocated handle.
constexpr std::uintptr_t kStockBase = 0x8000;
constexpr std::uintptr_t kStockBitmap = kStockBase + 0x100; // the 1x1 bitmap of a new memory DC

struct DeviceContext {
    enum class Kind { Window, Memory } kind = Kind::Memory;
    HWND window = nullptr;    // Kind::Window
    HBITMAP bitmap = nullptr; // Kind::Memory: the selected bitmap, null for the stock one
};

struct Bitmap {
    QImage image; // QImage::Format_RGB32
    HDC selectedIn = nullptr;
    bool ownedByClipboard = false;
};

struct Gdi {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, DeviceContext> dcs;
    std::unordered_map<std::uintptr_t, Bitmap> bitmaps;
    std::uintptr_t next = 0x200000;
};

Gdi& gdi() {
    static Gdi* g = new Gdi; // lives for the whole process
    return *g;
}

std::uintptr_t key(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

DeviceContext* findDc(Gdi& g, HDC dc) {
    auto it = g.dcs.find(key(dc));
    return it == g.dcs.end() ? nullptr : &it->second;
}

Bitmap* findBitmap(Gdi& g, HBITMAP bitmap) {
    auto it = g.bitmaps.find(key(bitmap));
    return it == g.bitmaps.end() ? nullptr : &it->second;
}

void freeIfOrphaned(Gdi& g, HBITMAP bitmap) {
    Bitmap* b = findBitmap(g, bitmap);
    if (b && b->ownedByClipboard && !b->selectedIn)
        g.bitmaps.erase(key(bitmap));
}

// The pixels a device context draws on: a window's surface, a bitmap, or none.
struct Target {
    QImage* image = nullptr;
    std::shared_ptr<WindowRecord> window; // set when the target is a window's surface
};

Target targetOf(Gdi& g, HDC dc) {
    Target t;
    DeviceContext* d = findDc(g, dc);
    if (!d)
        return t;
    if (d->kind == DeviceContext::Kind::Window) {
        t.window = findWindow(d->window);
        if (t.window)
            t.image = &t.window->surface;
    } else if (Bitmap* b = findBitmap(g, d->bitmap)) {
        t.image = &b->image;
    }
    return t;
}

// Copies without scaling, clipped to both images; parts outside the source are left alone.
void copyClipped(QImage& dst, int x, int y, int w, int h, const QImage& src, int sx, int sy) {
    // Clip against the source.
    if (sx < 0) {
        x -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        y -= sy;
        h += sy;
        sy = 0;
    }
    w = std::min(w, src.width() - sx);
    h = std::min(h, src.height() - sy);
    // Clip against the destination.
    if (x < 0) {
        sx -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        sy -= y;
        h += y;
        y = 0;
    }
    w = std::min(w, dst.width() - x);
    h = std::min(h, dst.height() - y);
    if (w <= 0 || h <= 0)
        return;
    for (int row = 0; row < h; ++row) {
        const auto* s = reinterpret_cast<const std::uint32_t*>(src.constScanLine(sy + row)) + sx;
        auto* d = reinterpret_cast<std::uint32_t*>(dst.scanLine(y + row)) + x;
        std::memmove(d, s, static_cast<std::size_t>(w) * 4);
    }
}

} // namespace

QColor brushColour(HBRUSH brush, bool* isNullBrush) {
    if (isNullBrush)
        *isNullBrush = false;
    switch (key(brush)) {
    case kStockBase + WHITE_BRUSH:
        return QColor(255, 255, 255);
    case kStockBase + LTGRAY_BRUSH:
        return QColor(192, 192, 192);
    case kStockBase + GRAY_BRUSH:
        return QColor(128, 128, 128);
    case kStockBase + DKGRAY_BRUSH:
        return QColor(64, 64, 64);
    case kStockBase + BLACK_BRUSH:
        return QColor(0, 0, 0);
    default:
        if (isNullBrush)
            *isNullBrush = true;
        return QColor(255, 255, 255);
    }
}

HDC createWindowDc(HWND window) {
    if (!findWindow(window))
        return nullptr;
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    const std::uintptr_t handle = g.next;
    g.next += 0x10;
    g.dcs[handle] = DeviceContext{DeviceContext::Kind::Window, window, nullptr};
    return reinterpret_cast<HDC>(handle);
}

void releaseWindowDcs(HWND window) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    std::erase_if(g.dcs, [window](const auto& entry) {
        return entry.second.kind == DeviceContext::Kind::Window && entry.second.window == window;
    });
}

void releaseAllGdiObjects() {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    g.dcs.clear();
    g.bitmaps.clear();
}

const QImage* bitmapImage(HBITMAP bitmap) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    Bitmap* b = findBitmap(g, bitmap);
    return b ? &b->image : nullptr;
}

void giveBitmapToClipboard(HBITMAP bitmap) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    if (Bitmap* b = findBitmap(g, bitmap)) {
        b->ownedByClipboard = true;
        freeIfOrphaned(g, bitmap);
    }
}

bool bitmapOwnedByClipboard(HBITMAP bitmap) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    Bitmap* b = findBitmap(g, bitmap);
    return b && b->ownedByClipboard;
}

} // namespace winapi::detail

using namespace winapi::detail;

namespace winapi::testing {
int liveGdiObjects() {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    return static_cast<int>(g.dcs.size() + g.bitmaps.size());
}
} // namespace winapi::testing

HDC GetDC(HWND window) {
    if (!window)
        return nullptr; // the whole screen is not offered
    return createWindowDc(window);
}

int ReleaseDC(HWND, HDC dc) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    DeviceContext* d = findDc(g, dc);
    if (!d || d->kind != DeviceContext::Kind::Window)
        return 0;
    g.dcs.erase(key(dc));
    return 1;
}

HDC CreateCompatibleDC(HDC dc) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    if (dc && !findDc(g, dc))
        return nullptr;
    const std::uintptr_t handle = g.next;
    g.next += 0x10;
    g.dcs[handle] = DeviceContext{DeviceContext::Kind::Memory, nullptr, nullptr};
    return reinterpret_cast<HDC>(handle);
}

BOOL DeleteDC(HDC dc) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    DeviceContext* d = findDc(g, dc);
    if (!d || d->kind != DeviceContext::Kind::Memory)
        return FALSE;
    const HBITMAP selected = d->bitmap;
    g.dcs.erase(key(dc));
    if (Bitmap* b = findBitmap(g, selected)) {
        b->selectedIn = nullptr;
        freeIfOrphaned(g, selected);
    }
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide)
        return nullptr;
    {
        Gdi& g = gdi();
        std::lock_guard lock(g.mutex);
        if (!findDc(g, dc))
            return nullptr;
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return nullptr; // out of memory
    image.fill(QColor(0, 0, 0));
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    const std::uintptr_t handle = g.next;
    g.next += 0x10;
    g.bitmaps[handle] = Bitmap{std::move(image), nullptr, false};
    return reinterpret_cast<HBITMAP>(handle);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    DeviceContext* d = findDc(g, dc);
    if (!d || !object)
        return nullptr;
    if (key(object) >= kStockBase + WHITE_BRUSH && key(object) <= kStockBase + NULL_BRUSH)
        return object; // brushes do not take part in block transfers
    if (d->kind != DeviceContext::Kind::Memory)
        return nullptr; // a window's device context always draws on the window
    auto* bitmap = static_cast<HBITMAP>(object);
    const HBITMAP previous = d->bitmap;
    if (key(object) == kStockBitmap) {
        bitmap = nullptr;
    } else {
        Bitmap* b = findBitmap(g, bitmap);
        if (!b || b->ownedByClipboard)
            return nullptr;
        if (b->selectedIn && b->selectedIn != dc)
            return nullptr; // a bitmap is in one device context at a time
        b->selectedIn = dc;
    }
    if (previous && previous != bitmap) {
        if (Bitmap* old = findBitmap(g, previous)) {
            old->selectedIn = nullptr;
            freeIfOrphaned(g, previous);
        }
    }
    d->bitmap = bitmap;
    return previous ? static_cast<HGDIOBJ>(previous) : reinterpret_cast<HGDIOBJ>(kStockBitmap);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (!object)
        return FALSE;
    if (key(object) >= kStockBase && key(object) <= kStockBitmap)
        return TRUE; // stock objects are never deleted
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    Bitmap* b = findBitmap(g, static_cast<HBITMAP>(object));
    if (!b || b->selectedIn || b->ownedByClipboard)
        return FALSE;
    g.bitmaps.erase(key(object));
    return TRUE;
}

BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, DWORD rop) {
    if (!onGuiThread() || width <= 0 || height <= 0)
        return FALSE;
    Gdi& g = gdi();
    std::unique_lock lock(g.mutex);
    Target dst = targetOf(g, destination);
    if (!dst.image)
        return FALSE;
    if (rop == BLACKNESS || rop == WHITENESS) {
        QPainter painter(dst.image);
        painter.fillRect(QRect(x, y, width, height), rop == BLACKNESS ? Qt::black : Qt::white);
    } else if (rop == SRCCOPY) {
        if (sourceWidth <= 0 || sourceHeight <= 0)
            return FALSE;
        Target src = targetOf(g, source);
        if (!src.image)
            return FALSE;
        if (width == sourceWidth && height == sourceHeight) {
            if (src.image == dst.image) {
                const QImage copy = src.image->copy();
                copyClipped(*dst.image, x, y, width, height, copy, sourceX, sourceY);
            } else {
                copyClipped(*dst.image, x, y, width, height, *src.image, sourceX, sourceY);
            }
        } else {
            const QImage from = src.image->copy(); // detached, in case source is destination
            QPainter painter(dst.image);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QRectF(x, y, width, height), from,
                              QRectF(sourceX, sourceY, sourceWidth, sourceHeight));
        }
    } else {
        return FALSE; // other raster operations are not offered
    }
    std::shared_ptr<WindowRecord> window = dst.window;
    lock.unlock();
    if (window)
        surfaceChanged(*window);
    return TRUE;
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
            int sourceY, DWORD rop) {
    return StretchBlt(destination, x, y, width, height, source, sourceX, sourceY, width, height,
                      rop);
}

LONG GetBitmapBits(HBITMAP bitmap, LONG byteCount, LPVOID bits) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    Bitmap* b = findBitmap(g, bitmap);
    if (!b || !bits || byteCount <= 0)
        return 0;
    const QImage& image = b->image;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 4;
    std::size_t left = static_cast<std::size_t>(byteCount);
    auto* out = static_cast<unsigned char*>(bits);
    std::size_t copied = 0;
    for (int row = 0; row < image.height() && left > 0; ++row) {
        const auto* s = reinterpret_cast<const std::uint32_t*>(image.constScanLine(row));
        const std::size_t n = std::min(rowBytes, left);
        for (std::size_t i = 0; i < n / 4; ++i) {
            const std::uint32_t v = s[i] & 0x00FFFFFFu;
            std::memcpy(out + copied + i * 4, &v, 4);
        }
        if (n % 4) {
            const std::uint32_t v = s[n / 4] & 0x00FFFFFFu;
            std::memcpy(out + copied + (n / 4) * 4, &v, n % 4);
        }
        copied += n;
        left -= n;
    }
    return static_cast<LONG>(copied);
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
    Gdi& g = gdi();
    std::lock_guard lock(g.mutex);
    Bitmap* b = findBitmap(g, static_cast<HBITMAP>(object));
    if (!b)
        return 0;
    if (!out)
        return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP)))
        return 0;
    BITMAP info{};
    info.bmWidth = b->image.width();
    info.bmHeight = b->image.height();
    info.bmWidthBytes = b->image.width() * 4;
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    std::memcpy(out, &info, sizeof(info));
    return sizeof(BITMAP);
}

HGDIOBJ GetStockObject(int which) {
    if (which < WHITE_BRUSH || which > NULL_BRUSH)
        return nullptr;
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(which));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    // Only the system cursors exist (no cursor resources of the program).
    if (instance || !IS_INTRESOURCE(name))
        return nullptr;
    const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(name);
    if (id < 32512 || id > 32515)
        return nullptr;
    return reinterpret_cast<HCURSOR>(id);
}
