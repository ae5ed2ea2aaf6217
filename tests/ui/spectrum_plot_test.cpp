#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "support/TestSupport.h"
#include "ui/plot/PlotApi.h"
#include "ui/plot/PlotAxis.h"
#include "ui/plot/PlotQuantity.h"
#include "ui/plot/PlotTitle.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrumPlot.h"

namespace tavox {
namespace {

const QRgb White = qRgb(255, 255, 255);

// A tone on `bin` of `amplitude` over a floor of 1, as an output of width 2 * bins.
std::shared_ptr<Spectrum> Tone(std::size_t bins, std::size_t bin, double amplitude, bool phases = false) {
    auto spectrum = std::make_shared<Spectrum>();
    spectrum->magnitudes.assign(bins, 1.0);
    spectrum->magnitudes[bin] = amplitude;
    if (phases) spectrum->phases.assign(bins, 45.0);
    spectrum->width = 2 * bins;
    return spectrum;
}

QImage Render(SpectrumPlot& plot, int width = 1200, int height = 700) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    plot.Paint(painter, image.rect());
    return image;
}

// The x of the tallest mark: the middle of the columns of the magnitude panel
// that are coloured like the spectrum (blue dominant) for at least half as
// many pixels as the most coloured one.
double BluestColumn(const QImage& image, const QRectF& area) {
    std::vector<int> counts;
    for (int x = static_cast<int>(area.left()) + 1; x < static_cast<int>(area.right()); ++x) {
        int count = 0;
        for (int y = static_cast<int>(area.top()) + 1; y < static_cast<int>(area.bottom()); ++y) {
            const QRgb p = image.pixel(x, y);
            if (qBlue(p) > 150 && qRed(p) < 100) ++count;
        }
        counts.push_back(count);
    }
    const int most = *std::max_element(counts.begin(), counts.end());
    std::size_t first = counts.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (2 * counts[i] < most) continue;
        first = std::min(first, i);
        last = i;
    }
    return static_cast<int>(area.left()) + 1 + (first + last) / 2.0;
}

TEST(spectrum_plot_test, the_peak_of_a_bin_64_tone_is_drawn_at_the_x_of_bin_64) {
    for (const std::size_t bins : {64u, 512u, 32768u}) {  // bars, a line, and more bins than pixels
        const std::size_t bin = 64 * bins / 512;
        SpectrumPlot plot(Tone(bins, bin, 8000));
        const QImage image = Render(plot);
        const double expected = plot.XOfBin(static_cast<double>(bin));
        EXPECT_NEAR(BluestColumn(image, plot.MagnitudeArea()), expected, 1.5) << bins << " bins";
        // The tone reaches the height of 8000 on the axis.
        const int x = static_cast<int>(std::lround(expected));
        const int below = static_cast<int>(plot.YOfValue(8000)) + 3;
        const bool reached = qBlue(image.pixel(x - 1, below)) > 150 || qBlue(image.pixel(x, below)) > 150 ||
                             qBlue(image.pixel(x + 1, below)) > 150;
        EXPECT_TRUE(reached) << bins << " bins";
        ASSERT_FALSE(plot.MarkedPeaks().empty());
        EXPECT_EQ(plot.MarkedPeaks().front(), bin);
        EXPECT_NEAR(plot.BinAtX(expected), static_cast<double>(bin), 1e-9);
    }
}

