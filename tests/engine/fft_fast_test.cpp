#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/Parameters.h"
#include "engine/Shaping.h"
#include "engine/TransformTables.h"
#include "engine/fft/FftPlan.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {
namespace {

// Largest magnitude a flat-top weighted 16-bit sample reaches.
constexpr double LargeSample = 32767 * 4.636;

std::vector<FftIsa> RunnableIsas() {
    std::vector<FftIsa> isas;
    for (FftIsa isa : {FftIsa::Portable, FftIsa::Avx2, FftIsa::Avx512})
        if (FftIsaSupported(isa)) isas.push_back(isa);
    return isas;
}

const char* Name(FftIsa isa) {
    switch (isa) {
        case FftIsa::Portable:
            return "portable";
        case FftIsa::Avx2:
            return "avx2";
        case FftIsa::Avx512:
            return "avx512";
    }
    return "?";
}

// 16-bit samples with exact zeros, negative zeros, values near the flat-top
// peak and tiny (also subnormal) values mixed in.
std::vector<double> MixedSamples(std::size_t n, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<double> samples(n);
    for (double& x : samples) {
        const std::uint32_t kind = generator() % 16u;
        const double sign = (generator() & 1u) != 0 ? -1.0 : 1.0;
        if (kind == 0) {
            x = 0.0;
        } else if (kind == 1) {
            x = -0.0;
        } else if (kind == 2) {
            x = sign * (LargeSample - static_cast<double>(generator() % 1000u) / 7.0);
        } else if (kind == 3) {
            x = sign * 1e-300 * static_cast<double>(generator() % 100u + 1u);
        } else if (kind == 4) {
            x = sign * std::numeric_limits<double>::denorm_min() * static_cast<double>(generator() % 8u + 1u);
        } else {
            x = static_cast<double>(static_cast<std::int32_t>(generator() % 65536u) - 32768);
        }
    }
    return samples;
}

// Runs the reference on the twiddle table and every runnable fast path of
// `plan` on `samples` and compares the lower halves of both arrays byte for byte.
void ExpectIdenticalLowerHalves(std::span<const double> twiddleRe, std::span<const double> twiddleIm, int stages,
                                const FftPlan& plan, const std::vector<double>& samples, bool conjugate,
                                const std::string& what) {
    const std::size_t n = samples.size();
    std::vector<double> refRe = samples;
    std::vector<double> refIm(n, 0.0);
    ASSERT_TRUE(FftReference(refRe, refIm, twiddleRe, twiddleIm, stages, conjugate));
    for (FftIsa isa : RunnableIsas()) {
        std::vector<double> re = samples;
        std::vector<double> im(n, 0.0);
        ASSERT_TRUE(plan.Transform(re, im, conjugate, isa)) << what << " " << Name(isa);
        const std::size_t bytes = n / 2 * sizeof(double);
        if (std::memcmp(re.data(), refRe.data(), bytes) == 0 && std::memcmp(im.data(), refIm.data(), bytes) == 0)
            continue;
        for (std::size_t k = 0; k < n / 2; ++k) {
            if (std::memcmp(&re[k], &refRe[k], sizeof(double)) != 0 ||
                std::memcmp(&im[k], &refIm[k], sizeof(double)) != 0) {
                ADD_FAILURE() << what << " " << Name(isa) << " conjugate " << conjugate << ": bin " << k << " is ("
                              << re[k] << ", " << im[k] << "), reference (" << refRe[k] << ", " << refIm[k] << ")";
                break;
            }
        }
    }
}

void ExpectIdenticalLowerHalves(const Parameters& parameters, const FftPlan& plan, const std::vector<double>& samples,
                                bool conjugate, const std::string& what) {
    ExpectIdenticalLowerHalves(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), parameters.WidthExponent(),
                               plan, samples, conjugate, what);
}

struct Planned {
    explicit Planned(std::int32_t width) {
        parameters.SetWidth(width);
        EXPECT_TRUE(
            plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), parameters.WidthExponent()));
    }
    Parameters parameters;
    FftPlan plan;
};

TEST(fft_fast_test, every_path_matches_the_reference_bit_for_bit_at_every_width) {
    ASSERT_TRUE(FftIsaSupported(FftIsa::Portable));
    ASSERT_TRUE(FftIsaSupported(BestFftIsa()));
    for (std::int32_t width = 128; width <= 65536; width *= 2) {
        Planned setup(width);
        ASSERT_EQ(setup.plan.Width(), width);
        for (bool conjugate : {false, true}) {
            const auto seed = static_cast<std::uint32_t>(width) + (conjugate ? 1u : 0u);
            ExpectIdenticalLowerHalves(setup.parameters, setup.plan, MixedSamples(width, seed), conjugate,
                                       "mixed width " + std::to_string(width));
        }
    }
}

