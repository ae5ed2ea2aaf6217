#include "ui/cli/CommandOptions.h"

#include <getopt.h>

#include <algorithm>
#include <cstring>

#include "app/CommandLine.h"
#include "app/DisplayText.h"
#include "app/Jobs.h"
#include "common/Numeric.h"
#include "data/MatrixFormats.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "ui/cli/OptionTable.h"

namespace tavox {
namespace {

bool LooksLikeOption(const std::string& argument) {
    return argument.size() >= 2 && argument.compare(0, 2, "--") == 0;
}

// The rows an argument such as "--r=5" could mean.
std::vector<const OptionRow*> Candidates(const std::string& argument) {
    if (!LooksLikeOption(argument)) return {};
    const std::string name = argument.substr(2, argument.find('=') - 2);
    std::vector<const OptionRow*> found;
    for (const OptionRow& row : OptionRows()) {
        if (name == row.name) return {&row};
        if (!name.empty() && std::strncmp(row.name, name.c_str(), name.size()) == 0) found.push_back(&row);
    }
    return found;
}

// The error line for an argument getopt_long refused.
std::string Refusal(const std::string& argument, bool missingValue) {
    const auto candidates = Candidates(argument);
    if (candidates.size() == 1) {
        const OptionRow& row = *candidates.front();
        if (missingValue || row.argument == required_argument) {
            return std::string("--") + row.name + " needs a value: " + row.allowed;
        }
        return std::string("--") + row.name + " takes no value";
    }
    if (candidates.size() > 1) {
        std::string names;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            names += (i == 0                       ? ""
                      : i + 1 == candidates.size() ? " or "
                                                   : ", ") +
                     std::string("--") + candidates[i]->name;
        }
        return argument.substr(0, argument.find('=')) + " is ambiguous: " + names;
    }
    return "unknown option " + argument.substr(0, argument.find('=')) + "; the options are " + AllOptionNames();
}

ParsedCommandLine ParseArguments(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    std::vector<std::string> texts = {"tavox"};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());
    const std::span<const OptionRow> rows = OptionRows();

    // "+": stop at the first field; ":" tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv.data(), "+:", LongOptions(), nullptr);
        if (id == -1) break;
        if (id == '?' || id == ':') {
            // A short option (there are none) leaves its letter in optopt (a
            // negative number for a byte above 127) and may not have advanced
            // optind yet; a long one leaves 0 or its id, which is below ' '.
            const bool shortOption = optopt >= ' ' || optopt < 0;
            const std::string argument = texts[static_cast<std::size_t>(std::max(optind - 1, 1))];
            parsed.error = shortOption ? "unknown option -" + std::string(1, static_cast<char>(optopt)) +
                                             "; the options are " + AllOptionNames()
                                       : Refusal(argument, id == ':');
            return parsed;
        }
        const OptionRow& row = rows[static_cast<std::size_t>(id - 1)];
        parsed.options.given.emplace_back(row.name);
        parsed.error = row.apply(row, optarg, parsed.options);
        if (!parsed.error.empty()) return parsed;
    }
    const InputOptions& input = parsed.options.input;
    if (input.kind == InputKind::Raw && !input.eachChannel && input.channel > input.channels) {
        parsed.error = "--channel=" + std::to_string(input.channel) + " is beyond the " +
                       std::to_string(input.channels) + " channel" + (input.channels == 1 ? "" : "s") +
                       " of --channels, which every raw input has";
        return parsed;
    }
    // --plot-size, --width and --phase only shape what --plot and --view ask for.
    if (!parsed.options.Given("plot")) parsed.options.plot.reset();
    if (!parsed.options.Given("view") && !parsed.options.Given("peaks")) parsed.options.view.reset();
    const bool endMarked = optind > 1 && texts[static_cast<std::size_t>(optind - 1)] == "--";
    parsed.arguments.assign(texts.begin() + optind, texts.end());
    if (!endMarked) {
        for (std::size_t i = 1; i < parsed.arguments.size(); ++i) {
            if (LooksLikeOption(parsed.arguments[i])) {
                parsed.error = "the option " + parsed.arguments[i].substr(0, parsed.arguments[i].find('=')) +
                               " stands after the fields; options go before the first field (after -- every "
                               "argument is a field)";
                return parsed;
            }
        }
    }
    return parsed;
}

