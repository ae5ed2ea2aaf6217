#include "ui/plot/PlotTitle.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/Numeric.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "engine/WindowAndMethodNames.h"
#include "engine/WindowConstants.h"

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

std::string Fixed(double value, int decimals) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A second line: "PSD (dBFS/Hz); window: coherent gain 1.000, NENBW 1.500
// bins, ENBW 70.31 Hz, scalloping -1.42 dB; exposures 512 samples apart
// (50.0% overlap)".
std::string Estimation(const Parameters& parameters, const SpectrumOptions& spectrum, std::optional<double> rate) {
    const auto width = static_cast<std::size_t>(parameters.Width());
    // Worked out once per window and width: a multi draws up to 999 pictures.
    thread_local std::optional<std::pair<fftWindowEnum, WindowConstants>> kept;
    if (!kept || kept->first != parameters.Window() || kept->second.width != width) {
        kept.emplace(parameters.Window(), ConstantsOfWeights(parameters.WindowWeights(), width));
    }
    const WindowConstants& c = kept->second;
    std::string text = "\n" + AxisTitle(spectrum.Quantity()) + "; window: coherent gain " + Fixed(c.coherentGain, 3) +
                       ", NENBW " + Fixed(c.nenbw, 3) + " bins";
    if (rate) text += ", ENBW " + Fixed(c.Enbw(*rate), 2) + " Hz";
    text += ", scalloping loss " + Fixed(c.ScallopingLossDb(), 2) + " dB";
    if (spectrum.overlap && parameters.Method() != fftMethodSimple) {
        const double hop = std::clamp(RoundHalfEven(static_cast<double>(width) * (1 - *spectrum.overlap / 100)), 1.0,
                                      static_cast<double>(width));
        text += "; exposures " + std::to_string(static_cast<long>(hop)) + " samples apart (" +
                Fixed(100 * (static_cast<double>(width) - hop) / static_cast<double>(width), 1) + "% overlap)";
    }
    return text;
}

}  // namespace

// "width 1024, " or, padded, "width 1024 padded to 4096, ".
std::string WidthText(const Parameters* parameters, std::size_t points, bool calibrated) {
    if (calibrated && parameters && static_cast<std::size_t>(parameters->Width()) != points) {
        return "width " + std::to_string(parameters->Width()) + " padded to " + std::to_string(points) + ", ";
    }
    return "width " + std::to_string(points) + ", ";
}

PlotTitle DescribeSpectrogram(std::string_view source, std::size_t points, std::size_t exposures,
                              const std::string& outputs, bool matrix, const Parameters* parameters,
                              const SpectrumOptions* spectrum, std::optional<double> rate) {
    const bool calibrated = spectrum != nullptr && *spectrum != SpectrumOptions{};
    PlotTitle title;
    title.title = PathName(source);
    std::string line;
    if (parameters) {
        const bool center = parameters->Center();
        line = std::string("method m") + (center ? "c" : "") +
               (matrix ? " (a row of one matrix per exposure" : " (one file per exposure") +
               (center ? ", centred), " : "), ") + std::string(NamesOf(parameters->Window()).title) + " window, ";
    }
    line += WidthText(parameters, points, calibrated) + std::to_string(exposures) +
            (exposures == 1 ? " exposure" : " exposures") + " \u2192 " + outputs;
    if (calibrated && parameters) line += Estimation(*parameters, *spectrum, rate);
    title.subtitle = line;
    return title;
}

PlotTitle DescribeOutput(const WrittenSpectrum& written, const Parameters* parameters, const SpectrumOptions* spectrum,
                         std::optional<double> rate) {
    const bool calibrated = spectrum != nullptr && *spectrum != SpectrumOptions{};
    PlotTitle title;
    title.title = PathName(written.source);
    std::string line;
    if (parameters)
        line = MethodText(*parameters) + ", " + std::string(NamesOf(parameters->Window()).title) + " window, ";
    line += WidthText(parameters, written.width, calibrated);
    if (written.exposure > 0) {
        line += "exposure " + std::to_string(written.exposure);
    } else {
        line += std::to_string(written.combined) + (written.combined == 1 ? " exposure" : " exposures");
    }
    line += " \u2192 " + PathName(written.output);
    if (calibrated && parameters) line += Estimation(*parameters, *spectrum, rate);
    title.subtitle = line;
    return title;
}

}  // namespace tavox
