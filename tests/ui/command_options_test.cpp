#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ui/cli/CommandOptions.h"

namespace tavox {
namespace {

using Arguments = std::vector<std::string>;

const Arguments Fields = {"p", "h", "1024", "x.dat", "*.o", "4"};

Arguments With(Arguments options, const Arguments& fields = Fields) {
    options.insert(options.end(), fields.begin(), fields.end());
    return options;
}

TEST(command_options_test, values_in_both_gnu_forms_and_unambiguous_abbreviations) {
    const ParsedCommandLine parsed =
        ParseCommandLine(With({"--format=csv", "--rate", "44100.5", "--av=rms", "--report", "-", "--quiet"}));
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.output.format, OutputFormat::Csv);
    EXPECT_EQ(parsed.options.output.rate, 44100.5);
    EXPECT_EQ(parsed.options.output.average, AverageMode::Rms);
    EXPECT_EQ(parsed.options.report, "-");
    EXPECT_TRUE(parsed.options.quiet);
    EXPECT_EQ(parsed.options.given, (Arguments{"format", "rate", "average", "report", "quiet"}));
    EXPECT_EQ(parsed.arguments, Fields);

    // Parsing again starts afresh; without options everything keeps its default.
    const ParsedCommandLine plain = ParseCommandLine(Fields);
    EXPECT_EQ(plain.error, "");
    EXPECT_EQ(plain.arguments, Fields);
    EXPECT_EQ(plain.options.output.format, OutputFormat::Raw);
    EXPECT_FALSE(plain.options.output.rate.has_value());
    EXPECT_EQ(plain.options.output.average, AverageMode::Mean);
    EXPECT_FALSE(plain.options.report.has_value());
    EXPECT_TRUE(plain.options.given.empty());

    EXPECT_TRUE(ParseCommandLine({"--help"}).options.help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).options.version);
    EXPECT_TRUE(ParseCommandLine({"--self-test"}).options.selfTest);
    EXPECT_EQ(ParseCommandLine({"fc h 1024 x.dat *.o"}).arguments, Arguments{"fc h 1024 x.dat *.o"});
}

TEST(command_options_test, double_dash_ends_the_options_and_lets_fields_look_like_options) {
    const Arguments fields = {"e", "h", "1024", "--odd.dat", "*.o"};
    const ParsedCommandLine marked = ParseCommandLine(With({"--format=f32", "--"}, fields));
    EXPECT_EQ(marked.error, "");
    EXPECT_EQ(marked.arguments, fields);
    EXPECT_EQ(marked.options.output.format, OutputFormat::F32);

    EXPECT_EQ(ParseCommandLine(fields).error,
              "the option --odd.dat stands after the fields; options go before the first field (after -- every "
              "argument is a field)");
    EXPECT_EQ(ParseCommandLine({"e", "h", "1024", "x.dat", "*.o", "--format=csv"}).error,
              "the option --format stands after the fields; options go before the first field (after -- every "
              "argument is a field)");
    // Single dashes after the first field are values (a negative width reads as its magnitude).
    EXPECT_EQ(ParseCommandLine({"e", "h", "-1024", "x.dat", "*.o"}).error, "");
}

