#pragma once
// Threads that share the chunks of one batch with the calling thread.
//
// Workers take chunks of contiguous rows in row order from one counter and stop taking them
// once a row has failed or the caller was interrupted; a chunk once taken is finished up to its
// own first failure. Every chunk below a failed one has therefore been taken and run, so the
// lowest failed row is the same whatever the number of threads.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vormek::py::batch {

// A callable borrowed for the duration of a call: a job costs no allocation.
template <class Signature>
class FunctionRef;

template <class R, class... A>
class FunctionRef<R(A...)> {
public:
    template <class F>
    FunctionRef(F& f)  // NOLINT: implicit, like a reference
        : object_(&f), call_([](void* o, A... a) -> R { return (*static_cast<F*>(o))(a...); }) {}
    R operator()(A... a) const { return call_(object_, a...); }

private:
    void* object_;
    R (*call_)(void*, A...);
};

// The chunks of one batch, handed out in row order.
class Chunks {
public:
    Chunks(std::size_t rows, std::size_t chunk) : rows_(rows), chunk_(chunk) {}

    // The next chunk [first, last); false once none is left or the sweep was stopped.
    bool take(std::size_t& first, std::size_t& last) {
        if (stop_.load(std::memory_order_relaxed)) return false;
        const std::size_t c = next_.fetch_add(1, std::memory_order_relaxed);
        // c stays far from overflow: each worker asks at most once past the end
        if (c >= count()) return false;
        first = c * chunk_;
        last = std::min(rows_, first + chunk_);
        return true;
    }
    void stop() { stop_.store(true, std::memory_order_relaxed); }
    std::size_t count() const { return (rows_ + chunk_ - 1) / chunk_; }

private:
    std::size_t rows_;
    std::size_t chunk_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
};

// Up to `helpers` threads started with the pool and joined when it goes; the caller is worker
// 0. When the system refuses a thread, the pool keeps those it could start: helpers() says how
// many.
class Pool {
public:
    explicit Pool(std::size_t helpers);
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    std::size_t helpers() const { return threads_.size(); }

    // work(w) on helpers w = 1..wanted and on the caller (w = 0); then, until the helpers are
    // done, poll() on the caller every `period`. A caller's thread ended inside work or poll
    // (the interpreter's shutdown) first waits for the helpers, whose job lives on its stack.
    void run(std::size_t wanted, FunctionRef<void(std::size_t)> work, FunctionRef<void()> poll,
             std::chrono::milliseconds period);

private:
    void serve(std::size_t worker);

    std::mutex mutex_;
    std::condition_variable start_;  // a new job, or quit
    std::condition_variable done_;   // the last helper of a job finished
    std::uint64_t generation_ = 0;   // bumped per job, so a helper sees each job once
    std::size_t wanted_ = 0;         // helpers 1..wanted_ take part in the current job
    std::size_t running_ = 0;        // helpers of the current job not yet finished
    bool quit_ = false;
    const FunctionRef<void(std::size_t)>* work_ = nullptr;  // the current job, valid while running_ > 0
    std::vector<std::thread> threads_;
};

}  // namespace vormek::py::batch
