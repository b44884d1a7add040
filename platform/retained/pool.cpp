#include "platform/retained/pool.h"

#include <chrono>

namespace retained {

namespace {
// A frame runs a few jobs back to back: a worker that has just finished one spins this long
// for the next before it goes to sleep.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(200);

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
} // namespace

WorkerPool::WorkerPool(int threads) {
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this, i] { workerLoop(i); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void WorkerPool::run(const std::function<void(int)>& job) {
    if (workers_.empty()) {
        job(0);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        job_ = &job;
        pending_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
        generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    job(0);
    while (pending_.load(std::memory_order_acquire) != 0)
        cpuRelax();
    std::lock_guard<std::mutex> guard(lock_);
    job_ = nullptr;
}

void WorkerPool::workerLoop(int index) {
    unsigned seen = 0;
    for (;;) {
        // Spin a little for the next job, then sleep until one comes.
        const auto spinUntil = std::chrono::steady_clock::now() + kSpinBeforeSleep;
        while (generation_.load(std::memory_order_acquire) == seen &&
               std::chrono::steady_clock::now() < spinUntil)
            cpuRelax();
        const std::function<void(int)>* job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [&] { return generation_.load(std::memory_order_relaxed) != seen; });
            seen = generation_.load(std::memory_order_relaxed);
            if (stop_)
                return;
            job = job_;
        }
        (*job)(index);
        pending_.fetch_sub(1, std::memory_order_acq_rel);
    }
}

} // namespace retained
