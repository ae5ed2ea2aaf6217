#pragma once

#include <memory>
#include <string>

#include "ui/plot/PlotOptions.h"
#include "ui/plot/SpectrogramPlot.h"

namespace tavox {

// What reading a spectrogram gave: its data and how it was read, or why it
// could not be.
struct SpectrogramReading {
    std::shared_ptr<SpectrogramData> data;
    std::string how;
    std::string source;  // the input the matrix was made of, when it says so
    std::string error;
};

// True when `path` names a spectrogram rather than one spectrum: an .npz
// file (by its first bytes), a folder, or a name with "*" or "?".
bool IsSpectrogramPath(const std::string& path);

// Reads the matrix of an .npz written with --layout=matrix: S, f, t, start
// and meta (its rate and time unit); files over 1 GiB are refused.
SpectrogramReading ReadSpectrogramFile(const std::string& path);

// Stacks the numbered outputs of a multi (extensions 001 to 999) in number
// order, each read as `options` say: those of a folder, which must hold the
// series of one input, or those a "*"/"?" pattern names. The numbers must
// follow each other and every output hold as many bins as the first; the
// rows are placed by exposure number, the bins at `rate` when given.
SpectrogramReading ReadSpectrumSeries(const std::string& path, const ViewOptions& options, std::optional<double> rate);

}  // namespace tavox
