// Windows: classes, menu resources, the top-level Qt window with its client area, the
// translation of window-system events into messages, default processing and painting.

#include "platform/winapi/internal.h"
#include "platform/winapi/keys.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace winapi::detail {

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA wc{};
    std::string menuName; // empty: numbered or none
};

struct MenuResource {
    std::vector<std::string> popups;
    struct Item {
        std::size_t popup;
        std::string text;
        UINT id;
    };
    std::vector<Item> items;
};

// Resource and class names: numbered (MAKEINTRESOURCEA) or strings, compared without case for
// ASCII letters as Windows does.
std::string resourceKey(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
    std::string key(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return key;
}

struct WindowState {
    std::map<std::string, WindowClass> classes;
    std::map<std::string, MenuResource> menus;
    std::map<HWND, std::shared_ptr<WindowRecord>> windows;
    std::uintptr_t nextHandle = 0x10010;
    std::string lastError;
};

WindowState& state() {
    static WindowState* s = new WindowState; // lives for the whole process
    return *s;
}

double pixelRatioOf(const WindowRecord& record) {
    return record.client ? record.client->devicePixelRatioF() : 1.0;
}

void fillSurface(WindowRecord& record, const QRect& area) {
    bool nullBrush = false;
    const QColor colour = brushColour(record.background, &nullBrush);
    QPainter painter(&record.surface);
    painter.fillRect(area, nullBrush ? QColor(Qt::white) : colour);
}

void schedulePaint(const std::shared_ptr<WindowRecord>& record);

void deliverPaint(HWND handle) {
    auto record = findWindow(handle);
    if (!record)
        return;
    record->paintScheduled = false;
    if (!record->invalid || !record->top->isVisible() || record->top->isMinimized())
        return;
    const unsigned begun = record->paintsBegun;
    sendToWindow(record, WM_PAINT, 0, 0);
    if (record->destroyed)
        return;
    // A procedure that never validates would get WM_PAINT forever (so would it on Windows);
    // here that would spin the event loop, so an unanswered paint counts as done.
    if (record->paintsBegun == begun)
        record->invalid = false;
    record->client->update();
}

void schedulePaint(const std::shared_ptr<WindowRecord>& record) {
    if (record->paintScheduled || record->destroyed)
        return;
    record->paintScheduled = true;
    const HWND handle = record->handle;
    QMetaObject::invokeMethod(
        record->client, [handle] { deliverPaint(handle); }, Qt::QueuedConnection);
}

void invalidateWhole(const std::shared_ptr<WindowRecord>& record, bool erase) {
    const QSize size = record->surface.size();
    record->invalid = true;
    record->eraseDue = record->eraseDue || erase;
    record->updateRect = RECT{0, 0, size.width(), size.height()};
    schedulePaint(record);
}

// Sends WM_SIZE when the client size or the minimised/maximised state has changed since the
// last one, after resizing the surface the client shows.
void syncClientSize(const std::shared_ptr<WindowRecord>& record) {
    if (!record->created || record->destroyed)
        return;
    const bool minimised = record->top->isMinimized();
    WPARAM type = SIZE_RESTORED;
    int width = 0;
    int height = 0;
    if (minimised) {
        type = SIZE_MINIMIZED;
    } else {
        const QSize size = clientDeviceSize(*record);
        width = size.width();
        height = size.height();
        type = record->top->isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
    }
    if (record->sizeSent && record->sizeType == type && record->sizeWidth == width &&
        record->sizeHeight == height)
        return;
    record->sizeSent = true;
    record->sizeType = type;
    record->sizeWidth = width;
    record->sizeHeight = height;

    if (!minimised && QSize(width, height) != record->surface.size()) {
        QImage next(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
        if (!next.isNull()) {
            std::swap(record->surface, next);
            fillSurface(*record, record->surface.rect());
            QPainter painter(&record->surface);
            painter.drawImage(0, 0, next); // keep what was shown
        }
    }
    sendToWindow(record, WM_SIZE, type,
                 MAKELPARAM(static_cast<WORD>(std::clamp(width, 0, 0xFFFF)),
                            static_cast<WORD>(std::clamp(height, 0, 0xFFFF))));
    if (record->destroyed)
        return;
    if (!minimised) {
        // The whole client area is repainted after every change of size (and after being
        // restored), whatever the class style says: the surface was just rebuilt.
        invalidateWhole(record, true);
        record->client->update();
    }
}

void sendKey(HWND handle, QKeyEvent* event, bool press) {
    auto record = findWindow(handle);
    if (!record) {
        event->ignore();
        return;
    }
    const KeyMessage key = keyMessageOf(*event, press);
    if (key.message == 0) {
        event->ignore();
        return;
    }
    event->accept();
    sendToWindow(record, key.message, key.wParam, key.lParam);
}

void sendActivation(const std::shared_ptr<WindowRecord>& record) {
    if (!record->created || record->destroyed)
        return;
    const int active = record->top->isActiveWindow() ? WA_ACTIVE : WA_INACTIVE;
    if (active == record->activeState)
        return;
    record->activeState = active;
    const WORD minimised = record->top->isMinimized() ? 1 : 0;
    sendToWindow(record, WM_ACTIVATE, MAKEWPARAM(static_cast<WORD>(active), minimised), 0);
}

// The mnemonic letter of a menu text ("&File" -> 'F'), 0 without one.
char mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] == QLatin1Char('&')) {
                ++i;
                continue;
            }
            const char c = text[i + 1].toUpper().toLatin1();
            return c;
        }
    }
    return 0;
}

