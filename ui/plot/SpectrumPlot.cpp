#include "ui/plot/SpectrumPlot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/SpectrumPeaks.h"
#include "ui/plot/PlotAxis.h"
#include "ui/plot/PlotQuantity.h"

namespace tavox {
namespace {

constexpr std::size_t MaxBarBins = 128;
constexpr double PhaseShare = 0.3;  // of the height of both panels

const QColor Background(255, 255, 255);
const QColor Frame(90, 90, 90);
const QColor Grid(228, 228, 228);
const QColor Ink(30, 30, 30);
const QColor Muted(95, 95, 95);
const QColor MagnitudeColour(31, 95, 191);
const QColor PhaseColour(46, 139, 87);
const QColor PeakColour(200, 40, 40);
constexpr double PhaseTicks[] = {-180, -90, 0, 90, 180};

QString ValueText(double value, PlotScale scale) {
    if (scale == PlotScale::Db) return QString::fromStdString(FormatValue(value, 1)) + QStringLiteral(" dB");
    return QString::fromStdString(FormatValue(value, std::abs(value) >= 10 ? 1 : 3));
}

QString HzText(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", hz);
    return QString::fromLatin1(text) + QStringLiteral(" Hz");
}

QFont PlotFont(double pixels, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setBold(bold);
    return font;
}

// Draws `text` elided to `width` so that nothing is cut at a border.
void DrawLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment align) {
    const QString shown = QFontMetricsF(painter.font()).elidedText(text, Qt::ElideRight, box.width());
    painter.drawText(box, static_cast<int>(align | Qt::AlignVCenter), shown);
}

// The bins in view of a series and how they are drawn.
struct BinSpan {
    std::size_t first = 0;
    std::size_t last = 0;
    bool bars = false;  // few bins: a bar (or dot) each
    double binPixels = 0;
    double lineWidth = 1;
};

// Draws values[first..last) in `panel` as bars or dots when the bins are
// few, as one line per pixel column when they outnumber the pixels, else as
// a line or dots. `yOf` places a value; only the bins `shown` are drawn (a
// line takes them all); bars rise from `base`.
template <class YOf, class Shown>
void DrawSeries(QPainter& painter, const SpectrumPlot& plot, const BinSpan& span, const QRectF& panel,
                const std::vector<double>& values, YOf yOf, double base, Shown shown, const QColor& colour, bool dots) {
    const std::size_t first = span.first;
    const std::size_t last = span.last;
    const double binPixels = span.binPixels;
    painter.save();
    painter.setClipRect(panel.adjusted(0, 0, 1, 1));
    if (span.bars) {
        const double half = std::max(0.5, binPixels * 0.35);
        const double baseY = std::clamp(yOf(base), panel.top(), panel.bottom());
        for (std::size_t k = first; k < last; ++k) {
            if (!shown(k)) continue;
            const double x = plot.XOfBin(static_cast<double>(k));
            const double y = yOf(values[k]);
            if (dots) {
                painter.setRenderHint(QPainter::Antialiasing, true);
                painter.setPen(Qt::NoPen);
                painter.setBrush(colour);
                const double r = std::clamp(binPixels * 0.25, 1.5, 4.0);
                painter.drawEllipse(QPointF(x, y), r, r);
            } else {
                painter.fillRect(QRectF(QPointF(x - half, std::min(y, baseY)), QPointF(x + half, std::max(y, baseY))),
                                 colour);
            }
        }
    } else if (last - first > static_cast<std::size_t>(panel.width()) * 2) {
        // More bins than pixels: each pixel column shows the range of its bins.
        painter.setPen(QPen(colour, 1));
        const int columns = static_cast<int>(panel.width());
        for (int c = 0; c <= columns; ++c) {
            const double from = plot.BinAtX(panel.left() + c);
            const double to = plot.BinAtX(panel.left() + c + 1);
            const auto a = static_cast<std::size_t>(
                std::clamp(std::floor(from), static_cast<double>(first), static_cast<double>(last - 1)));
            const auto b = static_cast<std::size_t>(
                std::clamp(std::ceil(to), static_cast<double>(a + 1), static_cast<double>(last)));
            double lo = 0;
            double hi = 0;
            bool any = false;
            for (std::size_t k = a; k < b; ++k) {
                if (!shown(k)) continue;
                lo = any ? std::min(lo, values[k]) : values[k];
                hi = any ? std::max(hi, values[k]) : values[k];
                any = true;
            }
            if (!any) continue;
            const double x = panel.left() + c + 0.5;
            painter.drawLine(QPointF(x, yOf(hi)), QPointF(x, yOf(lo) + (dots ? 0 : 0.01)));
        }
    } else {
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (dots) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            for (std::size_t k = first; k < last; ++k) {
                if (shown(k))
                    painter.drawEllipse(QPointF(plot.XOfBin(static_cast<double>(k)), yOf(values[k])), 2.5, 2.5);
            }
        } else {
            QPolygonF line;
            line.reserve(static_cast<qsizetype>(last - first));
            for (std::size_t k = first; k < last; ++k)
                line << QPointF(plot.XOfBin(static_cast<double>(k)), yOf(values[k]));
            painter.setPen(QPen(colour, span.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPolyline(line);
        }
    }
    painter.restore();
}

}  // namespace

SpectrumPlot::SpectrumPlot(std::shared_ptr<const Spectrum> spectrum) {
    SetSpectrum(std::move(spectrum));
}

void SpectrumPlot::SetSpectrum(std::shared_ptr<const Spectrum> spectrum) {
    spectrum_ = std::move(spectrum);
    amplitudes_.clear();
    if (spectrum_ && spectrum_->quantity != SpectrumQuantity{}) {
        for (const double x : spectrum_->magnitudes) amplitudes_.push_back(AmplitudeOf(x, spectrum_->quantity));
    }
    if (spectrum_ && !rate_ && spectrum_->rate) rate_ = spectrum_->rate;
    FitAll();
}

void SpectrumPlot::SetScale(PlotScale scale) {
    scale_ = scale;
    view_ = FitValues(view_);
}

void SpectrumPlot::SetTitle(const QString& title, const QString& subtitle) {
    title_ = title;
    subtitle_ = subtitle;
}

std::size_t SpectrumPlot::Bins() const noexcept {
    return spectrum_ ? spectrum_->magnitudes.size() : 0;
}

SpectrumQuantity SpectrumPlot::Quantity() const noexcept {
    return spectrum_ ? spectrum_->quantity : SpectrumQuantity{};
}

const std::vector<double>& SpectrumPlot::Amplitudes() const noexcept {
    return amplitudes_.empty() ? spectrum_->magnitudes : amplitudes_;
}

bool SpectrumPlot::Levels() const noexcept {
    return scale_ == PlotScale::Db || Quantity().Decibels();
}

double SpectrumPlot::Scaled(double magnitude) const noexcept {
    return Levels() ? ToLevel(magnitude, Quantity()) : magnitude;
}

std::optional<double> SpectrumPlot::HzOfBin(double bin) const noexcept {
    if (!rate_ || !spectrum_ || spectrum_->width == 0) return std::nullopt;
    return bin * *rate_ / static_cast<double>(spectrum_->width);
}

SpectrumPlot::View SpectrumPlot::FullView() const {
    View view;
    view.left = -0.5;
    view.right = std::max<double>(1, static_cast<double>(Bins())) - 0.5;
    return FitValues(view);
}

// Values from the floor (0, or the lowest dB shown) to above the strongest
// bin in view, with room for the peak labels on the linear scale.
SpectrumPlot::View SpectrumPlot::FitValues(View view) const {
    double highest = 0;
    double lowest = 0;
    bool any = false;
    if (spectrum_) {
        const auto first = static_cast<std::size_t>(std::max(0.0, std::ceil(view.left)));
        const auto last =
            static_cast<std::size_t>(std::clamp(std::floor(view.right) + 1, 0.0, static_cast<double>(Bins())));
        for (std::size_t k = first; k < last; ++k) {
            const double v = Scaled(spectrum_->magnitudes[k]);
            highest = any ? std::max(highest, v) : v;
            lowest = any ? std::min(lowest, v) : v;
            any = true;
        }
    }
    if (Levels()) {
        const double floor = Quantity() == SpectrumQuantity{} ? DbFloor : LevelFloor;
        view.top = std::max(0.0, std::ceil(highest / 10) * 10);
        view.bottom = any ? std::max(floor, std::floor((lowest - 5) / 10) * 10) : floor;
        view.bottom = std::min(view.bottom, view.top - 20);
    } else {
        view.bottom = 0;
        const double room = highest > 0 ? highest * 1.15 : 1;
        const Ticks ticks = NiceTicks(0, room, 8);
        view.top = std::max(room, ticks.values.back() < room ? ticks.values.back() + ticks.step : ticks.values.back());
    }
    return view;
}

void SpectrumPlot::FitAll() {
    view_ = FullView();
}

void SpectrumPlot::SetView(const View& view) {
    const double bins = std::max<double>(1, static_cast<double>(Bins()));
    View next = view;
    if (!(next.right > next.left)) std::swap(next.left, next.right);
    // At least two bins wide, within the spectrum.
    const double span = std::clamp(next.right - next.left, std::min(2.0, bins), bins);
    next.left = std::clamp(next.left, -0.5, bins - 0.5 - span);
    next.right = next.left + span;
    if (!(next.top > next.bottom)) std::swap(next.top, next.bottom);
    if (!(next.top - next.bottom > 1e-9)) next.top = next.bottom + 1e-9;
    view_ = next;
}

double SpectrumPlot::XOfBin(double bin) const noexcept {
    const QRectF& a = magnitudeArea_;
    return a.left() + (bin - view_.left) / (view_.right - view_.left) * a.width();
}

double SpectrumPlot::BinAtX(double x) const noexcept {
    const QRectF& a = magnitudeArea_;
    return view_.left + (x - a.left()) / std::max(1.0, a.width()) * (view_.right - view_.left);
}

double SpectrumPlot::YOfValue(double value) const noexcept {
    const QRectF& a = magnitudeArea_;
    return a.bottom() - (value - view_.bottom) / (view_.top - view_.bottom) * a.height();
}

double SpectrumPlot::ValueAtY(double y) const noexcept {
    const QRectF& a = magnitudeArea_;
    return view_.bottom + (a.bottom() - y) / std::max(1.0, a.height()) * (view_.top - view_.bottom);
}

double SpectrumPlot::YOfPhase(double degrees) const noexcept {
    const QRectF& a = phaseArea_;
    return a.bottom() - (degrees + 180) / 360 * a.height();
}

// What Paint lays out before it draws: the sizes of the text, the areas
// (kept in the plot too) and the ticks.
struct SpectrumPlot::Layout {
    QRect area;
    double text;  // label size in pixels
    QFont labelFont;
    QFont titleFont;
    QFontMetricsF label;
    QFontMetricsF title;
    double pad;
    bool phases;
    QRectF lowest;  // the lower panel, whose x axis is labelled
    Ticks yTicks;
    double tickWidth;  // of the widest y tick label
    double xUnit;      // Hz per bin, or 1
    Ticks xTicks;
};

void SpectrumPlot::Paint(QPainter& painter, const QRect& area) {
    painter.save();
    painter.fillRect(area, Background);
    const Layout layout = LayOut(area);
    PaintTitle(painter, layout);
    PaintGrid(painter, layout);
    PaintAxes(painter, layout);
    marked_.clear();
    if (spectrum_ && Bins() > 0) {
        PaintSeries(painter, layout);
        PaintPeaks(painter, layout);
    } else if (!spectrum_) {
        painter.setPen(Muted);
        painter.drawText(magnitudeArea_, Qt::AlignCenter, QStringLiteral("no spectrum"));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Frame, 1));
    painter.drawRect(magnitudeArea_);
    if (layout.phases) painter.drawRect(phaseArea_);
    painter.restore();
}

