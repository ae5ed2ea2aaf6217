#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/AverageCombiners.h"
#include "data/ExposureRows.h"
#include "data/ResultStore.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using Rows = std::vector<std::vector<double>>;

Rows RandomRows(std::size_t count, std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> magnitude(0.0, 30000.0);
    Rows rows(count, std::vector<double>(length));
    for (auto& row : rows) {
        for (double& x : row) x = magnitude(random);
    }
    return rows;
}

// The store's result for `rows` combined by `mode` as the average method does.
std::vector<double> Combine(ResultStore& store, AverageMode mode, const Rows& rows) {
    store.Reset();
    store.SetAverage(mode);
    EXPECT_TRUE(store.Hold(rows.front()));
    for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_TRUE(store.AddHeld(rows[r]));
    EXPECT_TRUE(store.AverageHeld());
    EXPECT_EQ(store.Sums(), 1);
    const auto held = store.Held();
    return {held.begin(), held.end()};
}

// numpy's median: the middle value, or the mean of the two middle ones.
double SortedMedian(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<double> Column(const Rows& rows, std::size_t k) {
    std::vector<double> column;
    for (const auto& row : rows) column.push_back(row[k]);
    return column;
}

TEST(result_store_test, each_mode_matches_its_definition_bin_by_bin) {
    for (const std::size_t count : {1u, 2u, 5u, 8u}) {
        const Rows rows = RandomRows(count, 64, static_cast<unsigned>(count));
        ResultStore store;
        const auto mean = Combine(store, AverageMode::Mean, rows);
        const auto rms = Combine(store, AverageMode::Rms, rows);
        const auto max = Combine(store, AverageMode::Max, rows);
        const auto median = Combine(store, AverageMode::Median, rows);
        const auto min = Combine(store, AverageMode::Min, rows);
        for (std::size_t k = 0; k < 64; ++k) {
            // The mean sums in exposure order and divides once: the same bits as before modes existed.
            double sum = 0, squares = 0;
            for (const auto& row : rows) sum += row[k];
            EXPECT_EQ(mean[k], sum / static_cast<double>(count)) << k;
            squares = rows[0][k] * rows[0][k];
            for (std::size_t r = 1; r < count; ++r) squares += rows[r][k] * rows[r][k];
            EXPECT_EQ(rms[k], std::sqrt(squares / static_cast<double>(count))) << k;
            const auto column = Column(rows, k);
            EXPECT_EQ(max[k], *std::max_element(column.begin(), column.end())) << k;
            EXPECT_EQ(min[k], *std::min_element(column.begin(), column.end())) << k;
            EXPECT_EQ(median[k], SortedMedian(column)) << count << " rows, bin " << k;
        }
    }
}

TEST(result_store_test, a_nan_in_a_bin_makes_max_min_and_median_nan_there_only) {
    Rows rows = RandomRows(4, 8, 5);
    rows[2][3] = NAN;
    rows[0][5] = NAN;
    ResultStore store;
    for (const AverageMode mode : {AverageMode::Max, AverageMode::Min, AverageMode::Median}) {
        const auto combined = Combine(store, mode, rows);
        for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(std::isnan(combined[k]), k == 3 || k == 5) << k;
    }
}

// Whatever a mode keeps while the spectra come, its result is its column
// form of each bin's values, bit for bit, NaNs included.
TEST(result_store_test, every_combiner_gives_its_column_form_of_each_bin) {
    Rows rows = RandomRows(7, 16, 3);
    rows[4][2] = NAN;
    rows[0][9] = NAN;
    for (const AverageCombiner& combiner : AverageCombiners()) {
        for (const std::size_t count : {2u, 3u, 7u}) {
            const Rows some(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(count));
            ResultStore store;
            const auto combined = Combine(store, combiner.mode, some);
            for (std::size_t k = 0; k < 16; ++k) {
                std::vector<double> column = Column(some, k);
                const double expected = combiner.column(column);
                EXPECT_TRUE(std::memcmp(&combined[k], &expected, sizeof expected) == 0 ||
                            (std::isnan(combined[k]) && std::isnan(expected)))
                    << AverageName(combiner.mode) << ", " << count << " rows, bin " << k;
            }
        }
    }
}

// The stage runs once on a combined block, told how many spectra it holds,
// and names the rows of what is held.
TEST(result_store_test, the_output_stage_finishes_a_combined_block_and_names_its_rows) {
    static std::vector<std::pair<std::size_t, std::int32_t>> calls;
    calls.clear();
    Measures measures;
    OutputStage stage({"power", "phase_deg"}, SpectrumContext{}, &measures);
    const OutputStage::Step square = [](std::size_t row, std::span<double> values, std::int32_t exposures,
                                        const SpectrumContext&, Measures& found) noexcept {
        calls.emplace_back(row, exposures);
        for (double& x : values) x *= x;
        found.Set("largest", *std::max_element(values.begin(), values.end()));
    };
    ASSERT_TRUE(stage.Add(square, true));
    EXPECT_TRUE(stage.Measuring());
    ResultStore store;
    store.SetStage(stage);
    const Rows rows = {{1, 2}, {3, 4}, {5, 6}};
    EXPECT_EQ(Combine(store, AverageMode::Mean, rows), (std::vector<double>{9, 16}));
    EXPECT_EQ(calls, (std::vector<std::pair<std::size_t, std::int32_t>>{{0, 3}}));
    ASSERT_EQ(measures.count, 1u);
    EXPECT_EQ(measures.values[0], (std::pair<std::string_view, double>{"largest", 16}));
    EXPECT_EQ(store.Shape().names[0], "power");
    // A block of one spectrum is finished too (Welch's placement may fit one).
    EXPECT_EQ(Combine(store, AverageMode::Median, {{3, 5}}), (std::vector<double>{9, 25}));
    EXPECT_EQ(calls.back(), (std::pair<std::size_t, std::int32_t>{0, 1}));

    store.Reset();
    ASSERT_TRUE(store.Hold(rows[0]));
    ASSERT_TRUE(store.Hold(rows[1]));
    const SpectrumShape shape = store.Shape();
    EXPECT_EQ(shape.bins, 2u);
    EXPECT_EQ(shape.rows, 2u);
    EXPECT_EQ(shape.width, 4u);
    EXPECT_EQ(shape.names, stage.Names());
}

TEST(result_store_test, the_mode_holds_from_the_next_block_and_a_new_block_starts_afresh) {
    const Rows first = RandomRows(3, 8, 7);
    const Rows second = RandomRows(3, 8, 8);
    ResultStore store;
    store.SetAverage(AverageMode::Median);
    ASSERT_TRUE(store.Hold(first[0]));
    store.SetAverage(AverageMode::Max);  // the block under way stays a median
    ASSERT_TRUE(store.AddHeld(first[1]));
    ASSERT_TRUE(store.AddHeld(first[2]));
    ASSERT_TRUE(store.AverageHeld());
    ASSERT_TRUE(store.Hold(second[0]));  // the next block takes the maximum, with none of the first's rows
    ASSERT_TRUE(store.AddHeld(second[1]));
    ASSERT_TRUE(store.AddHeld(second[2]));
    ASSERT_TRUE(store.AverageHeld());
    const auto held = store.Held();
    ASSERT_EQ(held.size(), 16u);
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(held[k], SortedMedian(Column(first, k)));
        const auto column = Column(second, k);
        EXPECT_EQ(held[8 + k], *std::max_element(column.begin(), column.end()));
    }
}