bool openMenuByMnemonic(WindowRecord& record, UINT vk) {
    if (!record.menuBar)
        return false;
    for (QAction* action : record.menuBar->actions()) {
        const char m = mnemonicOf(action->text());
        if (m != 0 && static_cast<UINT>(static_cast<unsigned char>(m)) == vk) {
            record.menuBar->setActiveAction(action);
            return true;
        }
    }
    return false;
}

QMenuBar* buildMenu(HWND handle, const MenuResource& resource, QMainWindow* top) {
    QMenuBar* bar = new QMenuBar(top);
    bar->setNativeMenuBar(false); // the menu belongs to the window, above the client area
    std::vector<QMenu*> menus;
    for (const std::string& popup : resource.popups)
        menus.push_back(bar->addMenu(QString::fromUtf8(popup)));
    for (const MenuResource::Item& item : resource.items) {
        QAction* action = menus[item.popup]->addAction(QString::fromUtf8(item.text));
        const UINT id = item.id;
        QObject::connect(action, &QAction::triggered, top, [handle, id, top] {
            // Delivered once the menu has closed, so a command may open dialogs or destroy
            // the window.
            QMetaObject::invokeMethod(
                top,
                [handle, id] {
                    if (auto record = findWindow(handle))
                        sendToWindow(record, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
                },
                Qt::QueuedConnection);
        });
    }
    top->setMenuBar(bar);
    return bar;
}

Qt::CursorShape cursorShapeOf(HCURSOR cursor) {
    switch (reinterpret_cast<std::uintptr_t>(cursor)) {
    case 32513:
        return Qt::IBeamCursor;
    case 32514:
        return Qt::WaitCursor;
    case 32515:
        return Qt::CrossCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

// ---- Qt event handlers -----------------------------------------------------------------------

ClientArea::ClientArea(HWND handle, QWidget* parent) : QWidget(parent), handle_(handle) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void TopLevelWindow::closeEvent(QCloseEvent* event) {
    auto record = findWindow(handle_);
    if (allowClose || !record) {
        event->accept();
        return;
    }
    event->ignore(); // the window procedure decides (DefWindowProcA destroys the window)
    sendToWindow(record, WM_CLOSE, 0, 0);
}

void TopLevelWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    auto record = findWindow(handle_);
    if (!record)
        return;
    if (event->type() == QEvent::WindowStateChange)
        syncClientSize(record);
    else if (event->type() == QEvent::ActivationChange)
        sendActivation(record);
}

void TopLevelWindow::keyPressEvent(QKeyEvent* event) {
    sendKey(handle_, event, true);
}
void TopLevelWindow::keyReleaseEvent(QKeyEvent* event) {
    sendKey(handle_, event, false);
}

bool ClientArea::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal) {
        // On a screen of another density the same logical size is another device size.
        const HWND handle = handle_;
        QMetaObject::invokeMethod(
            this,
            [handle] {
                if (auto record = findWindow(handle))
                    syncClientSize(record);
            },
            Qt::QueuedConnection);
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Alt combinations and F10 are system keys: they reach the window procedure as
        // WM_SYSKEYDOWN, whose default processing opens the menus.
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers();
        if (((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier)) ||
            key->key() == Qt::Key_F10) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void ClientArea::paintEvent(QPaintEvent*) {
    auto record = findWindow(handle_);
    QPainter painter(this);
    if (!record) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    // One surface pixel per device pixel.
    QImage view = record->surface;
    view.setDevicePixelRatio(devicePixelRatioF());
    painter.drawImage(QPointF(0, 0), view);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (auto record = findWindow(handle_))
        syncClientSize(record);
}

void ClientArea::keyPressEvent(QKeyEvent* event) {
    sendKey(handle_, event, true);
}
void ClientArea::keyReleaseEvent(QKeyEvent* event) {
    sendKey(handle_, event, false);
}

// ---- Shared helpers ---------------------------------------------------------------------------

bool onGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool haveWidgetsApplication() {
    return onGuiThread() && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

std::shared_ptr<WindowRecord> findWindow(HWND window) {
    if (!window || !onGuiThread())
        return nullptr;
    auto& windows = state().windows;
    auto it = windows.find(window);
    if (it == windows.end() || it->second->destroyed)
        return nullptr;
    return it->second;
}

LRESULT sendToWindow(const std::shared_ptr<WindowRecord>& record, UINT message, WPARAM wParam,
                     LPARAM lParam) {
    std::shared_ptr<WindowRecord> keep = record; // alive for the whole call
    if (!keep || !keep->proc)
        return 0;
    return keep->proc(keep->handle, message, wParam, lParam);
}

QWidget* ownerWidget(HWND window) {
    auto record = findWindow(window);
    return record ? record->top : nullptr;
}

QSize clientDeviceSize(const WindowRecord& record) {
    if (!record.client)
        return {0, 0};
    QSize logical = record.client->size();
    if (!record.client->isVisible()) {
        // Not laid out yet: the window's size less its menu bar.
        const int menuHeight = record.menuBar ? record.menuBar->sizeHint().height() : 0;
        logical = QSize(record.top->width(), std::max(0, record.top->height() - menuHeight));
    }
    const double ratio = pixelRatioOf(record);
    return {static_cast<int>(std::lround(logical.width() * ratio)),
            static_cast<int>(std::lround(logical.height() * ratio))};
}

void surfaceChanged(WindowRecord& record) {
    if (record.client && !record.destroyed)
        record.client->update();
}

std::string lastWindowError() {
    return state().lastError;
}

void destroyAllWindowsQuietly() {
    if (!onGuiThread())
        return;
    auto windows = std::move(state().windows);
    state().windows.clear();
    for (auto& [handle, record] : windows) {
        record->destroyed = true;
        unregisterLiveWindow(handle);
        releaseWindowDcs(handle);
        clipboardWindowDestroyed(handle);
        if (record->top) {
            record->top->allowClose = true;
            delete record->top;
            record->top = nullptr;
            record->client = nullptr;
            record->menuBar = nullptr;
        }
    }
}

} // namespace winapi::detail

using namespace winapi::detail;

// ---- Resources and classes --------------------------------------------------------------------

BOOL RegisterMenuResource(LPCSTR name, const MenuResourceItem* items, int count) {
    if (!name || !items || count <= 0 || !onGuiThread())
        return FALSE;
    MenuResource resource;
    for (int i = 0; i < count; ++i) {
        const MenuResourceItem& item = items[i];
        if (!item.popup || !item.text)
            return FALSE;
        if (resource.popups.empty() || resource.popups.back() != item.popup)
            resource.popups.emplace_back(item.popup);
        resource.items.push_back({resource.popups.size() - 1, item.text, item.id});
    }
    state().menus[resourceKey(name)] = std::move(resource);
    return TRUE;
}

HINSTANCE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName)
        return nullptr; // only the program's own module exists
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000));
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc ||
        !onGuiThread() || IS_INTRESOURCE(windowClass->lpszClassName) ||
        windowClass->cbClsExtra < 0 || windowClass->cbWndExtra < 0)
        return 0;
    keepSettingsInMemory();
    const std::string key = resourceKey(windowClass->lpszClassName);
    auto& classes = state().classes;
    if (classes.count(key))
        return 0; // already registered
    WindowClass entry;
    entry.name = windowClass->lpszClassName;
    entry.wc = *windowClass;
    entry.wc.lpszClassName = nullptr; // the copy owns its names
    if (windowClass->lpszMenuName && !IS_INTRESOURCE(windowClass->lpszMenuName)) {
        entry.menuName = windowClass->lpszMenuName;
        entry.wc.lpszMenuName = nullptr;
    }
    classes.emplace(key, std::move(entry));
    return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className || !onGuiThread())
        return FALSE;
    const std::string key = resourceKey(className);
    for (const auto& [handle, record] : state().windows)
        if (!record->destroyed && record->className == key)
            return FALSE; // windows of the class still exist
    return state().classes.erase(key) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID param) {
    auto& st = state();
    if (!haveWidgetsApplication()) {
        st.lastError = "no Qt widgets application on this thread";
        return nullptr;
    }
    if (!className) {
        st.lastError = "no class name";
        return nullptr;
    }
    if (parent || menu) {
        st.lastError = "child windows and menu handles are not supported";
        return nullptr;
    }
    auto cls = st.classes.find(resourceKey(className));
    if (cls == st.classes.end()) {
        st.lastError = "class not registered";
        return nullptr;
    }
    const WNDCLASSA& wc = cls->second.wc;
    const MenuResource* menuResource = nullptr;
    const char* menuName =
        cls->second.menuName.empty() ? wc.lpszMenuName : cls->second.menuName.c_str();
    if (menuName) {
        auto it = st.menus.find(resourceKey(menuName));
        if (it == st.menus.end()) {
            st.lastError = "menu resource not registered";
            return nullptr;
        }
        menuResource = &it->second;
    }

    auto record = std::make_shared<WindowRecord>();
    record->handle = reinterpret_cast<HWND>(st.nextHandle);
    st.nextHandle += 0x10;
    record->proc = wc.lpfnWndProc;
    record->className = cls->first;
    record->classStyle = wc.style;
    record->background = wc.hbrBackground;
    record->cursor = wc.hCursor;

    auto* top = new TopLevelWindow(record->handle);
    top->setAttribute(Qt::WA_DeleteOnClose, false);
    record->top = top;
    record->client = new ClientArea(record->handle, top);
    top->setCentralWidget(record->client);
    if (menuResource)
        record->menuBar = buildMenu(record->handle, *menuResource, top);
    top->setWindowTitle(QString::fromUtf8(windowName ? windowName : ""));
    record->client->setCursor(QCursor(cursorShapeOf(wc.hCursor)));

    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 800, 600);
    const int w = width == CW_USEDEFAULT || width <= 0 ? screen.width() * 3 / 4 : width;
    const int h = height == CW_USEDEFAULT || height <= 0 ? screen.height() * 3 / 4 : height;
    top->resize(w, h);
    if (x != CW_USEDEFAULT)
        top->move(x, y);

    const QSize initial = clientDeviceSize(*record);
    record->surface =
        QImage(std::max(initial.width(), 1), std::max(initial.height(), 1), QImage::Format_RGB32);
    if (record->surface.isNull()) {
        delete top;
        st.lastError = "out of memory";
        return nullptr;
    }
    fillSurface(*record, record->surface.rect());
    record->updateRect = RECT{0, 0, initial.width(), initial.height()};

    st.windows[record->handle] = record;
    registerLiveWindow(record->handle);

    CREATESTRUCTA create{};
    create.lpCreateParams = param;
    create.hInstance = wc.hInstance;
    create.cx = w;
    create.cy = h;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    const LRESULT created = sendToWindow(record, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    if (record->destroyed) {
        st.lastError = "window destroyed while being created";
        return nullptr;
    }
    if (created == -1) {
        DestroyWindow(record->handle);
        st.lastError = "WM_CREATE refused the window";
        return nullptr;
    }
    record->created = true;

    if (style & WS_VISIBLE) {
        if (style & WS_MINIMIZE) {
            top->showMinimized();
        } else if (style & WS_MAXIMIZE) {
            // Without a window manager nothing maximises the window: give it the screen first.
            top->setGeometry(screen);
            top->showMaximized();
        } else {
            top->show();
        }
        if (record->destroyed)
            return nullptr;
        record->client->setFocus();
    }
    syncClientSize(record);
    if (record->destroyed)
        return nullptr;
    invalidateWhole(record, true);
    return record->handle;
}

