// Capture runs left to themselves on sites that misbehave as real ones do — pages whose load
// fails once or for good, pages that never finish or arrive slowly, next pages put in place by a
// script, pages that grow by a "more" button or by scrolling, advertisements opened by timers —
// driven with no window, in both engines, over pages
// served on 127.0.0.1. The run's waits are given in milliseconds: each case waits for the run's
// end, never through real seconds.

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "browser/browser_engine.h"
#include "browser/chromium_browser.h"
#include "browser/page_change_watch.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/output/code_page.h"
#include "run/capture_run.h"
#include "support/chain_site.h"
#include "support/local_http_server.h"
#include "test_support.h"

using namespace tabvoro;

namespace {

constexpr int kRunMs = 40000;

using test::chainPage;
const QByteArray &kHead = test::kChainHead;
const QByteArray &kHeader = test::kChainHeader;

QByteArray captured(std::initializer_list<int> pages) { return test::chainCaptured(pages); }

// Pages addressed by "?page=N", written by the page itself.
const QByteArray kNumberedPage =
    kHead + "<script>var n=new URLSearchParams(location.search).get('page');document.write('<table>" + kHeader +
    "<tr><td>p'+n+'a</td><td>甲'+n+'</td></tr><tr><td>p'+n+'b</td><td>乙'+n+'</td></tr></table>');</script></body></html>";

// One document whose "下一页" link puts the next of five pages in place of the table, after a
// wait as an answer from the server would take. `lastPage`: what the link does on page 5 — it
// is gone ("none"), does nothing ("nothing") or redraws the same rows ("redraw").
QByteArray inPlacePage(const QByteArray &lastPage)
{
    return kHead + "<table id=\"t\"></table><div id=\"pager\"></div><script>"
                   "function rows(n){return '<tr><td>p'+n+'a</td><td>甲'+n+'</td></tr><tr><td>p'+n+'b</td><td>乙'+n+'</td></tr>';}"
                   "var page=1,last='" + lastPage + "';"
                   "function show(){document.getElementById('t').innerHTML='" + kHeader + "'+rows(page);"
                   "document.getElementById('pager').innerHTML=page<5||last!=='none'?"
                   "'<a href=\"#\" onclick=\"turn();return false;\">下一页</a>':'';}"
                   "function turn(){setTimeout(function(){if(page<5)page++;else if(last==='nothing')return;show();},200);}"
                   "show();</script></body></html>";
}

// One document whose table of ten rows grows by ten more, to fifty, a while after each ask:
// the "加载更多" button (gone once all are there), the page scrolled to its end, or the box
// around the table scrolled to its end. Rows are tall, so that the page and the box scroll.
// Two pages of the button change rows already captured as they grow: "top" puts the new rows
// first, "edit" marks the first row with a star at every press.
QByteArray growingPage(const QByteArray &trigger)
{
    const QByteArray table = "<table id=\"t\">" + kHeader + "</table>";
    const bool button = trigger != "scroll" && trigger != "box";
    return kHead + "<style>td{height:60px}</style>" +
           (trigger == "box" ? "<div id=\"box\" style=\"height:200px;overflow:auto\">" + table + "</div>" : table) +
           (button ? "<button id=\"more\" onclick=\"more()\">加载更多</button>" : "") +
           "<script>var n=0,busy=false,t=document.getElementById('t'),box=document.getElementById('box');"
           "function add(){for(var i=0;i<10;i++){n++;t.insertRow(" + QByteArray(trigger == "top" ? "1" : "-1") +
           ").innerHTML='<td>r'+n+'</td><td>行'+n+'</td>';}" +
           QByteArray(trigger == "edit" ? "if(n>10)t.rows[1].cells[1].firstChild.appendData('*');" : "") + "}"
           "function more(){if(busy||n>=50)return;busy=true;setTimeout(function(){add();busy=false;"
           "var b=document.getElementById('more');if(n>=50&&b)b.remove();},100);}"
           "function atEnd(e){return e.scrollTop+e.clientHeight>=e.scrollHeight-5;}"
           "if(box)box.addEventListener('scroll',function(){if(atEnd(box))more();});"
           "else window.addEventListener('scroll',function(){if(atEnd(document.scrollingElement))more();});"
           "add();</script></body></html>";
}

// A grid that draws only the rows in view, as the data grids of business pages do: `drawn` rows
// under a header, of which it says in aria-rowcount that it has `claimed` (header included).
QByteArray windowedGrid(int drawn, int claimed)
{
    return kHead + "<div id=\"g\" role=\"grid\" aria-rowcount=\"" + QByteArray::number(claimed) +
           "\" style=\"height:150px;overflow:auto\"><div role=\"rowgroup\"><div role=\"row\" aria-rowindex=\"1\">"
           "<span role=\"columnheader\">编号</span><span role=\"columnheader\">名称</span></div></div>"
           "<div id=\"body\" role=\"rowgroup\" style=\"position:relative\"></div></div><script>"
           "var g=document.getElementById('g'),body=document.getElementById('body'),H=30,N=" + QByteArray::number(drawn) + ";"
           "body.style.height=(N*H)+'px';"
           "function draw(){var first=Math.floor(g.scrollTop/H),last=Math.min(N,first+7),html='';"
           "for(var i=first;i<last;i++)html+='<div role=\"row\" aria-rowindex=\"'+(i+2)+'\" style=\"position:absolute;top:'+"
           "(i*H)+'px;height:'+H+'px\"><span role=\"gridcell\">r'+(i+1)+'</span> <span role=\"gridcell\">行'+(i+1)+'</span></div>';"
           "body.innerHTML=html;}g.addEventListener('scroll',draw);draw();</script></body></html>";
}

// What a harvest of the growing page writes: the header, then rows 1 to 50, each once. Of a
// page that changes rows already captured: the whole table at each capture, as it then was.
QByteArray grownRows(int rows = 50, const QByteArray &trigger = {})
{
    std::string text;
    for (int shown = trigger == "top" || trigger == "edit" ? 10 : rows; shown <= rows; shown += 10) {
        text += "编号,名称\r\n";
        for (int k = 1; k <= shown; ++k) {
            const int n = trigger == "top" ? shown + 1 - k : k;
            const std::string stars = trigger == "edit" && n == 1 ? std::string(shown / 10 - 1, '*') : "";
            text += "r" + std::to_string(n) + ",行" + std::to_string(n) + stars + "\r\n";
        }
    }
    return QByteArray::fromStdString(capture::encodeText(text, "GB18030").value().bytes);
}

// Pages whose table is page 2's, filled after the load or never: by rows fetch() or
// XMLHttpRequest brings 300 ms later, by a timer without a request, beside connections that
// never end, or a page whose table asked for never comes.
const QByteArray kFillRows = "function fill(t){document.querySelector('#t tbody').insertAdjacentHTML('beforeend',t);}";
const QByteArray kLatePages[][2] = {
    {"fetch", kHead + "<table id=\"t\">" + kHeader + "</table><script>" + kFillRows +
                  "fetch('/late/rows.txt').then(function(r){return r.text();}).then(fill);</script></body></html>"},
    {"xhr", kHead + "<table id=\"t\">" + kHeader + "</table><script>" + kFillRows +
                "var x=new XMLHttpRequest();x.open('GET','/late/rows.txt');x.onload=function(){fill(x.responseText);};"
                "x.send();</script></body></html>"},
    {"timer", kHead + "<div id=\"d\"></div><script>setTimeout(function(){document.getElementById('d').innerHTML='<table>" +
                  kHeader + test::chainRows(2) + "</table>';},600);</script></body></html>"},
    {"socket", kHead + "<table>" + kHeader + test::chainRows(2) +
                   "</table><script>var s=new WebSocket('ws://'+location.host+'/late/ws');"
                   "var e=new EventSource('/late/events');</script></body></html>"},
    {"never", kHead + "<table><tr><td>别的</td><td>表</td></tr></table></body></html>"},
};

// A page of 80 rows "rN,行N", and what its capture writes.
QByteArray longPage()
{
    QByteArray rows;
    for (int n = 1; n <= 80; ++n)
        rows += "<tr><td>r" + QByteArray::number(n) + "</td><td>行" + QByteArray::number(n) + "</td></tr>";
    return kHead + "<table>" + kHeader + rows + "</table></body></html>";
}

QByteArray longPageCaptured()
{
    QString text;
    for (int n = 1; n <= 80; ++n)
        text += QString("r%1,行%1\r\n").arg(n);
    return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
}

// A counter beside the table that the page's script changes in every task it gets, so that the
// page is never as the capture read it by the time the step comes.
const QByteArray kRestlessCounter =
    "<span id=\"n\"></span><script>var n=0,s=document.getElementById('n'),ch=new MessageChannel();"
    "ch.port1.onmessage=function(){s.textContent=++n;ch.port2.postMessage(0);};ch.port2.postMessage(0);</script>";

// An advertisement that opens itself on a timer, by every means a script has.
const QByteArray kAdvertisement =
    "<script>setTimeout(function(){try{window.open('/ad.html');}catch(e){}"
    "var a=document.createElement('a');a.target='_blank';a.href='/ad.html';document.body.appendChild(a);a.click();"
    "},30);</script>";

enum class Engine { View, Chromium };

}  // namespace

