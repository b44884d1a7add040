// A persistent pool of render workers. The calling thread takes part as worker 0; the others
// are started once, not per frame, and sleep between jobs.
//
// A job must share its work out itself (workers take items from an atomic counter until none
// are left), so that it is complete even if only the caller runs it. run() waits for the
// workers that joined the job to leave it, not for every worker to turn up: a worker that
// another process keeps off the processor does not hold up the frame, and joins a later job
// when it wakes. run() returns with the job finished, so callers never see the threads.
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
    // Runs job(worker) on the caller (worker 0) and on whichever workers join, and returns
    // when all of them have left it. Called through a plain pointer: nothing is allocated.
    template <class Job> void run(Job&& job) {
        using J = std::remove_reference_t<Job>;
        const Task task{[](void* j, int worker) { (*static_cast<J*>(j))(worker); }, &job};
        runTask(task);
    }

  private:
    struct Task {
        void (*fn)(void* job, int worker);
        void* job;
    };
    void runTask(const Task& task);
    void workerLoop(int index);

    std::vector<std::thread> workers_;
    std::atomic<const Task*> task_{nullptr}; // the job open to joiners, or none
    std::atomic<unsigned> generation_{0};    // counts jobs offered (wakes sleeping workers)
    std::atomic<int> active_{0};             // workers inside the current job
    std::atomic<bool> stop_{false};
};

} // namespace retained
