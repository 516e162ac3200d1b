#include "stop_signals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace tabvoro::cli {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// A handler may do next to nothing: it writes the signal's number into a pipe, and the event
// loop reads it from there like any other event.
int g_pipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

void handleWith(void (*handler)(int), int flags)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

}  // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    // SA_RESETHAND: the signal's default comes back with the first one, for the second.
    handleWith(onSignal, SA_RESTART | SA_RESETHAND);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    handleWith(SIG_DFL, 0);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::readPipe()
{
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1) {
        if (m_received)
            continue;
        m_received = number;
        emit stopRequested(number);
    }
}

}  // namespace tabvoro::cli
