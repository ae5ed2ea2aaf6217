#include "data/AverageCombiners.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavox {
namespace {

void AddSum(std::span<double> held, std::span<const double> block, std::int32_t) noexcept {
    for (std::size_t k = 0; k < held.size(); ++k) held[k] += block[k];
}

void DivideSum(std::span<double> held, std::int32_t count) noexcept {
    const double divisor = count;
    for (double& x : held) x /= divisor;
}

double Mean(std::span<double> values) noexcept {
    double sum = 0;
    for (const double x : values) sum += x;
    return sum / static_cast<double>(values.size());
}

// The first spectrum is squared when the second comes.
void AddSquares(std::span<double> held, std::span<const double> block, std::int32_t count) noexcept {
    if (count == 2) {
        for (double& x : held) x *= x;
    }
    for (std::size_t k = 0; k < held.size(); ++k) held[k] += block[k] * block[k];
}

void RootOfMeanSquare(std::span<double> held, std::int32_t count) noexcept {
    const double divisor = count;
    for (double& x : held) x = std::sqrt(x / divisor);
}

double Rms(std::span<double> values) noexcept {
    double squares = 0;
    for (const double x : values) squares += x * x;
    return std::sqrt(squares / static_cast<double>(values.size()));
}

// A NaN, once there, stays: no value is larger or smaller than it.
double Larger(double held, double x) noexcept {
    return !std::isnan(held) && !(x <= held) ? x : held;
}

void AddLarger(std::span<double> held, std::span<const double> block, std::int32_t) noexcept {
    for (std::size_t k = 0; k < held.size(); ++k) held[k] = Larger(held[k], block[k]);
}

// The held extreme is already the result.
void KeepLargest(std::span<double>, std::int32_t) noexcept {}

double Largest(std::span<double> values) noexcept {
    double largest = values.empty() ? NAN : values[0];
    for (const double x : values.subspan(values.empty() ? 0 : 1)) largest = Larger(largest, x);
    return largest;
}

double Smaller(double held, double x) noexcept {
    return !std::isnan(held) && !(x >= held) ? x : held;
}

void AddSmaller(std::span<double> held, std::span<const double> block, std::int32_t) noexcept {
    for (std::size_t k = 0; k < held.size(); ++k) held[k] = Smaller(held[k], block[k]);
}

double Smallest(std::span<double> values) noexcept {
    double smallest = values.empty() ? NAN : values[0];
    for (const double x : values.subspan(values.empty() ? 0 : 1)) smallest = Smaller(smallest, x);
    return smallest;
}

// NaN when one of the values is NaN.
double Median(std::span<double> values) noexcept {
    if (values.empty() || std::any_of(values.begin(), values.end(), [](double x) { return std::isnan(x); })) {
        return NAN;
    }
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2;
}

constexpr std::array<AverageCombiner, AverageModeNames.size()> Combiners = {{
    {AverageMode::Mean, AddSum, DivideSum, Mean},
    {AverageMode::Rms, AddSquares, RootOfMeanSquare, Rms},
    {AverageMode::Max, AddLarger, KeepLargest, Largest},
    {AverageMode::Median, nullptr, nullptr, Median},
    {AverageMode::Min, AddSmaller, KeepLargest, Smallest},
}};

constexpr bool InEnumOrder() {
    for (std::size_t k = 0; k < Combiners.size(); ++k) {
        if (static_cast<std::size_t>(Combiners[k].mode) != k) return false;
    }
    return true;
}
static_assert(InEnumOrder(), "one combiner per AverageMode, in its order");

}  // namespace

const AverageCombiner& CombinerOf(AverageMode mode) noexcept {
    const auto index = static_cast<std::size_t>(mode);
    return Combiners[index < Combiners.size() ? index : 0];
}

std::span<const AverageCombiner> AverageCombiners() noexcept {
    return Combiners;
}

}  // namespace tavox