// The title on top; the panels below, as wide as the y tick labels leave
// room for, the phases taking a share of the height; x ticks spaced by the
// widest label.
SpectrumPlot::Layout SpectrumPlot::LayOut(const QRect& area) {
    const double text = std::clamp(std::min(area.height() / 46.0, area.width() / 80.0), 10.0, 22.0);
    const QFont labelFont = PlotFont(text);
    const QFont titleFont = PlotFont(text * 1.3, true);
    const QFontMetricsF label(labelFont);
    const QFontMetricsF titleMetrics(titleFont);
    const double pad = std::round(text * 0.8);
    const auto subtitleLines = static_cast<double>(subtitle_.count(QLatin1Char('\n')) + 1);
    titleArea_ = QRectF(area.left() + pad, area.top() + pad * 0.6, area.width() - 2 * pad,
                        titleMetrics.height() + label.height() * subtitleLines + pad * 0.3);

    const bool phases = spectrum_ && !spectrum_->phases.empty();
    const double top = titleArea_.bottom() + pad;
    const double bottomMargin = label.height() * 2 + pad * 1.2;
    const double panels = std::max(40.0, area.bottom() - bottomMargin - top);
    const double gap = phases ? pad * 1.5 : 0;
    const double magnitudeHeight = phases ? (panels - gap) * (1 - PhaseShare) : panels;
    const Ticks yTicks =
        NiceTicks(view_.bottom, view_.top, std::max(2, static_cast<int>(magnitudeHeight / (label.height() * 2.2))));
    double tickWidth = label.horizontalAdvance(QStringLiteral("\u2212180"));
    for (const double v : yTicks.values) {
        tickWidth =
            std::max(tickWidth, label.horizontalAdvance(QString::fromStdString(FormatValue(v, yTicks.decimals))));
    }
    const double left = area.left() + pad + label.height() + pad * 0.6 + tickWidth + pad * 0.5;
    const double right = area.right() - pad * 1.5;
    magnitudeArea_ = QRectF(left, top, std::max(20.0, right - left), magnitudeHeight);
    phaseArea_ =
        phases ? QRectF(left, magnitudeArea_.bottom() + gap, magnitudeArea_.width(), panels - gap - magnitudeHeight)
               : QRectF();

    const double xUnit = rate_ && spectrum_ && spectrum_->width ? *rate_ / static_cast<double>(spectrum_->width) : 1.0;
    const double widest = label.horizontalAdvance(
        QString::fromStdString(FormatValue(std::max(std::abs(view_.left), std::abs(view_.right)) * xUnit, 2)));
    const Ticks xTicks = NiceTicks(std::max(0.0, view_.left) * xUnit, view_.right * xUnit,
                                   std::max(2, static_cast<int>(magnitudeArea_.width() / (widest + pad * 2.5))));
    return Layout{
        area,   text,      labelFont, titleFont, label, titleMetrics, pad, phases, phases ? phaseArea_ : magnitudeArea_,
        yTicks, tickWidth, xUnit,     xTicks};
}

