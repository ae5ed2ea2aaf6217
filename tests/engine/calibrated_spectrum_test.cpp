#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "common/OutputOptions.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"
#include "engine/Shaping.h"
#include "engine/TransformTables.h"
#include "engine/WindowConstants.h"

namespace tavox {
namespace {

// Heinzel, Ruediger, Schilling (2002), section C: the NENBW of each window
// and the scalloping loss half a bin off of the rectangle and Hann. TAVOX's
// flat top is their FTSRS, whose NENBW is 1 + (1.93^2 + 1.29^2 + 0.388^2 +
// 0.028^2) / 2; its half-bin loss, the least gain within the bin, is that
// of its continuous form: 20 log10 of the sum over m = -4..4 of
// c_m sinc(1/2 - m), c_0 = 1 and c_-m = c_m = a_m / 2 (a_m 1.93, 1.29,
// 0.388, 0.028), -0.0156171 dB.
TEST(calibrated_spectrum_test, window_constants_are_heinzels_at_every_width) {
    struct Known {
        fftWindowEnum window;
        double nenbw;
        double lossDb;
    };
    for (const Known known : {Known{fftWindowRectangle, 1.0, -3.9224}, Known{fftWindowHanning, 1.5, -1.4236},
                              Known{fftWindowFlatTop, 3.770164, -0.0156171}}) {
        // The losses of the continuous forms: within 1e-4 dB from 1024 points on.
        for (const std::size_t width : {1024u, 4096u, 65536u}) {
            const WindowConstants c = ConstantsOfWindow(known.window, width);
            EXPECT_NEAR(c.coherentGain, 1.0, 1e-12) << known.window << " " << width;
            EXPECT_NEAR(c.nenbw, known.nenbw, 1e-12 * known.nenbw) << known.window << " " << width;
            EXPECT_NEAR(c.Enbw(48000.0), known.nenbw * 48000.0 / static_cast<double>(width), 1e-9);
            EXPECT_NEAR(c.ScallopingLossDb(), known.lossDb, 1e-4) << known.window << " " << width;
        }
    }
}

// A tone between bins through the widest plan: every bin within 1e-12 of
// the tone's amplitude of the DFT taken in long double.
TEST(calibrated_spectrum_test, exact_tables_keep_the_widest_transform_within_1e_12) {
    const auto tables = TransformTables::Exact(16);
    ASSERT_NE(tables, nullptr);
    EXPECT_EQ(tables, TransformTables::Exact(16)) << "built once";
    const std::size_t n = tables->Width();
    std::vector<double> re(n);
    std::vector<double> im(n);
    for (std::size_t j = 0; j < n; ++j) re[j] = 1000 * std::cos(2 * std::numbers::pi * 1234.37 * j / n + 0.3);
    const std::vector<double> samples = re;
    ASSERT_TRUE(tables->plan.Transform(re, im, false));
    for (const std::size_t k : {0u, 1u, 1234u, 1235u, 5000u, 32767u}) {
        std::complex<long double> sum = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const long double angle = -2 * std::numbers::pi_v<long double> * static_cast<long double>(k * j % n) / n;
            sum += static_cast<long double>(samples[j]) * std::complex<long double>(std::cos(angle), std::sin(angle));
        }
        const long double scale = 2.0L / n;
        EXPECT_NEAR(re[k], static_cast<double>(sum.real() * scale), 1e-12 * 1000) << k;
        EXPECT_NEAR(im[k], static_cast<double>(sum.imag() * scale), 1e-12 * 1000) << k;
    }
}

// Least squares: what is left is orthogonal to the constant and to the index.
TEST(calibrated_spectrum_test, removing_the_line_leaves_what_neither_constant_nor_slope_explains) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 50);
    std::vector<double> x(1000);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = 700 - 0.9 * static_cast<double>(i) + noise(random);
    RemoveLine(x);
    long double sum = 0;
    long double moment = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += x[i];
        moment += static_cast<long double>(i) * x[i];
    }
    EXPECT_NEAR(static_cast<double>(sum), 0, 1e-9);
    EXPECT_NEAR(static_cast<double>(moment), 0, 1e-6);
    std::vector<double> line(256);
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = 3 + 2.5 * static_cast<double>(i);
    RemoveLine(line);
    for (const double r : line) EXPECT_NEAR(r, 0, 1e-12);
}

// Padded exposures of a long Welch average on worker threads: the threads'
// arrays hold the padded points, and the values do not depend on them.
TEST(calibrated_spectrum_test, padded_welch_averages_are_the_same_on_any_number_of_threads) {
    std::mt19937 random(9);
    std::uniform_int_distribution<int> level(-20000, 20000);
    std::vector<std::int16_t> samples(1 << 18);
    for (auto& s : samples) s = static_cast<std::int16_t>(level(random));
    auto parameters = std::make_shared<Parameters>();
    parameters->SetMethod(fftMethodAverage);
    parameters->SetWindow(fftWindowHanning);
    parameters->SetWidth(1024);
    OutputOptions options;
    options.spectrum.scale = SpectrumScale::Psd;
    options.spectrum.overlap = 50;
    options.spectrum.pad = 4096;
    const MemorySamples source = std::span<const std::int16_t>(samples);
    const SampleSpectrum one = TransformSamples(parameters, options, source, SpectrumTarget::Sheet, 1);
    const SampleSpectrum three = TransformSamples(parameters, options, source, SpectrumTarget::Sheet, 3);
    ASSERT_EQ(one.result, fftResultAllRight);
    EXPECT_EQ(one.bins, 2048u);
    ASSERT_EQ(one.values.size(), 2048u);
    EXPECT_EQ(one.values, three.values);
}

}  // namespace
}  // namespace tavox
