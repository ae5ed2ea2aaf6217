#include <getopt.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "support/TestSupport.h"
#include "ui/cli/CommandOptions.h"
#include "ui/cli/OptionTable.h"

namespace tavox {
namespace {

using Arguments = std::vector<std::string>;

const Arguments Fields = {"p", "h", "1024", "x.dat", "*.o", "4"};
const std::string AfterFields =
    " stands after the fields; options go before the first field (after -- every argument is a field)";

Arguments With(Arguments options, const Arguments& fields = Fields) {
    options.insert(options.end(), fields.begin(), fields.end());
    return options;
}

TEST(command_options_test, values_in_both_gnu_forms_and_abbreviations_and_defaults_without_options) {
    const ParsedCommandLine parsed =
        ParseCommandLine(With({"--format=csv", "--rate", "44100.5", "--av=rms", "--report", "-", "--quiet"}));
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.output.format, OutputFormat::Csv);
    EXPECT_EQ(parsed.options.output.rate, 44100.5);
    EXPECT_EQ(parsed.options.output.average, AverageMode::Rms);
    EXPECT_EQ(ParseCommandLine(With({"--shard=2/5"})).options.shard, (BatchShare{2, 5}));
    EXPECT_EQ(ParseCommandLine(With({"--shard", "5/5"})).options.shard, (BatchShare{0, 5}));
    EXPECT_EQ(parsed.options.report, "-");
    EXPECT_TRUE(parsed.options.quiet);
    EXPECT_EQ(parsed.arguments, Fields);

