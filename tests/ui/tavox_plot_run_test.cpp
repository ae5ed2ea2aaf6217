#include <gtest/gtest.h>

#include <QImage>
#include <QSet>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::DisplayVariables;
using test::RunProgram;
using test::TempDir;

std::vector<std::int16_t> Tone(std::size_t length, double cyclesPerSample) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        samples[i] = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * cyclesPerSample * i)));
    }
    return samples;
}

// A picture a person can read: a valid PNG of the size asked for, with more
// than a few colours and ink on a good share of it.
void ExpectPicture(const std::string& path, QSize size) {
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "PNG")) << path;
    EXPECT_EQ(image.size(), size) << path;
    QSet<QRgb> colours;
    std::size_t inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            colours.insert(pixel);
            inked += pixel != qRgb(255, 255, 255);
        }
    }
    EXPECT_GE(colours.size(), 8) << path;
    EXPECT_GT(inked, static_cast<std::size_t>(size.width() * size.height() / 100)) << path;
}

TEST(tavox_plot_run_test, every_output_of_a_batch_gets_a_valid_picture_of_the_requested_size) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), Tone(4096, 64.0 / 256));
    test::WriteSamples(dir.File("b.dat"), Tone(4096, 10.0 / 256));
    const auto multi =
        RunProgram(TAVOX_EXE, {"--plot", "m", "h", "256", dir.Path() + "*.dat", "*.*", "3"}, DisplayVariables);
    ASSERT_EQ(multi.status, 0) << multi.err;
    EXPECT_EQ(multi.err, "");
    // Method m: one spectrogram per input, named as its outputs without the number.
    for (const char* name : {"a", "b"}) {
        ExpectPicture(dir.File(std::string(name) + ".png"), QSize(1200, 700));
        EXPECT_FALSE(std::filesystem::exists(dir.File(std::string(name) + ".001.png")));
    }

    const auto phases = RunProgram(TAVOX_EXE,
                                   {"--plot=db", "--plot-size=640x400", "--rate=8000", "--format=npy", "fc", "f", "512",
                                    dir.File("a.dat"), "*.npy"},
                                   DisplayVariables);
    ASSERT_EQ(phases.status, 0) << phases.err;
    ExpectPicture(dir.File("a.npy.png"), QSize(640, 400));

    // Without --plot nothing but the outputs is written.
    TempDir plain;
    test::WriteSamples(plain.File("a.dat"), Tone(1024, 0.25));
    ASSERT_EQ(RunProgram(TAVOX_EXE, {"e", "h", "256", plain.File("a.dat"), "*.out"}, DisplayVariables).status, 0);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(plain.Path()))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.dat", "a.out"}));
}

// Threads do not cost pictures: a batch long enough to be transformed ahead
// still gets one for every output, and a Multi long enough for exposures on
// several threads its spectrogram, of every exposure, as a matrix too.
TEST(tavox_plot_run_test, every_output_gets_its_picture_with_several_threads) {
    TempDir dir;
    for (int i = 0; i < 20; ++i) test::WriteSamples(dir.File("f" + std::to_string(i) + ".dat"), Tone(256, 0.125));
    const auto files = RunProgram(
        TAVOX_EXE, {"--jobs=2", "--plot", "--plot-size=400x300", "e", "p", "128", dir.Path() + "*.dat", "*.out"},
        DisplayVariables);
    ASSERT_EQ(files.status, 0) << files.err;
    for (int i = 0; i < 20; ++i) ExpectPicture(dir.File("f" + std::to_string(i) + ".out.png"), QSize(400, 300));

    TempDir lone;
    test::WriteSamples(lone.File("long.dat"), Tone(4096 * 32, 0.01));
    const auto multi = RunProgram(
        TAVOX_EXE, {"--jobs=2", "--plot", "--plot-size=400x300", "m", "h", "4096", lone.File("long.dat"), "*.*", "32"},
        DisplayVariables);
    ASSERT_EQ(multi.status, 0) << multi.err;
    ExpectPicture(lone.File("long.png"), QSize(400, 300));
    const auto matrix = RunProgram(TAVOX_EXE,
                                   {"--jobs=2", "--plot", "--plot-size=400x300", "--layout=matrix", "--format=npz", "m",
                                    "h", "4096", lone.File("long.dat"), "*.npz", "32"},
                                   DisplayVariables);
    ASSERT_EQ(matrix.status, 0) << matrix.err;
    ExpectPicture(lone.File("long.npz.png"), QSize(400, 300));
    EXPECT_EQ(test::FolderEntries(lone.Path()).size(), 36u);  // the source, 32 outputs, the matrix, 2 pictures
}

