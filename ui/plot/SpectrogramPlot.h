#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/SpectrumOptions.h"
#include "ui/plot/PlotOptions.h"

class QPainter;
class QRect;

namespace tavox {

// The values of a spectrogram as drawn: `rows` exposures in time order of
// `columns` values each, where column j holds the largest value of the bins
// from j * bins / columns up to (j + 1) * bins / columns (so all bins when
// columns equals bins), with what places rows and bins.
struct SpectrogramData {
    enum class Time { Seconds, Samples, Exposures };

    std::size_t rows = 0;
    std::size_t bins = 0;
    std::size_t columns = 0;
    std::vector<double> values;  // rows * columns, row after row
    // The time of each row, evenly spaced: seconds with a rate, samples
    // without one, or exposure numbers when their placement is unknown.
    std::vector<double> times;
    Time time = Time::Exposures;
    std::size_t width = 0;  // of the transform: bin k lies at k * rate / width Hz
    std::optional<double> rate;
    SpectrumQuantity quantity;  // what the values are, in which unit

    double At(std::size_t row, std::size_t column) const noexcept { return values[row * columns + column]; }
};

// A spectrogram drawn as a person reads it: time to the right, frequency
// upwards, each value a colour of viridis on a dB (re 32767, floor -150 dB;
// other quantities as their level, see PlotQuantity) or linear scale (values
// already in dB stay levels), a colour bar in the unit of the values, axes in s and Hz
// when the rate is known, and the two title lines of the spectrum plots.
// The viewer adds a part of the view, a cursor and a slice panel under the
// image: the spectrum of one exposure, or the course of one bin over time.
// Paint lays the picture out and remembers the layout, so that the
// coordinate conversions refer to the last picture painted.
class SpectrogramPlot {
public:
    // Rows first..last (row r spans r - 0.5 to r + 0.5) and bins low..high.
    struct View {
        double first = 0;
        double last = 1;
        double low = 0;
        double high = 1;
    };
    enum class Slice { None, AtTime, AtFrequency };

    // New data (or none) shows all of it with the colour range fitted.
    void SetData(std::shared_ptr<const SpectrogramData> data);
    const SpectrogramData* Data() const noexcept { return data_.get(); }
    void SetScale(PlotScale scale);
    PlotScale Scale() const noexcept { return scale_; }
    void SetTitle(const QString& title, const QString& subtitle);
    const QString& Title() const noexcept { return title_; }

    // The values on the current scale that the lowest and highest colours
    // stand for; nothing fits them to the values (dB: 120 dB below the
    // strongest, rounded up to 10 dB; linear: 0 to the strongest).
    void SetColourRange(std::optional<std::pair<double, double>> range);
    std::pair<double, double> ColourRange() const noexcept { return range_; }
    bool ColourRangeFitted() const noexcept { return !chosenRange_; }

    View CurrentView() const noexcept { return view_; }
    // Kept within the data: at least two rows and two bins wide.
    void SetView(const View& view);
    void FitAll();
    View FullView() const;

    // The slice under the image: the spectrum of row `index`, or the
    // course of bin `index` over the rows; None shows the image alone.
    void SetSlice(Slice slice, std::size_t index);
    Slice SliceKind() const noexcept { return slice_; }
    std::size_t SliceIndex() const noexcept { return sliceIndex_; }
    // The values of the slice, full resolution: a row's bins or a bin's rows.
    std::vector<double> SliceValues() const;
    // The row and bin marked by cross hairs; none by default.
    void SetCursor(std::optional<std::pair<std::size_t, std::size_t>> rowBin) { cursor_ = rowBin; }

    // Lays out and paints the whole picture (white background included).
    void Paint(QPainter& painter, const QRect& area);
    QRectF ImageArea() const noexcept { return imageArea_; }
    QRectF SliceArea() const noexcept { return sliceArea_; }
    QRectF BarArea() const noexcept { return barArea_; }

    double XOfRow(double row) const noexcept;
    double RowAtX(double x) const noexcept;
    double YOfBin(double bin) const noexcept;
    double BinAtY(double y) const noexcept;
    // A value on the current scale (itself, or its level: dB re FullScale
    // for the amplitude in counts).
    double Scaled(double value) const noexcept;
    // True when the colours stand for levels in dB: the dB scale, or values in dB.
    bool Levels() const noexcept;
    // The time of a row in the data's unit (between rows as they are
    // spaced), and the frequency of a bin in Hz (nothing without a rate).
    double TimeOfRow(double row) const noexcept;
    std::optional<double> HzOfBin(double bin) const noexcept;
    // "t 1.25 s (exposure 3), 781.25 Hz (bin 100), magnitude 5999.9, -14.7 dB";
    // other quantities "..., PSD 0.0012 V²/Hz, -29.2 dBV/Hz".
    QString Readout(std::size_t row, std::size_t bin) const;

private:
    struct Layout;

    std::pair<double, double> FittedRange() const;
    Layout LayOut(const QRect& area);
    void PaintTitle(QPainter& painter, const Layout& layout) const;
    void PaintImage(QPainter& painter);
    void PaintAxes(QPainter& painter, const Layout& layout) const;
    void PaintBar(QPainter& painter, const Layout& layout) const;
    void PaintSlice(QPainter& painter, const Layout& layout) const;
    QImage Render(const QSize& size) const;

    std::shared_ptr<const SpectrogramData> data_;
    PlotScale scale_ = PlotScale::Db;
    QString title_;
    QString subtitle_;
    View view_;
    std::pair<double, double> range_{0, 1};
    bool chosenRange_ = false;
    Slice slice_ = Slice::None;
    std::size_t sliceIndex_ = 0;
    std::optional<std::pair<std::size_t, std::size_t>> cursor_;
    QRectF imageArea_;
    QRectF sliceArea_;
    QRectF barArea_;
    QRectF titleArea_;
    // The image of the last paint, kept while view, size, scale and range stay.
    QImage cached_;
    View cachedView_;
    std::pair<double, double> cachedRange_;
    PlotScale cachedScale_ = PlotScale::Db;
    const SpectrogramData* cachedData_ = nullptr;
};

}  // namespace tavox