    // A second parse starts afresh.
    const ParsedCommandLine plain = ParseCommandLine(Fields);
    EXPECT_EQ(plain.arguments, Fields);
    EXPECT_EQ(plain.options.output.format, OutputFormat::Raw);
    EXPECT_FALSE(plain.options.output.rate || plain.options.report || plain.options.quiet);
    EXPECT_EQ(plain.options.output.average, AverageMode::Mean);
    EXPECT_EQ(plain.options.shard, (BatchShare{0, 1}));
}

TEST(command_options_test, double_dash_ends_the_options_and_lets_fields_look_like_options) {
    const Arguments fields = {"e", "h", "1024", "--odd.dat", "*.o"};
    const ParsedCommandLine marked = ParseCommandLine(With({"--format=f32", "--"}, fields));
    EXPECT_EQ(marked.error, "");
    EXPECT_EQ(marked.arguments, fields);
    EXPECT_EQ(ParseCommandLine(fields).error, "the option --odd.dat" + AfterFields);
    EXPECT_EQ(ParseCommandLine({"e", "h", "1024", "x.dat", "*.o", "--format=csv"}).error,
              "the option --format" + AfterFields);
    EXPECT_EQ(ParseCommandLine({"e", "h", "-1024", "x.dat", "*.o"}).error, "");
}

TEST(command_options_test, each_bad_option_gets_one_line_naming_it_and_what_is_allowed) {
    const std::string rate = " is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000";
    const std::string jobs = " is not a number of threads; give a number of threads from 1 to 256, or 0 for every CPU";
    const std::string size = "is not a size; give WIDTHxHEIGHT in pixels, from 400x300 to 8000x8000, such as 1200x700";
    const std::string all =
        "the options are --format, --layout, --rate, --average, --scale, --unit, --full-scale, --overlap, --detrend, "
        "--pad, --measure, --fundamental, --harmonics, --measure-band, --bands, --fft, --report, --shard, --jobs, "
        "--quiet, --input-format, --sample-format, --channels, --channel, --plot, --plot-size, --view, --peaks, "
        "--width, --phase, --self-test, --help and --version";
    const std::pair<Arguments, std::string> cases[] = {
        {{"--format", "CSV"}, "--format=CSV is not a format; use raw, csv, f32, npy or npz"},
        {{"--rate=-8000"}, "--rate=-8000" + rate},
        {{"--rate=1e999"}, "--rate=1e999" + rate},
        {{"--rate=48000Hz"}, "--rate=48000Hz" + rate},
        {{"--average=mode"}, "--average=mode is not known; use mean, rms, max, median or min"},
        {{"--layout=grid"}, "--layout=grid is not a layout; use files or matrix"},
        {{"--scale=db"}, "--scale=db is not a scale; use amplitude, power or psd"},
        {{"--unit=V"}, "--unit=V is not a unit; use linear, dbfs, volts or dbv"},
        {{"--full-scale=0"},
         "--full-scale=0 is not a voltage; give the peak voltage of sample value 32767, a number above 0 such as 2.5"},
        {{"--overlap=100"}, "--overlap=100 is not an overlap; give a percentage from 0 to 95, such as 50"},
        {{"--overlap=-5"}, "--overlap=-5 is not an overlap; give a percentage from 0 to 95, such as 50"},
        {{"--detrend=quadratic"}, "--detrend=quadratic is not known; use none, mean or linear"},
        {{"--fft=quick"}, "--fft=quick is not a transform; use exact or fast"},
        {{"--pad=1000"},
         "--pad=1000 is not a transform size; give a power of two from the width DELKA to 65536, such as 4096"},
        {{"--pad=131072"},
         "--pad=131072 is not a transform size; give a power of two from the width DELKA to 65536, such as 4096"},
        {{"--report="}, "--report needs a value: a file name, or - for standard output"},
        {{"-x"}, "unknown option -x; " + all},
        {{"--shard=4/3"},
         "--shard=4/3 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--shard=-1/4"},
         "--shard=-1/4 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--sh=1/0"}, "--shard=1/0 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--r=5"}, "--r is ambiguous: --rate or --report"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--jobs=257"}, "--jobs=257" + jobs},
        {{"--jobs=-1"}, "--jobs=-1" + jobs},
        {{"--jobs=two"}, "--jobs=two" + jobs},
        {{"--jobs", "1.5"}, "--jobs=1.5" + jobs},
        {{"--jobs="}, "--jobs=" + jobs},
        {{"--plot=log"}, "--plot=log is not a scale; use linear or db"},
        {{"--plot-size=1200"}, "--plot-size=1200 " + size},
        {{"--plot-size=399x300"}, "--plot-size=399x300 " + size},
        {{"--plot-size=1200x8001"}, "--plot-size=1200x8001 " + size},
        {{"--plot-size=12OOx700"}, "--plot-size=12OOx700 " + size},
        {{"--width=1023"},
         "--width=1023 is not a width; give the exposure width in samples, an even number such as 1024"},
        {{"--phase=yes"}, "--phase takes no value"},
        {{"--v"}, "--v is ambiguous: --view or --version"},
        // A byte above 127 as a short option, after an option's value.
        {{"--report", "r\x8f", "-\xff\xff"}, "unknown option -\\xff; " + all},
        {{"--input-format=wav"}, "--input-format=wav is not known; use auto or raw"},
        {{"--sample-format=s16"},
         "--sample-format=s16 is not a sample format; use s16le, s16be, s8, u8, u16le, u16be, s24le, s24be, s32le, "
         "s32be, u32le, u32be, f32le, f32be, f64le or f64be"},
        {{"--channels=0"},
         "--channels=0 is not a number of channels; give the interleaved channels of raw inputs, 1 "
         "to 1024"},
        {{"--channel=0"}, "--channel=0 is not a channel; give a channel number from 1, or all"},
        {{"--channel=All"}, "--channel=All is not a channel; give a channel number from 1, or all"},
        {{"--input-format=raw", "--channels=2", "--channel=3"},
         "--channel=3 is beyond the 2 channels of --channels, which every raw input has"},
        // What was typed is quoted escaped: the line stays one line.
        {{"--rate=1\n2"}, "--rate=1\\n2" + rate},
        {{"--x\r\x1b[2J"}, "unknown option --x\\r\\x1b[2J; " + all},
    };
    for (const auto& [arguments, error] : cases) {
        EXPECT_EQ(ParseCommandLine(With(arguments)).error, error) << arguments.front();
    }
    EXPECT_EQ(ParseCommandLine({"--format"}).error, "--format needs a value: raw, csv, f32, npy or npz");
    EXPECT_EQ(ParseCommandLine({"--shard"}).error,
              "--shard needs a value: K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4");

    test::TempDir dir;
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.File("r.jsonl")})).error, "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("r.jsonl")));
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.Path()})).error,
              "--report=" + dir.Path() + ": is a folder; give a file name, or - for standard output");
}