// Signed zeros survive or vanish depending on the exact butterfly form, so
// inputs made mostly of zeros probe the fixed twiddle indices hardest.
TEST(fft_fast_test, sparse_and_signed_zero_inputs_match_the_reference) {
    for (std::int32_t width : {128, 256, 1024, 8192, 65536}) {
        Planned setup(width);
        std::vector<double> negativeZeros(width, -0.0);
        std::vector<double> impulses(width, 0.0);
        std::mt19937 generator(static_cast<std::uint32_t>(width));
        for (int i = 0; i < 6; ++i) impulses[generator() % width] = (i % 2 == 0 ? -1.0 : 1.0) * LargeSample;
        std::vector<double> alternating(width);
        for (std::int32_t i = 0; i < width; ++i) alternating[i] = (i % 3 == 0) ? -0.0 : (i % 3 == 1 ? 1e-310 : -1.0);
        for (bool conjugate : {false, true}) {
            const std::string w = " width " + std::to_string(width);
            ExpectIdenticalLowerHalves(setup.parameters, setup.plan, negativeZeros, conjugate, "negative zeros" + w);
            ExpectIdenticalLowerHalves(setup.parameters, setup.plan, impulses, conjugate, "impulses" + w);
            ExpectIdenticalLowerHalves(setup.parameters, setup.plan, alternating, conjugate, "alternating" + w);
        }
    }
}

// Calibrated spectra run the kernels on the table of exact cosines: every
// fast path must give the reference's bits on that table too, as it does on
// the recurrence's.
TEST(fft_fast_test, exact_twiddle_tables_match_the_reference_bit_for_bit_at_every_width) {
    for (int exponent = 7; exponent <= 16; ++exponent) {
        const auto tables = TransformTables::Exact(exponent);
        ASSERT_EQ(tables->plan.Stages(), exponent);
        const auto width = static_cast<std::size_t>(tables->Width());
        for (bool conjugate : {false, true}) {
            const auto seed = static_cast<std::uint32_t>(3 * width) + (conjugate ? 1u : 0u);
            ExpectIdenticalLowerHalves(tables->twiddleReal, tables->twiddleImag, exponent, tables->plan,
                                       MixedSamples(width, seed), conjugate,
                                       "exact table width " + std::to_string(width));
        }
    }
}

TEST(fft_fast_test, shaped_exposures_match_the_reference_for_each_window_and_centring) {
    for (std::int32_t width = 128; width <= 65536; width *= 2) {
        Planned setup(width);
        for (fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            setup.parameters.SetWindow(window);
            for (bool center : {false, true}) {
                std::vector<double> samples = MixedSamples(width, 99u + static_cast<std::uint32_t>(window));
                // Centring needs finite samples of the 16-bit range to mean anything.
                for (double& x : samples) x = std::round(x / 4.636);
                ASSERT_TRUE(ShapeExposure(samples, center, setup.parameters.WindowWeights()));
                const std::string what =
                    "width " + std::to_string(width) + " window " + std::to_string(window) + (center ? " centred" : "");
                ExpectIdenticalLowerHalves(setup.parameters, setup.plan, samples, center, what);
            }
        }
    }
}

TEST(fft_fast_test, a_plan_is_reused_without_change) {
    Planned setup(4096);
    const std::vector<double> samples = MixedSamples(4096, 5u);
    std::vector<double> firstRe = samples;
    std::vector<double> firstIm(4096, 0.0);
    ASSERT_TRUE(setup.plan.Transform(firstRe, firstIm, false));
    for (int round = 0; round < 3; ++round) {
        std::vector<double> re = samples;
        std::vector<double> im(4096, 1.0);  // Not read: the fast path takes zeros.
        ASSERT_TRUE(setup.plan.Transform(re, im, false));
        EXPECT_EQ(std::memcmp(re.data(), firstRe.data(), 2048 * sizeof(double)), 0) << round;
        EXPECT_EQ(std::memcmp(im.data(), firstIm.data(), 2048 * sizeof(double)), 0) << round;
    }
}

TEST(fft_fast_test, mismatched_sizes_are_refused_and_touch_nothing) {
    FftPlan unbuilt;
    std::vector<double> re(128, 3.0);
    std::vector<double> im(128, 0.0);
    EXPECT_EQ(unbuilt.Width(), 0);
    EXPECT_FALSE(unbuilt.Transform(re, im, false));

    Parameters parameters;
    parameters.SetWidth(256);
    FftPlan plan;
    ASSERT_TRUE(plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), 8));
    EXPECT_FALSE(plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), 9));  // table too short
    EXPECT_FALSE(plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), 6));
    EXPECT_FALSE(plan.Build(parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), 17));
    EXPECT_EQ(plan.Width(), 256);

    EXPECT_FALSE(plan.Transform(re, im, false));
    std::vector<double> shortIm(255, 0.0);
    std::vector<double> re256(256, 3.0);
    EXPECT_FALSE(plan.Transform(re256, shortIm, true));
    EXPECT_EQ(re, std::vector<double>(128, 3.0));
    EXPECT_EQ(re256, std::vector<double>(256, 3.0));
    EXPECT_EQ(shortIm, std::vector<double>(255, 0.0));
}

}  // namespace
}  // namespace tavox
