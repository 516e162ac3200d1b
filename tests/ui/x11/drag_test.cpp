// A real drag and drop onto the keyword boxes: its own Xvfb, the xcb platform, and the mouse
// and keyboard driven from outside the program by xdotool, so the drag runs through the X
// drag-and-drop protocol and Qt's own drag loop, as a user's drag does. Without Xvfb or xdotool,
// or when no X server starts, every case is skipped.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include <QApplication>
#include <QChildEvent>
#include <QDrag>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include "browser/web_engine_setup.h"
#include "support/test_window.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

namespace {

constexpr int kFirstDisplay = 91;
constexpr int kLastDisplay = 99;
constexpr int kDropWaitMs = 10000;

QString findTool(const char *name)
{
    QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty() && QFileInfo(QStringLiteral("/usr/bin/") + name).isExecutable())
        path = QStringLiteral("/usr/bin/") + name;
    return path;
}

pid_t lockOwner(int display)
{
    QFile lock(QStringLiteral("/tmp/.X%1-lock").arg(display));
    if (!lock.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int pid = lock.readAll().trimmed().toInt(&ok);
    return ok ? pid : -1;
}

bool acceptsConnections(const QByteArray &socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}

// The test's own X server. Started before the application object, which is why it is a plain
// child process and not a QProcess; ended when this object goes, and by the kernel if the test
// itself dies, so a failed or crashed run leaves no server, socket or lock behind.
class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;
    ~XvfbServer() { stop(); }

    // An empty answer on success, else why no server runs.
    QString start(const QString &xvfb)
    {
        for (int n = kFirstDisplay; n <= kLastDisplay; ++n) {
            const QByteArray socketPath = "/tmp/.X11-unix/X" + QByteArray::number(n);
            // Another server's lock or socket: that display is taken, even if its server is dead.
            if (QFileInfo::exists(QString::fromLatin1(socketPath))
                || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            if (launch(xvfb, n, socketPath)) {
                m_display = n;
                return {};
            }
        }
        return QStringLiteral("no X server could be started with %1 on any display :%2..:%3")
            .arg(xvfb)
            .arg(kFirstDisplay)
            .arg(kLastDisplay);
    }

    QByteArray display() const { return ":" + QByteArray::number(m_display); }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    bool launch(const QString &xvfb, int n, const QByteArray &socketPath)
    {
        const QByteArray program = xvfb.toLocal8Bit();
        const QByteArray display = ":" + QByteArray::number(n);
        const pid_t pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, STDIN_FILENO);
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
            }
            // A fixed size and resolution, so the windows never overlap and logical
            // coordinates are the server's.
            ::execl(program.constData(), "Xvfb", display.constData(), "-screen", "0", "1600x1000x24", "-dpi", "96",
                    "-nolisten", "tcp", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid)
                return false;  // lost a race for this display, or cannot run at all
            // The socket may be another server's that won the race for this display; the lock
            // file names the server that owns it.
            if (acceptsConnections(socketPath) && lockOwner(n) == pid) {
                m_pid = pid;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        m_pid = pid;
        stop();
        return false;
    }

    pid_t m_pid = -1;
    int m_display = -1;
};

// Why the cases are skipped; empty when the X server and xdotool are there.
QString g_skipReason;
QString g_xdotool;

// Exposes where the text cursor is drawn, to find the selected word on the screen.
class SourceLine : public QLineEdit {
public:
    using QLineEdit::cursorRect;
};

// Sees the drag a source starts and when it is over: the source owns its QDrag, and Qt deletes
// it once the drop has been answered and the source has acted on the answer.
class DragWatcher : public QObject {
public:
    explicit DragWatcher(QWidget *source)
    {
        source->installEventFilter(this);
        for (QWidget *inner : source->findChildren<QWidget *>())
            inner->installEventFilter(this);
    }
    bool started() const { return m_started; }
    bool finished() const { return m_started && !m_drag; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            // The child is announced from QObject's constructor, before it is a QDrag; it is
            // looked at once the drag's own event loop turns.
            QPointer<QObject> child = static_cast<QChildEvent *>(event)->child();
            QTimer::singleShot(0, this, [this, child] {
                if (auto *drag = qobject_cast<QDrag *>(child.data())) {
                    m_drag = drag;
                    m_started = true;
                }
            });
        }
        return false;
    }

private:
    QPointer<QDrag> m_drag;
    bool m_started = false;
};

const QString kSourceText = QStringLiteral("请点下一页吧");
constexpr int kWordStart = 2;
const QString kWord = QStringLiteral("下一页");
const QString kOldKeyword = QStringLiteral("旧的其它关键字");

class X11DragTest : public QObject {
    Q_OBJECT

    test::ScratchDir m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    std::unique_ptr<QWidget> m_sourceWindow;
    SourceLine *m_line = nullptr;
    QPlainTextEdit *m_plain = nullptr;

