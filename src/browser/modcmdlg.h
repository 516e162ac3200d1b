#pragma once

// Modcmdlg: the program's open-file dialog.

#include <QString>

class QWidget;

namespace tabvoro::browser {

// Asks for one existing file. Returns its full path, or a single blank " " when the dialog is
// cancelled or the path does not fit in `pathCapacity` - 1 characters: callers test for " ", never
// for an empty path. `filter` is in Qt's form ("文本文件(*.txt *.ini)").
QString ShowOpenFileDialog(QWidget *owner, const QString &title, const QString &filter, int pathCapacity);

}  // namespace tabvoro::browser
