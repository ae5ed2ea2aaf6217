#pragma once

class QWidget;

namespace tavox {

// Pixels for a length in twips (15 twips make a pixel at 96 dpi), scaled by
// the logical DPI of the widget's screen.
int TwipsToPixels(const QWidget* widget, int twips);

// Places `control` within its parent; all lengths in twips.
void PlaceTwips(QWidget* control, int left, int top, int width, int height);

// Gives a window a fixed client area of the given size in twips.
void FixClientSizeTwips(QWidget* window, int width, int height);

// Gives a window its form font: a sans-serif font of Arial's metrics
// (Liberation Sans) at 8.25 points, the font its layout is drawn for; the
// desktop's general font when neither is installed.
void UseFormFont(QWidget* window);

// Centres a window on its screen, or over `owner` when one is given.
void CentreWindow(QWidget* window, const QWidget* owner = nullptr);

}  // namespace tavox
