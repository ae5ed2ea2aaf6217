#include "ui/cli/CommandOptions.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "app/DisplayText.h"
#include "app/Jobs.h"
#include "data/FileSystem.h"
#include "data/Path.h"

namespace tavox {
namespace {

enum OptionId : int {
    Format = 1,
    Rate,
    Average,
    Report,
    Shard,
    Jobs,
    Quiet,
    Plot,
    PlotSize,
    View,
    Width,
    Phase,
    SelfTest,
    Help,
    Version
};

constexpr int MinPlotWidth = 400;
constexpr int MinPlotHeight = 300;
constexpr int MaxPlotSide = 8000;
constexpr long MaxViewWidth = 1L << 26;

constexpr option LongOptions[] = {
    {"format", required_argument, nullptr, Format},
    {"rate", required_argument, nullptr, Rate},
    {"average", required_argument, nullptr, Average},
    {"report", required_argument, nullptr, Report},
    {"shard", required_argument, nullptr, Shard},
    {"jobs", required_argument, nullptr, Jobs},
    {"quiet", no_argument, nullptr, Quiet},
    {"plot", optional_argument, nullptr, Plot},
    {"plot-size", required_argument, nullptr, PlotSize},
    {"view", required_argument, nullptr, View},
    {"width", required_argument, nullptr, Width},
    {"phase", no_argument, nullptr, Phase},
    {"self-test", no_argument, nullptr, SelfTest},
    {"help", no_argument, nullptr, Help},
    {"version", no_argument, nullptr, Version},
    {nullptr, 0, nullptr, 0},
};

// What each option with a value allows, as the error lines say it.
const char* Allowed(int id) {
    switch (id) {
        case Format: {
            static const std::string formats = NameList(OutputFormatNames);
            return formats.c_str();
        }
        case Rate:
            return "the sample rate in Hz, a number above 0 such as 48000";
        case Average: {
            static const std::string modes = NameList(AverageModeNames);
            return modes.c_str();
        }
        case Report:
            return "a file name, or - for standard output";
        case Shard:
            return "K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4";
        case Jobs:
            return "a number of threads from 1 to 256, or 0 for every CPU";
        case Plot:
            return "linear or db";
        case PlotSize:
            return "WIDTHxHEIGHT in pixels, from 400x300 to 8000x8000, such as 1200x700";
        case View: {
            static const std::string file = "a spectrum file (" + NameList(OutputFormatNames) + ")";
            return file.c_str();
        }
        case Width:
            return "the exposure width in samples, an even number such as 1024";
        default:
            return "";
    }
}

const char* NameOf(int id) {
    for (const option& o : LongOptions) {
        if (o.val == id) return o.name;
    }
    return "";
}

bool LooksLikeOption(const std::string& argument) {
    return argument.size() >= 2 && argument.compare(0, 2, "--") == 0;
}

// The long options an argument such as "--r=5" could mean.
std::vector<const option*> Candidates(const std::string& argument) {
    if (!LooksLikeOption(argument)) return {};
    const std::string name = argument.substr(2, argument.find('=') - 2);
    std::vector<const option*> found;
    for (const option& o : LongOptions) {
        if (o.name == nullptr) break;
        if (name == o.name) return {&o};
        if (!name.empty() && std::strncmp(o.name, name.c_str(), name.size()) == 0) found.push_back(&o);
    }
    return found;
}

std::string AllOptions() {
    return "--format, --rate, --average, --report, --shard, --jobs, --quiet, --plot, --plot-size, --view, "
           "--width, --phase, --self-test, --help and --version";
}

// The error line for an argument getopt_long refused.
std::string Refusal(const std::string& argument, bool missingValue) {
    const auto candidates = Candidates(argument);
    if (candidates.size() == 1) {
        const option& o = *candidates.front();
        if (missingValue || o.has_arg == required_argument) {
            return std::string("--") + o.name + " needs a value: " + Allowed(o.val);
        }
        return std::string("--") + o.name + " takes no value";
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
    return "unknown option " + argument.substr(0, argument.find('=')) + "; the options are " + AllOptions();
}

std::optional<double> ReadRate(const std::string& text) {
    double rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(rate) || !(rate > 0)) {
        return std::nullopt;
    }
    return rate;
}

template <class Number>
std::optional<Number> ReadWhole(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<PlotOptions> ReadPlotSize(const std::string& text, PlotOptions plot) {
    const std::size_t cross = text.find_first_of("xX");
    if (cross == std::string::npos) return std::nullopt;
    const auto width = ReadWhole<int>(std::string_view(text).substr(0, cross));
    const auto height = ReadWhole<int>(std::string_view(text).substr(cross + 1));
    if (!width || !height || *width < MinPlotWidth || *height < MinPlotHeight || *width > MaxPlotSide ||
        *height > MaxPlotSide) {
        return std::nullopt;
    }
    plot.width = *width;
    plot.height = *height;
    return plot;
}

std::string CheckReportPath(const std::string& path) {
    if (path == "-") return {};
    const std::string prefix = "--report=" + path + ": ";
    if (path.empty()) return std::string("--report needs a value: ") + Allowed(Report);
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return prefix + "is a folder; give a file name, or - for standard output";
    }
    const std::string folder = PathFolder(path).empty() ? "./" : PathFolder(path);
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return prefix + "the folder " + folder + " does not exist";
    }
    if (::access(folder.c_str(), W_OK) != 0 && ::access(path.c_str(), W_OK) != 0) {
        return prefix + "the folder " + folder + " cannot be written";
    }
    return {};
}

// Applies one option; returns the error line, or nothing.
std::string Apply(int id, const char* value, CommandOptions& options) {
    const std::string text = value != nullptr ? value : "";
    const std::string given = std::string("--") + NameOf(id) + "=" + text + " ";
    options.given.emplace_back(NameOf(id));
    switch (id) {
        case Format:
            if (const auto format = FormatFromName(text)) {
                options.output.format = *format;
                return {};
            }
            return given + "is not a format; use " + Allowed(id);
        case Rate:
            if (const auto rate = ReadRate(text)) {
                options.output.rate = *rate;
                return {};
            }
            return given + "is not a sample rate; give " + Allowed(id);
        case Average:
            if (const auto mode = AverageFromName(text)) {
                options.output.average = *mode;
                return {};
            }
            return given + "is not known; use " + Allowed(id);
        case Report:
            options.report = text;
            return CheckReportPath(text);
        case Shard:
            if (const auto share = ParseBatchShare(text)) {
                options.shard = *share;
                return {};
            }
            return given + "is not a share; give " + Allowed(id);
        case Jobs:
            if (const auto jobs = ReadJobs(text)) {
                options.jobs = *jobs;
                return {};
            }
            return given + "is not a number of threads; give " + Allowed(id);
        case Quiet:
            options.quiet = true;
            return {};
        case Plot: {
            PlotOptions& plot = options.plot ? *options.plot : options.plot.emplace();
            if (value == nullptr || text == "linear") {
                plot.scale = PlotScale::Linear;
            } else if (text == "db") {
                plot.scale = PlotScale::Db;
            } else {
                return given + "is not a scale; use " + Allowed(id);
            }
            return {};
        }
        case PlotSize:
            if (const auto sized = ReadPlotSize(text, options.plot.value_or(PlotOptions{}))) {
                options.plot = *sized;
                return {};
            }
            return given + "is not a size; give " + Allowed(id);
        case View:
            if (text.empty()) return std::string("--view needs a value: ") + Allowed(id);
            (options.view ? *options.view : options.view.emplace()).file = text;
            return {};
        case Width:
            if (const auto width = ReadWhole<long>(text);
                width && *width >= 2 && *width <= MaxViewWidth && *width % 2 == 0) {
                (options.view ? *options.view : options.view.emplace()).width = static_cast<int>(*width);
                return {};
            }
            return given + "is not a width; give " + Allowed(id);
        case Phase:
            (options.view ? *options.view : options.view.emplace()).phase = true;
            return {};
        case SelfTest:
            options.selfTest = true;
            return {};
        case Help:
            options.help = true;
            return {};
        case Version:
            options.version = true;
            return {};
        default:
            return {};
    }
}

}  // namespace

