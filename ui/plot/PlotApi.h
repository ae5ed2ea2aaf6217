#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "ui/plot/PlotOptions.h"

namespace tavox {

// A writer of `<output>.png` next to every output it is told about, as
// `plot` asks for, x in Hz when `rate` is given: rendered and written on
// worker threads, each picture replacing an older one in one step. Needs a QGuiApplication, or creates one on the
// offscreen platform.
std::shared_ptr<PlotWriter> MakePlotWriter(const PlotOptions& plot, std::optional<double> rate);

// Opens the spectrum viewer on `view.file` in a QApplication of its own and
// returns when its window is closed (status 0).
int RunViewer(int argc, char** argv, const ViewOptions& view, std::optional<double> rate);

// Writes the peaks the pictures mark in the spectrum of `view.file` (read as
// the viewer reads it) to `out` as CSV: the header "bin,magnitude", or
// "bin,frequency_hz,magnitude" with `rate` or a CSV file's own rate, then a
// line per peak, the strongest first. A file that cannot be read is named on
// `err`, with the reason (ExitFileFailed); else ExitAllRight.
int WritePeaks(const ViewOptions& view, std::optional<double> rate, std::ostream& out, std::ostream& err);

}  // namespace tavox
