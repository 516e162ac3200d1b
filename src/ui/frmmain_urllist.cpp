// Frmmain: the address sources beside the address box (drops, the drop-down) and the URL list
// that paging by list walks through.

#include <algorithm>
#include <cmath>
#include <functional>

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>

#include "browser/modcmdlg.h"
#include "ui/event_hook.h"
#include "browser/page_snapshot.h"
#include "browser/browser_engine.h"
#include "capture/output/code_page.h"
#include "capture/output/url_list.h"
#include "capture/wildcard.h"
#include "ui/frmmain.h"

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

}  // namespace

void Frmmain::connectUrlListHandlers()
{
    connect(Combo1, &QComboBox::activated, this, &Frmmain::Combo1_Click);
    for (int i = 0; i < static_cast<int>(menuurl.size()); ++i)
        connect(menuurl[i], &QAction::triggered, this, [this, i] { menuurl_Click(i); });
    // Emitted once the press has moved the current row, so the row under the pointer is read.
    connect(List3, &QListWidget::itemPressed, this, [this] { List3_MouseDown(Qt::LeftButton); });

    // Compared by identity only: the hook still sees events while the controls are destroyed.
    QWidget *const list3View = List3->viewport();
    auto *hook = new EventHook(this, [this, list3View](QObject *watched, QEvent *event) {
        if (watched == Txturl) {
            switch (event->type()) {
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
    watchEvents(Txturl, hook);
    watchEvents(list3View, hook);
}

void Frmmain::Txturl_OLEDragDrop(QDropEvent *event)
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
        Txturl->setText(address);
        OpenAddress(address);
        RememberAddress(address);
        return;
    }
    for (QString path : files) {
        path.replace(u'\\', u'/');
        // "file:///" leads a path that starts with a drive letter; a path here already starts
        // with "/", which is the third slash.
        Txturl->setText((path.startsWith(u'/') ? QStringLiteral("file://") : QStringLiteral("file:///")) + path);
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QString address = Txturl->text();
    OpenAddress(address);
    RememberAddress(address);
}

void Frmmain::Combo1_Click(int index)
{
    Txturl->setText(Combo1->itemText(index));
    OpenAddress(Txturl->text());
}

void Frmmain::List3_MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton) {
        mnurl->popup(QCursor::pos());
        return;
    }
    if (const QListWidgetItem *current = List3->currentItem())
        Txturl->setText(current->text());
}

void Frmmain::menuurl_Click(int index)
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
        for (int row = List3->count() - 1; row >= 0; --row)
            if (List3->item(row)->isSelected()) {
                delete List3->takeItem(row);
                m_list3NewIndex = -1;
            }
        break;
    case 3:
        List3->clear();
        m_list3NewIndex = -1;
        break;
    default:
        break;
    }
}

void Frmmain::ImportUrlListFile()
{
    QPointer<Frmmain> alive(this);
    const QString path = browser::ShowOpenFileDialog(this, "打开文件", "文本文件(*.txt *.ini)", 254);
    if (!alive || path == " " || !QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    for (const std::string &line : capture::readUrlListFile(bytes.toStdString(), capture::systemCodePage())) {
        List3->addItem(QString::fromStdString(line));
        m_list3NewIndex = List3->count() - 1;
    }
    Txturl->setText(List3->count() > 0 ? List3->item(0)->text() : QString());
    FitListHorizontalExtent(List3);
}

void Frmmain::ExtractPageLinks()
{
    if (m_extractingLinks)
        return;
    const QString address = Txturl->text();
    // Up to the "/" that ends the host of "http://host/"; the search starts at the 8th
    // character, so an "https://" address offers its scheme alone.
    const qsizetype slash = address.indexOf(u'/', 7);
    QPointer<Frmmain> alive(this);
    bool ok = false;
    const QString pattern = QInputDialog::getText(
        this, "链接共有属性设置", "请输入你要提取的链接的共有属性，比如全部包含某段字符，或者都类似于某串字符，支持通配符*、?、#",
        QLineEdit::Normal, slash >= 0 ? address.left(slash + 1) : QString(), &ok);
    if (!alive || !ok || pattern.isEmpty())
        return;

    m_extractingLinks = true;
    browser::SnapshotRequest request;
    request.links = true;
    browser::BrowserEngine *view = m_browser;
    const auto page = browser::takeSnapshot([view](const QString &script) { return view->evaluate(script); }, request);
    if (!alive)
        return;
    m_extractingLinks = false;
    if (!page)
        return;
    const auto links = (*page)->links();
    if (!links)
        return;

    const std::string wanted = pattern.toStdString();
    const bool wildcard = capture::isWildcardPattern(wanted);
    for (const std::string &link : *links) {
        if (link.find(wanted) == std::string::npos && !(wildcard && capture::wildcardMatch(wanted, link)))
            continue;
        const QString taken = QString::fromStdString(link);
        bool listed = false;
        for (int row = 0; row < List3->count() && !listed; ++row)
            listed = List3->item(row)->text().startsWith(taken, Qt::CaseInsensitive);
        if (!listed) {
            List3->addItem(taken);
            m_list3NewIndex = List3->count() - 1;
        }
        // The marks stay as they are: they choose the rows a removal takes.
        List3->setCurrentRow(m_list3NewIndex, QItemSelectionModel::NoUpdate);
    }
    FitListHorizontalExtent(List3);
}

void Frmmain::FitListHorizontalExtent(QListWidget *list)
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
