#pragma once

#include <string>

#include "common/SpectrumObserver.h"

namespace tavox {

class Parameters;

// The two title lines of an output's picture: the input's name, then the
// method, window, width, exposures and the output's name.
struct PlotTitle {
    std::string title;
    std::string subtitle;
};

// `parameters` may be null: the line then leaves method and window out.
PlotTitle DescribeOutput(const WrittenSpectrum& written, const Parameters* parameters);
// The same for the spectrogram of `exposures` exposures of `width` samples of
// `source`, whose outputs `outputs` names ("run7.npz", "run7.001 ... run7.999"),
// the rows of one matrix or files of their own.
PlotTitle DescribeSpectrogram(std::string_view source, std::size_t width, std::size_t exposures,
                              const std::string& outputs, bool matrix, const Parameters* parameters);

}  // namespace tavox