    ui::Frmmain &window() { return *m_window; }

    // Puts the source text in, selects the word, and answers where on the screen the word is.
    QPoint selectWordIn(QWidget *source)
    {
        if (source == m_line) {
            m_line->setText(kSourceText);
            m_line->setCursorPosition(kWordStart);
            const int left = m_line->cursorRect().center().x();
            m_line->setCursorPosition(kWordStart + kWord.size());
            const int right = m_line->cursorRect().center().x();
            m_line->setSelection(kWordStart, kWord.size());
            return m_line->mapToGlobal(QPoint((left + right) / 2, m_line->height() / 2));
        }
        m_plain->setPlainText(kSourceText);
        QTextCursor cursor = m_plain->textCursor();
        cursor.setPosition(kWordStart);
        const QRect left = m_plain->cursorRect(cursor);
        cursor.setPosition(kWordStart + kWord.size(), QTextCursor::KeepAnchor);
        const QRect right = m_plain->cursorRect(cursor);
        m_plain->setTextCursor(cursor);
        return m_plain->viewport()->mapToGlobal(QPoint((left.center().x() + right.center().x()) / 2, left.center().y()));
    }

    QString selectedIn(QWidget *source) const
    {
        return source == m_line ? m_line->selectedText() : m_plain->textCursor().selectedText();
    }

    QString textOf(QWidget *source) const { return source == m_line ? m_line->text() : m_plain->toPlainText(); }

