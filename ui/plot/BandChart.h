#pragma once

#include <QString>
#include <vector>

class QPainter;
class QRect;

namespace tavox {

// One bar of a band chart: the band's name on the x axis, its level in dB,
// and whether it holds too few bins to be trusted (drawn lighter).
struct BandBar {
    QString label;
    double db = 0;
    bool sparse = false;
};

// Paints the band levels as bars side by side in `area` (white background
// included), under a title of two lines, with a dB axis in steps of 10 or 20
// dB and as many band names as fit.
void PaintBandChart(QPainter& painter, const QRect& area, const std::vector<BandBar>& bars, const QString& title,
                    const QString& subtitle, const QString& axis);

}  // namespace tavox
