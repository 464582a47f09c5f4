#include "pool.hpp"

#include <cxxabi.h>

#include <exception>

namespace vormek::py::batch {

Pool::Pool(std::size_t helpers) {
    threads_.reserve(helpers);
    try {
        for (std::size_t w = 1; w <= helpers; ++w) threads_.emplace_back([this, w] { serve(w); });
    } catch (const std::exception&) {
        // out of threads or memory for one: the caller decides whether the others will do
    }
}

Pool::~Pool() {
    {
        std::lock_guard guard(mutex_);
        quit_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void Pool::run(std::size_t wanted, FunctionRef<void(std::size_t)> work, FunctionRef<void()> poll,
               std::chrono::milliseconds period) {
    wanted = std::min(wanted, threads_.size());
    if (wanted > 0) {
        {
            std::lock_guard guard(mutex_);
            work_ = &work;
            wanted_ = wanted;
            running_ = wanted;
            ++generation_;
        }
        start_.notify_all();
    }
    std::unique_lock lock(mutex_, std::defer_lock);
    try {
        work(0);
        lock.lock();
        while (running_ > 0) {
            if (done_.wait_for(lock, period) == std::cv_status::no_timeout) continue;
            // the caller answers interrupts while the helpers finish; they never wait for it
            lock.unlock();
            poll();
            lock.lock();
        }
    } catch (abi::__forced_unwind&) {
        if (!lock.owns_lock()) lock.lock();
        done_.wait(lock, [this] { return running_ == 0; });
        work_ = nullptr;
        throw;
    }
    work_ = nullptr;
}

void Pool::serve(std::size_t worker) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        start_.wait(lock, [&] { return quit_ || (generation_ != seen && worker <= wanted_); });
        if (quit_) return;
        seen = generation_;
        const auto* work = work_;
        lock.unlock();
        (*work)(worker);
        lock.lock();
        if (--running_ == 0) done_.notify_one();
    }
}

}  // namespace vormek::py::batch
