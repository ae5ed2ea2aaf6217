#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/SpectrumFormats.h"
#include "ui/plot/PlotOptions.h"

namespace tavox {

// Reads an output of any --format (see ReadSpectrum): the format is
// `options.format`, else the one the file's bytes and name show; a raw or
// float32 file of S values holds S magnitudes of width 2S, or with
// `options.phase` S/2 magnitudes and S/2 phases of width S; `options.width`,
// when given, must agree. Files over 1 GiB are refused.
SpectrumReading ReadSpectrumFile(const std::string& path, const ViewOptions& options);
SpectrumReading ReadSpectrumBytes(std::string_view bytes, std::string_view name, const ViewOptions& options);

// The spectrum as CSV text, the layout of --format=csv (frequency_hz with a
// rate), numbers in their shortest exact form.
std::string SpectrumCsv(const Spectrum& spectrum, std::optional<double> rate);

}  // namespace tavox
