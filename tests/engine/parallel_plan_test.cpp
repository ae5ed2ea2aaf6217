#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "engine/ParallelPlan.h"

namespace tavox {
namespace {

ParallelWork Exposures(std::uint64_t count, std::uint64_t width) {
    ParallelWork work;
    work.items = count;
    work.itemSamples = width;
    work.threadBytes = 18 * width + 65536;
    work.itemBytes = 4 * width;
    return work;
}

TEST(parallel_plan_test, one_thread_where_threads_are_not_allowed_or_not_worth_it) {
    const ParallelWork enough = Exposures(300, 1024);
    ASSERT_TRUE(PlanParallel(2, enough).Parallel());
    const struct {
        const char* what;
        std::size_t threads;
        ParallelWork work;
    } serial[] = {
        {"one thread asked for", 1, enough},
        {"one item", 8, Exposures(1, 1 << 20)},
        {"too few samples", 8, Exposures(127, 1024)},
        {"observed items", 8,
         [&] {
             ParallelWork w = enough;
             w.observed = true;
             return w;
         }()},
        {"rows kept by each item", 8,
         [&] {
             ParallelWork w = enough;
             w.rows = RowKeeping::ByEachItem;
             return w;
         }()},
    };
    for (const auto& c : serial) {
        const ParallelPlan plan = PlanParallel(c.threads, c.work);
        EXPECT_FALSE(plan.Parallel()) << c.what;
        EXPECT_EQ(plan.threads, 1u) << c.what;
    }
    // Small files are worth threads by their number alone.
    ParallelWork files = Exposures(16, 128);
    files.fixedCost = true;
    EXPECT_TRUE(PlanParallel(2, files).Parallel());
    files.items = 15;
    EXPECT_FALSE(PlanParallel(2, files).Parallel());
}

// Threads and the items ahead share one budget: more of either costs the
// other, and rows the consumer keeps leave less for both.
TEST(parallel_plan_test, threads_and_items_ahead_stay_within_one_budget) {
    for (const std::uint64_t width : {256u, 1024u, 65536u}) {
        for (const std::size_t asked : {2u, 7u, 256u}) {
            ParallelWork work = Exposures(999, width);
            const ParallelPlan plan = PlanParallel(asked, work);
            ASSERT_TRUE(plan.Parallel());
            EXPECT_GE(plan.threads, 2u);
            EXPECT_LE(plan.threads, asked);
            EXPECT_GE(plan.chunk, 1u);
            EXPECT_GE(plan.window, plan.chunk * plan.threads);
            EXPECT_LE(plan.window, 4 * plan.chunk * plan.threads);
            const std::size_t used = plan.threads * work.threadBytes + plan.window * work.itemBytes;
            // The budget, unless the smallest plan already exceeds it.
            if (plan.threads > 2 && plan.window > plan.chunk * plan.threads) {
                EXPECT_LE(used, std::size_t{24} << 20) << width << " " << asked;
            }
            work.rows = RowKeeping::ByConsumer;
            const ParallelPlan kept = PlanParallel(asked, work);
            EXPECT_LE(kept.threads, plan.threads);
            EXPECT_LE(kept.window, plan.window);
        }
    }
    ParallelWork files = Exposures(4000, 128);
    files.fixedCost = true;
    EXPECT_LT(PlanParallel(2, files).chunk, PlanParallel(2, Exposures(4000, 128)).chunk);
}

}  // namespace
}  // namespace tavox
