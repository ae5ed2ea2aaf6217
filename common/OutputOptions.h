#pragma once

#include <memory>
#include <optional>
#include <string_view>

namespace tavox {

class SpectrumObserver;

// How a disk output is written: the 16-bit samples of the sequence-file
// format, or the unrounded values as CSV text, little-endian float32 or a
// NumPy .npy array of float64.
enum class OutputFormat { Raw, Csv, F32, Npy };

// How the average method combines the magnitudes of its exposures, bin by
// bin: the arithmetic mean, the root of the mean square, the largest value or
// the median (the mean of the two middle values for an even count).
enum class AverageMode { Mean, Rms, Max, Median };

// Output settings of a batch beyond Parameters. The defaults give the raw
// 16-bit outputs and the mean.
struct OutputOptions {
    OutputFormat format = OutputFormat::Raw;
    // Sample rate in Hz (finite, above 0): adds the frequency of each bin to
    // CSV outputs.
    std::optional<double> rate;
    AverageMode average = AverageMode::Mean;
    // Told about every disk output written in full; none by default.
    std::shared_ptr<SpectrumObserver> observer;

    bool operator==(const OutputOptions&) const = default;
};

// Names as the command line and the report use them: "raw", "csv", "f32",
// "npy"; "mean", "rms", "max", "median". Lookups take the exact lower-case
// name and give nothing for any other text.
std::string_view FormatName(OutputFormat format) noexcept;
std::optional<OutputFormat> FormatFromName(std::string_view name) noexcept;
std::string_view AverageName(AverageMode mode) noexcept;
std::optional<AverageMode> AverageFromName(std::string_view name) noexcept;

}  // namespace tavox
