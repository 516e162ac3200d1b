#pragma once

// Text boxes that lie over the runs of blanks in a check box's or option button's caption
// ("表格在第[   ]框架中"): each box is placed from where the caption's font actually puts the
// blanks, so that it never covers a character of the caption, whatever the font.

#include <vector>

class QAbstractButton;
class QEvent;
class QWidget;

namespace tabvoro::ui {

// A run of blanks in a caption, in the caption control's pixels: from the end of the character
// before it to the start of the character after it.
struct BlankRun {
    double left = 0;
    double right = 0;
};

// The runs of blanks in `caption`'s text, in order, as its style and font draw them.
std::vector<BlankRun> captionBlankRuns(const QAbstractButton &caption);

// Puts boxes[i] over the i-th run of blanks of `caption`, a pixel clear of the characters on
// either side; each box keeps its top and height. Boxes beyond the caption's runs stay put.
void placeOverCaptionBlanks(const QAbstractButton &caption, const std::vector<QWidget *> &boxes);

// Whether an event of the caption control can move its blanks: its style polished or changed, a
// new font, or the control itself resized or moved.
bool movesCaptionBlanks(const QEvent &event);

}  // namespace tabvoro::ui
