#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <optional>
#include <utility>

#include "ui/plot/SpectrogramPlot.h"

class QRubberBand;

namespace tavox {

// The drawing area of the spectrogram viewer: paints a SpectrogramPlot and
// lets the user zoom (wheel around the pointer, with Ctrl in frequency only
// and with Shift in time only; a rectangle with the left button; + and -),
// pan (drag with the right or middle button, or Shift and the left one),
// read a value under the pointer or at a cursor moved with the arrow keys,
// and pick a slice: a click shows the spectrum of that time (the slice
// kind chosen), Ctrl+click the course of that frequency.
class SpectrogramCanvas : public QWidget {
    Q_OBJECT

public:
    explicit SpectrogramCanvas(QWidget* parent = nullptr);

    SpectrogramPlot& Plot() noexcept { return plot_; }
    const SpectrogramPlot& Plot() const noexcept { return plot_; }
    // Shown instead of a plot while there is no spectrogram.
    void SetMessage(const QString& message);

    // Zooms the rows and bins shown by `factor` (below 1 zooms in) around a
    // row and bin, by default the middle of the view; `time` and
    // `frequency` say which of them change.
    void ZoomBy(double factor, std::optional<std::pair<double, double>> around = std::nullopt, bool time = true,
                bool frequency = true);
    // Shows the rows and bins of a rectangle of the image.
    void ZoomToRect(const QRectF& rect);
    // Moves the view by shares of its width (towards later rows) and height
    // (towards higher bins).
    void PanBy(double timeShare, double frequencyShare);
    void FitAll();
    void SetDb(bool db);
    // The slice a click shows: the spectrum at a time or the course of a frequency.
    void SetSliceKind(SpectrogramPlot::Slice kind);
    SpectrogramPlot::Slice SliceKind() const noexcept { return sliceKind_; }
    // Shows the slice of `kind` through the row and bin under a point of the
    // widget; false outside the image.
    bool PickSlice(const QPointF& point, SpectrogramPlot::Slice kind);
    // Moves the cursor by rows and bins (the first move puts it in the
    // middle of the view) and reads it.
    void MoveCursor(int rows, int bins);
    std::optional<std::pair<std::size_t, std::size_t>> Cursor() const noexcept { return cursor_; }
    // The row and bin under a point of the widget, when it lies on the image.
    std::optional<std::pair<std::size_t, std::size_t>> CellAt(const QPointF& point) const;
    const QString& Readout() const noexcept { return readout_; }

signals:
    void readoutChanged(const QString& text);
    // The slice or the colour range changed.
    void plotChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void EnsurePainted();
    void ShowReadout(const QString& text);
    void Place(std::pair<std::size_t, std::size_t> cell);

    SpectrogramPlot plot_;
    QString message_;
    QString readout_;
    std::optional<std::pair<std::size_t, std::size_t>> cursor_;
    SpectrogramPlot::Slice sliceKind_ = SpectrogramPlot::Slice::AtTime;
    QRubberBand* band_ = nullptr;
    QPoint pressAt_;
    enum class Drag { None, Zoom, Pan } drag_ = Drag::None;
    SpectrogramPlot::View pressView_;
};

}  // namespace tavox
