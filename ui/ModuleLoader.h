#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/plot/PlotOptions.h"

namespace tavox {

struct BatchSettings;
class PlotWriter;

// The desktop front end (libtavox_desktop.so) and the picture writer and
// viewer (libtavox_plot.so) live in modules of their own, loaded only when
// they are asked for, so that terminal runs never load the window toolkit.
// Each entry gives nothing, with the reason in `error`, when its module
// cannot be loaded. A module stays loaded until the process ends: Qt
// registers exit handlers.
std::optional<int> RunDesktopModule(int argc, char** argv, const std::vector<std::string>& fields,
                                    const BatchSettings& settings, std::string& error);
std::shared_ptr<PlotWriter> LoadPlotWriter(const PlotOptions& plot, std::optional<double> rate, std::string& error);
std::optional<int> RunViewerModule(int argc, char** argv, const ViewOptions& view, std::optional<double> rate,
                                   std::string& error);
std::optional<int> WritePeaksModule(const ViewOptions& view, std::optional<double> rate, std::ostream& out,
                                    std::ostream& err, std::string& error);

}  // namespace tavox