// With a display the desktop module runs the batch, and draws with the same code.
TEST(tavox_plot_run_test, the_desktop_run_draws_the_pictures_too) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), Tone(1024, 0.25));
    const auto run = RunProgram(TAVOX_EXE, {"--plot=db", "e", "h", "256", dir.File("a.dat"), "*.out"}, {},
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    ExpectPicture(dir.File("a.out.png"), QSize(1200, 700));
}

TEST(tavox_plot_run_test, a_picture_that_cannot_be_written_is_named_and_fails_the_run) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), Tone(1024, 0.25));
    std::filesystem::create_directory(dir.File("a.out.png"));
    const auto run = RunProgram(TAVOX_EXE, {"--plot", "e", "h", "256", dir.File("a.dat"), "*.out"}, DisplayVariables);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("tavox: the picture " + dir.File("a.out.png") + " could not be written: ", 0), 0u)
        << run.err;
    EXPECT_EQ(test::ReadSamples(dir.File("a.out")).size(), 128u);
}

TEST(tavox_plot_run_test, view_without_a_display_says_so_and_bad_combinations_are_refused) {
    TempDir dir;
    const auto view = RunProgram(TAVOX_EXE, {"--view", dir.File("x.spc")}, DisplayVariables);
    EXPECT_EQ(view.status, 2);
    EXPECT_NE(view.err.find("--view opens a window, but no display is available"), std::string::npos) << view.err;
    const auto combined = RunProgram(TAVOX_EXE, {"--view=x.spc", "--report=-"}, DisplayVariables);
    EXPECT_EQ(combined.status, 2);
    EXPECT_EQ(combined.err,
              "tavox: --report does not go with --view (only --width, --phase, --rate and --format do)\n");
}

// --peaks lists both tones of two, not a tone and its neighbours, from any
// format, and names a file it cannot read.
TEST(tavox_plot_run_test, peaks_lists_the_tones_that_stand_out) {
    TempDir dir;
    std::vector<std::int16_t> samples(4096);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(std::lround(1000 + 6000 * std::cos(2 * M_PI * 100 * i / 1024) +
                                                           2000 * std::cos(2 * M_PI * 300 * i / 1024)));
    }
    test::WriteSamples(dir.File("t.dat"), samples);
    ASSERT_EQ(RunProgram(TAVOX_EXE, {"fc", "h", "1024", dir.File("t.dat"), "*.out"}, DisplayVariables).status, 0);
    const std::string file = "--peaks=" + dir.File("t.out");
    auto peaks = RunProgram(TAVOX_EXE, {file, "--phase"}, DisplayVariables);
    EXPECT_EQ(peaks.status, 0) << peaks.err;
    EXPECT_EQ(peaks.out, "bin,magnitude\n100,6000\n300,2000\n");
    peaks = RunProgram(TAVOX_EXE, {file, "--phase", "--rate=8000"}, DisplayVariables);
    EXPECT_EQ(peaks.out, "bin,frequency_hz,magnitude\n100,781.25,6000\n300,2343.75,2000\n");
    const auto missing = RunProgram(TAVOX_EXE, {"--peaks=" + dir.File("none\x1b.out")}, DisplayVariables);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find(dir.File("none\\x1b.out") + ": "), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace tavox
