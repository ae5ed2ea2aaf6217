#include "engine/MeasureStep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "engine/SpectrumMeasurement.h"

namespace tavox {
namespace {

constexpr std::size_t FixedNames = 15;
constexpr std::size_t HarmonicsAt = 5;  // after the fundamental's level

constexpr std::array<std::string_view, FixedNames + MaxHarmonics - 1> AllNames = {
    "peak_bin",  "peak_hz",     "peak_level", "fundamental_hz", "fundamental_level",
    "h2_dbc",    "h3_dbc",      "h4_dbc",     "h5_dbc",         "h6_dbc",
    "h7_dbc",    "h8_dbc",      "h9_dbc",     "h10_dbc",        "h11_dbc",
    "h12_dbc",   "h13_dbc",     "h14_dbc",    "h15_dbc",        "h16_dbc",
    "h17_dbc",   "h18_dbc",     "h19_dbc",    "h20_dbc",        "snr_db",
    "thd_db",    "thd_percent", "thd_n_db",   "thd_n_percent",  "sinad_db",
    "enob_bits", "sfdr_dbc",    "sfdr_dbfs",  "noise_floor"};

// A power in counts^2 (or a density in counts^2/Hz) in `unit`.
double PowerIn(double power, SpectrumUnit unit, double volts) noexcept {
    switch (unit) {
        case SpectrumUnit::Linear:
            return power;
        case SpectrumUnit::Volts:
            return power * volts * volts;
        case SpectrumUnit::Dbfs:
            return 10 * std::log10(power / (FullScaleCounts * FullScaleCounts / 2));
        case SpectrumUnit::Dbv:
            return 10 * std::log10(power * volts * volts);
    }
    return power;
}

double LevelIn(double power, SpectrumQuantity quantity, double volts) noexcept {
    if (quantity.scale != SpectrumScale::Amplitude) return PowerIn(power, quantity.unit, volts);
    const double amplitude = std::sqrt(2 * power);
    switch (quantity.unit) {
        case SpectrumUnit::Linear:
            return amplitude;
        case SpectrumUnit::Volts:
            return amplitude * volts;
        case SpectrumUnit::Dbfs:
            return 20 * std::log10(amplitude / FullScaleCounts);
        case SpectrumUnit::Dbv:
            return 20 * std::log10(amplitude * volts);
    }
    return amplitude;
}

// A value in `unit` as counts (counts^2 for power scales).
double InCounts(double value, SpectrumUnit unit, bool amplitude, double volts) noexcept {
    switch (unit) {
        case SpectrumUnit::Linear:
            return value;
        case SpectrumUnit::Volts:
            return amplitude ? value / volts : value / (volts * volts);
        case SpectrumUnit::Dbfs:
            return amplitude ? FullScaleCounts * std::pow(10.0, value / 20)
                             : FullScaleCounts * FullScaleCounts / 2 * std::pow(10.0, value / 10);
        case SpectrumUnit::Dbv:
            return amplitude ? std::pow(10.0, value / 20) / volts : std::pow(10.0, value / 10) / (volts * volts);
    }
    return value;
}

}  // namespace

void ValuesToPower(std::span<const double> values, std::span<double> power, const SpectrumContext& context,
                   bool unitApplied) noexcept {
    const double s1 = context.weightSum;
    const auto n = static_cast<double>(context.samples);
    const bool amplitude = context.quantity.scale == SpectrumScale::Amplitude;
    const double factor = amplitude ? n * n / (2 * s1 * s1)
                          : context.quantity.scale == SpectrumScale::Psd
                              ? context.rate.value_or(1.0) * context.weightSquares / (s1 * s1)
                              : 1.0;
    const double volts = context.fullScale.value_or(FullScaleCounts) / FullScaleCounts;
    const SpectrumUnit unit = unitApplied ? context.quantity.unit : SpectrumUnit::Linear;
    for (std::size_t m = 0; m < values.size() && m < power.size(); ++m) {
        const double counts = InCounts(values[m], unit, amplitude, volts);
        power[m] = (amplitude ? counts * counts : counts) * factor;
    }
}

double ToneLevel(double power, SpectrumQuantity quantity, std::optional<double> fullScale) noexcept {
    return LevelIn(power, quantity, fullScale.value_or(FullScaleCounts) / FullScaleCounts);
}

std::vector<std::string_view> MeasureNames(std::int32_t harmonics) {
    const auto counted = static_cast<std::size_t>(std::clamp(harmonics, 1, MaxHarmonics) - 1);
    std::vector<std::string_view> names(AllNames.begin(), AllNames.begin() + HarmonicsAt + counted);
    names.insert(names.end(), AllNames.begin() + HarmonicsAt + MaxHarmonics - 1, AllNames.end());
    return names;
}

void SetMeasures(const SpectrumMeasurement& found, SpectrumQuantity quantity, std::optional<double> fullScale,
                 Measures& measures) noexcept {
    const double volts = fullScale.value_or(FullScaleCounts) / FullScaleCounts;
    const bool measured = found.problem.empty();
    const double missing = std::numeric_limits<double>::quiet_NaN();
    const auto kept = [&](double value) { return measured ? value : missing; };
    measures.problem = found.problem;
    measures.Set("peak_bin", kept(static_cast<double>(found.peakBin)));
    measures.Set("peak_hz", kept(found.peakHz));
    measures.Set("peak_level", kept(LevelIn(found.peakPower, quantity, volts)));
    measures.Set("fundamental_hz", kept(found.fundamentalHz));
    measures.Set("fundamental_level", kept(LevelIn(found.fundamentalPower, quantity, volts)));
    for (std::int32_t h = 2; h <= found.harmonics; ++h) {
        measures.Set(AllNames[HarmonicsAt + static_cast<std::size_t>(h) - 2], found.HarmonicDbc(h));
    }
    measures.Set("snr_db", found.SnrDb());
    measures.Set("thd_db", found.ThdDb());
    measures.Set("thd_percent", found.ThdPercent());
    measures.Set("thd_n_db", found.ThdNDb());
    measures.Set("thd_n_percent", found.ThdNPercent());
    measures.Set("sinad_db", found.SinadDb());
    measures.Set("enob_bits", kept(found.EnobBits()));
    measures.Set("sfdr_dbc", found.SfdrDbc());
    measures.Set("sfdr_dbfs", found.SfdrDbfs());
    measures.Set("noise_floor", kept(PowerIn(found.noiseFloorPsd, quantity.unit, volts)));
}

void MeasureValues(std::span<const double> values, const SpectrumContext& context, bool unitApplied,
                   Measures& measures) noexcept {
    if (!context.measure) return;
    if (!context.rate && (context.measure->fundamental || context.measure->bandLow)) {
        SpectrumMeasurement unrated;
        unrated.problem = "the input states no sample rate, which a fundamental or band in Hz needs";
        SetMeasures(unrated, context.quantity, context.fullScale, measures);
        return;
    }
    MeasureSetup setup{context.window,    context.samples,       context.width,
                       context.weightSum, context.weightSquares, context.rate.value_or(1.0),
                       *context.measure};
    // Grown once per width on each thread that measures.
    thread_local std::vector<double> buffer;
    SpectrumMeasurement found;
    try {
        if (buffer.size() < 2 * values.size()) buffer.resize(2 * values.size());
    } catch (const std::bad_alloc&) {
        found.problem = "out of memory";
        SetMeasures(found, context.quantity, context.fullScale, measures);
        return;
    }
    const std::span<double> power = std::span(buffer).first(values.size());
    const std::span<double> scratch = std::span(buffer).subspan(values.size(), values.size());
    ValuesToPower(values, power, context, unitApplied);
    found = MeasureSpectrum(power, setup, scratch);
    SetMeasures(found, context.quantity, context.fullScale, measures);
}

void MeasureOutput(std::size_t row, std::span<double> values, std::int32_t, const SpectrumContext& context,
                   Measures& measures) noexcept {
    if (row == 0) MeasureValues(values, context, false, measures);
}

}  // namespace tavox
