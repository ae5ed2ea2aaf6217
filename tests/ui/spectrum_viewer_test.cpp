#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "UiTest.h"
#include "support/TestSupport.h"
#include "ui/plot/PlotCanvas.h"
#include "ui/plot/SpectrumViewer.h"

namespace tavox {
namespace {

using test::Find;
using test::Pump;

class spectrum_viewer_test : public test::UiTest {
protected:
    // A raw output of 512 magnitudes: 8000 on bin 64, 3276 on bin 200, 1 elsewhere.
    std::string ToneFile() {
        std::vector<std::int16_t> samples(512, 1);
        samples[64] = 8000;
        samples[200] = 3276;
        const std::string path = dir_.File("tone.spc");
        test::WriteSamples(path, samples);
        return path;
    }
    SpectrumViewer* Open(const std::string& path, const ViewOptions& options = {}, std::optional<double> rate = {}) {
        SpectrumViewer* viewer = SpectrumViewer::Open(path, options, rate);
        test::Activate(viewer);
        Pump();
        return viewer;
    }
    static void Trigger(SpectrumViewer* viewer, const char* action) { Find<QAction>(viewer, action)->trigger(); }

    test::TempDir dir_;
};

TEST_F(spectrum_viewer_test, shows_the_file_and_how_it_was_read_with_a_minimum_size) {
    SpectrumViewer* viewer = Open(ToneFile());
    EXPECT_EQ(viewer->ErrorText(), QString());
    EXPECT_TRUE(
        viewer->ReadingText().contains(QStringLiteral("raw 16-bit, 512 magnitudes, width 1024 (from the size)")));
    EXPECT_GE(viewer->minimumWidth(), 600);
    EXPECT_GE(viewer->minimumHeight(), 400);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("tone.spc \u2013 TAVOX spectrum viewer"));
    const SpectrumPlot& plot = viewer->Canvas()->Plot();
    ASSERT_NE(plot.Data(), nullptr);
    EXPECT_EQ(plot.MarkedPeaks(), (std::vector<std::size_t>{64, 200}));

    // At the minimum size every tool is on the tool bar and the reading line
    // fits; pictures of both sizes go to render/ for people to look at.
    const QString folder = QStringLiteral(TAVOX_UI_TEST_DIR "/render");
    QDir().mkpath(folder);
    EXPECT_TRUE(viewer->grab().save(QDir(folder).filePath(QStringLiteral("viewer.png"))));
    viewer->resize(viewer->minimumSize());
    Pump();
    auto* tools = Find<QToolBar>(viewer, "tools");
    for (QAction* action : tools->actions()) {
        if (action->isSeparator()) continue;
        QWidget* button = tools->widgetForAction(action);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->isVisible()) << action->objectName().toStdString();
        EXPECT_LE(button->geometry().right(), tools->width()) << action->objectName().toStdString();
    }
    auto* reading = Find<QLabel>(viewer, "lblReading");
    EXPECT_LE(reading->heightForWidth(reading->width()), reading->height());
    EXPECT_TRUE(viewer->grab().save(QDir(folder).filePath(QStringLiteral("viewer_minimum.png"))));
    viewer->close();
}

// A name with control characters and bytes that are not UTF-8 is opened by
// its bytes and shown escaped.
TEST_F(spectrum_viewer_test, an_odd_name_is_read_by_its_bytes_and_shown_escaped) {
    const std::string path = dir_.File("tone\n\xff\x1b[2J.spc");
    std::filesystem::copy_file(ToneFile(), path);
    SpectrumViewer* viewer = Open(path);
    EXPECT_EQ(viewer->ErrorText(), QString());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("tone\\n\\xff\\x1b[2J.spc \u2013 TAVOX spectrum viewer"));
    EXPECT_EQ(viewer->Canvas()->Plot().Title(), QStringLiteral("tone\\n\\xff\\x1b[2J.spc"));
    EXPECT_TRUE(viewer->ReadingText().contains(QStringLiteral("tone\\n\\xff\\x1b[2J.spc</b>")))
        << viewer->ReadingText().toStdString();
    viewer->close();
}

