// Saved jobs on the command line, as programs: a job saved and run, its options overridden, a
// bad job file, and the resume guarantee — a run killed with SIGKILL in the middle of a 30-page
// harvest served on 127.0.0.1, resumed, ends with the very bytes of a run never interrupted; a
// run stopped by SIGTERM or SIGINT ends cleanly, Chromium with it, and resumes as well.

#include <csignal>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "browser/web_engine_setup.h"
#include "capture/job/job.h"
#include "capture/job/job_progress.h"
#include "capture/output/code_page.h"
#include "support/process_group.h"
#include "support/local_http_server.h"
#include "test_support.h"

using namespace tabvoro;

namespace {

constexpr int kRunMs = 90000;
constexpr int kPages = 30;

QByteArray rows(int n)
{
    const QByteArray k = QByteArray::number(n);
    return "<tr><td>p" + k + "a</td><td>甲" + k + "</td></tr><tr><td>p" + k + "b</td><td>乙" + k + "</td></tr>";
}

QByteArray page(int n, const QByteArray &pager)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><table><tr><th>编号</th><th>名称</th></tr>" +
           rows(n) + pager + "</table></body></html>";
}

// What a harvest of pages 1 to `last` writes.
QByteArray harvested(int last)
{
    std::string text;
    for (int n = 1; n <= last; ++n)
        text += "p" + std::to_string(n) + "a,甲" + std::to_string(n) + "\r\np" + std::to_string(n) + "b,乙" +
                std::to_string(n) + "\r\n";
    return QByteArray::fromStdString(capture::encodeText(text, "GB18030").value().bytes);
}

struct Outcome {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

}  // namespace

class CliJobTest : public QObject {
    Q_OBJECT

private:
    test::LocalHttpServer m_site;
    std::unique_ptr<test::ScratchDir> m_dir;

    QString path(const QString &name) const { return QString::fromStdString(m_dir->folder()) + name; }

