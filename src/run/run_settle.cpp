// CaptureRun: the wait for a page that has loaded but is still fetching its rows, or still
// without the table asked for — captured once it has settled, or at the settle limit as it is.

#include <utility>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "capture/capture_table.h"
#include "run/capture_run.h"

namespace tabvoro::run {

namespace {

constexpr const char *kSettlingMessage = "等待网页加载完成...";

}  // namespace

void CaptureRun::waitForSettle()
{
    setState(RunState::Settling);
    emit status(kSettlingMessage);
    m_settleWatch->start(m_timings.settleLimitMs);
}

bool CaptureRun::tableAskedForIsThere()
{
    const auto settings = m_controls->settings();
    const auto document = browser::takeSnapshot(
        [this](const QString &script) { return m_browser->evaluate(script); },
        browser::SnapshotRequest::forCapture(settings));
    return !document || capture::hasMatchingTable(**document, settings);
}

void CaptureRun::onPageQuiet(bool atLimit)
{
    if (!m_on || m_state != RunState::Settling)
        return;
    // Quiet while the run still reads the page for something else: looked at once it is done.
    if (isBusy()) {
        QTimer::singleShot(m_timings.busyRecheckMs, this, [this, atLimit] { onPageQuiet(atLimit); });
        return;
    }
    if (m_settlingStart) {
        // The table may still come after a quiet spell (a page waiting on a timer of its own):
        // it is waited for until the limit.
        if (!atLimit && !tableAskedForIsThere()) {
            if (m_on && m_state == RunState::Settling)
                m_settleWatch->awaitChange();
            return;
        }
        if (!m_on || m_state != RunState::Settling)
            return;
        const bool resumed = *std::exchange(m_settlingStart, std::nullopt);
        setState(RunState::WaitingForPage);
        startOnSettledFirstPage(resumed);
        return;
    }
    setState(RunState::WaitingForPage);
    captureAfterLoad(false, atLimit ? Settle::Done : Settle::Quiet);
}

}  // namespace tabvoro::run
