// What every browser engine promises a run, tested over both against pages served on
// 127.0.0.1: the window's view and headless Chromium run the same cases. Silent dialogs, pop-ups
// the user or the program's step asked for kept in the page and the rest suppressed, one
// page-complete notice per top-level load, failed loads with their address, scripts in both
// worlds with their time-out, the start-up blank page, find, history. Then what is one engine's
// alone: the view's focus and its dead renderer, Chromium's process group.

#include <algorithm>
#include <csignal>
#include <memory>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "browser/chromium_browser.h"
#include "browser/chromium_process.h"
#include "browser/open_browser_windows.h"
#include "browser/page_snapshot.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/capture_session.h"
#include "capture/capture_table.h"
#include "capture/table_listing.h"
#include "support/local_http_server.h"
#include "support/modal_answerer.h"
#include "support/process_group.h"

using tabvoro::browser::BrowserEngine;
using tabvoro::browser::ChromiumBrowser;
using tabvoro::browser::WebBrowser;
using tabvoro::test::LocalHttpServer;
using tabvoro::test::ModalAnswerer;
using ScriptWorld = BrowserEngine::ScriptWorld;

namespace {

// Every way a page has to ask for a box or a window, on load and once more after it.
const QByteArray kDialogsPage = R"(<title>dialogs</title>
<a id="blank" target="_blank" href="/popup.html">pop-up</a>
<script>
var log = [];
function attempt(name, f) { try { log.push(name + ':' + f()); } catch (e) { log.push(name + ':' + e.name); } }
function provoke() {
  attempt('alert', function () { return alert('a'); });
  attempt('confirm', function () { return confirm('c'); });
  attempt('prompt', function () { return prompt('p', 'given'); });
  attempt('modal', function () { return showModalDialog('/popup.html'); });
  attempt('open', function () { return window.open('/popup.html'); });
  window.print();
}
provoke();
setTimeout(function () { provoke(); document.body.dataset.log = log.join(' '); }, 50);
</script>)";

// The boxes asked for from a frame made after the load, and from the page again.
const QByteArray kLateFrameDialogsPage = R"(<title>dialogs</title><body><script>
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

const QByteArray kFramesetPage = R"(<title>frames</title>
<frameset cols="50%,50%"><frame src="/plain.html"><frame src="/iframe.html"></frameset>)";

// A frame added well after the page has finished loading.
const QByteArray kIframePage = R"(<title>iframe</title><iframe src="/plain.html"></iframe>
<script>onload = function () { setTimeout(function () {
  var late = document.createElement('iframe'); late.src = '/titled.html'; document.body.appendChild(late);
}, 100); };</script>)";

// A window opened with no one asking, twice: by a link clicked from a timer and by window.open
// from a frame the page made.
const QByteArray kFramePopupsPage = R"(<title>popups</title><body><script>onload = function () { setTimeout(function () {
  var a = document.createElement('a'); a.target = '_blank'; a.href = '/popup.html'; document.body.appendChild(a); a.click();
  var f = document.createElement('iframe'); document.body.appendChild(f);
  try { f.contentWindow.open('/popup.html?frame'); } catch (e) {}
}, 50); };</script></body>)";

const QByteArray kUnloadPage =
    "<title>unload</title><script>onbeforeunload = function (e) { e.returnValue = 'stay'; return 'stay'; };</script>";

// Asks for every permission a page can ask for and writes down the answers.
const QByteArray kPermissionsPage = R"(<title>permissions</title><body><script>
var answers = {};
function note(name, value) {
  answers[name] = value;
  if (Object.keys(answers).length === 4)
    document.body.dataset.answers = ['geolocation', 'notification', 'media', 'screen'].map(function (k) { return k + ':' + answers[k]; }).join(' ');
}
navigator.geolocation.getCurrentPosition(function () { note('geolocation', 'granted'); },
                                         function (e) { note('geolocation', e.code); });
Notification.requestPermission().then(function (p) { note('notification', p); });
// A machine without camera or microphone has nothing to ask for: what must not happen is a grant.
navigator.mediaDevices.getUserMedia({audio: true, video: true})
  .then(function () { note('media', 'granted'); }, function (e) { note('media', e.name === 'NotFoundError' ? 'NotAllowedError' : e.name); });
navigator.mediaDevices.getDisplayMedia({video: true})
  .then(function () { note('screen', 'granted'); }, function (e) { note('screen', e.name); });
</script></body>)";

const QByteArray kTablePage = R"(<title>table</title><body>
<table><tr><td>名称</td><td>数量</td></tr><tr><td>甲</td><td>1</td></tr>
<tr><td rowspan="2">乙<br>二</td><td colspan="1"><a href="/x">2</a></td></tr><tr><td>3</td></tr></table>
</body>)";

// Tables inside open shadow roots, one nested in another, among the page's grids; the closed
// shadow root keeps its table to itself.
const QByteArray kShadowPage = R"(<title>shadow</title><body>
<div role="grid"><div role="row"><span role="cell">G1</span></div></div>
<div id="host"></div><p id="closed"></p>
<table><tr><td>T</td></tr></table>
<div role="grid"><div role="row"><span role="cell">G2</span></div></div>
<script>
var root = document.getElementById('host').attachShadow({mode: 'open'});
root.innerHTML = '<table><tr><td>S1</td></tr></table><div id="inner"></div><table><tr><td>S3</td></tr></table>';
root.getElementById('inner').attachShadow({mode: 'open'}).innerHTML =
  '<div role="grid"><div role="row"><span role="cell">S2</span><span role="cell">二</span></div></div>';
