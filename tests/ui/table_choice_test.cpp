// The capture test, the table list and the field list, against pages served to the real view.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "browser/page_snapshot.h"
#include "browser/web_browser.h"
#include "capture/document/document_dump.h"
#include "browser/web_engine_setup.h"
#include "support/local_http_server.h"
#include "support/test_window.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"
#include "ui/page_read.h"
#include "ui/table_choice_panel.h"

using namespace tabvoro;

namespace {

const QByteArray kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>";

// A small table first, the largest second, a third that shares the largest one's first cells.
const QByteArray kTablesPage = kHead +
    "<body><p>各城市销量 <a href=\"/2\">下一页</a></p>"
    "<table><tr><td>序号</td></tr><tr><td>1</td></tr></table>"
    "<table><tr><td> 城市 </td><td>年份</td><td>销量</td><td>价格</td></tr>"
    "<tr><td>北京</td><td>2014</td><td>1234</td><td>5</td></tr>"
    "<tr><td>上海</td><td>2015</td><td>2048</td><td>6</td></tr></table>"
    "<table><tr><td>城市年份销量合计</td></tr></table>"
    "</body></html>";

const QByteArray kFrameset = "<html><frameset cols=\"20%,80%\"><frame name=\"nav\" src=\"/nav.html\">"
                             "<frame name=\"data\" src=\"/data.html\"></frameset></html>";

QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QList<bool> marks(const QListWidget *list)
{
    QList<bool> selected;
    for (int i = 0; i < list->count(); ++i)
        selected << list->item(i)->isSelected();
    return selected;
}

QString text1(const ui::Frmmain &window) { return window.Text1->toPlainText(); }

// One table of each kind, the record list far below the fold.
const QByteArray kKindsPage = kHead +
    "<body><p>三种表格</p>"
    "<table id=\"t\"><tr><td>甲</td><td>乙</td></tr><tr><td>1</td><td>2</td></tr></table>"
    "<div id=\"g\" role=\"grid\"><div role=\"rowgroup\"><div role=\"row\"><div role=\"gridcell\">名</div>"
    "<div role=\"gridcell\">值</div></div><div role=\"row\"><div role=\"gridcell\">a</div>"
    "<div role=\"gridcell\">b</div></div></div></div>"
    "<div style=\"height: 3000px\"></div>"
    "<ul id=\"l\"><li class=\"c\"><a href=\"/p/1\">灯</a> <span>12</span></li>"
    "<li class=\"c\"><a href=\"/p/2\">椅</a> <span>30</span></li>"
    "<li class=\"c\"><a href=\"/p/3\">桌</a> <span>80</span></li></ul>"
    "</body></html>";

// Notes, in our isolated world, every shadow root the program's scripts attach there, in the page
// and in its frames: the box is drawn in a closed one, out of reach otherwise.
const char *const kNoteShadowRoots = R"(
(() => {
    const windows = [window];
    for (let i = 0; i < window.frames.length; ++i)
        windows.push(window.frames[i]);
    for (const w of windows) {
        const prototype = w.Element.prototype;
        if (prototype.noted)
            continue;
        const attach = prototype.attachShadow;
        prototype.attachShadow = function (init) {
            const root = attach.call(this, init);
            (window.notedRoots = window.notedRoots || []).push(root);
            return root;
        };
        prototype.noted = true;
    }
    return true;
})())";

// Where the box is, in the document of frame `frame` (-1: the page): "none", or the box's and
// the table's rectangles (the table found by `selector`) and whether the table is in view.
QString outlineReport(browser::BrowserEngine *engine, int frame, const QString &selector)
{
    const QString script = QString(R"(
(() => {
    const w = %1 >= 0 ? window.frames[%1] : window;
    const doc = w.document;
    const hosts = Array.from(doc.documentElement.children).filter(e => e.hasAttribute('data-tabvoro-outline'));
    if (!hosts.length)
        return 'none';
    const roots = (window.notedRoots || []).filter(root => root.host === hosts[0]);
    if (hosts.length !== 1 || roots.length !== 1)
        return 'hosts ' + hosts.length + ', roots ' + roots.length;
    const rect = r => [r.left, r.top, r.width, r.height].map(Math.round).join(' ');
    const table = doc.querySelector('%2').getBoundingClientRect();
    const inView = table.top >= 0 && table.bottom <= w.innerHeight;
    return 'box ' + rect(roots[0].firstElementChild.getBoundingClientRect()) + ' table ' + rect(table) +
           (inView ? ' in view' : ' out of view');
})())").arg(frame).arg(selector);
    const auto answer = engine->evaluate(script);
    return answer ? answer->toString() : QString::fromStdString(answer.error().message);
}

