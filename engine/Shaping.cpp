#include "engine/Shaping.h"

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <limits>

#include "engine/NumericConstants.h"

namespace tavox {

namespace {

constexpr double OverflowMagnitude = 2147483647.0;
// Below this bound neither square nor their sum can overflow.
constexpr double SafeComponent = 1e150;

int Sign(double x) noexcept {
    return x > 0 ? 1 : (x < 0 ? -1 : 0);
}

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

void ShapeExposure(std::span<double> re, bool center, fftWindowEnum window) noexcept {
    if (center) Center(re);
    if (window != fftWindowHanning && window != fftWindowFlatTop) return;
    const std::size_t n = re.size();
    for (std::size_t i = 0; i < n; ++i) re[i] = WindowWeight(window, i, n) * re[i];
}

// Wider vector forms of the weighting, chosen at load time; one multiply per
// sample either way, so the values are the same.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
bool ShapeExposure(std::span<double> re, bool center, std::span<const double> weights) noexcept {
    if (!weights.empty() && weights.size() != re.size()) return false;
    if (center) Center(re);
    for (std::size_t i = 0; i < weights.size(); ++i) re[i] = weights[i] * re[i];
    return true;
}

void ToPolar(std::span<double> re, std::span<double> im, bool phase) noexcept {
    const std::size_t half = (re.size() < im.size() ? re.size() : im.size()) / 2;
    for (std::size_t k = 0; k < half; ++k) {
        const double m = Magnitude(re[k], im[k]);
        if (phase) im[k] = PhaseDegrees(re[k], im[k]);
        re[k] = m;
    }
}

double Magnitude(double re, double im) noexcept {
    if (std::fabs(re) < SafeComponent && std::fabs(im) < SafeComponent)
        return std::sqrt(std::pow(re, 2.0) + std::pow(im, 2.0));

    // Large components: an overflow gives the substitute value and leaves the
    // floating-point status as it was, so that callers checking it see no fault.
    std::fexcept_t saved;
    std::fegetexceptflag(&saved, FE_OVERFLOW);
    double result = std::sqrt(std::pow(re, 2.0) + std::pow(im, 2.0));
    if (std::isinf(result) && std::isfinite(re) && std::isfinite(im)) result = OverflowMagnitude;
    std::fesetexceptflag(&saved, FE_OVERFLOW);
    return result;
}

double PhaseDegrees(double re, double im) noexcept {
    const int a = Sign(re);
    const int b = Sign(im);
    if (a != 0 && b != 0) {
        // A quotient beyond the double range has the arctangent of an infinity;
        // forming it without the division keeps the overflow flag clear.
        const bool quotientOverflows =
            std::fabs(re) < 1.0 && std::fabs(im) > std::fabs(re) * std::numeric_limits<double>::max();
        const double quotient = quotientOverflows ? std::numeric_limits<double>::infinity() * (a * b) : im / re;
        return (180 / Pi15) * std::atan(quotient) - 90 * (a - 1) * b;
    }
    if (b == 0) return 90 * (1 - a);
    return 90 * b;
}

}  // namespace tavox
