#include "ui/plot/PlotTitle.h"

#include "data/Path.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

// "method fc (with phases, centred)" and the like: the letters of the command line.
std::string MethodText(const Parameters& parameters) {
    std::string letters;
    std::string notes;
    switch (parameters.Method()) {
        case fftMethodSimple:
            letters = parameters.Phase() ? "f" : "e";
            if (parameters.Phase()) notes = "with phases";
            break;
        case fftMethodAverage:
            letters = "p";
            notes = "average";
            break;
        case fftMethodMulti:
            letters = "m";
            notes = "one file per exposure";
            break;
    }
    if (parameters.Center()) {
        letters += "c";
        notes += notes.empty() ? "centred" : ", centred";
    }
    return "method " + letters + (notes.empty() ? "" : " (" + notes + ")");
}

std::string WindowText(fftWindowEnum window) {
    switch (window) {
        case fftWindowHanning:
            return "Hanning window";
        case fftWindowFlatTop:
            return "flat-top window";
        default:
            return "rectangle window";
    }
}

}  // namespace

PlotTitle DescribeOutput(const WrittenSpectrum& written, const Parameters* parameters) {
    PlotTitle title;
    title.title = PathName(written.source);
    std::string line;
    if (parameters) line = MethodText(*parameters) + ", " + WindowText(parameters->Window()) + ", ";
    line += "width " + std::to_string(written.width) + ", ";
    if (written.exposure > 0) {
        line += "exposure " + std::to_string(written.exposure);
    } else {
        line += std::to_string(written.combined) + (written.combined == 1 ? " exposure" : " exposures");
    }
    line += " \u2192 " + PathName(written.output);
    title.subtitle = line;
    return title;
}

}  // namespace tavox