bool CommandOptions::Given(const std::string& name) const {
    return std::find(given.begin(), given.end(), name) != given.end();
}

namespace {

ParsedCommandLine ParseArguments(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    std::vector<std::string> texts = {"tavox"};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    // "+": stop at the first field; ":" tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv.data(), "+:", LongOptions, nullptr);
        if (id == -1) break;
        if (id == '?' || id == ':') {
            // A short option (there are none) leaves its letter in optopt (a
            // negative number for a byte above 127) and may not have advanced
            // optind yet; a long one leaves 0 or its id, which is below ' '.
            const bool shortOption = optopt >= ' ' || optopt < 0;
            const std::string argument = texts[static_cast<std::size_t>(std::max(optind - 1, 1))];
            parsed.error = shortOption ? "unknown option -" + std::string(1, static_cast<char>(optopt)) +
                                             "; the options are " + AllOptions()
                                       : Refusal(argument, id == ':');
            return parsed;
        }
        parsed.error = Apply(id, optarg, parsed.options);
        if (!parsed.error.empty()) return parsed;
    }
    // --plot-size, --width and --phase only shape what --plot and --view ask for.
    if (!parsed.options.Given("plot")) parsed.options.plot.reset();
    if (!parsed.options.Given("view")) parsed.options.view.reset();
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

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed = ParseArguments(arguments);
    // The line quotes what was typed: control characters and bytes that are
    // not UTF-8 are shown escaped, so that it stays one line on the terminal.
    parsed.error = DisplayText(parsed.error);
    return parsed;
}

