#include "browser/chromium_process.h"

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "browser/devtools_connection.h"

namespace tabvoro::browser {

QString chromiumProgram()
{
    const QString configured = qEnvironmentVariable("TABVORO_CHROMIUM");
    return configured.isEmpty() ? QStringLiteral("chromium") : configured;
}

QString chromiumVersion()
{
    static const QString version = [] {
        QProcess process;
        process.start(chromiumProgram(), {QStringLiteral("--version")});
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished();
            return QString();
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }();
    return version;
}

int chromiumMajorVersion(const QString &versionText)
{
    static const QRegularExpression number(QStringLiteral("(\\d+)\\.\\d+"));
    const auto match = number.match(versionText);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QStringList chromiumArguments(const QString &profileFolder, int majorVersion, bool runningAsRoot)
{
    // The new headless mode is the browser itself without a window; the old one, a separate
    // implementation, left Chromium in version 132.
    constexpr int kNewHeadlessSince = 109;
    QStringList arguments{
        majorVersion >= kNewHeadlessSince ? QStringLiteral("--headless=new") : QStringLiteral("--headless"),
        QStringLiteral("--user-data-dir=") + profileFolder,
        // Chromium picks a free port and writes it to DevToolsActivePort in the profile.
        QStringLiteral("--remote-debugging-port=0"),
        QStringLiteral("--remote-debugging-address=127.0.0.1"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--disable-gpu"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-breakpad"),
        QStringLiteral("--mute-audio"),
        QStringLiteral("--password-store=basic"),
        QStringLiteral("--use-mock-keychain"),
        // A page shown again from the back-forward cache is not loaded, and so never complete.
        QStringLiteral("--disable-features=BackForwardCache"),
    };
    if (runningAsRoot)
        arguments << QStringLiteral("--no-sandbox");
    arguments << QStringLiteral("about:blank");
    return arguments;
}

ChromiumProcess::ChromiumProcess(QObject *parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    // Chromium talks a lot on its error output (no D-Bus, no GPU); none of it is ours to show.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setChildProcessModifier([] {
        // Only async-signal-safe calls between fork and exec.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    connect(&m_process, &QProcess::finished, this, [this] {
        if (!m_killing)
            emit finished();
    });
}

ChromiumProcess::~ChromiumProcess() { kill(); }

bool ChromiumProcess::isRunning() const { return m_process.state() != QProcess::NotRunning; }

void ChromiumProcess::kill()
{
    if (m_group > 0)
        ::kill(static_cast<pid_t>(-m_group), SIGKILL);
    m_group = 0;
    if (m_process.state() != QProcess::NotRunning) {
        m_killing = true;
        m_process.kill();
        m_process.waitForFinished(5000);
        m_killing = false;
    }
}

capture::Result<QUrl> ChromiumProcess::start(int timeoutMs)
{
    kill();
    m_profile = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tabvoro-chromium-XXXXXX"));
    if (!m_profile->isValid())
        return capture::failure("no temporary folder for Chromium's profile: " +
                                m_profile->errorString().toStdString());
    const int major = chromiumMajorVersion(chromiumVersion());
    m_process.start(chromiumProgram(), chromiumArguments(m_profile->path(), major, ::geteuid() == 0));
    if (!m_process.waitForStarted(10000))
        return capture::failure("Chromium could not be started (" + chromiumProgram().toStdString() +
                                "): " + m_process.errorString().toStdString());
    m_group = m_process.processId();

    // The port file appears once the endpoint listens: first line the port, second the path.
    const QString portFile = m_profile->filePath(QStringLiteral("DevToolsActivePort"));
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        QFile file(portFile);
        if (!isRunning() || (file.open(QIODevice::ReadOnly) && file.readAll().count('\n') >= 1))
            loop.quit();
    });
    connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    poll.start(50);
    waitAtMost(loop, timeoutMs);

    QFile file(portFile);
    const QStringList lines =
        file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split('\n') : QStringList();
    if (lines.size() < 2 || lines[0].toInt() <= 0 || !lines[1].startsWith('/')) {
        const bool ended = !isRunning();
        kill();
        return capture::failure(ended ? "Chromium ended before it opened its DevTools port"
                                      : "Chromium did not open its DevTools port within " +
                                            std::to_string(timeoutMs) + " ms");
    }
    return QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(lines[0].trimmed(), lines[1].trimmed()));
}

}  // namespace tabvoro::browser
