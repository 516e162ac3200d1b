// Runs left to themselves on sites that misbehave as real ones do: pages whose load fails once
// or for good, pages that never finish, next pages put in place by a script, advertisements
// opened by timers; and the window's focus and status row around them. The real window and web
// view, offscreen, against pages served on 127.0.0.1.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/next_page.h"
#include "capture/output/code_page.h"
#include "support/local_http_server.h"
#include "support/modal_answerer.h"
#include "support/test_window.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

using namespace tabvoro;

namespace {

constexpr int kRunMs = 40000;

QByteArray rows(int n)
{
    const QByteArray k = QByteArray::number(n);
    return "<tr><td>p" + k + "a</td><td>甲" + k + "</td></tr><tr><td>p" + k + "b</td><td>乙" + k + "</td></tr>";
}

QString captured(std::initializer_list<int> pages)
{
    QString text;
    for (int n : pages)
        text += QString("p%1a,甲%1\r\np%1b,乙%1\r\n").arg(n);
    return text;
}

const QByteArray kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>";
const QByteArray kHeader = "<tr><th>编号</th><th>名称</th></tr>";

// Page n of 5 linked by "下一页", with `extra` in its body.
QByteArray chainPage(int n, const QByteArray &extra = {})
{
    const QByteArray next = n < 5 ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
    return kHead + "<table>" + kHeader + rows(n) + "<tr><td colspan=\"2\">" + next + "</td></tr></table>" + extra +
           "</body></html>";
}

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

// An advertisement that opens itself on a timer, by every means a script has.
const QByteArray kAdvertisement =
    "<script>setTimeout(function(){try{window.open('/ad.html');}catch(e){}"
    "var a=document.createElement('a');a.target='_blank';a.href='/ad.html';document.body.appendChild(a);a.click();"
    "},30);</script>";

}  // namespace

class UnattendedRunTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;

    ui::Frmmain &window() { return *m_window; }
    QString url(const QString &path) const { return m_site.url(path).toString(); }

    void open(const QString &address)
    {
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        window().Txturl->setText(address);
        QTest::keyClick(window().Txturl, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty() && complete.last().at(0).toUrl().toString() == address, kRunMs);
    }

    void startRun(const QString &first, int mode = 0)
    {
        open(first);
        window().txtGjz->setText("编号");
        window().txtNp->setText("下一页");
        window().Option1[mode]->setChecked(true);
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(window().Command1->text(), QString(capture::kRunningCaption));
    }

    void waitForTheEnd(int ms = kRunMs)
    {
        QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), QString(capture::kIdleCaption), ms);
    }

    QByteArray output() const { return QByteArray::fromStdString(test::readBytes(m_window->OutputPath().toStdString())); }

    static QByteArray gb18030(const QString &text)
    {
        return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
    }

