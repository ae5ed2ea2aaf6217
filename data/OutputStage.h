#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "common/SpectrumOptions.h"

namespace tavox {

// The columns of an output as a CSV header names them: the bin number, the
// bin's frequency (with a sample rate), then one column per row of values.
inline constexpr std::string_view BinColumn = "bin";
inline constexpr std::string_view FrequencyColumn = "frequency_hz";
inline constexpr std::size_t MaxOutputRows = 2;
using RowNames = std::array<std::string_view, MaxOutputRows>;
// The rows of the polar form: magnitudes, then phases in degrees.
inline constexpr RowNames PolarRows = {"magnitude", "phase_deg"};

// How the values of one output are laid out: `rows` blocks (1, or 2 with the
// phases) of `bins` values each, from exposures `width` samples wide, and
// what each row holds.
struct SpectrumShape {
    std::size_t bins = 0;
    std::size_t rows = 1;
    std::size_t width = 0;
    RowNames names = PolarRows;
};

// What the output steps know of a spectrum besides its values: the width of
// its transform, the sums of the window's weights and of their squares (S1
// and S2, from which the window's gains and noise bandwidth follow), the
// sample rate, the samples of an exposure (the window's width; below the
// transform's when padded), the quantity and unit of the values and the
// full-scale voltage.
struct SpectrumContext {
    std::size_t width = 0;
    double weightSum = 0;
    double weightSquares = 0;
    std::optional<double> rate;
    std::size_t samples = 0;
    SpectrumQuantity quantity;
    std::optional<double> fullScale;
};

// Named values that output steps measured of an output (a signal-to-noise
// ratio, a distortion...), at most MaxCount of them.
struct Measures {
    static constexpr std::size_t MaxCount = 8;
    std::array<std::pair<std::string_view, double>, MaxCount> values{};
    std::size_t count = 0;

    // Sets the value of `name`, adding it when new; a name past MaxCount is dropped.
    void Set(std::string_view name, double value) noexcept;
};

// The part of the spectrum stage that runs once an output's exposures are
// combined (or on the one exposure of an output that has one): steps that
// turn each row of values into what is written, in place, and may measure
// it, and the names of the rows. The engine's SpectrumStage fills it; the
// default keeps the magnitudes and phases as they are. A small value, copied
// freely; the measures go to the one sink its copies share.
class OutputStage {
public:
    static constexpr std::size_t MaxSteps = 4;
    // Runs on row `row` of an output, combined from `exposures` exposures.
    using Step = void (*)(std::size_t row, std::span<double> values, std::int32_t exposures,
                          const SpectrumContext& context, Measures& measures) noexcept;

    OutputStage() = default;
    // `measures`, when given, receives what the steps measure; it must
    // outlive every copy, and only one thread may Finish at a time.
    OutputStage(const RowNames& names, const SpectrumContext& context, Measures* measures = nullptr) noexcept
        : names_(names), context_(context), measures_(measures) {}

    // Appends a step, one that measures when `measuring`; false when
    // MaxSteps are there.
    bool Add(Step step, bool measuring = false) noexcept;
    // Runs the steps in order.
    void Finish(std::size_t row, std::span<double> values, std::int32_t exposures) const noexcept;

    const RowNames& Names() const noexcept { return names_; }
    // True when Finish changes nothing.
    bool Empty() const noexcept { return stepCount_ == 0; }
    const SpectrumContext& Context() const noexcept { return context_; }
    // True when a step measures and a sink keeps what it finds.
    bool Measuring() const noexcept { return measuring_ && measures_ != nullptr; }
    // The layout of an output of `rows` rows of `bins` values.
    SpectrumShape Shape(std::size_t bins, std::size_t rows) const noexcept;

private:
    RowNames names_ = PolarRows;
    SpectrumContext context_;
    Measures* measures_ = nullptr;
    bool measuring_ = false;
    std::array<Step, MaxSteps> steps_{};
    std::size_t stepCount_ = 0;
};

}  // namespace tavox
