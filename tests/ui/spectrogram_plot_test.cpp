#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "UiTest.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/plot/PlotAxis.h"
#include "ui/plot/SpectrogramFile.h"
#include "ui/plot/SpectrogramPlot.h"
#include "ui/plot/Viridis.h"

namespace tavox {
namespace {

constexpr double ChirpFrom = 0.02;  // cycles per sample at the start
constexpr double ChirpTo = 0.42;    // and at the end

// A sweep from ChirpFrom to ChirpTo cycles per sample over `length` samples.
std::vector<std::int16_t> Chirp(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    const double sweep = (ChirpTo - ChirpFrom) / (2.0 * static_cast<double>(length));
    for (std::size_t n = 0; n < length; ++n) {
        const double k = static_cast<double>(n);
        samples[n] =
            static_cast<std::int16_t>(std::lround(9000 * std::sin(2 * M_PI * (ChirpFrom * k + sweep * k * k))));
    }
    return samples;
}

double Luminance(QRgb pixel) {
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel)) + 0.0722 * linear(qBlue(pixel));
}

double Lightness(const std::array<std::uint8_t, 3>& colour) {
    const double y = Luminance(qRgb(colour[0], colour[1], colour[2]));
    return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : y * 24389.0 / 27;
}

// The map grows lighter from its first colour to its last (CIE L* of sRGB),
// so that its order reads in grey too: over every 8 steps, and at no step
// darker by more than what 8-bit rounding does.
TEST(spectrogram_plot_test, viridis_grows_lighter_from_its_first_colour_to_its_last) {
    for (std::size_t k = 1; k < Viridis.size(); ++k) {
        EXPECT_GT(Lightness(Viridis[k]), Lightness(Viridis[k - 1]) - 0.1) << k;
        if (k >= 8) {
            EXPECT_GT(Lightness(Viridis[k]), Lightness(Viridis[k - 8]) + 1) << k;
        }
    }
    EXPECT_LT(Lightness(Viridis.front()), 20);
    EXPECT_GT(Lightness(Viridis.back()), 90);
}

// Where a picture of `data` at `size` puts its image, as the writer lays it
// out (with a subtitle of two lines for calibrated values).
QRectF ImageAreaOf(std::shared_ptr<SpectrogramData> data, QSize size, PlotScale scale, bool calibrated = false) {
    SpectrogramPlot plot;
    plot.SetScale(scale);
    plot.SetData(std::move(data));
    plot.SetTitle(QStringLiteral("input"), calibrated ? QStringLiteral("method\nwindow") : QStringLiteral("method"));
    QImage scratch(size, QImage::Format_RGB32);
    QPainter painter(&scratch);
    plot.Paint(painter, scratch.rect());
    return plot.ImageArea();
}

