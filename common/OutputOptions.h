#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/SpectrumOptions.h"

namespace tavox {

class SpectrumObserver;

// How a disk output is written: the 16-bit samples of the sequence-file
// format, or the unrounded values as CSV text, little-endian float32, a
// NumPy .npy array of float64 or, for a matrix only, a NumPy .npz archive of
// the matrix and its axes. What each writes and how it is read back is the
// format's row in data/SpectrumFormats (and data/MatrixFormats).
enum class OutputFormat { Raw, Csv, F32, Npy, Npz };

// Names as the command line and the report use them, in the order of OutputFormat.
inline constexpr std::array<std::string_view, 5> OutputFormatNames = {"raw", "csv", "f32", "npy", "npz"};

// Where the exposures of the multi method go: each to a numbered file of its
// own, or all of one input as the rows of one matrix output (with the time
// of each row and the frequency of each column, data/MatrixFormats).
enum class OutputLayout { Files, Matrix };

// Names as the command line and the report use them, in the order of OutputLayout.
inline constexpr std::array<std::string_view, 2> OutputLayoutNames = {"files", "matrix"};

// How the average method combines the spectra of its exposures, bin by
// bin: the arithmetic mean, the root of the mean square, the largest value,
// the median (the mean of the two middle values for an even count) or the
// smallest value. How each combines is its row in data/AverageCombiners.
enum class AverageMode { Mean, Rms, Max, Median, Min };

// Names as the command line and the report use them, in the order of AverageMode.
inline constexpr std::array<std::string_view, 5> AverageModeNames = {"mean", "rms", "max", "median", "min"};

// Output settings of a batch beyond Parameters. The defaults give the raw
// 16-bit outputs and the mean.
struct OutputOptions {
    OutputFormat format = OutputFormat::Raw;
    // Sample rate in Hz (finite, above 0): adds the frequency of each bin to
    // CSV outputs.
    std::optional<double> rate;
    AverageMode average = AverageMode::Mean;
    OutputLayout layout = OutputLayout::Files;
    // Scale, unit, placement, detrending and padding of the spectra.
    SpectrumOptions spectrum;
    // Told about every disk output written in full; none by default.
    std::shared_ptr<SpectrumObserver> observer;

    bool operator==(const OutputOptions&) const = default;
};

// Lookups in the name lists above: the name of a value, and the value of the
// exact lower-case name (nothing for any other text).
std::string_view FormatName(OutputFormat format) noexcept;
std::optional<OutputFormat> FormatFromName(std::string_view name) noexcept;
std::string_view AverageName(AverageMode mode) noexcept;
std::optional<AverageMode> AverageFromName(std::string_view name) noexcept;
std::string_view LayoutName(OutputLayout layout) noexcept;
std::optional<OutputLayout> LayoutFromName(std::string_view name) noexcept;

// The names as a message lists them: "a, b, c or d", each between `quote`s.
std::string NameList(std::span<const std::string_view> names, std::string_view last = " or ",
                     std::string_view quote = "");

}  // namespace tavox
