#include "ui/plot/SpectrogramCanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tavox {
namespace {

constexpr double WheelStep = 0.8;  // of the view, per notch towards the user
constexpr int MinBandPixels = 5;

}  // namespace

SpectrogramCanvas::SpectrogramCanvas(QWidget* parent)
    : QWidget(parent), band_(new QRubberBand(QRubberBand::Rectangle, this)) {
    setObjectName(QStringLiteral("spectrogramCanvas"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(480, 360);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Spectrogram"));
}

void SpectrogramCanvas::SetMessage(const QString& message) {
    message_ = message;
    cursor_.reset();
    ShowReadout({});
    update();
}

void SpectrogramCanvas::EnsurePainted() {
    if (!plot_.ImageArea().isEmpty() || width() <= 0) return;
    QImage scratch(size(), QImage::Format_RGB32);
    QPainter painter(&scratch);
    plot_.Paint(painter, rect());
}

void SpectrogramCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!plot_.Data()) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(160, 30, 30));
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    plot_.SetCursor(cursor_);
    plot_.Paint(painter, rect());
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

std::optional<std::pair<std::size_t, std::size_t>> SpectrogramCanvas::CellAt(const QPointF& point) const {
    const SpectrogramData* data = plot_.Data();
    if (!data || !plot_.ImageArea().contains(point)) return std::nullopt;
    const double row = std::round(plot_.RowAtX(point.x()));
    const double bin = std::round(plot_.BinAtY(point.y()));
    if (row < 0 || bin < 0 || row >= static_cast<double>(data->rows) || bin >= static_cast<double>(data->bins))
        return std::nullopt;
    return std::pair{static_cast<std::size_t>(row), static_cast<std::size_t>(bin)};
}

void SpectrogramCanvas::ShowReadout(const QString& text) {
    if (text == readout_) return;
    readout_ = text;
    emit readoutChanged(text);
}

void SpectrogramCanvas::Place(std::pair<std::size_t, std::size_t> cell) {
    cursor_ = cell;
    ShowReadout(plot_.Readout(cell.first, cell.second));
    update();
}

void SpectrogramCanvas::ZoomBy(double factor, std::optional<std::pair<double, double>> around, bool time,
                               bool frequency) {
    if (!plot_.Data()) return;
    SpectrogramPlot::View view = plot_.CurrentView();
    const double row = around ? around->first : (view.first + view.last) / 2;
    const double bin = around ? around->second : (view.low + view.high) / 2;
    if (time) {
        view.first = row - (row - view.first) * factor;
        view.last = row + (view.last - row) * factor;
    }
    if (frequency) {
        view.low = bin - (bin - view.low) * factor;
        view.high = bin + (view.high - bin) * factor;
    }
    plot_.SetView(view);
    update();
}

void SpectrogramCanvas::ZoomToRect(const QRectF& rect) {
    if (!plot_.Data()) return;
    SpectrogramPlot::View view;
    view.first = plot_.RowAtX(rect.left());
    view.last = plot_.RowAtX(rect.right());
    view.high = plot_.BinAtY(rect.top());
    view.low = plot_.BinAtY(rect.bottom());
    plot_.SetView(view);
    update();
}

void SpectrogramCanvas::PanBy(double timeShare, double frequencyShare) {
    if (!plot_.Data()) return;
    SpectrogramPlot::View view = plot_.CurrentView();
    const double rows = (view.last - view.first) * timeShare;
    const double bins = (view.high - view.low) * frequencyShare;
    view.first += rows;
    view.last += rows;
    view.low += bins;
    view.high += bins;
    plot_.SetView(view);
    update();
}

void SpectrogramCanvas::FitAll() {
    plot_.FitAll();
    update();
}

void SpectrogramCanvas::SetDb(bool db) {
    plot_.SetScale(db ? PlotScale::Db : PlotScale::Linear);
    if (cursor_) ShowReadout(plot_.Readout(cursor_->first, cursor_->second));
    emit plotChanged();
    update();
}

void SpectrogramCanvas::SetSliceKind(SpectrogramPlot::Slice kind) {
    sliceKind_ = kind;
    if (cursor_ && plot_.SliceKind() != SpectrogramPlot::Slice::None) {
        plot_.SetSlice(kind, kind == SpectrogramPlot::Slice::AtTime ? cursor_->first : cursor_->second);
        emit plotChanged();
        update();
    }
}

bool SpectrogramCanvas::PickSlice(const QPointF& point, SpectrogramPlot::Slice kind) {
    EnsurePainted();
    const auto cell = CellAt(point);
    if (!cell) return false;
    plot_.SetSlice(kind, kind == SpectrogramPlot::Slice::AtTime ? cell->first : cell->second);
    Place(*cell);
    emit plotChanged();
    return true;
}

