// The headless Chromium engine against pages served on 127.0.0.1: one page-complete notice per
// top-level load, scripts in both worlds with their time-out, failed loads with their address,
// silent dialogs, pop-ups, the same capture as the window's view, and a Chromium that never
// outlives its object, whether its page's process or Chromium itself dies.

#include <csignal>
#include <memory>

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "browser/chromium_browser.h"
#include "browser/chromium_process.h"
#include "browser/open_browser_windows.h"
#include "browser/page_snapshot.h"
#include "browser/web_browser.h"
#include "browser/web_browser_engine.h"
#include "browser/web_engine_setup.h"
#include "capture/capture_session.h"
#include "capture/capture_table.h"
#include "support/local_http_server.h"
#include "support/process_group.h"

using tabvoro::browser::BrowserEngine;
using tabvoro::browser::ChromiumBrowser;
using tabvoro::test::LocalHttpServer;
using tabvoro::test::groupAlive;
using tabvoro::test::waitGroupGone;

namespace {

const QByteArray kPlainPage = "<title>plain</title><p>plain</p>";

const QByteArray kFramesetPage = R"(<title>frames</title>
<frameset cols="50%,50%"><frame src="/plain.html"><frame src="/iframe.html"></frameset>)";

const QByteArray kIframePage = R"(<title>iframe</title><iframe src="/plain.html"></iframe>
<script>onload = function () { setTimeout(function () {
  var late = document.createElement('iframe'); late.src = '/plain.html?late'; document.body.appendChild(late);
}, 100); };</script>)";

// Every box a page can ask for, on load and again after it, also from a frame made later.
const QByteArray kDialogsPage = R"(<title>dialogs</title><body><script>
var log = [];
function attempt(name, f) { try { log.push(name + ':' + f()); } catch (e) { log.push(name + ':' + e.name); } }
function provoke(w) {
  attempt('alert', function () { return w.alert('a'); });
  attempt('confirm', function () { return w.confirm('c'); });
  attempt('prompt', function () { return w.prompt('p', 'given'); });
}
provoke(window);
onload = function () { setTimeout(function () {
  var f = document.createElement('iframe'); document.body.appendChild(f);
  provoke(f.contentWindow); provoke(window);
  document.body.dataset.log = log.join(' ');
}, 50); };
</script></body>)";

// A window opened with no one asking, twice: by a link clicked from a timer and by window.open
// from a frame the page made; and a link the user may click.
const QByteArray kPopupsPage = R"(<title>popups</title><body>
<a id="blank" target="_blank" href="/popup.html">pop-up</a>
<script>onload = function () { setTimeout(function () {
  var a = document.createElement('a'); a.target = '_blank'; a.href = '/ad.html'; document.body.appendChild(a); a.click();
  var f = document.createElement('iframe'); document.body.appendChild(f);
  try { f.contentWindow.open('/ad.html?frame'); } catch (e) {}
  document.body.dataset.done = '1';
}, 50); };</script></body>)";

const QByteArray kTablePage = R"(<title>table</title><body>
<table><tr><td>名称</td><td>数量</td></tr><tr><td>甲</td><td>1</td></tr>
<tr><td rowspan="2">乙<br>二</td><td colspan="1"><a href="/x">2</a></td></tr><tr><td>3</td></tr></table>
</body>)";

const QByteArray kPageGlobals = "<title>globals</title><script>var pageValue = 41;</script>";

bool waitForCompletes(QSignalSpy &spy, int count, int ms = 20000)
{
    for (QDeadlineTimer deadline(ms); spy.count() < count && !deadline.hasExpired();)
        spy.wait(50);
    return spy.count() >= count;
}

int pageTargets(const ChromiumBrowser &browser)
{
    return static_cast<int>(tabvoro::browser::readOpenBrowserPages(browser.devToolsEndpoint(), {}).size());
}

}  // namespace

class ChromiumBrowserTest : public QObject {
    Q_OBJECT

private:
    LocalHttpServer m_site;
    std::unique_ptr<ChromiumBrowser> m_browser;

    // Navigates and waits for the page's completion; its `ok`.
    bool load(const QString &path)
    {
        QSignalSpy completes(m_browser.get(), &BrowserEngine::DocumentComplete);
        m_browser->Navigate(m_site.url(path).toString());
        return waitForCompletes(completes, 1) && completes.last().at(1).toBool();
    }

private slots:
    void initTestCase()
    {
        if (tabvoro::browser::chromiumVersion().isEmpty())
            QSKIP("no chromium to run");
        m_site.addPage("/plain.html", kPlainPage);
        m_site.addPage("/frameset.html", kFramesetPage);
        m_site.addPage("/iframe.html", kIframePage);
        m_site.addPage("/dialogs.html", kDialogsPage);
        m_site.addPage("/popups.html", kPopupsPage);
        m_site.addPage("/popup.html", "<title>popup</title>");
        m_site.addPage("/ad.html", "<title>ad</title>");
        m_site.addPage("/table.html", kTablePage);
        m_site.addPage("/globals.html", kPageGlobals);
        m_browser = std::make_unique<ChromiumBrowser>();
        const auto started = m_browser->start();
        QVERIFY2(started, started ? "" : started.error().message.c_str());
    }