// The brightest pixel of every column of the image lies on the chirp: its
// bin is the sweep's frequency at the centre of the exposures it shows.
// Exposure r starts at r * step (by default the batch's placement over the
// whole input); `points` transformed, `width` by default.
void ExpectChirpLine(const std::string& picture, const SpectrogramData& data, const QRectF& area, std::size_t length,
                     std::size_t width, double step = 0, std::size_t points = 0) {
    if (step == 0) step = static_cast<double>(length - width) / static_cast<double>(data.rows - 1);
    if (points == 0) points = width;
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(picture), "PNG")) << picture;
    const int left = static_cast<int>(std::ceil(area.left())) + 2;
    const int right = static_cast<int>(std::floor(area.right())) - 2;
    const double rowsPerPixel = static_cast<double>(data.rows) / area.width();
    const double binsPerPixel = static_cast<double>(data.bins) / area.height();
    int checked = 0;
    for (int x = left; x < right; ++x) {
        // A column within a pixel of two exposures may show the line of either.
        const double from = (x - 1 - area.left()) * rowsPerPixel - 0.5;
        const bool between = std::floor(from + 0.5) != std::floor(from + 3 * rowsPerPixel + 0.5);
        // The middle of the brightest pixels (a line can be more than a pixel thick).
        double best = -1;
        double sum = 0;
        int count = 0;
        for (int y = static_cast<int>(std::ceil(area.top())) + 1; y < static_cast<int>(area.bottom()); ++y) {
            const double luminance = Luminance(image.pixel(x, y));
            if (luminance > best) {
                best = luminance;
                sum = count = 0;
            }
            if (luminance == best) {
                sum += y;
                ++count;
            }
        }
        const double brightest = sum / count;
        const double row = (x + 0.5 - area.left()) * rowsPerPixel - 0.5;
        const double bin = (area.bottom() - (brightest + 0.5)) * binsPerPixel - 0.5;
        // The centre of an exposure is half a width after its start.
        const double centre = std::floor(std::clamp(std::round(row), 0.0, data.rows - 1.0) * step) + width / 2.0;
        const double binsPerWidth = static_cast<double>(points) / static_cast<double>(width);
        const double expected = (ChirpFrom + (ChirpTo - ChirpFrom) * centre / length) * points;
        const double spread = (between ? 1 + rowsPerPixel : 0) * step * (ChirpTo - ChirpFrom) * points / length;
        EXPECT_NEAR(bin, expected, (1.5 + spread) * binsPerWidth + binsPerPixel) << picture << ", column " << x;
        ++checked;
    }
    EXPECT_GT(checked, 900);
}

TEST(spectrogram_plot_test, the_brightest_pixel_of_each_column_follows_a_chirp_in_both_layouts) {
    test::TempDir dir;
    constexpr std::size_t length = 600000;
    test::WriteSamples(dir.File("chirp.dat"), Chirp(length));
    const auto matrix = test::RunProgram(TAVOX_EXE,
                                         {"--plot", "--layout=matrix", "--format=npz", "--rate=8000", "m", "h", "512",
                                          dir.File("chirp.dat"), "*.npz", "400"},
                                         test::DisplayVariables);
    ASSERT_EQ(matrix.status, 0) << matrix.err;
    const auto files = test::RunProgram(TAVOX_EXE,
                                        {"--plot=linear", "--plot-size=1400x900", "--format=npy", "m", "h", "1024",
                                         dir.File("chirp.dat"), "*.*", "150"},
                                        test::DisplayVariables);
    ASSERT_EQ(files.status, 0) << files.err;
    // One picture per input, none per exposure.
    EXPECT_FALSE(std::filesystem::exists(dir.File("chirp.001.png")));

    const SpectrogramReading npz = ReadSpectrogramFile(dir.File("chirp.npz"));
    ASSERT_TRUE(npz.data) << npz.error;
    ExpectChirpLine(dir.File("chirp.npz.png"), *npz.data, ImageAreaOf(npz.data, {1200, 700}, PlotScale::Db), length,
                    512);
    const SpectrogramReading stacked = ReadSpectrumSeries(dir.File("chirp.*"), {}, std::nullopt);
    ASSERT_TRUE(stacked.data) << stacked.error;
    ASSERT_EQ(stacked.data->rows, 150u);
    ExpectChirpLine(dir.File("chirp.png"), *stacked.data, ImageAreaOf(stacked.data, {1400, 900}, PlotScale::Linear),
                    length, 1024);

    // A PSD in dBFS/Hz, padded, at Welch's hop (999 exposures of 256
    // samples): levels already, drawn as they are, the line where it was.
    const auto psd =
        test::RunProgram(TAVOX_EXE,
                         {"--plot", "--layout=matrix", "--format=npz", "--rate=8000", "--scale=psd", "--unit=dbfs",
                          "--overlap=50", "--pad=2048", "m", "h", "512", dir.File("chirp.dat"), "*_psd.npz"},
                         test::DisplayVariables);
    ASSERT_EQ(psd.status, 0) << psd.err;
    const SpectrogramReading levels = ReadSpectrogramFile(dir.File("chirp_psd.npz"));
    ASSERT_TRUE(levels.data) << levels.error;
    EXPECT_EQ(levels.data->quantity, (SpectrumQuantity{SpectrumScale::Psd, SpectrumUnit::Dbfs}));
    ASSERT_EQ(levels.data->rows, 999u);
    ASSERT_EQ(levels.data->bins, 1024u);
    ExpectChirpLine(dir.File("chirp_psd.npz.png"), *levels.data,
                    ImageAreaOf(levels.data, {1200, 700}, PlotScale::Db, true), length, 512, 256, 2048);
}

