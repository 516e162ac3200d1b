// The browser view against pages served on 127.0.0.1: silent dialogs, pop-ups the user asked for
// kept in the view and the rest suppressed, permissions denied, its events, failed loads, script
// evaluation and recovery from a dead renderer.

#include <algorithm>
#include <memory>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "support/local_http_server.h"
#include "support/modal_answerer.h"

using tabvoro::browser::WebBrowser;
using tabvoro::test::LocalHttpServer;
using tabvoro::test::ModalAnswerer;

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

const QByteArray kFramesetPage = R"(<title>frames</title>
<frameset cols="50%,50%"><frame src="/plain.html"><frame src="/iframe.html"></frameset>)";

// A frame added well after the page has finished loading.
const QByteArray kIframePage = R"(<title>iframe</title><iframe src="/plain.html"></iframe>
<script>onload = function () { setTimeout(function () {
  var late = document.createElement('iframe'); late.src = '/titled.html'; document.body.appendChild(late);
}, 100); };</script>)";

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

const QString kBusyScript = "var t = Date.now(); while (Date.now() - t < 500) {} 1";

}  // namespace

class WebBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pageDialogsStaySilent();
    void popupsTheUserAsksForOpenInTheView();
    void popupsOfScriptsAreSuppressed_data();
    void popupsOfScriptsAreSuppressed();
    void popupAskedForBeforeTheStepBeganIsThePages();
    void permissionRequestsAreDenied();
    void windowCloseShowsBlankPage();
    void unloadPromptLetsThePageGo();
    void pageScriptsRunInEveryFrame_data();
    void pageScriptsRunInEveryFrame();

    void oneDocumentCompletePerPage_data();
    void oneDocumentCompletePerPage();
    void navigationCommandsFollowHistory();
    void statusTextFollowsHoveredLink();
    void locationNameFallsBackToAddress();
    void lostFocusOnlyToNothingInParticular();
    void failedLoadIsReportedWithItsAddress();

    void evaluateRunsApartFromPageScripts();
    void evaluateAnswersScriptThatLeavesThePage();
    void evaluateTimesOut();
    void evaluateFailsWhenViewCloses();

    void deadRendererIsReloadedOnce();

    void addressesBecomeUrls_data();
    void addressesBecomeUrls();
    void chromiumFlags_data();
    void chromiumFlags();

private:
    // Runs `action` and waits until the page at `url` has completed.
    bool completes(const QUrl &url, const std::function<void()> &action);
    bool open(const QString &path)
    {
        return completes(m_server->url(path), [&] { m_browser->Navigate(m_server->url(path).toString()); });
    }
    QVariant evaluate(const QString &script, WebBrowser::ScriptWorld world = WebBrowser::ScriptWorld::Isolated)
    {
        return m_browser->evaluate(script, 5000, world).value_or(QVariant(QStringLiteral("failed")));
    }

    std::unique_ptr<QWidget> m_window;
    WebBrowser *m_browser = nullptr;
    QLineEdit *m_other = nullptr;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<ModalAnswerer> m_modal;
    qsizetype m_topLevels = 0;
};

void WebBrowserTest::init()
{
    m_server = std::make_unique<LocalHttpServer>();
    m_server->addPage("/dialogs.html", kDialogsPage);
    m_server->addPage("/frameset.html", kFramesetPage);
    m_server->addPage("/iframe.html", kIframePage);
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

    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_browser = new WebBrowser;
    m_other = new QLineEdit;
    layout->addWidget(m_browser);
    layout->addWidget(m_other);
    m_window->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_modal = std::make_unique<ModalAnswerer>();
    m_topLevels = QApplication::topLevelWidgets().size();
}

void WebBrowserTest::cleanup()
{
    QCOMPARE(m_modal->seen(), 0);
    QTRY_COMPARE(QApplication::topLevelWidgets().size(), m_topLevels);
    m_window.reset();
    m_modal.reset();
    m_server.reset();
}

