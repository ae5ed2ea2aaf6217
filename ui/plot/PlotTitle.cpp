#include "ui/plot/PlotTitle.h"

#include "data/Path.h"
#include "engine/Parameters.h"
#include "engine/WindowAndMethodNames.h"

namespace tavox {
namespace {

// "method fc (with phases, centred)" and the like: the letters of the command line.
std::string MethodText(const Parameters& parameters) {
    const MethodNames& method = NamesOf(parameters.Method());
    const bool phase = parameters.Method() == fftMethodSimple && parameters.Phase();
    std::string letters(1, phase ? 'f' : method.letter);
    std::string notes(phase ? "with phases" : method.note);
    if (parameters.Center()) {
        letters += "c";
        notes += notes.empty() ? "centred" : ", centred";
    }
    return "method " + letters + (notes.empty() ? "" : " (" + notes + ")");
}

}  // namespace

PlotTitle DescribeOutput(const WrittenSpectrum& written, const Parameters* parameters) {
    PlotTitle title;
    title.title = PathName(written.source);
    std::string line;
    if (parameters)
        line = MethodText(*parameters) + ", " + std::string(NamesOf(parameters->Window()).title) + " window, ";
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
