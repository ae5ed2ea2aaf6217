#include "ui/desktop/BatchOptionsFile.h"

#include <charconv>
#include <string>

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
constexpr Key Keys[] = {{"Format", "format"},
                        {"Rate", "rate"},
                        {"Average", "average"},
                        {"Plot", "plot"},
                        {"PlotSize", "plot-size"},
                        {"Jobs", "jobs"},
                        {"InputFormat", "input-format"},
                        {"SampleFormat", "sample-format"},
                        {"Channels", "channels"},
                        {"Channel", "channel"}};

std::string RateText(double rate) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, rate).ptr;
    return std::string(text, end);
}

}  // namespace

BatchSettings ReadBatchOptions(const PrivateProfile& profile) {
    CommandOptions options;
    bool plot = false;
    for (const Key& key : Keys) {
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
        std::string(InputKindName(settings.input.kind)),
        std::string(SampleFormatName(settings.input.sampleFormat)),
        std::to_string(settings.input.channels),
        settings.input.eachChannel ? "all" : std::to_string(settings.input.channel),
    };
    bool written = true;
    for (std::size_t i = 0; i < std::size(Keys); ++i) {
        written = profile.Write(BatchOptionsSection, Keys[i].key, values[i]) && written;
    }
    return written;
}

}  // namespace tavox