private slots:
    void initTestCase()
    {
        for (int n = 1; n <= 5; ++n) {
            for (const char *chain : {"/once/", "/always/", "/held/", "/timed/", "/slow/"})
                m_site.addPage(QString("%1%2.html").arg(chain).arg(n), chainPage(n));
            m_site.addPage(QString("/ads/%1.html").arg(n), chainPage(n, kAdvertisement));
        }
        m_site.addPage("/ad.html", "<title>ad</title><table><tr><td>编号</td><td>广告</td></tr></table>");
        m_site.failRequests("/once/3.html", 1);
        m_site.failRequests("/timed/3.html", 1);
        m_site.slowRequests("/slow/3.html", int(kHead.size()), 1500);
        m_site.failRequests("/always/3.html", -1);
        m_site.holdRequests("/held/2.html");
        m_site.addPage("/num.html", kNumberedPage);
        m_site.failRequests("/num.html?page=3", 1);
        m_site.addPage("/list.html", kNumberedPage);
        m_site.failRequests("/list.html?page=2", 1);
        m_site.addPage("/inplace-none.html", inPlacePage("none"));
        m_site.addPage("/inplace-nothing.html", inPlacePage("nothing"));
        m_site.addPage("/inplace-redraw.html", inPlacePage("redraw"));
        m_site.addPage("/hover.html", "<a href=\"/elsewhere.html\" style=\"display:block;height:200px\">链接</a>"
                                      "<div style=\"height:400px\"></div>");
    }

    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        QTest::qWait(50);
        QTRY_VERIFY(!m_window->webBrowser()->isLoading());
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    // ---- Failed loads

    // Page 3 fails once: the status row says it is tried again, and the file ends up exactly as
    // on a site that never failed, in each mode that leads from page to page.
    void pageThatFailsOnceIsTriedAgain_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<QString>("failing");
        QTest::newRow("next-page link") << "/once/1.html" << 0 << 0 << "/once/3.html";
        QTest::newRow("next-page link, timed") << "/timed/1.html" << 0 << 300 << "/timed/3.html";
        QTest::newRow("page number") << "/num.html?page=1" << 1 << 0 << "/num.html?page=3";
        QTest::newRow("address list") << "/list.html?page=1" << 2 << 0 << "/list.html?page=2";
    }

    void pageThatFailsOnceIsTriedAgain()
    {
        QFETCH(QString, first);
        QFETCH(int, mode);
        QFETCH(int, timerMs);
        QFETCH(QString, failing);
        QSignalSpy retried(m_window.get(), &ui::Frmmain::loadRetried);
        open(url(first));
        if (mode == 1) {
            window().Txturl->setText(url("/num.html?page=(*)"));
            window().txtYs->setText("1");
            window().txtYw->setText("5");
        }
        if (mode == 2) {
            for (int n = 1; n <= 5; ++n)
                window().List3->addItem(url(QString("/list.html?page=%1").arg(n)));
            window().List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        }
        if (timerMs) {
            window().CheckDs->setChecked(true);
            window().Timer1->setInterval(timerMs);
        }
        window().txtGjz->setText("编号");
        window().txtNp->setText("下一页");
        window().Option1[mode]->setChecked(true);
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(output(), gb18030(captured({1, 2, 3, 4, 5})), kRunMs);
        // Left to run a little longer, nothing more comes.
        QTest::qWait(500);
        if (window().running())
            QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(output(), gb18030(captured({1, 2, 3, 4, 5})));
        QCOMPARE(retried.size(), 1);
        QVERIFY2(retried.first().at(0).toString().contains("第1次重试：" + url(failing)),
                 qPrintable(retried.first().at(0).toString()));
        QCOMPARE(window().runEndMessage(), QString());
    }

    // A timed tick that finds the next page still arriving (shown without its table and link
    // yet) does not take it for the last page: the run goes on to the end.
    void timedRunWaitsForAPageStillArriving()
    {
        open(url("/slow/1.html"));
        window().CheckDs->setChecked(true);
        window().Timer1->setInterval(300);
        window().txtGjz->setText("编号");
        window().txtNp->setText("下一页");
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        waitForTheEnd();
        QCOMPARE(output(), gb18030(captured({1, 2, 3, 4, 5})));
    }

    // Page 3 never loads: after three more tries the run ends, names the page, and keeps what
    // it had; the error page is never captured.
    void pageThatAlwaysFailsEndsTheRun()
    {
        QSignalSpy retried(m_window.get(), &ui::Frmmain::loadRetried);
        startRun(url("/always/1.html"));
        waitForTheEnd();
        QCOMPARE(retried.size(), 3);
        QCOMPARE(m_site.requestCount("/always/3.html"), 4);
        QVERIFY(window().runEndedOnFailedPage());
        QVERIFY2(window().Labar[3]->text().contains("4次都失败，采集已停止：" + url("/always/3.html")),
                 qPrintable(window().Labar[3]->text()));
        QCOMPARE(output(), gb18030(captured({1, 2})));
        QCOMPARE(m_site.requestCount("/always/4.html"), 0);
    }

    // Page 2 is never answered: the page time-out counts as a failure, retried as one.
    void pageThatNeverFinishesTimesOut()
    {
        window().setPageTimeout(800);
        startRun(url("/held/1.html"));
        waitForTheEnd();
        QVERIFY(window().runEndedOnFailedPage());
        QVERIFY2(window().runEndMessage().contains("0.8秒内没有打开完"), qPrintable(window().runEndMessage()));
        QCOMPARE(output(), gb18030(captured({1})));
    }

    // ---- Next pages put in place by a script

    void nextPageInPlace_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("endsWithMessage");
        QTest::newRow("last page without the link") << "/inplace-none.html" << false;
        QTest::newRow("last page's link does nothing") << "/inplace-nothing.html" << true;
        QTest::newRow("last page's link redraws it") << "/inplace-redraw.html" << true;
    }

    void nextPageInPlace()
    {
        QFETCH(QString, page);
        QFETCH(bool, endsWithMessage);
        window().setPageTimeout(2500);
        startRun(url(page));
        waitForTheEnd();
        // Every page once, though the document never changed.
        QCOMPARE(output(), gb18030(captured({1, 2, 3, 4, 5})));
        QCOMPARE(m_site.requestCount(page), 1);
        QCOMPARE(window().runEndedOnFailedPage(), false);
        if (endsWithMessage)
            QVERIFY2(window().runEndMessage().contains("下一页没有出现"), qPrintable(window().runEndMessage()));
        else
            QCOMPARE(window().runEndMessage(), QString());
    }

    // ---- Pop-ups, focus and the status row

    // An advertisement opening itself on every page never takes the place of the page harvested.
    void advertisementsDoNotReplaceThePage()
    {
        startRun(url("/ads/1.html"));
        waitForTheEnd();
        QCOMPARE(output(), gb18030(captured({1, 2, 3, 4, 5})));
        QCOMPARE(m_site.requestCount("/ad.html"), 0);
    }

    // After a click in the page, a click into a box puts the typing there; a space typed there
    // does not start a run.
    void clickIntoABoxKeepsTheFocusThere()
    {
        open(url("/once/1.html"));
        QWidget *surface = window().webBrowser()->widget()->focusProxy();
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(300, 300));
        QTRY_VERIFY(surface->hasFocus());
        QTest::mouseClick(window().txtNp, Qt::LeftButton);
        QTest::keyClicks(window().txtNp, "next page");
        QTest::qWait(100);
        QCOMPARE(window().txtNp->text(), QString("next page"));
        QVERIFY(window().txtNp->hasFocus());
        QCOMPARE(window().Command1->text(), QString(capture::kIdleCaption));
    }

    // The view losing the focus to another window sends it to the start button.
    void leavingTheWindowSendsTheFocusToTheButton()
    {
        open(url("/once/1.html"));
        window().webBrowser()->widget()->setFocus();
        QTRY_VERIFY(window().webBrowser()->widget()->focusProxy()->hasFocus());
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        elsewhere.close();
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_VERIFY(window().Command1->hasFocus());
    }

    // A message of the program's own survives the empty status report of a link left; the
    // browser's own status text is still cleared by it.
    void emptyStatusKeepsTheProgramsMessage()
    {
        open(url("/hover.html"));
        QWidget *surface = window().webBrowser()->widget()->focusProxy();
        QSignalSpy status(window().webBrowser(), &browser::WebBrowser::StatusTextChange);
        QTest::mouseMove(surface, QPoint(40, 500));
        QTest::mouseMove(surface, QPoint(40, 40));
        QTRY_COMPARE(window().Labar[3]->text(), url("/elsewhere.html"));
        window().webcbnm();
        const QString message = window().Labar[3]->text();
        QVERIFY(message.startsWith("采集表格将保存到此路径:"));
        status.clear();
        QTest::mouseMove(surface, QPoint(40, 500));
        QTRY_VERIFY(!status.isEmpty());
        QCOMPARE(status.last().at(0).toString(), QString());
        QCOMPARE(window().Labar[3]->text(), message);
        // Hovered and left again: now the empty report clears the address.
        QTest::mouseMove(surface, QPoint(40, 40));
        QTRY_COMPARE(window().Labar[3]->text(), url("/elsewhere.html"));
        QTest::mouseMove(surface, QPoint(40, 500));
        QTRY_COMPARE(window().Labar[3]->text(), QString());
    }

    // ---- One read per page

    // The stamp that lets the next-page step use the capture's read tells a changed or new
    // document from one left as it was.
    void changeStampTellsAChangedPage()
    {
        open(url("/once/1.html"));
        browser::BrowserEngine *view = window().browserEngine();
        const QString first = browser::currentChangeStamp(view);
        QVERIFY(!first.isEmpty());
        QCOMPARE(browser::currentChangeStamp(view), first);
        QVERIFY(view->evaluate("document.querySelector('td').textContent='x';true").value_or(false).toBool());
        const QString changed = browser::currentChangeStamp(view);
        QVERIFY(changed != first);
        QCOMPARE(browser::currentChangeStamp(view), changed);
        open(url("/once/2.html"));
        const QString other = browser::currentChangeStamp(view);
        QVERIFY(other != changed && other != first);
    }

    // A timed run's step is worked out on one page and carried out a round trip later; a page
    // that has replaced it meanwhile must not take the click (page 4's next link would be
    // followed in place of page 3's, and page 4 never captured).
    void stepActsOnlyOnTheDocumentItWasWorkedOutOn()
    {
        open(url("/once/1.html"));
        browser::BrowserEngine *view = window().browserEngine();
        const auto act = [view](const QString &stamp) {
            return view
                ->evaluate("(function(){" + browser::sameDocumentGuard(stamp) +
                           "document.body.setAttribute('data-acted','1');return true;})()")
                .value_or(false)
                .toBool();
        };
        const QString onFirst = browser::currentChangeStamp(view);
        QVERIFY(act(onFirst));
        // The page's own scripts changing it in place leave it the same document.
        QVERIFY(view->evaluate("document.querySelector('td').textContent='y';true").value_or(false).toBool());
        QVERIFY(act(onFirst));
        open(url("/once/2.html"));
        QVERIFY(!act(onFirst));
        QVERIFY(!view->evaluate("document.body.hasAttribute('data-acted')").value_or(true).toBool());
        QVERIFY(act(browser::currentChangeStamp(view)));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    UnattendedRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "unattended_run_test.moc"
