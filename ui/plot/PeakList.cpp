#include <charconv>
#include <ostream>

#include "app/DisplayText.h"
#include "app/ExitStatus.h"
#include "app/SpectrumPeaks.h"
#include "ui/plot/PlotApi.h"
#include "ui/plot/SpectrumFile.h"

namespace tavox {

namespace {

// The shortest text that reads back as the same double.
std::string Shortest(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

}  // namespace

int WritePeaks(const ViewOptions& view, std::optional<double> rate, std::ostream& out, std::ostream& err) {
    const SpectrumReading reading = ReadSpectrumFile(view.file, view);
    if (!reading.spectrum) {
        err << "tavox: " << DisplayText(view.file) << ": " << reading.error << '\n';
        return ExitFileFailed;
    }
    const Spectrum& spectrum = *reading.spectrum;
    if (!rate) rate = spectrum.rate;
    const std::vector<double>& m = spectrum.magnitudes;
    out << (rate ? "bin,frequency_hz,magnitude\n" : "bin,magnitude\n");
    for (const std::size_t bin : SpectrumPeaks(m, 0, m.size())) {
        out << bin << ',';
        if (rate) out << Shortest(static_cast<double>(bin) * *rate / static_cast<double>(spectrum.width)) << ',';
        out << Shortest(m[bin]) << '\n';
    }
    out << std::flush;
    return ExitAllRight;
}

}  // namespace tavox