BOOL DestroyWindow(HWND window) {
    auto record = findWindow(window);
    if (!record)
        return FALSE;
    sendToWindow(record, WM_DESTROY, 0, 0);
    if (record->destroyed)
        return TRUE; // destroyed again from inside WM_DESTROY
    record->destroyed = true;
    state().windows.erase(window);
    unregisterLiveWindow(window);
    releaseWindowDcs(window);
    clipboardWindowDestroyed(window);
    if (record->top) {
        record->top->allowClose = true;
        record->top->hide();
        record->top->deleteLater();
    }
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return findWindow(window) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    auto record = findWindow(window);
    if (!record)
        return FALSE;
    const BOOL wasVisible = record->top->isVisible() ? TRUE : FALSE;
    switch (command) {
    case SW_HIDE:
        record->top->hide();
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        record->top->showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        record->top->showMaximized();
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        record->top->showNormal();
        break;
    default:
        record->top->show();
        break;
    }
    if (findWindow(window)) {
        syncClientSize(record);
        if (record->invalid)
            schedulePaint(record);
    }
    return wasVisible;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
    auto record = findWindow(window);
    if (!record || width < 0 || height < 0)
        return FALSE;
    record->top->setGeometry(x, y, width, height);
    if (findWindow(window))
        syncClientSize(record);
    return TRUE;
}

