#include "engine/Polar.h"

#include <algorithm>
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

// The magnitude of a pair as every path forms it, so that all give the same bits.
inline double Modulus(double re, double im) noexcept {
    return std::sqrt(re * re + im * im);
}

int Sign(double x) noexcept {
    return x > 0 ? 1 : (x < 0 ? -1 : 0);
}

}  // namespace

void ToPolar(std::span<double> re, std::span<double> im, bool phase) noexcept {
    const std::size_t half = (re.size() < im.size() ? re.size() : im.size()) / 2;
    for (std::size_t k = 0; k < half; ++k) {
        const double m = Magnitude(re[k], im[k]);
        if (phase) im[k] = PhaseDegrees(re[k], im[k]);
        re[k] = m;
    }
}

// Not under ThreadSanitizer (see SampleBlocks.cpp).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void BoundedMagnitudes(std::span<double> re, std::span<const double> im) noexcept {
    const std::size_t half = std::min(re.size(), im.size()) / 2;
    double* r = re.data();
    const double* i = im.data();
    for (std::size_t k = 0; k < half; ++k) r[k] = Modulus(r[k], i[k]);
}

double Magnitude(double re, double im) noexcept {
    if (std::fabs(re) < SafeComponent && std::fabs(im) < SafeComponent) return Modulus(re, im);

    // Large components: an overflow gives the substitute value and leaves the
    // floating-point status as it was, so that callers checking it see no fault.
    std::fexcept_t saved;
    std::fegetexceptflag(&saved, FE_OVERFLOW);
    double result = Modulus(re, im);
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