Q_DECLARE_METATYPE(Engine)

namespace {

// The waits of the runs here: short, so that a retry or a page that does not come costs
// milliseconds; the page time-out long enough for any page of this site to load on a busy
// machine, but where a case is about it.
run::RunTimings shortTimings(int pageTimeoutMs = 20000)
{
    run::RunTimings t;
    t.retryWaitsMs = {20, 40, 80};
    t.pageTimeoutMs = pageTimeoutMs;
    t.stepNavigationMs = 300;
    t.settleMs = 150;
    return t;
}

}  // namespace

class RunRecoveryTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    std::unique_ptr<test::ScratchDir> m_dir;
    // Each engine is made once: a start costs a second.
    std::unique_ptr<browser::WebBrowser> m_view;
    std::unique_ptr<browser::ChromiumBrowser> m_chromium;
    browser::BrowserEngine *m_browser = nullptr;
    run::FixedRunControls m_controls;
    std::unique_ptr<run::CaptureRun> m_run;

    QString url(const QString &path) const { return m_site.url(path).toString(); }

    browser::BrowserEngine *engine(Engine which)
    {
        if (which == Engine::Chromium) {
            if (!m_chromium)
                m_chromium = std::make_unique<browser::ChromiumBrowser>();
            return m_chromium.get();
        }
        if (!m_view) {
            m_view = std::make_unique<browser::WebBrowser>();
            QWidget *view = m_view->widget();
            view->setAttribute(Qt::WA_DontShowOnScreen);
            view->resize(1024, 768);
            view->show();
        }
        return m_view.get();
    }

    // A run in the engine of the case's data, with the keyword of the tables of this site.
    void makeRun(run::RunTimings timings = shortTimings())
    {
        QFETCH(Engine, engine);
        m_browser = this->engine(engine);
        m_controls = {};
        m_controls.values.keyword = "编号";
        m_controls.values.nextPageText = "下一页";
        m_controls.folder = m_dir->folder() + "/";
        m_controls.codePageName = "GB18030";
        m_run = std::make_unique<run::CaptureRun>(m_browser, &m_controls, std::move(timings));
    }

    void open(const QString &address)
    {
        QSignalSpy complete(m_browser, &browser::BrowserEngine::DocumentComplete);
        m_browser->Navigate(address);
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty() && complete.last().at(0).toUrl().toString() == address, kRunMs);
    }

    // Starts the run on the page shown (its address, or `address` in the page-number mode) and
    // waits for its end.
    void runToTheEnd(const QString &address = {})
    {
        m_controls.values.url = (address.isEmpty() ? m_browser->LocationURL() : address).toStdString();
        QSignalSpy ended(m_run.get(), &run::CaptureRun::ended);
        m_run->start();
        QVERIFY(m_run->isRunning());
        QVERIFY(ended.wait(kRunMs));
        QVERIFY(!m_run->isRunning());
    }

    QByteArray output() const { return QByteArray::fromStdString(test::readBytes(m_run->session().outputPath)); }

    static void addEngines()
    {
        QTest::addColumn<Engine>("engine");
        QTest::newRow("view") << Engine::View;
        QTest::newRow("chromium") << Engine::Chromium;
    }

