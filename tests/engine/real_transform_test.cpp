#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "common/OutputOptions.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"
#include "engine/fft/RealTransform.h"

namespace tavox {
namespace {

std::vector<std::int16_t> TonesAndNoise(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 400);
    std::vector<std::int16_t> samples(length);
    for (std::size_t j = 0; j < length; ++j) {
        const auto t = static_cast<double>(j);
        const double x = 12000 * std::sin(0.1234567 * t) + 9000 * std::sin(1.7654321 * t + 1) + noise(random);
        samples[j] = static_cast<std::int16_t>(std::clamp(std::nearbyint(x), -32768.0, 32767.0));
    }
    return samples;
}

// One plan per width; the conjugated transform negates the imaginary parts
// only; spans of another size and widths outside 128..65536 are refused.
// (Its bins against numpy.fft.rfft: tests/python/test_fft.py.)
TEST(real_transform_test, conjugates_and_refuses_what_does_not_fit) {
    const auto transform = RealTransform::For(4096);
    ASSERT_NE(transform, nullptr);
    EXPECT_EQ(transform, RealTransform::For(4096));
    const auto noisy = TonesAndNoise(4096, 5);
    std::vector<double> re(noisy.begin(), noisy.end());
    std::vector<double> reConj = re;
    std::vector<double> im(4096);
    std::vector<double> imConj(4096);
    ASSERT_TRUE(transform->Transform(re, im, false));
    ASSERT_TRUE(transform->Transform(reConj, imConj, true));
    for (std::size_t k = 0; k < 2048; ++k) {
        ASSERT_EQ(reConj[k], re[k]) << k;
        ASSERT_EQ(imConj[k], -im[k]) << k;
    }
    EXPECT_FALSE(transform->Transform(std::span<double>(re).first(2048), im, false));
    EXPECT_EQ(RealTransform::For(100), nullptr);
    EXPECT_EQ(RealTransform::For(131072), nullptr);
}

struct Case {
    std::int32_t width;
    fftWindowEnum window;
    fftMethodEnum method;
    AverageMode average;
    bool phase;
    bool power;  // power scale: exact twiddles in both paths
};

OutputOptions WithFft(const Case& c, FftMode fft) {
    OutputOptions options;
    options.average = c.average;
    if (c.power) options.spectrum.scale = SpectrumScale::Power;
    options.spectrum.fft = fft;
    return options;
}

// Raw outputs of the fast transform lie within one count of the exact
// kernel's, on any thread count. Unrounded values lie within 2e-8 of the
// largest bin (the exact kernel's twiddle recurrence errs by up to 1.4e-8
// of it), and within 1e-11 where both use exact twiddles (power scale).
TEST(real_transform_test, fast_outputs_are_within_one_count_of_exact) {
    const auto samples = TonesAndNoise(70000, 9);
    const std::span<const std::int16_t> view(samples);
    const std::vector<double> cells(samples.begin(), samples.end());
    for (const Case c : {Case{128, fftWindowRectangle, fftMethodSimple, AverageMode::Mean, false, false},
                         Case{256, fftWindowHanning, fftMethodSimple, AverageMode::Mean, true, false},
                         Case{1024, fftWindowFlatTop, fftMethodAverage, AverageMode::Mean, false, true},
                         Case{4096, fftWindowHanning, fftMethodAverage, AverageMode::Max, false, false},
                         Case{2048, fftWindowRectangle, fftMethodAverage, AverageMode::Median, false, true},
                         Case{512, fftWindowHanning, fftMethodMulti, AverageMode::Mean, false, false},
                         Case{65536, fftWindowHanning, fftMethodSimple, AverageMode::Mean, false, false}}) {
        auto p = std::make_shared<Parameters>();
        p->SetWidth(c.width);
        p->SetWindow(c.window);
        p->SetMethod(c.method);
        p->SetRepeat(c.method == fftMethodSimple ? 1 : 5);
        p->SetPhase(c.phase);
        if (!c.power) {
            const auto exact = TransformSamples(p, WithFft(c, FftMode::Exact), view, SpectrumTarget::DiskRaw);
            const auto fast = TransformSamples(p, WithFft(c, FftMode::Fast), view, SpectrumTarget::DiskRaw);
            const auto threaded = TransformSamples(p, WithFft(c, FftMode::Fast), view, SpectrumTarget::DiskRaw, 3);
            ASSERT_EQ(exact.result, fftResultAllRight);
            ASSERT_EQ(fast.result, fftResultAllRight);
            ASSERT_EQ(fast.samples.size(), exact.samples.size());
            EXPECT_EQ(threaded.samples, fast.samples) << c.width;
            for (std::size_t i = 0; i < exact.samples.size(); ++i) {
                ASSERT_LE(std::abs(fast.samples[i] - exact.samples[i]), 1) << c.width << " " << c.method << " " << i;
            }
        }
        const auto exactValues =
            TransformSamples(p, WithFft(c, FftMode::Exact), std::span<const double>(cells), SpectrumTarget::Sheet);
        const auto fastValues =
            TransformSamples(p, WithFft(c, FftMode::Fast), std::span<const double>(cells), SpectrumTarget::Sheet);
        ASSERT_EQ(fastValues.values.size(), exactValues.values.size());
        double peak = 0;
        for (const double x : exactValues.values) peak = std::max(peak, std::fabs(x));
        for (std::size_t i = 0; i < exactValues.values.size(); ++i) {
            if (c.phase && i >= exactValues.bins) break;  // phases of near-empty bins are not compared
            ASSERT_NEAR(fastValues.values[i], exactValues.values[i], (c.power ? 1e-11 : 2e-8) * peak)
                << c.width << " " << i;
        }
    }
}

}  // namespace
}  // namespace tavox
