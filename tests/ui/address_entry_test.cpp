// The address box, the address drop-down and the URL list, with the real view.

#include <cmath>
#include <filesystem>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "support/local_http_server.h"
#include "support/test_window.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

namespace {

QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QList<int> markedRows(const QListWidget *list)
{
    QList<int> marked;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            marked << i;
    return marked;
}

}  // namespace

class AddressEntryTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    test::LocalHttpServer m_site;

    ui::Frmmain &window() { return *m_window; }
    QListWidget *urlList() { return window().List3; }

    // Waits until the view has completed `url`.
    void waitFor(QSignalSpy &complete, const QUrl &url)
    {
        while (complete.isEmpty() || complete.last().at(0).toUrl() != url)
            QVERIFY(complete.wait(20000));
    }

    void enter(const QString &address)
    {
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        window().Txturl->setText(address);
        QTest::keyClick(window().Txturl, Qt::Key_Return);
        waitFor(complete, QUrl(address));
    }

    QString writeFile(const std::string &name, const std::string &bytes)
    {
        test::writeBytes(m_dir->file(name), bytes);
        return QString::fromStdString(m_dir->file(name).string());
    }

    void importFile(const QString &path)
    {
        test::ModalAnswerer answerer(path);
        window().menuurl[0]->trigger();
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("打开文件"));
    }

    // Runs the link extraction with `pattern` typed into its prompt; returns the prompt's default.
    QString extract(const QString &pattern)
    {
        test::ModalAnswerer answerer(pattern);
        window().menuurl[1]->trigger();
        if (answerer.seen() != 1)
            return "(no prompt)";
        return answerer.lastDefault();
    }

    // Brings the URL list in, as choosing paging by list and moving the pointer over the window do.
    void showUrlList()
    {
        window().Option1[2]->setChecked(true);
        QWidget *client = window().centralWidget();
        const QPoint pos(client->width() - 3, client->height() - 3);
        QMouseEvent move(QEvent::MouseMove, pos, client->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(client, &move);
        QVERIFY(urlList()->isVisible());
    }

    void sendDrop(QMimeData *data, Qt::KeyboardModifiers modifiers, Qt::DropAction *action = nullptr)
    {
        QLineEdit *box = window().Txturl;
        const QPoint pos = box->rect().center();
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(box, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(box, &drop);
        QVERIFY(drop.isAccepted());
        if (action)
            *action = drop.dropAction();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void importAddsEveryLineButEmptyOnes()
    {
        const QString before = window().webBrowser()->LocationURL();
        window().txtGjz->setText("kept");
        importFile(writeFile("list.txt", "http://a.test/1\r\n\r\n   \nhttp://a.test/页2\r"));
        QCOMPARE(rows(urlList()), QStringList({"http://a.test/1", "   ", "http://a.test/页2"}));
        QCOMPARE(window().Txturl->text(), QString("http://a.test/1"));
        // The address is put in the box, not opened: opening it empties the table keyword as it
        // asks the view for the page, and remembers nothing.
        QCOMPARE(window().txtGjz->text(), QString("kept"));
        QCOMPARE(window().Combo1->count(), 0);
        QCOMPARE(window().webBrowser()->LocationURL(), before);

        // A second import adds below, duplicates and all; the box shows the list's first row.
        importFile(writeFile("more.txt", "http://b.test/1\nhttp://a.test/1\n"));
        QCOMPARE(rows(urlList()),
                 QStringList({"http://a.test/1", "   ", "http://a.test/页2", "http://b.test/1", "http://a.test/1"}));
        QCOMPARE(window().Txturl->text(), QString("http://a.test/1"));
    }

    void cancelledOrTooLongImportChangesNothing()
    {
        urlList()->addItem("http://a.test/keep");
        window().Txturl->setText("typed");
        {
            test::ModalAnswerer cancel(QString(), false);
            window().menuurl[0]->trigger();
            QCOMPARE(cancel.seen(), 1);
        }
        // A path of more than 253 characters does not fit the dialog's answer: taken as cancelled.
        const std::string folder(240 - m_dir->folder().size(), 'd');
        std::filesystem::create_directory(m_dir->file(folder));
        const QString fits = writeFile(folder + "/" + std::string(253 - 241 - 4, 'f') + ".txt", "http://a.test/fits\n");
        const QString tooLong = writeFile(folder + "/" + std::string(254 - 241 - 4, 'f') + ".txt", "http://a.test/long\n");
        QCOMPARE(fits.size(), 253);
        importFile(tooLong);
        QCOMPARE(rows(urlList()), QStringList({"http://a.test/keep"}));
        QCOMPARE(window().Txturl->text(), QString("typed"));
        importFile(fits);
        QCOMPARE(rows(urlList()), QStringList({"http://a.test/keep", "http://a.test/fits"}));
    }

    void listIsAsWideAsItsWidestRow()
    {
        showUrlList();
        QCOMPARE(urlList()->property("horizontalExtent"), QVariant());
        const QString wide = "http://a.test/" + QString(120, 'w');
        importFile(writeFile("list.txt", "http://a.test/1\n" + wide.toStdString() + "\n"));
        const QFontMetrics metrics(urlList()->font());
        const int extent = static_cast<int>(std::nearbyint((metrics.horizontalAdvance(wide) + 8) * 1.05));
        QCOMPARE(urlList()->property("horizontalExtent").toInt(), extent);
        QTRY_COMPARE(urlList()->horizontalScrollBar()->maximum(), extent - urlList()->viewport()->width());

        window().menuurl[3]->trigger();
        QCOMPARE(urlList()->count(), 0);
        // An emptied list is measured again by the next fill, from 0.
        importFile(writeFile("empty.txt", "\r\n\r\n"));
        QCOMPARE(urlList()->property("horizontalExtent").toInt(), 0);
        QCOMPARE(window().Txturl->text(), QString());
    }

    // Which links are taken is the engine's (PageLinks); here, that the shown page's links reach
    // the list as the view resolves them, the marks untouched.
    void extractionSkipsAddressesARowAlreadyStartsWith()
    {
        m_site.addPage("/links.html", "<html><body><a href=\"/list_1.htm\">1</a><a href=\"/list_2.htm\">2</a>"
                                      "<a href=\"list_3.htm\">3</a></body></html>");
        const QString site = m_site.url("/").toString();
        urlList()->addItem(site.toUpper() + "LIST_2.HTM#top");
        urlList()->addItem("http://a.test/marked");
        urlList()->item(1)->setSelected(true);
        enter(m_site.url("/links.html").toString());

        QCOMPARE(extract("list_"), site);
        QCOMPARE(rows(urlList()), QStringList({site.toUpper() + "LIST_2.HTM#top", "http://a.test/marked",
                                               site + "list_1.htm", site + "list_3.htm"}));
        QCOMPARE(urlList()->currentRow(), 3);
        QCOMPARE(markedRows(urlList()), QList<int>({1}));

        // A page whose links are all listed: the current row is still the one added last.
        urlList()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        extract("list_");
        QCOMPARE(urlList()->count(), 4);
        QCOMPARE(urlList()->currentRow(), 3);
    }

    void extractionDefaultAndCancel()
    {
        struct Case {
            QString address;
            QString expected;
        };
        const Case cases[] = {
            {"http://a.test/dir/page.htm", "http://a.test/"},
            // The search starts at the 8th character, which in "https://" is its second slash.
            {"https://b.test/x", "https://"},
            {"http://a", ""},
            {"", ""},
        };
        for (const auto &c : cases) {
            window().Txturl->setText(c.address);
            // An empty answer stops before the page is read.
            QCOMPARE(extract(QString()), c.expected);
        }
        QCOMPARE(urlList()->count(), 0);
    }

    void removeMarkedRowsAndClear()
    {
        urlList()->addItems({"a", "b", "c", "d", "e"});
        for (int row : {1, 3, 4})
            urlList()->item(row)->setSelected(true);
        window().menuurl[2]->trigger();
        QCOMPARE(rows(urlList()), QStringList({"a", "c"}));
        window().menuurl[3]->trigger();
        QCOMPARE(urlList()->count(), 0);
    }

    void clicksOnTheUrlList()
    {
        showUrlList();
        urlList()->addItems({"http://a.test/1", "http://a.test/2"});
        const QString before = window().webBrowser()->LocationURL();
        QTest::mouseClick(urlList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          urlList()->visualItemRect(urlList()->item(1)).center());
        QCOMPARE(window().Txturl->text(), QString("http://a.test/2"));
        QCOMPARE(markedRows(urlList()), QList<int>({1}));

        // The right button shows the list's menu and leaves rows and marks alone.
        QTest::mouseClick(urlList()->viewport(), Qt::RightButton, Qt::NoModifier,
                          urlList()->visualItemRect(urlList()->item(0)).center());
        QTRY_VERIFY(window().mnurl->isVisible());
        window().mnurl->close();
        QCOMPARE(urlList()->currentRow(), 1);
        QCOMPARE(markedRows(urlList()), QList<int>({1}));
        QCOMPARE(window().Txturl->text(), QString("http://a.test/2"));
        QCOMPARE(window().webBrowser()->LocationURL(), before);
    }

    void enterRemembersEachAddressOnce()
    {
        m_site.addPage("/page.html", "<html><body>p</body></html>");
        m_site.addPage("/Page.html", "<html><body>P</body></html>");
        const QString lower = m_site.url("/page.html").toString();
        const QString upper = m_site.url("/Page.html").toString();
        enter(lower);
        enter(lower);
        QCOMPARE(window().Combo1->count(), 1);
        enter(upper);
        QCOMPARE(window().Combo1->count(), 2);
        QCOMPARE(window().Combo1->itemText(1), upper);

        // Choosing a row opens it and adds nothing.
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        emit window().Combo1->activated(0);
        QCOMPARE(window().Txturl->text(), lower);
        waitFor(complete, QUrl(lower));
        QCOMPARE(window().Combo1->count(), 2);
    }

    void droppedFileIsOpened()
    {
        const QString path = writeFile("dropped page.html", "<html><body>dropped</body></html>");
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        // File managers offer the address as text as well; the file still wins.
        data->setText(QUrl::fromLocalFile(path).toString());
        sendDrop(data, Qt::NoModifier);
        QCOMPARE(window().Txturl->text(), "file://" + path);
        waitFor(complete, QUrl::fromLocalFile(path));
        QCOMPARE(window().Combo1->count(), 1);
        QCOMPARE(window().Combo1->itemText(0), "file://" + path);
        delete data;
    }

    void droppedTextOpensAndIsRemembered()
    {
        m_site.addPage("/dropped.html", "<title>dropped</title><p>dropped</p>");
        const QString address = m_site.url("/dropped.html").toString();
        auto *data = new QMimeData;
        data->setText(address);
        Qt::DropAction action = Qt::IgnoreAction;
        window().Txturl->setText("old");
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        sendDrop(data, Qt::NoModifier, &action);
        QCOMPARE(window().Txturl->text(), address);
        QCOMPARE(action, Qt::MoveAction);
        QTRY_COMPARE_WITH_TIMEOUT(window().webBrowser()->LocationURL(), address, 10000);
        // Its load complete: a second load of the address begun before would replace it unreported.
        QTRY_VERIFY_WITH_TIMEOUT(complete.size() >= 1, 10000);
        QCOMPARE(window().Combo1->count(), 1);
        QCOMPARE(window().Combo1->itemText(0), address);
        // Dropped again, with Ctrl held: copied, and remembered once only.
        sendDrop(data, Qt::ControlModifier, &action);
        QCOMPARE(action, Qt::CopyAction);
        QTRY_VERIFY_WITH_TIMEOUT(complete.size() >= 2, 10000);
        QCOMPARE(window().Combo1->count(), 1);
        delete data;
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    AddressEntryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "address_entry_test.moc"
