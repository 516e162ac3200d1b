#pragma once

// The address sources beside the address box and the URL list that paging by list walks
// through: the address box (Txturl) takes an entered or dropped address, the drop-down (Combo1)
// opens the address chosen, and the URL list (List3) is filled and emptied by the menu
// 网址(&N) (mnurl: import a file, take the shown page's links, remove marked rows, clear).

#include <QObject>
#include <array>

#include "ui/panel_host.h"

class QAction;
class QComboBox;
class QDropEvent;
class QLineEdit;
class QListWidget;
class QMenu;

namespace tabvoro::ui {

class UrlListPanel : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QLineEdit *Txturl;                 // address box
        QComboBox *Combo1;                 // address drop-down
        QListWidget *List3;                // URL list for paging by list
        QMenu *mnurl;                      // the URL list's menu
        std::array<QAction *, 4> menuurl;  // its commands
    };
    // `list3NewIndex`: NewIndex of List3, the row it added last (-1 after a removal); the job
    // code sets it too when it fills the list.
    UrlListPanel(const Controls &controls, PanelHost host, int &list3NewIndex);

private:
    void connectHandlers();
    void Txturl_KeyPress(int keyAscii);
    void Txturl_OLEDragDrop(QDropEvent *event);
    void Combo1_Click(int index);
    void List3_MouseDown(Qt::MouseButton button);
    void menuurl_Click(int index);
    void ImportUrlListFile();
    void ExtractPageLinks();

    Controls m_ui;
    PanelHost m_host;
    int &m_list3NewIndex;
    bool m_extractingLinks = false;
};

}  // namespace tabvoro::ui
