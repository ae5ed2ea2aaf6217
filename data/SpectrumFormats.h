#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"

namespace tavox {

class OutputFile;

// How the values of one output are laid out: `rows` blocks (1, or 2 with the
// phases) of `bins` values each, from exposures `width` samples wide.
struct SpectrumShape {
    std::size_t bins = 0;
    std::size_t rows = 1;
    std::size_t width = 0;
};

// Writes `values` (rows * bins of them, magnitudes first, then phases in
// degrees) to `file` in `options.format`, in blocks of about 64 KiB
// assembled in `buffer` (grown as needed, kept for the next output):
// - raw: 16-bit signed little-endian samples, each as Data::ToSample16 gives it;
// - csv: the header "bin[,frequency_hz],magnitude[,phase_deg]", then one line
//   per bin, LF-ended; numbers in the shortest text that reads back as the
//   same double, "." as decimal point; frequency_hz (bin * rate / width) only
//   with a rate;
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

}  // namespace tavox