TEST(spectrum_plot_test, db_puts_full_scale_at_0_db_and_small_values_on_the_floor) {
    SpectrumPlot plot(Tone(512, 100, FullScale));
    plot.SetScale(PlotScale::Db);
    const QImage image = Render(plot);
    EXPECT_DOUBLE_EQ(plot.CurrentView().top, 0.0);
    EXPECT_DOUBLE_EQ(plot.Scaled(FullScale), 0.0);
    EXPECT_NEAR(plot.Scaled(FullScale / 10), -20.0, 1e-9);
    EXPECT_DOUBLE_EQ(plot.Scaled(0), DbFloor);
    EXPECT_DOUBLE_EQ(plot.Scaled(1e-12), DbFloor);
    // 0 dB is the top of the panel, where the full-scale bin's line ends.
    EXPECT_NEAR(plot.YOfValue(0), plot.MagnitudeArea().top(), 1e-9);
    const int x = static_cast<int>(std::lround(plot.XOfBin(100)));
    EXPECT_GT(qBlue(image.pixel(x, static_cast<int>(plot.MagnitudeArea().top()) + 2)), 150);
    // The floor of 1 (-90.3 dB) lies inside the view.
    EXPECT_LT(plot.CurrentView().bottom, ToDb(1));
    // Linear again: 0 at the bottom, room above the tone.
    plot.SetScale(PlotScale::Linear);
    EXPECT_DOUBLE_EQ(plot.CurrentView().bottom, 0.0);
    EXPECT_GT(plot.CurrentView().top, FullScale);
}

TEST(spectrum_plot_test, the_phase_panel_exists_only_with_phases) {
    SpectrumPlot magnitudes(Tone(512, 64, 8000));
    Render(magnitudes);
    EXPECT_TRUE(magnitudes.PhaseArea().isEmpty());

    SpectrumPlot withPhases(Tone(512, 64, 8000, true));
    const QImage image = Render(withPhases);
    const QRectF phase = withPhases.PhaseArea();
    ASSERT_FALSE(phase.isEmpty());
    EXPECT_GT(phase.top(), withPhases.MagnitudeArea().bottom());
    EXPECT_LE(phase.bottom(), 700);
    // The phase of 45 degrees of the tone's bin is drawn (green) where 45 lies.
    const QRgb dot = image.pixel(static_cast<int>(std::lround(withPhases.XOfBin(64))),
                                 static_cast<int>(std::lround(withPhases.YOfPhase(45))));
    EXPECT_GT(qGreen(dot), qRed(dot) + 40);
    // The bins of the floor of 1 lie 78 dB below the tone: their phases are left out.
    for (const double bin : {20.0, 300.0}) {
        const QRgb none = image.pixel(static_cast<int>(std::lround(withPhases.XOfBin(bin))),
                                      static_cast<int>(std::lround(withPhases.YOfPhase(45))));
        EXPECT_LE(qGreen(none) - qRed(none), 10) << bin;
    }
    EXPECT_NEAR(withPhases.YOfPhase(180), phase.top(), 1e-9);
    EXPECT_NEAR(withPhases.YOfPhase(-180), phase.bottom(), 1e-9);
}

TEST(spectrum_plot_test, the_title_names_the_input_and_is_drawn_without_clipping) {
    SpectrumPlot plot(Tone(512, 64, 8000));
    plot.SetTitle(QStringLiteral("sine_bin64.dat"), QStringLiteral("method e, Hanning window, width 1024"));
    for (const QSize size : {QSize(1200, 700), QSize(400, 300)}) {
        const QImage image = Render(plot, size.width(), size.height());
        const QRectF title = plot.TitleArea();
        EXPECT_GE(title.left(), 0);
        EXPECT_LE(title.right(), size.width());
        int inked = 0;
        for (int y = static_cast<int>(title.top()); y < static_cast<int>(title.bottom()); ++y) {
            for (int x = 0; x < size.width(); ++x) inked += image.pixel(x, y) != White;
        }
        EXPECT_GT(inked, 200) << size.width();
        // Nothing is drawn in the outermost columns, where text would be cut.
        for (int y = 0; y < size.height(); ++y) {
            EXPECT_EQ(image.pixel(0, y), White);
            EXPECT_EQ(image.pixel(size.width() - 1, y), White);
        }
    }
    EXPECT_EQ(plot.Title(), QStringLiteral("sine_bin64.dat"));
}

