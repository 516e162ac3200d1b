// CaptureRun: the step to the next page — worked out by the engine on the page as the run last
// read it, and carried out on that same document only.

#include <QEventLoop>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "capture/text_rules.h"
#include "run/capture_run.h"
#include "run/page_actions.h"

namespace tabvoro::run {

void CaptureRun::OpenNextPage()
{
    if (m_stepping)
        return;
    m_stepping = true;
    setState(RunState::Stepping);
    // A load whose failure was reported while the page was being read (the capture's or the
    // step's read waits for its answer) is the retry's to take on: a step from its error page
    // would page past it, or end the run there.
    const auto waitsForRetry = [this] { return m_browser->showsFailedLoad() || m_retryTimer.isActive(); };
    while (!waitsForRetry()) {
        const auto settings = m_controls->settings();
        capture::NextPageInput input;
        input.text1 = m_controls->shownText().value_or(m_lastKeptText);
        input.urlList = m_controls->urlList();
        input.currentRow = m_controls->urlListRow();
        input.captureOnLoad = capturesOnLoad();
        input.pageTurnText = m_pageTurnText;

        // Only the link and drop-down modes look into the page.
        capture::Result<std::unique_ptr<capture::SnapshotDocument>> page = capture::failure("not read");
        if (settings.pagingMode == capture::PagingMode::NextLink ||
            settings.pagingMode == capture::PagingMode::DropDown) {
            bool changedSinceCapture = false;
            page = readPageForStep(settings, &changedSinceCapture);
            if (page && changedSinceCapture) {
                // The page changed between its capture and this step (the rest of a page still
                // arriving, a table its script filled): the step would page past what was never
                // captured. It is captured first, and the step acts on that read.
                m_stepping = false;
                const bool read = CaptureTable().pageRead;
                m_stepping = true;
                if (!read || !m_on)
                    break;
                page = readPageForStep(settings, &changedSinceCapture);
            }
            // A page that cannot be read at all is most likely still being replaced: no step now;
            // the next tick or page load tries again. (A frame that cannot be read is another
            // matter: the step then finds nothing to click and ends the run.)
            if (!page) {
                emit status("未能读取当前网页，暂不翻页：" + QString::fromStdString(page.error().message));
                break;
            }
            input.page = page->get();
            if (waitsForRetry())
                break;
        }

        const capture::NextPageStep step = capture::OpenNextPage(settings, input);
        // A page still arriving, or the engine's error page of a load whose failure is still to
        // be reported, does not tell that the pages ran out: the next tick or the load's end
        // decides. (A timed tick comes whether or not the page has loaded.)
        if (std::holds_alternative<capture::EndTheRun>(step.action) && m_browser->isLoading())
            break;
        if (!std::holds_alternative<capture::CaptureAndRetry>(step.action)) {
            carryOut(step);
            break;
        }
        // The page number has not moved on since the last capture kept: capture again until it
        // has, for as long as the run stays armed (a stop ends this loop).
        m_stepping = false;
        CaptureTable();
        m_stepping = true;
        const auto now = m_controls->settings();
        if (!capturesOnLoad() || now.pagingMode != capture::PagingMode::PageNumber || !capture::isSet(now.startPage) ||
            !capture::isSet(now.endPage))
            break;
        QEventLoop pause;
        QTimer::singleShot(m_timings.recapturePauseMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    m_stepping = false;
    // What the step set going (a wait in place, a retry, the end) says where the run is now.
    if (m_state == RunState::Stepping)
        setState(m_on ? RunState::WaitingForPage : RunState::Ended);
}

capture::Result<std::unique_ptr<capture::SnapshotDocument>> CaptureRun::readPageForStep(
    const capture::CaptureSettings &settings, bool *changedSinceCapture)
{
    // The capture just read the page with the step's parts: unless the page has changed since
    // (a new document, or any change its scripts made), that read is the step's as well.
    if (auto read = std::move(m_stepRead)) {
        if (m_stepReadStamp == browser::currentChangeStamp(m_browser)) {
            m_stepStamp = m_stepReadStamp;
            return read;
        }
        *changedSinceCapture = true;
    }
    return browser::takeSnapshot(browser::stampedEvaluate(m_browser, &m_stepStamp),
                                 browser::SnapshotRequest::forNextPage(settings));
}

void CaptureRun::carryOut(const capture::NextPageStep &step)
{
    if (step.startPage)
        m_controls->setStartPage(*step.startPage);
    if (step.pageTurnText)
        m_pageTurnText = *step.pageTurnText;
    if (step.markRow)
        m_controls->markUrlListRow(*step.markRow);
    if (step.currentRow)
        m_controls->setUrlListRow(*step.currentRow);

    const QString guard = browser::sameDocumentGuard(m_stepStamp);
    if (const auto *click = std::get_if<capture::ClickElement>(&step.action)) {
        watchStepInPlace();
        m_browser->performAction(elementScript(guard, click->index, click->frame, clickAction()));
    } else if (const auto *navigate = std::get_if<capture::NavigateTo>(&step.action)) {
        m_browser->Navigate(QString::fromStdString(navigate->url));
    } else if (const auto *advance = std::get_if<capture::AdvanceDropDowns>(&step.action)) {
        if (!advance->changes.empty())
            m_dropDownValue = advance->changes.front().value;
        watchStepInPlace();
        for (const auto &change : advance->changes)
            m_browser->performAction(elementScript(guard, change.index, std::nullopt, setValueAction(change.value)));
    } else if (std::holds_alternative<capture::ScrollToEnd>(step.action)) {
        scrollToEnd();
    } else if (const auto *end = std::get_if<capture::EndTheRun>(&step.action)) {
        if (end->message.empty()) {
            EndRun(RunEnd::PagesRanOut,
                   end->keywordNotFound.empty()
                       ? QString()
                       : QStringLiteral("此网页中没有找到下一页关键字“%1”，连续采集结束：%2")
                             .arg(QString::fromStdString(end->keywordNotFound), m_browser->LocationURL()));
        } else {
            emit notice(QString::fromStdString(end->message), NoticeFocus::AddressBox);
            EndRun(RunEnd::NoPlaceholder);
        }
    }
}

}  // namespace tabvoro::run
