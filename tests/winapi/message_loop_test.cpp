// The message queue and the multimedia timers.

#include "window_fixture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using namespace winapi_test;

TEST_F(WindowTest, PostedMessagesArriveThroughGetMessageInOrderThenQuitEndsTheLoop) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 5, 11, 22));
    ASSERT_TRUE(PostMessageA(window, WM_USER + 6, 33, 44));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 7, 0, 0)); // a thread message
    PostQuitMessage(9);

    std::vector<UINT> seen;
    MSG m{};
    BOOL got = 0;
    while ((got = GetMessageA(&m, nullptr, 0, 0)) > 0) {
        seen.push_back(m.message);
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    EXPECT_EQ(got, 0);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 9u); // the exit code
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 5, WM_USER + 6, WM_USER + 7}));
    // Window messages reached the window procedure with their parameters.
    const auto five = recorder.only(WM_USER + 5);
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five[0].wParam, 11u);
    EXPECT_EQ(five[0].lParam, 22);
    EXPECT_EQ(recorder.count(WM_USER + 6), 1);
}

TEST_F(WindowTest, GetMessageRunsWindowEventsWhileWaiting) {
    ASSERT_NE(create(), nullptr);
    // The first paint is a window-system event: it reaches the procedure while GetMessageA
    // waits for the quit that the paint posts.
    recorder.hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_PAINT)
            PostQuitMessage(0);
        return std::nullopt;
    };
    MSG m{};
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_GE(recorder.count(WM_PAINT), 1);
}

TEST_F(WindowTest, MessagesPostedFromAnotherThreadWakeTheLoopAndKeepTheirOrder) {
    ASSERT_NE(create(), nullptr);
    constexpr int kCount = 500;
    std::thread poster([w = window] {
        for (int i = 0; i < kCount; ++i) {
            while (!PostMessageA(w, WM_USER + 1, static_cast<WPARAM>(i), 0))
                std::this_thread::yield();
            if (i % 50 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        PostQuitMessage(0);
    });
    MSG m{};
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    poster.join();
    const auto ticks = recorder.only(WM_USER + 1);
    ASSERT_EQ(ticks.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(ticks[static_cast<std::size_t>(i)].wParam, static_cast<WPARAM>(i));
}

TEST_F(WindowTest, GetMessageFiltersAndRefusesBadCalls) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(GetMessageA(reinterpret_cast<MSG*>(&recorder), reinterpret_cast<HWND>(0x7777), 0, 0),
              -1);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0));

    PostMessageA(window, WM_USER + 2, 0, 0);
    PostMessageA(window, WM_USER + 1, 0, 0);
    MSG m{};
    ASSERT_EQ(GetMessageA(&m, window, WM_USER + 1, WM_USER + 1), 1);
    EXPECT_EQ(m.message, WM_USER + 1); // the later one, by its range
    EXPECT_EQ(m.hwnd, window);
    ASSERT_EQ(GetMessageA(&m, window, 0, 0), 1);
    EXPECT_EQ(m.message, WM_USER + 2);
}

namespace {

struct TickLog {
    std::atomic<int> ticks{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;
    HWND window = nullptr;
};

void CALLBACK countTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* log = reinterpret_cast<TickLog*>(user);
    {
        std::lock_guard lock(log->mutex);
        log->threads.insert(std::this_thread::get_id());
    }
    ++log->ticks;
    if (log->window)
        PostMessageA(log->window, WM_USER + 1, 0, 0);
}

} // namespace

TEST_F(WindowTest, PeriodicTimerCallsBackFromItsOwnThreadUntilKilled) {
    ASSERT_NE(create(), nullptr);
    TickLog log;
    log.window = window;
    EXPECT_EQ(timeBeginPeriod(1000), TIMERR_NOERROR);
    const MMRESULT id =
        timeSetEvent(10, 5000, countTick, reinterpret_cast<DWORD_PTR>(&log), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(winapi::testing::runningTimers(), 1);

    // The ticks arrive as posted messages through the loop.
    MSG m{};
    int received = 0;
    while (received < 5 && GetMessageA(&m, nullptr, 0, 0) > 0) {
        DispatchMessageA(&m);
        if (m.message == WM_USER + 1)
            ++received;
    }
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_EQ(winapi::testing::runningTimers(), 0);
    const int atKill = log.ticks.load();
    EXPECT_GE(atKill, 5);
    {
        std::lock_guard lock(log.mutex);
        ASSERT_EQ(log.threads.size(), 1u);
        EXPECT_NE(*log.threads.begin(), std::this_thread::get_id());
    }
    // Killed means joined: no callback runs afterwards.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(log.ticks.load(), atKill);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeEndPeriod(1000), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1000), TIMERR_NOCANDO); // more ends than begins
}

namespace {
std::atomic<UINT> selfKillId{0};
std::atomic<int> selfKillTicks{0};
std::atomic<MMRESULT> selfKillResult{0xFFFF};
void CALLBACK killSelf(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    ++selfKillTicks;
    selfKillResult = timeKillEvent(id);
    selfKillId = id;
}
void CALLBACK countOnly(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    ++reinterpret_cast<TickLog*>(user)->ticks;
}
} // namespace

TEST(Timers, OneShotFiresOnceAndATimerMayKillItselfFromItsCallback) {
    TickLog log;
    const MMRESULT once =
        timeSetEvent(5, 0, countOnly, reinterpret_cast<DWORD_PTR>(&log), TIME_ONESHOT);
    ASSERT_NE(once, 0u);
    for (int i = 0; i < 1000 && log.ticks.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(40)); // time for a wrong second tick
    EXPECT_EQ(log.ticks.load(), 1);
    EXPECT_EQ(timeKillEvent(once), TIMERR_NOERROR);

    const MMRESULT self = timeSetEvent(5, 0, killSelf, 0, TIME_PERIODIC);
    ASSERT_NE(self, 0u);
    for (int i = 0; i < 1000 && selfKillId.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(selfKillId.load(), self);
    EXPECT_EQ(selfKillResult.load(), TIMERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(selfKillTicks.load(), 1);
    EXPECT_EQ(winapi::testing::runningTimers(), 0);
}

TEST(Timers, RefusesBadRequests) {
    EXPECT_EQ(timeSetEvent(0, 0, countOnly, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(2000000, 0, countOnly, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, countOnly, 0, 0x10), 0u); // an event object, not offered
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(winapi::testing::runningTimers(), 0);
}
