#include "ui/plot/SpectrogramPlot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "ui/plot/PlotAxis.h"
#include "ui/plot/PlotQuantity.h"
#include "ui/plot/Viridis.h"

namespace tavox {
namespace {

constexpr double DbRange = 120;     // of the fitted colour range on the dB scale
constexpr double ImageShare = 0.6;  // of the height of image and slice together

const QColor Background(255, 255, 255);
const QColor Frame(90, 90, 90);
const QColor Grid(228, 228, 228);
const QColor Ink(30, 30, 30);
const QColor Muted(95, 95, 95);
const QColor SliceColour(31, 95, 191);
const QColor CursorColour(255, 255, 255, 200);

QFont PlotFont(double pixels, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setBold(bold);
    return font;
}

void DrawLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment align) {
    const QString shown = QFontMetricsF(painter.font()).elidedText(text, Qt::ElideRight, box.width());
    painter.drawText(box, static_cast<int>(align | Qt::AlignVCenter), shown);
}

QString Number(double value, int significant = 7) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", significant, value);
    return QString::fromLatin1(text).replace('-', QChar(0x2212));
}

QString Label(double value, int decimals) {
    return QString::fromStdString(FormatValue(value, decimals));
}

// The half-open index range [from, to) of the items (k spanning k - 0.5 to
// k + 0.5, `count` of them) that meet [a, b), at least the nearest one.
std::pair<std::size_t, std::size_t> Covered(double a, double b, std::size_t count) {
    const double last = static_cast<double>(count) - 1;
    double from = std::clamp(std::floor(a + 0.5), 0.0, last);
    double to = std::clamp(std::ceil(b + 0.5) - 1, 0.0, last);
    if (to < from) to = from = std::clamp(std::round((a + b) / 2), 0.0, last);
    return {static_cast<std::size_t>(from), static_cast<std::size_t>(to) + 1};
}

}  // namespace

// What Paint lays out before it draws.
struct SpectrogramPlot::Layout {
    QRect area;
    double text;
    QFont labelFont;
    QFont titleFont;
    QFontMetricsF label;
    QFontMetricsF title;
    double pad;
    Ticks timeTicks;
    Ticks frequencyTicks;
    Ticks valueTicks;
    double frequencyUnit;  // Hz per bin, or 1
};

void SpectrogramPlot::SetData(std::shared_ptr<const SpectrogramData> data) {
    data_ = std::move(data);
    cached_ = QImage();
    slice_ = Slice::None;
    cursor_.reset();
    FitAll();
    if (!chosenRange_) range_ = FittedRange();
}

void SpectrogramPlot::SetScale(PlotScale scale) {
    scale_ = scale;
    chosenRange_ = false;
    range_ = FittedRange();
}

void SpectrogramPlot::SetTitle(const QString& title, const QString& subtitle) {
    title_ = title;
    subtitle_ = subtitle;
}

void SpectrogramPlot::SetColourRange(std::optional<std::pair<double, double>> range) {
    chosenRange_ = range && range->second > range->first;
    range_ = chosenRange_ ? *range : FittedRange();
}

std::pair<double, double> SpectrogramPlot::FittedRange() const {
    double highest = -std::numeric_limits<double>::infinity();
    if (data_) {
        for (const double v : data_->values) highest = std::max(highest, v);
    }
    if (!Levels()) return {0, highest > 0 ? highest : 1};
    const SpectrumQuantity quantity = data_ ? data_->quantity : SpectrumQuantity{};
    const double floor = quantity == SpectrumQuantity{} ? DbFloor : LevelFloor;
    const double level = std::isfinite(highest) ? ToLevel(highest, quantity) : floor;
    const double top = std::max(std::ceil(std::max(level, floor) / 10) * 10, floor + 10);
    return {std::max(floor, top - DbRange), top};
}

SpectrogramPlot::View SpectrogramPlot::FullView() const {
    View view;
    view.first = -0.5;
    view.last = data_ ? static_cast<double>(std::max<std::size_t>(data_->rows, 1)) - 0.5 : 0.5;
    view.low = -0.5;
    view.high = data_ ? static_cast<double>(std::max<std::size_t>(data_->bins, 1)) - 0.5 : 0.5;
    return view;
}

void SpectrogramPlot::FitAll() {
    view_ = FullView();
}