document.getElementById('closed').attachShadow({mode: 'closed'}).innerHTML = '<table><tr><td>C</td></tr></table>';
</script></body>)";

// A frame of the page whose document is from another origin.
const QByteArray kFramedTablePage = R"(<title>framed</title><table><tr><td>B</td></tr><tr><td>b1</td></tr></table>)";

const QString kBusyScript = "var t = Date.now(); while (Date.now() - t < 500) {} 1";

// A port nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

class BrowserEngineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { m_chromium.reset(); }

    // What both engines do alike.
    void pageDialogsStaySilent_data();
    void pageDialogsStaySilent();
    void stepOpensItsWindowInThePage();
    void popupsOfScriptsAreSuppressed_data();
    void popupsOfScriptsAreSuppressed();
    void popupAskedForBeforeTheStepBeganIsThePages();
    void pageScriptsRunInEveryFrame_data();
    void pageScriptsRunInEveryFrame();
    void oneDocumentCompletePerPage_data();
    void oneDocumentCompletePerPage();
    void addressAskedForDuringTheFirstBlankPageIsReported();
    void navigationCommandsFollowHistory();
    void locationNameFallsBackToAddress();
    void failedLoadIsReportedWithItsAddress_data();
    void failedLoadIsReportedWithItsAddress();
    void evaluateRunsApartFromPageScripts();
    void evaluateAnswersScriptThatLeavesThePage();
    void evaluateTimesOut();
    void evaluateFailsWhenEngineCloses();
    void findSelectsTheText();
    void capturesTheTableAsTheView_data();
    void capturesTheTableAsTheView();

    // The view's alone.
    void userClickOpensWindowInTheView();
    void permissionRequestsAreDenied();
    void windowCloseShowsBlankPage();
    void unloadPromptLetsThePageGo();
    void statusTextFollowsHoveredLink();
    void lostFocusOnlyToNothingInParticular();
    void deadRendererIsReloadedOnce();
    void addressesBecomeUrls_data();
    void addressesBecomeUrls();
    void chromiumFlags_data();
    void chromiumFlags();

    // Chromium's alone.
    void startsHeadlessWithTheSandboxUnlessRoot();
    void crashedPageIsAFailedLoad();
    void deadChromiumIsAFailedLoadAndStartsAgain();
    void chromiumEndsWithItsObject();

private:
    bool isView() const { return m_engine == m_view; }
    // A new engine of the kind under test, the caller's own, that has shown nothing yet.
    std::unique_ptr<BrowserEngine> freshEngine() const
    {
        if (isView())
            return std::make_unique<WebBrowser>();
        return std::make_unique<ChromiumBrowser>();
    }

    // Runs `action` and waits until the page at `url` has completed.
    bool completes(const QUrl &url, const std::function<void()> &action);
    bool open(const QString &path)
    {
        return completes(m_server->url(path), [&] { m_engine->Navigate(m_server->url(path).toString()); });
    }
    QVariant evaluate(const QString &script, ScriptWorld world = ScriptWorld::Isolated)
    {
        return m_engine->evaluate(script, 5000, world).value_or(QVariant(QStringLiteral("failed")));
    }
    // The Chromium page targets: ours alone, when no pop-up was let open beside it.
    int pageTargets() const
    {
        return static_cast<int>(tabvoro::browser::readOpenBrowserPages(m_chromium->devToolsEndpoint(), {}).size());
    }
    QWebEnginePage *viewPage() const { return static_cast<QWebEngineView *>(m_view->widget())->page(); }

    std::unique_ptr<ChromiumBrowser> m_chromium;
    std::unique_ptr<QWidget> m_window;
    WebBrowser *m_view = nullptr;
    BrowserEngine *m_engine = nullptr;
    QLineEdit *m_other = nullptr;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<LocalHttpServer> m_otherOrigin;  // another port: another origin
    std::unique_ptr<ModalAnswerer> m_modal;
    qsizetype m_topLevels = 0;
};

// Skips a case that is the other engine's alone.
#define ONLY_FOR(engine)                                                                                              \
    do {                                                                                                               \
        QFETCH_GLOBAL(QString, engineName);                                                                            \
        if (engineName != engine)                                                                                      \
            QSKIP("the other engine's alone");                                                                         \
    } while (false)

void BrowserEngineTest::initTestCase_data()
{
    QTest::addColumn<QString>("engineName");
    QTest::newRow("view") << "view";
    QTest::newRow("chromium") << "chromium";
}

void BrowserEngineTest::initTestCase()
{
    if (tabvoro::browser::chromiumVersion().isEmpty())
        return;
    m_chromium = std::make_unique<ChromiumBrowser>();
    const auto started = m_chromium->start();
    QVERIFY2(started, started ? "" : started.error().message.c_str());
}

