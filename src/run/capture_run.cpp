// CaptureRun: the start, the triggers of each capture (a page load, a tick, a page put in place)
// and the one end of a run.

#include "run/capture_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUrl>
#include <utility>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "capture/output/compact_output.h"
#include "capture/text_rules.h"
#include "run/page_actions.h"

namespace tabvoro::run {

namespace {

constexpr const char *kNoPlaceholderAtStart =
    "    你没有将网址列表中的页码数字修改为“(*)”,本程序无法继续打开下一页，请先修改!     ";
constexpr const char *kEmptyUrlList = "   网址列表为空，请先添加网址列表!     ";
// How long a page that is to be read is given to answer a trivial script, at a time.
constexpr int kAnswerPingMs = 250;
// In-place pages in a row that only repeat the capture before them: the step has stopped
// turning the page (a last page whose "next" button only redraws it).
constexpr int kInPlaceRepeatLimit = 3;

// Lets pending events run once, as the run does before each next-page step: the button, the
// browser's notices and the window stay alive between a capture and its step.
void yieldOnce() { QCoreApplication::processEvents(); }

}  // namespace

CaptureRun::CaptureRun(browser::BrowserEngine *browser, RunControls *controls, RunTimings timings, QObject *parent)
    : QObject(parent),
      m_browser(browser),
      m_controls(controls),
      m_timings(std::move(timings)),
      m_loadRetry(m_timings.retryWaitsMs),
      m_tableWatch(std::make_unique<browser::TableChangeWatch>(browser, m_timings.settleMs, m_timings.stillMs)),
      m_settleWatch(std::make_unique<browser::PageSettleWatch>(browser, m_timings.settleMs))
{
    m_timer.setInterval(2000);
    connect(&m_timer, &QTimer::timeout, this, &CaptureRun::onTimer);
    for (QTimer *wait : {&m_retryTimer, &m_pageTimer, &m_stepNavigationTimer, &m_scrollTimer})
        wait->setSingleShot(true);
    connect(&m_scrollTimer, &QTimer::timeout, this, &CaptureRun::scrollBroughtNothing);
    connect(&m_retryTimer, &QTimer::timeout, this, &CaptureRun::retryFailedLoad);
    connect(&m_pageTimer, &QTimer::timeout, this, &CaptureRun::pageTimedOut);
    connect(&m_stepNavigationTimer, &QTimer::timeout, this, &CaptureRun::stepStartedNoLoad);
    connect(m_tableWatch.get(), &browser::TableChangeWatch::settled, this, &CaptureRun::onPageChangedInPlace);
    connect(m_settleWatch.get(), &browser::PageSettleWatch::quiet, this, &CaptureRun::onPageQuiet);
    connect(browser, &browser::BrowserEngine::LoadProgressed, this, [this] {
        // The time-out counts from the load's last sign of progress: a large page still
        // arriving has not failed, one whose server stopped sending has.
        if (m_pageTimer.isActive() && m_browser->isLoading())
            m_pageTimer.start(m_timings.pageTimeoutMs);
    });
    connect(browser, &browser::BrowserEngine::LoadStarted, this, &CaptureRun::onLoadStarted);
    connect(browser, &browser::BrowserEngine::DocumentComplete, this, &CaptureRun::onDocumentComplete);
}

CaptureRun::~CaptureRun() = default;

void CaptureRun::setState(RunState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool CaptureRun::pagingHolds(capture::PagingCheck check) const
{
    return capture::pagingConditionHolds(check, m_controls->settings(), m_controls->urlList().size(), m_on);
}

void CaptureRun::start()
{
    // A start while a capture or a step still waits for the page would run over it.
    if (m_on || isBusy() || m_controls->settings().url.empty())
        return;
    // Rows are written once within a run; a resumed run takes the rows of its file as its own.
    if (!std::exchange(m_rowsCarried, false))
        m_session.writtenRows.clear();
    CaptureTable();
    const auto settings = m_controls->settings();
    if (settings.pagingMode == capture::PagingMode::PageNumber && capture::isSet(settings.startPage) &&
        capture::isSet(settings.endPage) && settings.url.find("(*)") == std::string::npos)
        emit notice(kNoPlaceholderAtStart, NoticeFocus::AddressList);
    if (settings.pagingMode == capture::PagingMode::UrlList && m_controls->urlList().empty()) {
        emit notice(kEmptyUrlList, NoticeFocus::AddressList);
        return;
    }
    // A capture of one page is a run whose pages have run out.
    if (!pagingHolds(capture::PagingCheck::Full)) {
        recordRunEnd(true);
        return;
    }
    arm();
    if (m_trigger == Trigger::PageLoad)
        OpenNextPage();
}

void CaptureRun::startResumed()
{
    // The page the run stopped on (modes 0 and 3) gives a capture the repeat check drops; the
    // run then steps on from it. In modes 1 and 2 the page is the next one, captured at once.
    // A drop-down may turn its pages in place under one address: the value it had reached is
    // set again first, and the run goes on once that page is there, as after any step.
    const auto settings = m_controls->settings();
    if (settings.pagingMode == capture::PagingMode::DropDown && m_dropDownValue && !isBusy() && !m_on) {
        arm();
        watchStepInPlace();
        const auto changed = m_browser->performAction(restoreDropDownsScript(settings.dropDownName, *m_dropDownValue));
        if (changed && changed->toInt() > 0)
            return;
        // Nothing to set back: the page shown is where the run goes on, as in the other modes.
        stopWaits();
        m_on = false;
        m_timer.stop();
        setState(RunState::Idle);
        emit runningChanged(false);
    }
    start();
}

void CaptureRun::openAndStart(const QString &address, bool resumed)
{
    if (m_on || isBusy())
        return;
    m_loadRetry.onSuccess();
    m_endReason.reset();
    m_endMessage.clear();
    m_started = false;
    m_pendingStart = resumed;
    m_on = true;
    m_trigger = Trigger::PageLoad;
    setState(RunState::WaitingForPage);
    emit runningChanged(true);
    m_browser->Navigate(address);
}

void CaptureRun::startOnFirstPage(bool resumed)
{
    // After the page's own notice has been handled by all, as a user pressing the button would.
    QTimer::singleShot(0, this, [this, resumed] {
        // A page complete in the browser may still be busy with a script of its own (a
        // synchronous request): it is started on once it answers, as a user presses the button
        // on a page that responds, rather than read into a wait that outlasts it.
        QElapsedTimer waited;
        waited.start();
        while (m_on && !m_browser->evaluate(QStringLiteral("1"), kAnswerPingMs) &&
               waited.elapsed() < m_timings.pageTimeoutMs) {
        }
        if (!m_on)
            return;
        // A page still fetching its rows, or without the table asked for yet, is started on
        // once it has settled.
        if (m_timings.settleLimitMs > 0 && (browser::outstandingRequests(m_browser) > 0 || !tableAskedForIsThere())) {
            if (!m_on)
                return;
            m_settlingStart = resumed;
            waitForSettle();
            return;
        }
        startOnSettledFirstPage(resumed);
    });
}

void CaptureRun::startOnSettledFirstPage(bool resumed)
{
    if (!m_on)
        return;
    m_on = false;
    m_started = true;
    resumed ? startResumed() : start();
    if (!m_on)
        EndRun(RunEnd::PagesRanOut);
}

void CaptureRun::arm()
{
    m_loadRetry.onSuccess();
    m_inPlaceRepeats = 0;
    m_fruitlessScrolls = 0;
    m_endReason.reset();
    m_endMessage.clear();
    m_on = true;
    m_trigger = m_controls->settings().timed ? Trigger::Timer : Trigger::PageLoad;
    if (m_trigger == Trigger::Timer)
        m_timer.start();
    setState(RunState::WaitingForPage);
    emit runningChanged(true);
}

void CaptureRun::EndRun(RunEnd reason, const QString &message)
{
    const bool wasOn = m_on;
    // Ended before its first page came: the run wrote nothing to compact or record.
    const bool opening = m_pendingStart.has_value();
    m_pendingStart.reset();
    m_on = false;
    m_timer.stop();
    stopWaits();
    m_endReason = reason;
    m_endMessage = message;
    setState(RunState::Ended);
    if (wasOn)
        emit runningChanged(false);
    // The file is left as it was written by a timed run whose timer was switched off (where
    // paging no longer holds that is its end), and by a single capture, for which no run was
    // armed.
    if (reason != RunEnd::TimerSwitchedOff && !opening && wasOn) {
        // A run that saved nothing has no file to compact; that is not a failure.
        (void)capture::CompactOutputFile(m_session.outputPath);
        recordRunEnd(reason == RunEnd::PagesRanOut);
    }
    if (!message.isEmpty())
        emit status(message);
    emit ended(reason, message);
}

void CaptureRun::onTimer()
{
    // A page that failed to load waits for its retry: nothing of it is captured, and the run
    // does not page past it.
    if (isBusy() || m_retryTimer.isActive() || m_browser->showsFailedLoad())
        return;
    // The tick pages only from a page it has read, never past one it could not capture.
    const bool read = CaptureTable().pageRead;
    if (read && m_controls->settings().inFrame) {
        // While the browser still reports a download the tick captures but does not page.
        if (m_controls->downloadIdle() && pagingHolds(capture::PagingCheck::FrameTick)) {
            yieldOnce();
            OpenNextPage();
        }
    } else if (read && pagingHolds(capture::PagingCheck::Full)) {
        yieldOnce();
        OpenNextPage();
    }
    if (!m_on || m_controls->settings().timed)
        return;
    // The timed mode was switched off during the run: page loads drive it from here on.
    if (pagingHolds(capture::PagingCheck::Running)) {
        m_timer.stop();
        m_trigger = Trigger::PageLoad;
    } else {
        EndRun(RunEnd::TimerSwitchedOff);
    }
}

void CaptureRun::onDocumentComplete(const QUrl &url, bool ok)
{
    m_pageTimer.stop();
    if (!ok) {
        pageLoadFailed(url.toString(), m_browser->lastFailure().reason);
        return;
    }
    m_loadRetry.onSuccess();
    if (m_browser->LocationURL() == "about:blank")
        return;
    if (m_pendingStart) {
        const bool resumed = *m_pendingStart;
        m_pendingStart.reset();
        startOnFirstPage(resumed);
        return;
    }
    if (m_controls->settings().timed || !capturesOnLoad() || isBusy() || m_settleWatch->isActive())
        return;
    captureAfterLoad(false);
}

void CaptureRun::captureAfterLoad(bool changedInPlace, Settle settle)
{
    // Many pages fetch their rows after the load: a new document is captured at once only when
    // it has nothing outstanding and the table asked for is there, else once it has settled.
    // (A page put in place has settled already.)
    const bool mayWait = !changedInPlace && settle != Settle::Done && m_timings.settleLimitMs > 0;
    if (mayWait && settle == Settle::Fresh && browser::outstandingRequests(m_browser) > 0) {
        if (m_on)
            waitForSettle();
        return;
    }
    const CaptureOutcome outcome = CaptureTable(mayWait);
    if (outcome.held) {
        if (m_on)
            settle == Settle::Fresh ? waitForSettle() : m_settleWatch->awaitChange();
        if (m_on)
            setState(RunState::Settling);
        return;
    }
    if (!outcome.pageRead) {
        // A page that cannot be read is not captured, and the run does not page past it. One
        // that a script put in place is read again where it stands: loading its address again
        // would start the paging over from the first page and write those pages twice.
        pageLoadFailed(m_browser->LocationURL(), QStringLiteral("网页无法读取"), changedInPlace);
        return;
    }
    // A scroll that brings nothing is counted by the scroll's own rule.
    const bool scrolling = m_controls->settings().pagingMode == capture::PagingMode::Scroll;
    m_inPlaceRepeats = changedInPlace && !outcome.kept && !scrolling ? m_inPlaceRepeats + 1 : 0;
    if (m_inPlaceRepeats >= kInPlaceRepeatLimit) {
        EndRun(RunEnd::NextPageDidNotCome,
               QString::fromStdString(capture::nextPageDidNotComeMessage(m_timings.pageTimeoutMs)));
        return;
    }
    if (pagingHolds(capture::PagingCheck::Running)) {
        yieldOnce();
        OpenNextPage();
    }
}

}  // namespace tabvoro::run