// --jobs, else TAVOX_JOBS, else every CPU; 0 means every CPU.
TEST(command_options_test, jobs_come_from_the_option_then_the_environment) {
    std::string error;
    const CommandOptions none = ParseCommandLine(Fields).options;
    EXPECT_EQ(ResolveJobs(none, nullptr, error), AvailableCpus());
    EXPECT_EQ(ResolveJobs(none, "3", error), 3);
    EXPECT_EQ(ResolveJobs(none, "0", error), AvailableCpus());
    EXPECT_EQ(error, "");
    const CommandOptions seven = ParseCommandLine(With({"--jobs=7"})).options;
    EXPECT_EQ(seven.jobs, 7);
    EXPECT_EQ(ResolveJobs(seven, "3", error), 7);
    EXPECT_EQ(ResolveJobs(seven, "lots", error), 7) << "the option wins over a bad environment";
    EXPECT_EQ(error, "");
    EXPECT_EQ(ResolveJobs(ParseCommandLine(With({"--jobs", "0"})).options, "3", error), AvailableCpus());
    EXPECT_EQ(ResolveJobs(none, "lots", error), AvailableCpus());
    EXPECT_EQ(error,
              "TAVOX_JOBS=lots is not a number of threads; give a number of threads from 1 to 256, or 0 for every CPU");
    EXPECT_EQ(CheckOptionsAgainstFields(seven, {}), "--jobs applies to a batch: give its fields after the options");
}

TEST(command_options_test, plot_and_view_options_and_what_they_go_with) {
    const CommandOptions plot = ParseCommandLine(With({"--plot-size=640x480", "--plot=db"})).options;
    ASSERT_TRUE(plot.plot);
    EXPECT_EQ(plot.plot->scale, PlotScale::Db);
    EXPECT_EQ(plot.plot->width, 640);
    EXPECT_EQ(plot.plot->height, 480);
    EXPECT_EQ(CheckOptionsAgainstFields(plot, Fields), "");
    // "--plot db" is no value: the optional value follows "=" only, so db is the first field.
    const ParsedCommandLine bare = ParseCommandLine({"--plot", "e", "h", "128", "x", "y"});
    ASSERT_TRUE(bare.options.plot);
    EXPECT_EQ(bare.options.plot->scale, PlotScale::Linear);
    EXPECT_EQ(bare.options.plot->width, 1200);
    EXPECT_EQ(bare.options.plot->height, 700);
    EXPECT_EQ(bare.arguments.front(), "e");

    const ParsedCommandLine view = ParseCommandLine({"--view", "s.spc", "--phase", "--width=256", "--rate=8000"});
    ASSERT_EQ(view.error, "");
    ASSERT_TRUE(view.options.view);
    EXPECT_EQ(view.options.view->file, "s.spc");
    EXPECT_TRUE(view.options.view->phase);
    EXPECT_EQ(view.options.view->width, 256);
    EXPECT_FALSE(view.options.plot);
    EXPECT_EQ(CheckOptionsAgainstFields(view.options, {}), "");
    const ParsedCommandLine peaks = ParseCommandLine({"--phase", "--peaks", "s.spc", "--format=f32"});
    ASSERT_EQ(peaks.error, "");
    ASSERT_TRUE(peaks.options.view);
    EXPECT_TRUE(peaks.options.peaks && peaks.options.view->phase);
    EXPECT_EQ(peaks.options.view->file, "s.spc");
    EXPECT_EQ(CheckOptionsAgainstFields(peaks.options, {}), "");

    const std::pair<Arguments, std::string> refused[] = {
        {{"--view=s.spc", "e", "h", "128", "x", "y"}, "--view takes no fields: it opens one spectrum file"},
        {{"--view=s.spc", "--quiet"},
         "--quiet does not go with --view (only --width, --phase, --rate and --format do)"},
        {{"--plot", "--view=s.spc"}, "--plot does not go with --view (only --width, --phase, --rate and --format do)"},
        {{"--width=512", "e", "h", "128", "x", "y"}, "--width applies to --view only: give --view=FILE too"},
        {{"--phase"}, "--phase applies to --view only: give --view=FILE too"},
        {{"--plot-size=800x600", "e", "h", "128", "x", "y"}, "--plot-size applies to --plot only: give --plot too"},
        {{"--plot"}, "--plot applies to a batch: give its fields after the options"},
        {{"--peaks=s.spc", "e", "h", "128", "x", "y"}, "--peaks takes no fields: it reads one spectrum file"},
        {{"--peaks=s.spc", "--view=s.spc"}, "--peaks does not go with --view: give one of them"},
        {{"--peaks=s.spc", "--jobs=2"},
         "--jobs does not go with --peaks (only --width, --phase, --rate and --format do)"},
    };
    for (const auto& [arguments, error] : refused) {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        ASSERT_EQ(parsed.error, "") << arguments.front();
        const std::vector<std::string> fields = parsed.arguments;
        EXPECT_EQ(CheckOptionsAgainstFields(parsed.options, fields), error) << arguments.front();
    }
    EXPECT_EQ(ParseCommandLine({"--view="}).error, "--view needs a value: a spectrum file (raw, csv, f32, npy or npz)");
}

