#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/FftKernel.h"
#include "engine/Parameters.h"
#include "engine/Shaping.h"

namespace {

// One transform per iteration on fresh 16-bit random samples. Restoring the
// input (two linear passes) is timed with it: pausing the timer costs more
// than the copy at small widths.
void BM_FftReference(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    tavox::Parameters parameters;
    parameters.SetWidth(width);

    std::mt19937 generator(42);
    std::vector<double> samples(width);
    for (double& x : samples) x = static_cast<double>(static_cast<std::int32_t>(generator() % 65536u) - 32768);
    std::vector<double> re(width);
    std::vector<double> im(width);

    for (auto _ : state) {
        std::copy(samples.begin(), samples.end(), re.begin());
        std::fill(im.begin(), im.end(), 0.0);
        tavox::FftReference(re, im, parameters.TwiddleRealTable(), parameters.TwiddleImagTable(),
                            parameters.WidthExponent(), false);
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width);
}

// Flat-top weighting of one exposure: cosines per sample (range(1) == 0)
// against the weights Parameters keeps (range(1) == 1).
void BM_FlatTopShaping(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const bool tabled = state.range(1) != 0;
    tavox::Parameters parameters;
    parameters.SetWidth(width);
    parameters.SetWindow(tavox::fftWindowFlatTop);
    std::vector<double> re(width, 1.0);

    for (auto _ : state) {
        std::fill(re.begin(), re.end(), 1.0);
        if (tabled) {
            tavox::ShapeExposure(re, false, parameters.WindowWeights());
        } else {
            tavox::ShapeExposure(re, false, tavox::fftWindowFlatTop);
        }
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width);
}

}  // namespace

BENCHMARK(BM_FftReference)->Arg(128)->Arg(1024)->Arg(8192)->Arg(65536);
BENCHMARK(BM_FlatTopShaping)->Args({65536, 0})->Args({65536, 1});

BENCHMARK_MAIN();
