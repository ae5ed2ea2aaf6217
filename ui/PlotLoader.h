#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/cli/CommandOptions.h"

namespace tavox {

class PlotWriter;

// The picture writer of --plot and the viewer of --view live in a module of
// their own (libtavox_plot.so), loaded only when they are asked for. Each
// gives nothing, with the reason in `error`, when the module cannot be loaded.
std::shared_ptr<PlotWriter> LoadPlotWriter(const PlotOptions& plot, std::optional<double> rate, std::string& error);
std::optional<int> RunViewerModule(int argc, char** argv, const ViewOptions& view, std::optional<double> rate,
                                   std::string& error);

}  // namespace tavox