TEST(command_options_test, checks_that_need_the_fields) {
    const CommandOptions average = ParseCommandLine(With({"--average=max"})).options;
    EXPECT_EQ(CheckOptionsAgainstFields(average, {"fc", "h", "1024", "x", "y"}),
              "--average applies to method p (the average of D exposures) only, not to method f");
    EXPECT_EQ(CheckOptionsAgainstFields(average, {"Pc", "h", "1024", "x", "y"}), "");
    EXPECT_EQ(CheckOptionsAgainstFields(average, {"x", "h", "1024", "x", "y"}), "") << "left to the refusal";
    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--rate=8000"}).options, {}),
              "--rate applies to a batch: give its fields after the options");
    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--self-test"}).options, Fields),
              "--self-test takes no fields");
    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--self-test"}).options, {}), "");

    // The matrix layout: method m only, with a format that holds the axes.
    const std::string rawMatrix =
        "--layout=matrix needs a format that holds the matrix and its axes: give --format=npz (or npy, csv, f32); "
        "raw 16-bit outputs take --layout=files";
    const std::string npzFiles =
        "--format=npz holds the exposures of method m as one matrix: give --layout=matrix "
        "with method m";
    const std::pair<Arguments, std::string> layouts[] = {
        {{"--layout=matrix", "--format=npz", "m"}, ""},
        {{"--layout=matrix", "--format=csv", "M"}, ""},
        {{"--layout=files", "m"}, ""},
        {{"--layout=matrix", "m"}, rawMatrix},
        {{"--layout=matrix", "--format=raw", "m"}, rawMatrix},
        {{"--format=npz", "m"}, npzFiles},
        {{"--format=npz", "--layout=files", "m"}, npzFiles},
        {{"--format=npz", "p"}, npzFiles},
        {{"--layout=matrix", "--format=npz", "pc"},
         "--layout applies to method m (each of D exposures) only, not to method p"},
        {{"--layout=files", "e"}, "--layout applies to method m (each of D exposures) only, not to method e"},
    };
    for (const auto& [arguments, error] : layouts) {
        const Arguments options(arguments.begin(), arguments.end() - 1);
        EXPECT_EQ(
            CheckOptionsAgainstFields(ParseCommandLine(options).options, {arguments.back(), "h", "1024", "x", "y"}),
            error)
            << arguments.front() << " " << arguments.back();
    }

    Arguments fields = {"e", "h", "1024", "in/x.dat", "out/*.o"};
    MakeInputAbsolute(fields, "/home/me");
    EXPECT_EQ(fields, (Arguments{"e", "h", "1024", "/home/me/in/x.dat", "out/*.o"}));
    MakeInputAbsolute(fields, "/elsewhere/");
    EXPECT_EQ(fields[3], "/home/me/in/x.dat");
}

