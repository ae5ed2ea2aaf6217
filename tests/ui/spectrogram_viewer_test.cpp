#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <string>
#include <vector>

#include "UiTest.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/plot/SpectrogramCanvas.h"
#include "ui/plot/SpectrogramViewer.h"

namespace tavox {
namespace {

using test::Find;
using test::Pump;

std::vector<std::int16_t> Tones(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double k = static_cast<double>(n);
        const double rising = 0.05 + 0.3 * k / static_cast<double>(length);
        samples[n] = static_cast<std::int16_t>(
            std::lround(6000 * std::sin(2 * M_PI * rising * k / 2) + 2000 * std::cos(2 * M_PI * 0.125 * k)));
    }
    return samples;
}

class spectrogram_viewer_test : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        test::WriteSamples(dir_.File("run.dat"), Tones(40000));
    }
    // The batch's outputs of run.dat: a matrix and, with `format`, the files.
    void Run(const std::vector<std::string>& options, const std::string& mask) {
        std::vector<std::string> arguments = options;
        for (const char* field : {"m", "h", "512"}) arguments.push_back(field);
        arguments.push_back(dir_.File("run.dat"));
        arguments.push_back(mask);
        arguments.push_back("40");
        const auto run = test::RunProgram(TAVOX_EXE, arguments, test::DisplayVariables);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    SpectrogramViewer* Open(const std::string& path, std::optional<double> rate = {}) {
        SpectrogramViewer* viewer = SpectrogramViewer::Open(path, {}, rate);
        test::Activate(viewer);
        Pump();
        return viewer;
    }
    // The pointer moved over `widget` without a button, delivered as such also
    // on a real X server, where QTest::mouseMove only moves the cursor.
    static void MoveTo(QWidget* widget, QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    // The centre of a row and bin on the screen.
    static QPoint At(SpectrogramCanvas* canvas, double row, double bin) {
        const SpectrogramPlot& plot = canvas->Plot();
        return QPointF(plot.XOfRow(row), plot.YOfBin(bin)).toPoint();
    }

    test::TempDir dir_;
};

TEST_F(spectrogram_viewer_test, a_matrix_reads_under_the_pointer_and_a_click_shows_its_slices) {
    Run({"--layout=matrix", "--format=npz", "--rate=8000"}, "*.npz");
    Run({"--format=csv", "--rate=8000"}, "*.*");
    SpectrogramViewer* viewer = Open(dir_.File("run.npz"));
    ASSERT_EQ(viewer->ErrorText(), QString());
    EXPECT_TRUE(viewer->ReadingText().contains(QStringLiteral("NumPy .npz matrix, 40 exposures of 256 bins, hann")))
        << viewer->ReadingText().toStdString();
    SpectrogramCanvas* canvas = viewer->Canvas();
    const SpectrogramPlot& plot = canvas->Plot();
    ASSERT_NE(plot.Data(), nullptr);
    EXPECT_EQ(plot.Scale(), PlotScale::Db);

    // The readout of row 9, bin 64: its time and frequency.
    MoveTo(canvas, At(canvas, 9, 64));
    Pump();
    const QString readout = Find<QLabel>(viewer, "lblReadout")->text();
    EXPECT_TRUE(readout.startsWith(QStringLiteral("t ") + QString::number((9 * 1012 + 256) / 8000.0) +
                                   QStringLiteral(" s (exposure 10), 1000 Hz (bin 64), magnitude ")))
        << readout.toStdString();

    // A click: the spectrum of exposure 10, which exports as the batch's CSV of run.010.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, At(canvas, 9, 64));
    Pump();
    EXPECT_EQ(plot.SliceKind(), SpectrogramPlot::Slice::AtTime);
    EXPECT_EQ(plot.SliceIndex(), 9u);
    QString error;
    ASSERT_TRUE(viewer->ExportSliceCsv(QString::fromStdString(dir_.File("slice.csv")), error)) << error.toStdString();
    EXPECT_EQ(test::ReadBytes(dir_.File("slice.csv")), test::ReadBytes(dir_.File("run.010")));

    // Ctrl+click: the course of bin 64 over the 40 exposures.
    QTest::mouseClick(canvas, Qt::LeftButton, Qt::ControlModifier, At(canvas, 20, 64));
    Pump();
    EXPECT_EQ(plot.SliceKind(), SpectrogramPlot::Slice::AtFrequency);
    EXPECT_EQ(plot.SliceIndex(), 64u);
    ASSERT_TRUE(viewer->ExportSliceCsv(QString::fromStdString(dir_.File("course.csv")), error));
    const std::string course = test::ReadBytes(dir_.File("course.csv"));
    EXPECT_EQ(course.substr(0, 26), "exposure,time_s,magnitude\n");
    EXPECT_EQ(std::count(course.begin(), course.end(), '\n'), 41);
    const std::string row10 = test::ReadBytes(dir_.File("run.010"));
    const std::size_t line = row10.find("\n64,1000,");
    ASSERT_NE(line, std::string::npos);
    const std::string value = row10.substr(line + 9, row10.find('\n', line + 1) - line - 9);
    EXPECT_NE(course.find("\n10,1.1705," + value + "\n"), std::string::npos) << course;

    // Arrow keys move the cursor and the slice with it.
    QTest::keyClick(canvas, Qt::Key_Up);
    Pump();
    EXPECT_EQ(plot.SliceIndex(), 65u);

    const QString folder = QStringLiteral(TAVOX_UI_TEST_DIR "/render");
    QDir().mkpath(folder);
    EXPECT_TRUE(viewer->grab().save(QDir(folder).filePath(QStringLiteral("spectrogram_viewer.png"))));
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(
            QDir(folder).filePath(QStringLiteral("spectrogram_viewer_screen.png"))));
    }
    ASSERT_TRUE(viewer->ExportPng(QString::fromStdString(dir_.File("view.png")), error));
    QImage exported;
    ASSERT_TRUE(exported.load(QString::fromStdString(dir_.File("view.png")), "PNG"));
    EXPECT_EQ(exported.size(), canvas->size());
    viewer->close();
}

