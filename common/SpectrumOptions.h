#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavox {

// What the values of a spectrum are: the amplitude of a sine on a bin (the
// default), the one-sided power (a sine of amplitude A reads A^2/2) or the
// one-sided power spectral density (power over the equivalent noise
// bandwidth in Hz).
enum class SpectrumScale { Amplitude, Power, Psd };
inline constexpr std::array<std::string_view, 3> SpectrumScaleNames = {"amplitude", "power", "psd"};

// The unit of those values: sample counts, dB re a full-scale sine (AES17),
// volts through the full-scale voltage, or dB re 1 V (1 V^2 for power).
enum class SpectrumUnit { Linear, Dbfs, Volts, Dbv };
inline constexpr std::array<std::string_view, 4> SpectrumUnitNames = {"linear", "dbfs", "volts", "dbv"};

// What is removed from each exposure before the window: nothing, its mean
// (the letter c), or its least-squares line.
enum class Detrend { None, Mean, Linear };
inline constexpr std::array<std::string_view, 3> DetrendNames = {"none", "mean", "linear"};

// How the spectrum stage transforms: the kernel whose outputs stay the same
// bit for bit, or a real-input transform of N points with half the
// arithmetic (FFTW's r2c), within a count of it on raw outputs.
enum class FftMode { Exact, Fast };
inline constexpr std::array<std::string_view, 2> FftModeNames = {"exact", "fast"};

// The largest sample value, whose sine is 0 dBFS and reads the full-scale voltage.
inline constexpr double FullScaleCounts = 32767.0;

struct SpectrumQuantity {
    SpectrumScale scale = SpectrumScale::Amplitude;
    SpectrumUnit unit = SpectrumUnit::Linear;

    bool operator==(const SpectrumQuantity&) const = default;
    bool Decibels() const noexcept { return unit == SpectrumUnit::Dbfs || unit == SpectrumUnit::Dbv; }
};

// How a quantity is named: its CSV column, the quantity and the unit as
// labels show them ("PSD", "dBFS/Hz"); the unit is empty for sample counts
// of the amplitude, whose column stays "magnitude".
struct QuantityNames {
    SpectrumQuantity quantity;
    std::string_view column;
    std::string_view title;
    std::string_view unit;
};

// Every quantity, amplitude in counts first.
const std::array<QuantityNames, 12>& QuantityTable() noexcept;
const QuantityNames& NamesOf(SpectrumQuantity quantity) noexcept;
// The quantity whose column is `column`, if any.
std::optional<SpectrumQuantity> QuantityOfColumn(std::string_view column) noexcept;
// "PSD (dBFS/Hz)"; "magnitude" for the amplitude in counts.
std::string AxisTitle(SpectrumQuantity quantity);

// How the spectrum of a batch is estimated and scaled beyond the fields of
// its command line. The defaults give the amplitude spectra the fields
// alone describe.
struct SpectrumOptions {
    SpectrumScale scale = SpectrumScale::Amplitude;
    SpectrumUnit unit = SpectrumUnit::Linear;
    std::optional<double> fullScale;  // volts of a sample value of 32767 (finite, above 0)
    // Welch placement: exposures from the start of the range, a hop of
    // round(width * (1 - overlap / 100)) apart, as many as fit (0..95).
    std::optional<double> overlap;
    bool repeatCaps = false;  // with overlap: the repeat count caps the exposures
    Detrend detrend = Detrend::None;
    std::optional<std::int32_t> pad;  // points transformed, a power of two >= width
    FftMode fft = FftMode::Exact;

    bool operator==(const SpectrumOptions&) const = default;
    SpectrumQuantity Quantity() const noexcept { return {scale, unit}; }
    // True when more than the fields' amplitude spectrum is asked for (a
    // scale, a unit, a placement, a line removed or padding): such spectra
    // are computed with exact twiddles and an exact mean.
    bool Calibrated() const noexcept;
};

bool ValidFullScale(double volts) noexcept;
bool ValidOverlap(double percent) noexcept;
// A power of two from 128 to 65536.
bool ValidPad(std::int64_t points) noexcept;

// Lookups by exact lower-case name.
std::optional<SpectrumScale> ScaleFromName(std::string_view name) noexcept;
std::optional<SpectrumUnit> UnitFromName(std::string_view name) noexcept;
std::optional<Detrend> DetrendFromName(std::string_view name) noexcept;
std::optional<FftMode> FftModeFromName(std::string_view name) noexcept;
std::string_view ScaleName(SpectrumScale scale) noexcept;
std::string_view UnitName(SpectrumUnit unit) noexcept;
std::string_view DetrendName(Detrend detrend) noexcept;
std::string_view FftModeName(FftMode mode) noexcept;

}  // namespace tavox