// 999 exposures of 32768 bins would take 256 MB: past the limit the rows go
// to a temporary file and come back in blocks of bins, with the same result.
TEST(result_store_test, median_spills_past_its_memory_limit_with_the_same_result) {
    const Rows rows = RandomRows(9, 1000, 11);
    ResultStore inMemory;
    ResultStore spilled(3 * 1000 * sizeof(double) + 1);  // three rows fit
    EXPECT_EQ(Combine(spilled, AverageMode::Median, rows), Combine(inMemory, AverageMode::Median, rows));

    ExposureRows small(2000);  // less than one row: every row on file, one bin per block of two
    ExposureRows large;
    for (const auto& row : rows) {
        ASSERT_TRUE(small.Add(row));
        ASSERT_TRUE(large.Add(row));
    }
    EXPECT_TRUE(small.Spilled());
    EXPECT_FALSE(large.Spilled());
    std::vector<double> a(1000), b(1000);
    ASSERT_TRUE(small.Combine(a, CombinerOf(AverageMode::Median).column));
    ASSERT_TRUE(large.Combine(b, CombinerOf(AverageMode::Median).column));
    EXPECT_EQ(a, b);
    for (std::size_t k = 0; k < 1000; k += 97) EXPECT_EQ(a[k], SortedMedian(Column(rows, k))) << k;
}

// Without a usable temporary folder the median reports that it cannot keep
// the spectra, and stays failed until the block is over.
TEST(result_store_test, median_that_cannot_spill_fails_and_recovers_with_the_next_block) {
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    test::TempDir dir;
    ::setenv("TMPDIR", dir.File("missing").c_str(), 1);
    const Rows rows = RandomRows(4, 100, 13);
    ResultStore store(250 * sizeof(double));
    store.SetAverage(AverageMode::Median);
    ASSERT_TRUE(store.Hold(rows[0]));
    EXPECT_TRUE(store.AddHeld(rows[1]));  // two rows in memory
    EXPECT_FALSE(store.AddHeld(rows[2]));
    EXPECT_FALSE(store.AddHeld(rows[3]));
    EXPECT_FALSE(store.AverageHeld());
    if (saved != nullptr) {
        ::setenv("TMPDIR", previous.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    store.Reset();
    EXPECT_EQ(Combine(store, AverageMode::Median, rows).front(), SortedMedian(Column(rows, 0)));
}

}  // namespace
}  // namespace tavox
