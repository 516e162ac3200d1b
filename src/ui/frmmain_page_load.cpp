// Frmmain: what a run does when its page does not come as a new document — a load that failed
// or never finished (tried again, then the run ends with the reason), and a next page that a
// script of the page puts in place of the old one.

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "browser/page_change_watch.h"
#include "browser/browser_engine.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

namespace {

// How long a next-page step has to start a new document before the run looks for the next
// page in the page itself.
constexpr int kStepNavigationMs = 1000;
// In-place pages in a row that only repeat the capture before them: the step has stopped
// turning the page (a last page whose "next" button only redraws it).
constexpr int kInPlaceRepeatLimit = 3;

}  // namespace

bool Frmmain::running() const { return Command1->text() != capture::kIdleCaption; }

void Frmmain::createRunTimers()
{
    const auto singleShot = [this](QTimer *&timer, void (Frmmain::*handler)()) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, handler);
    };
    singleShot(m_retryTimer, &Frmmain::retryFailedLoad);
    singleShot(m_pageTimer, &Frmmain::pageTimedOut);
    singleShot(m_stepNavigationTimer, &Frmmain::stepStartedNoLoad);
    m_tableWatch = new browser::TableChangeWatch(m_browser);
    connect(m_tableWatch, &browser::TableChangeWatch::settled, this, &Frmmain::WebBrowser1_PageChanged);
    connect(m_browser, &browser::BrowserEngine::LoadStarted, this, &Frmmain::WebBrowser1_LoadStarted);
}

void Frmmain::WebBrowser1_LoadStarted()
{
    // The step led to a new document after all: it is waited for as any load is.
    m_stepNavigationTimer->stop();
    m_tableWatch->cancel();
    m_stepRead.reset();
    if (running())
        m_pageTimer->start(m_pageTimeoutMs);
}

void Frmmain::WebBrowser1_PageChanged()
{
    m_pageTimer->stop();
    if (!running() || !m_captureOnLoad || CheckDs->isChecked())
        return;
    // The notice may come while a capture or a step is still waiting for the page.
    if (busy()) {
        QTimer::singleShot(50, this, &Frmmain::WebBrowser1_PageChanged);
        return;
    }
    captureAfterLoad(true);
}

void Frmmain::captureAfterLoad(bool changedInPlace)
{
    const CaptureOutcome outcome = CaptureTable();
    if (!outcome.pageRead) {
        // A page that cannot be read is not captured, and the run does not page past it. One
        // that a script put in place is read again where it stands: loading its address again
        // would start the paging over from the first page and write those pages twice.
        pageLoadFailed(m_browser->LocationURL(), QStringLiteral("网页无法读取"), changedInPlace);
        return;
    }
    m_inPlaceRepeats = changedInPlace && !outcome.kept ? m_inPlaceRepeats + 1 : 0;
    if (m_inPlaceRepeats >= kInPlaceRepeatLimit) {
        endRunEarly(QString::fromStdString(capture::nextPageDidNotComeMessage(m_pageTimeoutMs)), false);
        return;
    }
    if (pagingHolds(capture::PagingCheck::Running)) {
        yieldOnce();
        OpenNextPage();
    }
}

void Frmmain::pageLoadFailed(const QString &url, const QString &reason, bool readAgainInPlace)
{
    // A user browsing sees the engine's error page; only a run tries again. While a retry
    // waits, the failures of what it replaced do not count twice.
    if (!running() || m_retryTimer->isActive())
        return;
    m_pageTimer->stop();
    const auto step = m_loadRetry.onFailure(url.toStdString(), reason.toStdString());
    if (const auto *retry = std::get_if<capture::RetryLoad>(&step)) {
        m_retryUrl = QString::fromStdString(retry->url);
        m_retryInPlace = readAgainInPlace;
        m_statusText = QString::fromStdString(retry->status);
        ShowStatus(3, m_statusText);
        m_retryTimer->start(retry->waitMs);
        emit loadRetried(m_statusText);
        return;
    }
    endRunEarly(QString::fromStdString(std::get<capture::GiveUpLoad>(step).message), true);
}

void Frmmain::retryFailedLoad()
{
    if (!running())
        return;
    if (m_retryInPlace)
        WebBrowser1_PageChanged();
    else
        m_browser->Navigate(m_retryUrl);
}

void Frmmain::pageTimedOut()
{
    if (!running())
        return;
    if (m_browser->isLoading()) {
        const QString url = m_browser->loadingUrl().toString();
        // Stopped, the load is not reported: its failure is this one.
        m_browser->stop();
        pageLoadFailed(url, QString::fromStdString(capture::pageTimeoutReason(m_pageTimeoutMs)));
        return;
    }
    if (m_tableWatch->isActive() || m_stepNavigationTimer->isActive())
        endRunEarly(QString::fromStdString(capture::nextPageDidNotComeMessage(m_pageTimeoutMs)), false);
}

void Frmmain::watchStepInPlace()
{
    // Only an after-load run waits for the page; a timed run captures on its ticks anyway.
    if (!m_captureOnLoad || CheckDs->isChecked())
        return;
    // Watched from before the step: a script may put the next page in place at once.
    m_tableWatch->start();
    m_stepNavigationTimer->start(kStepNavigationMs);
}

void Frmmain::stepStartedNoLoad()
{
    if (!running() || !m_captureOnLoad || m_browser->isLoading())
        return;
    m_tableWatch->arm();
    // A watch that could not be set up never reports; the time-out ends the run all the same.
    m_pageTimer->start(m_pageTimeoutMs);
}

void Frmmain::endRunEarly(const QString &message, bool pageFailed)
{
    EndRun();
    m_runEndMessage = message;
    m_runEndedOnFailedPage = pageFailed;
    m_statusText = message;
    ShowStatus(3, m_statusText);
    emit runEndedEarly(message);
}

void Frmmain::stopRunWaits()
{
    m_retryTimer->stop();
    m_pageTimer->stop();
    m_stepNavigationTimer->stop();
    m_tableWatch->cancel();
    m_stepRead.reset();
}

}  // namespace tabvoro::ui