    // The servers answer only while this event loop turns: every wait for a program is one.
    // `onLine` sees each line of standard output as it comes and may kill the program.
    Outcome cli(const QStringList &args, const std::function<void(QProcess &, const QString &)> &onLine = {})
    {
        QProcess process;
        process.setProgram(TABVORO_CLI);
        process.setArguments(args);
        QSignalSpy finished(&process, &QProcess::finished);
        Outcome outcome;
        connect(&process, &QProcess::readyReadStandardOutput, this, [&] {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                outcome.lines << line;
                if (onLine)
                    onLine(process, line);
            }
        });
        process.start();
        if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, kRunMs)) {
            process.kill();
            process.waitForFinished();
            outcome.errors = "did not finish";
            return outcome;
        }
        outcome.lines += QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.errors = QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    static QByteArray bytesOf(const QString &file) { return QByteArray::fromStdString(test::readBytes(file.toStdString())); }

    // The one output file in `folder`.
    static QString onlyFile(const QString &folder)
    {
        const QStringList files = QDir(folder).entryList(QDir::Files);
        return files.size() == 1 ? folder + "/" + files.first() : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(TABVORO_CLI));
        for (int n = 1; n <= kPages; ++n) {
            const QByteArray next = n < kPages ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
            m_site.addPage(QString("/chain/%1.html").arg(n), page(n, "<tr><td colspan=\"2\">" + next + "</td></tr>"));
            m_site.addPage(QString("/num/%1.html").arg(n), page(n, {}));
            // Each page repeats the rows of the one before, as lists do when items are added
            // while one pages through them.
            m_site.addPage(QString("/overlap/%1.html").arg(n), page(n, n > 1 ? rows(n - 1) : QByteArray()));
        }
    }

    void init() { m_dir = std::make_unique<test::ScratchDir>(); }
    void cleanup() { m_dir.reset(); }

    void killedRunResumesWithNothingLostOrTwice_data()
    {
        QTest::addColumn<QStringList>("paging");
        QTest::newRow("next-page link") << QStringList{"--paging", "link", "--next-text", "下一页",
                                                       m_site.url("/chain/1.html").toString()};
        QTest::newRow("page number") << QStringList{"--paging", "number", "--from", "1", "--to", QString::number(kPages),
                                                    m_site.url("/num/(*).html").toString()};
        QTest::newRow("overlapping pages, unique rows")
            << QStringList{"--unique-rows", "--paging", "number", "--from", "1", "--to", QString::number(kPages),
                           m_site.url("/overlap/(*).html").toString()};
        QTest::newRow("next-page link, chromium")
            << QStringList{"--engine", "chromium", "--paging", "link", "--next-text", "下一页",
                           m_site.url("/chain/1.html").toString()};
    }

    void killedRunResumesWithNothingLostOrTwice()
    {
        QFETCH(QStringList, paging);
        const QStringList common = QStringList{"--keyword", "编号"} + paging;
        QCOMPARE(cli(QStringList{"job", "save", path("whole.json"), "--out-dir", path("whole")} + common).exitCode, 0);
        QCOMPARE(cli(QStringList{"job", "save", path("cut.json"), "--out-dir", path("cut")} + common).exitCode, 0);

        const Outcome whole = cli({"run", "--job", path("whole.json")});
        QCOMPARE(whole.exitCode, 0);
        const QByteArray expected = bytesOf(onlyFile(path("whole")));
        // The same bytes in either engine.
        QCOMPARE(expected, harvested(kPages));

        // Killed once ten captures are out, in the middle of the harvest.
        int tallies = 0;
        const Outcome killed = cli({"run", "--job", path("cut.json")}, [&](QProcess &process, const QString &line) {
            if (line.startsWith("本次已采集表格数") && ++tallies == 10)
                process.kill();
        });
        QCOMPARE(killed.exitCode, -1);
        const QString output = onlyFile(path("cut"));
        QVERIFY(!output.isEmpty());
        QVERIFY(bytesOf(output).size() < expected.size());
        // The kill may come while a capture is being written: a half-written one at the end.
        test::writeBytes(output.toStdString(), bytesOf(output).toStdString() + "p11a,\xBC\xD7");

        const Outcome resumed = cli({"run", "--job", path("cut.json"), "--resume"});
        QCOMPARE(resumed.exitCode, 0);
        QCOMPARE(resumed.lines.last(), output);
        QCOMPARE(bytesOf(output), expected);

        // Finished: a further resume says so and leaves the file alone.
        const Outcome again = cli({"run", "--job", path("cut.json"), "--resume"});
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.errors.contains("finished"), qPrintable(again.errors));
        QCOMPARE(bytesOf(output), expected);
    }

    // Stopped by a signal in the middle of a harvest, the run ends as the button ends it: the
    // captures so far in the file, the path printed, 128 + the signal's number, Chromium's whole
    // process group gone, and the job goes on from there to the same bytes as a run never stopped.
    void stoppedBySignalEndsCleanlyAndResumes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("engine");
        QTest::newRow("SIGTERM, chromium") << int(SIGTERM) << "chromium";
        QTest::newRow("SIGINT, webengine") << int(SIGINT) << "webengine";
    }

    void stoppedBySignalEndsCleanlyAndResumes()
    {
        QFETCH(int, signal);
        QFETCH(QString, engine);
        QCOMPARE(cli({"job", "save", path("j.json"), "--out-dir", path("j"), "--engine", engine, "--keyword", "编号",
                      "--paging", "link", "--next-text", "下一页", m_site.url("/chain/1.html").toString()})
                     .exitCode,
                 0);
        int tallies = 0;
        QList<qint64> groups;
        const Outcome stopped = cli({"run", "--job", path("j.json")}, [&](QProcess &process, const QString &line) {
            if (!line.startsWith("本次已采集表格数") || ++tallies != 5)
                return;
            groups = test::childGroups(process.processId());
            ::kill(static_cast<pid_t>(process.processId()), signal);
        });
        QCOMPARE(stopped.exitCode, 128 + signal);
        QVERIFY2(stopped.errors.contains(QString("stopped by signal %1").arg(signal)), qPrintable(stopped.errors));
        QCOMPARE(groups.size(), engine == "chromium" ? 1 : 0);
        for (const qint64 group : groups)
            QVERIFY(test::waitGroupGone(group, 2000));
        const QString output = onlyFile(path("j"));
        QCOMPARE(stopped.lines.last(), output);
        const int kept = int(stopped.lines.size()) - 1;
        QVERIFY2(kept >= 5 && kept < kPages, qPrintable(stopped.lines.join('|')));
        QCOMPARE(bytesOf(output), harvested(kept));
        const auto progress = capture::readProgressFile(capture::progressPath(path("j.json").toStdString()));
        QVERIFY(progress && *progress);
        QCOMPARE((*progress)->captures, kept);
        QVERIFY(!(*progress)->finished);

        const Outcome resumed = cli({"run", "--job", path("j.json"), "--resume"});
        QCOMPARE(resumed.exitCode, 0);
        QCOMPARE(bytesOf(output), harvested(kPages));
    }

    // The job names the engine its runs take; the command line's --engine wins over it.
    void theJobNamesItsEngine()
    {
        QCOMPARE(cli({"job", "save", path("e.json"), "--engine", "chromium", "--keyword", "编号", "--out-dir", path("e"),
                      m_site.url("/num/3.html").toString()})
                     .exitCode,
                 0);
        QVERIFY(bytesOf(path("e.json")).contains("\"engine\": \"chromium\""));
        // Proven by a Chromium that cannot be started.
        qputenv("TABVORO_CHROMIUM", "/nonexistent/chromium");
        const Outcome missing = cli({"run", "--job", path("e.json")});
        const Outcome overridden = cli({"run", "--job", path("e.json"), "--engine", "webengine"});
        qunsetenv("TABVORO_CHROMIUM");
        QCOMPARE(missing.exitCode, 2);
        QVERIFY2(missing.errors.contains("cannot start Chromium (/nonexistent/chromium)"), qPrintable(missing.errors));
        QVERIFY(missing.lines.isEmpty());
        QCOMPARE(overridden.exitCode, 0);
        QVERIFY(bytesOf(overridden.lines.last()).contains("p3a,"));
    }

    // Options given on the command line win over the job's, and URL replaces its address.
    void optionsGivenWinOverTheJob()
    {
        QCOMPARE(cli({"job", "save", path("a.json"), "--keyword", "编号", "--ruled", "--paging", "number", "--from", "2",
                      "--to", "5", "--timer", "300", "--encoding", "UTF-8", "http://a.example/(*)"})
                     .exitCode,
                 0);
        QCOMPARE(cli({"job", "save", path("b.json"), "--job", path("a.json"), "--keyword", "名称", "--to", "9",
                      "http://b.example/(*)"})
                     .exitCode,
                 0);
        const auto job = capture::readJobFile(path("b.json").toStdString());
        QVERIFY(job);
        QCOMPARE(job->settings.keyword, std::string("名称"));
        QCOMPARE(job->settings.url, std::string("http://b.example/(*)"));
        QCOMPARE(job->settings.endPage, std::string("9"));
        QCOMPARE(job->settings.startPage, std::string("2"));
        QVERIFY(job->settings.ruled);
        QCOMPARE(job->settings.pagingMode, capture::PagingMode::PageNumber);
        QVERIFY(job->settings.timed);
        QCOMPARE(job->timerMs, 300);
        QCOMPARE(job->encoding, std::string("UTF-8"));

        // A one-page job run over another address.
        QCOMPARE(cli({"job", "save", path("one.json"), "--keyword", "编号", "--out-dir", path("one"), "http://x.invalid/"}).exitCode, 0);
        const Outcome one = cli({"run", "--job", path("one.json"), m_site.url("/num/7.html").toString()});
        QCOMPARE(one.exitCode, 0);
        QVERIFY(bytesOf(one.lines.last()).contains("p7a,"));
    }

    // Saved pages captured with a job's settings: its keyword, its address naming the file, its
    // output folder.
    void captureTakesTheJobsSettings()
    {
        test::writeBytes(path("p.html").toStdString(), page(4, {}).toStdString());
        QCOMPARE(cli({"job", "save", path("c.json"), "--keyword", "编号", "--header", "--out-dir", path("c"),
                      "http://www.site.example/a.html"})
                     .exitCode,
                 0);
        const Outcome out = cli({"capture", "--job", path("c.json"), path("p.html")});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.lines.last(), path("c") + "/site1.csv");
        const QByteArray bytes = bytesOf(out.lines.last());
        QVERIFY2(bytes.contains("p4a,") && bytes.contains(",\xC3\xFB\xB3\xC6"), bytes.constData());
    }

    void badJobFileIsRefused_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("run") << QStringList{"run"};
        QTest::newRow("run --resume") << QStringList{"run", "--resume"};
        QTest::newRow("capture") << QStringList{"capture"};
        QTest::newRow("job save") << QStringList{"job", "save", "out.json"};
    }

    void badJobFileIsRefused()
    {
        QFETCH(QStringList, command);
        test::writeBytes(path("bad.json").toStdString(), R"({"version": 1, "fields": [{"name": "a", "selected": 1}]})");
        const Outcome out = cli(command + QStringList{"--job", path("bad.json"), m_site.url("/num/1.html").toString()});
        QCOMPARE(out.exitCode, 2);
        QVERIFY2(out.errors.contains("\"fields[0].selected\""), qPrintable(out.errors));
        QVERIFY(!QFile::exists("out.json"));
        QVERIFY(!QFile::exists(path("bad.json.progress")));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    CliJobTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "cli_job_test.moc"
