// Saved jobs in the main window with the real web view, offscreen: the job menu, a job saved
// and opened through the file dialogs, a bad job file, and a run stopped by the button that
// goes on where it stopped.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/job/job.h"
#include "capture/job/job_progress.h"
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

constexpr int kWaitMs = 20000;

QByteArray chainPage(int n, int last)
{
    const QByteArray k = QByteArray::number(n);
    const QByteArray next = n < last ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><table><tr><th>编号</th><th>名称</th></tr>"
           "<tr><td>p" + k + "a</td><td>甲" + k + "</td></tr><tr><td>p" + k + "b</td><td>乙" + k + "</td></tr>"
           "<tr><td colspan=\"2\">" + next + "</td></tr></table></body></html>";
}

QByteArray captured(int first, int last)
{
    QString text;
    for (int n = first; n <= last; ++n)
        text += QString("p%1a,甲%1\r\np%1b,乙%1\r\n").arg(n);
    return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
}

// A page-number drop-down that turns the page in place: one address for every page.
const QByteArray kInPlaceDropDownPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><script>"
    "function rows(n){return '<tr><td>p'+n+'a</td><td>甲'+n+'</td></tr><tr><td>p'+n+'b</td><td>乙'+n+'</td></tr>';}"
    "function show(v){if(!v)return;document.getElementById('t').innerHTML="
    "'<tr><th>编号</th><th>名称</th></tr>'+rows(v);}"
    "document.write('<table id=\"t\"></table><select name=\"pg\" onchange=\"show(this.value)\">');"
    "for(var i=1;i<=5;i++)document.write('<option value=\"'+i+'\">第'+i+'页</option>');"
    "document.write('</select>');show(1);</script></body></html>";

}  // namespace

class CaptureJobTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    test::LocalHttpServer m_site;

    ui::Frmmain &w() { return *m_window; }
    QString path(const QString &name) const { return QString::fromStdString(m_dir->folder()) + name; }

    // A menu command whose file dialog, and any message box after it, is answered with `file`;
    // what the answerer saw.
    std::unique_ptr<test::ModalAnswerer> runWithFile(QAction *action, const QString &file)
    {
        auto answerer = std::make_unique<test::ModalAnswerer>(file, true);
        action->trigger();
        return answerer;
    }

    QByteArray outputBytes() const { return QByteArray::fromStdString(test::readBytes(m_window->OutputPath().toStdString())); }

