#include "engine/Shaping.h"

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <limits>

namespace tavox {

namespace {

constexpr double OverflowMagnitude = 2147483647.0;
// Below this bound neither square nor their sum can overflow.
constexpr double SafeComponent = 1e150;

int Sign(double x) noexcept {
    return x > 0 ? 1 : (x < 0 ? -1 : 0);
}

}  // namespace

void ShapeExposure(std::span<double> re, bool center, fftWindowEnum window) noexcept {
    const std::size_t n = re.size();
    if (n == 0) return;
    const double count = static_cast<double>(n);
    if (center) {
        double sum = 0;
        for (double x : re) sum += x;
        const double mean = sum / count;
        for (double& x : re) x = x - mean;
    }
    if (window == fftWindowHanning) {
        for (std::size_t i = 0; i < n; ++i) {
            const double x = static_cast<double>(i) * TwoPi15 / count;
            re[i] = (1 - std::cos(x)) * re[i];
        }
    } else if (window == fftWindowFlatTop) {
        for (std::size_t i = 0; i < n; ++i) {
            const double x = static_cast<double>(i) * TwoPi15 / count;
            const double w =
                1 - 1.93 * std::cos(x) + 1.29 * std::cos(x + x) - 0.388 * std::cos(x * 3) + 0.028 * std::cos(x * 4);
            re[i] = w * re[i];
        }
    }
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