bool WebBrowserTest::completes(const QUrl &url, const std::function<void()> &action)
{
    QSignalSpy spy(m_browser, &WebBrowser::DocumentComplete);
    action();
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); spy.wait(50)) {
        for (const QList<QVariant> &arguments : spy)
            if (arguments.at(0).toUrl() == url)
                return true;
    }
    return false;
}

void WebBrowserTest::pageDialogsStaySilent()
{
    QVERIFY(open("/dialogs.html"));
    QTRY_VERIFY(evaluate("document.body.dataset.log").toString().size() > 0);
    const QString once = "alert:TypeError confirm:TypeError prompt:given modal:undefined open:TypeError";
    QCOMPARE(evaluate("document.body.dataset.log").toString(), once + ' ' + once);
    // Our own world keeps the engine's dialogs: they must answer without a box.
    QCOMPARE(evaluate("[typeof alert('a'), confirm('c'), prompt('p', 'given')].join()").toString(),
             QStringLiteral("undefined,true,given"));
    QCOMPARE(m_browser->LocationURL(), m_server->url("/dialogs.html").toString());
}

void WebBrowserTest::popupsTheUserAsksForOpenInTheView()
{
    // A click of the user's on a link with target=_blank.
    QVERIFY(open("/blank-link.html"));
    // A renderer under load may not have drawn its first frame yet and then drops the click, as
    // it would a user's: click again until one is taken (the link fills the top of the page).
    const QUrl popup = m_server->url("/popup.html");
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
        QSignalSpy spy(m_browser, &WebBrowser::DocumentComplete);
        QTest::mouseClick(m_browser->view()->focusProxy(), Qt::LeftButton, {}, QPoint(50, 50));
        for (QDeadlineTimer deadline(1000); !opened && !deadline.hasExpired(); spy.wait(50))
            opened = std::ranges::any_of(spy, [&](const QList<QVariant> &a) { return a.at(0).toUrl() == popup; });
    }
    QVERIFY(opened);
    QCOMPARE(m_browser->LocationURL(), m_server->url("/popup.html").toString());
    // The program's own step clicks as the user would.
    QVERIFY(open("/blank-link.html"));
    QVERIFY(completes(m_server->url("/popup.html"),
                      [&] { m_browser->performAction("document.getElementById('blank').click()"); }));
}

void WebBrowserTest::popupsOfScriptsAreSuppressed_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("script");
    QTest::newRow("page's timer clicks a target _blank link") << "/blank-link.html" << "";
    QTest::newRow("page's timer opens a window") << "/timer-open.html" << "";
    QTest::newRow("our script clicks a target _blank link")
        << "/dialogs.html" << "document.getElementById('blank').click()";
    QTest::newRow("window.open where the page scripts did not run") << "/dialogs.html" << "window.open('/popup.html')";
}

void WebBrowserTest::popupsOfScriptsAreSuppressed()
{
    QFETCH(QString, page);
    QFETCH(QString, script);
    const QString url = m_server->url(page).toString();
    QVERIFY(open(page));
    if (page == "/blank-link.html")
        evaluate("setTimeout(function(){document.getElementById('blank').click();},50);true", WebBrowser::ScriptWorld::Page);
    if (!script.isEmpty())
        evaluate(script);
    QTest::qWait(1500);
    QCOMPARE(m_browser->LocationURL(), url);
    QCOMPARE(m_server->requestCount("/popup.html"), 0);
}

void WebBrowserTest::popupAskedForBeforeTheStepBeganIsThePages()
{
    // The page is busy when the step is sent and asks for a window as it finishes: the step's
    // script runs only after that, so the window cannot be the step's, although it reaches the
    // view while the step waits for its answer.
    QVERIFY(open("/blank-link.html"));
    m_browser->page()->runJavaScript("var t=Date.now();while(Date.now()-t<300);document.getElementById('blank').click();",
                                     QWebEngineScript::MainWorld);
    QVERIFY(m_browser->performAction("1"));
    QTest::qWait(1500);
    QCOMPARE(m_browser->LocationURL(), m_server->url("/blank-link.html").toString());
    QCOMPARE(m_server->requestCount("/popup.html"), 0);
}

