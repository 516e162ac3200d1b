// Frmmain: the capture test, the list of the page's tables and the choice of one of them.

#include <functional>
#include <memory>

#include <QCheckBox>
#include <QFocusEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include "browser/page_snapshot.h"
#include "ui/event_hook.h"
#include "browser/browser_engine.h"
#include "capture/capture_table.h"
#include "capture/table_listing.h"
#include "capture/text_rules.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

namespace {

using browser::SnapshotRequest;

constexpr const char *kKeywordHint = "要查看表格关键字是否唯一，可点击浏览框后按CTRL+F查找一下看看";

std::string utf8(const QString &text) { return text.toStdString(); }
QString fromUtf8(const std::string &text) { return QString::fromStdString(text); }


// Raises a busy flag of the window while a handler waits for the page; the window may be gone
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

// The page as `request` reads it. A page that cannot be read is an empty document: every part
// of it reads as missing, which the engine takes as a page without text, tables or frames.
std::unique_ptr<capture::SnapshotDocument> readPage(browser::BrowserEngine *view, const SnapshotRequest &request)
{
    auto document = browser::takeSnapshot([view](const QString &script) { return view->evaluate(script); }, request);
    return document ? std::move(*document) : std::make_unique<capture::SnapshotDocument>();
}

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

void Frmmain::connectTableHandlers()
{
    connect(Command2, &QPushButton::clicked, this, &Frmmain::Command2_Click);
    connect(List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            ChooseTable();
    });
    // A click on the row already chosen chooses it again (its fields come back as listed).
    connect(List1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (List1->row(item) == m_list1RowAtPress)
            ChooseTable();
    });

    // Compared by identity only: the hook still sees events while the controls are destroyed.
    QWidget *const list1View = List1->viewport();
    QWidget *const list2View = List2->viewport();
    auto *hook = new EventHook(this, [this, list1View, list2View](QObject *watched, QEvent *event) {
        const auto type = event->type();
        const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                           type == QEvent::MouseButtonDblClick;
        const Qt::MouseButton button = mouse ? static_cast<QMouseEvent *>(event)->button() : Qt::NoButton;
        if (watched == list1View && mouse) {
            if (type == QEvent::MouseButtonPress) {
                m_list1RowAtPress = List1->currentRow();
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
        if (watched == CheckKj && leftForAnotherControl(event))
            QMetaObject::invokeMethod(this, &Frmmain::CheckKj_LostFocus, Qt::QueuedConnection);
        else if (watched == txtKj && leftForAnotherControl(event))
            QMetaObject::invokeMethod(this, &Frmmain::txtKj_LostFocus, Qt::QueuedConnection);
        return false;
    });
    watchEvents(list1View, hook);
    watchEvents(list2View, hook);
    watchEvents(CheckKj, hook);
    watchEvents(txtKj, hook);
}

void Frmmain::Command2_Click()
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
        page = readPage(m_browser, request);
        if (busy.ownerGone())
            return;

        const auto result = capture::captureTest(*page, CheckKj->isChecked(), utf8(txtKj->text()));
        setText1(fromUtf8(result.text));
        if (result.nextPageWordFound)
            txtNp->setText(capture::kNextPageWord);
        if (result.frameText)
            txtKj->setText(fromUtf8(*result.frameText));
        if (result.tickFrameBox)
            CheckKj->setChecked(true);
        List1->clear();
        List2->clear();

        m_testPage = page.get();
        ListPageTables();
        m_testPage = nullptr;
    }
}