void BrowserEngineTest::init()
{
    QFETCH_GLOBAL(QString, engineName);
    if (engineName == "chromium" && !m_chromium)
        QSKIP("no chromium to run");
    m_server = std::make_unique<LocalHttpServer>();
    m_server->addPage("/dialogs.html", kDialogsPage);
    m_server->addPage("/late-frame-dialogs.html", kLateFrameDialogsPage);
    m_server->addPage("/frameset.html", kFramesetPage);
    m_server->addPage("/iframe.html", kIframePage);
    m_server->addPage("/frame-popups.html", kFramePopupsPage);
    m_server->addPage("/unload.html", kUnloadPage);
    m_server->addPage("/plain.html", "<p>no title</p>");
    m_server->addPage("/titled.html", "<title>titled</title><a id='link' href='/plain.html' "
                                      "style='display:block;height:300px'>link</a>");
    m_server->addPage("/popup.html", "<title>popup</title>");
    m_server->addPage("/blank-link.html", "<title>blank</title><a id='blank' target='_blank' href='/popup.html' "
                                          "style='display:block;height:300px'>pop-up</a>");
    // An advertisement of the page's own, on a timer.
    m_server->addPage("/timer-open.html", "<title>ad</title><script>setTimeout(function(){try{window.open('/popup.html');}"
                                          "catch(e){}var f=document.createElement('form');f.target='_blank';"
                                          "f.action='/popup.html';document.body.appendChild(f);f.submit();},50);</script>");
    m_server->addPage("/permissions.html", kPermissionsPage);
    m_server->failRequests("/refused.html", -1);
    m_server->addPage("/close.html", "<script>setTimeout(function () { window.close(); }, 50)</script>");
    m_server->addPage("/globals.html",
                      "<script>var pageGlobal = 1; JSON.stringify = function () { return 'spoilt'; };</script>");
    m_server->addPage("/find.html", "<title>find</title><p>甲乙丙</p>");
    m_server->addPage("/table.html", kTablePage);
    m_server->addPage("/shadow.html", kShadowPage);
    m_server->addPage("/framed.html", kFramedTablePage);
    m_otherOrigin = std::make_unique<LocalHttpServer>();
    m_otherOrigin->addPage("/framed.html", kFramedTablePage);
    m_server->addPage("/other-origin-frame.html", "<title>frames</title><iframe src=\"" +
                                                      m_otherOrigin->url("/framed.html").toEncoded() + "\"></iframe>");
    // Another host: another site, which Chromium shows in a process of its own.
    QUrl otherSite = m_otherOrigin->url("/framed.html");
    otherSite.setHost("localhost");
    m_server->addPage("/other-site-frame.html", "<title>frames</title><iframe src=\"" + otherSite.toEncoded() + "\"></iframe>");
    // A frame of another origin holding a frame of the page's: that one neither frame can read.
    m_otherOrigin->addPage("/nesting.html", "<iframe src=\"" + m_server->url("/framed.html").toEncoded() + "\"></iframe>");
    m_server->addPage("/nested-frame.html", "<title>frames</title><iframe src=\"" +
                                                m_otherOrigin->url("/nesting.html").toEncoded() + "\"></iframe>");

    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_view = new WebBrowser(m_window.get());
    m_other = new QLineEdit;
    layout->addWidget(m_view->widget());
    layout->addWidget(m_other);
    m_window->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_engine = engineName == "view" ? static_cast<BrowserEngine *>(m_view) : m_chromium.get();
    m_modal = std::make_unique<ModalAnswerer>();
    m_topLevels = QApplication::topLevelWidgets().size();
}

void BrowserEngineTest::cleanup()
{
    if (m_modal)
        QCOMPARE(m_modal->seen(), 0);
    if (m_window)
        QTRY_COMPARE(QApplication::topLevelWidgets().size(), m_topLevels);
    m_window.reset();
    m_view = nullptr;
    m_modal.reset();
    m_server.reset();
}

bool BrowserEngineTest::completes(const QUrl &url, const std::function<void()> &action)
{
    QSignalSpy spy(m_engine, &BrowserEngine::DocumentComplete);
    action();
    for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); spy.wait(50)) {
        for (const QList<QVariant> &arguments : spy)
            if (arguments.at(0).toUrl() == url)
                return true;
    }
    return false;
}

void BrowserEngineTest::pageDialogsStaySilent_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("on load and after") << "/dialogs.html";
    QTest::newRow("from a frame made later") << "/late-frame-dialogs.html";
}

void BrowserEngineTest::pageDialogsStaySilent()
{
    QFETCH(QString, page);
    QVERIFY(open(page));
    QTRY_VERIFY(evaluate("document.body.dataset.log || ''").toString().size() > 0);
    const QString log = evaluate("document.body.dataset.log").toString();
    if (page == "/dialogs.html") {
        const QString once = "alert:TypeError confirm:TypeError prompt:given modal:undefined open:TypeError";
        QCOMPARE(log, once + ' ' + once);
    } else {
        const QStringList entries = log.split(' ');
        QCOMPARE(entries.size(), 9);
        for (int i = 0; i < entries.size(); i += 3) {
            // Either the page's scripts took the box away, or the engine's box was answered.
            QVERIFY2(entries[i] == "alert:TypeError" || entries[i] == "alert:undefined", qPrintable(entries[i]));
            QVERIFY2(entries[i + 1] == "confirm:TypeError" || entries[i + 1] == "confirm:true", qPrintable(entries[i + 1]));
            QCOMPARE(entries[i + 2], QStringLiteral("prompt:given"));
        }
    }
    // Our own world keeps the engine's dialogs: they must answer without a box.
    QCOMPARE(evaluate("[typeof alert('a'), confirm('c'), prompt('p', 'given')].join()").toString(),
             QStringLiteral("undefined,true,given"));
    QCOMPARE(m_engine->LocationURL(), m_server->url(page).toString());
}

