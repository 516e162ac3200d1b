// Capture runs in the main window with the real web view, offscreen: every paging mode after
// each load and on the timer, over a small site served on 127.0.0.1; and the same runs made in
// Chromium without a window, which must write the same files.

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "browser/browser_engine.h"
#include "browser/chromium_browser.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/output/code_page.h"
#include "capture/next_page.h"
#include "support/local_http_server.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

using namespace tabvoro;

namespace {

const QString kIdle = "抓取表格(&Z)";
const QString kRunning = "暂停抓取(&Z)";
constexpr int kWaitMs = 20000;

// The rows page n shows under its header row.
QByteArray dataRows(int n)
{
    const QByteArray k = QByteArray::number(n);
    return "<tr><td>p" + k + "a</td><td>甲" + k + "</td></tr><tr><td>p" + k + "b</td><td>乙" + k + "</td></tr>";
}

// What captures of those pages' rows write, one page after the other.
QString captured(std::initializer_list<int> pages)
{
    QString text;
    for (int n : pages)
        text += QString("p%1a,甲%1\r\np%1b,乙%1\r\n").arg(n);
    return text;
}

QByteArray tableOf(int rowsOfPage, const QByteArray &pagerRow = {})
{
    return "<table border=\"1\"><tr><th>编号</th><th>名称</th></tr>" + dataRows(rowsOfPage) + pagerRow + "</table>";
}

// Page n of a chain of `last` pages: a pager row inside the table links to the
// page after; the last page's pager shows the keyword without a link, as a disabled pager does.
QByteArray chainPage(int n, int last, int rowsOfPage, const QByteArray &head = {})
{
    const QByteArray previous = n > 1 ? "<a href=\"" + QByteArray::number(n - 1) + ".html\">上一页</a> " : "";
    const QByteArray next =
        n < last ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>第" + QByteArray::number(n) + "页</title>" +
           head + "</head><body><p>列表</p>" + tableOf(rowsOfPage, "<tr><td colspan=\"2\">" + previous + next + "</td></tr>") +
           "</body></html>";
}

// Pages addressed by "?page=N", written by the page itself from its address.
const QByteArray kRowsScript =
    "function rows(n){return '<tr><td>p'+n+'a</td><td>甲'+n+'</td></tr><tr><td>p'+n+'b</td><td>乙'+n+'</td></tr>';}"
    "var n=Number(new URLSearchParams(location.search).get('page'));";

QByteArray numberedPage(const QByteArray &script)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><script>" + kRowsScript + script +
           "</script></body></html>";
}

const QByteArray kNumberedPage =
    numberedPage("document.write('<table><tr><th>编号</th><th>名称</th></tr>'+rows(n)+'</table>');");
// Page 3 shows the rows of page 2 again.
const QByteArray kNumberedWithRepeat =
    numberedPage("document.write('<table><tr><th>编号</th><th>名称</th></tr>'+rows(n==3?2:n)+'</table>');");
// Page 3 shows the rows of page 2 at first and its own rows 700 ms later.
const QByteArray kNumberedLate = numberedPage(
    "document.write('<table id=\"t\"><tr><th>编号</th><th>名称</th></tr>'+rows(n==3?2:n)+'</table>');"
    "if(n==3)setTimeout(function(){document.getElementById('t').innerHTML="
    "'<tr><th>编号</th><th>名称</th></tr>'+rows(3);},700);");
// A page-number drop-down whose change loads the chosen page; the last page (5) has none.
const QByteArray kDropDownPage = numberedPage(
    "document.write('<table><tr><th>编号</th><th>名称</th></tr>'+rows(n)+'</table>');"
    "if(n<5){var s='<select name=\"pg\" onchange=\"location.href=\\'dd.html?page=\\'+this.value\">';"
    "for(var i=1;i<=5;i++)s+='<option value=\"'+i+'\"'+(i==n?' selected':'')+'>第'+i+'页</option>';"
    "document.write(s+'</select>');}");