void WebBrowserTest::permissionRequestsAreDenied()
{
    QVERIFY(open("/permissions.html"));
    // Each request is answered, and answered no, without a box.
    QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.body.dataset.answers||''", WebBrowser::ScriptWorld::Page).toString(),
                              QStringLiteral("geolocation:1 notification:denied media:NotAllowedError screen:NotAllowedError"),
                              10000);
}

void WebBrowserTest::windowCloseShowsBlankPage()
{
    // The engine lets a script close only a window with one page in its history: a new view.
    QVERIFY(completes(QUrl("about:blank"), [&] { m_browser->Navigate(m_server->url("/close.html").toString()); }));
    QCOMPARE(m_browser->LocationURL(), QStringLiteral("about:blank"));
}

void WebBrowserTest::unloadPromptLetsThePageGo()
{
    QVERIFY(open("/unload.html"));
    // The leave-page question is only asked of a page the user has touched.
    QTest::mouseClick(m_browser->view()->focusProxy(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(open("/popup.html"));
}

void WebBrowserTest::pageScriptsRunInEveryFrame_data()
{
    QTest::addColumn<QString>("frame");
    QTest::newRow("main frame") << "window";
    QTest::newRow("same-origin iframe") << "frames[0]";
}

void WebBrowserTest::pageScriptsRunInEveryFrame()
{
    QFETCH(QString, frame);
    QVERIFY(open("/iframe.html"));
    const QString script = "var w = %1; [w.alert === null, w.confirm === null, w.open === null, "
                           "w.showModaldialog === null, w.showModalDialog() === undefined].join()";
    QCOMPARE(evaluate(script.arg(frame), WebBrowser::ScriptWorld::Page).toString(),
             QStringLiteral("true,true,true,true,true"));
}

void WebBrowserTest::oneDocumentCompletePerPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("frameset") << "/frameset.html" << "frames";
    QTest::newRow("iframes, one added late") << "/iframe.html" << "iframe";
}

void WebBrowserTest::oneDocumentCompletePerPage()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QSignalSpy documents(m_browser, &WebBrowser::DocumentComplete);
    QSignalSpy navigations(m_browser, &WebBrowser::NavigateComplete);
    QSignalSpy progress(m_browser, &WebBrowser::ProgressChange);
    QSignalSpy titles(m_browser, &WebBrowser::TitleChange);
    QVERIFY(open(path));
    // Wait for every frame, the nested and the late ones included, to have loaded. A new frame's
    // first document is a blank one, complete at once.
    QTRY_COMPARE(evaluate("(function count(w) { var n = 1; for (var i = 0; i < w.frames.length; ++i) { var d = "
                          "w.frames[i].document; if (d.URL !== 'about:blank' && d.readyState === 'complete') "
                          "n += count(w.frames[i]); } return n; })(window)")
                     .toInt(),
                 path == "/frameset.html" ? 5 : 3);
    QTest::qWait(200);
    QCOMPARE(documents.size(), 1);
    QCOMPARE(documents.at(0), (QList<QVariant>{m_server->url(path), true}));
    QCOMPARE(navigations.size(), 1);
    QVERIFY(progress.size() > 1);
    QCOMPARE(progress.first().at(1).toInt(), 100);
    QCOMPARE(progress.last(), (QList<QVariant>{0, 0}));
    QCOMPARE(titles.last().at(0).toString(), title);
}

