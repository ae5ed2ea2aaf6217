#include "common/SpectrumOptions.h"

#include <cmath>

namespace tavox {
namespace {

using enum SpectrumScale;
using enum SpectrumUnit;

constexpr std::array<QuantityNames, 12> Quantities = {{
    {{Amplitude, Linear}, "magnitude", "magnitude", ""},
    {{Amplitude, Dbfs}, "level_dbfs", "level", "dBFS"},
    {{Amplitude, Volts}, "amplitude_v", "amplitude", "V"},
    {{Amplitude, Dbv}, "level_dbv", "level", "dBV"},
    {{Power, Linear}, "power_counts2", "power", "counts\u00b2"},
    {{Power, Dbfs}, "power_dbfs", "power", "dBFS"},
    {{Power, Volts}, "power_v2", "power", "V\u00b2"},
    {{Power, Dbv}, "power_dbv", "power", "dBV"},
    {{Psd, Linear}, "psd_counts2_per_hz", "PSD", "counts\u00b2/Hz"},
    {{Psd, Dbfs}, "psd_dbfs_per_hz", "PSD", "dBFS/Hz"},
    {{Psd, Volts}, "psd_v2_per_hz", "PSD", "V\u00b2/Hz"},
    {{Psd, Dbv}, "psd_dbv_per_hz", "PSD", "dBV/Hz"},
}};

template <class Enum, std::size_t N>
std::optional<Enum> Lookup(const std::array<std::string_view, N>& names, std::string_view name) noexcept {
    for (std::size_t k = 0; k < N; ++k) {
        if (names[k] == name) return static_cast<Enum>(k);
    }
    return std::nullopt;
}

template <class Enum, std::size_t N>
std::string_view NameIn(const std::array<std::string_view, N>& names, Enum value) noexcept {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? names[index] : std::string_view();
}

}  // namespace

const std::array<QuantityNames, 12>& QuantityTable() noexcept {
    return Quantities;
}

const QuantityNames& NamesOf(SpectrumQuantity quantity) noexcept {
    for (const QuantityNames& row : Quantities) {
        if (row.quantity == quantity) return row;
    }
    return Quantities[0];
}

std::optional<SpectrumQuantity> QuantityOfColumn(std::string_view column) noexcept {
    for (const QuantityNames& row : Quantities) {
        if (row.column == column) return row.quantity;
    }
    return std::nullopt;
}

std::string AxisTitle(SpectrumQuantity quantity) {
    const QuantityNames& names = NamesOf(quantity);
    if (names.unit.empty()) return std::string(names.title);
    return std::string(names.title) + " (" + std::string(names.unit) + ")";
}

bool SpectrumOptions::Calibrated() const noexcept {
    return scale != Amplitude || unit != Linear || overlap.has_value() || pad.has_value() || detrend == Detrend::Linear;
}

bool ValidFullScale(double volts) noexcept {
    return std::isfinite(volts) && volts > 0;
}

bool ValidOverlap(double percent) noexcept {
    return percent >= 0 && percent <= 95;
}

bool ValidPad(std::int64_t points) noexcept {
    return points >= 128 && points <= 65536 && (points & (points - 1)) == 0;
}

std::optional<SpectrumScale> ScaleFromName(std::string_view name) noexcept {
    return Lookup<SpectrumScale>(SpectrumScaleNames, name);
}

std::optional<SpectrumUnit> UnitFromName(std::string_view name) noexcept {
    return Lookup<SpectrumUnit>(SpectrumUnitNames, name);
}

std::optional<Detrend> DetrendFromName(std::string_view name) noexcept {
    return Lookup<Detrend>(DetrendNames, name);
}

std::string_view ScaleName(SpectrumScale scale) noexcept {
    return NameIn(SpectrumScaleNames, scale);
}

std::string_view UnitName(SpectrumUnit unit) noexcept {
    return NameIn(SpectrumUnitNames, unit);
}

std::string_view DetrendName(Detrend detrend) noexcept {
    return NameIn(DetrendNames, detrend);
}

std::optional<FftMode> FftModeFromName(std::string_view name) noexcept {
    return Lookup<FftMode>(FftModeNames, name);
}

std::string_view FftModeName(FftMode mode) noexcept {
    return NameIn(FftModeNames, mode);
}

}  // namespace tavox
