#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavox {

// Full scale of a 16-bit output, the 0 dB of the dB scale.
inline constexpr double FullScale = 32767.0;
// The lowest level the dB scale shows: smaller magnitudes (and 0) sit on it.
inline constexpr double DbFloor = -150.0;

// 20 log10(magnitude / FullScale), never below DbFloor.
double ToDb(double magnitude) noexcept;

// Tick marks for the range [low, high]: round steps (1, 2 or 5 times a power
// of ten) giving at most `maxCount` ticks inside the range, and the decimals
// their labels need.
struct Ticks {
    std::vector<double> values;
    double step = 1;
    int decimals = 0;
};
Ticks NiceTicks(double low, double high, int maxCount);

// A number as a tick label or readout shows it: `decimals` places, "-"
// written as a minus sign, no "-0".
std::string FormatValue(double value, int decimals);

}  // namespace tavox
