#include "ui/desktop/Twips.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QtMath>

namespace tavox {

int TwipsToPixels(const QWidget* widget, int twips) {
    return qRound(twips * widget->logicalDpiX() / 1440.0);
}

void PlaceTwips(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(TwipsToPixels(control, left), TwipsToPixels(control, top), TwipsToPixels(control, width),
                         TwipsToPixels(control, height));
}

void FixClientSizeTwips(QWidget* window, int width, int height) {
    window->setFixedSize(TwipsToPixels(window, width), TwipsToPixels(window, height));
}

void UseFormFont(QWidget* window) {
    QFont font = QApplication::font();
    // Liberation Sans has the metrics the twip layout was drawn for; wider
    // desktop fonts would cut the longer captions.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), font.family()});
    font.setPointSizeF(8.25);
    window->setFont(font);
}

void CentreWindow(QWidget* window, const QWidget* owner) {
    QRect area;
    if (owner != nullptr && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

}  // namespace tavox
