// The caret position, the search of Text1, and the timer speed on the tally label.

#include <QApplication>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include "browser/web_engine_setup.h"
#include "support/test_window.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

using namespace tabvoro;

namespace {

// Answers the next search prompt with `answer`; `offered` receives the text it offered.
void answerNextPrompt(const QString &answer, QString *offered)
{
    *offered = "<no prompt>";
    QTimer::singleShot(50, [answer, offered] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog && dialog->windowTitle() == "查找" && dialog->labelText() == "请输入要查找的字符串");
        *offered = dialog->textValue();
        dialog->setTextValue(answer);
        dialog->accept();
    });
}

}  // namespace

class TextFindTest : public QObject {
    Q_OBJECT

private:
    test::ScratchDir m_dir;
    std::unique_ptr<ui::Frmmain> m_window;

    QPlainTextEdit *text() { return m_window->Text1; }
    void select(int start, int length = 0)
    {
        QTextCursor cursor = text()->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        text()->setTextCursor(cursor);
    }
    QPair<int, int> selection()
    {
        const QTextCursor cursor = text()->textCursor();
        return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
    }
    void clickLabel(int index, Qt::MouseButton button = Qt::LeftButton) { QTest::mouseClick(m_window->Labar[index], button); }

private slots:
    void init()
    {
        m_window = test::makeTestWindow(m_dir);
        QVERIFY(m_window);
        // The blank page's progress goes to the labels that show the caret position.
        QTRY_VERIFY(m_window->Timer1Tag == std::pair(0, 0));
    }

    void caretPosition_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("column");
        QTest::newRow("third line, fifth character") << "one\ntwo\nabcdefgh" << 8 + 5 << "行:3" << "列:6";
        QTest::newRow("after two Chinese characters") << "x\n中文abc" << 2 + 2 << "行:2" << "列:3";
    }

    void caretPosition()
    {
        QFETCH(QString, content);
        QFETCH(int, position);
        QFETCH(QString, row);
        QFETCH(QString, column);
        text()->setPlainText(content);
        QTextCursor at = text()->textCursor();
        at.setPosition(position);
        QTest::mouseClick(text()->viewport(), Qt::LeftButton, {}, text()->cursorRect(at).center());
        QCOMPARE(text()->textCursor().position(), position);
        QTRY_COMPARE(m_window->Labar[1]->text(), row);
        QCOMPARE(m_window->Labar[2]->text(), column);
        // Keys move the caret without showing it; a press with any button shows the end of the
        // selection (here the start of line 2) without moving it.
        QTest::keyClick(text(), Qt::Key_End);
        QCOMPARE(m_window->Labar[2]->text(), column);
        select(0, content.indexOf('\n') + 1);
        QTest::mouseClick(text()->viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
        QTRY_COMPARE(m_window->Labar[1]->text(), QString("行:2"));
        QTRY_COMPARE(m_window->Labar[2]->text(), QString("列:1"));
    }

    void findNext_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("findText");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("found");  // where the one occurrence found starts
        QTest::newRow("caret at index 1") << "abcabc" << "abc" << 1 << 3;
        QTest::newRow("caret at index 0: moved to 1 first") << "abcabc" << "abc" << 0 << 3;
    }

    // A click on Labar(2) selects the next occurrence; past the last one it says so and forgets
    // the string.
    void findNext()
    {
        QFETCH(QString, content);
        QFETCH(QString, findText);
        QFETCH(int, caret);
        QFETCH(int, found);
        text()->setPlainText(content);
        select(caret);
        QString offered;
        answerNextPrompt(findText, &offered);
        clickLabel(2);  // no string yet: asks first
        QCOMPARE(offered, QString());
        QCOMPARE(selection(), qMakePair(found, int(findText.size())));
        QCOMPARE(m_window->focusWidget(), text());

        test::ModalAnswerer answerer;
        clickLabel(2);
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("查找"));
        QCOMPARE(answerer.lastText(), QString("    已经找不到你要查找的字符了!       "));
        QCOMPARE(m_window->FindText(), QString());
    }

    void labelsOneAndThreeOnlyAsk()
    {
        text()->setPlainText("abc abc");
        QString offered;
        answerNextPrompt("abc", &offered);
        clickLabel(3);  // asks while no string is set
        QCOMPARE(offered, QString());
        QCOMPARE(m_window->FindText(), QString("abc"));
        select(1, 2);
        {
            test::ModalAnswerer none;
            clickLabel(3);  // neither asks nor searches now
            QCOMPARE(none.seen(), 0);
            QCOMPARE(selection(), qMakePair(1, 2));
        }
        // Labar(1) asks again, offering the selection rather than the string it replaces.
        answerNextPrompt("c", &offered);
        clickLabel(1);
        QCOMPARE(offered, QString("bc"));
        QCOMPARE(m_window->FindText(), QString("c"));
        QCOMPARE(selection(), qMakePair(1, 2));
        test::ModalAnswerer cancel(QString(), false);
        clickLabel(1);
        QCOMPARE(m_window->FindText(), QString());
    }

    void tallyLabelSetsTheTimer_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("after");
        QTest::newRow("right at 2000") << 2000 << Qt::RightButton << 1900;
        QTest::newRow("left at 2000") << 2000 << Qt::LeftButton << 2100;
        QTest::newRow("middle") << 2000 << Qt::MiddleButton << 2000;
    }

    void tallyLabelSetsTheTimer()
    {
        QFETCH(int, interval);
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, after);
        m_window->Timer1->setInterval(interval);
        clickLabel(0, button);
        QCOMPARE(m_window->Timer1->interval(), after);
        QCOMPARE(m_window->Labar[0]->toolTip(), QString::number(after));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    TextFindTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "text_find_test.moc"
