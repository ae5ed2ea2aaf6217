#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "app/SpectrumPeaks.h"

namespace tavox {
namespace {

using Bins = std::vector<std::size_t>;

// Magnitudes of noise as an FFT gives them: Rayleigh distributed of scale
// `sigma`, from a fixed seed.
std::vector<double> Noise(std::size_t bins, double sigma, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::vector<double> m(bins);
    for (double& v : m) v = sigma * std::sqrt(-2 * std::log(1 - std::generate_canonical<double, 53>(random)));
    return m;
}

// A Hanning-windowed tone on a whole bin: the bin and half of it either side.
std::vector<double> WithTone(std::vector<double> m, std::size_t bin, double amplitude) {
    m[bin] += amplitude;
    if (bin > 0) m[bin - 1] += amplitude / 2;
    if (bin + 1 < m.size()) m[bin + 1] += amplitude / 2;
    return m;
}

std::vector<double> Zeros(std::size_t bins) {
    return std::vector<double>(bins, 0.0);
}

// Cases of the demo and of the edges of the rule; tavox --peaks is checked
// against scipy's find_peaks and peak_prominences on noise and tones
// (tests/python/test_cli_outputs.py).
TEST(spectrum_peaks_test, marks_what_stands_out_of_its_surroundings_strongest_first) {
    // The rounding noise of a 16-bit signal, with two spikes of it beside a tone.
    std::vector<double> sine = WithTone(Noise(512, 0.05), 64, 8000);
    sine[320] = 0.261;
    sine[448] = 0.158;
    std::vector<double> raw = WithTone(Zeros(512), 64, 8000);
    raw[320] = raw[448] = 1;  // a rounded output: noise is 0 or 1
    std::vector<double> flat = Noise(256, 0.05);
    flat[40] = flat[41] = flat[42] = 500;
    flat[90] = flat[91] = 300;
    std::vector<double> dc = WithTone(Noise(256, 0.05), 0, 1000);
    const std::vector<double> twoTones = WithTone(WithTone(Noise(512, 0.05), 100, 6000), 300, 2000);
    const std::vector<double> four =
        WithTone(WithTone(WithTone(WithTone(Zeros(512), 50, 900), 150, 1000), 250, 900), 350, 1000);
    const struct {
        std::string name;
        std::vector<double> m;
        std::size_t first, last, count;
        Bins peaks;
    } cases[] = {
        {"two tones, not a tone and its neighbours", twoTones, 0, 512, 3, {100, 300}},
        {"noise spikes beside a tone", sine, 0, 512, 3, {64}},
        {"ones of a rounded output 78 dB down", raw, 0, 512, 3, {64}},
        {"a flat top gives its middle", flat, 0, 256, 3, {41, 90}},
        {"a constant level at bin 0", WithTone(dc, 100, 400), 0, 256, 3, {0, 100}},
        {"the skirt of a peak outside the view is none", sine, 65, 200, 3, {}},
        {"a view around the peak", sine, 60, 70, 3, {64}},
        {"at most count, equals by bin", four, 0, 512, 3, {150, 350, 50}},
        {"silence", Zeros(64), 0, 64, 3, {}},
        {"nothing asked", sine, 0, 512, 0, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpectrumPeaks(c.m, c.first, c.last, c.count), c.peaks) << c.name;
    }
}

}  // namespace
}  // namespace tavox