TEST(spectrum_plot_test, views_are_kept_within_the_spectrum_and_hz_follow_the_rate) {
    SpectrumPlot plot(Tone(512, 64, 8000));
    plot.SetView({-100, 2000, 0, 9000});
    EXPECT_DOUBLE_EQ(plot.CurrentView().left, -0.5);
    EXPECT_DOUBLE_EQ(plot.CurrentView().right, 511.5);
    plot.SetView({10, 10.5, 0, 1});
    EXPECT_DOUBLE_EQ(plot.CurrentView().right - plot.CurrentView().left, 2.0);
    EXPECT_FALSE(plot.HzOfBin(64));
    plot.SetRate(48000);
    EXPECT_DOUBLE_EQ(*plot.HzOfBin(64), 64 * 48000.0 / 1024);
}

TEST(spectrum_plot_test, readout_names_bin_hz_magnitude_db_and_phase) {
    SpectrumPlot plot(Tone(512, 64, FullScale / 10, true));
    EXPECT_EQ(ReadoutText(plot, 64), QStringLiteral("bin 64, magnitude 3276.700, \u221220.0 dB, phase 45.00\u00b0"));
    plot.SetRate(1024);
    EXPECT_EQ(ReadoutText(plot, 3),
              QStringLiteral("bin 3, 3 Hz, magnitude 1.000000, \u221290.3 dB, phase 45.00\u00b0"));
    EXPECT_EQ(ReadoutText(plot, 512), QString());
    SpectrumPlot quiet(Tone(4, 1, 0));
    EXPECT_EQ(ReadoutText(quiet, 1), QStringLiteral("bin 1, magnitude 0.000000, \u2212\u221e dB"));
    quiet.SetSpectrum(Tone(4, 1, 1e-6));
    EXPECT_EQ(ReadoutText(quiet, 1), QStringLiteral("bin 1, magnitude 0.000001, \u2212210.3 dB"));
}

// Other quantities read in their unit and, when linear, as the level the
// dB scale shows them at; the axis names quantity and unit.
TEST(spectrum_plot_test, quantities_name_their_unit_in_the_readout_and_on_the_axis) {
    const auto with = [](SpectrumQuantity quantity, double value) {
        auto spectrum = Tone(512, 64, value);
        spectrum->quantity = quantity;
        return SpectrumPlot(spectrum);
    };
    const SpectrumQuantity psd{SpectrumScale::Psd, SpectrumUnit::Linear};
    EXPECT_EQ(ReadoutText(with(psd, FullScale * FullScale / 2), 64),
              QStringLiteral("bin 64, PSD 536838144.500 counts\u00b2/Hz, 0.0 dBFS/Hz"));
    const SpectrumQuantity volts{SpectrumScale::Amplitude, SpectrumUnit::Volts};
    EXPECT_EQ(ReadoutText(with(volts, 0.5), 64), QStringLiteral("bin 64, amplitude 0.500000 V, \u22126.0 dBV"));
    const SpectrumQuantity level{SpectrumScale::Amplitude, SpectrumUnit::Dbfs};
    SpectrumPlot levels = with(level, -20);
    EXPECT_EQ(ReadoutText(levels, 64), QStringLiteral("bin 64, level \u221220.000 dBFS"));
    EXPECT_TRUE(levels.Levels()) << "values in dB are drawn as levels on either scale";
    EXPECT_LT(levels.FullView().bottom, -20);
    // Peaks and noise are judged by the amplitudes the levels stand for.
    auto floor = Tone(512, 64, -20);
    std::fill(floor->magnitudes.begin(), floor->magnitudes.end(), -100.0);
    floor->magnitudes[64] = -20;
    floor->quantity = level;
    SpectrumPlot peaked(floor);
    Render(peaked);
    EXPECT_EQ(peaked.MarkedPeaks(), std::vector<std::size_t>{64});
    EXPECT_EQ(QuantityTitle(SpectrumQuantity{SpectrumScale::Psd, SpectrumUnit::Dbfs}, false),
              QStringLiteral("PSD (dBFS/Hz)"));
    EXPECT_EQ(QuantityTitle(SpectrumQuantity{SpectrumScale::Power, SpectrumUnit::Volts}, true),
              QStringLiteral("power (dBV)"));
    EXPECT_EQ(QuantityTitle(SpectrumQuantity{}, false), QStringLiteral("magnitude"));
    EXPECT_EQ(QuantityTitle(SpectrumQuantity{}, true), QStringLiteral("level (dB re 32767)"));
}

