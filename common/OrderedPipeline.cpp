#include "common/OrderedPipeline.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <system_error>

namespace tavox {

OrderedPipeline::OrderedPipeline(std::size_t count, std::size_t window, std::size_t chunk, Compute compute)
    : count_(count),
      window_(std::max<std::size_t>(window, 1)),
      chunk_(std::clamp<std::size_t>(chunk, 1, std::max<std::size_t>(window, 1))),
      compute_(std::move(compute)),
      done_(window_, 0) {}

OrderedPipeline::~OrderedPipeline() {
    Stop();
}

std::size_t OrderedPipeline::Start(std::size_t threads) {
    if (!threads_.empty()) return threads_.size();
    consumerWorker_ = threads;
    // New threads inherit the mask: blocking every signal here, around their
    // start, keeps handlers off the workers without a call inside them.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    const bool masked = pthread_sigmask(SIG_SETMASK, &all, &previous) == 0;
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this, i] { Work(i); });
        } catch (const std::system_error&) {
            break;
        }
    }
    if (masked) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return threads_.size();
}

std::size_t OrderedPipeline::Room() const noexcept {
    const std::size_t limit = std::min(count_, released_ + window_);
    return next_ < limit ? limit - next_ : 0;
}

void OrderedPipeline::ComputeChunk(std::unique_lock<std::mutex>& lock, std::size_t worker) {
    const std::size_t first = next_;
    const std::size_t last = first + std::min(chunk_, Room());
    next_ = last;
    lock.unlock();
    for (std::size_t item = first; item < last; ++item) {
        try {
            compute_(item, worker);
        } catch (...) {
        }
    }
    lock.lock();
    for (std::size_t item = first; item < last; ++item) done_[item % window_] = 1;
}

void OrderedPipeline::Work(std::size_t worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A worker waits for room for a whole chunk (or for all that is
        // left), so that a release of each item does not wake it each time.
        while (!stopping_ && next_ < count_ && Room() < std::min(chunk_, count_ - next_)) {
            ++idleWorkers_;
            workAvailable_.wait(lock);
            --idleWorkers_;
        }
        if (stopping_ || next_ >= count_) return;
        ComputeChunk(lock, worker);
        if (consumerWaiting_) itemDone_.notify_one();
    }
}

void OrderedPipeline::Wait(std::size_t item) {
    std::unique_lock lock(mutex_);
    while (done_[item % window_] == 0) {
        if (item >= next_ || Room() > 0) {
            ComputeChunk(lock, consumerWorker_);
            continue;
        }
        consumerWaiting_ = true;
        itemDone_.wait(lock);
        consumerWaiting_ = false;
    }
}

void OrderedPipeline::Release(std::size_t item) {
    std::lock_guard lock(mutex_);
    done_[item % window_] = 0;
    released_ = item + 1;
    if (idleWorkers_ > 0 && Room() >= std::min(chunk_, count_ - std::min(next_, count_))) workAvailable_.notify_all();
}

void OrderedPipeline::Stop() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true, std::memory_order_relaxed);
    }
    workAvailable_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

bool OrderedPipeline::Stopping() const noexcept {
    return stopping_.load(std::memory_order_relaxed);
}

}  // namespace tavox
