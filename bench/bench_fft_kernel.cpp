#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#if defined(TAVOX_BENCH_FFTW)
#include <fftw3.h>
#endif

#include "engine/Parameters.h"
#include "engine/Shaping.h"
#include "engine/fft/FftPlan.h"
#include "engine/fft/ReferenceKernel.h"

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

std::vector<double> RandomSamples(std::int32_t width) {
    std::mt19937 generator(42);
    std::vector<double> samples(width);
    for (double& x : samples) x = static_cast<double>(static_cast<std::int32_t>(generator() % 65536u) - 32768);
    return samples;
}

// Working arrays on 64-byte boundaries, as FFTW's allocator gives them.
class AlignedArray {
public:
    explicit AlignedArray(std::size_t size) : data_(new (std::align_val_t{64}) double[size]()), size_(size) {}
    ~AlignedArray() { ::operator delete[](data_, std::align_val_t{64}); }
    AlignedArray(const AlignedArray&) = delete;
    AlignedArray& operator=(const AlignedArray&) = delete;
    std::span<double> Span() const { return {data_, size_}; }

private:
    double* data_;
    std::size_t size_;
};

// The fast kernel with the instruction set range(1) (FftIsa) on aligned
// arrays (range(2) == 1) or on std::vector storage (range(2) == 0); its
// input is restored like the reference's (it does not read the imaginary array).
void BM_FftFast(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto isa = static_cast<tavox::FftIsa>(state.range(1));
    if (!tavox::FftIsaSupported(isa)) {
        state.SkipWithError("instruction set not supported here");
        return;
    }
    tavox::Parameters parameters;
    parameters.SetWidth(width);
    tavox::FftPlan plan;
    plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), parameters.WidthExponent());

    const std::vector<double> samples = RandomSamples(width);
    std::vector<double> vectorRe(width);
    std::vector<double> vectorIm(width);
    const AlignedArray alignedRe(width);
    const AlignedArray alignedIm(width);
    const bool aligned = state.range(2) != 0;
    const std::span<double> re = aligned ? alignedRe.Span() : std::span<double>(vectorRe);
    const std::span<double> im = aligned ? alignedIm.Span() : std::span<double>(vectorIm);
    for (auto _ : state) {
        std::copy(samples.begin(), samples.end(), re.begin());
        plan.Transform(re, im, false, isa);
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width);
}

#if defined(TAVOX_BENCH_FFTW)
// FFTW's real-input transform (N/2 + 1 bins) with a measured plan made once.
void BM_FftwR2c(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    double* in = fftw_alloc_real(width);
    fftw_complex* out = fftw_alloc_complex(width / 2 + 1);
    const fftw_plan plan = fftw_plan_dft_r2c_1d(width, in, out, FFTW_MEASURE);
    const std::vector<double> samples = RandomSamples(width);
    for (auto _ : state) {
        std::copy(samples.begin(), samples.end(), in);
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width);
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

// FFTW's complex transform of the same real samples.
void BM_FftwC2c(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    fftw_complex* in = fftw_alloc_complex(width);
    fftw_complex* out = fftw_alloc_complex(width);
    const fftw_plan plan = fftw_plan_dft_1d(width, in, out, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<double> samples = RandomSamples(width);
    for (auto _ : state) {
        for (std::int32_t n = 0; n < width; ++n) {
            in[n][0] = samples[n];
            in[n][1] = 0.0;
        }
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width);
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}
#endif

// Keeps the least CPU time per iteration of every benchmark (over
// --benchmark_repetitions) so that main can print ratios. CPU time, because
// on a shared machine wall time also counts other processes.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            const double time = run.GetAdjustedCPUTime();
            const auto [entry, inserted] = nanoseconds_.emplace(run.run_name.str(), time);
            if (!inserted && time < entry->second) entry->second = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Time of `name` over time of `base`, or a negative value when one is missing.
    double Ratio(const std::string& name, const std::string& base) const {
        const auto a = nanoseconds_.find(name);
        const auto b = nanoseconds_.find(base);
        if (a == nanoseconds_.end() || b == nanoseconds_.end() || b->second <= 0) return -1;
        return a->second / b->second;
    }

private:
    std::map<std::string, double> nanoseconds_;
};

void PrintRatio(const RatioReporter& reporter, const std::string& name, const std::string& base) {
    const double ratio = reporter.Ratio(name, base);
    if (ratio >= 0) std::printf("  %-30s / %-24s %6.2f\n", name.c_str(), base.c_str(), ratio);
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

constexpr std::int64_t Widths[] = {128, 1024, 8192, 65536};
constexpr std::int64_t AllWidths[] = {128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};

void EveryWidth(benchmark::internal::Benchmark* b) {
    for (std::int64_t width : AllWidths) b->Arg(width);
}

BENCHMARK(BM_FftReference)->Arg(128)->Arg(1024)->Arg(8192)->Arg(65536);
BENCHMARK(BM_FftFast)
    ->ArgsProduct({std::vector<std::int64_t>(std::begin(AllWidths), std::end(AllWidths)), {0, 1, 2}, {1}});
BENCHMARK(BM_FftFast)->ArgsProduct({{1024, 65536}, {2}, {0}});
#if defined(TAVOX_BENCH_FFTW)
BENCHMARK(BM_FftwR2c)->Apply(EveryWidth);
BENCHMARK(BM_FftwC2c)->Arg(128)->Arg(1024)->Arg(8192)->Arg(65536);
#endif
BENCHMARK(BM_FlatTopShaping)->Args({65536, 0})->Args({65536, 1});

}  // namespace

// Runs the benchmarks, then prints time ratios of the kernels measured in
// this run: the fast path (best instruction set) against the reference and
// FFTW, then every instruction set against FFTW's real-input transform at
// every width.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto best = std::to_string(static_cast<int>(tavox::BestFftIsa()));
    std::printf("\nRatios of the least CPU time per transform (below 1: the first is faster):\n");
    for (std::int64_t width : Widths) {
        const std::string w = std::to_string(width);
        const std::string fast = "BM_FftFast/" + w + "/" + best + "/1";
        PrintRatio(reporter, fast, "BM_FftReference/" + w);
        PrintRatio(reporter, fast, "BM_FftwR2c/" + w);
        PrintRatio(reporter, fast, "BM_FftwC2c/" + w);
    }
    for (int isa = 0; isa < 3; ++isa) {
        for (std::int64_t width : AllWidths) {
            const std::string w = std::to_string(width);
            PrintRatio(reporter, "BM_FftFast/" + w + "/" + std::to_string(isa) + "/1", "BM_FftwR2c/" + w);
        }
    }
    return 0;
}
