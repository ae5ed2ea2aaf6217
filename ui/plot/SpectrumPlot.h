#pragma once

#include <QRectF>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "ui/plot/PlotOptions.h"
#include "ui/plot/SpectrumFile.h"

class QPainter;
class QRect;

namespace tavox {

// A spectrum drawn as a person reads it: magnitudes against bins (or Hz with
// a rate), on a linear or dB scale, as bars up to 128 bins and as a line
// above; a light grid with tick labels, a title of two lines, up to three
// peaks that stand out (SpectrumPeaks) marked with their values and, when
// the spectrum has phases, a second panel below with the phases in degrees
// of the bins that are no noise (NoiseLimit). Paint lays the
// picture out in the given area and remembers that layout, so that the
// coordinate conversions below refer to the last picture painted.
class SpectrumPlot {
public:
    // The part of the spectrum shown: bins left..right (bin k spans k-0.5 to
    // k+0.5) and values bottom..top on the current scale (magnitudes or dB).
    struct View {
        double left = 0;
        double right = 1;
        double bottom = 0;
        double top = 1;
    };

    SpectrumPlot() = default;
    explicit SpectrumPlot(std::shared_ptr<const Spectrum> spectrum);

    // A new spectrum (or none) shows all of it.
    void SetSpectrum(std::shared_ptr<const Spectrum> spectrum);
    const Spectrum* Data() const noexcept { return spectrum_.get(); }
    // Changing the scale fits the values anew, keeping the bins shown.
    void SetScale(PlotScale scale);
    PlotScale Scale() const noexcept { return scale_; }
    void SetRate(std::optional<double> rate) { rate_ = rate; }
    std::optional<double> Rate() const noexcept { return rate_; }
    // A subtitle of several lines holds them separated by "\n".
    void SetTitle(const QString& title, const QString& subtitle);
    const QString& Title() const noexcept { return title_; }
    const QString& Subtitle() const noexcept { return subtitle_; }

    // A bin marked by a dashed line, under the peak labels; none by default.
    void SetCursorBin(std::optional<std::size_t> bin) { cursor_ = bin; }

    View CurrentView() const noexcept { return view_; }
    // Kept within the spectrum's bins and a sensible value range.
    void SetView(const View& view);
    void FitAll();
    // The view of all bins fitted to the values they hold.
    View FullView() const;

    // Lays out and paints the whole picture (white background included).
    void Paint(QPainter& painter, const QRect& area);
    QRectF MagnitudeArea() const noexcept { return magnitudeArea_; }
    // Empty without phases.
    QRectF PhaseArea() const noexcept { return phaseArea_; }
    QRectF TitleArea() const noexcept { return titleArea_; }
    // The bins marked in the last picture, the strongest first.
    const std::vector<std::size_t>& MarkedPeaks() const noexcept { return marked_; }

    double XOfBin(double bin) const noexcept;
    double BinAtX(double x) const noexcept;
    // y of a value on the current scale in the magnitude panel, and back.
    double YOfValue(double value) const noexcept;
    double ValueAtY(double y) const noexcept;
    double YOfPhase(double degrees) const noexcept;
    // A magnitude on the current scale (itself, or dB re FullScale; for
    // another quantity its level, see ToLevel).
    double Scaled(double magnitude) const noexcept;
    // What the values are (the spectrum's quantity; amplitudes without one).
    SpectrumQuantity Quantity() const noexcept;
    // True when the values are drawn as levels in dB: on the dB scale, and
    // always for a quantity in dB.
    bool Levels() const noexcept;
    // The values as amplitudes, which peaks and noise are judged by (see
    // AmplitudeOf); the magnitudes themselves for amplitudes in counts.
    const std::vector<double>& Amplitudes() const noexcept;
    // The frequency of a bin with the rate, else nothing.
    std::optional<double> HzOfBin(double bin) const noexcept;

private:
    struct Layout;

    std::size_t Bins() const noexcept;
    View FitValues(View view) const;
    // The steps of Paint. LayOut sets the areas.
    Layout LayOut(const QRect& area);
    void PaintTitle(QPainter& painter, const Layout& layout) const;
    void PaintGrid(QPainter& painter, const Layout& layout) const;
    void PaintAxes(QPainter& painter, const Layout& layout) const;
    void PaintSeries(QPainter& painter, const Layout& layout) const;
    // Sets the marked peaks.
    void PaintPeaks(QPainter& painter, const Layout& layout);

    std::shared_ptr<const Spectrum> spectrum_;
    std::vector<double> amplitudes_;  // of another quantity (see Amplitudes)
    PlotScale scale_ = PlotScale::Linear;
    std::optional<double> rate_;
    QString title_;
    QString subtitle_;
    View view_;
    QRectF magnitudeArea_;
    QRectF phaseArea_;
    QRectF titleArea_;
    std::vector<std::size_t> marked_;
    std::optional<std::size_t> cursor_;
};

// The spectrum of a bin's readout: "bin 64", then Hz with a rate, the
// magnitude and its dB (another quantity: its name, value and unit, and
// its level), and the phase when there is one.
QString ReadoutText(const SpectrumPlot& plot, std::size_t bin);

}  // namespace tavox