void SpectrogramPlot::SetView(const View& view) {
    const View full = FullView();
    const auto keep = [](double& a, double& b, double lowest, double highest) {
        if (!(b > a)) std::swap(a, b);
        const double span = std::clamp(b - a, std::min(2.0, highest - lowest), highest - lowest);
        a = std::clamp(a, lowest, highest - span);
        b = a + span;
    };
    View next = view;
    keep(next.first, next.last, full.first, full.last);
    keep(next.low, next.high, full.low, full.high);
    view_ = next;
}

void SpectrogramPlot::SetSlice(Slice slice, std::size_t index) {
    slice_ = data_ ? slice : Slice::None;
    const std::size_t count = !data_ ? 0 : slice == Slice::AtTime ? data_->rows : data_->bins;
    sliceIndex_ = count > 0 ? std::min(index, count - 1) : 0;
}

std::vector<double> SpectrogramPlot::SliceValues() const {
    std::vector<double> values;
    if (!data_ || slice_ == Slice::None) return values;
    const SpectrogramData& d = *data_;
    if (slice_ == Slice::AtTime) {
        for (std::size_t bin = 0; bin < d.bins; ++bin) values.push_back(d.At(sliceIndex_, bin * d.columns / d.bins));
    } else {
        for (std::size_t row = 0; row < d.rows; ++row) values.push_back(d.At(row, sliceIndex_ * d.columns / d.bins));
    }
    return values;
}

double SpectrogramPlot::XOfRow(double row) const noexcept {
    return imageArea_.left() + (row - view_.first) / (view_.last - view_.first) * imageArea_.width();
}

double SpectrogramPlot::RowAtX(double x) const noexcept {
    return view_.first + (x - imageArea_.left()) / std::max(1.0, imageArea_.width()) * (view_.last - view_.first);
}

double SpectrogramPlot::YOfBin(double bin) const noexcept {
    return imageArea_.bottom() - (bin - view_.low) / (view_.high - view_.low) * imageArea_.height();
}

double SpectrogramPlot::BinAtY(double y) const noexcept {
    return view_.low + (imageArea_.bottom() - y) / std::max(1.0, imageArea_.height()) * (view_.high - view_.low);
}

double SpectrogramPlot::Scaled(double value) const noexcept {
    return Levels() ? ToLevel(value, data_ ? data_->quantity : SpectrumQuantity{}) : value;
}

bool SpectrogramPlot::Levels() const noexcept {
    return scale_ == PlotScale::Db || (data_ && data_->quantity.Decibels());
}

double SpectrogramPlot::TimeOfRow(double row) const noexcept {
    if (!data_ || data_->times.empty()) return row + 1;
    const std::vector<double>& t = data_->times;
    if (row >= 0 && row < static_cast<double>(t.size()) && row == std::floor(row))
        return t[static_cast<std::size_t>(row)];
    const double step = t.size() > 1 ? (t.back() - t.front()) / static_cast<double>(t.size() - 1) : 1.0;
    return t.front() + row * step;
}

std::optional<double> SpectrogramPlot::HzOfBin(double bin) const noexcept {
    if (!data_ || !data_->rate || data_->width == 0) return std::nullopt;
    return bin * *data_->rate / static_cast<double>(data_->width);
}

QString SpectrogramPlot::Readout(std::size_t row, std::size_t bin) const {
    if (!data_ || row >= data_->rows || bin >= data_->bins) return {};
    const SpectrogramData& d = *data_;
    const double time = TimeOfRow(static_cast<double>(row));
    QString text = d.time == SpectrogramData::Time::Seconds
                       ? QStringLiteral("t %1 s (exposure %2)").arg(Number(time)).arg(row + 1)
                   : d.time == SpectrogramData::Time::Samples
                       ? QStringLiteral("t sample %1 (exposure %2)").arg(Number(time)).arg(row + 1)
                       : QStringLiteral("exposure %1").arg(Number(time));
    if (const auto hz = HzOfBin(static_cast<double>(bin))) {
        text += QStringLiteral(", %1 Hz (bin %2)").arg(Number(*hz)).arg(bin);
    } else {
        text += QStringLiteral(", bin %1").arg(bin);
    }
    const double value = d.At(row, bin * d.columns / d.bins);
    if (d.quantity == SpectrumQuantity{}) {
        text += QStringLiteral(", magnitude ") + Number(value, 6) + QStringLiteral(", ");
        text += value > 0 ? Number(20 * std::log10(value / FullScale), 4) + QStringLiteral(" dB")
                          : QStringLiteral("\u2212\u221e dB");
        return text;
    }
    const QString unit = QuantityUnit(d.quantity);
    text +=
        QStringLiteral(", ") +
        QString::fromUtf8(NamesOf(d.quantity).title.data(), static_cast<qsizetype>(NamesOf(d.quantity).title.size())) +
        QStringLiteral(" ") + Number(value, 6) + (unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
    if (!d.quantity.Decibels()) {
        text += QStringLiteral(", ") + Number(ToLevel(value, d.quantity), 4) + QStringLiteral(" ") +
                QuantityUnit(LevelQuantity(d.quantity));
    }
    return text;
}

void SpectrogramPlot::Paint(QPainter& painter, const QRect& area) {
    painter.save();
    painter.fillRect(area, Background);
    const Layout layout = LayOut(area);
    PaintTitle(painter, layout);
    if (data_ && data_->rows > 0 && data_->bins > 0) {
        PaintImage(painter);
        PaintBar(painter, layout);
        if (slice_ != Slice::None) PaintSlice(painter, layout);
    } else {
        painter.setPen(Muted);
        painter.drawText(imageArea_, Qt::AlignCenter, QStringLiteral("no spectrogram"));
    }
    PaintAxes(painter, layout);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Frame, 1));
    painter.drawRect(imageArea_);
    if (!barArea_.isEmpty()) painter.drawRect(barArea_);
    if (!sliceArea_.isEmpty()) painter.drawRect(sliceArea_);
    painter.restore();
}

