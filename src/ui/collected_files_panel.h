#pragma once

// The collected files: the list of the output folder's files (File1) and the commands of the
// menu 文件(&F) on the selected one (mnfile): preview, open, open the folder, rename, move to the
// trash, delete the lines holding a text, refresh, export as a spreadsheet.

#include <QObject>
#include <QString>
#include <array>

#include "ui/panel_host.h"

class QAction;
class QListWidget;
class QMenu;

namespace tabvoro::ui {

class CollectedFilesPanel : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QListWidget *File1;                 // output files
        QMenu *mnfile;                      // the file menu
        std::array<QAction *, 9> menufile;  // its commands (3 is a separator)
    };
    CollectedFilesPanel(const Controls &controls, PanelHost host);

    // Lists the output folder's files again, keeping the selected one selected, silently.
    void refreshFileList();

private:
    void connectHandlers();
    void File1_Click();
    void File1_DblClick();
    void File1_MouseDown(Qt::MouseButton button);
    void menufile_Click(int index);
    // The selected row's file in the output folder; empty when no row is selected.
    QString selectedFilePath() const;
    void previewSelectedFile(const QString &path);
    void renameSelectedFile(const QString &path);
    void trashSelectedFile(const QString &path);
    void deleteLinesOfSelectedFile(const QString &path);
    void exportSelectedFile(const QString &path);

    Controls m_ui;
    PanelHost m_host;
    int m_fileRowAtPress = -1;  // File1's selected row when the mouse went down on it
};

}  // namespace tabvoro::ui
