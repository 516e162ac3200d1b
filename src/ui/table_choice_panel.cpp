#include "ui/table_choice_panel.h"

#include <memory>

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include "browser/table_outline.h"
#include "capture/capture_table.h"
#include "capture/text_rules.h"
#include "ui/event_hook.h"
#include "ui/list_extent.h"
#include "ui/page_read.h"

namespace tabvoro::ui {

namespace {

using browser::SnapshotRequest;

constexpr const char *kKeywordHint = "要查看表格关键字是否唯一，可点击浏览框后按CTRL+F查找一下看看";

std::string utf8(const QString &text) { return text.toStdString(); }
QString fromUtf8(const std::string &text) { return QString::fromStdString(text); }

// Raises a busy flag of the panel while a handler waits for the page; the panel may be gone
// when the wait ends, and then the flag is left alone.
class BusyFlag {
public:
    BusyFlag(QObject *owner, bool &flag) : m_owner(owner), m_flag(flag) { m_flag = true; }
    ~BusyFlag()
    {
        if (m_owner)
            m_flag = false;
    }
    BusyFlag(const BusyFlag &) = delete;
    BusyFlag &operator=(const BusyFlag &) = delete;
    bool ownerGone() const { return !m_owner; }

private:
    QPointer<QObject> m_owner;
    bool &m_flag;
};

QString withoutEndBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

}  // namespace

std::optional<capture::TableEntry> tableEntryOf(const QListWidgetItem *item)
{
    const QVariant data = item ? item->data(kTableEntryRole) : QVariant();
    if (!data.canConvert<capture::TableEntry>())
        return std::nullopt;
    return data.value<capture::TableEntry>();
}

TableChoicePanel::TableChoicePanel(const Controls &controls, PanelHost host) : m_ui(controls), m_host(std::move(host))
{
    connectHandlers();
}

void TableChoicePanel::connectHandlers()
{
    connect(m_ui.Command2, &QPushButton::clicked, this, &TableChoicePanel::Command2_Click);
    connect(m_ui.List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            ChooseTable();
    });
    // A click on the row already chosen chooses it again (its fields come back as listed).
    connect(m_ui.List1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (m_ui.List1->row(item) == m_list1RowAtPress)
            ChooseTable();
    });

    // Compared by identity only: the hook still sees events while the controls are destroyed.
    QWidget *const list1View = m_ui.List1->viewport();
    QWidget *const list2View = m_ui.List2->viewport();
    auto *hook = new EventHook(this, [this, list1View, list2View](QObject *watched, QEvent *event) {
        const auto type = event->type();
        const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                           type == QEvent::MouseButtonDblClick;
        const Qt::MouseButton button = mouse ? static_cast<QMouseEvent *>(event)->button() : Qt::NoButton;
        if (watched == list1View && mouse) {
            if (type == QEvent::MouseButtonPress) {
                m_list1RowAtPress = m_ui.List1->currentRow();
                List1_MouseDown(button);
            }
            // A right click never chooses a row.
            return button == Qt::RightButton;
        }
        if (watched == list2View && mouse && button == Qt::RightButton) {
            if (type == QEvent::MouseButtonPress)
                List2_MouseDown(button);
            // The right button renames; it neither moves the current row nor toggles a mark.
            return true;
        }
        // After the focus has settled where it went: a message box shown while the focus is
        // still moving would take it over half way.
        if (watched == m_ui.CheckKj && leftForAnotherControl(event))
            QMetaObject::invokeMethod(this, &TableChoicePanel::CheckKj_LostFocus, Qt::QueuedConnection);
        else if (watched == m_ui.txtKj && leftForAnotherControl(event))
            QMetaObject::invokeMethod(this, &TableChoicePanel::txtKj_LostFocus, Qt::QueuedConnection);
        return false;
    });
    for (QObject *control : {static_cast<QObject *>(list1View), static_cast<QObject *>(list2View),
                             static_cast<QObject *>(m_ui.CheckKj), static_cast<QObject *>(m_ui.txtKj)})
        control->installEventFilter(hook);
}

