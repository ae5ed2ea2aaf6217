#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavox {

// Computes items 0..count-1 of a sequence on worker threads while one
// consumer takes them in order. Item i is computed into slot i % window of
// storage the caller keeps; the consumer Waits for the item, uses its slot
// and Releases it, and only then may item i + window be computed into that
// slot. So at most `window` items are ahead of the consumer, and memory does
// not grow with the count. Items are handed out `chunk` consecutive ones at a
// time, so that handing out small items costs little. A consumer that would
// wait computes a chunk itself, so the consumer and its workers keep as many
// CPUs busy as there are threads. Every signal is blocked in the workers, so
// that handlers run on the other threads.
class OrderedPipeline {
public:
    // Computes one item on worker `worker`: 0..threads-1 for the workers,
    // `threads` (as passed to Start) for the consumer. An exception it lets
    // out is dropped, so the slot must tell whether the item is whole.
    using Compute = std::function<void(std::size_t item, std::size_t worker)>;

    OrderedPipeline(std::size_t count, std::size_t window, std::size_t chunk, Compute compute);
    // Stop.
    ~OrderedPipeline();
    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    // Starts up to `threads` workers, once; returns how many started (none
    // when the system refused a thread: the caller then computes alone).
    std::size_t Start(std::size_t threads);
    // Returns once `item` is computed, computing items meanwhile when any is
    // free to take. The consumer waits for the items in order, each after
    // releasing the one before.
    void Wait(std::size_t item);
    // Gives the slot of `item` back to the workers.
    void Release(std::size_t item);
    // Hands out no further item, lets the items in progress end and joins the
    // workers. Slots of items computed but not released keep what they hold.
    void Stop() noexcept;
    // True once Stop began, for a long computation that may give up (its
    // item is never waited for).
    bool Stopping() const noexcept;

private:
    void Work(std::size_t worker);
    std::size_t Room() const noexcept;  // items that may be handed out now
    // Computes up to a chunk of items from next_ on `worker`, with the lock
    // held on entry and on return.
    void ComputeChunk(std::unique_lock<std::mutex>& lock, std::size_t worker);

    const std::size_t count_;
    const std::size_t window_;
    const std::size_t chunk_;
    Compute compute_;
    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable itemDone_;
    std::vector<unsigned char> done_;  // per slot
    std::size_t next_ = 0;             // first item not handed out
    std::size_t released_ = 0;         // items released
    std::size_t idleWorkers_ = 0;
    std::size_t consumerWorker_ = 0;  // the worker index of the consumer
    bool consumerWaiting_ = false;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};

}  // namespace tavox
