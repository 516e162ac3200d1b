#pragma once

// Modcmdlg: the program's file dialogs.

#include <QString>

class QWidget;

namespace tabvoro::browser {

// Asks for one existing file. Returns its full path, or a single blank " " when the dialog is
// cancelled or the path does not fit in `pathCapacity` - 1 characters: callers test for " ", never
// for an empty path. `filter` is in Qt's form ("文本文件(*.txt *.ini)").
QString ShowOpenFileDialog(QWidget *owner, const QString &title, const QString &filter, int pathCapacity);

// Asks for a file to write, confirming the replacement of one that exists; a name typed without
// an extension gets `suffix`. Returns the full path, or an empty text when cancelled.
QString ShowSaveFileDialog(QWidget *owner, const QString &title, const QString &filter, const QString &suffix);

}  // namespace tabvoro::browser