BOOL IsIconic(HWND window) {
    auto record = findWindow(window);
    return record && record->top->isMinimized() ? TRUE : FALSE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    auto record = findWindow(window);
    if (!record || !rect)
        return FALSE;
    const QSize size = record->top->isMinimized() ? QSize(0, 0) : clientDeviceSize(*record);
    *rect = RECT{0, 0, size.width(), size.height()};
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    auto record = findWindow(window);
    if (!record || !rect)
        return FALSE;
    const QRect g = record->top->frameGeometry();
    *rect = RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
    auto record = findWindow(window);
    if (!record || !buffer || size <= 0)
        return 0;
    const QByteArray title = record->top->windowTitle().toUtf8();
    int n = std::min<int>(static_cast<int>(title.size()), size - 1);
    while (n > 0 && n < title.size() && (static_cast<unsigned char>(title[n]) & 0xC0) == 0x80)
        --n; // never cut a character in two
    std::memcpy(buffer, title.constData(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

// ---- Default processing -----------------------------------------------------------------------

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto record = findWindow(window);
    if (!record)
        return 0;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        if (BeginPaint(window, &paint))
            EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND: {
        bool nullBrush = false;
        brushColour(record->background, &nullBrush);
        if (nullBrush)
            return 0;
        fillSurface(*record, record->surface.rect());
        return 1;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            sendToWindow(record, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            sendToWindow(record, WM_SYSCOMMAND, SC_CLOSE, 0);
        else if (wParam == VK_F10 && record->menuBar && !record->menuBar->actions().isEmpty())
            record->menuBar->setActiveAction(record->menuBar->actions().first());
        else if (lParam & (1 << 29))
            openMenuByMnemonic(*record, static_cast<UINT>(wParam));
        return 0;
    default:
        return 0;
    }
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto record = findWindow(window); // GUI thread only: elsewhere there is no record
    if (!record)
        return 0;
    return sendToWindow(record, message, wParam, lParam);
}

// ---- Painting ---------------------------------------------------------------------------------

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    auto record = findWindow(window);
    if (!record || !paint)
        return nullptr;
    const HDC dc = createWindowDc(window);
    if (!dc)
        return nullptr;
    std::memset(paint, 0, sizeof(*paint));
    paint->hdc = dc;
    paint->rcPaint = record->invalid ? record->updateRect : RECT{0, 0, 0, 0};
    paint->fErase = FALSE;
    if (record->eraseDue) {
        record->eraseDue = false;
        const LRESULT erased = sendToWindow(record, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        paint->fErase = erased ? FALSE : TRUE;
    }
    record->invalid = false;
    record->updateRect = RECT{0, 0, 0, 0};
    ++record->paintsBegun;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (!paint)
        return FALSE;
    ReleaseDC(window, paint->hdc);
    if (auto record = findWindow(window))
        surfaceChanged(*record);
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (!window) {
        if (!onGuiThread())
            return FALSE;
        for (const auto& [handle, record] : state().windows)
            InvalidateRect(handle, nullptr, erase);
        return TRUE;
    }
    auto record = findWindow(window);
    if (!record)
        return FALSE;
    const QSize size = record->surface.size();
    RECT area{0, 0, size.width(), size.height()};
    if (rect) {
        area.left = std::clamp<LONG>(rect->left, 0, size.width());
        area.top = std::clamp<LONG>(rect->top, 0, size.height());
        area.right = std::clamp<LONG>(rect->right, 0, size.width());
        area.bottom = std::clamp<LONG>(rect->bottom, 0, size.height());
        if (area.left >= area.right || area.top >= area.bottom)
            return TRUE; // nothing to paint
    }
    if (record->invalid) {
        RECT& u = record->updateRect;
        u = RECT{std::min(u.left, area.left), std::min(u.top, area.top),
                 std::max(u.right, area.right), std::max(u.bottom, area.bottom)};
    } else {
        record->updateRect = area;
    }
    record->invalid = true;
    record->eraseDue = record->eraseDue || erase;
    schedulePaint(record);
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    auto record = findWindow(window);
    if (!record)
        return FALSE;
    if (record->invalid)
        deliverPaint(window);
    return TRUE;
}

// ---- Presenting -------------------------------------------------------------------------------

void PresentDevicePixels(HWND window, const std::uint32_t* pixels, int width, int height,
                         int strideBytes) {
    auto record = findWindow(window);
    if (!record || !pixels || width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        strideBytes < width * 4 || strideBytes % 4 != 0)
        return;
    QImage& surface = record->surface;
    const int w = std::min(width, surface.width());
    const int h = std::min(height, surface.height());
    const std::size_t strideWords = static_cast<std::size_t>(strideBytes) / 4;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* src = pixels + static_cast<std::size_t>(y) * strideWords;
        auto* dst = reinterpret_cast<std::uint32_t*>(surface.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
    surfaceChanged(*record);
}
