#pragma once

// SIGTERM and SIGINT end an unattended run as its time limit does: the run is stopped as the
// button stops it, its output compacted and its job's progress written, the browser and all its
// processes ended, and the program exits with the status a shell gives a program the signal
// killed (128 + the signal's number). A second signal while that is under way kills the program
// at once.

#include <QObject>

class QSocketNotifier;

namespace tabvoro::cli {

class StopSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from now on, until this object goes; one object at a time.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // The first signal caught; 0 while none has come.
    int received() const { return m_received; }

signals:
    void stopRequested(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
};

// The exit status of a run a signal stopped.
constexpr int stoppedExitStatus(int signal) { return 128 + signal; }

}  // namespace tabvoro::cli
