#include "platform/retained/pool.h"

#include <chrono>

namespace retained {

namespace {
// A frame runs a few jobs back to back: a thread waiting for the next job or for the others to
// finish spins this long before it sleeps (spinning longer only burns a core that another
// process may need).
constexpr auto kSpin = std::chrono::microseconds(50);

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits until `value` no longer holds `old`: a short spin, then the futex.
template <class T> T waitWhile(const std::atomic<T>& value, T old) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    T now;
    int spins = 0;
    while ((now = value.load(std::memory_order_acquire)) == old) {
        if ((++spins & 63) == 0 && std::chrono::steady_clock::now() > until) {
            value.wait(old, std::memory_order_acquire);
            spins = 0;
        } else {
            cpuRelax();
        }
    }
    return now;
}
} // namespace

WorkerPool::WorkerPool(int threads) {
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this, i] { workerLoop(i); });
}

WorkerPool::~WorkerPool() {
    stop_.store(true, std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void WorkerPool::runErased(JobFn fn, void* job) {
    if (workers_.empty()) {
        fn(job, 0);
        return;
    }
    jobFn_ = fn;
    job_ = job;
    pending_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    fn(job, 0);
    int left;
    while ((left = pending_.load(std::memory_order_acquire)) != 0)
        waitWhile(pending_, left);
    jobFn_ = nullptr;
    job_ = nullptr;
}

void WorkerPool::workerLoop(int index) {
    unsigned seen = 0;
    for (;;) {
        seen = waitWhile(generation_, seen);
        if (stop_.load(std::memory_order_relaxed))
            return;
        jobFn_(job_, index);
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            pending_.notify_one();
    }
}

} // namespace retained