// The title on top; the image below it, as wide as the frequency labels on
// its left and the colour bar on its right leave room for; the slice, when
// shown, under the image's time axis.
SpectrogramPlot::Layout SpectrogramPlot::LayOut(const QRect& area) {
    const double text = std::clamp(std::min(area.height() / 46.0, area.width() / 80.0), 10.0, 22.0);
    const QFont labelFont = PlotFont(text);
    const QFont titleFont = PlotFont(text * 1.3, true);
    const QFontMetricsF label(labelFont);
    const QFontMetricsF titleMetrics(titleFont);
    const double pad = std::round(text * 0.8);
    const auto subtitleLines = static_cast<double>(subtitle_.count(QLatin1Char('\n')) + 1);
    titleArea_ = QRectF(area.left() + pad, area.top() + pad * 0.6, area.width() - 2 * pad,
                        titleMetrics.height() + label.height() * subtitleLines + pad * 0.3);

    const double top = titleArea_.bottom() + pad;
    const double axisBlock = label.height() * 2 + pad * 1.2;  // tick labels and the axis title under a panel
    const double panels = std::max(60.0, area.bottom() - axisBlock - top);
    const bool slice = slice_ != Slice::None && data_;
    const double imageHeight = slice ? (panels - axisBlock - pad) * ImageShare : panels;

    const double frequencyUnit = HzOfBin(1).value_or(1.0);
    const Ticks frequencyTicks = NiceTicks(std::max(0.0, view_.low) * frequencyUnit, view_.high * frequencyUnit,
                                           std::max(2, static_cast<int>(imageHeight / (label.height() * 2.2))));
    const Ticks valueTicks = NiceTicks(range_.first, range_.second, 7);
    double tickWidth = label.horizontalAdvance(QStringLiteral("0"));
    for (const double v : frequencyTicks.values)
        tickWidth = std::max(tickWidth, label.horizontalAdvance(Label(v, frequencyTicks.decimals)));
    if (slice) {
        for (const double v : valueTicks.values)
            tickWidth = std::max(tickWidth, label.horizontalAdvance(Label(v, valueTicks.decimals)));
    }
    double barTickWidth = 0;
    for (const double v : valueTicks.values)
        barTickWidth = std::max(barTickWidth, label.horizontalAdvance(Label(v, valueTicks.decimals)));
    const double barWidth = std::round(text * 1.3);
    const double left = area.left() + pad + label.height() + pad * 0.6 + tickWidth + pad * 0.5;
    const double right = area.right() - pad - label.height() - pad * 0.6 - barTickWidth - pad * 0.4 - barWidth - pad;
    imageArea_ = QRectF(left, top, std::max(40.0, right - left), imageHeight);
    barArea_ = data_ ? QRectF(imageArea_.right() + pad, top, barWidth, imageHeight) : QRectF();
    sliceArea_ = slice ? QRectF(left, imageArea_.bottom() + axisBlock + pad, imageArea_.width(),
                                panels - imageHeight - axisBlock - pad)
                       : QRectF();

    const double first = TimeOfRow(std::max(0.0, view_.first));
    const double last = TimeOfRow(view_.last);
    const QString widest = Label(std::max(std::abs(first), std::abs(last)), 3);
    const Ticks timeTicks = NiceTicks(
        first, last, std::max(2, static_cast<int>(imageArea_.width() / (label.horizontalAdvance(widest) + pad * 2.5))));
    return Layout{area, text,      labelFont,      titleFont,  label,        titleMetrics,
                  pad,  timeTicks, frequencyTicks, valueTicks, frequencyUnit};
}

