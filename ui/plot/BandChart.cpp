#include "ui/plot/BandChart.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tavox {
namespace {

const QColor Ink(30, 30, 30);
const QColor Muted(95, 95, 95);
const QColor Grid(228, 228, 228);
const QColor Bar(31, 95, 191);
const QColor SparseBar(160, 185, 225);
constexpr double MaxRangeDb = 120;

QFont ChartFont(double pixels, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setBold(bold);
    return font;
}

}  // namespace

void PaintBandChart(QPainter& painter, const QRect& area, const std::vector<BandBar>& bars, const QString& title,
                    const QString& subtitle, const QString& axis) {
    painter.save();
    painter.fillRect(area, Qt::white);
    const double text = std::clamp(area.height() / 45.0, 9.0, 18.0);
    const QFont label = ChartFont(text);
    const QFontMetricsF metrics(label);
    painter.setPen(Ink);
    painter.setFont(ChartFont(text * 1.3, true));
    painter.drawText(QRectF(area.left(), area.top() + text * 0.5, area.width(), text * 1.8), Qt::AlignCenter, title);
    painter.setFont(label);
    painter.setPen(Muted);
    painter.drawText(QRectF(area.left(), area.top() + text * 2.3, area.width(), text * 1.5), Qt::AlignCenter, subtitle);
    const QRectF plot(area.left() + text * 6, area.top() + text * 5, area.width() - text * 7.5,
                      area.height() - text * 9);
    double top = -1e300;
    for (const BandBar& bar : bars) top = std::isfinite(bar.db) ? std::max(top, bar.db) : top;
    top = top > -1e300 ? std::ceil(top / 10) * 10 + 10 : 0;
    const double bottom = top - MaxRangeDb;
    const auto y = [&](double db) {
        return plot.bottom() - (std::clamp(db, bottom, top) - bottom) / (top - bottom) * plot.height();
    };
    painter.setFont(label);
    for (double db = bottom; db <= top + 1e-9; db += 20) {
        painter.setPen(QPen(Grid, 1));
        painter.drawLine(QPointF(plot.left(), y(db)), QPointF(plot.right(), y(db)));
        painter.setPen(Ink);
        painter.drawText(QRectF(area.left(), y(db) - text, plot.left() - area.left() - text * 0.4, text * 2),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(db, 'f', 0));
    }
    painter.save();
    painter.translate(area.left() + text, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -text, plot.height(), text * 2), Qt::AlignCenter, axis);
    painter.restore();
    if (!bars.empty()) {
        const double step = plot.width() / static_cast<double>(bars.size());
        double widest = 0;
        for (const BandBar& bar : bars) widest = std::max(widest, metrics.horizontalAdvance(bar.label));
        const auto every = static_cast<std::size_t>(std::max(1.0, std::ceil((widest + text) / step)));
        for (std::size_t i = 0; i < bars.size(); ++i) {
            const double left = plot.left() + step * static_cast<double>(i);
            if (std::isfinite(bars[i].db) && bars[i].db > bottom) {
                painter.fillRect(QRectF(left + step * 0.1, y(bars[i].db), step * 0.8, plot.bottom() - y(bars[i].db)),
                                 bars[i].sparse ? SparseBar : Bar);
            }
            if (i % every == 0) {
                painter.setPen(Ink);
                painter.drawText(QRectF(left + step / 2 - widest, plot.bottom() + text * 0.3, 2 * widest, text * 1.6),
                                 Qt::AlignCenter, bars[i].label);
            }
        }
    }
    painter.setPen(Muted);
    painter.drawText(QRectF(plot.left(), plot.bottom() + text * 1.9, plot.width(), text * 1.6), Qt::AlignCenter,
                     QStringLiteral("band (Hz); light bars hold fewer than 3 NENBW bins"));
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
    painter.restore();
}

}  // namespace tavox
