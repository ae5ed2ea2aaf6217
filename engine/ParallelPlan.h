#pragma once

#include <cstddef>
#include <cstdint>

namespace tavox {

// Who keeps every spectrum of an average (a combiner that keeps rows): the
// consumer, once for all threads, or each item on its own thread.
enum class RowKeeping { None, ByConsumer, ByEachItem };

// Work that threads may compute ahead of a consumer that takes it in order
// (see OrderedPipeline): exposures of one file, or files of a batch.
struct ParallelWork {
    std::uint64_t items = 0;
    std::uint64_t itemSamples = 0;  // samples each item transforms
    std::size_t threadBytes = 0;    // the working arrays of one thread
    std::size_t itemBytes = 0;      // what an item computed ahead keeps until its turn
    bool fixedCost = false;         // an item costs more than its samples (a file to open and write)
    bool observed = false;          // each item's outputs are told to an observer on the consumer's thread
    RowKeeping rows = RowKeeping::None;
};

// Threads (the consumer included), items handed out at a time and items
// computed ahead at most; one thread when threads are not worth it or not
// allowed.
struct ParallelPlan {
    std::size_t threads = 1;
    std::size_t chunk = 1;
    std::size_t window = 0;

    bool Parallel() const noexcept { return threads > 1; }
};

// The plan for `work` on up to `threads` threads, within one memory budget:
// half of it for the threads' arrays, half for the items ahead (a third of
// the whole when the consumer keeps rows, which take the rest). Serial for
// observed items and items that keep rows each, and when the work is too
// small to pay for starting threads.
ParallelPlan PlanParallel(std::size_t threads, const ParallelWork& work) noexcept;

}  // namespace tavox