void SpectrogramPlot::PaintTitle(QPainter& painter, const Layout& layout) const {
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

// Each pixel takes the colour of the largest value of the rows and bins it
// covers, so that no line of the spectrogram is lost however many there are.
QImage SpectrogramPlot::Render(const QSize& size) const {
    QImage image(size, QImage::Format_RGB32);
    const SpectrogramData& d = *data_;
    const int width = size.width();
    const int height = size.height();
    const double rowsPerPixel = (view_.last - view_.first) / width;
    const double binsPerPixel = (view_.high - view_.low) / height;
    // The columns each pixel row covers, from the top.
    std::vector<std::pair<std::size_t, std::size_t>> columns(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const double high = view_.high - y * binsPerPixel;
        const auto [from, to] = Covered(high - binsPerPixel, high, d.bins);
        columns[static_cast<std::size_t>(y)] = {
            from * d.columns / d.bins, std::max((to * d.columns + d.bins - 1) / d.bins, from * d.columns / d.bins + 1)};
    }
    const double low = range_.first;
    const double scale = 255 / (range_.second - range_.first);
    std::vector<double> strongest(d.columns);
    for (int x = 0; x < width; ++x) {
        const double first = view_.first + x * rowsPerPixel;
        const auto [from, to] = Covered(first, first + rowsPerPixel, d.rows);
        std::fill(strongest.begin(), strongest.end(), -std::numeric_limits<double>::infinity());
        for (std::size_t row = from; row < to; ++row) {
            for (std::size_t c = 0; c < d.columns; ++c) strongest[c] = std::max(strongest[c], d.At(row, c));
        }
        for (int y = 0; y < height; ++y) {
            const auto [a, b] = columns[static_cast<std::size_t>(y)];
            const double value = *std::max_element(strongest.begin() + static_cast<std::ptrdiff_t>(a),
                                                   strongest.begin() + static_cast<std::ptrdiff_t>(b));
            const double level = std::clamp((Scaled(value) - low) * scale, 0.0, 255.0);
            const auto& colour = Viridis[static_cast<std::size_t>(std::lround(level))];
            image.setPixel(x, y, qRgb(colour[0], colour[1], colour[2]));
        }
    }
    return image;
}

void SpectrogramPlot::PaintImage(QPainter& painter) {
    const QRect target = imageArea_.toAlignedRect().adjusted(1, 1, 0, 0);
    const bool stale = cached_.size() != target.size() || cachedData_ != data_.get() || cachedScale_ != scale_ ||
                       cachedRange_ != range_ || cachedView_.first != view_.first || cachedView_.last != view_.last ||
                       cachedView_.low != view_.low || cachedView_.high != view_.high;
    if (stale && !target.isEmpty()) {
        cached_ = Render(target.size());
        cachedData_ = data_.get();
        cachedScale_ = scale_;
        cachedRange_ = range_;
        cachedView_ = view_;
    }
    painter.drawImage(target.topLeft(), cached_);
    if (!cursor_) return;
    painter.save();
    painter.setClipRect(imageArea_);
    painter.setPen(QPen(CursorColour, 1, Qt::DashLine));
    const double x = XOfRow(static_cast<double>(cursor_->first));
    const double y = YOfBin(static_cast<double>(cursor_->second));
    painter.drawLine(QPointF(x, imageArea_.top()), QPointF(x, imageArea_.bottom()));
    painter.drawLine(QPointF(imageArea_.left(), y), QPointF(imageArea_.right(), y));
    painter.restore();
}

// Tick labels and titles of the time and frequency axes (and of the
// slice's axes when it is shown).
void SpectrogramPlot::PaintAxes(QPainter& painter, const Layout& layout) const {
    const QFontMetricsF& label = layout.label;
    const double pad = layout.pad;
    const QRect& area = layout.area;
    painter.setFont(layout.labelFont);
    painter.setPen(Ink);
    const auto xTicks = [&](const QRectF& panel, const Ticks& ticks, auto xOf, const QString& title) {
        for (const double t : ticks.values) {
            const double x = xOf(t);
            if (x < panel.left() - 1 || x > panel.right() + 1) continue;
            painter.setPen(QPen(Frame, 1));
            painter.drawLine(QPointF(x, panel.bottom()), QPointF(x, panel.bottom() + pad * 0.25));
            painter.setPen(Ink);
            const QString tick = Label(t, ticks.decimals);
            const double w = label.horizontalAdvance(tick) + 2;
            const double at = std::clamp(x - w / 2, area.left() + 1.0, area.right() - w - 1.0);
            painter.drawText(QRectF(at, panel.bottom() + pad * 0.3, w, label.height()), Qt::AlignCenter, tick);
        }
        DrawLine(painter,
                 QRectF(panel.left(), panel.bottom() + pad * 0.3 + label.height(), panel.width(), label.height()),
                 title, Qt::AlignHCenter);
    };
    const auto yTicks = [&](const QRectF& panel, const Ticks& ticks, auto yOf, const QString& title) {
        for (const double v : ticks.values) {
            const double y = yOf(v);
            if (y < panel.top() - 1 || y > panel.bottom() + 1) continue;
            painter.drawText(
                QRectF(area.left(), y - label.height() / 2, panel.left() - pad * 0.4 - area.left(), label.height()),
                Qt::AlignRight | Qt::AlignVCenter, Label(v, ticks.decimals));
        }
        painter.save();
        painter.translate(area.left() + pad, panel.center().y());
        painter.rotate(-90);
        DrawLine(painter, QRectF(-panel.height() / 2, 0, panel.height(), label.height()), title, Qt::AlignHCenter);
        painter.restore();
    };
    const SpectrogramData::Time time = data_ ? data_->time : SpectrogramData::Time::Exposures;
    const QString timeTitle = time == SpectrogramData::Time::Seconds   ? QStringLiteral("time (s)")
                              : time == SpectrogramData::Time::Samples ? QStringLiteral("time (samples)")
                                                                       : QStringLiteral("exposure");
    const bool hz = HzOfBin(1).has_value();
    const QString frequencyTitle = hz ? QStringLiteral("frequency (Hz)") : QStringLiteral("bin");
    const double t0 = TimeOfRow(0);
    const double dt = TimeOfRow(1) - t0;
    const auto xOfTime = [&](double t) { return XOfRow(dt != 0 ? (t - t0) / dt : 0); };
    const auto yOfFrequency = [&](double f) { return YOfBin(f / layout.frequencyUnit); };
    xTicks(imageArea_, layout.timeTicks, xOfTime, timeTitle);
    yTicks(imageArea_, layout.frequencyTicks, yOfFrequency, frequencyTitle);
    if (sliceArea_.isEmpty()) return;
    const QRectF& s = sliceArea_;
    const auto yOfValue = [&](double v) {
        return s.bottom() - (v - range_.first) / (range_.second - range_.first) * s.height();
    };
    const SpectrumQuantity quantity = data_ ? data_->quantity : SpectrumQuantity{};
    const QString valueTitle = quantity != SpectrumQuantity{} ? QuantityTitle(quantity, Levels())
                               : Levels()                     ? QStringLiteral("dB re 32767")
                                                              : QStringLiteral("magnitude");
    yTicks(s, layout.valueTicks, yOfValue, valueTitle);
    if (slice_ == Slice::AtFrequency) {
        xTicks(s, layout.timeTicks, xOfTime, timeTitle);
    } else {
        const auto xOfFrequency = [&](double f) {
            return s.left() + (f / layout.frequencyUnit - view_.low) / (view_.high - view_.low) * s.width();
        };
        xTicks(s, layout.frequencyTicks, xOfFrequency, frequencyTitle);
    }
}

// The colours from the lowest value (bottom) to the highest, with ticks in
// the unit of the values and its title turned.
void SpectrogramPlot::PaintBar(QPainter& painter, const Layout& layout) const {
    const QRectF& bar = barArea_;
    const int height = std::max(1, static_cast<int>(bar.height()));
    QImage strip(1, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto& colour =
            Viridis[static_cast<std::size_t>(std::lround(255.0 * (height - 1 - y) / std::max(1, height - 1)))];
        strip.setPixel(0, y, qRgb(colour[0], colour[1], colour[2]));
    }
    painter.drawImage(bar, strip);
    painter.setFont(layout.labelFont);
    painter.setPen(Ink);
    const QFontMetricsF& label = layout.label;
    double widest = 0;
    for (const double v : layout.valueTicks.values) {
        const double y = bar.bottom() - (v - range_.first) / (range_.second - range_.first) * bar.height();
        const QString tick = Label(v, layout.valueTicks.decimals);
        widest = std::max(widest, label.horizontalAdvance(tick));
        painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + layout.pad * 0.25, y));
        painter.drawText(QRectF(bar.right() + layout.pad * 0.4, y - label.height() / 2,
                                label.horizontalAdvance(tick) + 2, label.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, tick);
    }
    const QString title = QuantityTitle(data_ ? data_->quantity : SpectrumQuantity{}, Levels());
    painter.save();
    painter.translate(bar.right() + layout.pad * 0.6 + widest + label.height(), bar.center().y());
    painter.rotate(-90);
    DrawLine(painter, QRectF(-bar.height() / 2, -label.height(), bar.height(), label.height()), title,
             Qt::AlignHCenter);
    painter.restore();
}

