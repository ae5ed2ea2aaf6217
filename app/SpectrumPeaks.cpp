#include "app/SpectrumPeaks.h"

#include <algorithm>
#include <cmath>

namespace tavox {

namespace {

// The magnitudes with a zero beside each end, as the peaks are found in.
double Padded(std::span<const double> m, std::size_t i) noexcept {
    return i == 0 || i > m.size() ? 0.0 : m[i - 1];
}

// Local maxima of the padded magnitudes, as bins of `m`: higher than the
// bin before, and than the first different bin after; a flat top gives its
// middle (the left one of two).
std::vector<std::size_t> LocalMaxima(std::span<const double> m) {
    std::vector<std::size_t> maxima;
    const std::size_t end = m.size() + 1;
    for (std::size_t i = 1; i < end; ++i) {
        if (!(Padded(m, i - 1) < Padded(m, i))) continue;
        std::size_t ahead = i + 1;
        while (ahead < end && Padded(m, ahead) == Padded(m, i)) ++ahead;
        if (Padded(m, ahead) < Padded(m, i)) {
            maxima.push_back((i + ahead - 1) / 2 - 1);
            i = ahead;
        }
    }
    return maxima;
}

// How far bin k rises above the higher of the lowest points between it and
// a higher bin (or the padded end) on either side.
double Prominence(std::span<const double> m, std::size_t k) noexcept {
    const double top = m[k];
    double left = top;
    std::size_t i = k + 1;
    while (i > 0 && Padded(m, i) <= top) left = std::min(left, Padded(m, i--));
    if (i == 0) left = std::min(left, 0.0);
    double right = top;
    i = k + 1;
    while (i <= m.size() && Padded(m, i) <= top) right = std::min(right, Padded(m, i++));
    if (i > m.size()) right = std::min(right, 0.0);
    return top - std::max(left, right);
}

// The median of the bins within NoiseFloorReach of k (the mean of the middle
// two of an even number), in `scratch`.
double NoiseFloor(std::span<const double> m, std::size_t k, std::vector<double>& scratch) {
    const std::size_t from = k > NoiseFloorReach ? k - NoiseFloorReach : 0;
    const std::size_t to = std::min(m.size(), k + NoiseFloorReach + 1);
    scratch.assign(m.begin() + static_cast<std::ptrdiff_t>(from), m.begin() + static_cast<std::ptrdiff_t>(to));
    const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(scratch.size() / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    if (scratch.size() % 2 == 1) return *middle;
    return (*middle + *std::max_element(scratch.begin(), middle)) / 2;
}

}  // namespace

double NoiseLimit(std::span<const double> magnitudes) noexcept {
    if (magnitudes.empty()) return 0;
    return *std::max_element(magnitudes.begin(), magnitudes.end()) * std::pow(10.0, -NoiseRangeDb / 20);
}

std::vector<std::size_t> SpectrumPeaks(std::span<const double> magnitudes, std::size_t first, std::size_t last,
                                       std::size_t count) {
    last = std::min(last, magnitudes.size());
    if (first >= last || count == 0) return {};
    const double limit = NoiseLimit(magnitudes);
    const double standOut = std::pow(10.0, PeakProminenceDb / 20);
    std::vector<std::size_t> candidates = LocalMaxima(magnitudes);
    std::erase_if(candidates, [&](std::size_t k) { return k < first || k >= last || !(magnitudes[k] >= limit); });
    std::sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
        return magnitudes[a] > magnitudes[b] || (magnitudes[a] == magnitudes[b] && a < b);
    });
    std::vector<std::size_t> peaks;
    std::vector<double> scratch;
    for (const std::size_t k : candidates) {
        if (peaks.size() == count) break;
        if (Prominence(magnitudes, k) >= standOut * NoiseFloor(magnitudes, k, scratch)) peaks.push_back(k);
    }
    return peaks;
}

}  // namespace tavox
