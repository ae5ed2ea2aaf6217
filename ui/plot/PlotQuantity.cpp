#include "ui/plot/PlotQuantity.h"

#include <algorithm>
#include <cmath>

#include "ui/plot/PlotAxis.h"

namespace tavox {

SpectrumQuantity LevelQuantity(SpectrumQuantity quantity) noexcept {
    if (quantity.Decibels()) return quantity;
    quantity.unit = quantity.unit == SpectrumUnit::Volts ? SpectrumUnit::Dbv : SpectrumUnit::Dbfs;
    return quantity;
}

double ToLevel(double value, SpectrumQuantity quantity) noexcept {
    if (quantity == SpectrumQuantity{}) return ToDb(value);
    if (quantity.Decibels()) return value;
    if (!(value > 0)) return LevelFloor;
    const bool amplitude = quantity.scale == SpectrumScale::Amplitude;
    const double reference = quantity.unit == SpectrumUnit::Volts ? 1.0
                             : amplitude                          ? FullScaleCounts
                                                                  : FullScaleCounts * FullScaleCounts / 2;
    const double level = (amplitude ? 20 : 10) * std::log10(value / reference);
    return std::max(LevelFloor, level);
}

double AmplitudeOf(double value, SpectrumQuantity quantity) noexcept {
    if (quantity.Decibels()) return std::pow(10.0, value / 20);
    if (quantity.scale == SpectrumScale::Amplitude) return value;
    return value > 0 ? std::sqrt(value) : 0.0;
}

QString QuantityTitle(SpectrumQuantity quantity, bool levels) {
    if (quantity == SpectrumQuantity{}) {
        return levels ? QStringLiteral("level (dB re 32767)") : QStringLiteral("magnitude");
    }
    return QString::fromStdString(AxisTitle(levels ? LevelQuantity(quantity) : quantity));
}

QString QuantityUnit(SpectrumQuantity quantity) {
    return QString::fromStdString(std::string(NamesOf(quantity).unit));
}

}  // namespace tavox