void Frmmain::ListPageTables()
{
    std::unique_ptr<capture::SnapshotDocument> own;
    const capture::Document *page = m_testPage;
    if (!page) {
        if (m_readingTables)
            return;
        BusyFlag busy(this, m_readingTables);
        own = readPage(m_browser, SnapshotRequest::forTableListing(readCaptureSettings()));
        if (busy.ownerGone())
            return;
        page = own.get();
    }
    capture::TableListing listing;
    if (const auto target = capture::targetDocument(*page, CheckKj->isChecked(), utf8(txtKj->text())))
        listing = capture::listPageTables(**target);
    for (const std::string &entry : listing.entries)
        List1->addItem(fromUtf8(entry));
    if (listing.chosen >= 0) {
        if (List1->currentRow() == listing.chosen)
            ChooseTable();
        else
            List1->setCurrentRow(listing.chosen);
    }
    FitListHorizontalExtent(List1);
}

void Frmmain::ChooseTable()
{
    const QListWidgetItem *current = List1->currentItem();
    if (!current || (!m_testPage && m_readingTables))
        return;
    const auto choice = capture::chooseTable(utf8(current->text()));
    List2->clear();
    for (const std::string &field : choice.fields)
        (new QListWidgetItem(fromUtf8(field), List2))->setSelected(true);
    txtGjz->setText(fromUtf8(choice.keyword));
    ShowStatus(3, kKeywordHint);

    std::unique_ptr<capture::SnapshotDocument> own;
    const capture::Document *page = m_testPage;
    if (!page) {
        BusyFlag busy(this, m_readingTables);
        SnapshotRequest request = SnapshotRequest::forTableListing(readCaptureSettings());
        // The preview shows a whole table, not its first row.
        if (request.tables != SnapshotRequest::Tables::None)
            request.tables = SnapshotRequest::Tables::Cells;
        own = readPage(m_browser, request);
        if (busy.ownerGone())
            return;
        page = own.get();
    }
    if (const auto target = capture::targetDocument(*page, CheckKj->isChecked(), utf8(txtKj->text())))
        if (const auto preview = capture::tablePreview(**target, choice.keyword))
            setText1(fromUtf8(*preview));
}

void Frmmain::List1_MouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || List1->count() == 0)
        return;
    List1->clear();
    List2->clear();
}

void Frmmain::List2_MouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || List2->count() == 0)
        return;
    const int row = List2->currentRow();
    if (row < 0)
        return;
    QPointer<Frmmain> alive(this);
    bool ok = false;
    const QString answer = QInputDialog::getText(this, "修改字段名称", "请输入新字段或表列名称", QLineEdit::Normal,
                                                 List2->item(row)->text(), &ok);
    if (!alive || !ok || withoutEndBlanks(answer).isEmpty())
        return;
    // The list may have been refilled while the prompt was open.
    if (QListWidgetItem *item = List2->item(row))
        item->setText(answer);
}

void Frmmain::CheckKj_LostFocus()
{
    if (!CheckKj->isChecked() || m_readingTables)
        return;
    std::size_t count = 0;
    {
        BusyFlag busy(this, m_readingTables);
        SnapshotRequest request;
        request.frames = SnapshotRequest::Frames::Names;
        const auto page = readPage(m_browser, request);
        if (busy.ownerGone())
            return;
        count = capture::countFrames(*page);
    }
    if (count >= 1) {
        m_frameCountTag = QString::number(count);
        QMessageBox::information(this, "提示",
                                 "  当前页面中共有框架数 " + m_frameCountTag + " 个，请在右侧输入框中输入小于这个数的数字!    ");
    } else {
        CheckKj->setChecked(false);
        txtKj->clear();
        m_frameCountTag.clear();
        QMessageBox::information(this, "提示", "  当前页面中没有任何框架!    ");
    }
}

void Frmmain::txtKj_LostFocus()
{
    const double number = capture::leadingNumber(utf8(txtKj->text()));
    const double frames = capture::leadingNumber(utf8(m_frameCountTag));
    if (number <= frames)
        return;
    QPointer<Frmmain> alive(this);
    QMessageBox::information(this, "提示", "   你输入的数大于当前网页中的框架总数 " + m_frameCountTag + " 了,请重输!    ");
    if (alive)
        txtKj->setFocus();
}

}  // namespace tabvoro::ui