TEST(command_options_test, spectrum_options_against_each_other_the_format_and_the_fields) {
    const std::pair<Arguments, std::string> cases[] = {
        {{"--format=csv", "--scale=psd", "p", "h", "1024", "x", "y", "8"}, ""},
        {{"--format=npy", "--unit=dbv", "--full-scale=2.5", "--overlap=50", "--pad=4096", "--detrend=linear", "m", "f",
          "1024", "x", "y"},
         ""},
        {{"--scale=psd", "e", "h", "1024", "x", "y"},
         "--scale=psd cannot be written as raw 16-bit samples, which hold amplitudes in counts only: give "
         "--format=csv, f32 or npy"},
        {{"--format=raw", "--unit=dbfs", "e", "h", "1024", "x", "y"},
         "--unit=dbfs cannot be written as raw 16-bit samples, which hold amplitudes in counts only: give "
         "--format=csv, f32 or npy"},
        {{"--format=csv", "--unit=dbv", "e", "h", "1024", "x", "y"},
         "--unit=dbv needs --full-scale=VOLTS, the peak voltage of sample value 32767"},
        {{"--full-scale=1", "e", "h", "1024", "x", "y"}, "--full-scale applies to --unit=volts or dbv only"},
        {{"--format=csv", "--scale=power", "--average=rms", "p", "h", "1024", "x", "y"},
         "--average=rms applies to the amplitude scale; with --scale=power the mean averages power"},
        {{"--overlap=50", "fc", "h", "1024", "x", "y"},
         "--overlap applies to methods p and m (exposures over a range), not to method f"},
        {{"--pad=512", "e", "h", "1000", "x", "y"},
         "--pad=512 is below the width 1024 of DELKA; give a power of two from 1024 to 65536"},
        {{"--pad=1024", "e", "h", "1000", "x", "y"}, ""},
        {{"--detrend=none", "pc", "h", "1024", "x", "y"},
         "--detrend=none contradicts the letter c of the first field, which removes the mean"},
        {{"--detrend=linear", "pc", "h", "1024", "x", "y"}, ""},
    };
    for (const auto& [arguments, error] : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        ASSERT_EQ(parsed.error, "") << arguments[1];
        EXPECT_EQ(CheckOptionsAgainstFields(parsed.options, parsed.arguments), error) << arguments[1];
    }
}

TEST(command_options_test, measurement_options_against_each_other_the_format_and_the_rate) {
    const std::pair<Arguments, std::string> cases[] = {
        {{"--format=csv", "--measure", "--report=-", "--rate=48000", "--fundamental=1000", "--harmonics=9",
          "--measure-band=20:20000", "--bands=3", "p", "h", "1024", "x", "y"},
         ""},
        {{"--format=f32", "--measure=/tmp/m.csv", "e", "f", "1024", "x", "y"}, ""},
        {{"--measure", "--report=-", "e", "h", "1024", "x", "y"},
         "--measure reads the unrounded spectra, which raw 16-bit outputs do not keep: give --format=csv, f32 or "
         "npy"},
        {{"--format=csv", "--measure", "e", "h", "1024", "x", "y"},
         "--measure puts its figures in the report or a table: give --report=FILE|- or --measure=FILE.csv"},
        {{"--harmonics=3", "e", "h", "1024", "x", "y"}, "--harmonics applies to --measure only: give --measure too"},
        {{"--format=csv", "--measure", "--report=-", "--input-format=raw", "--fundamental=50", "e", "h", "1024", "x",
          "y"},
         "--fundamental needs the sample rate of raw inputs: give --rate=HZ"},
        // Without --input-format=raw each input may state its rate.
        {{"--format=csv", "--measure", "--report=-", "--fundamental=50", "--measure-band=20:20000", "--bands=3", "e",
          "h", "1024", "x", "y"},
         ""},
        {{"--format=csv", "--measure", "--report=-", "--rate=8000", "--fundamental=4000", "e", "h", "1024", "x", "y"},
         "--fundamental=4000 is not below half the rate, 4000 Hz"},
        {{"--format=csv", "--measure", "--report=-", "--rate=8000", "--measure-band=5000:6000", "e", "h", "1024", "x",
          "y"},
         "--measure-band starts at or above half the rate, 4000 Hz"},
        {{"--bands=3", "--input-format=raw", "e", "h", "1024", "x", "y"},
         "--bands needs the sample rate of raw inputs: give --rate=HZ"},
        // A matrix's exposures are measured row by row; band tables go beside outputs only.
        {{"--layout=matrix", "--format=npz", "--measure=/tmp/m.csv", "m", "h", "1024", "x", "y.npz", "4"}, ""},
        {{"--layout=matrix", "--format=npz", "--rate=48000", "--bands=3", "m", "h", "1024", "x", "y.npz", "4"},
         "--bands writes a table beside each output, not beside each row of a matrix: give --layout=files"},
    };
    for (const auto& [arguments, error] : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        ASSERT_EQ(parsed.error, "") << arguments[1];
        EXPECT_EQ(CheckOptionsAgainstFields(parsed.options, parsed.arguments), error) << arguments[1];
    }
    const std::pair<Arguments, std::string> refused[] = {
        {{"--harmonics=21"}, "--harmonics=21 is not a count; give a whole number from 1 to 20 (1 counts none)"},
        {{"--fundamental=-3"},
         "--fundamental=-3 is not a frequency; give a frequency in Hz above 0 and below half the rate, such as 1000"},
        {{"--measure-band=300:20"},
         "--measure-band=300:20 is not a band; give LO:HI in Hz, 0 <= LO < HI, such as 20:20000"},
        {{"--bands=2"}, "--bands=2 is not a band width; give 1, 3, 6 or 12 bands per octave"},
        {{"--measure=/nonexistent-folder/m.csv"},
         "--measure=/nonexistent-folder/m.csv: the folder /nonexistent-folder/ does not exist"},
    };
    for (const auto& [arguments, error] : refused) EXPECT_EQ(ParseCommandLine(arguments).error, error);
    const CommandOptions defaults = ParseCommandLine({"--measure=/tmp/m.csv"}).options;
    ASSERT_TRUE(defaults.output.measure);
    EXPECT_EQ(*defaults.output.measure, MeasureOptions{});
    EXPECT_EQ(defaults.measureTable, "/tmp/m.csv");
}

