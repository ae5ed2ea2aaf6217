#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/OutputStage.h"

namespace tavox {

class OutputFile;

// The exposures of one transform of the multi method: exposure k (from 1 to
// `count`) covers `width` samples from the 1-based position
// first + (k - 1) * step, shaped by the window named `window`.
struct ExposureSeries {
    std::int32_t first = 1;
    std::int32_t step = 0;
    std::int32_t count = 0;
    std::int32_t width = 0;
    std::string_view window;
    bool center = false;

    // The 0-based index of the first sample of exposure k.
    std::int64_t Start(std::int32_t k) const noexcept { return std::int64_t{first} - 1 + std::int64_t{step} * (k - 1); }
};

// What a matrix output holds: the row of each exposure of `series` (the
// output stage's values, `shape.bins` of them, named shape.names[0]) with
// the start and time of each row and the frequency of each column, and what
// its meta text says of them.
struct MatrixLayout {
    ExposureSeries series;
    SpectrumShape shape;
    SpectrumContext context;   // the transform's width, the window's sums, the rate
    std::string_view source;   // the input's path
    std::int32_t channel = 1;  // the input's channel the rows are of, from 1
};

// The time of exposure k as SciPy places a segment, at its centre:
// (start + width / 2) / rate seconds, or in samples without a rate.
double ExposureTime(const MatrixLayout& layout, std::int16_t k) noexcept;
// The frequency of bin k: k * rate / M Hz for a transform of M points (the
// pad when padded), or k without a rate.
double BinFrequency(const MatrixLayout& layout, std::size_t k) noexcept;

// A JSON object (ASCII text, other characters as \u escapes) that says what
// the matrix holds: source, channel, rate (null without), window, width,
// bins, exposures, first (0-based) and step, center, points transformed,
// scale, unit, the name of the values, the full-scale voltage (null
// without), and the window's constants over its width N (its sums S1 and
// S2, coherent gain S1/N, NENBW in bins N*S2/S1^2, ENBW in Hz with a rate).
std::string MatrixMeta(const MatrixLayout& layout);

// Writes the rows of a matrix output as they come and what follows them.
class MatrixWriter {
public:
    virtual ~MatrixWriter() = default;
    // Writes the row of exposure k; rows come in exposure order, each once.
    virtual void Row(std::span<const double> values, std::int16_t k) = 0;
    // Writes what follows the rows; false when the output could not take it.
    virtual bool Finish() = 0;
};

// True when `format` holds a matrix: all but raw, whose 16-bit samples have
// no room for the axes.
bool HoldsMatrix(OutputFormat format) noexcept;

// A writer of `layout` onto `file`, in blocks of about 64 KiB assembled in
// `buffer`, for `format`:
// - npy: one array (exposures, bins) of little-endian float64, as numpy.save
//   writes it;
// - f32: the rows one after another, as little-endian float32 (FaithfulFloat);
// - csv: the long form, a header "exposure,start[,time_s],bin[,frequency_hz],
//   <name>" (time and frequency with a rate) and one line per exposure and
//   bin; numbers as the CSV of one spectrum writes them;
// - npz: a NumPy .npz archive (MakeArchiveWriter) holding S (float64,
//   exposures x bins), f (float64, BinFrequency), t (float64, ExposureTime),
//   start (int64) and meta (MatrixMeta as a 0-d unicode array), each member
//   as numpy.save writes it.
// Nullptr for raw, and for npz without an archive writer. Throws
// std::bad_alloc.
std::unique_ptr<MatrixWriter> MakeMatrixWriter(OutputFile& file, const MatrixLayout& layout, OutputFormat format,
                                               ByteBuffer& buffer);

}  // namespace tavox
