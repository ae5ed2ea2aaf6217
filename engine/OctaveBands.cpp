#include "engine/OctaveBands.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavox {
namespace {

// ISO 266's third-octave names within a decade, from 1 up.
constexpr std::array<double, 10> ThirdOctaveNames = {1, 1.25, 1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8};

double Ratio() noexcept {
    return std::pow(10.0, 0.3);
}

// The exact mid frequency to three significant digits.
double ThreeDigits(double hz) noexcept {
    const double scale = std::pow(10.0, std::floor(std::log10(hz)) - 2);
    return std::round(hz / scale) * scale;
}

// The nominal name of third-octave band x (1000 Hz at x = 0).
double ThirdOctaveName(std::int32_t x) noexcept {
    const std::int32_t decade = x >= 0 ? x / 10 : -((-x + 9) / 10);
    const std::int32_t step = x - 10 * decade;
    return ThirdOctaveNames[static_cast<std::size_t>(step)] * std::pow(10.0, 3 + decade);
}

}  // namespace

OctaveBand BandOf(std::int32_t perOctave, std::int32_t index) noexcept {
    const double b = perOctave;
    const double exponent = perOctave % 2 == 1 ? index / b : (2.0 * index + 1) / (2 * b);
    OctaveBand band;
    band.index = index;
    band.exact = 1000 * std::pow(Ratio(), exponent);
    band.lower = band.exact * std::pow(Ratio(), -1 / (2 * b));
    band.upper = band.exact * std::pow(Ratio(), 1 / (2 * b));
    if (perOctave == 3) {
        band.nominal = ThirdOctaveName(index);
    } else if (perOctave == 1) {
        band.nominal = ThirdOctaveName(3 * index);
    } else {
        band.nominal = ThreeDigits(band.exact);
    }
    return band;
}

std::vector<BandPower> BandPowers(std::span<const double> power, std::int32_t perOctave, double binHz, double nenbw) {
    std::vector<BandPower> bands;
    if (power.empty() || !(binHz > 0) || !(nenbw > 0) || perOctave < 1) return bands;
    const double top = (static_cast<double>(power.size()) - 0.5) * binHz;
    // The first band at or above one bin: its lower edge's index, rounded down.
    auto index = static_cast<std::int32_t>(std::floor(perOctave * std::log(binHz / 1000) / std::log(Ratio()))) - 1;
    for (; BandOf(perOctave, index).lower < binHz; ++index) {
    }
    for (OctaveBand band = BandOf(perOctave, index); band.upper <= top; band = BandOf(perOctave, ++index)) {
        BandPower found{band, 0, 0};
        const double from = band.lower / binHz;
        const double to = band.upper / binHz;
        const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from + 0.5)));
        const auto last = std::min(power.size() - 1, static_cast<std::size_t>(std::floor(to + 0.5)));
        for (std::size_t m = first; m <= last; ++m) {
            const double centre = static_cast<double>(m);
            const double part = std::min(to, centre + 0.5) - std::max(from, centre - 0.5);
            if (part <= 0) continue;
            found.bins += part;
            found.power += part * power[m];
        }
        found.power /= nenbw;
        bands.push_back(found);
    }
    return bands;
}

}  // namespace tavox
