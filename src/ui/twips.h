#pragma once

// The window lays its controls out in twips, 1/1440 inch, converted to pixels by the screen's
// logical DPI (15 twips a pixel at 96 DPI).

#include <QRect>
#include <cmath>

namespace tabvoro::ui {

inline int twipsToPixels(double twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }
inline double pixelsToTwips(int pixels, int dpi) { return pixels * 1440.0 / dpi; }

inline QRect twipsRect(double left, double top, double width, double height, int dpi)
{
    const int x = twipsToPixels(left, dpi);
    const int y = twipsToPixels(top, dpi);
    return QRect(x, y, twipsToPixels(left + width, dpi) - x, twipsToPixels(top + height, dpi) - y);
}

}  // namespace tabvoro::ui
