#include "ui/plot/PlotCanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tavox {
namespace {

constexpr double WheelStep = 0.8;  // of the bins shown, per notch towards the user
constexpr int MinBandPixels = 5;

}  // namespace

PlotCanvas::PlotCanvas(QWidget* parent) : QWidget(parent), band_(new QRubberBand(QRubberBand::Rectangle, this)) {
    setObjectName(QStringLiteral("plotCanvas"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(400, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Spectrum plot"));
}

void PlotCanvas::SetMessage(const QString& message) {
    message_ = message;
    cursor_.reset();
    ShowReadout({});
    update();
}

// The coordinate conversions need a layout, which painting makes.
void PlotCanvas::EnsurePainted() {
    if (!plot_.MagnitudeArea().isEmpty() || width() <= 0) return;
    QImage scratch(size(), QImage::Format_RGB32);
    QPainter painter(&scratch);
    plot_.Paint(painter, rect());
}

void PlotCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!plot_.Data()) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(160, 30, 30));
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter.setFont(font);
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    plot_.SetCursorBin(cursor_);
    plot_.Paint(painter, rect());
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

std::optional<std::size_t> PlotCanvas::BinAt(const QPointF& point) const {
    const Spectrum* data = plot_.Data();
    if (!data) return std::nullopt;
    QRectF area = plot_.MagnitudeArea();
    if (!plot_.PhaseArea().isEmpty()) area = area.united(plot_.PhaseArea());
    if (!area.contains(point)) return std::nullopt;
    const double bin = std::round(plot_.BinAtX(point.x()));
    if (bin < 0 || bin >= static_cast<double>(data->magnitudes.size())) return std::nullopt;
    return static_cast<std::size_t>(bin);
}

QString PlotCanvas::ReadoutAt(const QPointF& point) const {
    const auto bin = BinAt(point);
    return bin ? ReadoutText(plot_, *bin) : QString();
}

void PlotCanvas::ShowReadout(const QString& text) {
    if (text == readout_) return;
    readout_ = text;
    emit readoutChanged(text);
}

void PlotCanvas::ZoomBy(double factor, std::optional<double> bin) {
    if (!plot_.Data()) return;
    SpectrumPlot::View view = plot_.CurrentView();
    const double centre = bin.value_or(cursor_ ? static_cast<double>(*cursor_) : (view.left + view.right) / 2);
    view.left = centre - (centre - view.left) * factor;
    view.right = centre + (view.right - centre) * factor;
    plot_.SetView(view);
    plot_.SetScale(plot_.Scale());  // fits the values to the bins now shown
    update();
}

void PlotCanvas::ZoomToRect(const QRectF& rect) {
    if (!plot_.Data()) return;
    SpectrumPlot::View view;
    view.left = plot_.BinAtX(rect.left());
    view.right = plot_.BinAtX(rect.right());
    view.top = plot_.ValueAtY(rect.top());
    view.bottom = plot_.ValueAtY(rect.bottom());
    plot_.SetView(view);
    update();
}

void PlotCanvas::PanBy(double share) {
    if (!plot_.Data()) return;
    SpectrumPlot::View view = plot_.CurrentView();
    const double shift = (view.right - view.left) * share;
    view.left += shift;
    view.right += shift;
    plot_.SetView(view);
    update();
}

void PlotCanvas::FitAll() {
    plot_.FitAll();
    update();
}

void PlotCanvas::SetDb(bool db) {
    plot_.SetScale(db ? PlotScale::Db : PlotScale::Linear);
    if (cursor_) ShowReadout(ReadoutText(plot_, *cursor_));
    update();
}

void PlotCanvas::MoveCursor(int step) {
    const Spectrum* data = plot_.Data();
    if (!data || data->magnitudes.empty()) return;
    const auto bins = static_cast<long>(data->magnitudes.size());
    if (!cursor_) {
        EnsurePainted();
        const auto& peaks = plot_.MarkedPeaks();
        const SpectrumPlot::View view = plot_.CurrentView();
        cursor_ = peaks.empty()
                      ? static_cast<std::size_t>(std::clamp(std::lround((view.left + view.right) / 2), 0L, bins - 1))
                      : peaks.front();
    } else {
        cursor_ = static_cast<std::size_t>(std::clamp(static_cast<long>(*cursor_) + step, 0L, bins - 1));
    }
    // Keeps the cursor in view.
    const SpectrumPlot::View view = plot_.CurrentView();
    const double at = static_cast<double>(*cursor_);
    if (at < view.left + 0.5) PanBy((at - 0.5 - view.left) / (view.right - view.left));
    if (at > view.right - 0.5) PanBy((at + 0.5 - view.right) / (view.right - view.left));
    ShowReadout(ReadoutText(plot_, *cursor_));
    update();
}

void PlotCanvas::mousePressEvent(QMouseEvent* event) {
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

void PlotCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (drag_ == Drag::Zoom) {
        band_->setGeometry(QRect(pressAt_, at.toPoint()).normalized());
    } else if (drag_ == Drag::Pan && plot_.Data()) {
        const double binsPerPixel = (pressView_.right - pressView_.left) / std::max(1.0, plot_.MagnitudeArea().width());
        SpectrumPlot::View view = pressView_;
        const double shift = -(at.x() - pressAt_.x()) * binsPerPixel;
        view.left += shift;
        view.right += shift;
        plot_.SetView(view);
        update();
    }
    if (const auto bin = BinAt(at)) {
        cursor_ = *bin;
        ShowReadout(ReadoutText(plot_, *bin));
        update();
    }
}

void PlotCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::Zoom) {
        band_->hide();
        const QRect band = QRect(pressAt_, event->position().toPoint()).normalized();
        if (band.width() >= MinBandPixels && band.height() >= MinBandPixels) ZoomToRect(band);
    }
    drag_ = Drag::None;
    unsetCursor();
    event->accept();
}

void PlotCanvas::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !plot_.Data()) return;
    ZoomBy(std::pow(WheelStep, notches), plot_.BinAtX(event->position().x()));
    event->accept();
}

void PlotCanvas::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    switch (event->key()) {
        case Qt::Key_Left:
            if (plain) return MoveCursor(-1);
            break;
        case Qt::Key_Right:
            if (plain) return MoveCursor(1);
            break;
        case Qt::Key_PageUp:
            if (plain) return MoveCursor(-10);
            break;
        case Qt::Key_PageDown:
            if (plain) return MoveCursor(10);
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tavox
