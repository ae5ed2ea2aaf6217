#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/OutputStage.h"

namespace tavox {

class OutputFile;
class SpectrumWriter;

// One spectrum as an output holds it: the magnitudes of bins 0 to
// width/2 - 1 and, for method f, the phases in degrees.
struct Spectrum {
    std::vector<double> magnitudes;
    std::vector<double> phases;  // empty when the output holds none
    std::size_t width = 0;       // exposure width in samples: twice the bins
    std::optional<double> rate;  // the sample rate a CSV file's frequency_hz column was made with
    SpectrumQuantity quantity;   // what the magnitudes are: a CSV file's column, or as the layout says
};

// What reading a file gave: the spectrum and how the file was read (format,
// layout and where the width came from), or why it is no spectrum.
struct SpectrumReading {
    std::optional<Spectrum> spectrum;
    std::string how;
    std::string error;
};

// The layout of a file that does not say its own: the exposure width, when
// known, and whether phases follow the magnitudes.
struct FlatLayout {
    std::optional<int> width;
    bool phase = false;
    // What the values are, for every format but CSV, whose column says it.
    SpectrumQuantity quantity;
};

// One output format: how it is named, recognised, written and read.
struct SpectrumFormat {
    OutputFormat format;
    std::string_view title;      // what messages call it or its values: "raw 16-bit", "CSV"
    std::string_view extension;  // a file name ending so (any case) is taken for this format
    std::string_view magic;      // what every file of it begins with; empty for none
    bool selfDescribing;         // the file says its layout; else a flat run of values
    std::string_view valueType;  // of a flat file: the NumPy type of its values ("<i2")
    // Writes `values` (rows * bins, magnitudes first) in the layout `shape`;
    // null for a format that holds a matrix only (see data/MatrixFormats).
    void (*write)(SpectrumWriter& out, std::span<const double> values, const SpectrumShape& shape,
                  const OutputOptions& options);
    // Reads a whole file; `layout` serves flat files only.
    SpectrumReading (*read)(std::string_view bytes, const SpectrumFormat& format, const FlatLayout& layout);

    std::string_view Name() const noexcept { return FormatName(format); }
};

// Every format, in the order a file is recognised by (SpectrumFormatOfFile).
std::span<const SpectrumFormat> SpectrumFormats() noexcept;
const SpectrumFormat& SpectrumFormatOf(OutputFormat format) noexcept;
// The first format whose magic begins `bytes` or whose extension ends
// `name`; raw when none does.
const SpectrumFormat& SpectrumFormatOfFile(std::string_view bytes, std::string_view name) noexcept;

// Writes `values` (rows * bins of them, magnitudes first, then phases in
// degrees) to `file` in `options.format` (std::invalid_argument for a format
// that holds a matrix only), in blocks of about 64 KiB
// assembled in `buffer` (grown as needed, kept for the next output):
// - raw: 16-bit signed little-endian samples, each as Data::ToSample16 gives it;
// - csv: a header of the column names (BinColumn, with a rate
//   FrequencyColumn, then the names of the rows from `shape`), then one line
//   per bin, LF-ended; numbers in the shortest text that reads back as the
//   same double, "." as decimal point; the frequency is bin * rate / width;
// - f32: little-endian float32 in the raw layout (see FaithfulFloat);
// - npy: a NumPy format 1.0 array of little-endian float64, shape (bins,) or
//   (rows, bins), its header as numpy.save writes it.
void WriteSpectrum(OutputFile& file, std::span<const double> values, const SpectrumShape& shape,
                   const OutputOptions& options, ByteBuffer& buffer);

// What WriteSpectrum would write, as bytes in memory (for callers that hand
// a spectrum on rather than store it).
std::string SpectrumBytes(std::span<const double> values, const SpectrumShape& shape, const OutputOptions& options);

// Grows `buffer` to what WriteSpectrum needs, so that a caller can allocate
// it before it creates an output. Throws std::bad_alloc.
void ReserveSpectrumBuffer(ByteBuffer& buffer);

// The float nearest to `x`, or its neighbour towards `x` where the nearest
// would round (half to even, clamped to +-32767) to another sample than `x`
// does, so that every format rounds to the raw output's sample.
float FaithfulFloat(double x) noexcept;

// The header of a .npy file of float64 values of `shape` (magic and version
// included); its length is a multiple of 64.
std::string NpyHeader(const SpectrumShape& shape);

// Reads the bytes of an output in `format` (recognised from the bytes and
// `name` when not given). Refuses empty files, a layout given for a format
// that says its own, partial values, negative or non-finite magnitudes
// (levels in dB may be negative, and -inf for a bin of 0) and phases beyond
// +-180 degrees, with a message that says which.
SpectrumReading ReadSpectrum(std::string_view bytes, std::string_view name, std::optional<OutputFormat> format,
                             const FlatLayout& layout);

}  // namespace tavox
