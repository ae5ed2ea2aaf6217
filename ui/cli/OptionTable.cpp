#include "ui/cli/OptionTable.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "app/BatchSettings.h"
#include "app/Jobs.h"
#include "common/InputOptions.h"
#include "data/Path.h"
#include "ui/cli/CommandOptions.h"

namespace tavox {
namespace {

constexpr int MinPlotWidth = 400;
constexpr int MinPlotHeight = 300;
constexpr int MaxPlotSide = 8000;
constexpr long MaxViewWidth = 1L << 26;
// Help lines beside the options begin in this column.
constexpr std::size_t HelpColumn = 28;

// "a, b or c" (`last` " or "), "a|b|c" (`between` "|", `last` "|").
std::string Joined(const std::vector<std::string_view>& names, std::string_view between, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? last : between;
        text += names[i];
    }
    return text;
}

const std::vector<std::string_view>& Formats() {
    static const std::vector<std::string_view> names(OutputFormatNames.begin(), OutputFormatNames.end());
    return names;
}

const std::vector<std::string_view>& Layouts() {
    static const std::vector<std::string_view> names(OutputLayoutNames.begin(), OutputLayoutNames.end());
    return names;
}

const std::vector<std::string_view>& Averages() {
    static const std::vector<std::string_view> names(AverageModeNames.begin(), AverageModeNames.end());
    return names;
}

const std::vector<std::string_view>& SampleFormats() {
    static const std::vector<std::string_view> names(SampleFormatNames.begin(), SampleFormatNames.end());
    return names;
}

const std::vector<std::string_view>& InputKinds() {
    static const std::vector<std::string_view> names(InputKindNames.begin(), InputKindNames.end());
    return names;
}

template <std::size_t N>
std::vector<std::string_view> Names(const std::array<std::string_view, N>& names) {
    return std::vector<std::string_view>(names.begin(), names.end());
}

// A finite decimal number, the whole text.
std::optional<double> ReadNumber(const std::string& text) {
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

// The start of an error line about a bad value: "--name=value ".
std::string Given(const OptionRow& row, const std::string& text) {
    return std::string("--") + row.name + "=" + text + " ";
}

std::string Text(const char* value) {
    return value != nullptr ? value : "";
}

std::optional<double> ReadRate(const std::string& text) {
    double rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || !ValidRate(rate)) return std::nullopt;
    return rate;
}

template <class Number>
std::optional<Number> ReadWhole(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<PlotSettings> ReadPlotSize(const std::string& text, PlotSettings plot) {
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

// Whether the file `path` that --`name` names can be made: a file name in a
// folder that exists and can be written.
std::string CheckWritablePath(const std::string& name, const std::string& allowed, const std::string& path) {
    const std::string prefix = "--" + name + "=" + path + ": ";
    if (path.empty()) return "--" + name + " needs a value: " + allowed;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return prefix + "is a folder; give " + allowed;
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

std::string CheckReportPath(const OptionRow& row, const std::string& path) {
    if (path == "-") return {};
    return CheckWritablePath("report", row.allowed, path);
}

// The measurement options, made when a measuring option comes first.
MeasureOptions& Measuring(CommandOptions& options) {
    return options.output.measure ? *options.output.measure : options.output.measure.emplace();
}

ViewOptions& View(CommandOptions& options) {
    return options.view ? *options.view : options.view.emplace();
}

std::vector<OptionRow> MakeRows() {
    const std::string formats = Joined(Formats(), ", ", " or ");
    return {
        {"format", required_argument, formats, "--format=" + Joined(Formats(), "|", "|"),
         "format of the outputs: raw 16-bit samples (the default),\n"
         "CSV text, little-endian float32 or a NumPy .npy of float64;\n"
         "all but raw keep the unrounded values; npz (with\n"
         "--layout=matrix) a NumPy .npz of the matrix and its axes",
         Joined(Formats(), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto format = FormatFromName(text);
             if (!format) return Given(row, text) + "is not a format; use " + row.allowed;
             options.output.format = *format;
             return {};
         }},
        {"layout", required_argument, Joined(Layouts(), " or ", " or "), "--layout=" + Joined(Layouts(), "|", "|"),
         "where method m puts its exposures: files, one numbered\n"
         "file each (the default), or matrix, all rows of one output\n"
         "named by VYSTUP with their times and frequencies (a\n"
         "spectrogram; --format=npz, npy, csv or f32)",
         Joined(Layouts(), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto layout = LayoutFromName(text);
             if (!layout) return Given(row, text) + "is not a layout; use " + row.allowed;
             options.output.layout = *layout;
             return {};
         }},
        {"rate", required_argument, "the sample rate in Hz, a number above 0 such as 48000", "--rate=HZ",
         "sample rate: adds frequency_hz = bin * HZ / DELKA to CSV\n"
         "outputs and the report, a Hz axis to --plot and --view",
         "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto rate = ReadRate(text);
             if (!rate) return Given(row, text) + "is not a sample rate; give " + row.allowed;
             options.output.rate = *rate;
             return {};
         }},
        {"average", required_argument, Joined(Averages(), ", ", " or "), "--average=" + Joined(Averages(), "|", "|"),
         "how method p combines its exposures, bin by bin (default\n"
         "mean; min holds the smallest; on the amplitude scale the\n"
         "median is not corrected for its bias, on power scales it is)",
         Joined(Averages(), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto mode = AverageFromName(text);
             if (!mode) return Given(row, text) + "is not known; use " + row.allowed;
             options.output.average = *mode;
             return {};
         }},
        {"scale", required_argument, Joined(Names(SpectrumScaleNames), ", ", " or "),
         "--scale=" + Joined(Names(SpectrumScaleNames), "|", "|"),
         "what the values are: the amplitude of a sine on a bin (the\n"
         "default), the one-sided power (a sine reads A^2/2) or its\n"
         "spectral density (power over the window's ENBW in Hz, with\n"
         "HZ of --rate, else the input's own, else 1); with --format\n"
         "other than raw",
         Joined(Names(SpectrumScaleNames), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto scale = ScaleFromName(text);
             if (!scale) return Given(row, text) + "is not a scale; use " + row.allowed;
             options.output.spectrum.scale = *scale;
             return {};
         }},
        {"unit", required_argument, Joined(Names(SpectrumUnitNames), ", ", " or "),
         "--unit=" + Joined(Names(SpectrumUnitNames), "|", "|"),
         "their unit: sample counts (the default), dB re a full-scale\n"
         "sine (dBFS), or volts and dB re 1 V through --full-scale",
         Joined(Names(SpectrumUnitNames), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto unit = UnitFromName(text);
             if (!unit) return Given(row, text) + "is not a unit; use " + row.allowed;
             options.output.spectrum.unit = *unit;
             return {};
         }},
        {"full-scale", required_argument, "the peak voltage of sample value 32767, a number above 0 such as 2.5",
         "--full-scale=VOLTS", "the peak voltage of sample value 32767 (--unit=volts|dbv)", "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto volts = ReadNumber(text);
             if (!volts || !ValidFullScale(*volts)) return Given(row, text) + "is not a voltage; give " + row.allowed;
             options.output.spectrum.fullScale = *volts;
             return {};
         }},
        {"overlap", required_argument, "a percentage from 0 to 95, such as 50", "--overlap=PERCENT",
         "Welch placement for methods p and m: exposures from the\n"
         "start of the range, overlapping by PERCENT, as many as fit\n"
         "(D, when given, caps them)",
         "0 50 75",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto percent = ReadNumber(text);
             if (!percent || !ValidOverlap(*percent)) {
                 return Given(row, text) + "is not an overlap; give " + row.allowed;
             }
             options.output.spectrum.overlap = *percent;
             return {};
         }},
        {"detrend", required_argument, Joined(Names(DetrendNames), ", ", " or "),
         "--detrend=" + Joined(Names(DetrendNames), "|", "|"),
         "what each exposure loses before the window: nothing, its\n"
         "mean (as the letter c) or its least-squares line",
         Joined(Names(DetrendNames), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto detrend = DetrendFromName(text);
             if (!detrend) return Given(row, text) + "is not known; use " + row.allowed;
             options.output.spectrum.detrend = *detrend;
             return {};
         }},
        {"pad", required_argument, "a power of two from the width DELKA to 65536, such as 4096", "--pad=M",
         "transforms M points: the weighted exposure, then M - DELKA\n"
         "zeros; M/2 bins at HZ/M (the window's constants stay\n"
         "those of DELKA samples)",
         "256 512 1024 2048 4096 8192 16384 32768 65536",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto points = ReadWhole<long>(text);
             if (!points || !ValidPad(*points))
                 return Given(row, text) + "is not a transform size; give " + row.allowed;
             options.output.spectrum.pad = static_cast<std::int32_t>(*points);
             return {};
         }},
        {"measure", optional_argument, "a CSV file name", "--measure[=FILE.csv]",
         "measures every output's spectrum: the interpolated peak,\n"
         "the fundamental, its harmonics, SNR, THD, THD+N, SINAD,\n"
         "ENOB, SFDR and the noise floor, into each file's report\n"
         "object; =FILE.csv also writes a row per output there\n"
         "(per exposure of a --layout=matrix output)",
         "@file",
         [](const OptionRow&, const char* value, CommandOptions& options) -> std::string {
             if (!options.output.measure) options.output.measure.emplace();
             if (value == nullptr) return {};
             options.measureTable = Text(value);
             return CheckWritablePath("measure", "a CSV file name", *options.measureTable);
         }},
        {"fundamental", required_argument, "a frequency in Hz above 0 and below half the rate, such as 1000",
         "--fundamental=HZ", "with --measure: the fundamental near HZ (default: the\nstrongest component)", "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto hz = ReadNumber(text);
             if (!hz || *hz <= 0) return Given(row, text) + "is not a frequency; give " + row.allowed;
             Measuring(options).fundamental = *hz;
             return {};
         }},
        {"harmonics", required_argument, "a whole number from 1 to 20 (1 counts none)", "--harmonics=H",
         "with --measure: harmonics 2 to H count as distortion\n(default 6; folded about multiples of the rate)",
         "2 3 4 5 6 7 8 9 10 20",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto h = ReadWhole<long>(text);
             if (!h || *h < 1 || *h > MaxHarmonics) return Given(row, text) + "is not a count; give " + row.allowed;
             Measuring(options).harmonics = static_cast<std::int32_t>(*h);
             return {};
         }},
        {"measure-band", required_argument, "LO:HI in Hz, 0 <= LO < HI, such as 20:20000", "--measure-band=LO:HI",
         "with --measure: the noise and harmonics counted lie\nwithin LO..HI Hz (default: 0 to half the rate)",
         "20:20000",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const std::size_t colon = text.find(':');
             const auto low = colon == std::string::npos ? std::nullopt : ReadNumber(text.substr(0, colon));
             const auto high = colon == std::string::npos ? std::nullopt : ReadNumber(text.substr(colon + 1));
             if (!low || !high || *low < 0 || *high <= *low) {
                 return Given(row, text) + "is not a band; give " + row.allowed;
             }
             Measuring(options).bandLow = *low;
             Measuring(options).bandHigh = *high;
             return {};
         }},
        {"bands", required_argument, "1, 3, 6 or 12 bands per octave", "--bands=1|3|6|12",
         "writes the fractional-octave band levels of every output\n"
         "next to it, <output>.bands.csv (IEC 61260-1 base-10 mid\n"
         "frequencies, summed from the bins); needs --rate or a\n"
         "file that states its rate; not with --layout=matrix",
         "1 3 6 12",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto bands = ReadWhole<long>(text);
             if (!bands || !ValidBandsPerOctave(*bands)) {
                 return Given(row, text) + "is not a band width; give " + row.allowed;
             }
             options.output.bands = static_cast<std::int32_t>(*bands);
             return {};
         }},
        {"fft", required_argument, Joined(Names(FftModeNames), ", ", " or "),
         "--fft=" + Joined(Names(FftModeNames), "|", "|"),
         "the transform: the kernel whose outputs stay the same bit\n"
         "for bit (the default), or FFTW's real-input transform, about\n"
         "twice as fast and within one count of it on raw outputs",
         Joined(Names(FftModeNames), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto mode = FftModeFromName(text);
             if (!mode) return Given(row, text) + "is not a transform; use " + row.allowed;
             options.output.spectrum.fft = *mode;
             return {};
         }},
        {"report", required_argument, "a file name, or - for standard output", "--report=FILE|-",
         "a JSON Lines report: one object per file and the totals;\n"
         "- writes it to standard output instead of the result lines",
         "@file",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             options.report = Text(value);
             return CheckReportPath(row, *options.report);
         }},
        {"shard", required_argument, "K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4", "--shard=K/N",
         "only share K of N equal shares of the inputs in name order\n"
         "(K from 0 to N-1; N counts as 0, so 1 to N works too), for\n"
         "job arrays and GNU parallel; an empty share is all right",
         "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto share = ParseBatchShare(text);
             if (!share) return Given(row, text) + "is not a share; give " + row.allowed;
             options.shard = *share;
             return {};
         }},
        {"jobs", required_argument, "a number of threads from 1 to 256, or 0 for every CPU", "--jobs=N",
         "threads that transform files (or the exposures of one\n"
         "file) side by side, 1 to 256; 0 or none: every CPU this\n"
         "process may use, unless the environment sets TAVOX_JOBS=N.\n"
         "The outputs do not depend on it",
         "0 1 2 4 8",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto jobs = ReadJobs(text);
             if (!jobs) return Given(row, text) + "is not a number of threads; give " + row.allowed;
             options.jobs = *jobs;
             return {};
         }},
        {"quiet", no_argument, "", "--quiet",
         "no result lines, no title: the result lines of the files\n"
         "that failed go to standard error",
         "",
         [](const OptionRow&, const char*, CommandOptions& options) -> std::string {
             options.quiet = true;
             return {};
         }},
        {"input-format", required_argument, Joined(InputKinds(), " or ", " or "),
         "--input-format=" + Joined(InputKinds(), "|", "|"),
         "auto (the default): WAV, FLAC, AIFF, CAF and W64 sound files\n"
         "and SigMF recordings are known by their contents (and the\n"
         "rate they state counts unless --rate is given), any other\n"
         "file is raw samples; raw: every file is raw samples",
         Joined(InputKinds(), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto kind = InputKindFromName(text);
             if (!kind) return Given(row, text) + "is not known; use " + row.allowed;
             options.input.kind = *kind;
             return {};
         }},
        {"sample-format", required_argument, Joined(SampleFormats(), ", ", " or "), "--sample-format=FORMAT",
         "samples of raw inputs: s16le (the default), s16be, s8, u8,\n"
         "u16le, u16be, s24le, s24be, s32le, s32be, u32le, u32be,\n"
         "f32le, f32be, f64le or f64be; read on the 16-bit scale\n"
         "(24-bit / 256, 32-bit / 65536, 8-bit * 256, floats * 32768)",
         Joined(SampleFormats(), " ", " "),
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto format = SampleFormatFromName(text);
             if (!format) return Given(row, text) + "is not a sample format; use " + row.allowed;
             options.input.sampleFormat = *format;
             return {};
         }},
        {"channels", required_argument, "the interleaved channels of raw inputs, 1 to 1024", "--channels=C",
         "interleaved channels of raw inputs, 1 to 1024 (default 1)", "1 2 4 8",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto channels = ReadWhole<int>(text);
             if (!channels || *channels < 1 || *channels > MaxChannels) {
                 return Given(row, text) + "is not a number of channels; give " + row.allowed;
             }
             options.input.channels = *channels;
             return {};
         }},
        {"channel", required_argument, "a channel number from 1, or all", "--channel=K|all",
         "the channel transformed, from 1 (default 1); all: each\n"
         "channel into outputs of its own, named with _chK before\n"
         "the extension (tone_ch1.csv, tone_ch2.csv)",
         "1 2 all",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             if (text == "all") {
                 options.input.eachChannel = true;
                 return {};
             }
             const auto channel = ReadWhole<int>(text);
             if (!channel || *channel < 1 || *channel > MaxChannels) {
                 return Given(row, text) + "is not a channel; give " + row.allowed;
             }
             options.input.channel = *channel;
             options.input.eachChannel = false;
             return {};
         }},
        {"plot", optional_argument, "linear or db", "--plot[=linear|db]",
         "writes a picture of every output next to it, <output>.png:\n"
         "magnitudes on a linear scale or in dB re full scale\n"
         "(32767, floor -150 dB); for method f the phases below;\n"
         "method m: one spectrogram per input (dB unless =linear)",
         "linear db",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             PlotSettings& plot = options.plot ? *options.plot : options.plot.emplace();
             const std::string text = Text(value);
             plot.scaleChosen = value != nullptr;
             if (value == nullptr || text == "linear") {
                 plot.scale = PlotScale::Linear;
             } else if (text == "db") {
                 plot.scale = PlotScale::Db;
             } else {
                 return Given(row, text) + "is not a scale; use " + row.allowed;
             }
             return {};
         }},
        {"plot-size", required_argument, "WIDTHxHEIGHT in pixels, from 400x300 to 8000x8000, such as 1200x700",
         "--plot-size=WxH", "size of those pictures in pixels (default 1200x700)", "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto sized = ReadPlotSize(text, options.plot.value_or(PlotSettings{}));
             if (!sized) return Given(row, text) + "is not a size; give " + row.allowed;
             options.plot = *sized;
             return {};
         }},
        {"view", required_argument, "a spectrum file (" + formats + ")", "--view=FILE",
         "opens FILE (raw, csv, f32 or npy output) in the spectrum\n"
         "viewer; needs a display; takes no fields; an .npz matrix,\n"
         "a folder or a pattern of numbered outputs: a spectrogram",
         "@file",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             if (text.empty()) return "--view needs a value: " + row.allowed;
             View(options).file = text;
             return {};
         }},
        {"peaks", required_argument, "a spectrum file (" + formats + ")", "--peaks=FILE",
         "writes the peaks that pictures mark in FILE as CSV,\n"
         "the strongest first: at most three, each 20 dB out of\n"
         "the local noise floor; FILE is read as --view reads it;\n"
         "takes no fields",
         "@file",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             if (text.empty()) return "--peaks needs a value: " + row.allowed;
             View(options).file = text;
             options.peaks = true;
             return {};
         }},
        {"width", required_argument, "the exposure width in samples, an even number such as 1024", "--width=N",
         "with --view: the exposure width of a raw or f32 FILE\n"
         "(default: from its size)",
         "@text",
         [](const OptionRow& row, const char* value, CommandOptions& options) -> std::string {
             const std::string text = Text(value);
             const auto width = ReadWhole<long>(text);
             if (!width || *width < 2 || *width > MaxViewWidth || *width % 2 != 0) {
                 return Given(row, text) + "is not a width; give " + row.allowed;
             }
             View(options).width = static_cast<int>(*width);
             return {};
         }},
        {"phase", no_argument, "", "--phase",
         "with --view: a raw or f32 FILE holds magnitudes and\n"
         "phases (method f)",
         "",
         [](const OptionRow&, const char*, CommandOptions& options) -> std::string {
             View(options).phase = true;
             return {};
         }},
        {"self-test", no_argument, "", "--self-test", "checks this installation on this processor and exits", "",
         [](const OptionRow&, const char*, CommandOptions& options) -> std::string {
             options.selfTest = true;
             return {};
         }},
        {"help", no_argument, "", "--help, --version", "", "",
         [](const OptionRow&, const char*, CommandOptions& options) -> std::string {
             options.help = true;
             return {};
         }},
        {"version", no_argument, "", "", "", "",
         [](const OptionRow&, const char*, CommandOptions& options) -> std::string {
             options.version = true;
             return {};
         }},
    };
}

}  // namespace

