#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ProgressText.h"
#include "common/Enums.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::DisplayVariables;
using test::ReadSamples;
using test::RunProgram;
using test::TempDir;
using test::WriteSamples;

std::vector<std::int16_t> Ramp(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) samples[i] = static_cast<std::int16_t>(i % 200) - 100;
    return samples;
}

// With a display the command-line batch runs under the progress window (which
// closes itself) instead of printing to the terminal.
TEST(tavox_desktop_run_test, command_line_batch_runs_in_the_desktop_and_ends) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(1024));
    WriteSamples(dir.File("b.dat"), Ramp(1024));
    const auto run = RunProgram(TAVOX_EXE, {"e", "h", "256", dir.Path() + "*.dat", "*.out"}, {},
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");  // no terminal lines: the window showed the progress
    EXPECT_EQ(ReadSamples(dir.File("a.out")).size(), 128u);
    EXPECT_EQ(ReadSamples(dir.File("b.out")).size(), 128u);
}

// The desktop's command-line run takes the options too, and a relative input
// from the current folder.
TEST(tavox_desktop_run_test, options_and_a_relative_input_reach_the_desktop_run) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(1024));
    const auto run = RunProgram(TAVOX_EXE, {"--format=csv", "--report=r.jsonl", "e", "h", "256", "a.dat", "*.csv"}, {},
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.Path()}, dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ReadBytes(dir.File("a.csv")).rfind("bin,magnitude\n0,", 0), 0u);
    const std::string report = test::ReadBytes(dir.File("r.jsonl"));
    EXPECT_NE(report.find("\"outputs\":[\"" + dir.File("a.csv") + "\"]"), std::string::npos) << report;
    EXPECT_NE(report.find("{\"type\":\"totals\",\"files\":1,\"done\":1,\"failed\":0"), std::string::npos) << report;
}

// Nothing to run: the progress window shows nothing, so standard error says
// why, as in the terminal.
TEST(tavox_desktop_run_test, no_matching_input_is_named_on_standard_error) {
    TempDir dir;
    const auto run = RunProgram(TAVOX_EXE, {"e", "h", "256", dir.Path() + "*.dat", "*.out"}, {},
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.Path()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("tavox: no input file matches \"" + dir.Path() + "*.dat\"\n"), std::string::npos) << run.err;
}

// The desktop's run says what the terminal's says about an empty share, and
// its report holds what the terminal's holds.
TEST(tavox_desktop_run_test, empty_share_and_quiet_report_as_in_the_terminal) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(1024));
    const std::vector<std::string> desktop = {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.Path()};
    const std::string input = dir.Path() + "*.dat";
    for (const bool onDesktop : {true, false}) {
        SCOPED_TRACE(onDesktop ? "desktop" : "terminal");
        const auto share =
            onDesktop ? RunProgram(TAVOX_EXE, {"--shard=0/2", "e", "h", "256", input, "*.out"}, {}, desktop)
                      : RunProgram(TAVOX_EXE, {"--shard=0/2", "e", "h", "256", input, "*.out"}, DisplayVariables);
        EXPECT_EQ(share.status, 0) << share.err;
        EXPECT_NE(share.err.find("tavox: share 0/2 holds none of the 1 input files that match \"" + input + "\"\n"),
                  std::string::npos)
            << share.err;
        const std::vector<std::string> quiet = {"--report=-", "--quiet", "e", "h", "256", input, "*.out"};
        const auto report =
            onDesktop ? RunProgram(TAVOX_EXE, quiet, {}, desktop) : RunProgram(TAVOX_EXE, quiet, DisplayVariables);
        EXPECT_EQ(report.status, 0) << report.err;
        EXPECT_EQ(report.out.rfind("{\"type\":\"totals\",\"files\":1,", 0), 0u) << report.out;
    }
}

// --quiet: nothing on standard output, in the terminal and on the desktop;
// a file that failed is named on standard error, and the status says it.
TEST(tavox_desktop_run_test, quiet_names_only_the_failures_on_standard_error) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(1024));
    WriteSamples(dir.File("short.dat"), Ramp(100));
    // Qt says nothing of a runtime folder only the user may enter.
    std::filesystem::create_directory(dir.File("run"));
    std::filesystem::permissions(dir.File("run"), std::filesystem::perms::owner_all);
    const std::vector<std::string> desktop = {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.File("run")};
    for (const bool onDesktop : {true, false}) {
        SCOPED_TRACE(onDesktop ? "desktop" : "terminal");
        for (const std::string input : {"a.dat", "*.dat"}) {
            const std::vector<std::string> quiet = {"--quiet", "e", "h", "256", dir.Path() + input, "*.out"};
            const auto run =
                onDesktop ? RunProgram(TAVOX_EXE, quiet, {}, desktop) : RunProgram(TAVOX_EXE, quiet, DisplayVariables);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.status, input == "a.dat" ? 0 : 1);
            const std::string failure = ResultLine("short.dat", fftResultShortFile) + "\n";
            EXPECT_EQ(run.err, input == "a.dat" ? "" : failure);
        }
    }
}

// A terminal run never loads the window toolkit; the same batch then reports
// each file on standard output.
TEST(tavox_desktop_run_test, without_a_display_the_batch_reports_in_the_terminal) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(1024));
    const auto run = RunProgram(TAVOX_EXE, {"e", "h", "256", dir.Path() + "*.dat", "*.out"}, DisplayVariables);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("a.dat"), std::string::npos);
    EXPECT_NE(run.out.find("Kalmira [dokončeno - 100%]"), std::string::npos);
}

}  // namespace
}  // namespace tavox
