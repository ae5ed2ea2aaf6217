#include "engine/Shaping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <vector>

#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {
namespace {

// Runs the per-exposure pipeline: shape, transform, polar form.
void Pipeline(const Parameters& p, std::vector<double>& re, std::vector<double>& im, bool conjugateOutput) {
    ASSERT_TRUE(ShapeExposure(re, p.Center(), p.WindowWeights()));
    ASSERT_TRUE(FftReference(re, im, p.TwiddleRealTable(), p.TwiddleImagTable(), p.WidthExponent(), conjugateOutput));
    ToPolar(re, im, p.Phase());
}

std::vector<double> Tone(std::size_t n, double amplitude, int bin, double phase) {
    std::vector<double> samples(n);
    for (std::size_t i = 0; i < n; ++i)
        samples[i] = amplitude * std::cos(2 * std::numbers::pi * bin * static_cast<double>(i) / n + phase);
    return samples;
}

TEST(shaping_test, centring_removes_the_mean) {
    std::vector<double> constant(256, -1234.0);
    ShapeExposure(constant, true, fftWindowRectangle);
    for (double x : constant) ASSERT_EQ(x, 0.0);

    std::vector<double> ramp(128);
    std::iota(ramp.begin(), ramp.end(), 10.0);  // mean 73.5
    ShapeExposure(ramp, true, fftWindowRectangle);
    EXPECT_EQ(ramp[0], 10.0 - 73.5);
    EXPECT_EQ(ramp[127], 137.0 - 73.5);

    std::vector<double> untouched(128, 5.0);
    ShapeExposure(untouched, false, fftWindowRectangle);
    ShapeExposure(untouched, false, static_cast<fftWindowEnum>(7));
    for (double x : untouched) ASSERT_EQ(x, 5.0);
}

TEST(shaping_test, windows_are_periodic_with_mean_one) {
    const std::size_t n = 1024;
    std::vector<double> hanning(n, 1.0);
    std::vector<double> flatTop(n, 1.0);
    ShapeExposure(hanning, false, fftWindowHanning);
    ShapeExposure(flatTop, false, fftWindowFlatTop);

    EXPECT_EQ(hanning[0], 0.0);
    EXPECT_EQ(hanning[n / 2], 2.0);
    EXPECT_NEAR(hanning[n / 4], 1.0, 1e-12);
    EXPECT_NEAR(hanning[1], hanning[n - 1], 1e-12);  // divisor N, not N - 1
    EXPECT_NEAR(flatTop[0], 0.0, 1e-15);
    EXPECT_NEAR(flatTop[n / 2], 4.636, 1e-12);
    EXPECT_NEAR(flatTop[1], flatTop[n - 1], 1e-12);

    EXPECT_NEAR(std::accumulate(hanning.begin(), hanning.end(), 0.0) / n, 1.0, 1e-12);
    EXPECT_NEAR(std::accumulate(flatTop.begin(), flatTop.end(), 0.0) / n, 1.0, 1e-12);

    std::vector<double> doubled(n, 3.0);
    ShapeExposure(doubled, false, fftWindowHanning);
    EXPECT_EQ(doubled[n / 2], 6.0);
}

TEST(shaping_test, precomputed_weights_give_identical_samples) {
    for (std::int32_t width : {128, 4096, 65536}) {
        for (fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            Parameters p;
            p.SetWindow(window);
            p.SetWidth(width);
            ASSERT_EQ(p.WindowWeights().size(), window == fftWindowRectangle ? 0u : static_cast<std::size_t>(width));
            for (bool center : {false, true}) {
                std::vector<double> direct(width);
                for (std::int32_t i = 0; i < width; ++i) direct[i] = static_cast<double>((i * 7919) % 65536 - 32768);
                std::vector<double> tabled = direct;
                ShapeExposure(direct, center, window);
                ASSERT_TRUE(ShapeExposure(tabled, center, p.WindowWeights()));
                ASSERT_EQ(tabled, direct) << width << " window " << window << " center " << center;
            }
        }
    }
}

TEST(shaping_test, weights_of_another_width_are_refused) {
    Parameters p;
    p.SetWindow(fftWindowHanning);
    std::vector<double> samples(256, 3.0);
    EXPECT_FALSE(ShapeExposure(samples, true, p.WindowWeights()));
    for (double x : samples) ASSERT_EQ(x, 3.0);

    p.SetWindow(7);
    EXPECT_TRUE(p.WindowWeights().empty());
    EXPECT_TRUE(ShapeExposure(samples, false, p.WindowWeights()));
    for (double x : samples) ASSERT_EQ(x, 3.0);
}

TEST(shaping_test, tone_on_a_bin_reads_its_amplitude_with_every_window) {
    for (fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
        Parameters p;
        p.SetWindow(window);
        std::vector<double> re = Tone(128, 1000.0, 8, 0.0);
        std::vector<double> im(128, 0.0);
        Pipeline(p, re, im, false);
        EXPECT_NEAR(re[8], 1000.0, 1e-9) << window;
        if (window == fftWindowHanning) {
            EXPECT_NEAR(re[7], 500.0, 1e-9);
            EXPECT_NEAR(re[9], 500.0, 1e-9);
            EXPECT_NEAR(re[6], 0.0, 1e-9);
        }
        if (window == fftWindowRectangle) {
            EXPECT_NEAR(re[7], 0.0, 1e-9);
        }
        if (window == fftWindowFlatTop) {
            EXPECT_NEAR(re[7], 965.0, 1e-9);
        }
    }
}

TEST(shaping_test, conjugated_spectrum_gives_the_negated_phase) {
    Parameters p;
    p.SetWidth(256);
    p.SetPhase(true);
    const struct {
        double phase, degrees;
    } cases[] = {{0.0, 0.0}, {-std::numbers::pi / 2, 90.0}, {std::numbers::pi / 4, -45.0}, {2.0, -114.59155902616465}};
    for (const auto& c : cases) {
        std::vector<double> re = Tone(256, 300.0, 5, c.phase);
        std::vector<double> im(256, 0.0);
        Pipeline(p, re, im, true);
        EXPECT_NEAR(re[5], 300.0, 1e-9);
        EXPECT_NEAR(im[5], c.degrees, 1e-9) << c.phase;
    }
}

TEST(shaping_test, centred_constant_has_an_empty_spectrum_with_phase_ninety) {
    Parameters p;
    p.SetCenter(true);
    p.SetPhase(true);
    std::vector<double> re(128, 777.0);
    std::vector<double> im(128, 0.0);
    Pipeline(p, re, im, true);
    for (std::size_t k = 0; k < 64; ++k) {
        ASSERT_EQ(re[k], 0.0) << k;
        ASSERT_EQ(im[k], 90.0) << k;
    }
}

}  // namespace
}  // namespace tavox
