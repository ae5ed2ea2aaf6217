#pragma once

#include <optional>
#include <string>

#include "common/OutputOptions.h"

namespace tavox {

// How --plot draws: magnitudes on a linear scale, or in dB relative to full
// scale (32767).
enum class PlotScale { Linear, Db };

// A PNG picture next to every output (--plot, --plot-size).
struct PlotOptions {
    PlotScale scale = PlotScale::Linear;
    int width = 1200;
    int height = 700;
};

// The spectrum viewer on an existing output (--view and what goes with it).
struct ViewOptions {
    std::string file;
    std::optional<int> width;            // the exposure width of a raw or f32 file; from its size when not given
    bool phase = false;                  // a raw or f32 file holds magnitudes and phases
    std::optional<OutputFormat> format;  // how to read the file; from its contents and name when not given
};

}  // namespace tavox
