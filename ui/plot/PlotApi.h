#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/SpectrumObserver.h"
#include "ui/plot/PlotOptions.h"

namespace tavox {

class Parameters;

// Writes `<output>.png` next to every output it is told about (see
// OutputOptions::observer): rendered and written on worker threads, each
// picture replacing an older one in one step.
class PlotWriter : public SpectrumObserver {
public:
    // The parameters of the batch, read for each title (method, window).
    virtual void SetParameters(std::shared_ptr<const Parameters> parameters) = 0;
    // Waits for every picture and ends the writer; returns, for each picture
    // that could not be written, "<path> could not be written: <reason>".
    virtual std::vector<std::string> Finish() = 0;
};

// A writer for pictures as `plot` asks for, x in Hz when `rate` is given.
// Needs a QGuiApplication, or creates one on the offscreen platform.
std::shared_ptr<PlotWriter> MakePlotWriter(const PlotOptions& plot, std::optional<double> rate);

// Opens the spectrum viewer on `view.file` in a QApplication of its own and
// returns when its window is closed (status 0).
int RunViewer(int argc, char** argv, const ViewOptions& view, std::optional<double> rate);

}  // namespace tavox