void WebBrowserTest::navigationCommandsFollowHistory()
{
    QSignalSpy commands(m_browser, &WebBrowser::CommandStateChange);
    const auto enabled = [&](int command) {
        bool state = false;
        for (const QList<QVariant> &arguments : commands)
            if (arguments.at(0).toInt() == command)
                state = arguments.at(1).toBool();
        return state;
    };
    QVERIFY(open("/titled.html"));
    QVERIFY(open("/popup.html"));
    QVERIFY(enabled(2));
    QVERIFY(!enabled(1));
    QVERIFY(completes(m_server->url("/titled.html"), [&] { m_browser->goBack(); }));
    QTRY_VERIFY(enabled(1));
    QVERIFY(!enabled(2));
    QVERIFY(completes(m_server->url("/popup.html"), [&] { m_browser->goForward(); }));
    QTRY_VERIFY(!enabled(1));
    QVERIFY(enabled(2));
}

void WebBrowserTest::statusTextFollowsHoveredLink()
{
    QSignalSpy status(m_browser, &WebBrowser::StatusTextChange);
    QVERIFY(open("/titled.html"));
    QWidget *surface = m_browser->view()->focusProxy();
    QTest::mouseMove(surface, QPoint(40, 400));
    QTest::mouseMove(surface, QPoint(40, 40));
    QTRY_COMPARE(status.isEmpty() ? QString() : status.last().at(0).toString(),
                 m_server->url("/plain.html").toString());
    QTest::mouseMove(surface, QPoint(40, 450));
    QTRY_COMPARE(status.last().at(0).toString(), QString());
}

void WebBrowserTest::locationNameFallsBackToAddress()
{
    QCOMPARE(m_browser->LocationURL(), QStringLiteral("about:blank"));
    QSignalSpy titles(m_browser, &WebBrowser::TitleChange);
    QVERIFY(open("/titled.html"));
    QCOMPARE(m_browser->LocationName(), QStringLiteral("titled"));
    QTRY_COMPARE(titles.last().at(0).toString(), QStringLiteral("titled"));
    QVERIFY(open("/plain.html"));
    QCOMPARE(m_browser->LocationName(), m_server->url("/plain.html").toString());
    QTRY_COMPARE(titles.last().at(0).toString(), m_server->url("/plain.html").toString());
}

void WebBrowserTest::lostFocusOnlyToNothingInParticular()
{
    QSignalSpy lost(m_browser, &WebBrowser::LostFocus);
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(open("/titled.html"));
        m_browser->view()->setFocus();
        QTRY_VERIFY(m_browser->view()->focusProxy()->hasFocus());
        // The user clicks or tabs into another control: that is where the typing goes.
        QTest::mouseClick(m_other, Qt::LeftButton);
        QTRY_VERIFY(m_other->hasFocus());
        QTest::qWait(100);
        QCOMPARE(lost.size(), round - 1);
        // Another window takes over.
        m_browser->view()->setFocus();
        QTRY_VERIFY(m_browser->view()->focusProxy()->hasFocus());
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        QTRY_COMPARE(lost.size(), round);
        elsewhere.close();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // A new renderer brings a new widget to take the keys; it must be watched as well.
        QWidget *before = m_browser->view()->focusProxy();
        QVERIFY(completes(m_server->url("/titled.html"), [&] { m_browser->page()->load(QUrl("chrome://kill")); }));
        QTRY_VERIFY(m_browser->view()->focusProxy() != before);
    }
}

void WebBrowserTest::failedLoadIsReportedWithItsAddress()
{
    QVERIFY(open("/titled.html"));
    QSignalSpy documents(m_browser, &WebBrowser::DocumentComplete);
    const QUrl refused = m_server->url("/refused.html");
    m_browser->Navigate(refused.toString());
    QTRY_VERIFY_WITH_TIMEOUT(!documents.isEmpty(), 10000);
    QCOMPARE(documents.first().at(0).toUrl(), refused);
    QCOMPARE(documents.first().at(1).toBool(), false);
    QVERIFY(m_browser->showsFailedLoad());
    QCOMPARE(m_browser->lastFailure().url, refused);
    QVERIFY2(!m_browser->lastFailure().reason.isEmpty(), "no reason given");
    // A load replaced by another before it finished is no failure.
    documents.clear();
    m_server->holdRequests("/held.html");
    m_browser->Navigate(m_server->url("/held.html").toString());
    QTest::qWait(200);
    QVERIFY(open("/plain.html"));
    QTest::qWait(200);
    QCOMPARE(documents.size(), 1);
    QVERIFY(documents.first().at(1).toBool());
    QVERIFY(!m_browser->showsFailedLoad());
}

