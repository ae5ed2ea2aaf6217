#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/plot/PlotOptions.h"

namespace tavox {

// One spectrum as an output holds it: the magnitudes of bins 0 to
// width/2 - 1 and, for method f, the phases in degrees.
struct Spectrum {
    std::vector<double> magnitudes;
    std::vector<double> phases;  // empty when the output holds none
    std::size_t width = 0;       // exposure width in samples: twice the bins
    std::optional<double> rate;  // the sample rate a CSV file's frequency_hz column was made with
};

// What reading a file gave: the spectrum and how the file was read (format,
// layout and where the width came from), or why it is no spectrum.
struct SpectrumReading {
    std::optional<Spectrum> spectrum;
    std::string how;
    std::string error;
};

// Reads an output of any --format. The format is `options.format`, else
// .npy by its magic, CSV by its header or a .csv name, float32 by a .f32
// name, otherwise raw 16-bit samples. A raw or float32 file of S values
// holds S magnitudes of width 2S, or with `options.phase` S/2 magnitudes and
// S/2 phases of width S; `options.width`, when given, must agree. Refuses
// empty files, partial values, negative or non-finite magnitudes and phases
// beyond +-180 degrees, with a message that says which.
SpectrumReading ReadSpectrumFile(const std::string& path, const ViewOptions& options);
SpectrumReading ReadSpectrumBytes(std::string_view bytes, std::string_view name, const ViewOptions& options);

// The spectrum as CSV text, the layout of --format=csv (frequency_hz with a
// rate), numbers in their shortest exact form.
std::string SpectrumCsv(const Spectrum& spectrum, std::optional<double> rate);

}  // namespace tavox