// The readout and the axes: time at the exposure's centre, bins in Hz with
// a rate; the fitted colours span 120 dB below the strongest value.
TEST(spectrogram_plot_test, readout_axes_and_fitted_colours) {
    auto data = std::make_shared<SpectrogramData>();
    data->rows = 3;
    data->bins = 4;
    data->columns = 4;
    data->values = {1, 2, 3, 4, 5, 6, 7, 32767, 0, 0, 0, 3276.7};
    data->times = {0.064, 0.128, 0.192};
    data->time = SpectrogramData::Time::Seconds;
    data->width = 8;
    data->rate = 8000;
    SpectrogramPlot plot;
    plot.SetData(data);
    EXPECT_EQ(plot.ColourRange(), (std::pair<double, double>{-120, 0}));
    EXPECT_EQ(plot.Readout(1, 3), QStringLiteral("t 0.128 s (exposure 2), 3000 Hz (bin 3), magnitude 32767, 0 dB"));
    EXPECT_EQ(plot.Readout(2, 3),
              QStringLiteral("t 0.192 s (exposure 3), 3000 Hz (bin 3), magnitude 3276.7, \u221220 dB"));
    EXPECT_EQ(plot.Readout(2, 0).right(18), QStringLiteral("magnitude 0, \u2212\u221e dB"));
    EXPECT_DOUBLE_EQ(plot.TimeOfRow(1.5), 0.16);
    plot.SetScale(PlotScale::Linear);
    EXPECT_EQ(plot.ColourRange(), (std::pair<double, double>{0, 32767}));
    plot.SetSlice(SpectrogramPlot::Slice::AtFrequency, 3);
    EXPECT_EQ(plot.SliceValues(), (std::vector<double>{4, 32767, 3276.7}));
    plot.SetSlice(SpectrogramPlot::Slice::AtTime, 9);
    EXPECT_EQ(plot.SliceValues(), (std::vector<double>{0, 0, 0, 3276.7}));

    // Another quantity reads in its unit and level; values in dB stay levels
    // on either scale, their range fitted below the strongest.
    auto volts = std::make_shared<SpectrogramData>(*data);
    volts->quantity = {SpectrumScale::Psd, SpectrumUnit::Volts};
    volts->values = {1e-6, 0.01, 1, 4, 0, 0, 0, 0, 0, 0, 0, 0};
    plot.SetData(volts);
    plot.SetScale(PlotScale::Db);
    EXPECT_EQ(plot.ColourRange(), (std::pair<double, double>{-110, 10}));
    EXPECT_EQ(plot.Readout(0, 2), QStringLiteral("t 0.064 s (exposure 1), 2000 Hz (bin 2), PSD 1 V²/Hz, 0 dBV/Hz"));
    auto dbfs = std::make_shared<SpectrogramData>(*data);
    dbfs->quantity = {SpectrumScale::Power, SpectrumUnit::Dbfs};
    dbfs->values = {-3, -60, -200, -400, -13.5, -70, -90, -400, -400, -400, -400, -400};
    plot.SetData(dbfs);
    plot.SetScale(PlotScale::Linear);
    EXPECT_TRUE(plot.Levels());
    EXPECT_EQ(plot.ColourRange(), (std::pair<double, double>{-120, 0}));
    EXPECT_EQ(plot.Scaled(-13.5), -13.5);
    EXPECT_EQ(plot.Readout(1, 0).section(QStringLiteral(", "), 2), QStringLiteral("power −13.5 dBFS"));
}

}  // namespace
}  // namespace tavox
