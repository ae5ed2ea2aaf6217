#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "engine/MeasureStep.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"
#include "engine/SpectrumMeasurement.h"

namespace tavox {
namespace {

constexpr double Pi = std::numbers::pi;

struct Measured {
    SpectrumMeasurement found;
    Measures measures;  // through the spectrum stage, on the amplitude scale in dBFS
};

// The engine's power spectrum of `samples` (one exposure of their length),
// measured, and the measures its own stage finds on the amplitude scale in dBFS.
Measured Measure(const std::vector<double>& samples, fftWindowEnum window, double rate, MeasureOptions options = {}) {
    auto p = std::make_shared<Parameters>();
    p->SetWidth(static_cast<std::int32_t>(samples.size()));
    p->SetWindow(window);
    OutputOptions output;
    output.rate = rate;
    output.spectrum.scale = SpectrumScale::Power;
    const SampleSpectrum power = TransformSamples(p, output, std::span<const double>(samples), SpectrumTarget::Sheet);
    MeasureSetup setup{window, samples.size(), samples.size(), p->WindowSum(), p->WindowSquares(), rate, options};
    std::vector<double> scratch(power.values.size());
    Measured run{MeasureSpectrum(power.values, setup, scratch), {}};
    output.spectrum = {};
    output.spectrum.unit = SpectrumUnit::Dbfs;
    output.measure = options;
    run.measures = TransformSamples(p, output, std::span<const double>(samples), SpectrumTarget::Sheet).measures;
    return run;
}

double Db(double ratio) {
    return 10 * std::log10(ratio);
}

// A full-scale 16-bit sine: only the rounding's noise, 1/12 count^2, so
// SINAD = 10 log10(6 * 32767^2) = 98.09 dB and ENOB 16.00 bits.
TEST(spectrum_measurement_test, a_rounded_full_scale_sine_reads_the_ideal_16_bit_sinad_and_enob) {
    std::vector<double> x(65536);
    for (std::size_t j = 0; j < x.size(); ++j)
        x[j] = std::round(32767 * std::sin(2 * Pi * 1001 * j / 65536.0 + 0.1234));
    const Measured hann = Measure(x, fftWindowHanning, 1.0);
    ASSERT_TRUE(hann.found.problem.empty()) << hann.found.problem;
    EXPECT_NEAR(hann.found.SinadDb(), 98.07, 0.05);
    EXPECT_NEAR(hann.found.EnobBits(), 16.00, 0.01);
    EXPECT_GT(hann.found.SfdrDbc(), 120.0);
    for (const fftWindowEnum window : {fftWindowRectangle, fftWindowFlatTop}) {
        const Measured other = Measure(x, window, 1.0);
        EXPECT_NEAR(other.found.SinadDb(), hann.found.SinadDb(), 0.1) << window;
        EXPECT_NEAR(other.found.EnobBits(), hann.found.EnobBits(), 0.1 / 6.02) << window;
    }
    // Through the stage: a full-scale sine is 0 dBFS.
    EXPECT_NEAR(*hann.measures.Get("fundamental_level"), 0.0, 1e-3);
    EXPECT_NEAR(*hann.measures.Get("sinad_db"), hann.found.SinadDb(), 1e-9);
    EXPECT_NEAR(*hann.measures.Get("fundamental_hz"), 1001 / 65536.0, 1e-9);
}

// 1 kHz between bins at 48 kHz, its second harmonic at 0.4 of it and white
// noise of 0.1 of it: SNR 10 log10(0.5 / 0.01), THD 20 log10(0.4),
// SINAD 10 log10(0.5 / (0.08 + 0.01)).
TEST(spectrum_measurement_test, tone_harmonic_and_noise_read_their_known_ratios) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.1 * 16384);
    std::vector<double> x(65536);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double t = static_cast<double>(j) / 48000;
        x[j] = 16384 * (std::sin(2 * Pi * 1000 * t) + 0.4 * std::sin(2 * Pi * 2000 * t + 0.5)) + noise(random);
    }
    for (const fftWindowEnum window : {fftWindowHanning, fftWindowFlatTop}) {
        const Measured run = Measure(x, window, 48000);
        ASSERT_TRUE(run.found.problem.empty()) << run.found.problem;
        EXPECT_NEAR(run.found.SnrDb(), 16.99, 0.1) << window;
        EXPECT_NEAR(run.found.ThdDb(), -7.96, 0.1) << window;
        EXPECT_NEAR(run.found.HarmonicDbc(2), -7.96, 0.1) << window;
        EXPECT_NEAR(run.found.SinadDb(), 7.45, 0.1) << window;
        EXPECT_NEAR(run.found.ThdPercent(), 40.0, 0.5) << window;
        // The flat top reads the frequency of its strongest bin, 1365 * 48000 / 65536.
        EXPECT_NEAR(run.found.fundamentalHz, window == fftWindowHanning ? 1000.0 : 999.756, 0.01) << window;
        EXPECT_NEAR(*run.measures.Get("h2_dbc"), run.found.HarmonicDbc(2), 1e-9);
    }
}