void SpectrumPlot::PaintTitle(QPainter& painter, const Layout& layout) const {
    const double lineGap = layout.pad * 0.3;
    painter.setPen(Ink);
    painter.setFont(layout.titleFont);
    DrawLine(painter, QRectF(titleArea_.left(), titleArea_.top(), titleArea_.width(), layout.title.height()), title_,
             Qt::AlignHCenter);
    painter.setFont(layout.labelFont);
    painter.setPen(Muted);
    double top = titleArea_.top() + layout.title.height() + lineGap;
    for (const QString& line : subtitle_.split(QLatin1Char('\n'))) {
        DrawLine(painter, QRectF(titleArea_.left(), top, titleArea_.width(), layout.label.height()), line,
                 Qt::AlignHCenter);
        top += layout.label.height();
    }
}

// Lines at the x ticks in both panels, at the y ticks and at every quarter turn of phase.
void SpectrumPlot::PaintGrid(QPainter& painter, const Layout& layout) const {
    painter.setFont(layout.labelFont);
    for (const QRectF& panel : {magnitudeArea_, phaseArea_}) {
        if (panel.isEmpty()) continue;
        painter.setPen(QPen(Grid, 1));
        for (const double t : layout.xTicks.values) {
            const double x = std::round(XOfBin(t / layout.xUnit)) + 0.5;
            if (x >= panel.left() && x <= panel.right())
                painter.drawLine(QPointF(x, panel.top()), QPointF(x, panel.bottom()));
        }
    }
    painter.setPen(QPen(Grid, 1));
    for (const double v : layout.yTicks.values) {
        const double y = std::round(YOfValue(v)) + 0.5;
        painter.drawLine(QPointF(magnitudeArea_.left(), y), QPointF(magnitudeArea_.right(), y));
    }
    if (layout.phases) {
        for (const double d : PhaseTicks) {
            const double y = std::round(YOfPhase(d)) + 0.5;
            painter.drawLine(QPointF(phaseArea_.left(), y), QPointF(phaseArea_.right(), y));
        }
    }
}