void BrowserEngineTest::stepOpensItsWindowInThePage()
{
    // The program's own step clicks as the user would.
    QVERIFY(open("/blank-link.html"));
    QVERIFY(completes(m_server->url("/popup.html"),
                      [&] { QVERIFY(m_engine->performAction("document.getElementById('blank').click(); true")); }));
    QCOMPARE(m_engine->LocationURL(), m_server->url("/popup.html").toString());
    if (!isView())
        QTRY_COMPARE(pageTargets(), 1);
}

void BrowserEngineTest::popupsOfScriptsAreSuppressed_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("script");
    QTest::newRow("page's timer clicks a target _blank link") << "/blank-link.html" << "";
    QTest::newRow("page's timer opens a window") << "/timer-open.html" << "";
    QTest::newRow("page's timer clicks a link it made, a frame opens a window") << "/frame-popups.html" << "";
    QTest::newRow("our script clicks a target _blank link")
        << "/dialogs.html" << "document.getElementById('blank').click()";
    QTest::newRow("window.open where the page scripts did not run") << "/dialogs.html" << "window.open('/popup.html')";
}

void BrowserEngineTest::popupsOfScriptsAreSuppressed()
{
    QFETCH(QString, page);
    QFETCH(QString, script);
    const QString url = m_server->url(page).toString();
    QVERIFY(open(page));
    if (page == "/blank-link.html")
        evaluate("setTimeout(function(){document.getElementById('blank').click();},50);true", ScriptWorld::Page);
    if (!script.isEmpty())
        evaluate(script);
    QTest::qWait(1500);
    QCOMPARE(m_engine->LocationURL(), url);
    QCOMPARE(m_server->requestCount("/popup.html"), 0);
    if (!isView())
        QCOMPARE(pageTargets(), 1);
}

void BrowserEngineTest::popupAskedForBeforeTheStepBeganIsThePages()
{
    // The page is busy when the step is sent and asks for a window as it finishes: the step's
    // script runs only after that, so the window cannot be the step's, although it reaches the
    // engine while the step waits for its answer. The busy script is sent, not waited for.
    QVERIFY(open("/blank-link.html"));
    QVERIFY(!m_engine->evaluate("var t=Date.now();while(Date.now()-t<300);document.getElementById('blank').click();",
                                1, ScriptWorld::Page));
    QVERIFY(m_engine->performAction("1"));
    QTest::qWait(1500);
    QCOMPARE(m_engine->LocationURL(), m_server->url("/blank-link.html").toString());
    QCOMPARE(m_server->requestCount("/popup.html"), 0);
}

void BrowserEngineTest::pageScriptsRunInEveryFrame_data()
{
    QTest::addColumn<QString>("frame");
    QTest::newRow("main frame") << "window";
    QTest::newRow("same-origin iframe") << "frames[0]";
}

void BrowserEngineTest::pageScriptsRunInEveryFrame()
{
    QFETCH(QString, frame);
    QVERIFY(open("/iframe.html"));
    const QString script = "var w = %1; [w.alert === null, w.confirm === null, w.open === null, "
                           "w.showModaldialog === null, w.showModalDialog() === undefined].join()";
    QCOMPARE(evaluate(script.arg(frame), ScriptWorld::Page).toString(), QStringLiteral("true,true,true,true,true"));
}

void BrowserEngineTest::oneDocumentCompletePerPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("documents");
    QTest::newRow("plain") << "/titled.html" << "titled" << 1;
    QTest::newRow("frameset") << "/frameset.html" << "frames" << 5;
    QTest::newRow("iframes, one added late") << "/iframe.html" << "iframe" << 3;
}

void BrowserEngineTest::oneDocumentCompletePerPage()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QFETCH(int, documents);
    QVERIFY(open("/popup.html"));
    QSignalSpy completes(m_engine, &BrowserEngine::DocumentComplete);
    QSignalSpy starts(m_engine, &BrowserEngine::LoadStarted);
    QSignalSpy navigations(m_engine, &BrowserEngine::NavigateComplete);
    QSignalSpy progress(m_engine, &BrowserEngine::ProgressChange);
    QSignalSpy titles(m_engine, &BrowserEngine::TitleChange);
    QVERIFY(open(path));
    // Wait for every frame, the nested and the late ones included, to have loaded. A new frame's
    // first document is a blank one, complete at once.
    QTRY_COMPARE(evaluate("(function count(w) { var n = 1; for (var i = 0; i < w.frames.length; ++i) { var d = "
                          "w.frames[i].document; if (d.URL !== 'about:blank' && d.readyState === 'complete') "
                          "n += count(w.frames[i]); } return n; })(window)")
                     .toInt(),
                 documents);
    QTest::qWait(500);
    QCOMPARE(completes.size(), 1);
    QCOMPARE(completes.at(0), (QList<QVariant>{m_server->url(path), true}));
    QCOMPARE(starts.size(), 1);
    QCOMPARE(navigations.size(), 1);
    QVERIFY(progress.size() > 1);
    QCOMPARE(progress.first().at(1).toInt(), 100);
    QCOMPARE(progress.last(), (QList<QVariant>{0, 0}));
    QTRY_COMPARE(titles.last().at(0).toString(), title);
    QCOMPARE(m_engine->LocationURL(), m_server->url(path).toString());
    QVERIFY(!m_engine->isLoading());
    QVERIFY(!m_engine->showsFailedLoad());
}

