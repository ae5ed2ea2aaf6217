#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <optional>

#include "ui/plot/SpectrumPlot.h"

class QRubberBand;

namespace tavox {

// The drawing area of the viewer: paints a SpectrumPlot and lets the user
// zoom (wheel, rubber band with the left button, + and -), pan (drag with
// the right or middle button, or with Shift and the left one) and read
// values (the mouse, or Left and Right for a cursor bin by bin).
class PlotCanvas : public QWidget {
    Q_OBJECT

public:
    explicit PlotCanvas(QWidget* parent = nullptr);

    SpectrumPlot& Plot() noexcept { return plot_; }
    const SpectrumPlot& Plot() const noexcept { return plot_; }
    // Shown instead of a plot while there is no spectrum.
    void SetMessage(const QString& message);
    const QString& Message() const noexcept { return message_; }

    // Zooms the bins shown by `factor` (below 1 zooms in) around `bin`, by
    // default the cursor's or the middle of the view, and fits the values.
    void ZoomBy(double factor, std::optional<double> bin = std::nullopt);
    // Shows the bins and values of a rectangle of the magnitude panel.
    void ZoomToRect(const QRectF& rect);
    // Moves the view by `share` of its width (negative: to lower bins).
    void PanBy(double share);
    void FitAll();
    void SetDb(bool db);
    // Moves the cursor bin by `step` bins (the first move puts it at the
    // strongest bin in view).
    void MoveCursor(int step);
    std::optional<std::size_t> CursorBin() const noexcept { return cursor_; }
    // The readout of the bin under a point of the widget, empty outside the plot.
    QString ReadoutAt(const QPointF& point) const;
    const QString& Readout() const noexcept { return readout_; }

signals:
    void readoutChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The bin under x, when x lies in the plot and on a bin.
    std::optional<std::size_t> BinAt(const QPointF& point) const;
    void ShowReadout(const QString& text);
    void EnsurePainted();

    SpectrumPlot plot_;
    QString message_;
    QString readout_;
    std::optional<std::size_t> cursor_;
    QRubberBand* band_ = nullptr;
    QPoint pressAt_;
    enum class Drag { None, Zoom, Pan } drag_ = Drag::None;
    SpectrumPlot::View pressView_;
};

}  // namespace tavox
