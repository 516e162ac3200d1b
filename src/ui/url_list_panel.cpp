#include "ui/url_list_panel.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

#include "browser/modcmdlg.h"
#include "capture/output/code_page.h"
#include "capture/output/url_list.h"
#include "capture/page_links.h"
#include "ui/event_hook.h"
#include "ui/list_extent.h"
#include "ui/page_read.h"

namespace tabvoro::ui {

namespace {

// The local files among a drop's addresses.
QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (data->hasUrls())
        for (const QUrl &url : data->urls())
            if (url.isLocalFile())
                files << url.toLocalFile();
    return files;
}

std::vector<std::string> rowsOf(const QListWidget *list)
{
    std::vector<std::string> rows;
    for (int row = 0; row < list->count(); ++row)
        rows.push_back(list->item(row)->text().toStdString());
    return rows;
}

}  // namespace

UrlListPanel::UrlListPanel(const Controls &controls, PanelHost host, int &list3NewIndex)
    : m_ui(controls), m_host(std::move(host)), m_list3NewIndex(list3NewIndex)
{
    connectHandlers();
}

void UrlListPanel::connectHandlers()
{
    connect(m_ui.Combo1, &QComboBox::activated, this, &UrlListPanel::Combo1_Click);
    for (int i = 0; i < static_cast<int>(m_ui.menuurl.size()); ++i)
        connect(m_ui.menuurl[i], &QAction::triggered, this, [this, i] { menuurl_Click(i); });
    // Emitted once the press has moved the current row, so the row under the pointer is read.
    connect(m_ui.List3, &QListWidget::itemPressed, this, [this] { List3_MouseDown(Qt::LeftButton); });

    // Compared by identity only: the hook still sees events while the controls are destroyed.
    QWidget *const list3View = m_ui.List3->viewport();
    auto *hook = new EventHook(this, [this, list3View](QObject *watched, QEvent *event) {
        if (watched == m_ui.Txturl) {
            switch (event->type()) {
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent *>(event)->key();
                if (key != Qt::Key_Return && key != Qt::Key_Enter)
                    return false;
                Txturl_KeyPress(13);
                return true;
            }
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto *drag = static_cast<QDragMoveEvent *>(event);
                if (drag->mimeData()->hasText() || drag->mimeData()->hasUrls())
                    drag->acceptProposedAction();
                else
                    drag->ignore();
                return true;
            }
            case QEvent::Drop:
                Txturl_OLEDragDrop(static_cast<QDropEvent *>(event));
                return true;
            default:
                return false;
            }
        }
        if (watched == list3View &&
            (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
             event->type() == QEvent::MouseButtonDblClick) &&
            static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            if (event->type() == QEvent::MouseButtonPress)
                List3_MouseDown(Qt::RightButton);
            // The marks of the list are the rows to remove: a right click must not toggle one.
            return true;
        }
        return false;
    });
    m_ui.Txturl->installEventFilter(hook);
    list3View->installEventFilter(hook);
}

void UrlListPanel::Txturl_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    const QString address = m_ui.Txturl->text();
    m_host.openAddress(address);
    m_host.rememberAddress(address);
}

void UrlListPanel::Txturl_OLEDragDrop(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    const QStringList files = droppedFiles(data);
    // File managers here offer the files' addresses as plain text too: files go first, or a
    // dropped page would only have its address typed in instead of being opened.
    if (files.isEmpty()) {
        if (!data->hasText()) {
            event->ignore();
            return;
        }
        // A dropped address is opened and remembered, as one typed in and entered is.
        const QString address = data->text().trimmed();
        event->setDropAction(event->modifiers().testFlag(Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
        m_ui.Txturl->setText(address);
        m_host.openAddress(address);
        m_host.rememberAddress(address);
        return;
    }
    for (QString path : files) {
        path.replace(u'\\', u'/');
        // "file:///" leads a path that starts with a drive letter; a path here already starts
        // with "/", which is the third slash.
        m_ui.Txturl->setText((path.startsWith(u'/') ? QStringLiteral("file://") : QStringLiteral("file:///")) + path);
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QString address = m_ui.Txturl->text();
    m_host.openAddress(address);
    m_host.rememberAddress(address);
}

void UrlListPanel::Combo1_Click(int index)
{
    m_ui.Txturl->setText(m_ui.Combo1->itemText(index));
    m_host.openAddress(m_ui.Txturl->text());
}

void UrlListPanel::List3_MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton) {
        m_ui.mnurl->popup(QCursor::pos());
        return;
    }
    if (const QListWidgetItem *current = m_ui.List3->currentItem())
        m_ui.Txturl->setText(current->text());
}

void UrlListPanel::menuurl_Click(int index)
{
    switch (index) {
    case 0:
        ImportUrlListFile();
        break;
    case 1:
        ExtractPageLinks();
        break;
    case 2:
        // From the last row up, so that a removal never shifts a row still to be looked at.
        for (int row = m_ui.List3->count() - 1; row >= 0; --row)
            if (m_ui.List3->item(row)->isSelected()) {
                delete m_ui.List3->takeItem(row);
                m_list3NewIndex = -1;
            }
        break;
    case 3:
        m_ui.List3->clear();
        m_list3NewIndex = -1;
        break;
    default:
        break;
    }
}

void UrlListPanel::ImportUrlListFile()
{
    QPointer<UrlListPanel> alive(this);
    const QString path = browser::ShowOpenFileDialog(m_host.window, "打开文件", "文本文件(*.txt *.ini)", 254);
    if (!alive || path == " " || !QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    for (const std::string &line : capture::readUrlListFile(bytes.toStdString(), capture::systemCodePage())) {
        m_ui.List3->addItem(QString::fromStdString(line));
        m_list3NewIndex = m_ui.List3->count() - 1;
    }
    m_ui.Txturl->setText(m_ui.List3->count() > 0 ? m_ui.List3->item(0)->text() : QString());
    FitListHorizontalExtent(m_ui.List3);
}

void UrlListPanel::ExtractPageLinks()
{
    if (m_extractingLinks)
        return;
    const QString address = m_ui.Txturl->text();
    // Up to the "/" that ends the host of "http://host/"; the search starts at the 8th
    // character, so an "https://" address offers its scheme alone.
    const qsizetype slash = address.indexOf(u'/', 7);
    QPointer<UrlListPanel> alive(this);
    bool ok = false;
    const QString pattern = QInputDialog::getText(
        m_host.window, "链接共有属性设置",
        "请输入你要提取的链接的共有属性，比如全部包含某段字符，或者都类似于某串字符，支持通配符*、?、#", QLineEdit::Normal,
        slash >= 0 ? address.left(slash + 1) : QString(), &ok);
    if (!alive || !ok || pattern.isEmpty())
        return;

    m_extractingLinks = true;
    browser::SnapshotRequest request;
    request.links = true;
    const auto page = readPage(m_host.browser, request);
    if (!alive)
        return;
    m_extractingLinks = false;

    const auto extraction = capture::extractPageLinks(*page, pattern.toStdString(), rowsOf(m_ui.List3), m_list3NewIndex);
    if (!extraction)
        return;
    for (const std::string &link : extraction->added) {
        m_ui.List3->addItem(QString::fromStdString(link));
        m_list3NewIndex = m_ui.List3->count() - 1;
    }
    // The marks stay as they are: they choose the rows a removal takes.
    if (extraction->currentRow)
        m_ui.List3->setCurrentRow(*extraction->currentRow, QItemSelectionModel::NoUpdate);
    FitListHorizontalExtent(m_ui.List3);
}

}  // namespace tabvoro::ui