void BrowserEngineTest::addressAskedForDuringTheFirstBlankPageIsReported()
{
    // A window opens the blank page as it starts, and its user may type an address at once.
    const auto fresh = freshEngine();
    QSignalSpy completes(fresh.get(), &BrowserEngine::DocumentComplete);
    const QUrl page = m_server->url("/titled.html");
    fresh->Navigate("about:blank");
    QCoreApplication::processEvents();
    fresh->Navigate(page.toString());
    QVERIFY(fresh->isLoading());
    QCOMPARE(fresh->loadingUrl(), page);
    QTRY_VERIFY_WITH_TIMEOUT(!completes.isEmpty() && completes.last().at(0).toUrl() == page, 20000);
    QVERIFY(completes.last().at(1).toBool());
    QCOMPARE(fresh->LocationURL(), page.toString());
}

void BrowserEngineTest::navigationCommandsFollowHistory()
{
    // Each state is told as it changes: from an engine with no history yet.
    const auto fresh = freshEngine();
    m_engine = fresh.get();
    QSignalSpy back(m_engine, &BrowserEngine::backEnabledChanged);
    QSignalSpy forward(m_engine, &BrowserEngine::forwardEnabledChanged);
    const auto enabled = [](const QSignalSpy &spy) { return !spy.isEmpty() && spy.last().at(0).toBool(); };
    QVERIFY(open("/titled.html"));
    QVERIFY(open("/popup.html"));
    QTRY_VERIFY(enabled(back));
    QVERIFY(!enabled(forward));
    QVERIFY(completes(m_server->url("/titled.html"), [&] { m_engine->goBack(); }));
    QTRY_VERIFY(enabled(forward));
    QVERIFY(completes(m_server->url("/popup.html"), [&] { m_engine->goForward(); }));
    QTRY_VERIFY(!enabled(forward));
    QVERIFY(enabled(back));
    m_engine = nullptr;
}

void BrowserEngineTest::locationNameFallsBackToAddress()
{
    if (isView())
        QCOMPARE(m_engine->LocationURL(), QStringLiteral("about:blank"));
    QSignalSpy titles(m_engine, &BrowserEngine::TitleChange);
    QVERIFY(open("/titled.html"));
    QTRY_COMPARE(m_engine->LocationName(), QStringLiteral("titled"));
    QTRY_COMPARE(titles.last().at(0).toString(), QStringLiteral("titled"));
    QVERIFY(open("/plain.html"));
    QTRY_COMPARE(m_engine->LocationName(), m_server->url("/plain.html").toString());
    QTRY_COMPARE(titles.last().at(0).toString(), m_server->url("/plain.html").toString());
}

void BrowserEngineTest::failedLoadIsReportedWithItsAddress_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("connection reset") << false;
    QTest::newRow("connection refused") << true;
}

void BrowserEngineTest::failedLoadIsReportedWithItsAddress()
{
    QFETCH(bool, refused);
    QVERIFY(open("/titled.html"));
    QSignalSpy documents(m_engine, &BrowserEngine::DocumentComplete);
    const QUrl failed = refused ? QUrl(QStringLiteral("http://127.0.0.1:%1/gone.html").arg(closedPort()))
                                : m_server->url("/refused.html");
    m_engine->Navigate(failed.toString());
    QTRY_VERIFY_WITH_TIMEOUT(!documents.isEmpty(), 10000);
    QCOMPARE(documents.first().at(0).toUrl(), failed);
    QCOMPARE(documents.first().at(1).toBool(), false);
    QVERIFY(m_engine->showsFailedLoad());
    QCOMPARE(m_engine->lastFailure().url, failed);
    QVERIFY2(!m_engine->lastFailure().reason.isEmpty(), "no reason given");
    if (refused && !isView())
        QVERIFY2(m_engine->lastFailure().reason.contains("REFUSED"), qPrintable(m_engine->lastFailure().reason));
    // A load replaced by another before it finished is no failure.
    documents.clear();
    m_server->holdRequests("/held.html");
    m_engine->Navigate(m_server->url("/held.html").toString());
    QTRY_COMPARE(m_server->requestCount("/held.html"), 1);
    QVERIFY(open("/plain.html"));
    QTest::qWait(200);
    QCOMPARE(documents.size(), 1);
    QVERIFY(documents.first().at(1).toBool());
    QVERIFY(!m_engine->showsFailedLoad());
}

