#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tavox {

// One disk output, written in full: its path, the path of its input and the
// unrounded values the output was written from (`rows` blocks of `bins`
// values: the magnitudes, then the phases in degrees) of exposures `width`
// samples wide.
struct WrittenSpectrum {
    std::string_view output;
    std::string_view source;
    std::span<const double> values;
    std::size_t bins = 0;
    std::size_t rows = 1;
    std::size_t width = 0;
    std::int16_t exposure = 0;  // the output's number (001..999), 0 for an output without one
    std::int32_t combined = 1;  // exposures combined into the values
    // Of an exposure of the multi method: how many its series holds, and the
    // 0-based index of its first sample; 0 and -1 for other outputs.
    std::int16_t exposures = 0;
    std::int64_t start = -1;
    std::optional<double> rate;  // the sample rate in Hz the output was written with, when known
};

// Told about each disk output right after it was written in full, on the
// thread that runs the batch; the texts and values live for the call only.
class SpectrumObserver {
public:
    virtual ~SpectrumObserver() = default;
    virtual void Written(const WrittenSpectrum& spectrum) noexcept = 0;
    // A row of a matrix output (the layout matrix), told as it is written,
    // with its exposure, series and start; `output` is the matrix's path.
    virtual void MatrixRow(const WrittenSpectrum& /*row*/) noexcept {}
    // The rows told for `output` end: it was written in full and named
    // (`written`), or dropped.
    virtual void MatrixEnd(std::string_view /*output*/, bool /*written*/) noexcept {}
};

}  // namespace tavox
