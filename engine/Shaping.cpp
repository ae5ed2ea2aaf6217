#include "engine/Shaping.h"

#include <cmath>
#include <cstddef>

#include "engine/NumericConstants.h"

namespace tavox {

namespace {

// Subtracts the mean, summed in index order.
void Center(std::span<double> re) noexcept {
    if (re.empty()) return;
    double sum = 0;
    for (double x : re) sum += x;
    const double mean = sum / static_cast<double>(re.size());
    for (double& x : re) x = x - mean;
}

}  // namespace

double WindowWeight(fftWindowEnum window, std::size_t i, std::size_t n) noexcept {
    const double x = static_cast<double>(i) * TwoPi15 / static_cast<double>(n);
    if (window == fftWindowHanning) return 1 - std::cos(x);
    if (window == fftWindowFlatTop)
        return 1 - 1.93 * std::cos(x) + 1.29 * std::cos(x + x) - 0.388 * std::cos(x * 3) + 0.028 * std::cos(x * 4);
    return 1;
}

void RemoveMean(std::span<double> re) noexcept {
    if (re.empty()) return;
    long double sum = 0;
    for (const double x : re) sum += x;
    const auto mean = static_cast<double>(sum / static_cast<long double>(re.size()));
    for (double& x : re) x = x - mean;
}

// With t centred on the middle index, the slope is sum(t x) / sum(t^2)
// and the line passes through the mean.
void RemoveLine(std::span<double> re) noexcept {
    if (re.size() < 2) {
        RemoveMean(re);
        return;
    }
    const auto n = static_cast<long double>(re.size());
    const long double middle = (n - 1) / 2;
    long double sum = 0;
    long double moment = 0;
    for (std::size_t i = 0; i < re.size(); ++i) {
        sum += re[i];
        moment += (static_cast<long double>(i) - middle) * re[i];
    }
    const long double mean = sum / n;
    const long double slope = moment / (n * (n * n - 1) / 12);
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = static_cast<double>(re[i] - (mean + slope * (static_cast<long double>(i) - middle)));
    }
}

void ShapeExposure(std::span<double> re, bool center, fftWindowEnum window) noexcept {
    if (center) Center(re);
    if (window != fftWindowHanning && window != fftWindowFlatTop) return;
    const std::size_t n = re.size();
    for (std::size_t i = 0; i < n; ++i) re[i] = WindowWeight(window, i, n) * re[i];
}

// Wider vector forms of the weighting, chosen at load time; one multiply per
// sample either way, so the values are the same.
// Not under ThreadSanitizer (see SampleBlocks.cpp).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
bool ShapeExposure(std::span<double> re, bool center, std::span<const double> weights) noexcept {
    if (!weights.empty() && weights.size() != re.size()) return false;
    if (center) Center(re);
    for (std::size_t i = 0; i < weights.size(); ++i) re[i] = weights[i] * re[i];
    return true;
}

}  // namespace tavox