private slots:
    void initTestCase()
    {
        for (int n = 1; n <= 6; ++n)
            m_site.addPage(QString("/chain/%1.html").arg(n), chainPage(n, 6));
        m_site.addPage("/inplace.html", kInPlaceDropDownPage);
    }

    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void jobMenuStandsAtTheRightEnd()
    {
        const auto menus = w().menuBar()->actions();
        QCOMPARE(menus.size(), 4);
        QCOMPARE(menus.last(), w().mnjob->menuAction());
        QCOMPARE(w().mnjob->title(), QString("任务(&J)"));
        QCOMPARE(w().menujob[0]->text(), QString("保存采集任务(&S)..."));
        QCOMPARE(w().menujob[0]->shortcut(), QKeySequence("Ctrl+S"));
        QCOMPARE(w().menujob[1]->text(), QString("打开采集任务(&O)..."));
        QCOMPARE(w().menujob[2]->text(), QString("继续上次采集(&R)"));
        // No job open: nothing to go on with, and nothing is written anywhere.
        QVERIFY(!w().menujob[2]->isEnabled());
    }

    void savedJobOpensIntoTheControlsAndStartsNothing()
    {
        w().Txturl->setText("http://www.site.example/list.asp?page=(*)");
        w().txtGjz->setText("编号");
        QTest::mouseClick(w().Labgjz, Qt::LeftButton);
        w().CheckKj->setChecked(true);
        w().txtKj->setText("1");
        w().CheckBt->setChecked(true);
        w().CheckBx->setChecked(true);
        w().CheckDs->setChecked(true);
        w().Timer1->setInterval(700);
        w().Option1[1]->setChecked(true);
        w().txtNp->setText(" ");
        w().txtYs->setText("3");
        w().txtYw->setText("9");
        w().Txtxd->setText("pg");
        w().List3->addItems({"http://a.example/1", "http://a.example/2"});
        w().List3->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        w().List2->addItems({"编号", "名称"});
        w().List2->item(1)->setSelected(true);
        const QString file = path("任务.json");
        runWithFile(w().menujob[0], file);
        QCOMPARE(w().jobPath(), file);

        auto saved = capture::readJobFile(file.toStdString());
        QVERIFY2(saved, saved ? "" : saved.error().message.c_str());
        QCOMPARE(saved->settings.keywordMode, capture::KeywordMode::CommonText);
        QCOMPARE(saved->timerMs, 700);
        QCOMPARE(saved->urlListRow, 1);

        // A fresh window opens it: every control as saved, the output file named from the
        // address and the format, and no page opened, no run started.
        m_window.reset();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        const QString shownBefore = w().webBrowser()->LocationURL();
        runWithFile(w().menujob[1], file);
        QCOMPARE(w().Txturl->text(), QString("http://www.site.example/list.asp?page=(*)"));
        QCOMPARE(w().txtGjz->text(), QString("编号"));
        QCOMPARE(w().Labgjz->text(), QString("表格每行共有部分内容："));
        QVERIFY(w().CheckKj->isChecked());
        QCOMPARE(w().txtKj->text(), QString("1"));
        QVERIFY(w().CheckBt->isChecked());
        QVERIFY(!w().CheckLj->isChecked());
        QVERIFY(w().CheckBx->isChecked());
        QVERIFY(w().CheckDs->isChecked());
        QCOMPARE(w().Timer1->interval(), 700);
        QVERIFY(w().Option1[1]->isChecked());
        QCOMPARE(w().txtNp->text(), QString(" "));
        QCOMPARE(w().txtYs->text(), QString("3"));
        QCOMPARE(w().txtYw->text(), QString("9"));
        QCOMPARE(w().Txtxd->text(), QString("pg"));
        QCOMPARE(w().List3->count(), 2);
        QCOMPARE(w().List3->currentRow(), 1);
        QCOMPARE(w().List2->count(), 2);
        QVERIFY(!w().List2->item(0)->isSelected());
        QVERIFY(w().List2->item(1)->isSelected());
        QVERIFY2(w().OutputPath().endsWith("/site1.txt"), qPrintable(w().OutputPath()));
        QCOMPARE(w().Command1->text(), QString("抓取表格(&Z)"));
        QVERIFY(!w().Timer1->isActive());
        QTest::qWait(200);
        QCOMPARE(w().webBrowser()->LocationURL(), shownBefore);
        QVERIFY(!w().menujob[2]->isEnabled());
    }

    void badJobFileIsReportedAndChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("named");
        QTest::newRow("wrong type") << QByteArray(R"({"version": 1, "keyword": "k", "ruled": "yes"})") << "\"ruled\"";
        QTest::newRow("not JSON") << QByteArray(R"({"version": 1, "keyword": )") << "JSON";
        QTest::newRow("other version") << QByteArray(R"({"version": 7})") << "\"version\"";
    }

    void badJobFileIsReportedAndChangesNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, named);
        test::writeBytes(path("bad.json").toStdString(), content.toStdString());
        w().txtGjz->setText("before");
        const auto answerer = runWithFile(w().menujob[1], path("bad.json"));
        QCOMPARE(answerer->seen(), 2);
        QCOMPARE(answerer->lastTitle(), QString("提示"));
        QVERIFY2(answerer->lastText().contains(named), qPrintable(answerer->lastText()));
        QCOMPARE(w().txtGjz->text(), QString("before"));
        QVERIFY(w().jobPath().isEmpty());
    }

    // Under one address for every page, the drop-down is set back to where the run stopped
    // before it goes on: page 1 is not captured a second time.
    void dropDownRunInPlaceGoesOnFromItsValue()
    {
        w().captureRun().setPageTimeout(1500);
        w().Txturl->setText(m_site.url("/inplace.html").toString());
        QTest::keyClick(w().Txturl, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w().webBrowser()->LocationURL(), m_site.url("/inplace.html").toString(), kWaitMs);
        QTRY_VERIFY(!w().webBrowser()->isLoading());
        w().txtGjz->setText("编号");
        w().Option1[3]->setChecked(true);
        w().Txtxd->setText("pg");
        const QString job = path("dd.json");
        runWithFile(w().menujob[0], job);
        int kept = 0;
        connect(m_window.get(), &ui::Frmmain::captureKept, this, [&] {
            if (++kept == 2)
                QTimer::singleShot(0, w().Command1, [this] { QTest::mouseClick(w().Command1, Qt::LeftButton); });
        });
        QTest::mouseClick(w().Command1, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("抓取表格(&Z)"), kWaitMs);
        QCOMPARE(outputBytes(), captured(1, 2));

        m_window.reset();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        w().captureRun().setPageTimeout(1500);
        runWithFile(w().menujob[1], job);
        w().menujob[2]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("暂停抓取(&Z)"), kWaitMs);
        // Past the last option nothing changes, and the run ends as the next page does not come.
        // On a loaded machine a read of the page may wait out the 30 s read time-out and be
        // read again in place: the file must still hold every page once.
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("抓取表格(&Z)"), 3 * kWaitMs);
        QCOMPARE(outputBytes(), captured(1, 5));
    }

    // A run stopped by the button goes on where it stopped, into the same file, even when the
    // file ends in part of a capture the progress never recorded: the file then holds every
    // page once, as a run never stopped writes it.
    void runStoppedByTheButtonGoesOnWhereItStopped()
    {
        w().Txturl->setText(m_site.url("/chain/1.html").toString());
        QTest::keyClick(w().Txturl, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w().webBrowser()->LocationURL(), m_site.url("/chain/1.html").toString(), kWaitMs);
        QTRY_VERIFY(!w().webBrowser()->isLoading());
        w().txtGjz->setText("编号");
        w().txtNp->setText("下一页");
        const QString job = path("chain.json");
        runWithFile(w().menujob[0], job);
        QCOMPARE(w().jobPath(), job);

        auto answerer = std::make_unique<test::ModalAnswerer>();
        int kept = 0;
        connect(m_window.get(), &ui::Frmmain::captureKept, this, [&] {
            if (++kept == 3)
                QTimer::singleShot(0, w().Command1, [this] { QTest::mouseClick(w().Command1, Qt::LeftButton); });
        });
        QTest::mouseClick(w().Command1, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("抓取表格(&Z)"), kWaitMs);
        QTRY_VERIFY(!w().webBrowser()->isLoading());
        QCOMPARE(kept, 3);
        QCOMPARE(outputBytes(), captured(1, 3));
        QVERIFY(w().menujob[2]->isEnabled());
        QCOMPARE(answerer->seen(), 0);
        answerer.reset();

        // Half a capture that never made it into the progress.
        const std::string output = w().OutputPath().toStdString();
        test::writeBytes(output, captured(1, 3).toStdString() + "p4a,\xBC");
        // A fresh window, as after a crash: the job is opened and resumed from the menu.
        m_window.reset();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        runWithFile(w().menujob[1], job);
        QVERIFY(w().menujob[2]->isEnabled());
        answerer = std::make_unique<test::ModalAnswerer>();
        w().menujob[2]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("暂停抓取(&Z)"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(w().Command1->text(), QString("抓取表格(&Z)"), kWaitMs);
        QCOMPARE(w().OutputPath().toStdString(), output);
        QCOMPARE(outputBytes(), captured(1, 6));
        QCOMPARE(w().Labar[0]->text(), QString("本次已采集表格数:6个,记录:12条"));

        // The pages ran out: the job is finished, and resuming it does nothing.
        auto progress = capture::readProgressFile(capture::progressPath(job.toStdString()));
        QVERIFY(progress && progress->has_value());
        QVERIFY((*progress)->finished);
        QVERIFY(!w().menujob[2]->isEnabled());
        const auto again = w().prepareResume();
        QVERIFY(again && again->isEmpty());
        QCOMPARE(outputBytes(), captured(1, 6));
        QCOMPARE(answerer->seen(), 0);
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    CaptureJobTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "capture_job_test.moc"
