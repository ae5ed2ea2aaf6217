#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/SpectrumOptions.h"
#include "data/OutputStage.h"

namespace tavox {

struct SpectrumMeasurement;

// The names of the measures as the report and the table give them, in the
// order SetMeasures sets them: harmonics 2 to `harmonics` (h2_dbc...) follow
// "fundamental_level".
std::vector<std::string_view> MeasureNames(std::int32_t harmonics);

// Sets `measures` to what `found` holds: frequencies in Hz, tone levels in
// `quantity`'s unit (an amplitude on the amplitude scale, a power on power
// and PSD scales), the noise floor as a density in that unit per Hz, ratios
// in dB, percent and bits; every value NaN with the problem when nothing was
// measured.
void SetMeasures(const SpectrumMeasurement& found, SpectrumQuantity quantity, std::optional<double> fullScale,
                 Measures& measures) noexcept;

// The one-sided power P_m in counts^2 (a sine of amplitude A on a bin reads
// A^2/2) that each of `values` stands for: values of `context`'s quantity,
// in its unit when `unitApplied`, else before the unit (counts). Both spans
// have the same size.
void ValuesToPower(std::span<const double> values, std::span<double> power, const SpectrumContext& context,
                   bool unitApplied) noexcept;
// A power in counts^2 as the level of a tone in `quantity`'s unit: an
// amplitude on the amplitude scale, a power on power and PSD scales.
double ToneLevel(double power, SpectrumQuantity quantity, std::optional<double> fullScale) noexcept;

// Measures `values` (M/2 bins of `context`'s quantity, in its unit when
// `unitApplied`) as `context.measure` asks, into `measures`; without a rate
// that a fundamental or band in Hz needs, every figure is NaN with the problem.
void MeasureValues(std::span<const double> values, const SpectrumContext& context, bool unitApplied,
                   Measures& measures) noexcept;

// The output step that measures row 0 of an output whose context asks for
// measurements, before its unit is applied (see MeasureSpectrum).
void MeasureOutput(std::size_t row, std::span<double> values, std::int32_t exposures, const SpectrumContext& context,
                   Measures& measures) noexcept;

}  // namespace tavox
