#include "ui/plot/PlotAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavox {

double ToDb(double magnitude) noexcept {
    if (!(magnitude > 0)) return DbFloor;
    return std::max(DbFloor, 20.0 * std::log10(magnitude / FullScale));
}

Ticks NiceTicks(double low, double high, int maxCount) {
    Ticks ticks;
    if (!(high > low) || maxCount < 2) {
        ticks.values.push_back(low);
        return ticks;
    }
    const double rough = (high - low) / (maxCount - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    }
    ticks.step = step;
    ticks.decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    const double first = std::ceil(low / step - 1e-9) * step;
    for (int i = 0;; ++i) {
        const double value = first + i * step;
        if (value > high + step * 1e-9) break;
        ticks.values.push_back(std::abs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

std::string FormatValue(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 12), value);
    std::string out = text;
    if (out.front() == '-') {
        if (out.find_first_not_of("-0.") == std::string::npos) return out.substr(1);
        out.replace(0, 1, "\u2212");
    }
    return out;
}

}  // namespace tavox
