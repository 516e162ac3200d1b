// The window around a run left to itself: where the keyboard focus goes, what the status row
// keeps, and a run's failure told there. What the run does on misbehaving sites is tested
// without a window, in tests/run. The real window and web view, offscreen, against pages served
// on 127.0.0.1.

#include <QLabel>
#include <QRadioButton>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include "browser/browser_engine.h"
#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "support/chain_site.h"
#include "support/local_http_server.h"
#include "support/test_window.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

using namespace tabvoro;

namespace {

constexpr int kRunMs = 40000;

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
        QCOMPARE(window().Command1->text(), QString("暂停抓取(&Z)"));
    }

    void waitForTheEnd(int ms = kRunMs)
    {
        QTRY_COMPARE_WITH_TIMEOUT(window().Command1->text(), QString("抓取表格(&Z)"), ms);
    }

    QByteArray output() const { return QByteArray::fromStdString(test::readBytes(m_window->OutputPath().toStdString())); }

private slots:
    void initTestCase()
    {
        for (int n = 1; n <= 5; ++n)
            m_site.addPage(QString("/always/%1.html").arg(n), test::chainPage(n));
        m_site.failRequests("/always/2.html", -1);
        m_site.addPage("/hover.html", "<a href=\"/elsewhere.html\" style=\"display:block;height:200px\">链接</a>"
                                      "<div style=\"height:400px\"></div>");
    }

    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        // A failed page is tried again at once.
        run::RunTimings timings;
        timings.retryWaitsMs = {10, 10, 10};
        m_window = test::makeTestWindow(*m_dir, timings);
        QVERIFY(m_window);
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    // A page that never loads ends the run; the button and the status row say so, and the
    // file keeps what was captured.
    void runThatEndsOnAFailedPageSaysWhy()
    {
        startRun(url("/always/1.html"));
        waitForTheEnd();
        QVERIFY2(window().Labar[3]->text().contains("4次都失败，采集已停止：" + url("/always/2.html")),
                 qPrintable(window().Labar[3]->text()));
        QCOMPARE(output(), test::chainCaptured({1}));
    }

    // ---- Focus and the status row

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
        QCOMPARE(window().Command1->text(), QString("抓取表格(&Z)"));
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
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    UnattendedRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "unattended_run_test.moc"
