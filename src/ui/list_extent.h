#pragma once

class QListWidget;

namespace tabvoro::ui {

// Lets `list` scroll sideways as far as its widest row reaches, with a margin of 5 %; the
// extent is kept in its "horizontalExtent" property.
void FitListHorizontalExtent(QListWidget *list);

}  // namespace tabvoro::ui