// Tick labels and axis titles, those of the panels turned.
void SpectrumPlot::PaintAxes(QPainter& painter, const Layout& layout) const {
    const QFontMetricsF& label = layout.label;
    const double pad = layout.pad;
    const double tickWidth = layout.tickWidth;
    painter.setPen(Ink);
    const double tickRight = magnitudeArea_.left() - pad * 0.4;
    for (const double v : layout.yTicks.values) {
        const double y = YOfValue(v);
        painter.drawText(QRectF(tickRight - tickWidth, y - label.height() / 2, tickWidth, label.height()),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(FormatValue(v, layout.yTicks.decimals)));
    }
    if (layout.phases) {
        for (const double d : PhaseTicks) {
            painter.drawText(QRectF(tickRight - tickWidth, YOfPhase(d) - label.height() / 2, tickWidth, label.height()),
                             Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(FormatValue(d, 0)));
        }
    }
    const QRectF& lowest = layout.lowest;
    const QRect& area = layout.area;
    for (const double t : layout.xTicks.values) {
        const double x = XOfBin(t / layout.xUnit);
        if (x < lowest.left() - 1 || x > lowest.right() + 1) continue;
        const QString tick = QString::fromStdString(FormatValue(t, layout.xTicks.decimals));
        const double w = label.horizontalAdvance(tick) + 2;
        const double at = std::clamp(x - w / 2, area.left() + 1.0, area.right() - w - 1.0);
        painter.drawText(QRectF(at, lowest.bottom() + pad * 0.3, w, label.height()), Qt::AlignCenter, tick);
    }
    const QString xTitle = rate_ ? QStringLiteral("frequency (Hz)") : QStringLiteral("bin");
    DrawLine(painter,
             QRectF(lowest.left(), lowest.bottom() + pad * 0.3 + label.height(), lowest.width(), label.height()),
             xTitle, Qt::AlignHCenter);
    const auto verticalTitle = [&](const QRectF& panel, const QString& text) {
        painter.save();
        painter.translate(area.left() + pad, panel.center().y());
        painter.rotate(-90);
        DrawLine(painter, QRectF(-panel.height() / 2, 0, panel.height(), label.height()), text, Qt::AlignHCenter);
        painter.restore();
    };
    verticalTitle(magnitudeArea_, QuantityTitle(Quantity(), Levels()));
    if (layout.phases) verticalTitle(phaseArea_, QStringLiteral("phase (\u00b0)"));
}