    // The whole gesture for xdotool: press on the word, small steps to start the drag inside the
    // source, then across to the box and release there. Ctrl goes down only once the drag is
    // under way, as a user turns a drag into a copy.
    static QStringList gesture(QPoint from, QPoint to, bool ctrl)
    {
        QStringList args{QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
                         QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("mousedown"), QStringLiteral("1"),
                         QStringLiteral("sleep"), QStringLiteral("0.3")};
        const auto moveTo = [&args](QPoint p) {
            args << QStringLiteral("mousemove") << QString::number(p.x()) << QString::number(p.y())
                 << QStringLiteral("sleep") << QStringLiteral("0.15");
        };
        const QPoint outOfWord = from + QPoint(40, 8);
        moveTo(from + QPoint(5, 0));
        moveTo(from + QPoint(20, 4));
        moveTo(outOfWord);
        if (ctrl)
            args << QStringLiteral("keydown") << QStringLiteral("ctrl") << QStringLiteral("sleep") << QStringLiteral("0.2");
        constexpr int kSteps = 8;
        for (int i = 1; i <= kSteps; ++i)
            moveTo(outOfWord + (to - outOfWord) * i / kSteps);
        moveTo(to + QPoint(1, 0));
        moveTo(to);
        args << QStringLiteral("sleep") << QStringLiteral("0.3") << QStringLiteral("mouseup") << QStringLiteral("1")
             << QStringLiteral("sleep") << QStringLiteral("0.3");
        if (ctrl)
            args << QStringLiteral("keyup") << QStringLiteral("ctrl");
        return args;
    }

private slots:
    void initTestCase()
    {
        if (!g_skipReason.isEmpty())
            QSKIP(qPrintable(g_skipReason));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_window = test::makeTestWindow(m_dir);
        QVERIFY(m_window);
        QCOMPARE(m_window->devicePixelRatio(), 1.0);

        // The sources have their own top-level window beside the main one, so the drag leaves
        // one X window for another through the X drag-and-drop protocol, as from another program.
        m_sourceWindow = std::make_unique<QWidget>();
        m_sourceWindow->setWindowTitle(QStringLiteral("drag sources"));
        auto *layout = new QVBoxLayout(m_sourceWindow.get());
        QFont font = m_sourceWindow->font();
        font.setPointSize(16);
        m_sourceWindow->setFont(font);
        m_line = new SourceLine;
        m_line->setDragEnabled(true);
        layout->addWidget(m_line);
        m_plain = new QPlainTextEdit;
        m_plain->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(m_plain);
        m_sourceWindow->resize(360, 200);
        m_sourceWindow->move(m_window->frameGeometry().right() + 80, 300);
        m_sourceWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_sourceWindow.get()));
        QVERIFY(!m_sourceWindow->frameGeometry().intersects(m_window->frameGeometry()));
    }

    void cleanupTestCase()
    {
        m_sourceWindow.reset();
        m_window.reset();
    }

    void aRealDragReplacesTheKeyword_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("fromLine");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QString>("sourceAfter");
        const QString moved = QStringLiteral("请点吧");
        // A line edit offers its drags for copying only, so whatever the box answers, the line
        // keeps its text; the box's choice between move and copy shows on a text edit, which
        // offers both and takes the word out on a move.
        for (const QString &box : {QStringLiteral("txtNp"), QStringLiteral("txtGjz")}) {
            QTest::addRow("%s, from a line edit", qPrintable(box)) << box << true << false << kSourceText;
            QTest::addRow("%s, from a line edit with Ctrl", qPrintable(box)) << box << true << true << kSourceText;
            QTest::addRow("%s, moved from a text edit", qPrintable(box)) << box << false << false << moved;
            QTest::addRow("%s, copied from a text edit with Ctrl", qPrintable(box)) << box << false << true << kSourceText;
        }
    }

    void aRealDragReplacesTheKeyword()
    {
        QFETCH(QString, box);
        QFETCH(bool, fromLine);
        QFETCH(bool, ctrl);
        QFETCH(QString, sourceAfter);
        auto *edit = window().findChild<QLineEdit *>(box);
        QVERIFY(edit);
        QVERIFY(edit->isVisible());
        edit->setText(kOldKeyword);
        edit->setCursorPosition(3);

        QWidget *source = fromLine ? static_cast<QWidget *>(m_line) : m_plain;
        const QPoint from = selectWordIn(source);
        QCOMPARE(selectedIn(source), kWord);
        QWidget *underWord = m_sourceWindow->childAt(m_sourceWindow->mapFromGlobal(from));
        QVERIFY(underWord && (underWord == source || source->isAncestorOf(underWord)));
        const QPoint to = edit->mapToGlobal(edit->rect().center());
        QCOMPARE(m_window->childAt(m_window->mapFromGlobal(to)), edit);
        DragWatcher watcher(source);

        // The drag runs Qt's own nested event loop, so xdotool works on its own while the
        // test's loop keeps turning.
        QProcess xdotool;
        xdotool.setProcessChannelMode(QProcess::MergedChannels);
        xdotool.start(g_xdotool, gesture(from, to, ctrl));
        QVERIFY2(xdotool.waitForStarted(), qPrintable(xdotool.errorString()));
        const auto release = qScopeGuard([&xdotool] {
            if (xdotool.state() != QProcess::NotRunning) {
                xdotool.kill();
                xdotool.waitForFinished();
            }
            // A failed case must not leave the button or Ctrl down for the next one.
            if (QTest::currentTestFailed())
                QProcess::execute(g_xdotool, {QStringLiteral("keyup"), QStringLiteral("ctrl"),
                                              QStringLiteral("mouseup"), QStringLiteral("1")});
        });

        // A drag whose release went astray never returns from Qt's drag loop, where nothing of
        // this test runs but timers: Escape ends it there, and the case fails instead of hanging.
        bool rescued = false;
        QTimer rescue;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, &rescue, [&watcher, &rescued] {
            if (watcher.started() && !watcher.finished()) {
                rescued = true;
                QProcess::startDetached(g_xdotool, {QStringLiteral("key"), QStringLiteral("Escape"), QStringLiteral("keyup"),
                                                    QStringLiteral("ctrl"), QStringLiteral("mouseup"), QStringLiteral("1")});
            }
        });
        rescue.start(kDropWaitMs);

        QTRY_VERIFY_WITH_TIMEOUT(watcher.started(), kDropWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.finished(), kDropWaitMs);
        QVERIFY2(!rescued, "the drag did not end with the release; it was ended with Escape");
        QTRY_COMPARE_WITH_TIMEOUT(xdotool.state(), QProcess::NotRunning, kDropWaitMs);
        QVERIFY2(xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0,
                 xdotool.readAll().constData());
        // Replaced whole: not inserted at the cursor, nor anywhere else in the old keyword.
        QCOMPARE(edit->text(), kWord);
        QCOMPARE(textOf(source), sourceAfter);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    // Everything about the display is settled before the application object exists: that is
    // when Qt picks its platform and connects to the server.
    XvfbServer server;
    const QString xvfb = findTool("Xvfb");
    g_xdotool = findTool("xdotool");
    if (xvfb.isEmpty())
        g_skipReason = QStringLiteral("Xvfb is not installed");
    else if (g_xdotool.isEmpty())
        g_skipReason = QStringLiteral("xdotool is not installed");
    else
        g_skipReason = server.start(xvfb);

    if (g_skipReason.isEmpty()) {
        qputenv("DISPLAY", server.display());
        qputenv("QT_QPA_PLATFORM", "xcb");
        // Screen coordinates handed to xdotool must be the server's own.
        for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                 "QT_AUTO_SCREEN_SCALE_FACTOR"})
            qunsetenv(name);
        // Xvfb has no GPU, and the engine's GPU process only fails against it.
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--disable-gpu"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --disable-gpu").trimmed());
    } else {
        // Only to report the skip: no window is made.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    browser::prepareWebEngine();
    int status = 0;
    {
        QApplication app(argc, argv);
        X11DragTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    server.stop();
    return status;
}

#include "drag_test.moc"
