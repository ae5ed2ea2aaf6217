#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace tavox {

// The harmonics counted by default (2 to 6) and at most (2 to 20).
inline constexpr std::int32_t DefaultHarmonics = 6;
inline constexpr std::int32_t MaxHarmonics = 20;

// What is measured of each spectrum: the fundamental at `fundamental` Hz
// (none: the strongest component), harmonics 2 to `harmonics` (1 counts
// none), and the noise within [bandLow, bandHigh] Hz (none: every bin).
struct MeasureOptions {
    std::optional<double> fundamental;
    std::int32_t harmonics = DefaultHarmonics;
    std::optional<double> bandLow;
    std::optional<double> bandHigh;

    bool operator==(const MeasureOptions&) const = default;
};

// Fractional-octave bands: 1/1, 1/3, 1/6 or 1/12 of an octave.
bool ValidBandsPerOctave(std::int64_t bands) noexcept;

// Named values measured of one output (levels, ratios...), at most MaxCount,
// or, when nothing could be measured, the reason why.
struct Measures {
    static constexpr std::size_t MaxCount = 40;
    std::array<std::pair<std::string_view, double>, MaxCount> values{};
    std::size_t count = 0;
    std::string_view problem;  // empty when measured; names must be static

    // Sets the value of `name`, adding it when new; a name past MaxCount is dropped.
    void Set(std::string_view name, double value) noexcept;
    // The value of `name`, if set.
    std::optional<double> Get(std::string_view name) const noexcept;
};

}  // namespace tavox
