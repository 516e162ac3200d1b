#include "ui/caption_boxes.h"

#include <cmath>

#include <QAbstractButton>
#include <QEvent>
#include <QFontMetricsF>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace tabvoro::ui {

namespace {

// Where the style starts the caption's text: right of the check mark or the round button, as
// the style draws its label into this rectangle, left-aligned.
double textLeft(const QAbstractButton &caption)
{
    QStyleOptionButton option;
    option.initFrom(&caption);
    option.text = caption.text();
    option.icon = caption.icon();
    option.iconSize = caption.iconSize();
    const bool radio = qobject_cast<const QRadioButton *>(&caption) != nullptr;
    const auto element = radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents;
    return caption.style()->subElementRect(element, &option, &caption).left();
}

}  // namespace

std::vector<BlankRun> captionBlankRuns(const QAbstractButton &caption)
{
    const QString text = caption.text();
    const QFontMetricsF metrics(caption.font());
    const double left = textLeft(caption);
    std::vector<BlankRun> runs;
    for (qsizetype i = 0; i < text.size();) {
        if (!text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && text[end].isSpace())
            ++end;
        runs.push_back({left + metrics.horizontalAdvance(text.left(i)), left + metrics.horizontalAdvance(text.left(end))});
        i = end;
    }
    return runs;
}

void placeOverCaptionBlanks(const QAbstractButton &caption, const std::vector<QWidget *> &boxes)
{
    // Glyph edges fall between pixels, and a prefix measured alone may differ from the whole
    // caption by its last kerning pair: a pixel on each side absorbs both.
    constexpr int kClearance = 1;
    const std::vector<BlankRun> runs = captionBlankRuns(caption);
    for (std::size_t i = 0; i < boxes.size() && i < runs.size(); ++i) {
        QWidget *box = boxes[i];
        const int left = static_cast<int>(std::ceil(runs[i].left)) + kClearance;
        const int right = static_cast<int>(std::floor(runs[i].right)) - kClearance;
        if (right <= left)
            continue;
        const QPoint origin = caption.mapTo(box->parentWidget(), QPoint(left, 0));
        box->setGeometry(origin.x(), box->y(), right - left, box->height());
    }
}

bool movesCaptionBlanks(const QEvent &event)
{
    switch (event.type()) {
    case QEvent::Polish:
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::Resize:
    case QEvent::Move:
        return true;
    default:
        return false;
    }
}

}  // namespace tabvoro::ui
