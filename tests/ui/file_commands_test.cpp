// The collected-file list and its commands, in the real window.

#include <QAbstractButton>
#include <QApplication>
#include <QAction>
#include <QDir>
#include <QTimer>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStorageInfo>
#include <QTest>

#include <unistd.h>

#include "browser/web_engine_setup.h"
#include "capture/output/code_page.h"
#include "files/file_commands.h"
#include "support/test_window.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

namespace {

QByteArray gb18030(const QString &text)
{
    return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
}

// Clicks one button of the next Yes/No box, which the general answerer cannot; with `message`,
// then closes the message box that follows it and keeps its text.
void answerNextQuestion(QMessageBox::StandardButton button, QString *text, QString *message = nullptr)
{
    QTimer::singleShot(50, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box && box->windowTitle() == "提示");
        *text = box->text();
        if (message) {
            QTimer::singleShot(50, [=] {
                auto *next = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(next && next->windowTitle() == "提示");
                *message = next->text();
                next->accept();
            });
        }
        box->button(button)->click();
    });
}

}  // namespace

class FileCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    QList<QUrl> m_opened;

    ui::Frmmain &window() { return *m_window; }
    QString folder() const { return m_window->outputFolder(); }
    QPlainTextEdit *text() { return m_window->Text1; }

    void write(const QString &name, const QByteArray &bytes)
    {
        test::writeBytes((folder() + name).toStdString(), bytes.toStdString());
    }
    QByteArray read(const QString &name) const
    {
        return QFile::exists(folder() + name) ? QByteArray::fromStdString(test::readBytes((folder() + name).toStdString()))
                                              : QByteArray("<none>");
    }
    QStringList rows() const
    {
        QStringList names;
        for (int i = 0; i < m_window->File1->count(); ++i)
            names << m_window->File1->item(i)->text();
        return names;
    }
    void click(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        auto *list = window().File1;
        QTest::mouseClick(list->viewport(), button, {}, list->visualItemRect(list->item(row)).center());
    }
    // Writes the files, refreshes the list and selects the first one.
    void files(const QList<QPair<QString, QByteArray>> &contents)
    {
        for (const auto &[name, bytes] : contents)
            write(name, bytes);
        window().menufile[7]->trigger();
        click(0);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        m_opened.clear();
        window().openUrl = [this](const QUrl &url) { return m_opened << url, true; };
    }

    void cleanup() { m_window.reset(), m_dir.reset(); }

    void listClicksAndMenu()
    {
        QVERIFY(QDir(folder()).mkdir("dir.csv"));
        files({{"b.csv", "B\r\n"}, {"a.txt", "A\r\n"}, {"page.html", "x"}, {"10.csv", "10"}, {"c.xlsx", "PK"}});
        QCOMPARE(rows(), QStringList({"10.csv", "a.txt", "b.csv", "c.xlsx"}));
        click(1);
        QCOMPARE(text()->toPlainText(), QString("A\n"));
        text()->setPlainText("other");
        click(1);  // the row already selected is previewed again
        QCOMPARE(text()->toPlainText(), QString("A\n"));
        QTest::keyClick(window().File1, Qt::Key_Down);
        QCOMPARE(text()->toPlainText(), QString("B\n"));

        // The right button opens the menu and leaves the selection: the menu acts on row 2.
        click(0, Qt::RightButton);
        QTRY_VERIFY(window().mnfile->isVisible());
        window().mnfile->close();
        QCOMPARE(window().File1->currentRow(), 2);
        QTest::keyClick(m_window.get(), Qt::Key_F4);
        QTest::keyClick(m_window.get(), Qt::Key_F5);
        click(2);  // a double click's first press and release
        QTest::mouseDClick(window().File1->viewport(), Qt::LeftButton, {},
                           window().File1->visualItemRect(window().File1->item(2)).center());
        const QUrl b = QUrl::fromLocalFile(folder() + "b.csv");
        QCOMPARE(m_opened, QList<QUrl>({b, QUrl::fromLocalFile(folder()), b}));
    }

    // The window may go while a command's prompt is open (the program told to end): the command
    // then stops, and touches neither the window nor the file.
    void aCommandWhosePromptOutlivesTheWindowStops_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("rename") << 4;
        QTest::newRow("delete lines") << 6;
    }

    void aCommandWhosePromptOutlivesTheWindowStops()
    {
        QFETCH(int, command);
        files({{"a.csv", "A\r\n"}});
        QAction *action = window().menufile[command];
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [this] {
            if (QApplication::activeModalWidget())
                m_window.reset();
        });
        closer.start(10);
        action->trigger();
        QVERIFY(!m_window);
        QCOMPARE(QByteArray::fromStdString(test::readBytes(m_dir->file("download/a.csv"))), QByteArray("A\r\n"));
    }

    void preview_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("code page") << gb18030("城市,销量\r\n北京,1") << QString("城市,销量\n北京,1");
        QTest::newRow("100 KB") << QByteArray(100 * 1024, 'x') << QString(65536, 'x');
    }

    void preview()
    {
        QFETCH(QByteArray, bytes);
        text()->setPlainText("before");
        files({{"p.csv", bytes}});
        QTEST(text()->toPlainText(), "shown");
        // A file that is gone empties the box.
        QFile::remove(folder() + "p.csv");
        window().menufile[0]->trigger();
        QCOMPARE(text()->toPlainText(), QString());
    }

    void withoutASelectedRowNoFileIsTouched()
    {
        write("a.csv", "abc\r\n");
        window().menufile[7]->trigger();
        text()->setPlainText("kept");
        test::ModalAnswerer answerer("abc");
        for (int index : {0, 1, 4, 5, 6, 8})
            window().menufile[index]->trigger();
        QCOMPARE(answerer.seen(), 0);
        QCOMPARE(text()->toPlainText(), QString("kept"));
        QCOMPARE(read("a.csv"), QByteArray("abc\r\n"));
        QCOMPARE(read("a.xlsx"), QByteArray("<none>"));
        window().menufile[2]->trigger();
        QCOMPARE(m_opened, QList<QUrl>({QUrl::fromLocalFile(folder())}));
    }

    void rename_data()
    {
        QTest::addColumn<QString>("answer");  // "@" stands for the output folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("rows");
        const QString done = "    文件改名成功!   ";
        const QString failed = "    文件改名失败，请查找原因后再修改!   ";
        QTest::newRow("new name") << "@b.csv" << done << QStringList({"b.csv", "late.csv", "o.csv"});
        // The process runs in the program folder here, the output folder below it.
        QTest::newRow("relative") << "download/r.txt" << done << QStringList({"late.csv", "o.csv", "r.txt"});
        QTest::newRow("taken name") << "@o.csv" << failed << QStringList({"a.csv", "late.csv", "o.csv"});
        QTest::newRow("empty answer") << "" << QString() << QStringList({"a.csv", "late.csv", "o.csv"});
    }

    void rename()
    {
        QFETCH(QString, answer);
        QFETCH(QString, message);
        files({{"a.csv", "A"}, {"o.csv", "O"}});
        write("late.csv", "L");  // listed once the command refreshes the list
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(m_dir->folder()));
        test::ModalAnswerer answerer(answer.replace("@", folder()));
        window().menufile[4]->trigger();
        QDir::setCurrent(previous);
        QCOMPARE(answerer.seen(), message.isEmpty() ? 1 : 2);
        if (!message.isEmpty())
            QCOMPARE(answerer.lastText(), message);
        QTEST(rows(), "rows");
        QCOMPARE(read("o.csv"), QByteArray("O"));
    }

    void deleteAsksThenMovesToTheTrash()
    {
        files({{"a.csv", "A"}, {"b.csv", "B"}});
        QString asked;
        answerNextQuestion(QMessageBox::No, &asked);
        window().menufile[5]->trigger();
        QVERIFY2(asked.contains("a.csv") && asked.contains("回收站"), qPrintable(asked));
        QCOMPARE(rows(), QStringList({"a.csv", "b.csv"}));
        answerNextQuestion(QMessageBox::Yes, &asked);
        window().menufile[5]->trigger();
        QCOMPARE(rows(), QStringList({"b.csv"}));
        // In the trash, not deleted: the user's own, or that of the disk the folder is on.
        bool trashed = false;
        for (const QString &trash : {qEnvironmentVariable("XDG_DATA_HOME") + "/Trash",
                                     QStorageInfo(folder()).rootPath() + "/.Trash-" + QString::number(getuid())}) {
            trashed = trashed || QFile::remove(trash + "/files/a.csv");
            QFile::remove(trash + "/info/a.csv.trashinfo");
        }
        QVERIFY(trashed);
    }

    // No trash folder can be made (the data folder lies below an ordinary file, which even an
    // administrator cannot make a folder in): the file stays where it is, whole, and is named.
    void deleteWithoutATrashLeavesTheFile()
    {
        files({{"a.csv", "A"}});
        test::ScratchDir blocked;
        test::writeBytes(blocked.folder() + "file", "x");
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        const QByteArray home = qgetenv("HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(blocked.folder() + "file/data"));
        qputenv("HOME", QByteArray::fromStdString(blocked.folder() + "file"));
        QString asked, told;
        answerNextQuestion(QMessageBox::Yes, &asked, &told);
        window().menufile[5]->trigger();
        qputenv("XDG_DATA_HOME", dataHome);
        qputenv("HOME", home);
        QVERIFY2(told.contains("a.csv") && told.contains("回收站"), qPrintable(told));
        QCOMPARE(read("a.csv"), QByteArray("A"));
        QCOMPARE(rows(), QStringList({"a.csv"}));
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.csv"}));
        QVERIFY(!QFile::exists(QStorageInfo(folder()).rootPath() + "/.Trash-" + QString::number(getuid()) + "/files/a.csv"));
        QVERIFY(!QFile::exists(QDir::current().filePath("files/a.csv")));
    }

    // The spreadsheet appears in the list beside its file; it is named in the preview, and no
    // command reads it as text.
    void exportWritesTheSpreadsheetBesideTheFile()
    {
        files({{"a.csv", gb18030("名称,价格\r\n苹果,5\r\n")}, {"b.txt", "B\r\n"}});
        {
            test::ModalAnswerer answerer;
            window().menufile[8]->trigger();
            QCOMPARE(answerer.seen(), 0);
        }
        QCOMPARE(rows(), QStringList({"a.csv", "a.xlsx", "b.txt"}));
        QCOMPARE(window().File1->currentRow(), 0);
        QVERIFY(read("a.xlsx").startsWith("PK"));

        click(1);
        QCOMPARE(text()->toPlainText(), QString(files::kSpreadsheetPreview));
        const QByteArray spreadsheet = read("a.xlsx");
        {
            test::ModalAnswerer answerer("PK");
            window().menufile[6]->trigger();
            QCOMPARE(answerer.seen(), 0);
        }
        QCOMPARE(read("a.xlsx"), spreadsheet);
        test::ModalAnswerer answerer;
        window().menufile[8]->trigger();
        QTRY_COMPARE(answerer.seen(), 1);
        QVERIFY2(answerer.lastText().contains("a.xlsx") && answerer.lastText().contains("无法导出为Excel文件"),
                 qPrintable(answerer.lastText()));
        QCOMPARE(rows(), QStringList({"a.csv", "a.xlsx", "b.txt"}));
    }

    void deleteLines_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("case counts, order stays") << QByteArray("1 abc\r\n2\r\n3 ABC\r\n4abc\r\n5") << "abc"
                                                  << QByteArray("2\r\n3 ABC\r\n5\r\n");
        QTest::newRow("cancelled") << QByteArray("a\nb") << "" << QByteArray("a\nb");
    }

    void deleteLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, answer);
        files({{"d.csv", before}});
        write("late.csv", "L");
        text()->setPlainText("old preview");
        test::ModalAnswerer answerer(answer, !answer.isEmpty());
        window().menufile[6]->trigger();
        QCOMPARE(answerer.seen(), 1);  // the prompt, and no message after it
        QCOMPARE(answerer.lastTitle(), QString("批量删除包含某字符串的行"));
        QTEST(read("d.csv"), "after");
        // Neither a new preview nor a refresh follows, and no temporary file stays.
        QCOMPARE(text()->toPlainText(), QString("old preview"));
        QCOMPARE(rows(), QStringList({"d.csv"}));
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList({"d.csv", "late.csv"}));
    }

    // The rename would replace a read-only file all the same: the command leaves it as it is, and
    // a file it does rewrite keeps its permissions.
    void deleteLinesKeepsPermissionsAndReadOnlyFiles()
    {
        files({{"d.csv", "keep\r\ndrop\r\n"}});
        const QFileDevice::Permissions shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                                QFileDevice::WriteGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(folder() + "d.csv", shared));
        {
            test::ModalAnswerer answerer("drop", true);
            window().menufile[6]->trigger();
        }
        QCOMPARE(read("d.csv"), QByteArray("keep\r\n"));
        QCOMPARE(QFile::permissions(folder() + "d.csv") & 0x7077, shared);

        write("d.csv", "keep\r\ndrop\r\n");
        const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(folder() + "d.csv", readOnly));
        {
            test::ModalAnswerer answerer("drop", true);
            window().menufile[6]->trigger();
        }
        QCOMPARE(read("d.csv"), QByteArray("keep\r\ndrop\r\n"));
        QCOMPARE(QFile::permissions(folder() + "d.csv") & 0x7077, readOnly);
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList({"d.csv"}));
    }
};

int main(int argc, char **argv)
{
    // The trash and the per-user data folder of this run are its own.
    test::ScratchDir home;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.folder()));
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    FileCommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "file_commands_test.moc"