// The bash completion is written by hand: its option table must name the
// options of the parser, offer the values each one takes, and know which
// value follows "=" only.
TEST(command_options_test, completion_offers_the_options_and_values_of_the_table) {
    const std::string completion = test::ReadBytes(TAVOX_COMPLETION);
    const auto declared = [&](const char* array) {
        const std::size_t begin = completion.find(std::string("declare -gA ") + array + "=(");
        const std::size_t end = completion.find(')', begin);
        EXPECT_NE(begin, std::string::npos) << array;
        std::map<std::string, std::string> entries;
        const std::string body = completion.substr(begin, end - begin);
        const std::regex entry(R"re(\[(--[a-z-]+)\]="?([^"\]\n]*)"?)re");
        for (auto it = std::sregex_iterator(body.begin(), body.end(), entry); it != std::sregex_iterator(); ++it) {
            entries[(*it)[1]] = (*it)[2];
        }
        return entries;
    };
    std::map<std::string, std::string> values;
    std::map<std::string, std::string> optional;
    for (const OptionRow& row : OptionRows()) {
        values["--" + std::string(row.name)] = row.values;
        if (row.argument == optional_argument) optional["--" + std::string(row.name)] = "1";
    }
    EXPECT_EQ(declared("_tavox_option_values"), values);
    EXPECT_EQ(declared("_tavox_optional_value"), optional);
    // --help lays the rows out in two columns; a long synopsis takes a line
    // of its own, and --version shares the line of --help.
    const std::string help = OptionsHelpText();
    for (const char* lines :
         {"Options (before the fields; -- ends them):\n"
          "  --format=raw|csv|f32|npy|npz\n"
          "                            format of the outputs: raw 16-bit samples (the default),\n",
          "  --average=mean|rms|max|median|min\n"
          "                            how method p combines its exposures, bin by bin (default\n"
          "                            mean; min holds the smallest; on the amplitude scale the\n"
          "                            median is not corrected for its bias, on power scales it is)\n"
          "  --scale=amplitude|power|psd\n",
          "  --pad=M                   transforms M points: the weighted exposure, then M - DELKA\n",
          "  --report=FILE|-           a JSON Lines report",
          "  --self-test               checks this installation on this processor and exits\n"
          "  --help, --version\n"
          "A VSTUP that does not begin with / is taken relative to the current folder.\n"}) {
        EXPECT_NE(help.find(lines), std::string::npos) << lines;
    }
    const std::string last = help.substr(help.rfind('\n', help.size() - 2) + 1);
    EXPECT_TRUE(last.starts_with("More in man tavox and in /")) << last;
    EXPECT_TRUE(last.ends_with("/share/doc/tavox/html/index.html\n")) << last;
    // Every row is reached by its own name, however many rows there are.
    for (const OptionRow& row : OptionRows()) {
        const std::string option = std::string("--") + row.name + (row.argument == required_argument ? "=1" : "");
        const ParsedCommandLine parsed = ParseCommandLine(With({option}));
        ASSERT_FALSE(parsed.options.given.empty()) << option << ": " << parsed.error;
        EXPECT_EQ(parsed.options.given.front(), row.name);
    }
}

}  // namespace
}  // namespace tavox