std::span<const OptionRow> OptionRows() {
    static const std::vector<OptionRow> rows = MakeRows();
    return rows;
}

const OptionRow* FindOption(std::string_view name) {
    for (const OptionRow& row : OptionRows()) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

const option* LongOptions() {
    static const std::vector<option> options = [] {
        std::vector<option> table;
        for (const OptionRow& row : OptionRows()) {
            table.push_back({row.name, row.argument, nullptr, static_cast<int>(table.size()) + FirstOptionId});
        }
        table.push_back({nullptr, 0, nullptr, 0});
        return table;
    }();
    return options.data();
}

std::string AllOptionNames() {
    std::vector<std::string> names;
    for (const OptionRow& row : OptionRows()) names.push_back(std::string("--") + row.name);
    return Joined(std::vector<std::string_view>(names.begin(), names.end()), ", ", " and ");
}

std::string OptionsHelpText() {
    std::string text = "Options (before the fields; -- ends them):\n";
    const std::string indent(HelpColumn, ' ');
    for (const OptionRow& row : OptionRows()) {
        if (row.synopsis.empty()) continue;
        std::string line = "  " + row.synopsis;
        std::string_view help = row.help;
        if (help.empty()) {
            text += line + '\n';
            continue;
        }
        // A synopsis too long for its column gets a line of its own.
        if (line.size() + 2 > HelpColumn) {
            text += line + '\n';
            line = indent;
        }
        line.resize(HelpColumn, ' ');
        for (;;) {
            const std::size_t end = help.find('\n');
            text += line;
            text += help.substr(0, end);
            text += '\n';
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
            line = indent;
        }
    }
    return text +
           "A VSTUP that does not begin with / is taken relative to the current folder.\n"
           "More in man tavox and in " TAVOX_HTML_DOCS "\n";
}

}  // namespace tavox
