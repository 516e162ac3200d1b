#pragma once

// Debian's chromium, headless, for unattended runs: a throwaway profile, a DevTools port of its
// own choosing, and a process group of its own, so that the whole of it (renderers, helpers)
// ends with the object. Should this program die first, the kernel ends Chromium too.

#include <memory>

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include "capture/error.h"

class QTemporaryDir;

namespace tabvoro::browser {

// TABVORO_CHROMIUM when set and not empty, otherwise "chromium".
QString chromiumProgram();
// What `chromium --version` prints, trimmed ("Chromium 156.0.8078.129 built on Debian…");
// empty when no Chromium can be run. Asked once a process.
QString chromiumVersion();
// The major version in such a text; 0 when it holds none.
int chromiumMajorVersion(const QString &versionText);
// The switches Chromium is started with. The sandbox stays on unless running as root, where
// Chromium refuses to start with it.
QStringList chromiumArguments(const QString &profileFolder, int majorVersion, bool runningAsRoot);

class ChromiumProcess : public QObject {
    Q_OBJECT
public:
    explicit ChromiumProcess(QObject *parent = nullptr);
    // Kills the whole process group.
    ~ChromiumProcess() override;

    // Starts Chromium and waits (in a nested event loop) until it names its DevTools endpoint:
    // the browser's own WebSocket address.
    capture::Result<QUrl> start(int timeoutMs = 30000);
    bool isRunning() const;
    // The process group (the browser process's id); 0 before the start.
    qint64 processGroup() const { return m_group; }
    // Ends every process of the group and waits for the browser process.
    void kill();

signals:
    // Chromium ended by itself (not by kill()).
    void finished();

private:
    QProcess m_process;
    std::unique_ptr<QTemporaryDir> m_profile;
    qint64 m_group = 0;
    bool m_killing = false;
};

}  // namespace tabvoro::browser