void BrowserEngineTest::evaluateRunsApartFromPageScripts()
{
    QVERIFY(open("/globals.html"));
    QCOMPARE(evaluate("JSON.stringify({a: [1]})").toString(), QStringLiteral("{\"a\":[1]}"));
    QCOMPARE(evaluate("typeof pageGlobal").toString(), QStringLiteral("undefined"));
    QCOMPARE(evaluate("pageGlobal + 1", ScriptWorld::Page).toInt(), 2);
    QCOMPARE(evaluate("[1, 'a']"), (QVariantList{1, "a"}));
    // A script that throws answers nothing, and is no failure of the page.
    const auto thrown = m_engine->evaluate("null.x");
    QVERIFY(thrown);
    QVERIFY(!thrown->isValid());
    // The isolated world is made anew for a new document.
    QVERIFY(open("/titled.html"));
    QCOMPARE(evaluate("document.title").toString(), QStringLiteral("titled"));
}

void BrowserEngineTest::evaluateAnswersScriptThatLeavesThePage()
{
    QVERIFY(open("/titled.html"));
    for (int i = 0; i < 5; ++i) {
        QVariant answer;
        QVERIFY(completes(m_server->url("/plain.html"),
                          [&] { answer = evaluate("document.getElementById('link').click(); 7"); }));
        QCOMPARE(answer.toInt(), 7);
        QVERIFY(open("/titled.html"));
    }
}

void BrowserEngineTest::evaluateTimesOut()
{
    QVERIFY(open("/titled.html"));
    const auto late = m_engine->evaluate(kBusyScript, 50);
    QVERIFY(!late);
    QVERIFY2(late.error().message == "the page did not answer within 50 ms", late.error().message.c_str());
    // The late answer must not be taken for the next one.
    QCOMPARE(evaluate("2").toInt(), 2);
}

void BrowserEngineTest::evaluateFailsWhenEngineCloses()
{
    auto owned = freshEngine();
    QPointer<BrowserEngine> engine = owned.get();
    QSignalSpy completes(engine, &BrowserEngine::DocumentComplete);
    engine->Navigate(m_server->url("/titled.html").toString());
    QTRY_VERIFY_WITH_TIMEOUT(!completes.isEmpty(), 20000);
    QTimer::singleShot(50, this, [&owned] { owned.reset(); });
    const auto result = engine->evaluate(kBusyScript, 5000);
    QVERIFY(!engine);
    QVERIFY(!result);
    QVERIFY2(result.error().message.find("closed") != std::string::npos, result.error().message.c_str());
}

void BrowserEngineTest::findSelectsTheText()
{
    QVERIFY(open("/find.html"));
    if (isView()) {
        QSignalSpy found(viewPage(), &QWebEnginePage::findTextFinished);
        m_engine->findText("乙");
        QTRY_COMPARE(found.size(), 1);
        QCOMPARE(found.first().at(0).value<QWebEngineFindTextResult>().numberOfMatches(), 1);
    } else {
        m_engine->findText("乙");
        QTRY_COMPARE(evaluate("String(getSelection())").toString(), QStringLiteral("乙"));
    }
}

void BrowserEngineTest::capturesTheTableAsTheView_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("position");  // the table's number from 1; empty: the keyword mode
    QTest::addColumn<QString>("frame");     // the frame it is in; empty: the page
    QTest::addColumn<QString>("surveyed");  // the frame the table test points at; "-": none
    QTest::addColumn<QString>("captured");  // what the capture holds
    QTest::newRow("table") << "/table.html" << "" << "" << "-" << "甲,1\r\n";
    // Listed: the page's <table>, the grid before the host, the host's tables in its order, the last grid.
    QTest::newRow("shadow root") << "/shadow.html" << "3" << "" << "-" << "S1\r\n";
    QTest::newRow("shadow root in a shadow root") << "/shadow.html" << "4" << "" << "-" << "S2,二\r\n";
    QTest::newRow("after the shadow root") << "/shadow.html" << "6" << "" << "-" << "G2\r\n";
    QTest::newRow("past the last, the closed shadow root's") << "/shadow.html" << "7" << "" << "-" << "";
    QTest::newRow("frame of another origin") << "/other-origin-frame.html" << "" << "0" << "0" << "B\r\nb1\r\n";
    QTest::newRow("frame of another site") << "/other-site-frame.html" << "" << "0" << "0" << "B\r\nb1\r\n";
    QTest::newRow("frame in a frame of another origin") << "/nested-frame.html" << "" << "0" << "-" << "";
}

// A page's table as the window's view captures it, through the same interface, and the frame
// the table test finds it in.
void BrowserEngineTest::capturesTheTableAsTheView()
{
    using namespace tabvoro;
    QFETCH(QString, path);
    QFETCH(QString, position);
    QFETCH(QString, frame);
    QFETCH(QString, surveyed);
    QFETCH(QString, captured);
    capture::CaptureSettings settings;
    settings.includeHeader = true;
    settings.includeLinks = true;
    if (!position.isEmpty()) {
        settings.keywordMode = capture::KeywordMode::Position;
        settings.keyword = position.toStdString();
    }
    settings.inFrame = !frame.isEmpty();
    settings.frameText = frame.toStdString();
    const auto captureThrough = [&](BrowserEngine &engine) {
        QSignalSpy completes(&engine, &BrowserEngine::DocumentComplete);
        engine.Navigate(m_server->url(path).toString());
        if (!completes.wait(20000))
            return std::string("no page");
        const auto evaluate = [&engine](const QString &script) { return engine.evaluate(script); };
        auto survey = browser::takeSnapshot(evaluate, browser::SnapshotRequest::forFrameSurvey());
        if (!survey)
            return survey.error().message;
        auto document = browser::takeSnapshot(evaluate, browser::SnapshotRequest::forCapture(settings));
        if (!document)
            return document.error().message;
        capture::CaptureSession session;
        return "surveyed " + capture::captureTest(**survey, false, "").frameText.value_or("-") + ": " +
               capture::CaptureTable(**document, settings, session).text;
    };
    const std::string throughView = captureThrough(*m_view);
    const std::string expected = "surveyed " + surveyed.toStdString() + ": ";
    QVERIFY2(throughView.starts_with(expected) && throughView.find(captured.toStdString()) != std::string::npos &&
                 (!captured.isEmpty() || throughView == expected),
             throughView.c_str());
    QCOMPARE(captureThrough(*m_engine), throughView);
}

