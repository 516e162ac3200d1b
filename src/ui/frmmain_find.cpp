// Frmmain: the caret position and the search of Text1, and the timer speed on the tally label.

#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include "capture/text_position.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::ui {

namespace {

// Tells of every mouse press in Text1 once the press has done its own work (placed the caret).
class TextMousePress : public QObject {
public:
    TextMousePress(QObject *parent, std::function<void()> afterPress) : QObject(parent), m_afterPress(std::move(afterPress)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            QTimer::singleShot(0, this, m_afterPress);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_afterPress;
};

std::u16string_view units(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

capture::TextSelection selectionOf(const QTextCursor &cursor)
{
    return {static_cast<std::size_t>(cursor.selectionStart()),
            static_cast<std::size_t>(cursor.selectionEnd() - cursor.selectionStart())};
}

void select(QPlainTextEdit *box, capture::TextSelection selection)
{
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(static_cast<int>(selection.start));
    cursor.setPosition(static_cast<int>(selection.end()), QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
}

}  // namespace

void Frmmain::connectFindHandlers()
{
    watchEvents(Text1->viewport(), new TextMousePress(Text1, [this] { Text1_MouseDown(); }));
    for (int i = 0; i < static_cast<int>(Labar.size()); ++i)
        connect(Labar[i], &MouseLabel::mousePressed, this, [this, i](Qt::MouseButton button) { Labar_MouseDown(i, button); });
}

std::pair<int, int> Frmmain::GetCaretRowColumn() const
{
    const auto at = capture::caretRowColumn(units(Text1->toPlainText()),
                                            static_cast<std::size_t>(Text1->textCursor().selectionEnd()));
    return {static_cast<int>(at.column), static_cast<int>(at.row)};
}

void Frmmain::Text1_MouseDown()
{
    const auto [column, row] = GetCaretRowColumn();
    ShowStatus(1, "行:" + QString::number(row));
    ShowStatus(2, "列:" + QString::number(column));
}

void Frmmain::Labar_MouseDown(int index, Qt::MouseButton button)
{
    if (index != 0) {
        findInText1(index);
        return;
    }
    if (button == Qt::RightButton)
        Timer1->setInterval(capture::shorterTimerInterval(Timer1->interval()));
    else if (button == Qt::LeftButton)
        Timer1->setInterval(capture::longerTimerInterval(Timer1->interval()));
    Labar[0]->setToolTip(QString::number(Timer1->interval()));
}

// Labar(1) asks for the string, Labar(2) finds its next occurrence (asking first when there is
// none), Labar(3) only asks when there is none.
void Frmmain::findInText1(int index)
{
    Text1->setFocus();
    const capture::TextSelection shown = selectionOf(Text1->textCursor());
    const capture::TextSelection origin = capture::searchOrigin(units(Text1->toPlainText()), shown);
    if (origin != shown)
        select(Text1, origin);

    if (index == 1 || m_findText.isEmpty()) {
        QString offered = Text1->textCursor().selectedText();
        offered.replace(QChar::ParagraphSeparator, '\n');
        m_findText = QInputDialog::getText(this, "查找", "请输入要查找的字符串", QLineEdit::Normal, offered);
    }
    if (index != 2 || m_findText.isEmpty())
        return;

    // Read again: a capture may have replaced the text while the prompt was open.
    const QString text = Text1->toPlainText();
    if (const auto found = capture::findNext(units(text), units(m_findText), selectionOf(Text1->textCursor()))) {
        select(Text1, *found);
        return;
    }
    QMessageBox::information(this, "查找", "    已经找不到你要查找的字符了!       ");
    m_findText.clear();
}

}  // namespace tabvoro::ui
