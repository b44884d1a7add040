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
    while ((now = value.load(std::memory_order_seq_cst)) == old) {
        if ((++spins & 63) == 0 && std::chrono::steady_clock::now() > until) {
            value.wait(old, std::memory_order_seq_cst);
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
    stop_.store(true);
    generation_.fetch_add(1);
    generation_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void WorkerPool::runTask(const Task& task) {
    if (workers_.empty()) {
        task.fn(task.job, 0);
        return;
    }
    task_.store(&task);
    generation_.fetch_add(1);
    generation_.notify_all();
    task.fn(task.job, 0);
    // Close the job, then wait for those inside it. A worker counts itself in before it looks
    // for the job, so either it is counted here or it finds the job closed.
    task_.store(nullptr);
    int inside;
    while ((inside = active_.load()) != 0)
        waitWhile(active_, inside);
}

void WorkerPool::workerLoop(int index) {
    unsigned seen = 0;
    for (;;) {
        seen = waitWhile(generation_, seen);
        if (stop_.load())
            return;
        active_.fetch_add(1);
        if (const Task* task = task_.load())
            task->fn(task->job, index);
        if (active_.fetch_sub(1) == 1)
            active_.notify_all();
    }
}

} // namespace retained