    void cleanupTestCase() { m_browser.reset(); }

    void startsHeadlessWithTheSandboxUnlessRoot()
    {
        using tabvoro::browser::chromiumArguments;
        QVERIFY(tabvoro::browser::chromiumVersion().startsWith("Chromium "));
        QCOMPARE(tabvoro::browser::chromiumMajorVersion("Chromium 156.0.8078.129 built on Debian GNU/Linux 12"), 156);
        QCOMPARE(tabvoro::browser::chromiumMajorVersion("no version"), 0);
        QVERIFY(chromiumArguments("/p", 156, false).contains("--headless=new"));
        QVERIFY(chromiumArguments("/p", 100, false).contains("--headless"));
        QVERIFY(!chromiumArguments("/p", 156, false).contains("--no-sandbox"));
        QVERIFY(chromiumArguments("/p", 156, true).contains("--no-sandbox"));
        QVERIFY(chromiumArguments("/p", 156, true).contains("--user-data-dir=/p"));
    }

    // One notice per top-level load, none for its frames, also for frames added late.
    void completesOncePerPage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "/plain.html";
        QTest::newRow("frameset") << "/frameset.html";
        QTest::newRow("iframes, one added late") << "/iframe.html";
    }

    void completesOncePerPage()
    {
        QFETCH(QString, path);
        QSignalSpy completes(m_browser.get(), &BrowserEngine::DocumentComplete);
        QSignalSpy starts(m_browser.get(), &BrowserEngine::LoadStarted);
        QSignalSpy progress(m_browser.get(), &BrowserEngine::ProgressChange);
        m_browser->Navigate(m_site.url(path).toString());
        QVERIFY(waitForCompletes(completes, 1));
        QTest::qWait(500);
        QCOMPARE(completes.count(), 1);
        QCOMPARE(starts.count(), 1);
        QCOMPARE(completes[0][0].toUrl(), m_site.url(path));
        QVERIFY(completes[0][1].toBool());
        QCOMPARE(m_browser->LocationURL(), m_site.url(path).toString());
        QVERIFY(!m_browser->isLoading());
        QVERIFY(!m_browser->showsFailedLoad());
        QCOMPARE(progress.last(), (QVariantList{0, 0}));
    }

    void evaluatesInEitherWorldWithinItsTime()
    {
        QVERIFY(load("/globals.html"));
        QCOMPARE(m_browser->evaluate("typeof pageValue").value(), QVariant("undefined"));
        QCOMPARE(m_browser->evaluate("pageValue + 1", 5000, BrowserEngine::ScriptWorld::Page).value().toInt(), 42);
        QCOMPARE(m_browser->evaluate("document.title").value(), QVariant("globals"));
        QCOMPARE(m_browser->evaluate("[1, 'a']").value(), (QVariantList{1, "a"}));
        // A script that throws answers nothing, and is no failure of the page.
        const auto thrown = m_browser->evaluate("null.x");
        QVERIFY(thrown);
        QVERIFY(!thrown->isValid());

        const auto late = m_browser->evaluate("var t = Date.now(); while (Date.now() - t < 1500); 1", 200);
        QVERIFY(!late);
        QVERIFY(QString::fromStdString(late.error().message).contains("within 200 ms"));
        // The isolated world is made anew for a new document.
        QVERIFY(load("/plain.html"));
        QCOMPARE(m_browser->evaluate("document.title").value(), QVariant("plain"));
    }

    void refusedAddressIsAFailedLoad()
    {
        quint16 port;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            port = probe.serverPort();
        }
        const QUrl refused(QStringLiteral("http://127.0.0.1:%1/gone.html").arg(port));
        QSignalSpy completes(m_browser.get(), &BrowserEngine::DocumentComplete);
        m_browser->Navigate(refused.toString());
        QVERIFY(waitForCompletes(completes, 1));
        QCOMPARE(completes[0][0].toUrl(), refused);
        QVERIFY(!completes[0][1].toBool());
        QVERIFY(m_browser->showsFailedLoad());
        QCOMPARE(m_browser->lastFailure().url, refused);
        QVERIFY2(m_browser->lastFailure().reason.contains("REFUSED"), qPrintable(m_browser->lastFailure().reason));
        QVERIFY(load("/plain.html"));
        QVERIFY(!m_browser->showsFailedLoad());
    }

    void dialogsAreAnsweredSilently()
    {
        QVERIFY(load("/dialogs.html"));
        QVariant log;
        QTRY_VERIFY_WITH_TIMEOUT((log = m_browser->evaluate("document.body.dataset.log || ''").value()) != QVariant(""), 5000);
        const QStringList entries = log.toString().split(' ');
        QCOMPARE(entries.size(), 9);
        for (int i = 0; i < entries.size(); i += 3) {
            // Either the page's scripts took the box away, or Chromium's box was answered.
            QVERIFY2(entries[i] == "alert:TypeError" || entries[i] == "alert:undefined", qPrintable(entries[i]));
            QVERIFY2(entries[i + 1] == "confirm:TypeError" || entries[i + 1] == "confirm:true", qPrintable(entries[i + 1]));
            QCOMPARE(entries[i + 2], QStringLiteral("prompt:given"));
        }
    }

    void popupsOnlyWhenAskedForAndInThePage()
    {
        QVERIFY(load("/popups.html"));
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->evaluate("document.body.dataset.done || ''").value(), QVariant("1"), 5000);
        QTest::qWait(500);
        QCOMPARE(m_browser->LocationURL(), m_site.url("/popups.html").toString());
        QCOMPARE(pageTargets(*m_browser), 1);

        QSignalSpy completes(m_browser.get(), &BrowserEngine::DocumentComplete);
        const auto clicked = m_browser->performAction("document.getElementById('blank').click(); true");
        QVERIFY2(clicked, clicked ? "" : clicked.error().message.c_str());
        QVERIFY(waitForCompletes(completes, 1));
        QCOMPARE(completes[0][0].toUrl(), m_site.url("/popup.html"));
        QTest::qWait(300);
        QCOMPARE(pageTargets(*m_browser), 1);
    }

    // The page's table as the window's view captures it, through the same interface.
    void capturesTheTableAsTheView()
    {
        using namespace tabvoro;
        capture::CaptureSettings settings;
        settings.includeHeader = true;
        settings.includeLinks = true;
        const auto captureThrough = [&](BrowserEngine &engine) {
            QSignalSpy completes(&engine, &BrowserEngine::DocumentComplete);
            engine.Navigate(m_site.url("/table.html").toString());
            if (!waitForCompletes(completes, 1))
                return std::string("no page");
            auto document = browser::takeSnapshot(
                [&engine](const QString &script) { return engine.evaluate(script); },
                browser::SnapshotRequest::forCapture(settings));
            if (!document)
                return document.error().message;
            capture::CaptureSession session;
            return capture::CaptureTable(**document, settings, session).text;
        };
        browser::WebBrowser view;
        browser::WebBrowserEngine viewEngine(&view);
        const std::string throughView = captureThrough(viewEngine);
        QVERIFY2(throughView.find("甲,1\r\n") != std::string::npos, throughView.c_str());
        QCOMPARE(captureThrough(*m_browser), throughView);
    }

    void crashedPageIsAFailedLoad()
    {
        QVERIFY(load("/plain.html"));
        QSignalSpy completes(m_browser.get(), &BrowserEngine::DocumentComplete);
        m_browser->Navigate("chrome://crash");
        QVERIFY(waitForCompletes(completes, 1));
        QVERIFY(!completes[0][1].toBool());
        QVERIFY(m_browser->showsFailedLoad());
        QVERIFY(!m_browser->evaluate("1"));
        QVERIFY(load("/plain.html"));
        QCOMPARE(m_browser->evaluate("document.title").value(), QVariant("plain"));
    }

    void deadChromiumIsAFailedLoadAndStartsAgain()
    {
        ChromiumBrowser browser;
        QVERIFY(browser.start());
        const qint64 group = browser.processGroup();
        QVERIFY(group > 0);
        QSignalSpy completes(&browser, &BrowserEngine::DocumentComplete);
        ::kill(static_cast<pid_t>(-group), SIGKILL);
        QVERIFY(waitForCompletes(completes, 1));
        QVERIFY(!completes[0][1].toBool());
        QCOMPARE(browser.lastFailure().reason, QStringLiteral("Chromium ended"));
        QVERIFY(!browser.isRunning());

        browser.Navigate(m_site.url("/plain.html").toString());
        QVERIFY(waitForCompletes(completes, 2));
        QVERIFY(completes[1][1].toBool());
        QVERIFY(browser.processGroup() != group);
    }

    void chromiumEndsWithItsObject()
    {
        auto browser = std::make_unique<ChromiumBrowser>();
        QSignalSpy completes(browser.get(), &BrowserEngine::DocumentComplete);
        browser->Navigate(m_site.url("/iframe.html").toString());
        QVERIFY(waitForCompletes(completes, 1));
        const qint64 group = browser->processGroup();
        QVERIFY(groupAlive(group));
        browser.reset();
        QVERIFY(waitGroupGone(group));
    }
};

int main(int argc, char **argv)
{
    tabvoro::browser::prepareWebEngine();
    QApplication app(argc, argv);
    ChromiumBrowserTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "chromium_browser_test.moc"