TEST(spectrum_plot_test, axis_ticks_and_numbers) {
    const Ticks ticks = NiceTicks(0, 9000, 8);
    EXPECT_EQ(ticks.values, (std::vector<double>{0, 2000, 4000, 6000, 8000}));
    EXPECT_EQ(NiceTicks(-0.5, 0.5, 5).decimals, 1);
    EXPECT_EQ(FormatValue(-20, 1), "\u221220.0");
    EXPECT_EQ(FormatValue(-0.04, 1), "0.0");
}

TEST(spectrum_plot_test, png_encoding_reads_back_pixel_for_pixel_and_replaces_atomically) {
    SpectrumPlot plot(Tone(512, 64, 8000, true));
    plot.SetTitle(QStringLiteral("x.dat"), QStringLiteral("a subtitle"));
    QImage image = Render(plot, 640, 400);
    image.setPixel(0, 0, qRgb(1, 2, 3));  // a first row that is no run
    const std::string png = EncodePng(image);
    QImage back;
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG"));
    ASSERT_EQ(back.size(), image.size());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image);
    EXPECT_LT(png.size(), 640u * 400 / 2) << "the runs are compressed";

    test::TempDir dir;
    const std::string path = dir.File("x.png");
    test::WriteBytes(path, "old");
    EXPECT_EQ(ReplaceFileAtomically(path, png), "");
    EXPECT_EQ(test::ReadBytes(path), png);
    EXPECT_NE(ReplaceFileAtomically(dir.File("missing/x.png"), png), "");
    EXPECT_NE(ReplaceFileAtomically(dir.Path(), png), "") << "a folder is not replaced";
    // No temporary is left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1u);
}

// The writer behind --plot: an output written twice in one batch keeps the
// picture of its last values, whichever worker finishes first.
TEST(spectrum_plot_test, the_plot_writer_keeps_the_picture_of_the_last_values_of_an_output) {
    test::TempDir dir;
    const std::string output = dir.File("same.out");
    PlotOptions options;
    options.width = 480;
    options.height = 320;
    const auto writer = MakePlotWriter(options, std::nullopt);
    std::vector<double> values(256, 1.0);
    for (std::size_t bin = 10; bin <= 200; bin += 10) {
        std::fill(values.begin(), values.end(), 1.0);
        values[bin] = 5000;
        writer->Written(WrittenSpectrum{output, dir.File("in.dat"), values, 256, 1, 512, 0, 1, 0, -1, std::nullopt});
    }
    EXPECT_TRUE(writer->Finish().empty());

    const PlotTitle title = DescribeOutput(
        WrittenSpectrum{output, dir.File("in.dat"), values, 256, 1, 512, 0, 1, 0, -1, std::nullopt}, nullptr);
    EXPECT_EQ(title.title, "in.dat");
    EXPECT_EQ(title.subtitle, "width 512, 1 exposure \u2192 same.out");
    SpectrumPlot last(Tone(256, 200, 5000));
    last.SetTitle(QString::fromStdString(title.title), QString::fromStdString(title.subtitle));
    QImage written;
    ASSERT_TRUE(written.load(QString::fromStdString(output + ".png"), "PNG"));
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), Render(last, 480, 320));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1u) << "no temporary is left behind";
}

}  // namespace
}  // namespace tavox