TEST(command_options_test, each_bad_option_gets_one_line_naming_it_and_what_is_allowed) {
    const std::string options =
        "; the options are --format, --rate, --average, --report, --quiet, --self-test, --help and --version";
    const std::pair<Arguments, std::string> cases[] = {
        {{"--format=xls"}, "--format=xls is not a format; use raw, csv, f32 or npy"},
        {{"--format", "CSV"}, "--format=CSV is not a format; use raw, csv, f32 or npy"},
        {{"--rate=0"}, "--rate=0 is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--rate=abc"}, "--rate=abc is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--rate=-8000"},
         "--rate=-8000 is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--rate=1e999"},
         "--rate=1e999 is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--rate=48000Hz"},
         "--rate=48000Hz is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--rate=nan"}, "--rate=nan is not a sample rate; give the sample rate in Hz, a number above 0 such as 48000"},
        {{"--average=mode"}, "--average=mode is not known; use mean, rms, max or median"},
        {{"--report="}, "--report needs a value: a file name, or - for standard output"},
        {{"--bogus"}, "unknown option --bogus" + options},
        {{"--bogus=1"}, "unknown option --bogus" + options},
        {{"-x"}, "unknown option -x" + options},
        {{"--r=5"}, "--r is ambiguous: --rate or --report"},
        {{"--quiet=yes"}, "--quiet takes no value"},
    };
    for (const auto& [arguments, error] : cases) {
        EXPECT_EQ(ParseCommandLine(With(arguments)).error, error) << arguments.front();
    }
    EXPECT_EQ(ParseCommandLine({"--format"}).error, "--format needs a value: raw, csv, f32 or npy");
    EXPECT_EQ(ParseCommandLine({"--rate"}).error,
              "--rate needs a value: the sample rate in Hz, a number above 0 such as 48000");
}

TEST(command_options_test, report_folder_is_checked_without_creating_anything) {
    test::TempDir dir;
    const std::string report = dir.File("r.jsonl");
    EXPECT_EQ(ParseCommandLine(With({"--report=" + report})).error, "");
    EXPECT_FALSE(std::filesystem::exists(report));
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.File("no/r.jsonl")})).error,
              "--report=" + dir.File("no/r.jsonl") + ": the folder " + dir.Path() + "no/ does not exist");
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.Path()})).error,
              "--report=" + dir.Path() + ": is a folder; give a file name, or - for standard output");
    EXPECT_EQ(ParseCommandLine(With({"--report=relative.jsonl"})).error, "");
}

TEST(command_options_test, checks_that_need_the_fields) {
    CommandOptions average = ParseCommandLine(With({"--average=max"})).options;
    for (const char* method : {"e", "fc", "M"}) {
        Arguments fields = Fields;
        fields[0] = method;
        EXPECT_EQ(
            CheckOptionsAgainstFields(average, fields),
            std::string("--average applies to method p (the average of D exposures) only, not to method ") + method[0]);
    }
    EXPECT_EQ(CheckOptionsAgainstFields(average, Fields), "");
    EXPECT_EQ(CheckOptionsAgainstFields(average, {"Pc", "h", "1024", "x", "y"}), "");
    EXPECT_EQ(CheckOptionsAgainstFields(average, {"x", "h", "1024", "x", "y"}), "") << "left to the refusal";

    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--rate=8000"}).options, {}),
              "--rate applies to a batch: give its fields after the options");
    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--self-test"}).options, Fields),
              "--self-test takes no fields");
    EXPECT_EQ(CheckOptionsAgainstFields(ParseCommandLine({"--self-test"}).options, {}), "");
    EXPECT_EQ(CheckOptionsAgainstFields(CommandOptions{}, {}), "");
}

TEST(command_options_test, the_input_field_alone_is_made_absolute) {
    Arguments fields = {"e", "h", "1024", "in/x.dat", "out/*.o", "3"};
    MakeInputAbsolute(fields, "/home/me");
    EXPECT_EQ(fields, (Arguments{"e", "h", "1024", "/home/me/in/x.dat", "out/*.o", "3"}));
    MakeInputAbsolute(fields, "/elsewhere/");
    EXPECT_EQ(fields[3], "/home/me/in/x.dat");

    Arguments empty = {"e", "h", "1024", ""};
    MakeInputAbsolute(empty, "/home/me");
    EXPECT_EQ(empty[3], "");
    Arguments shorter = {"e", "h", "1024"};
    MakeInputAbsolute(shorter, "/home/me");
    EXPECT_EQ(shorter.size(), 3u);
}

}  // namespace
}  // namespace tavox
