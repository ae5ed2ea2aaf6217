#include "engine/TransformTables.h"

#include <array>
#include <cmath>
#include <mutex>
#include <numbers>

#include "engine/NumericConstants.h"

namespace tavox {
namespace {

constexpr int MinExponent = 7;
constexpr int MaxExponent = 16;

std::shared_ptr<TransformTables> Empty(int exponent) {
    auto tables = std::make_shared<TransformTables>();
    tables->exponent = exponent;
    tables->twiddleReal.assign(tables->Width() / 2, 0.0);
    tables->twiddleImag.assign(tables->Width() / 2, 0.0);
    return tables;
}

}  // namespace

std::shared_ptr<const TransformTables> TransformTables::Recurrent(int exponent) {
    auto tables = Empty(exponent);
    std::vector<double>& real = tables->twiddleReal;
    std::vector<double>& imag = tables->twiddleImag;
    const auto width = static_cast<double>(tables->Width());
    const double theta = 2 * Pi15 / width;
    const double r = std::cos(theta);
    const double q = -std::sqrt(1 - std::pow(r, 2.0));
    real[0] = 1;
    imag[0] = 0;
    if (real.size() > 1) {
        real[1] = r;
        imag[1] = q;
    }
    for (std::size_t k = 2; k < real.size(); ++k) {
        real[k] = r * real[k - 1] - q * imag[k - 1];
        imag[k] = q * real[k - 1] + r * imag[k - 1];
    }
    tables->plan.Build(real, imag, exponent);
    return tables;
}

std::shared_ptr<const TransformTables> TransformTables::Exact(int exponent) {
    static std::mutex mutex;
    static std::array<std::shared_ptr<const TransformTables>, MaxExponent + 1> built;
    if (exponent < MinExponent || exponent > MaxExponent) return nullptr;
    const std::lock_guard lock(mutex);
    auto& held = built[static_cast<std::size_t>(exponent)];
    if (held) return held;
    auto tables = Empty(exponent);
    const std::size_t n = tables->Width();
    // The angle in long double keeps the entries within half a unit of the
    // double; the quarter turn, where the cosine is only near 0, is set exactly.
    for (std::size_t p = 0; p < n / 2; ++p) {
        const long double angle =
            2 * std::numbers::pi_v<long double> * static_cast<long double>(p) / static_cast<long double>(n);
        tables->twiddleReal[p] = static_cast<double>(std::cos(angle));
        tables->twiddleImag[p] = static_cast<double>(-std::sin(angle));
    }
    tables->twiddleImag[0] = 0;
    if (n >= 4) {
        tables->twiddleReal[n / 4] = 0;
        tables->twiddleImag[n / 4] = -1;
    }
    tables->plan.Build(tables->twiddleReal, tables->twiddleImag, exponent);
    held = std::move(tables);
    return held;
}

}  // namespace tavox