void TableChoicePanel::ResetTableChoice()
{
    m_outlineShown = false;  // a new document holds no box
    m_ui.List1->clear();
    m_ui.List2->clear();
    m_ui.txtGjz->clear();
    m_ui.CheckKj->setChecked(false);
    m_ui.txtKj->clear();
}

void TableChoicePanel::addEntries(const std::vector<capture::TableEntry> &entries, std::optional<std::size_t> chosen)
{
    const int firstRow = m_ui.List1->count();
    for (const capture::TableEntry &entry : entries) {
        auto *item = new QListWidgetItem(fromUtf8(capture::entryText(entry)), m_ui.List1);
        item->setData(kTableEntryRole, QVariant::fromValue(entry));
    }
    if (!chosen)
        return;
    const int row = firstRow + static_cast<int>(*chosen);
    if (m_ui.List1->currentRow() == row)
        ChooseTable();
    else
        m_ui.List1->setCurrentRow(row);
}

void TableChoicePanel::Command2_Click()
{
    if (m_readingTables)
        return;
    std::unique_ptr<capture::SnapshotDocument> page;
    {
        BusyFlag busy(this, m_readingTables);
        // One read serves the whole test: the frame survey needs every frame's text and table
        // count, and the listing and the preview that follow need the tables of whichever
        // document the test leaves chosen, the page or one of its frames.
        SnapshotRequest request = SnapshotRequest::forFrameSurvey();
        request.tables = SnapshotRequest::Tables::Cells;
        page = readPage(m_host.browser, request);
        if (busy.ownerGone())
            return;

        const auto result = capture::captureTest(*page, m_ui.CheckKj->isChecked(), utf8(m_ui.txtKj->text()));
        m_host.setText1(fromUtf8(result.text));
        if (result.nextPageWordFound)
            m_ui.txtNp->setText(capture::kNextPageWord);
        if (result.frameText)
            m_ui.txtKj->setText(fromUtf8(*result.frameText));
        if (result.tickFrameBox)
            m_ui.CheckKj->setChecked(true);
        m_ui.List1->clear();
        m_ui.List2->clear();

        m_testPage = page.get();
        ListPageTables();
        m_testPage = nullptr;
    }
}

void TableChoicePanel::ListPageTables()
{
    capture::TableListing listing;
    if (const auto target = capture::targetDocument(*m_testPage, m_ui.CheckKj->isChecked(), utf8(m_ui.txtKj->text())))
        listing = capture::listPageTables(**target);
    addEntries(listing.entries,
               listing.chosen >= 0 ? std::optional<std::size_t>(static_cast<std::size_t>(listing.chosen)) : std::nullopt);
    FitListHorizontalExtent(m_ui.List1);
}

void TableChoicePanel::ChooseTable()
{
    const auto entry = tableEntryOf(m_ui.List1->currentItem());
    if (!entry || (!m_testPage && m_readingTables))
        return;
    const auto choice = capture::chooseTable(*entry);
    m_ui.List2->clear();
    for (const std::string &field : choice.fields)
        (new QListWidgetItem(fromUtf8(field), m_ui.List2))->setSelected(true);
    m_ui.txtGjz->setText(fromUtf8(choice.keyword));
    m_host.showStatus(3, kKeywordHint);

    std::unique_ptr<capture::SnapshotDocument> own;
    const capture::Document *page = m_testPage;
    if (!page) {
        BusyFlag busy(this, m_readingTables);
        SnapshotRequest request = SnapshotRequest::forTableListing(m_host.captureSettings());
        // The preview shows a whole table, not its first row.
        if (request.tables != SnapshotRequest::Tables::None)
            request.tables = SnapshotRequest::Tables::Cells;
        own = readPage(m_host.browser, request);
        if (busy.ownerGone())
            return;
        page = own.get();
    }
    if (const auto target = capture::targetDocument(*page, m_ui.CheckKj->isChecked(), utf8(m_ui.txtKj->text())))
        if (const auto preview = capture::tablePreview(**target, choice.keyword))
            m_host.setText1(fromUtf8(*preview));
    OutlineChosenTable(entry->number);
}