private slots:
    void initTestCase()
    {
        for (int n = 1; n <= 5; ++n) {
            for (const char *chain : {"/once/", "/always/", "/held/", "/timed/", "/slow/"})
                m_site.addPage(QString("%1%2.html").arg(chain).arg(n), chainPage(n));
            m_site.addPage(QString("/ads/%1.html").arg(n), chainPage(n, kAdvertisement));
            m_site.addPage(QString("/restless/%1.html").arg(n), chainPage(n, kRestlessCounter));
        }
        m_site.addPage("/ad.html", "<title>ad</title><table><tr><td>编号</td><td>广告</td></tr></table>");
        m_site.slowRequests("/slow/3.html", int(kHead.size()), 1500);
        m_site.failRequests("/always/3.html", -1);
        m_site.holdRequests("/held/2.html");
        m_site.addPage("/num.html", kNumberedPage);
        m_site.addPage("/list.html", kNumberedPage);
        for (const char *page : {"none", "nothing", "redraw"})
            m_site.addPage(QString("/inplace-%1.html").arg(page), inPlacePage(page));
        for (const char *trigger : {"button", "scroll", "box", "top", "edit"})
            m_site.addPage(QString("/grow-%1.html").arg(trigger), growingPage(trigger));
        m_site.addPage("/windowed.html", windowedGrid(200, 201));
        m_site.addPage("/windowed-claims.html", windowedGrid(30, 100000000));
        for (const auto &[name, body] : kLatePages) {
            m_site.addPage("/late/" + name + ".html", body);
            m_site.addPage("/late/from-" + name + ".html",
                           kHead + "<table>" + kHeader + test::chainRows(1) + "<tr><td colspan=\"2\"><a href=\"" +
                               name + ".html\">下一页</a></td></tr></table></body></html>");
        }
        m_site.addPage("/late/rows.txt", test::chainRows(2));
        m_site.delayRequests("/late/rows.txt", 300);
        for (const char *endless : {"/late/ws", "/late/events"})
            m_site.holdRequests(endless);
        m_site.addPage("/long.html", longPage());
        m_site.trickleRequests("/long.html", 128, 100);
        m_site.addPage("/stalled.html", longPage());
        m_site.slowRequests("/stalled.html", 200, 600000);
    }

    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        // Each case fails its pages afresh.
        m_site.failRequests("/once/3.html", 1);
        m_site.failRequests("/timed/3.html", 1);
        m_site.failRequests("/num.html?page=3", 1);
        m_site.failRequests("/list.html?page=2", 1);
    }

    void cleanup()
    {
        m_run.reset();
        m_dir.reset();
    }

    void cleanupTestCase()
    {
        m_view.reset();
        m_chromium.reset();
    }

    // ---- Failed loads

    // Page 3 fails once: the run says it is tried again, and the file ends up exactly as on a
    // site that never failed, in each mode that leads from page to page.
    void pageThatFailsOnceIsTriedAgain_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<QString>("failing");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}}) {
            const auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s: %s", name, what) << engine; };
            row("next-page link") << "/once/1.html" << 0 << 0 << "/once/3.html";
            row("next-page link, timed") << "/timed/1.html" << 0 << 100 << "/timed/3.html";
            row("page number") << "/num.html?page=1" << 1 << 0 << "/num.html?page=3";
            row("address list") << "/list.html?page=1" << 2 << 0 << "/list.html?page=2";
        }
    }

    void pageThatFailsOnceIsTriedAgain()
    {
        QFETCH(QString, first);
        QFETCH(int, mode);
        QFETCH(int, timerMs);
        QFETCH(QString, failing);
        makeRun();
        QSignalSpy retried(m_run.get(), &run::CaptureRun::loadRetried);
        open(url(first));
        m_controls.values.pagingMode = static_cast<capture::PagingMode>(mode);
        if (mode == 1) {
            m_controls.values.startPage = "1";
            m_controls.values.endPage = "5";
        }
        if (mode == 2) {
            for (int n = 1; n <= 5; ++n)
                m_controls.rows.push_back(url(QString("/list.html?page=%1").arg(n)).toStdString());
            m_controls.row = 0;
        }
        if (timerMs) {
            m_controls.values.timed = true;
            m_run->timer().setInterval(timerMs);
        }
        runToTheEnd(mode == 1 ? url("/num.html?page=(*)") : QString());
        QCOMPARE(output(), captured({1, 2, 3, 4, 5}));
        // Chromium tries a request whose connection was cut once more by itself, and may so
        // never report the failure; the view reports it.
        QFETCH(Engine, engine);
        QVERIFY(engine == Engine::View ? retried.size() == 1 : retried.size() <= 1);
        if (!retried.isEmpty())
            QVERIFY2(retried.first().at(0).toString().contains("第1次重试：" + url(failing)),
                     qPrintable(retried.first().at(0).toString()));
        QVERIFY(m_run->endReason() == run::RunEnd::PagesRanOut);
        // A link run tells where it found its keyword no more; the others end without a word.
        if (mode == 0)
            QVERIFY2(m_run->endMessage().endsWith("没有找到下一页关键字“下一页”，连续采集结束：" +
                                                  url(QString(first).replace("1.html", "5.html"))),
                     qPrintable(m_run->endMessage()));
        else
            QCOMPARE(m_run->endMessage(), QString());
    }

    // A timed tick that finds the next page still arriving (shown without its table and link
    // yet) does not take it for the last page: the run goes on to the end.
    void timedRunWaitsForAPageStillArriving_data() { addEngines(); }
    void timedRunWaitsForAPageStillArriving()
    {
        makeRun();
        open(url("/slow/1.html"));
        m_controls.values.timed = true;
        m_run->timer().setInterval(100);
        runToTheEnd();
        QCOMPARE(output(), captured({1, 2, 3, 4, 5}));
    }

    // Page 3 never loads: after its retries the run ends, names the page, and keeps what it had;
    // the error page is never captured.
    void pageThatAlwaysFailsEndsTheRun_data() { addEngines(); }
    void pageThatAlwaysFailsEndsTheRun()
    {
        makeRun();
        QSignalSpy retried(m_run.get(), &run::CaptureRun::loadRetried);
        QSignalSpy status(m_run.get(), &run::CaptureRun::status);
        const int before = m_site.requestCount("/always/3.html");
        open(url("/always/1.html"));
        runToTheEnd();
        QCOMPARE(retried.size(), 3);
        // Four loads; Chromium tries each cut request again by itself.
        QFETCH(Engine, engine);
        const int requests = m_site.requestCount("/always/3.html") - before;
        QVERIFY2(engine == Engine::View ? requests == 4 : requests >= 4, qPrintable(QString::number(requests)));
        QVERIFY(m_run->endReason() == run::RunEnd::PageFailed);
        const QString shown = status.last().at(0).toString();
        QVERIFY2(shown.contains("4次都失败，采集已停止：" + url("/always/3.html")), qPrintable(shown));
        QCOMPARE(output(), captured({1, 2}));
        QCOMPARE(m_site.requestCount("/always/4.html"), 0);
    }

    // Page 2 is never answered: the page time-out counts as a failure, retried as one.
    void pageThatNeverFinishesTimesOut_data() { addEngines(); }
    void pageThatNeverFinishesTimesOut()
    {
        makeRun(shortTimings(400));
        open(url("/held/1.html"));
        runToTheEnd();
        QVERIFY(m_run->endReason() == run::RunEnd::PageFailed);
        QVERIFY2(m_run->endMessage().contains("0.4秒内没有打开完"), qPrintable(m_run->endMessage()));
        QCOMPARE(output(), captured({1}));
    }

    // A page with 80 rows sent over longer than the page time-out has not failed while its
    // bytes keep coming; one whose server stops sending has, after the time-out.
    void pageStillArrivingHasNotFailed_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("arrives");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}}) {
            QTest::addRow("%s: trickling", name) << engine << "/long.html" << true;
            QTest::addRow("%s: stalled", name) << engine << "/stalled.html" << false;
        }
    }

    void pageStillArrivingHasNotFailed()
    {
        QFETCH(QString, page);
        QFETCH(bool, arrives);
        makeRun(shortTimings(800));
        m_controls.values.url = url(page).toStdString();
        QSignalSpy ended(m_run.get(), &run::CaptureRun::ended);
        m_run->openAndStart(url(page), false);
        QVERIFY(ended.wait(kRunMs));
        QCOMPARE(output(), arrives ? longPageCaptured() : QByteArray());
        QVERIFY(m_run->endReason() == (arrives ? run::RunEnd::PagesRanOut : run::RunEnd::PageFailed));
        if (!arrives)
            QVERIFY2(m_run->endMessage().contains("0.8秒内没有打开完"), qPrintable(m_run->endMessage()));
    }

    // ---- Tables filled after the load

    // A page still fetching its rows, or still without the table asked for, is captured once it
    // has settled, as the run's first page and as a page a link led to; one whose only open
    // connections never end is captured at once; one whose table never comes, at the settle
    // limit, and the run goes on as it would have.
    void tableFilledAfterTheLoad_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<bool>("byLink");
        QTest::addColumn<bool>("settles");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}})
            for (const auto &late : kLatePages)
                for (bool byLink : {false, true})
                    QTest::addRow("%s: %s%s", name, late[0].constData(), byLink ? ", by link" : "")
                        << engine << late[0] << byLink << (late[0] != "socket");
    }

    void tableFilledAfterTheLoad()
    {
        QFETCH(QByteArray, page);
        QFETCH(bool, byLink);
        QFETCH(bool, settles);
        const bool comes = page != "never";
        // Long enough that a capture held to it would show, but for the page whose table never
        // comes.
        run::RunTimings timings = shortTimings();
        timings.settleLimitMs = comes ? 20000 : 600;
        makeRun(timings);
        QSignalSpy states(m_run.get(), &run::CaptureRun::stateChanged);
        QSignalSpy ended(m_run.get(), &run::CaptureRun::ended);
        QElapsedTimer clock;
        const QString address = url(QString("/late/%1%2.html").arg(byLink ? "from-" : "", QString::fromUtf8(page)));
        m_controls.values.url = address.toStdString();
        clock.start();
        if (byLink) {
            open(address);
            m_run->start();
        } else {
            m_run->openAndStart(address, false);
        }
        QVERIFY(ended.wait(kRunMs));
        const qint64 took = clock.elapsed();
        QByteArray expected = byLink ? captured({1}) : QByteArray();
        if (comes)
            expected = byLink ? captured({1, 2}) : captured({2});
        QCOMPARE(output(), expected);
        QVERIFY(m_run->endReason() == run::RunEnd::PagesRanOut);
        bool settled = false;
        for (const auto &state : states)
            settled = settled || state.at(0).value<run::RunState>() == run::RunState::Settling;
        QCOMPARE(settled, settles);
        QVERIFY2(comes ? took < timings.settleLimitMs : took >= timings.settleLimitMs, qPrintable(QString::number(took)));
    }

    // ---- Next pages put in place by a script

    void nextPageInPlace_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("endsWithMessage");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}}) {
            const auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s: %s", name, what) << engine; };
            row("last page without the link") << "/inplace-none.html" << false;
            row("last page's link does nothing") << "/inplace-nothing.html" << true;
            row("last page's link redraws it") << "/inplace-redraw.html" << true;
        }
    }

    void nextPageInPlace()
    {
        QFETCH(QString, page);
        QFETCH(bool, endsWithMessage);
        makeRun(shortTimings(1500));
        const int before = m_site.requestCount(page);
        open(url(page));
        runToTheEnd();
        // Every page once, though the document never changed.
        QCOMPARE(output(), captured({1, 2, 3, 4, 5}));
        QCOMPARE(m_site.requestCount(page) - before, 1);
        QVERIFY(m_run->endReason() == (endsWithMessage ? run::RunEnd::NextPageDidNotCome : run::RunEnd::PagesRanOut));
        if (endsWithMessage)
            QVERIFY2(m_run->endMessage().contains("下一页没有出现"), qPrintable(m_run->endMessage()));
    }

    // ---- Pages that grow

    // A table that grows in place is written as it grows: the header once, every row once,
    // whether the run clicks "加载更多" until the button is gone or scrolls the page, or the
    // table's box, until three scrolls in a row bring nothing.
    void growingTableIsWrittenOnce_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("trigger");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}})
            for (const char *trigger : {"button", "scroll", "box", "top", "edit"})
                QTest::addRow("%s: %s", name, trigger) << engine << QString(trigger);
    }

    void growingTableIsWrittenOnce()
    {
        QFETCH(QString, trigger);
        run::RunTimings timings = shortTimings();
        timings.scrollWaitMs = 400;
        makeRun(timings);
        m_controls.values.includeHeader = true;
        const bool button = trigger != "scroll" && trigger != "box";
        if (button) {
            m_controls.values.nextPageText = "加载更多";
        } else {
            m_controls.values.pagingMode = capture::PagingMode::Scroll;
        }
        open(url("/grow-" + trigger + ".html"));
        runToTheEnd();
        QCOMPARE(output(), grownRows(50, trigger.toUtf8()));
        QCOMPARE(m_run->session().recordTotal, trigger == "top" || trigger == "edit" ? 155 : 51);
        QVERIFY(m_run->endReason() == run::RunEnd::PagesRanOut);
        const QString end = button ? "没有找到下一页关键字“加载更多”" : "次滚动到底部都没有加载出新的行";
        QVERIFY2(m_run->endMessage().contains(end), qPrintable(m_run->endMessage()));
    }

    // A grid that draws only the rows in view is captured whole, each row once and in order,
    // and its box is scrolled back; one that claims far more rows than it ever draws gives what
    // it draws, and says so.
    void windowedGridIsTakenWhole_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("rows");
        for (const auto &[name, engine] : {std::pair{"view", Engine::View}, std::pair{"chromium", Engine::Chromium}}) {
            QTest::addRow("%s: 200 rows", name) << engine << "/windowed.html" << 200;
            QTest::addRow("%s: claims 100000000", name) << engine << "/windowed-claims.html" << 30;
        }
    }

    void windowedGridIsTakenWhole()
    {
        QFETCH(QString, page);
        QFETCH(int, rows);
        run::RunTimings timings = shortTimings();
        timings.gridScrollPauseMs = 5;
        makeRun(timings);
        m_controls.values.includeHeader = true;
        m_controls.values.nextPageText.clear();  // one capture
        QSignalSpy status(m_run.get(), &run::CaptureRun::status);
        open(url(page));
        m_controls.values.url = m_browser->LocationURL().toStdString();
        m_run->start();
        QCOMPARE(output(), grownRows(rows));
        QCOMPARE(m_browser->evaluate("document.getElementById('g').scrollTop")->toInt(), 0);
        const bool toldBounded = std::any_of(status.begin(), status.end(), [](const QList<QVariant> &s) {
            return s.at(0).toString().contains("未能读完");
        });
        QCOMPARE(toldBounded, rows < 200);
    }

    // ---- Pop-ups

    // An advertisement opening itself on every page never takes the place of the page harvested.
    void advertisementsDoNotReplaceThePage_data() { addEngines(); }
    void advertisementsDoNotReplaceThePage()
    {
        makeRun();
        open(url("/ads/1.html"));
        runToTheEnd();
        QCOMPARE(output(), captured({1, 2, 3, 4, 5}));
        QCOMPARE(m_site.requestCount("/ad.html"), 0);
    }

    // ---- One read per page

    // The stamp that lets the next-page step use the capture's read tells a changed or new
    // document from one left as it was.
    void changeStampTellsAChangedPage_data() { addEngines(); }
    void changeStampTellsAChangedPage()
    {
        makeRun();
        open(url("/once/1.html"));
        const QString first = browser::currentChangeStamp(m_browser);
        QVERIFY(!first.isEmpty());
        QCOMPARE(browser::currentChangeStamp(m_browser), first);
        QVERIFY(m_browser->evaluate("document.querySelector('td').textContent='x';true").value_or(false).toBool());
        const QString changed = browser::currentChangeStamp(m_browser);
        QVERIFY(changed != first);
        QCOMPARE(browser::currentChangeStamp(m_browser), changed);
        open(url("/once/2.html"));
        const QString other = browser::currentChangeStamp(m_browser);
        QVERIFY(other != changed && other != first);
    }

    // A page that has changed since its capture by the time the step comes is captured again
    // before the step leaves it (the second capture repeats the first and is dropped), and the
    // step then still takes the run to the next page, every page written once.
    void pageChangedBeforeTheStepIsCapturedAgain_data() { addEngines(); }
    void pageChangedBeforeTheStepIsCapturedAgain()
    {
        makeRun();
        QSignalSpy states(m_run.get(), &run::CaptureRun::stateChanged);
        open(url("/restless/1.html"));
        runToTheEnd();
        QCOMPARE(output(), captured({1, 2, 3, 4, 5}));
        QVERIFY(m_run->endReason() == run::RunEnd::PagesRanOut);
        const auto captures = std::count_if(states.begin(), states.end(), [](const QList<QVariant> &state) {
            return state.at(0).value<run::RunState>() == run::RunState::Capturing;
        });
        QVERIFY2(captures > 5, qPrintable(QString::number(captures)));
    }

    // A timed run's step is worked out on one page and carried out a round trip later; a page
    // that has replaced it meanwhile must not take the click (page 4's next link would be
    // followed in place of page 3's, and page 4 never captured).
    void stepActsOnlyOnTheDocumentItWasWorkedOutOn_data() { addEngines(); }
    void stepActsOnlyOnTheDocumentItWasWorkedOutOn()
    {
        makeRun();
        open(url("/once/1.html"));
        const auto act = [this](const QString &stamp) {
            return m_browser
                ->evaluate("(function(){" + browser::sameDocumentGuard(stamp) +
                           "document.body.setAttribute('data-acted','1');return true;})()")
                .value_or(false)
                .toBool();
        };
        const QString onFirst = browser::currentChangeStamp(m_browser);
        QVERIFY(act(onFirst));
        // The page's own scripts changing it in place leave it the same document.
        QVERIFY(m_browser->evaluate("document.querySelector('td').textContent='y';true").value_or(false).toBool());
        QVERIFY(act(onFirst));
        open(url("/once/2.html"));
        QVERIFY(!act(onFirst));
        QVERIFY(!m_browser->evaluate("document.body.hasAttribute('data-acted')").value_or(true).toBool());
        QVERIFY(act(browser::currentChangeStamp(m_browser)));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    RunRecoveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "run_recovery_test.moc"