// The slice as a line on the scale of the colours, with a grid, its name
// and the cursor's place.
void SpectrogramPlot::PaintSlice(QPainter& painter, const Layout& layout) const {
    const QRectF& s = sliceArea_;
    const std::vector<double> values = SliceValues();
    const bool atTime = slice_ == Slice::AtTime;
    const double from = atTime ? view_.low : view_.first;
    const double to = atTime ? view_.high : view_.last;
    const auto xOf = [&](double k) { return s.left() + (k - from) / (to - from) * s.width(); };
    const auto yOf = [&](double v) {
        const double level = std::clamp((Scaled(v) - range_.first) / (range_.second - range_.first), -0.02, 1.02);
        return s.bottom() - level * s.height();
    };
    painter.save();
    painter.setPen(QPen(Grid, 1));
    for (const double v : layout.valueTicks.values) {
        const double y =
            std::round(s.bottom() - (v - range_.first) / (range_.second - range_.first) * s.height()) + 0.5;
        painter.drawLine(QPointF(s.left(), y), QPointF(s.right(), y));
    }
    painter.setClipRect(s.adjusted(0, 0, 1, 1));
    const auto [first, last] = Covered(from, to, values.size());
    QPolygonF line;
    const double perPixel = (to - from) / std::max(1.0, s.width());
    if (perPixel > 2) {
        // More points than pixels: each pixel column shows the range of its points.
        painter.setPen(QPen(SliceColour, 1));
        for (int c = 0; c < static_cast<int>(s.width()); ++c) {
            const auto [a, b] = Covered(from + c * perPixel, from + (c + 1) * perPixel, values.size());
            const auto [lo, hi] = std::minmax_element(values.begin() + static_cast<std::ptrdiff_t>(a),
                                                      values.begin() + static_cast<std::ptrdiff_t>(b));
            const double x = s.left() + c + 0.5;
            painter.drawLine(QPointF(x, yOf(*hi)), QPointF(x, yOf(*lo) + 0.01));
        }
    } else {
        for (std::size_t k = first; k < last; ++k) line << QPointF(xOf(static_cast<double>(k)), yOf(values[k]));
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(SliceColour, std::max(1.0, layout.text / 10), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
    }
    if (cursor_) {
        const double k = static_cast<double>(atTime ? cursor_->second : cursor_->first);
        painter.setPen(QPen(Ink, 1, Qt::DashLine));
        painter.drawLine(QPointF(xOf(k), s.top()), QPointF(xOf(k), s.bottom()));
    }
    painter.setClipping(false);
    painter.setFont(layout.labelFont);
    painter.setPen(Muted);
    QString name;
    if (atTime) {
        const double time = TimeOfRow(static_cast<double>(sliceIndex_));
        name = data_->time == SpectrogramData::Time::Seconds
                   ? QStringLiteral("spectrum at %1 s (exposure %2)").arg(Number(time)).arg(sliceIndex_ + 1)
               : data_->time == SpectrogramData::Time::Samples
                   ? QStringLiteral("spectrum at sample %1 (exposure %2)").arg(Number(time)).arg(sliceIndex_ + 1)
                   : QStringLiteral("spectrum of exposure %1").arg(Number(time));
    } else {
        const auto hz = HzOfBin(static_cast<double>(sliceIndex_));
        name = hz ? QStringLiteral("course of %1 Hz (bin %2)").arg(Number(*hz)).arg(sliceIndex_)
                  : QStringLiteral("course of bin %1").arg(sliceIndex_);
    }
    DrawLine(painter, QRectF(s.left() + layout.pad * 0.5, s.top() + 2, s.width() - layout.pad, layout.label.height()),
             name, Qt::AlignLeft);
    painter.restore();
}

}  // namespace tavox
