#include "engine/ParallelPlan.h"

#include <algorithm>

namespace tavox {
namespace {

// Below this many samples in all (or, for items of a fixed cost, this many
// items), starting threads costs more than it saves.
constexpr std::uint64_t MinSamples = std::uint64_t{1} << 17;
constexpr std::uint64_t MinFixedCostItems = 16;
// What the threads' arrays and the items computed ahead may take in all, so
// that memory stays small however many threads are asked for.
constexpr std::size_t MemoryBudget = std::size_t{24} << 20;
// Items handed out at a time come to about this many samples, and to fewer
// items of a fixed cost, so that a few dozen small files still spread over
// the threads.
constexpr std::uint64_t ChunkSamples = 32768;
constexpr std::uint64_t MaxChunk = 16;
constexpr std::uint64_t MaxFixedCostChunk = 8;

}  // namespace

ParallelPlan PlanParallel(std::size_t threads, const ParallelWork& work) noexcept {
    if (threads < 2 || work.items < 2 || work.observed || work.rows == RowKeeping::ByEachItem) return {};
    const bool worthIt =
        work.items * work.itemSamples >= MinSamples || (work.fixedCost && work.items >= MinFixedCostItems);
    if (!worthIt) return {};
    const std::size_t budget = work.rows == RowKeeping::ByConsumer ? MemoryBudget / 3 : MemoryBudget;
    ParallelPlan plan;
    plan.threads = std::clamp<std::size_t>(budget / 2 / std::max<std::size_t>(work.threadBytes, 1), 2, threads);
    plan.chunk = static_cast<std::size_t>(std::clamp<std::uint64_t>(
        ChunkSamples / std::max<std::uint64_t>(work.itemSamples, 1), 1, work.fixedCost ? MaxFixedCostChunk : MaxChunk));
    const std::size_t fewest = plan.chunk * plan.threads;
    plan.window = std::clamp<std::size_t>(budget / 2 / std::max<std::size_t>(work.itemBytes, 1), fewest, fewest * 4);
    return plan;
}

}  // namespace tavox