std::string CheckOptionsAgainstFields(const CommandOptions& options, const std::vector<std::string>& fields) {
    for (const char* name : {"width", "phase"}) {
        if (options.Given(name) && !options.Given("view"))
            return std::string("--") + name + " applies to --view only: give --view=FILE too";
    }
    if (options.Given("plot-size") && !options.Given("plot"))
        return "--plot-size applies to --plot only: give --plot too";
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
    if (options.Given("average") && !fields.front().empty()) {
        const char method = fields.front().front();
        if (std::strchr("fFeEmM", method) != nullptr) {
            return std::string("--average applies to method p (the average of D exposures) only, not to method ") +
                   method;
        }
    }
    return {};
}

std::int32_t ResolveJobs(const CommandOptions& options, const char* environment, std::string& error) {
    std::int32_t jobs = 0;
    if (options.jobs) {
        jobs = *options.jobs;
    } else if (environment != nullptr) {
        if (const auto read = ReadJobs(environment)) {
            jobs = *read;
        } else {
            error = std::string("TAVOX_JOBS=") + environment + " is not a number of threads; give " + Allowed(Jobs);
        }
    }
    return jobs > 0 ? jobs : AvailableCpus();
}

void MakeInputAbsolute(std::vector<std::string>& fields, const std::string& folder) {
    if (fields.size() < 4 || fields[3].empty() || IsAbsolutePath(fields[3])) return;
    fields[3] = JoinPath(folder, fields[3]);
}

std::size_t MatchingInputs(const std::string& input) {
    return DefaultFileSystem()->List(PathFolder(input), PathName(input)).size();
}

std::string OptionsHelpText() {
    return "Options (before the fields; -- ends them):\n"
           "  --format=raw|csv|f32|npy  format of the outputs: raw 16-bit samples (the default),\n"
           "                            CSV text, little-endian float32 or a NumPy .npy of float64;\n"
           "                            all but raw keep the unrounded values\n"
           "  --rate=HZ                 sample rate: adds frequency_hz = bin * HZ / DELKA to CSV\n"
           "                            outputs and the report, a Hz axis to --plot and --view\n"
           "  --average=mean|rms|max|median\n"
           "                            how method p combines its exposures, bin by bin (default\n"
           "                            mean; the median is not corrected for its bias)\n"
           "  --report=FILE|-           a JSON Lines report: one object per file and the totals;\n"
           "                            - writes it to standard output instead of the result lines\n"
           "  --shard=K/N               only share K of N equal shares of the inputs in name order\n"
           "                            (K from 0 to N-1; N counts as 0, so 1 to N works too), for\n"
           "                            job arrays and GNU parallel; an empty share is all right\n"
           "  --jobs=N                  threads that transform files (or the exposures of one\n"
           "                            file) side by side, 1 to 256; 0 or none: every CPU this\n"
           "                            process may use, unless the environment sets TAVOX_JOBS=N.\n"
           "                            The outputs do not depend on it\n"
           "  --quiet                   no result line per file\n"
           "  --plot[=linear|db]        writes a picture of every output next to it, <output>.png:\n"
           "                            magnitudes on a linear scale or in dB re full scale\n"
           "                            (32767, floor -150 dB); for method f the phases below\n"
           "  --plot-size=WxH           size of those pictures in pixels (default 1200x700)\n"
           "  --view=FILE               opens FILE (raw, csv, f32 or npy output) in the spectrum\n"
           "                            viewer; needs a display; takes no fields\n"
           "  --width=N                 with --view: the exposure width of a raw or f32 FILE\n"
           "                            (default: from its size)\n"
           "  --phase                   with --view: a raw or f32 FILE holds magnitudes and\n"
           "                            phases (method f)\n"
           "  --self-test               checks this installation on this processor and exits\n"
           "  --help, --version\n"
           "A VSTUP that does not begin with / is taken relative to the current folder.\n";
}

}  // namespace tavox
