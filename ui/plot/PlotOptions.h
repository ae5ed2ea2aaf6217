#pragma once

#include <optional>
#include <string>

#include "app/PlotSettings.h"
#include "common/OutputOptions.h"

namespace tavox {

// A PNG picture next to every output (--plot, --plot-size).
using PlotOptions = PlotSettings;

// The spectrum viewer on an existing output (--view and what goes with it).
struct ViewOptions {
    std::string file;
    std::optional<int> width;            // the exposure width of a raw or f32 file; from its size when not given
    bool phase = false;                  // a raw or f32 file holds magnitudes and phases
    std::optional<OutputFormat> format;  // how to read the file; from its contents and name when not given
    SpectrumQuantity quantity;           // what a file holds that does not name it (all but CSV)
};

}  // namespace tavox
