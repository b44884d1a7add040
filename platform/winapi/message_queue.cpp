// The message queue: posted messages (from any thread), the quit request, GetMessageA over the
// Qt event loop, and the modal loop the dialogs run.

#include "platform/winapi/internal.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>

#include <chrono>
#include <deque>
#include <mutex>
#include <unordered_set>

namespace winapi::detail {

namespace {

struct Queue {
    std::mutex mutex;
    std::deque<MSG> posted;
    std::unordered_set<HWND> live; // windows that may receive posted messages
    bool quitPosted = false;
    int quitCode = 0;
};

Queue& queue() {
    static Queue* q = new Queue; // lives for the whole process: timer threads post into it
    return *q;
}

// Wakes the GUI thread's event loop so that GetMessageA or a modal loop looks at the queue.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

void wakeGuiThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new QEvent(kWakeEvent));
}

DWORD messageTime() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    if (window == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd)
            return false;
    } else if (window && m.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0)
        return true;
    return m.message >= filterMin && m.message <= filterMax;
}

// Takes the first posted message that matches, else WM_QUIT when quit was posted.
bool takeMessage(MSG* out, HWND window, UINT filterMin, UINT filterMax) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (matches(*it, window, filterMin, filterMax)) {
            *out = *it;
            q.posted.erase(it);
            return true;
        }
    }
    if (q.quitPosted) {
        q.quitPosted = false;
        *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, messageTime(), {0, 0}};
        return true;
    }
    return false;
}

// Dispatches the posted window messages that are waiting now (not those they post in turn).
void dispatchPostedWindowMessages() {
    std::deque<MSG> batch;
    {
        Queue& q = queue();
        std::lock_guard lock(q.mutex);
        for (auto it = q.posted.begin(); it != q.posted.end();) {
            if (it->hwnd) {
                batch.push_back(*it);
                it = q.posted.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const MSG& m : batch)
        DispatchMessageA(&m);
}

} // namespace

void registerLiveWindow(HWND window) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    q.live.insert(window);
}

void unregisterLiveWindow(HWND window) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    q.live.erase(window);
    std::erase_if(q.posted, [window](const MSG& m) { return m.hwnd == window; });
}

void flushDeferredDeletes() {
    if (onGuiThread())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool quitPending() {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    return q.quitPosted;
}

int runModal(QDialog& dialog) {
    // As a Win32 modal loop does, a pending quit message ends the dialog unanswered and stays
    // pending for the program's own loop: a program that is ending shows no more dialogs.
    if (quitPending())
        return QDialog::Rejected;
    bool done = false;
    int result = 0;
    QObject::connect(&dialog, &QDialog::finished, &dialog, [&](int r) {
        done = true;
        result = r;
    });
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        dispatchPostedWindowMessages();
        if (!done && quitPending()) {
            dialog.hide();
            return QDialog::Rejected;
        }
    }
    return result;
}

} // namespace winapi::detail

using namespace winapi::detail;

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Queue& q = queue();
    {
        std::lock_guard lock(q.mutex);
        if (window && !q.live.count(window))
            return FALSE;
        q.posted.push_back(MSG{window, message, wParam, lParam, messageTime(), {0, 0}});
    }
    wakeGuiThread();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Queue& q = queue();
    {
        std::lock_guard lock(q.mutex);
        q.quitPosted = true;
        q.quitCode = exitCode;
    }
    wakeGuiThread();
}

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (!message || !onGuiThread())
        return -1;
    if (window && window != reinterpret_cast<HWND>(-1) && !IsWindow(window))
        return -1;
    for (;;) {
        flushDeferredDeletes();
        if (takeMessage(message, window, filterMin, filterMax))
            return message->message == WM_QUIT ? 0 : 1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

BOOL TranslateMessage(const MSG*) {
    // Key messages are sent to the window procedure as the keys arrive and never pass through
    // the queue, so there is nothing to translate here.
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message) {
    if (!message || !message->hwnd)
        return 0;
    auto record = findWindow(message->hwnd);
    if (!record)
        return 0;
    return sendToWindow(record, message->message, message->wParam, message->lParam);
}
