// `tabvoro-cli run` as a program: a run with no window over pages served on 127.0.0.1, its
// printed tallies, output file and exit status, alike in the view and in Chromium.

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "capture/output/code_page.h"
#include "support/local_http_server.h"
#include "test_support.h"

using namespace tabvoro;

namespace {

constexpr int kRunMs = 60000;

QByteArray dataRows(const QByteArray &n)
{
    return "<tr><td>p" + n + "a</td><td>甲" + n + "</td></tr><tr><td>p" + n + "b</td><td>乙" + n + "</td></tr>";
}

QString captured(int first, int last)
{
    QString text;
    for (int n = first; n <= last; ++n)
        text += QString("p%1a,甲%1\r\np%1b,乙%1\r\n").arg(n);
    return text;
}

QByteArray gb18030(const QString &text)
{
    return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
}

const QByteArray kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>";
const QByteArray kTableStart = "<table><tr><th>编号</th><th>名称</th></tr>";

// Pages addressed by "?page=N", written by the page itself from its address; with a
// page-number drop-down on every page but the last (5) for the drop-down mode.
const QByteArray kNumberedPage =
    kHead +
    "<script>var n=new URLSearchParams(location.search).get('page');"
    "document.write('" + kTableStart + "<tr><td>p'+n+'a</td><td>甲'+n+'</td></tr><tr><td>p'+n+'b</td><td>乙'+n+"
    "'</td></tr></table>');"
    "if(location.pathname=='/dd.html'&&n<5){var s='<select name=\"pg\" onchange=\"location.href=\\'dd.html?page=\\'+this.value\">';"
    "for(var i=1;i<=5;i++)s+='<option value=\"'+i+'\"'+(i==n?' selected':'')+'>'+i+'</option>';"
    "document.write(s+'</select>');}</script></body></html>";

struct Outcome {
    int exitCode = -1;
    QStringList lines;  // standard output, line by line
    QString errors;
};

}  // namespace

class CliRunTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    test::LocalHttpServer m_otherSite;
    std::unique_ptr<test::ScratchDir> m_dir;

    QString outDir() const { return QString::fromStdString(m_dir->folder()) + "out"; }

    // Runs `tabvoro-cli run` with the output folder in the scratch folder. The servers answer
    // only while this process's event loop turns, so the wait for the program is an event loop.
    Outcome run(const QStringList &args) { return command(QStringList{"run", "--out-dir", outDir()} + args); }

    Outcome command(const QStringList &args)
    {
        QProcess process;
        process.setProgram(TABVORO_CLI);
        process.setArguments(args);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start();
        Outcome outcome;
        if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, kRunMs)) {
            process.kill();
            process.waitForFinished();
            outcome.errors = "did not finish: " + QString::fromUtf8(process.readAllStandardError());
            return outcome;
        }
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        outcome.errors = QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    static QByteArray fileBytes(const QString &path) { return QByteArray::fromStdString(test::readBytes(path.toStdString())); }

    static QStringList tallies(int count)
    {
        QStringList lines;
        for (int k = 1; k <= count; ++k)
            lines << QString("本次已采集表格数:%1个,记录:%2条").arg(k).arg(2 * k);
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(TABVORO_CLI));
        for (const char *chain : {"/chain/", "/flaky/", "/broken/", "/stuck/"}) {
            for (int n = 1; n <= 5; ++n) {
                const QByteArray k = QByteArray::number(n);
                const QByteArray next =
                    n < 5 ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
                // The chain's pages 2 and 3 ask for an alert and a confirm; nobody answers them.
                const QByteArray dialog = QByteArray(chain) != "/chain/" ? ""
                                          : n == 2                       ? "<script>alert('第二页');</script>"
                                          : n == 3                       ? "<script>confirm('继续?');</script>"
                                                                         : "";
                m_site.addPage(chain + k + ".html", kHead + dialog + kTableStart + dataRows(k) + "<tr><td colspan=\"2\">" +
                                                        next + "</td></tr></table></body></html>");
            }
        }
        // Page 3 of one chain fails once, of another every time, of a third never answers; one
        // page never answers.
        m_site.failRequests("/flaky/3.html", 1);
        m_site.failRequests("/broken/3.html", -1);
        m_site.holdRequests("/stuck/3.html");
        m_site.holdRequests("/held.html");
        for (auto *site : {&m_site, &m_otherSite}) {
            site->addPage("/num.html", kNumberedPage);
            site->addPage("/dd.html", kNumberedPage);
        }
    }

    void init() { m_dir = std::make_unique<test::ScratchDir>(); }
    void cleanup() { m_dir.reset(); }

    void capturesOnePageWithoutPaging()
    {
        const Outcome out = run({"--keyword", "编号", m_site.url("/chain/1.html").toString()});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.size(), 2);
        QCOMPARE(out.lines.first(), tallies(1).first());
        QVERIFY2(out.lines.last().startsWith(outDir() + "/"), qPrintable(out.lines.last()));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 1)));
    }

    void linkPagingStopsAfterMaxPages()
    {
        const Outcome out = run({"--keyword", "编号", "--paging", "link", "--next-text", "下一页", "--max-pages", "3",
                                 m_site.url("/chain/1.html").toString()});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(3));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 3)));
    }

    // A page that gives no capture writes no file, and the run names none.
    void aRunThatKeepsNothingNamesNoFile()
    {
        const Outcome out = run({"--keyword", "没有这个表格", m_site.url("/chain/1.html").toString()});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines, QStringList{"nothing captured: no table matched, no file written"});
    }

    // The link mode's keyword is "下一页" when none is given; the run says on which page it
    // found the keyword no more.
    void linkPagingRunsToTheLastPage_data()
    {
        QTest::addColumn<QStringList>("keyword");
        QTest::newRow("given") << QStringList{"--next-text", "下一页"};
        QTest::newRow("not given") << QStringList{};
    }

    void linkPagingRunsToTheLastPage()
    {
        QFETCH(QStringList, keyword);
        const Outcome out = run(QStringList{"--keyword", "编号", "--paging", "link"} + keyword +
                                QStringList{m_site.url("/chain/2.html").toString()});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(4));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(2, 5)));
        const QString end = "没有找到下一页关键字“下一页”，连续采集结束：" + m_site.url("/chain/5.html").toString();
        QVERIFY2(out.errors.contains(end), qPrintable(out.errors));
    }

    void numberPagingFromTo_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("after each load") << QStringList{};
        QTest::newRow("timer") << QStringList{"--timer", "150"};
    }

    void numberPagingFromTo()
    {
        QFETCH(QStringList, extra);
        const Outcome out = run(QStringList{"--keyword", "编号", "--paging", "number", "--from", "1", "--to", "3"} + extra +
                                QStringList{m_site.url("/num.html").toString() + "?page=(*)"});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(3));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 3)));
    }

    // Without "(*)" the run says so twice (at the start and at its first step) on standard
    // error, as no one is there to answer a message box, and ends after the first page.
    void numberPagingWithoutPlaceholder()
    {
        const Outcome out = run({"--keyword", "编号", "--paging", "number", "--from", "1", "--to", "3",
                                 m_site.url("/num.html?page=1").toString()});
        QCOMPARE(out.exitCode, 0);
        QVERIFY2(out.errors.contains("你没有将网址列表中的页码数字修改为“(*)”"), qPrintable(out.errors));
        QVERIFY2(out.errors.contains("网址中无可替换页码变量符“(*)”"), qPrintable(out.errors));
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(1));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 1)));
    }

    void urlListEndsWhereTheHostChanges()
    {
        const QString list = QString::fromStdString(m_dir->file("urls.txt").string());
        const QString rows = m_site.url("/num.html?page=1").toString() + "\r\n" + m_site.url("/num.html?page=2").toString() +
                             "\r\n" + m_otherSite.url("/num.html?page=3").toString() + "\r\n" +
                             m_otherSite.url("/num.html?page=4").toString() + "\r\n";
        test::writeBytes(list.toStdString(), rows.toStdString());
        const Outcome out = run({"--keyword", "编号", "--paging", "list", "--url-list", list});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(2));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 2)));
        QCOMPARE(m_otherSite.requestCount("/num.html"), 0);
    }

    // A drop-down run never ends by itself: the time limit stops it, and the pages it reached
    // are in the file.
    void timeoutStopsADropDownRun()
    {
        const Outcome out = run({"--keyword", "编号", "--paging", "dropdown", "--dropdown", "pg", "--timeout", "1",
                                 m_site.url("/dd.html?page=1").toString()});
        QCOMPARE(out.exitCode, 3);
        QVERIFY2(out.errors.contains("was stopped"), qPrintable(out.errors));
        const int kept = int(out.lines.size()) - 1;
        QVERIFY2(kept >= 1 && kept <= 5, qPrintable(out.lines.join('|')));
        QCOMPARE(out.lines.mid(0, kept), tallies(kept));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, kept)));
    }

    void badArgumentsExitWithTwo_data()
    {
        const QString page = m_site.url("/chain/1.html").toString();
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown paging") << QStringList{"--paging", "sideways", page} << "unknown --paging 'sideways'";
        QTest::newRow("timer of zero") << QStringList{"--timer", "0", page} << "--timer needs a number of at least 1";
        QTest::newRow("max pages not a number") << QStringList{"--max-pages", "3x", page} << "--max-pages needs a number of at least 1";
        QTest::newRow("negative timeout") << QStringList{"--timeout", "-1", page} << "--timeout needs a number of at least 0";
        // Past what a timer holds: no time-out at all, or a run that stalls.
        QTest::newRow("timeout too long") << QStringList{"--timeout", "3000000", page}
                                          << "--timeout needs a number of at most 2147483";
        QTest::newRow("timer too long") << QStringList{"--timer", "3000000000", page}
                                        << "--timer needs a number of at most 2147483647";
        QTest::newRow("page timeout of zero") << QStringList{"--page-timeout", "0", page}
                                              << "--page-timeout needs a number of at least 1";
        QTest::newRow("value missing") << QStringList{page, "--from"} << "--from needs a value";
        QTest::newRow("no address") << QStringList{"--keyword", "编号"} << "no page to capture";
        QTest::newRow("two addresses") << QStringList{page, page} << "run takes exactly one URL";
        QTest::newRow("list and address") << QStringList{"--url-list", TABVORO_FIXTURES "/document/links.html", page}
                                          << "run with --url-list takes no URL";
        QTest::newRow("list missing") << QStringList{"--url-list", "/nonexistent/urls.txt"} << "cannot read /nonexistent/urls.txt";
        QTest::newRow("unknown capture option") << QStringList{"--colour", "red", page} << "unknown option --colour";
        QTest::newRow("unknown engine") << QStringList{"--engine", "gecko", page}
                                        << "unknown --engine 'gecko' (webengine or chromium)";
    }

    void badArgumentsExitWithTwo()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Outcome out = run(args);
        QCOMPARE(out.exitCode, 2);
        QVERIFY2(out.errors.contains("tabvoro-cli: " + message), qPrintable(out.errors));
        QVERIFY2(out.lines.isEmpty(), qPrintable(out.lines.join('|')));
    }

    // A page that fails once is tried again and the run goes on: nothing lost, nothing twice.
    void failedPageIsTriedAgain()
    {
        const QString third = m_site.url("/flaky/3.html").toString();
        const Outcome out = run({"--keyword", "编号", "--paging", "link", "--next-text", "下一页",
                                 m_site.url("/flaky/1.html").toString()});
        QCOMPARE(out.exitCode, 0);
        QVERIFY2(out.errors.contains("1秒后第1次重试：" + third), qPrintable(out.errors));
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(5));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 5)));
    }

    // After its last try the run ends with 4, naming the page; what came before is kept.
    void pageThatFailsEveryTimeEndsTheRunWithFour()
    {
        const QString third = m_site.url("/broken/3.html").toString();
        const Outcome out = run({"--keyword", "编号", "--paging", "link", "--next-text", "下一页",
                                 m_site.url("/broken/1.html").toString()});
        QCOMPARE(out.exitCode, 4);
        QVERIFY2(out.errors.contains("4次都失败，采集已停止：" + third), qPrintable(out.errors));
        QCOMPARE(out.lines.mid(0, out.lines.size() - 1), tallies(2));
        QCOMPARE(fileBytes(out.lines.last()), gb18030(captured(1, 2)));
    }

    void firstPageThatCannotLoad_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << QStringList{"http://127.0.0.1:1/none.html"} << 4
                                 << "4次都失败，采集已停止：http://127.0.0.1:1/none.html";
        QTest::newRow("never answers, page time-out")
            << QStringList{"--page-timeout", "1", m_site.url("/held.html").toString()} << 4 << "1秒内没有打开完";
        QTest::newRow("never answers, run time-out")
            << QStringList{"--timeout", "2", m_site.url("/held.html").toString()} << 3 << "was stopped";
    }

    void firstPageThatCannotLoad()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QElapsedTimer clock;
        clock.start();
        const Outcome out = run(args);
        QCOMPARE(out.exitCode, exitCode);
        QVERIFY2(out.errors.contains(message), qPrintable(out.errors));
        QVERIFY2(out.lines.isEmpty(), qPrintable(out.lines.join('|')));
        // The time-outs asked for, not the engine's own two minutes.
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    }

    // The same runs in the view and in Chromium: the same tallies, the same file to the byte, the
    // same exit status; each paging mode, a page tried again, the retries used up, the time-out.
    void bothEnginesRunAlike_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        const QString chain = m_site.url("/chain/1.html").toString();
        const QStringList link{"--paging", "link", "--next-text", "下一页"};
        QTest::newRow("link, dialogs") << link + QStringList{chain} << 0 << captured(1, 5);
        QTest::newRow("link on the timer") << link + QStringList{"--timer", "200", "--max-pages", "3", chain} << 0
                                           << captured(1, 3);
        QTest::newRow("page number") << QStringList{"--paging", "number", "--from", "2", "--to", "4",
                                                    m_site.url("/num.html").toString() + "?page=(*)"}
                                     << 0 << captured(2, 4);
        QTest::newRow("url list") << QStringList{"--paging", "list", "--url-list", "urls"} << 0 << captured(1, 2);
        QTest::newRow("drop-down") << QStringList{"--paging", "dropdown", "--dropdown", "pg", "--max-pages", "4",
                                                  m_site.url("/dd.html?page=1").toString()}
                                   << 0 << captured(1, 4);
        QTest::newRow("retried") << link + QStringList{m_site.url("/flaky/1.html").toString()} << 0 << captured(1, 5);
        QTest::newRow("retries used up") << link + QStringList{m_site.url("/broken/1.html").toString()} << 4
                                         << captured(1, 2);
        QTest::newRow("time-out") << link + QStringList{"--timeout", "6", m_site.url("/stuck/1.html").toString()} << 3
                                  << captured(1, 2);
    }

    void bothEnginesRunAlike()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        const QString list = QString::fromStdString(m_dir->file("urls.txt").string());
        test::writeBytes(list.toStdString(), (m_site.url("/num.html?page=1").toString() + "\r\n" +
                                              m_site.url("/num.html?page=2").toString() + "\r\n" +
                                              m_otherSite.url("/num.html?page=3").toString() + "\r\n")
                                                 .toStdString());
        args.replaceInStrings(QRegularExpression("^urls$"), list);
        QList<Outcome> outcomes;
        QList<QByteArray> files;
        for (const QString engine : {"webengine", "chromium"}) {
            // The flaky page fails once for each run.
            m_site.failRequests("/flaky/3.html", 1);
            const Outcome out = run(QStringList{"--keyword", "编号", "--engine", engine} + args);
            QVERIFY2(!out.lines.isEmpty(), qPrintable(engine + ": " + out.errors));
            outcomes << out;
            files << fileBytes(out.lines.last());
            QFile::remove(out.lines.last());
        }
        QCOMPARE(outcomes[0].exitCode, exitCode);
        QCOMPARE(files[0], gb18030(expected));
        QCOMPARE(outcomes[1].exitCode, outcomes[0].exitCode);
        QCOMPARE(outcomes[1].lines, outcomes[0].lines);
        QCOMPARE(files[1], files[0]);
    }

    // `list` of an address: what the window's capture test would list, as `list` of the same page
    // saved to a file lists it, in either engine.
    void listOfAnAddressIsTheListingOfThePageSaved()
    {
        const QByteArray page = kHead + "<p>三种表格</p>"
            "<table><tr><td>甲</td><td>乙</td></tr><tr><td>1</td><td>2</td></tr></table>"
            "<div role=\"grid\"><div role=\"row\"><div role=\"gridcell\">名</div><div role=\"gridcell\">值</div>"
            "</div><div role=\"row\"><div role=\"gridcell\">长名字</div><div role=\"gridcell\">很长的值</div></div></div>"
            "<ul><li class=\"c\"><a href=\"/p/1\">灯</a> <span>12</span></li>"
            "<li class=\"c\"><a href=\"/p/2\">椅</a> <span>30</span></li>"
            "<li class=\"c\"><a href=\"/p/3\">桌</a> <span>80</span></li></ul></body></html>";
        m_site.addPage("/kinds.html", page);
        const std::string saved = m_dir->file("kinds.html").string();
        test::writeBytes(saved, page.toStdString());
        const Outcome fromFile = command({"list", QString::fromStdString(saved)});
        QCOMPARE(fromFile.exitCode, 0);
        QVERIFY2(fromFile.lines.value(0).startsWith(R"({"entries":["1--甲,乙,","2--名,值,","3--灯,12,"],)"),
                 qPrintable(fromFile.lines.value(0)));
        const QString url = m_site.url("/kinds.html").toString();
        const QString fileUrl = QUrl::fromLocalFile(QString::fromStdString(saved)).toString();
        for (const QStringList &args : {QStringList{url}, QStringList{"--engine", "webengine", fileUrl},
                                        QStringList{"--engine", "chromium", url}}) {
            const Outcome live = command(QStringList{"list"} + args);
            QVERIFY2(live.exitCode == 0, qPrintable(args.join(' ') + ": " + live.errors));
            QCOMPARE(live.lines, fromFile.lines);
        }

        // An engine is for an address only.
        const Outcome engineForFile = command({"list", "--engine", "chromium", QString::fromStdString(saved)});
        QCOMPARE(engineForFile.exitCode, 2);
        QVERIFY2(engineForFile.errors.contains("--engine opens an address"), qPrintable(engineForFile.errors));
    }

    // Both engines' versions, the system Chromium's as it is installed now.
    void versionNamesBothEngines()
    {
        QProcess process;
        process.start(TABVORO_CLI, {"--version"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith("tabvoro-cli 2."), qPrintable(lines[0]));
        QVERIFY2(QRegularExpression("^webengine: Qt WebEngine 6\\.\\d+\\.\\d+, Chromium \\d+\\.").match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY2(QRegularExpression("^chromium: Chromium \\d+\\.").match(lines[2]).hasMatch(), qPrintable(lines[2]));

        QProcess without;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TABVORO_CHROMIUM", "/nonexistent/chromium");
        without.setProcessEnvironment(environment);
        without.start(TABVORO_CLI, {"--version"});
        QVERIFY(without.waitForFinished(30000));
        QCOMPARE(without.exitCode(), 0);
        QVERIFY(QString::fromUtf8(without.readAllStandardOutput()).endsWith("chromium: not installed\n"));
    }

    void helpExitsWithZero()
    {
        const Outcome out = run({"--help"});
        QCOMPARE(out.exitCode, 0);
        QVERIFY(out.lines.first().startsWith("Usage: tabvoro-cli run"));
    }
};

QTEST_GUILESS_MAIN(CliRunTest)

#include "cli_run_test.moc"
