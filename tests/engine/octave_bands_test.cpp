#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "engine/OctaveBands.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"

namespace tavox {
namespace {

// IEC 61260-1:2014, table E.1 (base 10): the exact third-octave mid
// frequencies of bands -16..13, and ISO 266's nominal names for them.
TEST(octave_bands_test, third_octave_mid_frequencies_are_iecs) {
    const double exact[] = {25.119,  31.623,  39.811,  50.119,  63.096,  79.433,  100.000, 125.893, 158.489, 199.526,
                            251.189, 316.228, 398.107, 501.187, 630.957, 794.328, 1000.0,  1258.93, 1584.89, 1995.26,
                            2511.89, 3162.28, 3981.07, 5011.87, 6309.57, 7943.28, 10000.0, 12589.3, 15848.9, 19952.6};
    const double nominal[] = {25,   31.5, 40,   50,   63,   80,   100,   125,   160,   200,
                              250,  315,  400,  500,  630,  800,  1000,  1250,  1600,  2000,
                              2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    for (std::int32_t x = -16; x <= 13; ++x) {
        const OctaveBand band = BandOf(3, x);
        const auto i = static_cast<std::size_t>(x + 16);
        // Each printed value to its last digit.
        const double digit = std::pow(10.0, std::floor(std::log10(exact[i])) - 5);
        EXPECT_NEAR(band.exact, exact[i], std::max(0.5 * digit, 0.0005)) << x;
        EXPECT_NEAR(band.exact, 1000 * std::pow(10.0, x / 10.0), 0.001) << x;
        EXPECT_DOUBLE_EQ(band.nominal, nominal[i]) << x;
    }
    const OctaveBand kilohertz = BandOf(3, 0);
    EXPECT_NEAR(kilohertz.lower, 891.251, 0.0005);
    EXPECT_NEAR(kilohertz.upper, 1122.018, 0.0005);
    // Octaves: 31.5 Hz to 16 kHz; even b: bands straddle 1 kHz.
    EXPECT_DOUBLE_EQ(BandOf(1, -5).nominal, 31.5);
    EXPECT_DOUBLE_EQ(BandOf(1, 4).nominal, 16000);
    EXPECT_NEAR(BandOf(6, -1).upper, 1000.0, 1e-9);
    EXPECT_NEAR(BandOf(12, 0).lower, 1000.0, 1e-9);
    EXPECT_NEAR(BandOf(12, 0).exact, 1000 * std::pow(std::pow(10.0, 0.3), 1.0 / 24), 1e-9);
}

// A tone of amplitude A three NENBW inside a band sums to A^2 / 2 with Hann
// and the flat top anywhere, with the rectangle (whose leakage reaches far)
// on a bin; the band holds its share of the bins, and bands below one
// bin or past the last are not listed.
TEST(octave_bands_test, a_tone_inside_a_band_sums_to_its_power) {
    const std::size_t n = 8192;
    const double rate = 48000;
    const double binHz = rate / n;
    for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
        auto p = std::make_shared<Parameters>();
        p->SetWidth(static_cast<std::int32_t>(n));
        p->SetWindow(window);
        const double nenbw = static_cast<double>(n) * p->WindowSquares() / (p->WindowSum() * p->WindowSum());
        const OctaveBand target = BandOf(3, 0);
        for (double hz : {target.lower + 3 * nenbw * binHz + 0.3, 1000.0, target.upper - 3 * nenbw * binHz}) {
            if (window == fftWindowRectangle) hz = std::round(hz / binHz) * binHz;
            std::vector<double> x(n);
            for (std::size_t j = 0; j < n; ++j) x[j] = 1000 * std::sin(2 * std::numbers::pi * hz * j / rate);
            OutputOptions output;
            output.rate = rate;
            output.spectrum.scale = SpectrumScale::Power;
            const SampleSpectrum power = TransformSamples(p, output, std::span<const double>(x), SpectrumTarget::Sheet);
            const std::vector<BandPower> bands = BandPowers(power.values, 3, binHz, nenbw);
            ASSERT_FALSE(bands.empty());
            EXPECT_GE(bands.front().band.lower, binHz);
            EXPECT_LE(bands.back().band.upper, (static_cast<double>(n / 2) - 0.5) * binHz);
            for (const BandPower& band : bands) {
                if (band.band.index != 0) continue;
                EXPECT_NEAR(band.power / 5e5, 1.0, 1e-3) << window << " " << hz;
                EXPECT_NEAR(band.bins, (target.upper - target.lower) / binHz, 1e-9);
            }
        }
    }
}

}  // namespace
}  // namespace tavox