// The magnitudes on the current scale, the phases below (of the bins that
// are no noise) and the cursor.
void SpectrumPlot::PaintSeries(QPainter& painter, const Layout& layout) const {
    const std::vector<double>& m = spectrum_->magnitudes;
    BinSpan span;
    span.first = static_cast<std::size_t>(std::clamp(std::floor(view_.left), 0.0, static_cast<double>(Bins() - 1)));
    span.last = static_cast<std::size_t>(std::clamp(std::ceil(view_.right) + 1, 1.0, static_cast<double>(Bins())));
    span.bars = Bins() <= MaxBarBins;
    span.binPixels = magnitudeArea_.width() / (view_.right - view_.left);
    span.lineWidth = std::max(1.0, layout.text / 10);

    std::vector<double> scaled(m.size());
    if (Levels()) {
        for (std::size_t k = span.first; k < span.last; ++k) scaled[k] = Scaled(m[k]);
    }
    const std::vector<double>& shown = Levels() ? scaled : m;
    DrawSeries(
        painter, *this, span, magnitudeArea_, shown, [&](double v) { return YOfValue(v); },
        Levels() ? view_.bottom : 0.0, [](std::size_t) { return true; }, MagnitudeColour, false);
    if (layout.phases) {
        // The phase of a bin that is noise is noise too.
        const std::vector<double>& a = Amplitudes();
        const double limit = NoiseLimit(a);
        DrawSeries(
            painter, *this, span, phaseArea_, spectrum_->phases, [&](double d) { return YOfPhase(d); }, 0.0,
            [&](std::size_t k) { return a[k] >= limit && a[k] > 0; }, PhaseColour, true);
    }

    if (cursor_ && *cursor_ < Bins()) {
        const double x = XOfBin(static_cast<double>(*cursor_));
        if (x >= magnitudeArea_.left() && x <= magnitudeArea_.right()) {
            painter.setPen(QPen(Ink, 1, Qt::DashLine));
            painter.drawLine(QPointF(x, magnitudeArea_.top()), QPointF(x, layout.lowest.bottom()));
        }
    }
}

