#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/Enums.h"
#include "common/OutputOptions.h"
#include "data/MemoryChannel.h"

namespace tavox {

class Parameters;

// Which pipeline's results a transform of samples in memory gives.
enum class SpectrumTarget {
    // The samples of raw disk outputs: what a batch writes for a sequence
    // file holding the same 16-bit samples. Needs 16-bit samples.
    DiskRaw,
    // The doubles a spreadsheet target receives for a source range whose
    // cells hold the samples. A spreadsheet target always takes the mean;
    // another average mode gives the unrounded values of a disk output.
    Sheet,
};

// The outputs of one transform, one after the other.
struct SampleSpectrum {
    // The result code a batch would report for the file.
    std::int32_t result = fftResultAllRight;
    // Outputs written: one, or one per exposure for the multi method (those
    // written before a failure).
    std::size_t outputs = 0;
    // Blocks of each output: 1, or 2 with phases (magnitudes, then phases).
    std::size_t rows = 0;
    // Values of each block: Width / 2 (the padded width / 2 with a pad).
    std::size_t bins = 0;
    // Exposures transformed: 1 for the simple method, else those combined
    // or written.
    std::int32_t exposures = 0;
    // Sheet: outputs * rows * bins values.
    std::vector<double> values;
    // DiskRaw: outputs * rows * bins samples.
    std::vector<std::int16_t> samples;
    // What was measured of the last output, when the options ask for it.
    Measures measures;
    // Multi: the 0-based first sample of each output's exposure.
    std::vector<std::int64_t> starts;
};

// Transforms samples held in memory with `parameters` and `average` through
// File and Data as a batch transforms one file, without copying the samples.
// A Parameters object is not changed and may serve several calls at once;
// everything else belongs to the call, so calls on different threads run in
// parallel. A 16-bit source needs no conversion; doubles are read as cells
// holding them are (CellSample). With `threads` above 1 the exposures of a
// long Average are computed on that many threads, with the same result.
// Raises nothing but std::bad_alloc.
SampleSpectrum TransformSamples(std::shared_ptr<const Parameters> parameters, AverageMode average,
                                MemorySamples samples, SpectrumTarget target, std::size_t threads = 1);
// The same with the output options of a batch: the average mode and the
// scale, unit, placement, detrending and padding of the spectrum (the format
// and any observer are not used), and the measurements asked for; a padded
// spectrum has pad / 2 bins.
SampleSpectrum TransformSamples(std::shared_ptr<const Parameters> parameters, const OutputOptions& options,
                                MemorySamples samples, SpectrumTarget target, std::size_t threads = 1);

}  // namespace tavox
