#pragma once

// The capture test and the table choice: the button that lists the page's tables (Command2), the
// table list (List1), the field list of the chosen table (List2) and the checks on the frame
// controls (CheckKj, txtKj). Each row of List1 carries the table it stands for as a
// capture::TableEntry under kTableEntryRole; the choice reads that, never the row's text.

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "capture/table_listing.h"
#include "ui/panel_host.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tabvoro::capture {
class Document;
}

namespace tabvoro::ui {

inline constexpr int kTableEntryRole = Qt::UserRole;

// The table a row of List1 stands for; nothing for a row that carries none.
std::optional<capture::TableEntry> tableEntryOf(const QListWidgetItem *item);

class TableChoicePanel : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QPushButton *Command2;  // capture test
        QListWidget *List1;     // tables of the page
        QListWidget *List2;     // fields of the chosen table
        QCheckBox *CheckKj;     // table is in a frame
        QLineEdit *txtKj;       // frame number, from 0
        QLineEdit *txtGjz;      // table keyword
        QLineEdit *txtNp;       // next-page keyword
    };
    TableChoicePanel(const Controls &controls, PanelHost host);

    // A new address: the table list, the field list, the keyword and the frame choice are emptied.
    void ResetTableChoice();
    // Takes away the box over the chosen table, if one may show. False while a handler here
    // waits for the page, when nothing may start.
    bool ClearTableOutline();
    // Appends `entries` to List1 and chooses the row of entries[chosen], as a click would.
    void addEntries(const std::vector<capture::TableEntry> &entries, std::optional<std::size_t> chosen);

private:
    void connectHandlers();
    void Command2_Click();
    void ListPageTables();
    void ChooseTable();
    // Draws the box over the chosen table in the view and scrolls to it.
    void OutlineChosenTable(std::size_t number);
    void List1_MouseDown(Qt::MouseButton button);
    void List2_MouseDown(Qt::MouseButton button);
    void CheckKj_LostFocus();
    void txtKj_LostFocus();

    Controls m_ui;
    PanelHost m_host;
    // The page the capture test read, lent to the listing and the choice it runs; null otherwise.
    const capture::Document *m_testPage = nullptr;
    bool m_readingTables = false;  // a handler here waits for the page
    int m_list1RowAtPress = -1;    // List1's current row when the mouse went down on it
    QString m_frameCountTag;       // the tag of txtKj: the frame count last found, as text
    bool m_outlineShown = false;   // a box was drawn over a table and not taken away since
};

}  // namespace tabvoro::ui
