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

}  // namespace tavox
