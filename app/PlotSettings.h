#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/SpectrumObserver.h"
#include "common/SpectrumOptions.h"

namespace tavox {

class Parameters;

// How pictures of spectra draw magnitudes: on a linear scale, or in dB
// relative to full scale (32767).
enum class PlotScale { Linear, Db };

// A PNG picture next to every output of a batch: its scale and its size in
// pixels. A spectrogram (the exposures of method m) is drawn in dB unless
// the linear scale was chosen (`scaleChosen`).
struct PlotSettings {
    PlotScale scale = PlotScale::Linear;
    int width = 1200;
    int height = 700;
    bool scaleChosen = true;

    bool operator==(const PlotSettings&) const = default;
};

// Writes the picture of every output it is told about (as the observer of
// the batch's OutputOptions). A front end makes one; the core only drives it.
class PlotWriter : public SpectrumObserver {
public:
    // The parameters of the batch, read for each title (method, window).
    virtual void SetParameters(std::shared_ptr<const Parameters> parameters) = 0;
    // What the values are and how they were estimated (the axis title, the
    // window's constants in each subtitle); amplitudes by default.
    virtual void SetSpectrumOptions(const SpectrumOptions&) {}
    // Waits for every picture and ends the writer; returns, for each picture
    // that could not be written, "<path> could not be written: <reason>".
    virtual std::vector<std::string> Finish() = 0;
};

}  // namespace tavox
