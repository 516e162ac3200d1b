// The browser windows already open: pages of a headless Chromium read over the DevTools
// protocol, and what start-up makes of them.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "browser/open_browser_windows.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "support/local_http_server.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

namespace {

// A: one listed table of two cells, one with a one-cell first row. B: three cells, more text.
const QByteArray kPageA = "<html><body><table><tr><td> 名称 </td><td>数<br>量</td></tr></table>"
                          "<table><tr><td>one cell</td></tr><tr><td>a</td><td>b</td></tr></table></body></html>";
const QByteArray kPageB = "<html><body><table><tr><th>a</th><th>b</th><th>c</th></tr>"
                          "<tr><td>a row longer than all of page A</td></tr></table><a href=\"/2\">下一页</a></body></html>";

QUrl local(quint16 port) { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)); }

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

std::unique_ptr<ui::Frmmain> startWindow(const test::ScratchDir &folder, const QUrl &endpoint, bool openStartPage)
{
    ui::FrmmainOptions options;
    options.programFolder = QString::fromStdString(folder.folder());
    options.openStartPage = openStartPage;
    options.devToolsEndpoint = endpoint.toString();
    return std::make_unique<ui::Frmmain>(options);
}

}  // namespace

class OpenBrowserWindowsTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    test::ScratchDir m_profile;
    QProcess m_chromium;
    QUrl m_endpoint;

    // Opens a tab through the DevTools endpoint: PUT in current versions, GET in older ones.
    bool openTab(const QUrl &url)
    {
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QUrl request = m_endpoint.resolved(QUrl("/json/new"));
        request.setQuery(url.toString(QUrl::FullyEncoded));
        for (const QByteArray verb : {"PUT", "GET"}) {
            std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(QNetworkRequest(request), verb));
            if (QSignalSpy(reply.get(), &QNetworkReply::finished).wait(5000) && reply->error() == QNetworkReply::NoError)
                return true;
        }
        return false;
    }

    // Whether both pages show their tables to the snapshot, within 20 s.
    bool bothPagesLoaded()
    {
        browser::SnapshotRequest request;
        request.tables = browser::SnapshotRequest::Tables::Count;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            int ready = 0;
            for (const auto &page : browser::readOpenBrowserPages(m_endpoint, request))
                ready += page.document && page.document->tableCount().value_or(0) > 0;
            if (ready == 2)
                return true;
            QTest::qWait(200);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        m_site.addPage("/a.html", kPageA);
        m_site.addPage("/b.html", kPageB);
        if (!QFileInfo::exists("/usr/bin/chromium"))
            return;
        const quint16 port = freePort();
        // Its complaints about the missing desktop bus would bury the test's own output.
        m_chromium.setStandardOutputFile(QProcess::nullDevice());
        m_chromium.setStandardErrorFile(QProcess::nullDevice());
        m_chromium.start("/usr/bin/chromium",
                         {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                          "--disable-background-networking", "--disable-component-update", "--disable-sync",
                          "--user-data-dir=" + QString::fromStdString(m_profile.folder()),
                          "--remote-debugging-port=" + QString::number(port), "--remote-debugging-address=127.0.0.1",
                          m_site.url("/a.html").toString()});
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000 && browser::readOpenBrowserPages(local(port), {}).empty())
            QTest::qWait(200);
        m_endpoint = local(port);
        QVERIFY(openTab(m_site.url("/b.html")));
        QVERIFY(bothPagesLoaded());
    }

    void cleanupTestCase()
    {
        if (m_chromium.state() == QProcess::NotRunning)
            return;
        m_chromium.terminate();
        if (!m_chromium.waitForFinished(5000))
            m_chromium.kill(), m_chromium.waitForFinished(5000);
    }

    void startUpListsTheOpenPagesTables()
    {
        if (m_endpoint.isEmpty())
            QSKIP("Chromium is not installed");
        test::ScratchDir folder;
        const auto window = startWindow(folder, m_endpoint, true);
        const QString a = m_site.url("/a.html").toString();
        const QString b = m_site.url("/b.html").toString();
        // The pages in the browser's order; each restarts the numbers, and a line break in a cell
        // goes.
        const QString first = window->Combo1->itemText(0);
        const QString second = window->Combo1->itemText(1);
        QCOMPARE(QSet<QString>({first, second}), QSet<QString>({a, b}));
        const QStringList entries = first == a ? QStringList{"1--名称,数量,", "1--a,b,c,"} : QStringList{"1--a,b,c,", "1--名称,数量,"};
        QCOMPARE(window->List1->count(), 2);
        QCOMPARE(window->List1->item(0)->text(), entries[0]);
        QCOMPARE(window->List1->item(1)->text(), entries[1]);
        QCOMPARE(window->List1->currentItem()->text(), QString("1--a,b,c,"));
        QCOMPARE(window->txtGjz->text(), QString("a"));  // the table choice ran for it
        QCOMPARE(window->Txturl->text(), b);
        QCOMPARE(window->txtNp->text(), QString("下一页"));
        QVERIFY(!window->OutputPath().isEmpty());
        QCOMPARE(window->Text1->toPlainText(), "你当前正在浏览的网页及所含表格情况如下：\n\n" + first + "\n此页面共含表格1个\n\n\n" +
                                                   second + "\n此页面共含表格1个\n\n\n" +
                                                   QString(ui::userGuide()).replace("\r\n", "\n"));
        QSignalSpy loaded(window->webBrowser(), &browser::WebBrowser::DocumentComplete);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toUrl() == QUrl(b), 20000);
    }

    void noBrowserAnsweringCostsLittle_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("withinMs");
        QTest::newRow("closed port") << "closed" << 500;
        QTest::newRow("listener that never answers") << "silent" << 2500;
        QTest::newRow("not a page list") << "other" << 1000;
    }

    void noBrowserAnsweringCostsLittle()
    {
        QFETCH(QString, kind);
        QFETCH(int, withinMs);
        QTcpServer silent;
        silent.listen(QHostAddress::LocalHost, 0);
        const QUrl endpoint = kind == "closed" ? local(freePort()) : kind == "silent" ? local(silent.serverPort()) : m_site.url("/");
        QElapsedTimer timer;
        timer.start();
        QVERIFY(browser::readOpenBrowserPages(endpoint, {}).empty());
        QVERIFY2(timer.elapsed() < withinMs, qPrintable(QString::number(timer.elapsed())));

        test::ScratchDir folder;
        const auto window = startWindow(folder, endpoint, false);
        QCOMPARE(window->Combo1->count(), 0);
        QCOMPARE(window->List1->count(), 0);
        QCOMPARE(window->Txturl->text(), QString());
        QCOMPARE(window->Text1->toPlainText(), QString(ui::userGuide()).replace("\r\n", "\n"));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    OpenBrowserWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "open_browser_windows_test.moc"
