#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "app/MainModule.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::ReadSamples;
using test::TempDir;
using test::WriteSamples;

using RunResult = test::ProgramResult;

// Runs the program with the arguments, without any display in its
// environment, and collects its exit status, output and peak memory.
RunResult RunTavox(const std::vector<std::string>& arguments, const std::string& program = TAVOX_EXE) {
    return test::RunProgram(program, arguments, test::DisplayVariables);
}

// The help as the terminal prints it; its exact lines are checked in app_test.
std::string HelpOutput() {
    return "FFT Command Line Help\n\n" + CommandLineHelpText("\n") + "\n";
}

const std::string Ok = "-->>    Transformace proběhla vpořádku\n";

std::vector<std::int16_t> Tone(std::size_t length, double amplitude, double bin, double width, double offset,
                               double phase = 0.0) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double v = offset + amplitude * std::cos(2.0 * std::numbers::pi * bin * n / width + phase) +
                         50.0 * std::sin(0.37 * n * n);  // deterministic broadband part
        samples[n] = static_cast<std::int16_t>(std::lround(v));
    }
    return samples;
}

enum class Window { Rectangle, Hanning, FlatTop };

// Spectrum of one exposure by the direct DFT in long double: magnitudes and
// phases of the conjugated spectrum, scaled by 2/N.
struct Spectrum {
    std::vector<long double> magnitude;
    std::vector<long double> phase;
};

Spectrum Dft(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t n, bool center, Window window) {
    const long double pi = std::numbers::pi_v<long double>;
    std::vector<long double> x(n);
    long double mean = 0;
    for (std::size_t i = 0; i < n; ++i) x[i] = from + i < samples.size() ? samples[from + i] : 0;
    if (center) {
        for (auto v : x) mean += v;
        mean /= n;
        for (auto& v : x) v -= mean;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const long double a = 2 * pi * i / n;
        if (window == Window::Hanning) x[i] *= 1 - std::cos(a);
        if (window == Window::FlatTop)
            x[i] *=
                1 - 1.93L * std::cos(a) + 1.29L * std::cos(2 * a) - 0.388L * std::cos(3 * a) + 0.028L * std::cos(4 * a);
    }
    Spectrum s;
    for (std::size_t k = 0; k < n / 2; ++k) {
        long double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const long double a = 2 * pi * static_cast<long double>((k * i) % n) / n;
            re += x[i] * std::cos(a);
            im -= x[i] * std::sin(a);
        }
        re *= 2.0L / n;
        im *= 2.0L / n;
        s.magnitude.push_back(std::hypot(re, im));
        s.phase.push_back(std::atan2(-im, re) * 180 / pi);
    }
    return s;
}

std::int16_t ToSample(long double v) {
    return static_cast<std::int16_t>(std::clamp<long double>(std::round(v), -32767, 32767));
}

void ExpectMagnitudes(const std::vector<std::int16_t>& written, const std::vector<long double>& expected,
                      const std::string& what) {
    ASSERT_GE(written.size(), expected.size()) << what;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(written[k], ToSample(expected[k]), 1) << what << " bin " << k;
    }
}

