// CaptureRun: what the run does when its page does not come as a new document — a load that
// failed or never finished (tried again, then the run ends with the reason), and a next page
// that a script of the page puts in place of the old one.

#include <utility>

#include <QUrl>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "run/capture_run.h"
#include "run/page_actions.h"

namespace tabvoro::run {

void CaptureRun::onLoadStarted()
{
    // The step led to a new document after all: it is waited for as any load is.
    m_stepNavigationTimer.stop();
    m_scrollTimer.stop();
    m_tableWatch->cancel();
    m_stepRead.reset();
    // A page that was settling has been left (its script moved on, or it was reloaded): the
    // new document is waited for as the one the start or the capture was for.
    m_settleWatch->cancel();
    if (m_settlingStart)
        m_pendingStart = std::exchange(m_settlingStart, std::nullopt);
    if (m_on) {
        m_pageTimer.start(m_timings.pageTimeoutMs);
        if (m_state == RunState::WaitingInPlace || m_state == RunState::WaitingForRetry ||
            m_state == RunState::Settling)
            setState(RunState::WaitingForPage);
    }
}

void CaptureRun::onPageChangedInPlace()
{
    m_pageTimer.stop();
    m_scrollTimer.stop();
    if (!m_on || m_trigger != Trigger::PageLoad || m_controls->settings().timed)
        return;
    // The notice may come while a capture or a step is still waiting for the page.
    if (isBusy()) {
        QTimer::singleShot(m_timings.busyRecheckMs, this, &CaptureRun::onPageChangedInPlace);
        return;
    }
    setState(RunState::WaitingForPage);
    captureAfterLoad(true);
}

void CaptureRun::pageLoadFailed(const QString &url, const QString &reason, bool readAgainInPlace)
{
    // A user browsing sees the engine's error page; only a run tries again. While a retry
    // waits, the failures of what it replaced do not count twice.
    if (!m_on || m_retryTimer.isActive())
        return;
    m_pageTimer.stop();
    const auto step = m_loadRetry.onFailure(url.toStdString(), reason.toStdString());
    if (const auto *retry = std::get_if<capture::RetryLoad>(&step)) {
        m_retryUrl = QString::fromStdString(retry->url);
        m_retryInPlace = readAgainInPlace;
        const QString text = QString::fromStdString(retry->status);
        m_retryTimer.start(retry->waitMs);
        setState(RunState::WaitingForRetry);
        emit status(text);
        emit loadRetried(text);
        return;
    }
    EndRun(RunEnd::PageFailed, QString::fromStdString(std::get<capture::GiveUpLoad>(step).message));
}

void CaptureRun::retryFailedLoad()
{
    if (!m_on)
        return;
    if (m_retryInPlace) {
        onPageChangedInPlace();
    } else {
        setState(RunState::WaitingForPage);
        m_browser->Navigate(m_retryUrl);
    }
}

void CaptureRun::pageTimedOut()
{
    if (!m_on)
        return;
    if (m_browser->isLoading()) {
        const QString url = m_browser->loadingUrl().toString();
        // Stopped, the load is not reported: its failure is this one.
        m_browser->stop();
        pageLoadFailed(url, QString::fromStdString(capture::pageTimeoutReason(m_timings.pageTimeoutMs)));
        return;
    }
    if (m_tableWatch->isActive() || m_stepNavigationTimer.isActive())
        EndRun(RunEnd::NextPageDidNotCome,
               QString::fromStdString(capture::nextPageDidNotComeMessage(m_timings.pageTimeoutMs)));
}

bool CaptureRun::watchStepInPlace(QString *startInStep)
{
    // Only an after-load run waits for the page; a timed run captures on its ticks anyway.
    if (!capturesOnLoad() || m_controls->settings().timed)
        return false;
    // Watched from before the step: a script may put the next page in place at once.
    if (startInStep)
        *startInStep = m_tableWatch->startExpression();
    else
        m_tableWatch->start();
    m_stepNavigationTimer.start(m_timings.stepNavigationMs);
    setState(RunState::WaitingInPlace);
    return true;
}

void CaptureRun::stepStartedNoLoad()
{
    if (!capturesOnLoad() || m_browser->isLoading())
        return;
    m_tableWatch->arm();
    // A watch that could not be set up never reports; the time-out ends the run all the same.
    m_pageTimer.start(m_timings.pageTimeoutMs);
}

void CaptureRun::stopWaits()
{
    m_retryTimer.stop();
    m_pageTimer.stop();
    m_stepNavigationTimer.stop();
    m_scrollTimer.stop();
    m_tableWatch->cancel();
    m_settleWatch->cancel();
    m_settlingStart.reset();
    m_stepRead.reset();
}

void CaptureRun::scrollToEnd()
{
    if (m_fruitlessScrolls >= capture::kFruitlessScrollLimit) {
        EndRun(RunEnd::PagesRanOut,
               QString::fromStdString(capture::fruitlessScrollsMessage(m_browser->LocationURL().toStdString())));
        return;
    }
    // A run on the timer captures on its ticks; an after-load run waits for the rows the scroll
    // brings, which come in place, or for its time to pass.
    const bool waits = capturesOnLoad() && !m_controls->settings().timed;
    if (waits) {
        m_tableWatch->start();
        m_tableWatch->arm();
        setState(RunState::WaitingInPlace);
    }
    // Whatever page is shown: a scroll cannot page past one.
    m_browser->performAction(scrollToEndScript(QString()));
    if (waits)
        m_scrollTimer.start(m_timings.scrollWaitMs);
}

void CaptureRun::scrollBroughtNothing()
{
    m_tableWatch->cancel();
    if (!m_on)
        return;
    ++m_fruitlessScrolls;
    setState(RunState::WaitingForPage);
    OpenNextPage();
}

}  // namespace tabvoro::run
