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
    const std::pair<Arguments, std::string> cases[] = {
        {{"--format", "CSV"}, "--format=CSV is not a format; use raw, csv, f32 or npy"},
        {{"--rate=-8000"}, "--rate=-8000" + rate},
        {{"--rate=1e999"}, "--rate=1e999" + rate},
        {{"--rate=48000Hz"}, "--rate=48000Hz" + rate},
        {{"--average=mode"}, "--average=mode is not known; use mean, rms, max or median"},
        {{"--report="}, "--report needs a value: a file name, or - for standard output"},
        {{"-x"},
         "unknown option -x; the options are --format, --rate, --average, --report, --shard, --quiet, --self-test, "
         "--help and --version"},
        {{"--shard=4/3"},
         "--shard=4/3 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--shard=-1/4"},
         "--shard=-1/4 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--sh=1/0"}, "--shard=1/0 is not a share; give K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4"},
        {{"--r=5"}, "--r is ambiguous: --rate or --report"},
        {{"--quiet=yes"}, "--quiet takes no value"},
    };
    for (const auto& [arguments, error] : cases) {
        EXPECT_EQ(ParseCommandLine(With(arguments)).error, error) << arguments.front();
    }
    EXPECT_EQ(ParseCommandLine({"--format"}).error, "--format needs a value: raw, csv, f32 or npy");
    EXPECT_EQ(ParseCommandLine({"--shard"}).error,
              "--shard needs a value: K/N, share K of N (K from 0 to N-1, or 1 to N), such as 0/4");

    test::TempDir dir;
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.File("r.jsonl")})).error, "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("r.jsonl")));
    EXPECT_EQ(ParseCommandLine(With({"--report=" + dir.Path()})).error,
              "--report=" + dir.Path() + ": is a folder; give a file name, or - for standard output");
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

    Arguments fields = {"e", "h", "1024", "in/x.dat", "out/*.o"};
    MakeInputAbsolute(fields, "/home/me");
    EXPECT_EQ(fields, (Arguments{"e", "h", "1024", "/home/me/in/x.dat", "out/*.o"}));
    MakeInputAbsolute(fields, "/elsewhere/");
    EXPECT_EQ(fields[3], "/home/me/in/x.dat");
}

}  // namespace
}  // namespace tavox