QString outlineOver(browser::BrowserEngine *engine, int frame, const QString &selector)
{
    const QString report = outlineReport(engine, frame, selector);
    const qsizetype table = report.indexOf(" table ");
    if (!report.startsWith("box ") || table < 0)
        return report;
    // The box covers the table exactly: one rectangle given twice.
    const QString box = report.mid(4, table - 4);
    return report.mid(table + 7) == box + " in view" ? "over the table, in view" : report;
}

}  // namespace

class TableChoiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    test::LocalHttpServer m_site;

    ui::Frmmain &window() { return *m_window; }

    void open(const QString &path)
    {
        const QUrl url = m_site.url(path);
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        window().Txturl->setText(url.toString());
        QTest::keyClick(window().Txturl, Qt::Key_Return);
        QVERIFY(complete.wait(20000));
        while (complete.last().at(0).toUrl() != url)
            QVERIFY(complete.wait(20000));
    }

    void runTest() { QTest::mouseClick(window().Command2, Qt::LeftButton); }

    void pressOn(QListWidget *list, int row, Qt::MouseButton button)
    {
        QTest::mouseClick(list->viewport(), button, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
    }

    // Runs the checks a box that lost the focus has queued; one that shows a message box has it
    // answered before this returns.
    void runLostFocusChecks() { QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); }

    // Moves the focus from `from` to another control, as leaving a box does.
    void leave(QWidget *from)
    {
        // The offscreen platform leaves no window active once a message box has closed.
        window().activateWindow();
        QTRY_VERIFY(window().isActiveWindow());
        from->setFocus();
        QTRY_VERIFY(from->hasFocus());
        window().txtNp->setFocus();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        m_site.addPage("/tables.html", kTablesPage);
        m_site.addPage("/frames.html", kFrameset);
        m_site.addPage("/nav.html", kHead + "<body>菜单</body></html>");
        m_site.addPage("/data.html", kHead + "<body><table><tr><td>名称</td><td>价格</td></tr>"
                                             "<tr><td>苹果</td><td>5</td></tr></table></body></html>");
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void testListsTheTablesAndChoosesTheLargest()
    {
        open("/tables.html");
        runTest();
        QCOMPARE(rows(window().List1),
                 QStringList({"1--序号,", "2--城市,年份,销量,价格,", "3--城市年份销量合计,"}));
        QCOMPARE(window().List1->currentRow(), 1);
        QCOMPARE(rows(window().List2), QStringList({"城市", "年份", "销量", "价格"}));
        QCOMPARE(marks(window().List2), QList<bool>({true, true, true, true}));
        QCOMPARE(window().txtGjz->text(), QString("城市年份销量"));
        QCOMPARE(window().txtNp->text(), QString("下一页"));
        QCOMPARE(window().Labar[3]->text(), QString("要查看表格关键字是否唯一，可点击浏览框后按CTRL+F查找一下看看"));
        // The preview is the last table holding the keyword, which need not be the one chosen.
        QCOMPARE(text1(window()), QString("城市年份销量合计"));
        QVERIFY(!window().CheckKj->isChecked());
    }

    void pageWithoutTablesShowsItsText()
    {
        m_site.addPage("/text.html", kHead + "<body><p>只有文字</p></body></html>");
        open("/text.html");
        window().List1->addItem("1--旧,");
        window().List2->addItem("旧");
        runTest();
        QCOMPARE(text1(window()), QString("只有文字\n"));
        QCOMPARE(window().List1->count(), 0);
        QCOMPARE(window().List2->count(), 0);
        QVERIFY(window().txtNp->text().isEmpty());
    }

    void documentWithoutABodyListsNothing()
    {
        m_site.addPage("/picture.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">"
                                       "<text y=\"9\">字</text></svg>", "image/svg+xml");
        open("/picture.svg");
        runTest();
        QCOMPARE(text1(window()), QString("     当前页面没有表格!   "));
        QCOMPARE(window().List1->count(), 0);
        QCOMPARE(window().List2->count(), 0);
    }

    void framesetPointsTheTestAtTheFrameWithTables()
    {
        open("/frames.html");
        runTest();
        QVERIFY(window().CheckKj->isChecked());
        QCOMPARE(window().txtKj->text(), QString("1"));
        QCOMPARE(rows(window().List1), QStringList({"1--名称,价格,"}));
        QCOMPARE(rows(window().List2), QStringList({"名称", "价格"}));
        QCOMPARE(window().txtGjz->text(), QString("名称"));
        QCOMPARE(text1(window()), QString("名称价格\n苹果5"));
    }

    void framesetWithoutTablesShowsTheSurvey()
    {
        m_site.addPage("/plain-frames.html", "<html><frameset cols=\"50%,50%\"><frame name=\"a\" src=\"/nav.html\">"
                                             "<frame name=\"b\" src=\"/nav.html\"></frameset></html>");
        open("/plain-frames.html");
        runTest();
        const QString stars = QString(50, '*') + "\n\n";
        QCOMPARE(text1(window()), "\n    当前网页是框架网页,各框架序号、名称、部分内容如下，请根据实际情况设置采集参数：\n\n"
                                  "0、a\n菜单......\n\n此框架没有内容没有表 \n" + stars +
                                  "1、b\n菜单......\n\n此框架没有内容没有表 \n" + stars);
        QVERIFY(window().CheckKj->isChecked());
        QVERIFY(window().txtKj->text().isEmpty());
        QCOMPARE(window().List1->count(), 0);
    }

    void clickingARowChoosesThatTable()
    {
        open("/tables.html");
        runTest();
        window().List2->item(0)->setText("改过");
        pressOn(window().List1, 0, Qt::LeftButton);
        QCOMPARE(window().List1->currentRow(), 0);
        QCOMPARE(rows(window().List2), QStringList({"序号"}));
        QCOMPARE(window().txtGjz->text(), QString("序号"));
        QCOMPARE(text1(window()), QString("序号\n1"));

        // The row already chosen, clicked again, lists its fields anew.
        window().List2->item(0)->setText("改过");
        pressOn(window().List1, 0, Qt::LeftButton);
        QCOMPARE(rows(window().List2), QStringList({"序号"}));

        // A row stands for the table it carries, whatever its text says.
        window().List1->item(2)->setText("1--序号,");
        pressOn(window().List1, 2, Qt::LeftButton);
        QCOMPARE(rows(window().List2), QStringList({"城市年份销量合计"}));
        QCOMPARE(window().txtGjz->text(), QString("城市年份销量合计"));
        const auto chosen = ui::tableEntryOf(window().List1->currentItem());
        QVERIFY(chosen);
        QCOMPARE(chosen->number, std::size_t(3));
    }

    void choosingARowOutlinesItsTable_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("frame");
        QTest::addColumn<QString>("selector");
        QTest::newRow("a <table>") << "/kinds.html" << 0 << -1 << "#t";
        QTest::newRow("a grid, after the <table>s") << "/kinds.html" << 1 << -1 << "#g";
        QTest::newRow("a record list, scrolled to") << "/kinds.html" << 2 << -1 << "#l";
        QTest::newRow("a table in a frame") << "/frames.html" << 0 << 1 << "table";
    }

    void choosingARowOutlinesItsTable()
    {
        QFETCH(QString, page);
        QFETCH(int, row);
        QFETCH(int, frame);
        QFETCH(QString, selector);
        m_site.addPage("/kinds.html", kKindsPage);
        open(page);
        browser::BrowserEngine *engine = window().browserEngine();
        QVERIFY(engine->evaluate(kNoteShadowRoots));
        runTest();
        // The test chose a table too; choosing another takes its box away.
        const int other = row == 0 ? window().List1->count() - 1 : 0;
        if (other != row) {
            pressOn(window().List1, other, Qt::LeftButton);
            QVERIFY(outlineReport(engine, frame, selector).startsWith("box "));
        }
        pressOn(window().List1, row, Qt::LeftButton);
        QCOMPARE(window().List1->currentRow(), row);
        QCOMPARE(outlineOver(engine, frame, selector), QString("over the table, in view"));
    }

    void theOutlineChangesNoReadOfThePage()
    {
        m_site.addPage("/kinds.html", kKindsPage);
        open("/kinds.html");
        browser::BrowserEngine *engine = window().browserEngine();
        QVERIFY(engine->evaluate(kNoteShadowRoots));
        // All a capture, a listing or a preview reads; the element list holds the box's host.
        browser::SnapshotRequest request = browser::SnapshotRequest::everything();
        request.elements = false;
        request.elementHtml = false;
        const auto dump = [&] {
            return capture::dumpDocument(*ui::readPage(engine, request));
        };
        const std::string without = dump();
        runTest();
        pressOn(window().List1, 1, Qt::LeftButton);
        QCOMPARE(outlineOver(engine, -1, "#g"), QString("over the table, in view"));
        QCOMPARE(dump(), without);

        // The capture starts without it, and a new load has none.
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window().running(), 20000);
        QCOMPARE(outlineReport(engine, -1, "#g"), QString("none"));
        QCOMPARE(window().captureSession().captureCount, std::int64_t(1));
        pressOn(window().List1, 1, Qt::LeftButton);
        QVERIFY(outlineReport(engine, -1, "#g").startsWith("box "));
        open("/kinds.html");
        QCOMPARE(outlineReport(engine, -1, "#g"), QString("none"));
    }

    void rightClickOnTheTableListClearsBothLists()
    {
        open("/tables.html");
        runTest();
        const QString preview = text1(window());
        pressOn(window().List1, 0, Qt::RightButton);
        QCOMPARE(window().List1->count(), 0);
        QCOMPARE(window().List2->count(), 0);
        QCOMPARE(window().txtGjz->text(), QString("城市年份销量"));
        QCOMPARE(text1(window()), preview);
    }

    void rightClickRenamesTheCurrentField_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("expected");
        QTest::newRow("kept as typed") << QString(" 价格 ") << true << QString(" 价格 ");
        QTest::newRow("blanks only") << QString("   ") << true << QString("年份");
        QTest::newRow("empty") << QString() << true << QString("年份");
        QTest::newRow("cancelled") << QString("价格") << false << QString("年份");
    }

    void rightClickRenamesTheCurrentField()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accept);
        QFETCH(QString, expected);
        open("/tables.html");
        runTest();
        QListWidget *fields = window().List2;
        fields->item(1)->setSelected(false);
        fields->setCurrentRow(1, QItemSelectionModel::NoUpdate);

        test::ModalAnswerer answerer(answer, accept);
        // Clicked on another row: the current one is renamed all the same.
        pressOn(fields, 3, Qt::RightButton);
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("修改字段名称"));
        QCOMPARE(answerer.lastText(), QString("请输入新字段或表列名称"));
        QCOMPARE(answerer.lastDefault(), QString("年份"));
        QCOMPARE(rows(fields), QStringList({"城市", expected, "销量", "价格"}));
        QCOMPARE(fields->currentRow(), 1);
        QCOMPARE(marks(fields), QList<bool>({true, false, true, true}));
    }

    void fieldMarksToggleOneByOne()
    {
        open("/tables.html");
        runTest();
        QListWidget *fields = window().List2;
        pressOn(fields, 2, Qt::LeftButton);
        QCOMPARE(marks(fields), QList<bool>({true, true, false, true}));
        pressOn(fields, 2, Qt::LeftButton);
        QCOMPARE(marks(fields), QList<bool>({true, true, true, true}));

        // Without a current row a right click asks nothing.
        fields->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
        test::ModalAnswerer answerer("x");
        // The press is handled as it comes: a prompt would be answered before the click returns.
        pressOn(fields, 0, Qt::RightButton);
        QCOMPARE(answerer.seen(), 0);
        QCOMPARE(rows(fields).first(), QString("城市"));
    }

    void frameCountAndFrameNumberMessages()
    {
        open("/frames.html");
        test::ModalAnswerer answerer;

        // Unticked: leaving the box counts nothing.
        leave(window().CheckKj);
        runLostFocusChecks();
        QCOMPARE(answerer.seen(), 0);

        // No count yet: any frame number above 0 is refused, with no count in the message.
        window().txtKj->setText("1");
        leave(window().txtKj);
        QTRY_COMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("提示"));
        QCOMPARE(answerer.lastText(), QString("   你输入的数大于当前网页中的框架总数  了,请重输!    "));
        QTRY_COMPARE(window().focusWidget(), window().txtKj);

        window().txtKj->clear();
        window().CheckKj->setChecked(true);
        leave(window().CheckKj);
        QTRY_COMPARE(answerer.seen(), 2);
        QCOMPARE(answerer.lastText(), QString("  当前页面中共有框架数 2 个，请在右侧输入框中输入小于这个数的数字!    "));
        QVERIFY(window().CheckKj->isChecked());

        struct Case {
            QString number;
            bool refused;
        };
        const Case cases[] = {{"3", true}, {"2", false}, {"1", false}, {"", false}, {"5号", true}};
        for (const auto &c : cases) {
            const int before = answerer.seen();
            window().txtKj->setText(c.number);
            leave(window().txtKj);
            if (c.refused) {
                QTRY_COMPARE(answerer.seen(), before + 1);
                QCOMPARE(answerer.lastText(), QString("   你输入的数大于当前网页中的框架总数 2 了,请重输!    "));
                QTRY_COMPARE(window().focusWidget(), window().txtKj);
            } else {
                runLostFocusChecks();
                QVERIFY2(answerer.seen() == before, qPrintable(c.number));
            }
        }

        // A page without frames: the box is unticked and the count forgotten.
        open("/tables.html");
        window().CheckKj->setChecked(true);
        window().txtKj->setText("1");
        const int before = answerer.seen();
        leave(window().CheckKj);
        QTRY_COMPARE(answerer.seen(), before + 1);
        QCOMPARE(answerer.lastText(), QString("  当前页面中没有任何框架!    "));
        QVERIFY(!window().CheckKj->isChecked());
        QVERIFY(window().txtKj->text().isEmpty());
        window().txtKj->setText("1");
        leave(window().txtKj);
        QTRY_COMPARE(answerer.seen(), before + 2);
        QCOMPARE(answerer.lastText(), QString("   你输入的数大于当前网页中的框架总数  了,请重输!    "));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    TableChoiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "table_choice_test.moc"
