#include "ui/desktop/BatchOptionsFile.h"

#include <charconv>
#include <iterator>
#include <string>
#include <vector>

#include "ui/cli/CommandOptions.h"
#include "ui/cli/OptionTable.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox {

namespace {

// The keys of the section and the options whose values they hold.
struct Key {
    const char* key;
    const char* option;
};
constexpr Key Keys[] = {{"Format", "format"}, {"Rate", "rate"},          {"Average", "average"},
                        {"Plot", "plot"},     {"PlotSize", "plot-size"}, {"Jobs", "jobs"}};
// Written only once they differ from the defaults, so that a file of
// earlier options stays as it was.
constexpr Key SpectrumKeys[] = {{"Scale", "scale"}, {"Unit", "unit"}, {"FullScale", "full-scale"}};
constexpr Key LayoutKey = {"Layout", "layout"};
constexpr Key FftKey = {"Fft", "fft"};
constexpr Key InputKeys[] = {{"InputFormat", "input-format"},
                             {"SampleFormat", "sample-format"},
                             {"Channels", "channels"},
                             {"Channel", "channel"}};

// What the command line would refuse together falls back to the defaults:
// a unit without its full scale, a scale or unit a raw output cannot hold,
// the rms of power, a matrix in a raw output, an npz of separate files.
void KeepConsistent(OutputOptions& output) {
    SpectrumOptions& spectrum = output.spectrum;
    const bool volts = spectrum.unit == SpectrumUnit::Volts || spectrum.unit == SpectrumUnit::Dbv;
    if (volts && !spectrum.fullScale) spectrum.unit = SpectrumUnit::Linear;
    if (spectrum.unit != SpectrumUnit::Volts && spectrum.unit != SpectrumUnit::Dbv) spectrum.fullScale.reset();
    if (spectrum.scale != SpectrumScale::Amplitude && output.average == AverageMode::Rms) {
        spectrum.scale = SpectrumScale::Amplitude;
    }
    if (spectrum.Quantity() != SpectrumQuantity{} && output.format == OutputFormat::Raw) {
        const FftMode fft = spectrum.fft;
        spectrum = SpectrumOptions{};
        spectrum.fft = fft;
    }
    if (output.layout == OutputLayout::Matrix && output.format == OutputFormat::Raw) {
        output.layout = OutputLayout::Files;
    }
    if (output.layout == OutputLayout::Files && output.format == OutputFormat::Npz) output.format = OutputFormat::Npy;
}

std::string RateText(double rate) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, rate).ptr;
    return std::string(text, end);
}

}  // namespace

BatchSettings ReadBatchOptions(const PrivateProfile& profile) {
    CommandOptions options;
    bool plot = false;
    std::vector<Key> keys(std::begin(Keys), std::end(Keys));
    keys.insert(keys.end(), std::begin(SpectrumKeys), std::end(SpectrumKeys));
    keys.push_back(LayoutKey);
    keys.push_back(FftKey);
    keys.insert(keys.end(), std::begin(InputKeys), std::end(InputKeys));
    for (const Key& key : keys) {
        const std::string value = profile.Read(BatchOptionsSection, key.key);
        if (value.empty()) continue;
        // Each value on its own, so that a bad one costs only itself.
        CommandOptions read = options;
        const OptionRow& row = *FindOption(key.option);
        if (!row.apply(row, value.c_str(), read).empty()) continue;
        options = read;
        plot = plot || key.option == std::string_view("plot");
    }
    // A size only shapes the pictures asked for.
    if (!plot) options.plot.reset();
    BatchSettings settings;
    settings.output = options.output;
    KeepConsistent(settings.output);
    settings.plot = options.plot;
    settings.jobs = options.jobs;
    settings.input = options.input;
    return settings;
}

bool WriteBatchOptions(const PrivateProfile& profile, const BatchSettings& settings) {
    const auto& plot = settings.plot;
    const std::string values[] = {
        std::string(FormatName(settings.output.format)),
        settings.output.rate ? RateText(*settings.output.rate) : std::string(),
        std::string(AverageName(settings.output.average)),
        !plot                          ? std::string()
        : plot->scale == PlotScale::Db ? "db"
                                       : "linear",
        plot ? std::to_string(plot->width) + "x" + std::to_string(plot->height) : std::string(),
        settings.jobs ? std::to_string(*settings.jobs) : std::string(),
    };
    bool written = true;
    for (std::size_t i = 0; i < std::size(Keys); ++i) {
        written = profile.Write(BatchOptionsSection, Keys[i].key, values[i]) && written;
    }
    const SpectrumOptions& spectrum = settings.output.spectrum;
    const std::string spectrumValues[] = {
        std::string(ScaleName(spectrum.scale)),
        std::string(UnitName(spectrum.unit)),
        spectrum.fullScale ? RateText(*spectrum.fullScale) : std::string(),
    };
    const bool chosen = spectrum.Quantity() != SpectrumQuantity{} || spectrum.fullScale;
    for (std::size_t i = 0; i < std::size(SpectrumKeys); ++i) {
        if (!chosen && profile.Read(BatchOptionsSection, SpectrumKeys[i].key).empty()) continue;
        written = profile.Write(BatchOptionsSection, SpectrumKeys[i].key, spectrumValues[i]) && written;
    }
    if (settings.output.layout != OutputLayout::Files || !profile.Read(BatchOptionsSection, LayoutKey.key).empty()) {
        written = profile.Write(BatchOptionsSection, LayoutKey.key, std::string(LayoutName(settings.output.layout))) &&
                  written;
    }
    const FftMode fft = settings.output.spectrum.fft;
    if (fft != FftMode::Exact || !profile.Read(BatchOptionsSection, FftKey.key).empty()) {
        written = profile.Write(BatchOptionsSection, FftKey.key, std::string(FftModeName(fft))) && written;
    }
    const InputOptions& input = settings.input;
    const std::string inputValues[] = {
        std::string(InputKindName(input.kind)),
        std::string(SampleFormatName(input.sampleFormat)),
        std::to_string(input.channels),
        input.eachChannel ? "all" : std::to_string(input.channel),
    };
    for (std::size_t i = 0; i < std::size(InputKeys); ++i) {
        if (input == InputOptions{} && profile.Read(BatchOptionsSection, InputKeys[i].key).empty()) continue;
        written = profile.Write(BatchOptionsSection, InputKeys[i].key, inputValues[i]) && written;
    }
    return written;
}

}  // namespace tavox