TEST_F(spectrogram_viewer_test, zoom_pan_scale_and_colour_range) {
    Run({"--layout=matrix", "--format=npz"}, "*.npz");
    SpectrogramViewer* viewer = Open(dir_.File("run.npz"));
    SpectrogramCanvas* canvas = viewer->Canvas();
    SpectrogramPlot& plot = canvas->Plot();
    const SpectrogramPlot::View full = plot.CurrentView();

    // The wheel zooms around the pointer; with Ctrl only the frequencies.
    const QPoint middle = At(canvas, 20, 128);
    QWheelEvent in(middle, canvas->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::ControlModifier,
                   Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(canvas, &in);
    SpectrogramPlot::View view = plot.CurrentView();
    EXPECT_EQ(view.first, full.first);
    EXPECT_NEAR(view.high - view.low, 0.8 * (full.high - full.low), 1e-9);
    QTest::keyClick(canvas, Qt::Key_Plus);
    view = plot.CurrentView();
    EXPECT_NEAR(view.last - view.first, 0.5 * (full.last - full.first), 1e-9);
    // A rubber band shows its rows and bins; Home shows all again.
    QTest::mousePress(canvas, Qt::LeftButton, {}, At(canvas, view.first + 2, view.low + 10));
    MoveTo(canvas, At(canvas, view.first + 6, view.low + 40));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, At(canvas, view.first + 6, view.low + 40));
    EXPECT_NEAR(plot.CurrentView().last - plot.CurrentView().first, 4, 0.2);
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(canvas, Qt::Key_Home);
    EXPECT_EQ(plot.CurrentView().first, full.first);
    EXPECT_EQ(plot.CurrentView().high, full.high);

    // D: linear, its colours fitted from 0; the spin boxes set a range of one's own.
    auto* low = Find<QDoubleSpinBox>(viewer, "spinLow");
    auto* high = Find<QDoubleSpinBox>(viewer, "spinHigh");
    EXPECT_EQ(high->value(), plot.ColourRange().second);
    QTest::keyClick(canvas, Qt::Key_D);
    EXPECT_EQ(plot.Scale(), PlotScale::Linear);
    EXPECT_EQ(low->value(), 0);
    EXPECT_EQ(plot.ColourRange().first, 0);
    viewer->SetColourRange(100, 2000);
    EXPECT_EQ(plot.ColourRange(), (std::pair<double, double>{100, 2000}));
    EXPECT_FALSE(plot.ColourRangeFitted());
    QTest::keyClick(canvas, Qt::Key_C);
    EXPECT_TRUE(plot.ColourRangeFitted());
    viewer->close();
}

// The numbered outputs of a multi open as one spectrogram: a folder that
// holds one series, or a pattern; gaps and mixed series are refused.
TEST_F(spectrogram_viewer_test, a_folder_or_pattern_of_numbered_outputs_is_stacked) {
    Run({"--format=npy"}, "*.*");
    for (const std::string& path : {dir_.Path(), dir_.File("run.0*")}) {
        SpectrogramViewer* viewer = Open(path, 8000.0);
        ASSERT_EQ(viewer->ErrorText(), QString()) << path;
        const SpectrogramData* data = viewer->Canvas()->Plot().Data();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->rows, 40u);
        EXPECT_EQ(data->bins, 256u);
        EXPECT_EQ(data->times.front(), 1);
        EXPECT_TRUE(viewer->ReadingText().contains(QStringLiteral("40 outputs run.001 to run.040 stacked")));
        EXPECT_EQ(viewer->Canvas()->Plot().Readout(4, 32).left(30), QStringLiteral("exposure 5, 500 Hz (bin 32), m"));
        viewer->close();
        Pump();
    }
    std::filesystem::remove(dir_.File("run.017"));
    SpectrogramViewer* gap = Open(dir_.File("run.*"));
    EXPECT_TRUE(gap->ErrorText().endsWith(QStringLiteral("the outputs skip exposure 17 (before run.018)")))
        << gap->ErrorText().toStdString();
    gap->close();
    Pump();
    test::WriteSamples(dir_.File("other.001"), std::vector<std::int16_t>(256, 1));
    SpectrogramViewer* mixed = Open(dir_.Path());
    EXPECT_TRUE(mixed->ErrorText().contains(QStringLiteral("holds the outputs of several inputs (other, run)")))
        << mixed->ErrorText().toStdString();
    mixed->close();
}

}  // namespace
}  // namespace tavox