void BrowserEngineTest::userClickOpensWindowInTheView()
{
    ONLY_FOR("view");
    // A click of the user's on a link with target=_blank.
    QVERIFY(open("/blank-link.html"));
    // A renderer under load may not have drawn its first frame yet and then drops the click, as
    // it would a user's: click again until one is taken (the link fills the top of the page).
    const QUrl popup = m_server->url("/popup.html");
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
        QSignalSpy spy(m_engine, &BrowserEngine::DocumentComplete);
        QTest::mouseClick(m_view->widget()->focusProxy(), Qt::LeftButton, {}, QPoint(50, 50));
        for (QDeadlineTimer deadline(1000); !opened && !deadline.hasExpired(); spy.wait(50))
            opened = std::ranges::any_of(spy, [&](const QList<QVariant> &a) { return a.at(0).toUrl() == popup; });
    }
    QVERIFY(opened);
    QCOMPARE(m_engine->LocationURL(), popup.toString());
}

void BrowserEngineTest::permissionRequestsAreDenied()
{
    ONLY_FOR("view");
    QVERIFY(open("/permissions.html"));
    // Each request is answered, and answered no, without a box.
    QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.body.dataset.answers||''", ScriptWorld::Page).toString(),
                              QStringLiteral("geolocation:1 notification:denied media:NotAllowedError screen:NotAllowedError"),
                              10000);
}

void BrowserEngineTest::windowCloseShowsBlankPage()
{
    ONLY_FOR("view");
    // The engine lets a script close only a window with one page in its history: a new view.
    QVERIFY(completes(QUrl("about:blank"), [&] { m_engine->Navigate(m_server->url("/close.html").toString()); }));
    QCOMPARE(m_engine->LocationURL(), QStringLiteral("about:blank"));
}