TEST_F(spectrum_viewer_test, wheel_keys_and_a_rubber_band_narrow_the_axis_and_fit_all_restores_it) {
    SpectrumViewer* viewer = Open(ToneFile());
    PlotCanvas* canvas = viewer->Canvas();
    const SpectrumPlot::View all = canvas->Plot().CurrentView();
    const auto width = [&] { return canvas->Plot().CurrentView().right - canvas->Plot().CurrentView().left; };

    // The wheel zooms around the bin under the mouse, which stays where it was.
    const QPointF at(canvas->Plot().XOfBin(64), canvas->Plot().MagnitudeArea().center().y());
    QWheelEvent wheel(at, canvas->mapToGlobal(at), {}, QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(canvas, &wheel);
    Pump();
    EXPECT_NEAR(width(), (all.right - all.left) * 0.64, 1e-6);
    EXPECT_NEAR(canvas->Plot().BinAtX(at.x()), 64, 1e-6);

    // + zooms in, - out; Home fits all.
    const double before = width();
    QTest::keyClick(canvas, Qt::Key_Plus);
    EXPECT_NEAR(width(), before / 2, 1e-6);
    QTest::keyClick(canvas, Qt::Key_Minus);
    EXPECT_NEAR(width(), before, 1e-6);
    QTest::keyClick(canvas, Qt::Key_Home);
    EXPECT_NEAR(width(), all.right - all.left, 1e-9);

    // A rubber band from bin 100 to bin 300 shows those bins.
    const SpectrumPlot& plot = canvas->Plot();
    const QPoint from(static_cast<int>(std::lround(plot.XOfBin(100))),
                      static_cast<int>(plot.MagnitudeArea().top() + 10));
    const QPoint to(static_cast<int>(std::lround(plot.XOfBin(300))),
                    static_cast<int>(plot.MagnitudeArea().bottom() - 10));
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    Pump();
    EXPECT_NEAR(plot.CurrentView().left, 100, 1.0);
    EXPECT_NEAR(plot.CurrentView().right, 300, 1.0);
    EXPECT_LT(plot.CurrentView().top, all.top);

    // Pan with Shift+Right moves the view by a quarter of it.
    const double left = plot.CurrentView().left;
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_NEAR(plot.CurrentView().left, left + (plot.CurrentView().right - plot.CurrentView().left) / 4, 1e-6);
    viewer->close();
}

TEST_F(spectrum_viewer_test, the_readout_at_a_known_point_shows_its_known_value_and_the_toggle_switches_to_db) {
    SpectrumViewer* viewer = Open(ToneFile(), {}, 48000.0);
    PlotCanvas* canvas = viewer->Canvas();
    const SpectrumPlot& plot = canvas->Plot();
    const QPoint point(static_cast<int>(std::lround(plot.XOfBin(64))),
                       static_cast<int>(plot.MagnitudeArea().center().y()));
    QTest::mouseMove(canvas, point);
    Pump();
    const QString expected = QStringLiteral("bin 64, 3000 Hz, magnitude 8000.000, \u221212.2 dB");
    EXPECT_EQ(canvas->Readout(), expected);
    EXPECT_EQ(Find<QLabel>(viewer, "lblReadout")->text(), expected);
    EXPECT_EQ(canvas->ReadoutAt(QPointF(2, 2)), QString());
    QTest::mouseMove(canvas, QPoint(2, 2));
    EXPECT_EQ(canvas->Readout(), expected) << "the last bin read stays";

    // Keyboard: R reads the strongest bin, Right the next one.
    QTest::keyClick(canvas, Qt::Key_R);
    EXPECT_EQ(canvas->CursorBin(), 64u);
    QTest::keyClick(canvas, Qt::Key_Right);
    EXPECT_EQ(canvas->Readout(), QStringLiteral("bin 65, 3046.875 Hz, magnitude 1.000000, \u221290.3 dB"));

    EXPECT_EQ(plot.Scale(), PlotScale::Linear);
    QTest::keyClick(canvas, Qt::Key_D);
    EXPECT_EQ(plot.Scale(), PlotScale::Db);
    EXPECT_TRUE(Find<QAction>(viewer, "actDb")->isChecked());
    EXPECT_DOUBLE_EQ(plot.CurrentView().top, 0.0);
    viewer->close();
}

TEST_F(spectrum_viewer_test, exports_the_view_as_png_and_the_data_as_csv) {
    SpectrumViewer* viewer = Open(ToneFile());
    QString error;
    ASSERT_TRUE(viewer->ExportPng(QString::fromStdString(dir_.File("view.png")), error)) << error.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(dir_.File("view.png"))));
    EXPECT_EQ(image.size(), viewer->Canvas()->size());
    ASSERT_TRUE(viewer->ExportCsv(QString::fromStdString(dir_.File("data.csv")), error)) << error.toStdString();
    const std::string csv = test::ReadBytes(dir_.File("data.csv"));
    EXPECT_EQ(csv.substr(0, 32), "bin,magnitude\n0,1\n1,1\n2,1\n3,1\n4,");
    EXPECT_NE(csv.find("\n64,8000\n"), std::string::npos);
    EXPECT_FALSE(viewer->ExportCsv(QString::fromStdString(dir_.File("no/such/folder.csv")), error));
    EXPECT_FALSE(error.isEmpty());
    viewer->close();
}

TEST_F(spectrum_viewer_test, bad_files_show_a_message_instead_of_a_plot) {
    test::WriteBytes(dir_.File("empty.dat"), "");
    test::WriteBytes(dir_.File("odd.dat"), "abc");
    test::WriteSamples(dir_.File("signal.dat"), {100, -2000, 300, -400});
    const std::pair<std::string, QString> cases[] = {
        {dir_.File("empty.dat"), QStringLiteral("empty.dat: the file is empty")},
        {dir_.File("odd.dat"), QStringLiteral("odd.dat: odd length")},
        {dir_.File("signal.dat"), QStringLiteral("signal.dat: not a spectrum: bin 1 holds -2000")},
        {dir_.File("missing.dat"), QStringLiteral("missing.dat: cannot be read")},
    };
    for (const auto& [path, message] : cases) {
        SpectrumViewer* viewer = Open(path);
        EXPECT_TRUE(viewer->ErrorText().startsWith(message)) << viewer->ErrorText().toStdString();
        EXPECT_TRUE(viewer->Canvas()->Message().contains(message));
        EXPECT_EQ(viewer->Canvas()->Plot().Data(), nullptr);
        // Every action is harmless without a spectrum.
        for (const char* action : {"actZoomIn", "actZoomOut", "actFitAll", "actPanLeft", "actDb", "actCursor"}) {
            Trigger(viewer, action);
        }
        QString error;
        EXPECT_FALSE(viewer->ExportPng(QString::fromStdString(dir_.File("x.png")), error));
        EXPECT_TRUE(viewer->isVisible());
        viewer->close();
        Pump();
    }
}

}  // namespace
}  // namespace tavox
