// Multimedia timers: each timer runs on a thread of its own and calls its callback there, every
// delay milliseconds (periodic) or once. Killing a timer stops it and joins its thread.

#include "platform/winapi/internal.h"
#include "platform/winapi/testing.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace winapi::detail {

namespace {

constexpr UINT kMaxDelayMs = 1000000; // the longest delay and period offered

struct Timer {
    UINT id = 0;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool finished = false; // a one-shot timer that has fired
};

struct Timers {
    std::mutex mutex;
    std::map<UINT, std::shared_ptr<Timer>> running;
    UINT nextId = 1;
    std::map<UINT, int> periods; // timeBeginPeriod requests not yet ended
};

Timers& timers() {
    static Timers* t = new Timers; // lives for the whole process
    return *t;
}

void run(const std::shared_ptr<Timer>& timer, UINT delayMs, bool periodic, LPTIMECALLBACK callback,
         DWORD_PTR user) {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(delayMs);
    auto next = clock::now() + period;
    for (;;) {
        {
            std::unique_lock lock(timer->mutex);
            if (timer->wake.wait_until(lock, next, [&] { return timer->stop; }))
                return;
        }
        callback(timer->id, 0, user, 0, 0);
        if (!periodic) {
            std::lock_guard lock(timer->mutex);
            timer->finished = true;
            return;
        }
        next += period;
        const auto now = clock::now();
        if (next < now)
            next = now + period; // a late callback skips the ticks it missed, no burst
    }
}

void stopAndJoin(const std::shared_ptr<Timer>& timer) {
    {
        std::lock_guard lock(timer->mutex);
        timer->stop = true;
    }
    timer->wake.notify_all();
    if (!timer->thread.joinable())
        return;
    if (timer->thread.get_id() == std::this_thread::get_id())
        timer->thread.detach(); // killed from its own callback: it ends when that returns
    else
        timer->thread.join();
}

// Joins the one-shot timers that have fired and were never killed.
void reapFinished(Timers& t) {
    std::vector<std::shared_ptr<Timer>> done;
    for (auto it = t.running.begin(); it != t.running.end();) {
        bool finished = false;
        {
            std::lock_guard lock(it->second->mutex);
            finished = it->second->finished;
        }
        if (finished) {
            done.push_back(it->second);
            it = t.running.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& timer : done)
        stopAndJoin(timer);
}

// Stops every timer at process exit, before any of the layer's state goes away.
struct ExitGuard {
    ~ExitGuard() { stopAllTimers(); }
} exitGuard;

} // namespace

void stopAllTimers() {
    std::map<UINT, std::shared_ptr<Timer>> all;
    {
        Timers& t = timers();
        std::lock_guard lock(t.mutex);
        all.swap(t.running);
    }
    for (auto& [id, timer] : all)
        stopAndJoin(timer);
}

int timerCount() {
    Timers& t = timers();
    std::lock_guard lock(t.mutex);
    return static_cast<int>(t.running.size());
}

} // namespace winapi::detail

using namespace winapi::detail;

namespace winapi::testing {
int runningTimers() {
    return timerCount();
}
} // namespace winapi::testing

MMRESULT timeSetEvent(UINT delayMs, UINT, LPTIMECALLBACK callback, DWORD_PTR user, UINT event) {
    if (!callback || delayMs == 0 || delayMs > kMaxDelayMs)
        return 0;
    if (event & ~TIME_PERIODIC)
        return 0; // only callback functions are offered, no event objects
    const bool periodic = event & TIME_PERIODIC;
    Timers& t = timers();
    std::lock_guard lock(t.mutex);
    reapFinished(t);
    auto timer = std::make_shared<Timer>();
    timer->id = t.nextId++;
    if (t.nextId == 0)
        t.nextId = 1;
    try {
        timer->thread = std::thread(run, timer, delayMs, periodic, callback, user);
    } catch (const std::system_error&) {
        return 0;
    }
    t.running[timer->id] = timer;
    return timer->id;
}

MMRESULT timeKillEvent(UINT timerId) {
    std::shared_ptr<Timer> timer;
    {
        Timers& t = timers();
        std::lock_guard lock(t.mutex);
        auto it = t.running.find(timerId);
        if (it == t.running.end())
            return MMSYSERR_INVALPARAM;
        timer = it->second;
        t.running.erase(it);
    }
    stopAndJoin(timer);
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT periodMs) {
    if (periodMs == 0 || periodMs > kMaxDelayMs)
        return TIMERR_NOCANDO;
    Timers& t = timers();
    std::lock_guard lock(t.mutex);
    ++t.periods[periodMs];
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT periodMs) {
    Timers& t = timers();
    std::lock_guard lock(t.mutex);
    auto it = t.periods.find(periodMs);
    if (it == t.periods.end())
        return TIMERR_NOCANDO;
    if (--it->second == 0)
        t.periods.erase(it);
    return TIMERR_NOERROR;
}