// A tone of amplitude 1000 anywhere between bins 1000 and 1001, no noise:
// its frequency within 0.001 bin (Hann, rectangle) and its lobe power
// within 0.01 dB of 1000^2 / 2 for every window.
TEST(spectrum_measurement_test, a_tone_between_bins_reads_its_frequency_and_power) {
    const std::size_t n = 8192;
    for (const double offset : {0.0, 0.1, 0.25, 0.37, 0.5, 0.63, 0.81, 0.97}) {
        std::vector<double> x(n);
        const double bin = 1000 + offset;
        for (std::size_t j = 0; j < n; ++j) x[j] = 1000 * std::cos(2 * Pi * bin * j / n + 0.7);
        for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            const Measured run = Measure(x, window, static_cast<double>(n), {{}, 1, {}, {}});
            if (window != fftWindowFlatTop) {
                EXPECT_NEAR(run.found.fundamentalHz, bin, 0.001) << window << " " << offset;
                EXPECT_NEAR(Db(run.found.peakPower / 5e5), 0.0, 0.01) << window << " " << offset;
            } else {
                EXPECT_NEAR(Db(run.found.peakPower / 5e5), 0.0, 0.02) << "flat top read off the bin " << offset;
            }
            EXPECT_NEAR(Db(run.found.fundamentalPower / 5e5), 0.0, 0.01) << window << " " << offset;
        }
    }
}

// The third harmonic of 15 kHz at 48 kHz lies at 45 kHz and is sampled as
// 3 kHz; the second at 18 kHz. Each reads its level there.
TEST(spectrum_measurement_test, harmonics_past_nyquist_are_found_where_they_fold) {
    EXPECT_DOUBLE_EQ(FoldedHarmonic(15000, 2, 48000), 18000);
    EXPECT_DOUBLE_EQ(FoldedHarmonic(15000, 3, 48000), 3000);
    EXPECT_DOUBLE_EQ(FoldedHarmonic(15000, 4, 48000), 12000);
    EXPECT_DOUBLE_EQ(FoldedHarmonic(1000, 24, 48000), 24000);
    std::vector<double> x(16384);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double t = static_cast<double>(j) / 48000;
        x[j] = 10000 * std::sin(2 * Pi * 15000 * t) + 100 * std::sin(2 * Pi * 18000 * t) +
               10 * std::sin(2 * Pi * 45000 * t) + 0.01 * std::sin(2 * Pi * 77.7 * j);
    }
    const Measured run = Measure(x, fftWindowHanning, 48000, {{}, 3, {}, {}});
    ASSERT_TRUE(run.found.problem.empty()) << run.found.problem;
    EXPECT_NEAR(run.found.HarmonicDbc(2), -40.0, 0.01);
    EXPECT_NEAR(run.found.HarmonicDbc(3), -60.0, 0.01);
    EXPECT_NEAR(run.found.ThdDb(), Db(1e-4 + 1e-6), 0.01);
}

// --fundamental picks a weaker tone; a band leaves out the noise and the
// harmonics outside it. At 16384 Hz every tone but 0.3 sin(j) (2607.6 Hz,
// the noise, 10 log10(1000^2 / 0.3^2) below the fundamental) is on a bin.
TEST(spectrum_measurement_test, a_given_fundamental_and_band_are_honoured) {
    std::vector<double> x(16384);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double t = static_cast<double>(j) / 16384;
        x[j] = 10000 * std::sin(2 * Pi * 50 * t) + 1000 * std::sin(2 * Pi * 1000 * t) +
               100 * std::sin(2 * Pi * 2000 * t) + 10 * std::sin(2 * Pi * 7000 * t) + 0.3 * std::sin(j);
    }
    const Measured wide = Measure(x, fftWindowHanning, 16384, {1000.0, 3, 200.0, 6000.0});
    ASSERT_TRUE(wide.found.problem.empty()) << wide.found.problem;
    EXPECT_NEAR(wide.found.fundamentalHz, 1000.0, 1e-6);
    EXPECT_NEAR(wide.found.HarmonicDbc(2), -20.0, 0.01);
    EXPECT_LT(wide.found.HarmonicDbc(3), -150.0) << "3000 Hz holds nothing";
    EXPECT_NEAR(wide.found.SfdrDbc(), 20.0, 0.01);
    EXPECT_NEAR(wide.found.SnrDb(), Db(1000.0 * 1000 / 0.09), 0.05);
    const Measured narrow = Measure(x, fftWindowHanning, 16384, {1000.0, 3, 200.0, 2500.0});
    EXPECT_TRUE(std::isnan(narrow.found.HarmonicDbc(3))) << "3000 Hz lies outside the band";
    EXPECT_GT(narrow.found.SnrDb(), 150.0) << "no noise within 200..2500 Hz";
}

// Noise alone, or silence: no figure, a reason.
TEST(spectrum_measurement_test, without_a_tone_nothing_is_measured_and_the_reason_is_given) {
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 1000);
    std::vector<double> white(8192);
    for (double& v : white) v = noise(random);
    for (const auto& x : {white, std::vector<double>(8192, 0.0)}) {
        const Measured run = Measure(x, fftWindowHanning, 48000);
        EXPECT_EQ(run.found.problem, "no tone stands 20 dB above the noise floor");
        EXPECT_TRUE(std::isnan(run.found.SinadDb()));
        EXPECT_EQ(run.measures.problem, run.found.problem);
        EXPECT_TRUE(std::isnan(*run.measures.Get("enob_bits")));
    }
}

}  // namespace
}  // namespace tavox