void SpectrogramCanvas::MoveCursor(int rows, int bins) {
    const SpectrogramData* data = plot_.Data();
    if (!data || data->rows == 0 || data->bins == 0) return;
    const SpectrogramPlot::View view = plot_.CurrentView();
    const auto clampTo = [](double value, std::size_t count) {
        return static_cast<std::size_t>(std::clamp(std::round(value), 0.0, static_cast<double>(count) - 1));
    };
    std::pair<std::size_t, std::size_t> cell =
        cursor_ ? std::pair{clampTo(static_cast<double>(cursor_->first) + rows, data->rows),
                            clampTo(static_cast<double>(cursor_->second) + bins, data->bins)}
                : std::pair{clampTo((view.first + view.last) / 2, data->rows),
                            clampTo((view.low + view.high) / 2, data->bins)};
    // Keeps the cursor in view.
    const double row = static_cast<double>(cell.first);
    const double bin = static_cast<double>(cell.second);
    const double timeShift = row < view.first + 0.5  ? row - 0.5 - view.first
                             : row > view.last - 0.5 ? row + 0.5 - view.last
                                                     : 0;
    const double frequencyShift = bin < view.low + 0.5    ? bin - 0.5 - view.low
                                  : bin > view.high - 0.5 ? bin + 0.5 - view.high
                                                          : 0;
    if (timeShift != 0 || frequencyShift != 0) {
        PanBy(timeShift / (view.last - view.first), frequencyShift / (view.high - view.low));
    }
    if (plot_.SliceKind() != SpectrogramPlot::Slice::None) {
        plot_.SetSlice(plot_.SliceKind(),
                       plot_.SliceKind() == SpectrogramPlot::Slice::AtTime ? cell.first : cell.second);
        emit plotChanged();
    }
    Place(cell);
}

void SpectrogramCanvas::mousePressEvent(QMouseEvent* event) {
    pressAt_ = event->position().toPoint();
    pressView_ = plot_.CurrentView();
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier))) {
        drag_ = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    } else if (event->button() == Qt::LeftButton) {
        drag_ = Drag::Zoom;
        band_->setGeometry(QRect(pressAt_, QSize()));
        band_->show();
    }
    event->accept();
}

void SpectrogramCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (drag_ == Drag::Zoom) {
        band_->setGeometry(QRect(pressAt_, at.toPoint()).normalized());
    } else if (drag_ == Drag::Pan && plot_.Data()) {
        const QRectF image = plot_.ImageArea();
        SpectrogramPlot::View view = pressView_;
        const double rows = -(at.x() - pressAt_.x()) * (view.last - view.first) / std::max(1.0, image.width());
        const double bins = (at.y() - pressAt_.y()) * (view.high - view.low) / std::max(1.0, image.height());
        view.first += rows;
        view.last += rows;
        view.low += bins;
        view.high += bins;
        plot_.SetView(view);
        update();
    }
    if (const auto cell = CellAt(at)) Place(*cell);
}

// A press and release at one place picks a slice; a rectangle zooms.
void SpectrogramCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::Zoom) {
        band_->hide();
        const QRect band = QRect(pressAt_, event->position().toPoint()).normalized();
        if (band.width() >= MinBandPixels && band.height() >= MinBandPixels) {
            ZoomToRect(band);
        } else {
            const bool other = (event->modifiers() & Qt::ControlModifier) != 0;
            const SpectrogramPlot::Slice kind = other == (sliceKind_ == SpectrogramPlot::Slice::AtTime)
                                                    ? SpectrogramPlot::Slice::AtFrequency
                                                    : SpectrogramPlot::Slice::AtTime;
            PickSlice(event->position(), kind);
        }
    }
    drag_ = Drag::None;
    unsetCursor();
    event->accept();
}

void SpectrogramCanvas::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !plot_.Data()) return;
    const QPointF at = event->position();
    const bool time = !(event->modifiers() & Qt::ControlModifier);
    const bool frequency = !(event->modifiers() & Qt::ShiftModifier);
    ZoomBy(std::pow(WheelStep, notches), std::pair{plot_.RowAtX(at.x()), plot_.BinAtY(at.y())}, time, frequency);
    event->accept();
}

void SpectrogramCanvas::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    if (plain) {
        switch (event->key()) {
            case Qt::Key_Left:
                return MoveCursor(-1, 0);
            case Qt::Key_Right:
                return MoveCursor(1, 0);
            case Qt::Key_Up:
                return MoveCursor(0, 1);
            case Qt::Key_Down:
                return MoveCursor(0, -1);
            case Qt::Key_PageUp:
                return MoveCursor(0, 10);
            case Qt::Key_PageDown:
                return MoveCursor(0, -10);
            default:
                break;
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tavox