// The peaks in view that stand out, marked and labelled without overlap.
void SpectrumPlot::PaintPeaks(QPainter& painter, const Layout& layout) {
    const std::vector<double>& m = spectrum_->magnitudes;
    const double text = layout.text;
    const double pad = layout.pad;
    const auto inFirst = static_cast<std::size_t>(std::clamp(std::ceil(view_.left), 0.0, static_cast<double>(Bins())));
    const auto inLast =
        static_cast<std::size_t>(std::clamp(std::floor(view_.right) + 1, 0.0, static_cast<double>(Bins())));
    marked_ = SpectrumPeaks(Amplitudes(), inFirst, inLast);
    std::vector<QRectF> taken;
    painter.setFont(layout.labelFont);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const std::size_t k : marked_) {
        const double value = Scaled(m[k]);
        const double x = XOfBin(static_cast<double>(k));
        const double y = std::clamp(YOfValue(value), magnitudeArea_.top(), magnitudeArea_.bottom());
        painter.setPen(QPen(PeakColour, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(x, y), text * 0.35, text * 0.35);
        const QString where = HzOfBin(static_cast<double>(k)) ? HzText(*HzOfBin(static_cast<double>(k)))
                                                              : QStringLiteral("bin %1").arg(k);
        const QString note = where + QStringLiteral(": ") + ValueText(value, Levels() ? PlotScale::Db : scale_);
        const double w = layout.label.horizontalAdvance(note) + pad * 0.6;
        const double h = layout.label.height();
        QRectF box(std::clamp(x - w / 2, magnitudeArea_.left() + 2, magnitudeArea_.right() - w - 2), y - text * 0.6 - h,
                   w, h);
        if (box.top() < magnitudeArea_.top() + 2) box.moveTop(y + text * 0.6);
        for (int tries = 0; tries < 6; ++tries) {
            const bool clash =
                std::any_of(taken.begin(), taken.end(), [&](const QRectF& r) { return r.intersects(box); });
            if (!clash) break;
            box.moveTop(box.top() + h * 1.1);
        }
        box.moveTop(std::clamp(box.top(), magnitudeArea_.top() + 2, magnitudeArea_.bottom() - h - 2));
        taken.push_back(box);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 225));
        painter.drawRect(box);
        painter.setPen(PeakColour);
        painter.drawText(box, Qt::AlignCenter, note);
    }
}

QString ReadoutText(const SpectrumPlot& plot, std::size_t bin) {
    const Spectrum* spectrum = plot.Data();
    if (!spectrum || bin >= spectrum->magnitudes.size()) return {};
    const double m = spectrum->magnitudes[bin];
    QString text = QStringLiteral("bin %1").arg(bin);
    if (const auto hz = plot.HzOfBin(static_cast<double>(bin))) text += QStringLiteral(", ") + HzText(*hz);
    const SpectrumQuantity quantity = spectrum->quantity;
    if (quantity != SpectrumQuantity{}) {
        // The value in its unit, and a linear one also as its level.
        const QString title = QString::fromStdString(std::string(NamesOf(quantity).title));
        text += QStringLiteral(", ") + title + QStringLiteral(" ") +
                QString::fromStdString(FormatValue(m, std::abs(m) >= 10 || quantity.Decibels() ? 3 : 6));
        const QString unit = QuantityUnit(quantity);
        if (!unit.isEmpty()) text += QStringLiteral(" ") + unit;
        if (!quantity.Decibels()) {
            const QString level =
                m > 0 ? QString::fromStdString(FormatValue(ToLevel(m, quantity), 1)) : QStringLiteral("\u2212\u221e");
            text += QStringLiteral(", ") + level + QStringLiteral(" ") + QuantityUnit(LevelQuantity(quantity));
        }
        if (bin < spectrum->phases.size()) {
            text += QStringLiteral(", phase ") + QString::fromStdString(FormatValue(spectrum->phases[bin], 2)) +
                    QStringLiteral("\u00b0");
        }
        return text;
    }
    // The readout gives the level unclamped: the floor is only where the plot stops.
    const QString level =
        m > 0 ? ValueText(20 * std::log10(m / FullScale), PlotScale::Db) : QStringLiteral("\u2212\u221e dB");
    text += QStringLiteral(", magnitude ") + QString::fromStdString(FormatValue(m, std::abs(m) >= 10 ? 3 : 6)) +
            QStringLiteral(", ") + level;
    if (bin < spectrum->phases.size()) {
        text += QStringLiteral(", phase ") + QString::fromStdString(FormatValue(spectrum->phases[bin], 2)) +
                QStringLiteral("\u00b0");
    }
    return text;
}

}  // namespace tavox