void WebBrowserTest::evaluateRunsApartFromPageScripts()
{
    QVERIFY(open("/globals.html"));
    QCOMPARE(evaluate("JSON.stringify({a: [1]})").toString(), QStringLiteral("{\"a\":[1]}"));
    QCOMPARE(evaluate("typeof pageGlobal").toString(), QStringLiteral("undefined"));
    QCOMPARE(evaluate("pageGlobal", WebBrowser::ScriptWorld::Page).toInt(), 1);
}

void WebBrowserTest::evaluateAnswersScriptThatLeavesThePage()
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

void WebBrowserTest::evaluateTimesOut()
{
    QVERIFY(open("/titled.html"));
    const auto late = m_browser->evaluate(kBusyScript, 50);
    QVERIFY(!late);
    QVERIFY(late.error().message.find("did not answer") != std::string::npos);
    // The late answer must not be taken for the next one.
    QCOMPARE(evaluate("2").toInt(), 2);
}

void WebBrowserTest::evaluateFailsWhenViewCloses()
{
    QVERIFY(open("/titled.html"));
    QPointer<WebBrowser> browser = m_browser;
    QTimer::singleShot(50, this, [this] { delete std::exchange(m_browser, nullptr); });
    const auto result = browser->evaluate(kBusyScript, 5000);
    QVERIFY(!browser);
    QVERIFY(!result);
    QVERIFY(result.error().message.find("closed") != std::string::npos);
}

void WebBrowserTest::deadRendererIsReloadedOnce()
{
    const QUrl page = m_server->url("/titled.html");
    const QUrl kill("chrome://kill");
    QVERIFY(open("/titled.html"));
    QVERIFY(completes(page, [&] { m_browser->page()->load(kill); }));
    QCOMPARE(m_server->requestCount("/titled.html"), 2);
    // Dying again on the page just reloaded gives up on it.
    QVERIFY(completes(QUrl("about:blank"), [&] { m_browser->page()->load(kill); }));
    QCOMPARE(m_browser->LocationURL(), QStringLiteral("about:blank"));
    QCOMPARE(m_server->requestCount("/titled.html"), 2);
    // Opening the page anew earns it another reload.
    QVERIFY(open("/titled.html"));
    QVERIFY(completes(page, [&] { m_browser->page()->load(kill); }));
    QCOMPARE(m_server->requestCount("/titled.html"), 4);
    QCOMPARE(evaluate("document.title").toString(), QStringLiteral("titled"));
}

void WebBrowserTest::addressesBecomeUrls_data()
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

void WebBrowserTest::addressesBecomeUrls()
{
    QFETCH(QString, address);
    QFETCH(QUrl, url);
    QCOMPARE(WebBrowser::urlFromAddress(address), url);
}

void WebBrowserTest::chromiumFlags_data()
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

void WebBrowserTest::chromiumFlags()
{
    QFETCH(QString, userFlags);
    QFETCH(bool, root);
    QFETCH(bool, offscreen);
    QFETCH(QString, flags);
    QCOMPARE(tabvoro::browser::chromiumFlags(userFlags, root, offscreen), flags);
}

int main(int argc, char **argv)
{
    tabvoro::browser::prepareWebEngine();
    QApplication app(argc, argv);
    WebBrowserTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "web_browser_test.moc"