// The same drop-down turning the page in place: its change rewrites the table, no load. Past
// the last option its value is empty and nothing changes. The page keeps its script thread
// busy most of the time, so that every read of it waits.
const QByteArray kInPlaceDropDownPage = numberedPage(
    "setInterval(function(){var t=Date.now();while(Date.now()-t<20){}},25);"
    "function show(v){if(!v)return;document.getElementById('t').innerHTML="
    "'<tr><th>编号</th><th>名称</th></tr>'+rows(v);}"
    "document.write('<table id=\"t\"></table><select name=\"pg\" onchange=\"show(this.value)\">');"
    "for(var i=1;i<=5;i++)document.write('<option value=\"'+i+'\">第'+i+'页</option>');"
    "document.write('</select>');show(1);");

// Page n of a chain whose pages open a window by script as they load (to be suppressed) and
// whose next-page link opens a new window (to be opened in the same page).
QByteArray popupChainPage(int n, int last)
{
    QByteArray page = chainPage(n, last, n, "<script>onload=function(){setTimeout(function(){window.open('/ad.html');},10);};</script>");
    return page.replace("<a href=", "<a target=\"_blank\" href=");
}

enum class Engine { View, Chromium };

}  // namespace

class CaptureRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    // Started by the first run made in it, kept for the others: a start costs a second.
    std::unique_ptr<browser::ChromiumBrowser> m_chromium;
    test::LocalHttpServer m_site;
    test::LocalHttpServer m_otherSite;  // another port: another host part
    QStringList m_kept;                 // the tally of every kept capture, in order

    ui::Frmmain &window() { return *m_window; }

    // Types an address and presses Enter, then waits for that page to complete.
    void open(const QUrl &url)
    {
        QSignalSpy complete(window().browserEngine(), &browser::BrowserEngine::DocumentComplete);
        window().Txturl->setText(url.toString());
        QTest::keyClick(window().Txturl, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty() && complete.last().at(0).toUrl() == url, kWaitMs);
    }

    void setKeywords(const QString &nextPage = "下一页")
    {
        window().txtGjz->setText("编号");
        window().txtNp->setText(nextPage);
    }

    void timed(int intervalMs)
    {
        window().CheckDs->setChecked(true);
        window().Timer1->setInterval(intervalMs);
    }

    void click() { QTest::mouseClick(window().Command1, Qt::LeftButton); }

    void waitForTheRunToEnd() { QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), kIdle, kWaitMs); }

    QString shownAddress() const { return m_window->browserEngine()->LocationURL(); }

    QByteArray outputBytes() const
    {
        return QByteArray::fromStdString(test::readBytes(m_window->OutputPath().toStdString()));
    }

    static QByteArray gb18030(const QString &text)
    {
        return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
    }

    QString tally(int captures, int records) const
    {
        return QString("本次已采集表格数:%1个,记录:%2条").arg(captures).arg(records);
    }

    // The run's timer has ticked `n` times more: a timed run has gone on that far.
    void waitForTicks(int n)
    {
        QSignalSpy ticks(window().Timer1, &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= n, kWaitMs);
    }

    // No page is loading and nothing more is kept for a while: the run has settled.
    void settle(int quietMs = 400)
    {
        int kept = -1;
        while (kept != m_kept.size() || window().browserEngine()->isLoading()) {
            kept = m_kept.size();
            QTest::qWait(quietMs);
        }
    }

    // Opens page `from` of `path` ("/num.html") and starts a run by the page number to `to`.
    void startNumberRun(const QString &path, int from, int to)
    {
        open(m_site.url(QString("%1?page=%2").arg(path).arg(from)));
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().Txturl->setText(m_site.url(path).toString() + "?page=(*)");
        window().txtYs->setText(QString::number(from));
        window().txtYw->setText(QString::number(to));
        click();
    }

    // The URL list of two pages of this site and two of the other, its first page opened, set for a
    // run by the list; `timerMs` 0: after each load.
    QStringList prepareListRun(int timerMs)
    {
        const QStringList rows = {m_site.url("/num.html?page=1").toString(), m_site.url("/num.html?page=2").toString(),
                                  m_otherSite.url("/num.html?page=3").toString(),
                                  m_otherSite.url("/num.html?page=4").toString()};
        open(QUrl(rows[0]));
        setKeywords();
        window().Option1[2]->setChecked(true);
        for (const QString &row : rows)
            window().List3->addItem(row);
        window().List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        if (timerMs)
            timed(timerMs);
        return rows;
    }

    // A run as the user makes it, to its end.
    void runScenario(const QString &scenario)
    {
        if (scenario.startsWith("link")) {
            open(m_site.url("/chain/1.html"));
            setKeywords();
            if (scenario.endsWith("timed"))
                timed(200);
            click();
            waitForTheRunToEnd();
        } else if (scenario == "number") {
            startNumberRun("/num.html", 1, 4);
            waitForTheRunToEnd();
        } else if (scenario == "list") {
            prepareListRun(0);
            click();
            waitForTheRunToEnd();
            settle();
        } else if (scenario == "dropdown") {
            open(m_site.url("/dd.html?page=1"));
            setKeywords("");
            window().Option1[3]->setChecked(true);
            window().Txtxd->setText("pg");
            click();
            QTRY_COMPARE_WITH_TIMEOUT(m_kept.size(), 5, kWaitMs);
            QTRY_COMPARE(shownAddress(), m_site.url("/dd.html?page=5").toString());
            click();
        } else if (scenario == "popups") {
            open(m_site.url("/pop/1.html"));
            setKeywords();
            click();
            waitForTheRunToEnd();
            settle();
            QCOMPARE(shownAddress(), m_site.url("/pop/3.html").toString());
        } else {
            QFAIL(qPrintable("no scenario " + scenario));
        }
    }

