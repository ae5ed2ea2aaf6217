#pragma once

#include <optional>
#include <string>

#include "common/SpectrumObserver.h"
#include "common/SpectrumOptions.h"

namespace tavox {

class Parameters;

// The two title lines of an output's picture: the input's name, then the
// method, window, width, exposures and the output's name (and how a
// calibrated spectrum was estimated).
struct PlotTitle {
    std::string title;
    std::string subtitle;
};

// `parameters` may be null: the line then leaves method and window out.
// With `spectrum` options other than the default the width names its
// padding, and a second line ("\n") gives the quantity, the window's
// constants (coherent gain, NENBW, ENBW in Hz with a `rate`, scalloping
// loss) and Welch's hop and overlap.
PlotTitle DescribeOutput(const WrittenSpectrum& written, const Parameters* parameters,
                         const SpectrumOptions* spectrum = nullptr, std::optional<double> rate = std::nullopt);
// The same for the spectrogram of `exposures` exposures, each transformed
// over `points` points, of `source`, whose outputs `outputs` names
// ("run7.npz", "run7.001 ... run7.999"), the rows of one matrix or files
// of their own.
PlotTitle DescribeSpectrogram(std::string_view source, std::size_t points, std::size_t exposures,
                              const std::string& outputs, bool matrix, const Parameters* parameters,
                              const SpectrumOptions* spectrum = nullptr, std::optional<double> rate = std::nullopt);

}  // namespace tavox
