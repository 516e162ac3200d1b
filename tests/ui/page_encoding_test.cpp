// Page encodings in the real web view: pages served on 127.0.0.1 with and without a label are
// decoded as the engine decides, and captured from the view as from the saved page.

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/document/encoding_detection.h"
#include "capture/document/html_charset.h"
#include "capture/document/static_document.h"
#include "capture/output/code_page.h"
#include "support/local_http_server.h"
#include "support/test_window.h"
#include "test_support.h"

using namespace tabvoro;
using browser::WebBrowser;

namespace {

const QString kFixtures = QStringLiteral(TABVORO_FIXTURES "/encodings/");
constexpr int kRunMs = 60000;

// The words each fixture's capture must hold, so that two captures that agree are also right.
struct Fixture {
    const char *file;
    QStringList words;
};

const Fixture kFixtureFiles[] = {
    {"utf8-unlabeled.html", {"município", "Álvaro Mendonça", "苏州"}},
    {"gbk-unlabeled.html", {"内蒙古自治区", "比重（%）"}},
    {"gb2312-meta.html", {"门头沟区", "人口密度（人/平方公里）"}},
    {"big5-labeled.html", {"臺北市", "主管機關"}},
    {"windows-1252-labeled.html", {"Évry-Courcouronnes", "François de Mazières", "9 800 M€"}},
    {"windows-1252-unlabeled.html", {"São João del-Rei", "Ribeirão das Neves", "mesorregião"}},
};

QByteArray fileBytes(const QString &path) { return QByteArray::fromStdString(test::readBytes(path.toStdString())); }

// A page too short for the detector: the engine reads it in the code page (GB18030), where the
// view's own detector takes it for Shift_JIS.
const QByteArray kShortShiftJis = "<html><body><table><tr><td>\x93\x8C\x8B\x9E</td></tr></table>"
                                  "<a id=\"next\" href=\"next.html\">next</a></body></html>";

}  // namespace

class PageEncodingTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<test::ScratchDir> m_windowDir;
    std::unique_ptr<ui::Frmmain> m_window;
    WebBrowser *m_browser = nullptr;

    static QString unlabeledPath(const QString &file) { return "/unlabeled/" + file; }

    // Runs tabvoro-cli with `args`; its output file's bytes, empty when it failed.
    QByteArray cliCapture(const QStringList &args, const QString &output)
    {
        QProcess process;
        process.setProgram(TABVORO_CLI);
        process.setArguments(args + QStringList{"--output", output});
        QSignalSpy finished(&process, &QProcess::finished);
        process.start();
        // The server answers only while this process's event loop turns.
        if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, kRunMs)) {
            process.kill();
            process.waitForFinished();
            qWarning("tabvoro-cli did not finish");
            return {};
        }
        if (process.exitCode() != 0)
            qWarning("tabvoro-cli: %s", process.readAllStandardError().constData());
        return fileBytes(output);
    }

    // Runs `action` and waits for the DocumentComplete of `url`, then a while for any second
    // one; the number of them.
    int completionsOf(const std::function<void()> &action, const QUrl &url)
    {
        QSignalSpy complete(m_browser, &WebBrowser::DocumentComplete);
        action();
        const auto count = [&] {
            int n = 0;
            for (const auto &arguments : complete)
                n += arguments.at(0).toUrl() == url && arguments.at(1).toBool();
            return n;
        };
        if (!QTest::qWaitFor([&] { return count() > 0; }, 20000))
            return 0;
        QTest::qWait(300);
        return count();
    }

    int completions(const QUrl &url)
    {
        return completionsOf([&] { m_browser->Navigate(url.toString()); }, url);
    }

    QString evaluate(const QString &script) { return m_browser->evaluate(script, 5000).value_or(QVariant()).toString(); }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(TABVORO_CLI));
        for (const auto &fixture : kFixtureFiles) {
            // No charset in the header: a page that names none is unlabeled through and through.
            m_site.addPage(unlabeledPath(fixture.file), fileBytes(kFixtures + fixture.file), "text/html");
        }
        m_site.addPage("/short-sjis.html", kShortShiftJis, "text/html");
        m_site.addPage("/next.html", "<p>next</p>", "text/html");
        m_site.addPage("/first.html", "<p>first</p>", "text/html");

        m_windowDir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_windowDir);
        QVERIFY(m_window);
        m_browser = m_window->webBrowser();
        // The window opens the blank page as it starts; a page opened before that load ends
        // can be overtaken by it.
        QTRY_VERIFY(!m_browser->isLoading());
    }

    void cleanupTestCase()
    {
        m_window.reset();
        m_windowDir.reset();
    }

    void init() { m_dir = std::make_unique<test::ScratchDir>(); }
    void cleanup() { m_dir.reset(); }

    // The window's run over the page served and the command line's capture of the saved file
    // write the same bytes.
    void capturesMatchTheSavedPage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("words");
        for (const auto &fixture : kFixtureFiles)
            QTest::newRow(fixture.file) << QString(fixture.file) << fixture.words;
    }

    void capturesMatchTheSavedPage()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, words);
        const QString folder = QString::fromStdString(m_dir->folder());
        const QByteArray live =
            cliCapture({"run", "--header", m_site.url(unlabeledPath(file)).toString()}, folder + "live.csv");
        const QByteArray saved = cliCapture({"capture", "--header", kFixtures + file}, folder + "saved.csv");
        QVERIFY(!saved.isEmpty());
        QCOMPARE(live, saved);
        const QString text = QString::fromStdString(capture::decodeText(saved.toStdString(), "GB18030").value());
        for (const QString &word : words)
            QVERIFY2(text.contains(word), qPrintable(word + " not in " + text));
    }

    // The view decodes every page as the engine decides, and completes it once.
    void viewDecodesAsTheEngineDecides_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("bytes");
        for (const auto &fixture : kFixtureFiles)
            QTest::newRow(fixture.file) << unlabeledPath(fixture.file) << fileBytes(kFixtures + fixture.file);
        QTest::newRow("short text, shown again") << "/short-sjis.html" << kShortShiftJis;
    }

    void viewDecodesAsTheEngineDecides()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, bytes);
        const QUrl url = m_site.url(path);
        QCOMPARE(completions(url), 1);
        QCOMPARE(m_browser->LocationURL(), url.toString());

        const auto decision = capture::html::pageEncoding(bytes.toStdString());
        QCOMPARE(capture::html::decoderName(evaluate("document.characterSet").toStdString()), decision.decoder);
        const auto page = capture::StaticDocument::parse(capture::html::pageTextAsUtf8(bytes.toStdString()), "");
        const std::string firstCell = page->table(0).value()->cellText(0, 0).value();
        QCOMPARE(evaluate("document.querySelector('td, th').textContent").toStdString(), firstCell);
    }

    // A page shown again from its bytes is still the page at its address: its links lead on
    // from there, the page's scripts of ours run in it, and back and forward pass it once.
    void pageShownAgainKeepsItsAddress()
    {
        QCOMPARE(completions(m_site.url("/first.html")), 1);
        const QUrl url = m_site.url("/short-sjis.html");
        QCOMPARE(completions(url), 1);
        QCOMPARE(evaluate("document.characterSet"), QStringLiteral("GB18030"));
        QCOMPARE(evaluate("location.href"), url.toString());
        // The scripts that keep a page from opening windows are in the page shown again too.
        QCOMPARE(m_browser->evaluate("String(window.open)", 5000, WebBrowser::ScriptWorld::Page).value_or(QVariant()),
                 QVariant(QStringLiteral("null")));
        QCOMPARE(evaluate("document.getElementById('next').href"), m_site.url("/next.html").toString());

        QCOMPARE(completionsOf([this] { evaluate("document.getElementById('next').click(), 1"); }, m_site.url("/next.html")), 1);

        // Back to the page shown again, and back past it to the page before.
        QCOMPARE(completionsOf([this] { m_browser->goBack(); }, url), 1);
        QCOMPARE(evaluate("document.characterSet"), QStringLiteral("GB18030"));
        QCOMPARE(completionsOf([this] { m_browser->goBack(); }, m_site.url("/first.html")), 1);
        QCOMPARE(completionsOf([this] { m_browser->goForward(); }, url), 1);
        QCOMPARE(evaluate("document.characterSet"), QStringLiteral("GB18030"));
        QCOMPARE(completionsOf([this] { m_browser->goForward(); }, m_site.url("/next.html")), 1);
    }

    // What the check costs: nothing more than one script for a page with a meta label, a HEAD
    // request for a page labeled in its header, the page's bytes once more for one unlabeled.
    void requestsTheCheckMakes_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("requests");
        QTest::newRow("meta") << QByteArray("text/html") << QByteArray("<meta charset=\"gbk\">") << 1;
        QTest::newRow("header") << QByteArray("text/html; charset=gbk") << QByteArray() << 2;
        QTest::newRow("unlabeled") << QByteArray("text/html") << QByteArray() << 3;
        QTest::newRow("unlabeled UTF-8") << QByteArray("text/html") << QByteArray("<!--utf-8-->") << 1;
    }

    void requestsTheCheckMakes()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, head);
        QFETCH(int, requests);
        const QString path = QStringLiteral("/cost-%1.html").arg(QTest::currentDataTag());
        const QByteArray text = head.contains("utf-8") ? QByteArray("\xE4\xB8\xAD\xE6\x96\x87") : QByteArray("\xD6\xD0\xCE\xC4");
        m_site.addPage(path, "<html><head>" + head + "</head><body><p>" + text + "</p></body></html>", contentType);
        QCOMPARE(completions(m_site.url(path)), 1);
        QCOMPARE(m_site.requestCount(path), requests);
        QCOMPARE(evaluate("document.body.textContent"), QStringLiteral("中文"));
    }
};

int main(int argc, char **argv)
{
    tabvoro::browser::prepareWebEngine();
    QApplication app(argc, argv);
    PageEncodingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "page_encoding_test.moc"