private slots:
    void initTestCase()
    {
        for (int n = 1; n <= 10; ++n) {
            QByteArray head;
            if (n == 2)
                head = "<script>alert('第二页');</script>";
            if (n == 3)
                head = "<script>if(!confirm('继续?'))document.title='no';</script>";
            // Page 6 shows page 5's rows again.
            m_site.addPage(QString("/chain/%1.html").arg(n), chainPage(n, 10, n == 6 ? 5 : n, head));
        }
        for (int n = 1; n <= 4; ++n)
            m_site.addPage(QString("/fr/%1.html").arg(n), chainPage(n, 4, n));
        for (int n = 1; n <= 3; ++n)
            m_site.addPage(QString("/pop/%1.html").arg(n), popupChainPage(n, 3));
        m_site.addPage("/ad.html", "<!DOCTYPE html><html><body><p>广告</p></body></html>");
        m_site.addPage("/ddlive.html", kInPlaceDropDownPage);
        m_site.addPage("/framed.html", "<!DOCTYPE html><html><body><p>外层</p><table><tr><td>外层表</td></tr></table>"
                                       "<iframe src=\"/fr/1.html\" width=\"600\" height=\"300\"></iframe></body></html>");
        for (auto *site : {&m_site, &m_otherSite}) {
            site->addPage("/num.html", kNumberedPage);
            site->addPage("/numrepeat.html", kNumberedWithRepeat);
            site->addPage("/numlate.html", kNumberedLate);
            site->addPage("/dd.html", kDropDownPage);
        }
    }

    // A new window, in a new program folder, whose runs are made in `engine`.
    void makeWindow(Engine engine)
    {
        m_window.reset();
        m_dir = std::make_unique<test::ScratchDir>();
        ui::FrmmainOptions options;
        options.programFolder = QString::fromStdString(m_dir->folder());
        options.openStartPage = false;
        if (engine == Engine::Chromium) {
            if (!m_chromium)
                m_chromium = std::make_unique<browser::ChromiumBrowser>();
            options.browserEngine = m_chromium.get();
        }
        m_window = std::make_unique<ui::Frmmain>(options);
        m_kept.clear();
        connect(m_window.get(), &ui::Frmmain::captureKept, this, [this](const QString &status) { m_kept << status; });
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void init() { makeWindow(Engine::View); }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void cleanupTestCase() { m_chromium.reset(); }

    // ---- The same runs in either engine

    void bothEnginesWriteTheSameFile_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("expected");
        // The chain's pages 2 and 3 ask for an alert and a confirm; page 6 repeats page 5.
        QTest::newRow("link, dialogs") << "link" << captured({1, 2, 3, 4, 5, 7, 8, 9, 10});
        QTest::newRow("link on the timer") << "link timed" << captured({1, 2, 3, 4, 5, 7, 8, 9, 10});
        QTest::newRow("page number") << "number" << captured({1, 2, 3, 4});
        QTest::newRow("url list") << "list" << captured({1, 2});
        QTest::newRow("drop-down") << "dropdown" << captured({1, 2, 3, 4, 5});
        QTest::newRow("pop-ups") << "popups" << captured({1, 2, 3});
    }

    void bothEnginesWriteTheSameFile()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, expected);
        struct Run {
            QByteArray output;
            QStringList kept;
            QString shown;
        };
        std::vector<Run> runs;
        for (const Engine engine : {Engine::View, Engine::Chromium}) {
            makeWindow(engine);
            if (QTest::currentTestFailed())
                return;
            test::ModalAnswerer answerer;
            runScenario(scenario);
            if (QTest::currentTestFailed())
                return;
            runs.push_back({outputBytes(), m_kept, shownAddress()});
            QCOMPARE(answerer.seen(), 0);
        }
        QCOMPARE(runs[0].output, gb18030(expected));
        QCOMPARE(runs[1].output, runs[0].output);
        QCOMPARE(runs[1].kept, runs[0].kept);
        QCOMPARE(runs[1].shown, runs[0].shown);
    }

    // ---- Paging by the next-page link

    void linkRunFollowsTheChainToTheLastPage_data()
    {
        QTest::addColumn<int>("timerMs");
        QTest::newRow("after each load") << 0;
        QTest::newRow("timer") << 200;
    }

    void linkRunFollowsTheChainToTheLastPage()
    {
        QFETCH(int, timerMs);
        test::ModalAnswerer answerer;
        open(m_site.url("/chain/1.html"));
        setKeywords();
        if (timerMs)
            timed(timerMs);
        click();
        QCOMPARE(window().Command1->text(), kRunning);
        waitForTheRunToEnd();

        // Page 6 repeats page 5 and is dropped; the pager rows are left out; the pages' alert
        // and confirm boxes never show.
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5, 7, 8, 9, 10})));
        QCOMPARE(window().Labar[0]->text(), tally(9, 18));
        QCOMPARE(shownAddress(), m_site.url("/chain/10.html").toString());
        QVERIFY(!window().Timer1->isActive());
        QVERIFY(!window().captureRun().capturesOnLoad());
        QCOMPARE(answerer.seen(), 0);
        // The status row says where the keyword was found no more.
        QCOMPARE(window().Labar[3]->text(),
                 "此网页中没有找到下一页关键字“下一页”，连续采集结束：" + m_site.url("/chain/10.html").toString());
    }

    void timedRunWaitsOneIntervalBeforeItsFirstStep()
    {
        open(m_site.url("/chain/1.html"));
        setKeywords();
        timed(600);
        QSignalSpy loads(window().browserEngine(), &browser::BrowserEngine::LoadStarted);
        QElapsedTimer clock;
        clock.start();
        click();
        QCOMPARE(m_kept.size(), 1);
        QVERIFY(window().Timer1->isActive());
        QVERIFY(!window().captureRun().capturesOnLoad());
        QVERIFY(loads.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(shownAddress(), m_site.url("/chain/2.html").toString(), kWaitMs);
        // The first step came with the first tick (a timer may fire a little early).
        QCOMPARE(loads.size(), 1);
        QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));
        click();
        QCOMPARE(window().Command1->text(), kIdle);
        QVERIFY(!window().Timer1->isActive());
    }

    // A timer far faster than the page answers: ticks fall due while a capture or a step waits
    // on the page, and still every page is captured once and none is passed over. The drop-down
    // turns the page in place, by script, so that no tick falls into a load.
    void aTimerFasterThanThePageCapturesEachPageOnce()
    {
        open(m_site.url("/ddlive.html"));
        setKeywords();
        window().Option1[3]->setChecked(true);
        window().Txtxd->setText("pg");
        timed(1);
        click();
        QTRY_COMPARE_WITH_TIMEOUT(m_kept.size(), 5, kWaitMs);
        // Ticks go on past the last page, and keep nothing more.
        waitForTicks(10);
        click();
        QCOMPARE(window().Command1->text(), kIdle);
        QCOMPARE(m_kept.size(), 5);
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5})));
        QCOMPARE(window().Labar[0]->text(), tally(5, 10));
    }

    void linkInAFrameOnTheTimer()
    {
        const int loads = m_site.requestCount("/framed.html");
        open(m_site.url("/framed.html"));
        setKeywords();
        window().CheckKj->setChecked(true);
        window().txtKj->setText("0");
        timed(200);
        click();
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4})));
        // The frame moved on; the page around it stayed.
        QCOMPARE(shownAddress(), m_site.url("/framed.html").toString());
        QCOMPARE(m_site.requestCount("/framed.html"), loads + 1);
    }

    void noKeywordMeansOneCapture()
    {
        open(m_site.url("/chain/1.html"));
        setKeywords("");
        click();
        QCOMPARE(window().Command1->text(), kIdle);
        QCOMPARE(m_kept.size(), 1);
        QVERIFY(!window().captureRun().capturesOnLoad());
        QVERIFY(!window().Timer1->isActive());
        settle();
        QCOMPARE(shownAddress(), m_site.url("/chain/1.html").toString());
        QCOMPARE(outputBytes(), gb18030(captured({1})));
    }

    // ---- What counts as a table

    // Each kind of table a page shows is listed by the capture test, chosen in the table list
    // and captured by the button, as a <table> is: a grid of ARIA roles and a list of records,
    // each after a <table> that keeps number 1.
    void eachKindOfTableIsChosenAndCaptured_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        const QByteArray table = "<table><tr><td>说明</td><td>甲</td></tr><tr><td>x</td><td>y</td></tr></table>";
        QTest::newRow("ARIA grid") << table + "<div role=\"grid\"><div role=\"row\"><span role=\"columnheader\">城市</span>"
                                              "<span role=\"columnheader\">人口</span></div><div role=\"rowgroup\">"
                                              "<div role=\"row\"><span role=\"gridcell\">北京</span><span role=\"gridcell\">2189</span></div>"
                                              "<div role=\"row\"><span role=\"gridcell\">上海</span><span role=\"gridcell\">2487</span></div>"
                                              "</div></div>"
                                   << "北京,2189\r\n上海,2487\r\n";
        QByteArray cards = "<ul>";
        for (int n = 1; n <= 3; ++n)
            cards += "<li class=\"card\"><a class=\"t\" href=\"/p" + QByteArray::number(n) + "\">商品" +
                     QByteArray::number(n) + "</a><span class=\"price\">" + QByteArray::number(n * 10) + "元</span></li>";
        QTest::newRow("record list") << table + cards + "</ul>" << "商品1,10元\r\n商品2,20元\r\n商品3,30元\r\n";
    }

    void eachKindOfTableIsChosenAndCaptured()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        m_site.addPage("/kind.html", "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>");
        open(m_site.url("/kind.html"));
        QTest::mouseClick(window().Command2, Qt::LeftButton);
        QCOMPARE(window().List1->count(), 2);
        QVERIFY2(window().List1->item(0)->text().startsWith("1--说明"), qPrintable(window().List1->item(0)->text()));
        QListWidget *list = window().List1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(1)).center());
        QVERIFY(window().txtGjz->text() != "说明");
        window().txtNp->clear();
        click();
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(expected));
    }

    // ---- Paging by the page number in the address

    void numberRunForwardsAndBackwards_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("forwards after each load") << 1 << 5 << 0 << captured({1, 2, 3, 4, 5});
        QTest::newRow("backwards after each load") << 5 << 2 << 0 << captured({5, 4, 3, 2});
        QTest::newRow("forwards on the timer") << 2 << 4 << 200 << captured({2, 3, 4});
    }

    void numberRunForwardsAndBackwards()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, timerMs);
        QFETCH(QString, expected);
        open(m_site.url(QString("/num.html?page=%1").arg(from)));
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().Txturl->setText(m_site.url("/num.html").toString() + "?page=(*)");
        window().txtYs->setText(QString::number(from));
        window().txtYw->setText(QString::number(to));
        if (timerMs)
            timed(timerMs);
        click();
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(expected));
        QCOMPARE(window().txtYs->text(), QString::number(to));
        QCOMPARE(shownAddress(), m_site.url(QString("/num.html?page=%1").arg(to)).toString());
    }

    // Page 3 first shows page 2's rows again and its own rows only later, as a page that fills
    // its table by script does: the run captures page 3 again and again until they arrive.
    void numberRunCapturesARepeatedPageAgainUntilItsRowsArrive()
    {
        startNumberRun("/numlate.html", 1, 5);
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5})));
        QCOMPARE(window().Labar[0]->text(), tally(5, 10));
    }

    // When the rows never change, the run waits on that page until it is stopped. The retry
    // holds the event loop it was entered from, so the stop comes as a user's click would: as
    // an event.
    void numberRunWaitsOnARepeatedPageUntilStopped()
    {
        const int loads = m_site.requestCount("/numrepeat.html");
        open(m_site.url("/numrepeat.html?page=1"));
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().Txturl->setText(m_site.url("/numrepeat.html").toString() + "?page=(*)");
        window().txtYs->setText("1");
        window().txtYw->setText("5");
        struct {
            QString address, page, caption;
            qsizetype kept = -1;
            int loads = -1;
        } before;
        QTimer::singleShot(1500, this, [&] {
            before = {shownAddress(), window().txtYs->text(), window().Command1->text(), m_kept.size(),
                      m_site.requestCount("/numrepeat.html")};
            click();
        });
        click();
        QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), kIdle, kWaitMs);
        QCOMPARE(before.address, m_site.url("/numrepeat.html?page=3").toString());
        QCOMPARE(before.page, QString("3"));
        QCOMPARE(before.caption, kRunning);
        QCOMPARE(before.kept, 2);
        QCOMPARE(before.loads, loads + 3);
        settle();
        QCOMPARE(window().txtYs->text(), QString("3"));
        QCOMPARE(m_site.requestCount("/numrepeat.html"), loads + 3);
        QCOMPARE(outputBytes(), gb18030(captured({1, 2})));
    }

    void numberRunWithoutPlaceholderWarnsAtTheStartAndEndsAtTheFirstStep()
    {
        test::ModalAnswerer answerer;
        const QUrl first = m_site.url("/num.html?page=1");
        open(first);
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().txtYs->setText("1");
        window().txtYw->setText("3");
        timed(300);
        click();
        // The warning comes first; the run still starts.
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("提示"));
        QCOMPARE(answerer.lastText(), QString("    你没有将网址列表中的页码数字修改为“(*)”,本程序无法继续打开下一页，请先修改!     "));
        QCOMPARE(window().focusWidget(), window().Combo1);
        QCOMPARE(window().Command1->text(), kRunning);
        QCOMPARE(m_kept.size(), 1);

        // The first step turns the page number and finds nothing to replace: a message, the end.
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen(), 2, kWaitMs);
        QVERIFY2(answerer.lastText().startsWith("网址中无可替换页码变量符“(*)”"), qPrintable(answerer.lastText()));
        QCOMPARE(answerer.lastTitle(), QString("提示"));
        QTRY_COMPARE(window().Command1->text(), kIdle);
        QVERIFY(!window().Timer1->isActive());
        QCOMPARE(window().txtYs->text(), QString("2"));
        QCOMPARE(window().focusWidget(), window().Txturl);
        settle();
        QCOMPARE(shownAddress(), first.toString());
        QCOMPARE(outputBytes(), gb18030(captured({1})));
    }

    void numberRunWithoutPlaceholderAfterEachLoad()
    {
        test::ModalAnswerer answerer;
        open(m_site.url("/num.html?page=4"));
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().txtYs->setText("4");
        window().txtYw->setText("1");
        click();
        QCOMPARE(answerer.seen(), 2);
        QVERIFY2(answerer.lastText().startsWith("网址中无可替换页码变量符“(*)”"), qPrintable(answerer.lastText()));
        QCOMPARE(window().Command1->text(), kIdle);
        QVERIFY(!window().captureRun().capturesOnLoad());
        QCOMPARE(window().txtYs->text(), QString("3"));
        QCOMPARE(outputBytes(), gb18030(captured({4})));
    }

    void numberRunWithAnEmptyPageBoxCapturesOnce()
    {
        open(m_site.url("/num.html?page=1"));
        setKeywords();
        window().Option1[1]->setChecked(true);
        window().Txturl->setText(m_site.url("/num.html").toString() + "?page=(*)");
        window().txtYs->setText("1");
        const int loads = m_site.requestCount("/num.html");
        click();
        QCOMPARE(window().Command1->text(), kIdle);
        QCOMPARE(m_kept.size(), 1);
        settle();
        QCOMPARE(m_site.requestCount("/num.html"), loads);
    }

    // ---- Paging by the URL list

    void listRunEndsWhereTheHostChanges_data()
    {
        QTest::addColumn<int>("timerMs");
        QTest::newRow("after each load") << 0;
        QTest::newRow("timer") << 200;
    }

    void listRunEndsWhereTheHostChanges()
    {
        QFETCH(int, timerMs);
        const QStringList rows = prepareListRun(timerMs);
        click();
        waitForTheRunToEnd();
        settle();
        QCOMPARE(outputBytes(), gb18030(captured({1, 2})));
        // The row of the other host became current but was never opened.
        QCOMPARE(window().List3->currentRow(), 2);
        QVERIFY(window().List3->item(0)->isSelected());
        QVERIFY(window().List3->item(1)->isSelected());
        QVERIFY(!window().List3->item(2)->isSelected());
        QCOMPARE(m_otherSite.requestCount("/num.html"), 0);
        QCOMPARE(shownAddress(), rows[1]);
    }

    void listRunWithoutRowsWarnsAndStaysIdle()
    {
        test::ModalAnswerer answerer;
        open(m_site.url("/num.html?page=1"));
        setKeywords();
        window().Option1[2]->setChecked(true);
        click();
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(answerer.lastTitle(), QString("提示"));
        QCOMPARE(answerer.lastText(), QString("   网址列表为空，请先添加网址列表!     "));
        QCOMPARE(window().Command1->text(), kIdle);
        QCOMPARE(m_kept.size(), 1);

        // One row is no list to page through: one capture, no message.
        window().List3->addItem(m_site.url("/num.html?page=1").toString());
        window().List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        click();
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(window().Command1->text(), kIdle);
        QVERIFY(!window().captureRun().capturesOnLoad());
    }

    // Stopped after a few pages and started again on the page shown: its capture, when it was
    // kept already, is a repeat and dropped, and the run goes on to the end with every page once.
    void stopAndStartAgainOnTheSameAddress()
    {
        QStringList rows;
        for (int n = 1; n <= 6; ++n)
            rows << m_site.url(QString("/num.html?page=%1").arg(n)).toString();
        open(QUrl(rows[0]));
        setKeywords();
        window().Option1[2]->setChecked(true);
        window().List3->addItems(rows);
        window().List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        // The stop comes straight after the third capture, before the step that follows it:
        // a list run steps only while the button shows the run.
        connect(m_window.get(), &ui::Frmmain::captureKept, this, [this] {
            if (m_kept.size() == 3)
                click();
        });
        click();
        QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), kIdle, kWaitMs);
        settle();
        QCOMPARE(shownAddress(), rows[2]);
        QCOMPARE(window().List3->currentRow(), 2);
        // Stopping compacts the file; it holds the pages so far.
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3})));

        click();
        QCOMPARE(m_kept.size(), 3);
        QCOMPARE(window().Labar[0]->text(), tally(3, 6));
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5, 6})));
        QCOMPARE(window().Labar[0]->text(), tally(6, 12));
    }

    // ---- Paging by the page-number drop-down

    void dropDownRunGoesOnUntilStopped_data()
    {
        QTest::addColumn<int>("timerMs");
        QTest::newRow("after each load") << 0;
        QTest::newRow("timer") << 200;
    }

    void dropDownRunGoesOnUntilStopped()
    {
        QFETCH(int, timerMs);
        open(m_site.url("/dd.html?page=1"));
        setKeywords("");
        window().Option1[3]->setChecked(true);
        window().Txtxd->setText("pg");
        if (timerMs)
            timed(timerMs);
        click();
        QTRY_COMPARE_WITH_TIMEOUT(m_kept.size(), 5, kWaitMs);
        QTRY_COMPARE(shownAddress(), m_site.url("/dd.html?page=5").toString());
        // The last page has no drop-down: nothing to advance, yet the run does not end. On the
        // timer it goes on ticking; after each load it waits for the page to change in place.
        if (timerMs)
            waitForTicks(2);
        else
            QTRY_VERIFY_WITH_TIMEOUT(window().captureRun().state() == run::RunState::WaitingInPlace, kWaitMs);
        QCOMPARE(window().Command1->text(), kRunning);
        QCOMPARE(m_kept.size(), 5);
        click();
        QCOMPARE(window().Command1->text(), kIdle);
        QVERIFY(!window().Timer1->isActive());
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5})));
    }

    // ---- Switching the timer off during a timed run

    void untickingTheTimerHandsTheRunToPageLoads()
    {
        open(m_site.url("/chain/1.html"));
        setKeywords();
        timed(250);
        struct State {
            bool timer, onLoad;
        };
        QList<State> states;
        connect(m_window.get(), &ui::Frmmain::captureKept, this, [this, &states] {
            states << State{window().Timer1->isActive(), window().captureRun().capturesOnLoad()};
            if (states.size() == 2)
                window().CheckDs->setChecked(false);
        });
        click();
        waitForTheRunToEnd();
        QCOMPARE(outputBytes(), gb18030(captured({1, 2, 3, 4, 5, 7, 8, 9, 10})));
        // The start captured before the timer ran, the tick that saw the box unticked on the
        // timer, and the loads after it drove the rest.
        QCOMPARE(states.size(), 9);
        for (int i = 0; i < states.size(); ++i) {
            QVERIFY2(states[i].timer == (i == 1), qPrintable(QString::number(i)));
            QVERIFY2(states[i].onLoad == (i >= 2), qPrintable(QString::number(i)));
        }
    }

    void untickingTheTimerWhenPagingNoLongerHoldsEndsTheRun()
    {
        open(m_site.url("/chain/1.html"));
        setKeywords();
        timed(250);
        click();
        QTRY_COMPARE_WITH_TIMEOUT(m_kept.size(), 2, kWaitMs);
        window().txtNp->clear();
        window().CheckDs->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), kIdle, kWaitMs);
        QVERIFY(!window().Timer1->isActive());
        QVERIFY(!window().captureRun().capturesOnLoad());
        settle();
        QCOMPARE(m_kept.size(), 3);
        QCOMPARE(shownAddress(), m_site.url("/chain/3.html").toString());
    }

    // ---- Dropping text onto the keyword boxes

    void aDropReplacesTheKeyword_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("action");
        QTest::newRow("next-page keyword, moved") << "txtNp" << int(Qt::NoModifier) << int(Qt::MoveAction);
        QTest::newRow("next-page keyword, copied") << "txtNp" << int(Qt::ControlModifier) << int(Qt::CopyAction);
        QTest::newRow("table keyword, moved") << "txtGjz" << int(Qt::ShiftModifier) << int(Qt::MoveAction);
        QTest::newRow("table keyword, copied") << "txtGjz" << int(Qt::ControlModifier) << int(Qt::CopyAction);
    }

    void aDropReplacesTheKeyword()
    {
        QFETCH(QString, box);
        QFETCH(int, modifiers);
        QFETCH(int, action);
        auto *edit = window().findChild<QLineEdit *>(box);
        QVERIFY(edit);
        edit->setText("旧关键字");
        edit->setCursorPosition(2);
        const QPoint at(edit->width() / 2, edit->height() / 2);

        QMimeData text;
        text.setText("下一页");
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::KeyboardModifiers(modifiers));
        enter.ignore();
        QCoreApplication::sendEvent(edit, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::KeyboardModifiers(modifiers));
        drop.ignore();
        QCoreApplication::sendEvent(edit, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(int(drop.dropAction()), action);
        QCOMPARE(edit->text(), QString("下一页"));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    CaptureRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "capture_run_test.moc"