TEST(tavox_cli_test, overview_batch_writes_simple_spectra_with_phase_and_reports_each_file) {
    TempDir dir;
    const auto a = Tone(1500, 1000, 8, 1024, 300);
    const auto b = Tone(1024, 2000, 50, 1024, -100, -std::numbers::pi / 2);
    WriteSamples(dir.File("a.dat"), a);
    WriteSamples(dir.File("b.dat"), b);

    const RunResult r = RunTavox({"fc", "h", "1024", dir.Path() + "*.dat", "*out.*"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.dat" + std::string(27, ' ') + Ok + "b.dat" + std::string(27, ' ') + Ok +
                         "Kalmira [dokončeno - 100%]\n");
    EXPECT_EQ(r.err, "");

    for (const auto& [samples, name] : {std::pair{a, "aout.dat"}, std::pair{b, "bout.dat"}}) {
        const auto written = ReadSamples(dir.File(name));
        ASSERT_EQ(written.size(), 1024u) << name;
        const Spectrum expected = Dft(samples, 0, 1024, true, Window::Hanning);
        ExpectMagnitudes(written, expected.magnitude, name);
        for (std::size_t k = 0; k < 512; ++k) {
            if (expected.magnitude[k] < 20) continue;  // the phase of a near-zero bin is noise
            const long double d = std::fabs(written[512 + k] - expected.phase[k]);
            EXPECT_LE(std::min(d, 360 - d), 1.0L) << name << " phase of bin " << k;
        }
    }
    EXPECT_NEAR(ReadSamples(dir.File("aout.dat"))[8], 1000, 2);
    EXPECT_NEAR(ReadSamples(dir.File("bout.dat"))[512 + 50], 90, 1);
}

TEST(tavox_cli_test, each_method_writes_what_it_promises) {
    TempDir dir;
    const auto s = Tone(4096, 3000, 12, 256, 0);
    WriteSamples(dir.File("s.dat"), s);

    // Simple without phase, rectangle window, from sample 1001.
    RunResult r = RunTavox({"e", "p", "256", dir.File("s.dat"), "*.spc", "1", "1001"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto written = ReadSamples(dir.File("s.spc"));
    EXPECT_EQ(written.size(), 128u);
    ExpectMagnitudes(written, Dft(s, 1000, 256, false, Window::Rectangle).magnitude, "simple");

    // Average of four exposures spread over the file, flat-top window.
    r = RunTavox({"p", "f", "256", dir.File("s.dat"), "*.avg", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    written = ReadSamples(dir.File("s.avg"));
    EXPECT_EQ(written.size(), 128u);
    std::vector<long double> mean(128, 0);
    for (std::size_t e = 0; e < 4; ++e) {
        const auto one = Dft(s, e * 1280, 256, false, Window::FlatTop).magnitude;
        for (std::size_t k = 0; k < 128; ++k) mean[k] += one[k] / 4;
    }
    ExpectMagnitudes(written, mean, "average");

    // Multi: one file per exposure, numbered .001 to .003.
    r = RunTavox({"mc", "h", "256", dir.File("s.dat"), "m_*.x", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::size_t e = 0; e < 3; ++e) {
        const std::string name = "m_s.00" + std::to_string(e + 1);
        written = ReadSamples(dir.File(name));
        EXPECT_EQ(written.size(), 128u) << name;
        ExpectMagnitudes(written, Dft(s, e * 1920, 256, true, Window::Hanning).magnitude, name);
    }
    EXPECT_FALSE(fs::exists(dir.File("m_s.004")));
}

TEST(tavox_cli_test, refused_command_lines_show_the_help_and_touch_no_file) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Tone(2048, 100, 3, 128, 0));
    WriteSamples(dir.File("aout.dat"), {1, 2, 3});
    const std::string input = ReadBytes(dir.File("a.dat"));
    const std::string output = ReadBytes(dir.File("aout.dat"));
    const std::vector<std::vector<std::string>> refused = {
        {"fc", "h", "1024", dir.Path() + "*.dat"},
        {"x", "h", "1024", dir.Path() + "*.dat", "*out.*"},
        {"fc", "z", "1024", dir.Path() + "*.dat", "*out.*"},
        {"fc", "", "1024", dir.Path() + "*.dat", "*out.*"},
        {"fc", "h", "abc", dir.Path() + "*.dat", "*out.*"},
        {"fc", "h", "1024", dir.Path() + "*.dat", "*out?.*"},
        {"fc", "h", "1024", "", "*out.*"},
        {"fc h 1024 " + dir.Path() + "*.dat"},
    };
    for (const auto& arguments : refused) {
        const RunResult r = RunTavox(arguments);
        EXPECT_EQ(r.status, 2) << arguments[0];
        EXPECT_EQ(r.err, HelpOutput());
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ReadBytes(dir.File("a.dat")), input);
    EXPECT_EQ(ReadBytes(dir.File("aout.dat")), output);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(tavox_cli_test, failed_file_or_unmatched_input_gives_status_1) {
    TempDir dir;
    WriteSamples(dir.File("long.dat"), Tone(512, 100, 3, 128, 0));
    WriteSamples(dir.File("short.dat"), Tone(100, 100, 3, 128, 0));
    RunResult r = RunTavox({"e", "p", "128", dir.Path() + "*.dat", "*.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "long.dat" + std::string(24, ' ') + Ok + "short.dat" + std::string(23, ' ') +
                         "-->>    Žádané hranice hodnocení neodpovídaly délce souboru\n"
                         "Kalmira [dokončeno - 100%]\n");
    EXPECT_TRUE(fs::exists(dir.File("long.o")));
    EXPECT_FALSE(fs::exists(dir.File("short.o")));

    r = RunTavox({"e", "p", "128", dir.Path() + "*.wav", "*.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no input file matches \"" + dir.Path() + "*.wav\""), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "Kalmira [dokončeno - 0%]\n");
}

TEST(tavox_cli_test, paths_with_blanks_as_arguments_or_in_one_quoted_line) {
    TempDir dir;
    fs::create_directory(dir.File("my data"));
    WriteSamples(dir.File("my data/s 1.dat"), Tone(256, 500, 4, 128, 0));
    RunResult r = RunTavox({"e", "p", "128", dir.Path() + "my data/s 1.dat", "*.o"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadSamples(dir.File("my data/s 1.o")).size(), 64u);

    WriteSamples(dir.File("t.dat"), Tone(256, 500, 4, 128, 0));
    r = RunTavox({"e p 128 " + dir.Path() + "t.dat *.q"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(ReadSamples(dir.File("t.q"))[4], 500, 1);
}

// Run from a shell, a relative input is where the user stands, wherever the
// program lives (an installed one lives in /usr/local/bin).
TEST(tavox_cli_test, relative_input_resolves_against_the_current_folder) {
    TempDir programDir;
    TempDir work;
    const std::string program = programDir.File("tavox");
    fs::copy_file(TAVOX_EXE, program);
    for (const TempDir* dir : {&programDir, &work}) {
        fs::create_directory(dir->File("in"));
        WriteSamples(dir->File("in/r.dat"), Tone(128, 700, 5, 128, 0));
    }
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"e", "p", "128", "in/r.dat", "*.o"}, {"e p 128 in/r.dat *.o"}, {"e", "p", "128", "./in/*.dat", "*.o"}}) {
        const RunResult r = test::RunProgram(program, arguments, test::DisplayVariables, {}, work.Path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::exists(work.File("in/r.o"))) << arguments[0];
        EXPECT_FALSE(fs::exists(programDir.File("in/r.o"))) << arguments[0];
        fs::remove(work.File("in/r.o"));
    }
    const RunResult r =
        test::RunProgram(program, {"e", "p", "128", "in/*.wav", "*.o"}, test::DisplayVariables, {}, work.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no input file matches \"" + work.Path() + "in/*.wav\""), std::string::npos) << r.err;
}

TEST(tavox_cli_test, help_version_and_window_mode_without_display) {
    RunResult r = RunTavox({"--help"});
    EXPECT_EQ(r.status, 0);
    // The help, then the English section on the options.
    EXPECT_EQ(r.out.substr(0, HelpOutput().size()), HelpOutput());
    for (const char* part : {"\nOptions (before the fields; -- ends them):\n", "--format=raw|csv|f32|npy",
                             "--average=mean|rms|max|median", "--report=FILE|-", "--self-test",
                             "A VSTUP that does not begin with / is taken relative to the current folder.\n"}) {
        EXPECT_NE(r.out.find(part, HelpOutput().size()), std::string::npos) << part;
    }
    r = RunTavox({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "3.0.0\n");
    r = RunTavox({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("main window cannot open"), std::string::npos);
    EXPECT_EQ(r.err.substr(r.err.size() - HelpOutput().size()), HelpOutput());
}

// Peak memory of a batch must not grow with the number of files beyond the
// small bookkeeping of each entry (no working arrays or buffers kept per file).
TEST(tavox_cli_test, peak_memory_does_not_grow_with_the_number_of_files) {
    const auto samples = Tone(4096, 1000, 3, 4096, 0);
    auto peak = [&](int files) {
        TempDir dir;
        for (int i = 0; i < files; ++i) WriteSamples(dir.File(std::to_string(i) + ".dat"), samples);
        const RunResult s = RunTavox({"e", "h", "4096", dir.Path() + "*.dat", "*.o"});
        EXPECT_EQ(s.status, 0) << s.err;
        EXPECT_EQ(std::count(s.out.begin(), s.out.end(), '\n'), files + 1);
        return s.maxRssKb;
    };
    const long small = peak(100);
    const long large = peak(1000);
    RecordProperty("peak_kb_100", std::to_string(small));
    RecordProperty("peak_kb_1000", std::to_string(large));
    EXPECT_LT(large, small + 2 * 1024) << "100 files: " << small << " KiB, 1000 files: " << large << " KiB";
}

}  // namespace
}  // namespace tavox
