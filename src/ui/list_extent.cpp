#include "ui/list_extent.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>
#include <QListWidget>

namespace tabvoro::ui {

void FitListHorizontalExtent(QListWidget *list)
{
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (int row = 0; row < list->count(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(list->item(row)->text()) + 8);
    // Half to even: nearbyint under the default rounding mode.
    const int extent = static_cast<int>(std::nearbyint(widest * 1.05));
    list->setProperty("horizontalExtent", extent);
    if (list->count() == 0)
        return;
    // The view scrolls as far as its widest row reaches: every row is made as wide as the extent.
    const int rowHeight = list->sizeHintForRow(0);
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setSizeHint(QSize(extent, rowHeight));
}

}  // namespace tabvoro::ui