// The checks of --scale, --unit, --full-scale, --overlap, --detrend and
// --pad against each other, the format and the fields.
std::string CheckSpectrumOptions(const CommandOptions& options, const std::vector<std::string>& fields) {
    const SpectrumOptions& spectrum = options.output.spectrum;
    const std::string scale = "--scale=" + std::string(ScaleName(spectrum.scale));
    const std::string unit = "--unit=" + std::string(UnitName(spectrum.unit));
    const bool volts = spectrum.unit == SpectrumUnit::Volts || spectrum.unit == SpectrumUnit::Dbv;
    if (volts && !spectrum.fullScale) {
        return unit + " needs --full-scale=VOLTS, the peak voltage of sample value 32767";
    }
    if (!volts && spectrum.fullScale) return "--full-scale applies to --unit=volts or dbv only";
    if (spectrum.Quantity() != SpectrumQuantity{} && options.output.format == OutputFormat::Raw) {
        return (spectrum.scale != SpectrumScale::Amplitude ? scale : unit) +
               " cannot be written as raw 16-bit samples, which hold amplitudes in counts only: give "
               "--format=csv, f32 or npy";
    }
    if (spectrum.scale != SpectrumScale::Amplitude && options.output.average == AverageMode::Rms) {
        return "--average=rms applies to the amplitude scale; with " + scale + " the mean averages power";
    }
    const char method = fields.front().empty() ? '\0' : fields.front().front();
    if (spectrum.overlap && std::strchr("fFeE", method) != nullptr && method != '\0') {
        return std::string("--overlap applies to methods p and m (exposures over a range), not to method ") + method;
    }
    if (spectrum.detrend == Detrend::None && options.Given("detrend") && CenterFromLetter(fields.front())) {
        return "--detrend=none contradicts the letter c of the first field, which removes the mean";
    }
    if (spectrum.pad && fields.size() > 2) {
        std::int32_t width = 0;
        try {
            width = Parameters::NormalizeWidth(LocaleTextToInt32(fields[2]));
        } catch (...) {
            return {};  // the command line's own refusal
        }
        if (*spectrum.pad < width) {
            return "--pad=" + std::to_string(*spectrum.pad) + " is below the width " + std::to_string(width) +
                   " of DELKA; give a power of two from " + std::to_string(width) + " to 65536";
        }
    }
    return {};
}

}  // namespace

bool CommandOptions::Given(const std::string& name) const {
    return std::find(given.begin(), given.end(), name) != given.end();
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed = ParseArguments(arguments);
    // The line quotes what was typed: control characters and bytes that are
    // not UTF-8 are shown escaped, so that it stays one line on the terminal.
    parsed.error = DisplayText(parsed.error);
    return parsed;
}

std::string CheckOptionsAgainstFields(const CommandOptions& options, const std::vector<std::string>& fields) {
    for (const char* name : {"width", "phase"}) {
        if (options.Given(name) && !options.Given("view") && !options.Given("peaks"))
            return std::string("--") + name + " applies to --view only: give --view=FILE too";
    }
    if (options.Given("plot-size") && !options.Given("plot"))
        return "--plot-size applies to --plot only: give --plot too";
    if (options.Given("peaks")) {
        if (options.Given("view")) return "--peaks does not go with --view: give one of them";
        if (!fields.empty()) return "--peaks takes no fields: it reads one spectrum file";
        for (const std::string& name : options.given) {
            if (name != "peaks" && name != "width" && name != "phase" && name != "rate" && name != "format")
                return "--" + name + " does not go with --peaks (only --width, --phase, --rate and --format do)";
        }
        return {};
    }
    if (options.Given("view")) {
        if (!fields.empty()) return "--view takes no fields: it opens one spectrum file";
        for (const std::string& name : options.given) {
            if (name != "view" && name != "width" && name != "phase" && name != "rate" && name != "format")
                return "--" + name + " does not go with --view (only --width, --phase, --rate and --format do)";
        }
        return {};
    }
    if (options.selfTest) return fields.empty() ? std::string() : "--self-test takes no fields";
    if (fields.empty()) {
        for (const std::string& name : options.given) {
            if (name != "help" && name != "version")
                return "--" + name + " applies to a batch: give its fields after the options";
        }
        return {};
    }
    const char method = fields.front().empty() ? '\0' : fields.front().front();
    const bool multi = method == 'm' || method == 'M';
    if (options.Given("layout") && method != '\0' && !multi && std::strchr("fFeEpP", method) != nullptr) {
        return std::string("--layout applies to method m (each of D exposures) only, not to method ") + method;
    }
    const bool matrix = options.output.layout == OutputLayout::Matrix;
    if (matrix && !HoldsMatrix(options.output.format)) {
        return "--layout=matrix needs a format that holds the matrix and its axes: give --format=npz (or npy, csv, "
               "f32); raw 16-bit outputs take --layout=files";
    }
    if (options.output.format == OutputFormat::Npz && !matrix) {
        return "--format=npz holds the exposures of method m as one matrix: give --layout=matrix with method m";
    }
    if (options.Given("average") && !fields.front().empty()) {
        const char method = fields.front().front();
        if (std::strchr("fFeEmM", method) != nullptr) {
            return std::string("--average applies to method p (the average of D exposures) only, not to method ") +
                   method;
        }
    }
    return CheckSpectrumOptions(options, fields);
}

std::int32_t ResolveJobs(const CommandOptions& options, const char* environment, std::string& error) {
    std::int32_t jobs = 0;
    if (options.jobs) {
        jobs = *options.jobs;
    } else if (environment != nullptr) {
        if (const auto read = ReadJobs(environment)) {
            jobs = *read;
        } else {
            error = std::string("TAVOX_JOBS=") + environment + " is not a number of threads; give " +
                    FindOption("jobs")->allowed;
        }
    }
    return jobs > 0 ? jobs : AvailableCpus();
}

void MakeInputAbsolute(std::vector<std::string>& fields, const std::string& folder) {
    if (fields.size() < 4 || fields[3].empty() || IsAbsolutePath(fields[3])) return;
    fields[3] = JoinPath(folder, fields[3]);
}

}  // namespace tavox