void BrowserEngineTest::unloadPromptLetsThePageGo()
{
    ONLY_FOR("view");
    QVERIFY(open("/unload.html"));
    // The leave-page question is only asked of a page the user has touched.
    QTest::mouseClick(m_view->widget()->focusProxy(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(open("/popup.html"));
}

void BrowserEngineTest::statusTextFollowsHoveredLink()
{
    ONLY_FOR("view");
    QSignalSpy status(m_engine, &BrowserEngine::StatusTextChange);
    QVERIFY(open("/titled.html"));
    QWidget *surface = m_view->widget()->focusProxy();
    QTest::mouseMove(surface, QPoint(40, 400));
    QTest::mouseMove(surface, QPoint(40, 40));
    QTRY_COMPARE(status.isEmpty() ? QString() : status.last().at(0).toString(), m_server->url("/plain.html").toString());
    QTest::mouseMove(surface, QPoint(40, 450));
    QTRY_COMPARE(status.last().at(0).toString(), QString());
}

void BrowserEngineTest::lostFocusOnlyToNothingInParticular()
{
    ONLY_FOR("view");
    QWidget *view = m_view->widget();
    QSignalSpy lost(m_view, &WebBrowser::LostFocus);
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(open("/titled.html"));
        view->setFocus();
        QTRY_VERIFY(view->focusProxy()->hasFocus());
        // The user clicks or tabs into another control: that is where the typing goes.
        QTest::mouseClick(m_other, Qt::LeftButton);
        QTRY_VERIFY(m_other->hasFocus());
        QTest::qWait(100);
        QCOMPARE(lost.size(), round - 1);
        // Another window takes over.
        view->setFocus();
        QTRY_VERIFY(view->focusProxy()->hasFocus());
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        QTRY_COMPARE(lost.size(), round);
        elsewhere.close();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // A new renderer brings a new widget to take the keys; it must be watched as well.
        QWidget *before = view->focusProxy();
        QVERIFY(completes(m_server->url("/titled.html"), [&] { viewPage()->load(QUrl("chrome://kill")); }));
        QTRY_VERIFY(view->focusProxy() != before);
    }
}

void BrowserEngineTest::deadRendererIsReloadedOnce()
{
    ONLY_FOR("view");
    const QUrl page = m_server->url("/titled.html");
    const QUrl kill("chrome://kill");
    QVERIFY(open("/titled.html"));
    QVERIFY(completes(page, [&] { viewPage()->load(kill); }));
    QCOMPARE(m_server->requestCount("/titled.html"), 2);
    // Dying again on the page just reloaded gives up on it.
    QVERIFY(completes(QUrl("about:blank"), [&] { viewPage()->load(kill); }));
    QCOMPARE(m_engine->LocationURL(), QStringLiteral("about:blank"));
    QCOMPARE(m_server->requestCount("/titled.html"), 2);
    // Opening the page anew earns it another reload.
    QVERIFY(open("/titled.html"));
    QVERIFY(completes(page, [&] { viewPage()->load(kill); }));
    QCOMPARE(m_server->requestCount("/titled.html"), 4);
    QCOMPARE(evaluate("document.title").toString(), QStringLiteral("titled"));
}

void BrowserEngineTest::addressesBecomeUrls_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QUrl>("url");
    static QTemporaryDir folder;
    QFile file(folder.filePath("page.html"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QTest::newRow("http") << "http://example.org/a?b=1" << QUrl("http://example.org/a?b=1");
    QTest::newRow("blank page") << "about:blank" << QUrl("about:blank");
    QTest::newRow("empty") << "  " << QUrl("about:blank");
    QTest::newRow("no scheme") << "example.org/a" << QUrl("http://example.org/a");
    QTest::newRow("host and port") << "localhost:8080/a" << QUrl("http://localhost:8080/a");
    QTest::newRow("local file") << file.fileName() << QUrl::fromLocalFile(file.fileName());
    QTest::newRow("file address") << "file:///tmp/x.html" << QUrl("file:///tmp/x.html");
    QTest::newRow("missing file") << "/no/such/file.html" << QUrl("file:///no/such/file.html");
}

void BrowserEngineTest::addressesBecomeUrls()
{
    ONLY_FOR("view");
    QFETCH(QString, address);
    QFETCH(QUrl, url);
    QCOMPARE(BrowserEngine::urlFromAddress(address), url);
}

void BrowserEngineTest::chromiumFlags_data()
{
    QTest::addColumn<QString>("userFlags");
    QTest::addColumn<bool>("root");
    QTest::addColumn<bool>("offscreen");
    QTest::addColumn<QString>("flags");
    QTest::newRow("user keeps the sandbox") << "--lang=zh" << false << false << "--lang=zh";
    QTest::newRow("root") << "" << true << false << "--no-sandbox";
    QTest::newRow("offscreen") << "" << false << true << "--disable-gpu";
    QTest::newRow("no duplicates") << "--no-sandbox  --disable-gpu" << true << true << "--no-sandbox --disable-gpu";
}

void BrowserEngineTest::chromiumFlags()
{
    ONLY_FOR("view");
    QFETCH(QString, userFlags);
    QFETCH(bool, root);
    QFETCH(bool, offscreen);
    QFETCH(QString, flags);
    QCOMPARE(tabvoro::browser::chromiumFlags(userFlags, root, offscreen), flags);
}

void BrowserEngineTest::startsHeadlessWithTheSandboxUnlessRoot()
{
    ONLY_FOR("chromium");
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

void BrowserEngineTest::crashedPageIsAFailedLoad()
{
    ONLY_FOR("chromium");
    QVERIFY(open("/plain.html"));
    QSignalSpy completes(m_engine, &BrowserEngine::DocumentComplete);
    m_engine->Navigate("chrome://crash");
    QTRY_VERIFY_WITH_TIMEOUT(!completes.isEmpty(), 20000);
    QVERIFY(!completes[0][1].toBool());
    QVERIFY(m_engine->showsFailedLoad());
    QVERIFY(!m_engine->evaluate("1"));
    QVERIFY(open("/titled.html"));
    QCOMPARE(evaluate("document.title").toString(), QStringLiteral("titled"));
}

void BrowserEngineTest::deadChromiumIsAFailedLoadAndStartsAgain()
{
    ONLY_FOR("chromium");
    ChromiumBrowser browser;
    QVERIFY(browser.start());
    const qint64 group = browser.processGroup();
    QVERIFY(group > 0);
    QSignalSpy completes(&browser, &BrowserEngine::DocumentComplete);
    ::kill(static_cast<pid_t>(-group), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!completes.isEmpty(), 20000);
    QVERIFY(!completes[0][1].toBool());
    QCOMPARE(browser.lastFailure().reason, QStringLiteral("Chromium ended"));
    QVERIFY(!browser.isRunning());

    browser.Navigate(m_server->url("/plain.html").toString());
    QTRY_VERIFY_WITH_TIMEOUT(completes.size() >= 2, 20000);
    QVERIFY(completes[1][1].toBool());
    QVERIFY(browser.processGroup() != group);
}

void BrowserEngineTest::chromiumEndsWithItsObject()
{
    ONLY_FOR("chromium");
    auto browser = std::make_unique<ChromiumBrowser>();
    QSignalSpy completes(browser.get(), &BrowserEngine::DocumentComplete);
    browser->Navigate(m_server->url("/iframe.html").toString());
    QTRY_VERIFY_WITH_TIMEOUT(!completes.isEmpty(), 20000);
    const qint64 group = browser->processGroup();
    QVERIFY(tabvoro::test::groupAlive(group));
    browser.reset();
    QVERIFY(tabvoro::test::waitGroupGone(group));
}

int main(int argc, char **argv)
{
    tabvoro::browser::prepareWebEngine();
    QApplication app(argc, argv);
    BrowserEngineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "browser_engine_test.moc"
