#include "engine/WindowConstants.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/Shaping.h"

namespace tavox {

double WindowConstants::Enbw(double rate) const noexcept {
    return width == 0 ? 0 : nenbw * rate / static_cast<double>(width);
}

double WindowConstants::ScallopingLossDb() const noexcept {
    return 20 * std::log10(scallopingLoss);
}

WindowConstants ConstantsOfWeights(std::span<const double> weights, std::size_t width) noexcept {
    WindowConstants constants;
    constants.width = weights.empty() ? width : weights.size();
    if (constants.width == 0) return constants;
    const auto n = static_cast<double>(constants.width);
    long double halfBinRe = 0;
    long double halfBinIm = 0;
    for (std::size_t j = 0; j < constants.width; ++j) {
        const double w = weights.empty() ? 1.0 : weights[j];
        constants.weightSum += w;
        constants.weightSquares += w * w;
        const long double angle = std::numbers::pi_v<long double> * static_cast<long double>(j) / n;
        halfBinRe += w * std::cos(angle);
        halfBinIm -= w * std::sin(angle);
    }
    constants.coherentGain = constants.weightSum / n;
    constants.nenbw = n * constants.weightSquares / (constants.weightSum * constants.weightSum);
    constants.scallopingLoss = static_cast<double>(std::hypot(halfBinRe, halfBinIm)) / constants.weightSum;
    return constants;
}

WindowConstants ConstantsOfWindow(fftWindowEnum window, std::size_t width) {
    std::vector<double> weights;
    if (window == fftWindowHanning || window == fftWindowFlatTop) {
        weights.resize(width);
        for (std::size_t i = 0; i < width; ++i) weights[i] = WindowWeight(window, i, width);
    }
    return ConstantsOfWeights(weights, width);
}

}  // namespace tavox