void TableChoicePanel::OutlineChosenTable(std::size_t number)
{
    std::optional<std::size_t> frame;
    if (m_ui.CheckKj->isChecked()) {
        frame = capture::indexFromNumber(capture::leadingNumber(utf8(m_ui.txtKj->text())));
        // No frame by that number: nothing to point at.
        if (!frame)
            return;
    }
    // The capture test chooses a table while it still holds the page.
    const bool nested = m_readingTables;
    QPointer<TableChoicePanel> alive(this);
    m_readingTables = true;
    // Not finding the table (a frame of another origin, a page changed since the test) leaves
    // the page without a box, which is all the user needs to see.
    const bool shown = browser::showTableOutline(*m_host.browser, number, frame).has_value();
    if (!alive)
        return;
    m_readingTables = nested;
    m_outlineShown = shown;
}

bool TableChoicePanel::ClearTableOutline()
{
    if (m_readingTables)
        return false;
    if (!m_outlineShown)
        return true;
    BusyFlag busy(this, m_readingTables);
    // A new document has none; one that cannot be read now is no reason to hold the capture up.
    (void)browser::clearTableOutline(*m_host.browser);
    if (!busy.ownerGone())
        m_outlineShown = false;
    return true;
}

void TableChoicePanel::List1_MouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || m_ui.List1->count() == 0)
        return;
    m_ui.List1->clear();
    m_ui.List2->clear();
}

void TableChoicePanel::List2_MouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || m_ui.List2->count() == 0)
        return;
    const int row = m_ui.List2->currentRow();
    if (row < 0)
        return;
    QPointer<TableChoicePanel> alive(this);
    bool ok = false;
    const QString answer = QInputDialog::getText(m_host.window, "修改字段名称", "请输入新字段或表列名称",
                                                 QLineEdit::Normal, m_ui.List2->item(row)->text(), &ok);
    if (!alive || !ok || withoutEndBlanks(answer).isEmpty())
        return;
    // The list may have been refilled while the prompt was open.
    if (QListWidgetItem *item = m_ui.List2->item(row))
        item->setText(answer);
}

void TableChoicePanel::CheckKj_LostFocus()
{
    if (!m_ui.CheckKj->isChecked() || m_readingTables)
        return;
    std::size_t count = 0;
    {
        BusyFlag busy(this, m_readingTables);
        SnapshotRequest request;
        request.frames = SnapshotRequest::Frames::Names;
        const auto page = readPage(m_host.browser, request);
        if (busy.ownerGone())
            return;
        count = capture::countFrames(*page);
    }
    if (count >= 1) {
        m_frameCountTag = QString::number(count);
        QMessageBox::information(m_host.window, "提示",
                                 "  当前页面中共有框架数 " + m_frameCountTag + " 个，请在右侧输入框中输入小于这个数的数字!    ");
    } else {
        m_ui.CheckKj->setChecked(false);
        m_ui.txtKj->clear();
        m_frameCountTag.clear();
        QMessageBox::information(m_host.window, "提示", "  当前页面中没有任何框架!    ");
    }
}

void TableChoicePanel::txtKj_LostFocus()
{
    const double number = capture::leadingNumber(utf8(m_ui.txtKj->text()));
    const double frames = capture::leadingNumber(utf8(m_frameCountTag));
    if (number <= frames)
        return;
    QPointer<TableChoicePanel> alive(this);
    QMessageBox::information(m_host.window, "提示",
                             "   你输入的数大于当前网页中的框架总数 " + m_frameCountTag + " 了,请重输!    ");
    if (alive)
        m_ui.txtKj->setFocus();
}

}  // namespace tabvoro::ui
