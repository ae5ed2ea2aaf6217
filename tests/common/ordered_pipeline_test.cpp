#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

#include "common/OrderedPipeline.h"

namespace tavox {
namespace {

// Each slot records the item computed into it; every item must be computed
// once, into its own slot, while its slot is free, and be taken in order.
struct Shape {
    std::size_t count;
    std::size_t window;
    std::size_t chunk;
    std::size_t threads;
};

TEST(ordered_pipeline_test, every_item_is_computed_once_within_the_window_and_taken_in_order) {
    for (const Shape run : {Shape{1000, 16, 4, 2}, Shape{1000, 7, 3, 6}, Shape{5, 64, 8, 3}, Shape{300, 1, 1, 2},
                            Shape{200, 12, 5, 0}, Shape{0, 4, 1, 2}}) {
        SCOPED_TRACE(std::to_string(run.count) + " items, window " + std::to_string(run.window) + ", chunk " +
                     std::to_string(run.chunk) + ", " + std::to_string(run.threads) + " workers");
        std::vector<std::atomic<int>> computed(run.count);
        std::vector<std::size_t> slots(run.window, static_cast<std::size_t>(-1));
        std::atomic<std::size_t> released{0};
        std::atomic<bool> outsideWindow{false};
        std::atomic<bool> badWorker{false};
        OrderedPipeline pipeline(run.count, run.window, run.chunk, [&](std::size_t item, std::size_t worker) {
            if (item >= released.load() + run.window) outsideWindow = true;
            if (worker > run.threads) badWorker = true;
            ++computed[item];
            slots[item % run.window] = item;
        });
        EXPECT_EQ(pipeline.Start(run.threads), run.threads);
        for (std::size_t item = 0; item < run.count; ++item) {
            pipeline.Wait(item);
            ASSERT_EQ(slots[item % run.window], item);
            released = item + 1;
            pipeline.Release(item);
        }
        pipeline.Stop();
        for (std::size_t item = 0; item < run.count; ++item) EXPECT_EQ(computed[item].load(), 1) << item;
        EXPECT_FALSE(outsideWindow.load());
        EXPECT_FALSE(badWorker.load());
    }
}

// The consumer computes what it would otherwise wait for: with no worker it
// computes every item itself, on its own worker index.
TEST(ordered_pipeline_test, a_consumer_without_workers_computes_every_item_itself) {
    const auto self = std::this_thread::get_id();
    std::vector<std::size_t> order;
    bool elsewhere = false;
    OrderedPipeline pipeline(50, 8, 3, [&](std::size_t item, std::size_t worker) {
        elsewhere = elsewhere || std::this_thread::get_id() != self || worker != 0;
        order.push_back(item);
    });
    EXPECT_EQ(pipeline.Start(0), 0u);
    for (std::size_t item = 0; item < 50; ++item) {
        pipeline.Wait(item);
        pipeline.Release(item);
    }
    EXPECT_FALSE(elsewhere);
    ASSERT_EQ(order.size(), 50u);
    for (std::size_t item = 0; item < 50; ++item) EXPECT_EQ(order[item], item);
}

// Stop ends slow items early (they see Stopping) and hands out no more.
TEST(ordered_pipeline_test, stop_lets_running_items_end_and_starts_no_more) {
    std::atomic<std::size_t> started{0};
    OrderedPipeline* self = nullptr;
    OrderedPipeline pipeline(10000, 32, 1, [&](std::size_t, std::size_t) {
        ++started;
        while (!self->Stopping()) std::this_thread::sleep_for(std::chrono::microseconds(50));
    });
    self = &pipeline;
    ASSERT_EQ(pipeline.Start(3), 3u);
    while (started.load() < 3) std::this_thread::sleep_for(std::chrono::microseconds(50));
    pipeline.Stop();
    EXPECT_TRUE(pipeline.Stopping());
    EXPECT_EQ(started.load(), 3u);
}

}  // namespace
}  // namespace tavox
