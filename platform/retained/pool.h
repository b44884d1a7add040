// A persistent pool of render workers. The calling thread takes part as worker 0; the others
// are started once, not per frame, and sleep between jobs. run() returns when every worker has
// finished the job, so callers never see the threads.
#pragma once

#include <atomic>
#include <thread>
#include <type_traits>
#include <vector>

namespace retained {

class WorkerPool {
  public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }
    // Runs job(worker) on every worker (0 .. size()-1) at once and waits for all of them. The
    // job is called through a plain pointer: nothing is allocated per run.
    template <class Job> void run(Job&& job) {
        using J = std::remove_reference_t<Job>;
        runErased([](void* j, int worker) { (*static_cast<J*>(j))(worker); }, &job);
    }

  private:
    using JobFn = void (*)(void* job, int worker);
    void runErased(JobFn fn, void* job);
    void workerLoop(int index);

    std::vector<std::thread> workers_;
    JobFn jobFn_ = nullptr; // published by generation_
    void* job_ = nullptr;
    std::atomic<unsigned> generation_{0};
    std::atomic<int> pending_{0};
    std::atomic<bool> stop_{false};
};

} // namespace retained
