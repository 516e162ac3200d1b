#pragma once

// How both engines wait for a script's answer: in a nested event loop, so that timers, page
// notices and clicks keep being handled meanwhile (callers guard against re-entry), and never
// for longer than the script's time. The answer may come after the wait gave up on it, when the
// waiting frame is gone: it reaches the wait only through a record they share. The engine may
// go during the wait (a handler closed it): the wait ends then, and says so.

#include <memory>
#include <optional>
#include <string>

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include "capture/error.h"

namespace tabvoro::browser {

template <class Answer>
class AnswerWait {
public:
    static constexpr int kPumpMs = 20;

    explicit AnswerWait(QObject *engine) : m_engine(engine), m_shared(std::make_shared<Shared>())
    {
        m_shared->loop = &m_loop;
        QObject::connect(engine, &QObject::destroyed, &m_loop, &QEventLoop::quit);
    }

    // What the engine calls with the answer; harmless once the wait is over.
    auto receiver() const
    {
        return [shared = m_shared](const Answer &answer) {
            shared->answer = answer;
            if (shared->loop)
                shared->loop->quit();
        };
    }

    // Why a wait ends without an answer.
    enum class End {
        None,
        PageChanged,  // a new document replaced the page that was asked
        PageLost,     // the page's process, or the engine's, died
    };

    // Ends the wait without an answer when `sender` sends `signal` and `when()` holds then.
    template <class Sender, class Signal, class When>
    void endOn(const Sender *sender, Signal signal, End why, When when)
    {
        QObject::connect(sender, signal, &m_loop, [this, why, when] {
            if (!when())
                return;
            m_ended = why;
            m_loop.quit();
        });
    }
    template <class Sender, class Signal>
    void endOn(const Sender *sender, Signal signal, End why)
    {
        endOn(sender, signal, why, [] { return true; });
    }

    // Waits for the answer, at most `timeoutMs`.
    void wait(int timeoutMs)
    {
        m_timeoutMs = timeoutMs;
        if (m_shared->answer)
            return;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        timeout.start(timeoutMs);
        // The web view's own work on this thread is not always woken while a nested loop has
        // nothing else due: a page's synchronous request (the encoding check's) then never got
        // its answer, and the wait ran out. A timer keeps the loop turning.
        QTimer pump;
        pump.start(kPumpMs);
        m_loop.exec();
    }

    // For connections that last as long as the wait.
    QObject *context() { return &m_loop; }

    // Whether the engine went while the wait was on: nothing of it may be touched any more.
    bool engineGone() const { return !m_engine; }
    const std::optional<Answer> &answer() const { return m_shared->answer; }

    // Why there is no answer, as both engines say it.
    capture::Error failure() const
    {
        if (engineGone())
            return {"the browser was closed before the page answered"};
        switch (m_ended) {
        case End::PageChanged:
            return {"the page changed before it answered"};
        case End::PageLost:
            return {"the page's renderer stopped before it answered"};
        case End::None:
            break;
        }
        return {"the page did not answer within " + std::to_string(m_timeoutMs) + " ms"};
    }

private:
    struct Shared {
        QPointer<QEventLoop> loop;
        std::optional<Answer> answer;
    };
    QPointer<QObject> m_engine;
    QEventLoop m_loop;
    std::shared_ptr<Shared> m_shared;
    End m_ended = End::None;
    int m_timeoutMs = 0;
};

}  // namespace tabvoro::browser
