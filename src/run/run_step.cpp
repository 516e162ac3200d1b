// CaptureRun: the step to the next page — worked out by the engine on the page as the run last
// read it, and carried out on that same document only.

#include <QEventLoop>
#include <QVariantList>

#include "browser/browser_engine.h"
#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "capture/text_rules.h"
#include "run/capture_run.h"
#include "run/page_actions.h"

namespace tabvoro::run {

namespace {

// Whether `step` can check in its own call that the page is still as it was read, and be
// refused there: a click that sets no control (those are set before the call, and a refused
// step would leave them set).
bool checksInItsCall(const capture::NextPageStep &step)
{
    return std::holds_alternative<capture::ClickElement>(step.action) && !step.startPage && !step.pageTurnText &&
           !step.markRow && !step.currentRow;
}

}  // namespace

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
    // Times the page was found changed since the read the step was worked out on.
    int changes = 0;
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
        // Whether the read is the capture's, not yet checked against the page as it is now.
        bool unchecked = false;
        if (settings.pagingMode == capture::PagingMode::NextLink ||
            settings.pagingMode == capture::PagingMode::DropDown) {
            page = readPageForStep(settings, &unchecked);
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
        // Whether the read still holds is asked by a click itself, in its own call; before any
        // other step, first.
        const bool checkInStep = unchecked && checksInItsCall(step);
        bool changed = unchecked && !checkInStep && pageChangedSinceRead();
        if (!changed) {
            // A page still arriving, or the engine's error page of a load whose failure is still
            // to be reported, does not tell that the pages ran out: the next tick or the load's
            // end decides. (A timed tick comes whether or not the page has loaded.)
            if (std::holds_alternative<capture::EndTheRun>(step.action) && m_browser->isLoading())
                break;
            if (!std::holds_alternative<capture::CaptureAndRetry>(step.action)) {
                if (carryOut(step, checkInStep) || !m_on)
                    break;
                changed = true;
            }
        }
        if (changed) {
            // The page changed between its capture and this step (the rest of a page still
            // arriving, a table its script filled): the step would page past what was never
            // captured. It is captured first, and the step acts on that read; should the page
            // have changed again since, on a read of its own.
            if (++changes > 1) {
                m_stepRead.reset();
                continue;
            }
            m_stepping = false;
            const bool read = CaptureTable().pageRead;
            m_stepping = true;
            if (!read || !m_on)
                break;
            continue;
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
    const capture::CaptureSettings &settings, bool *unchecked)
{
    // The capture just read the page with the step's parts: unless the page has changed since
    // (a new document, or any change its scripts made), that read is the step's as well. Whether
    // it has is asked once the step is known, by the click itself when the step is one.
    if (auto read = std::move(m_stepRead)) {
        m_stepStamp = m_stepReadStamp;
        *unchecked = true;
        return read;
    }
    return browser::takeSnapshot(browser::stampedEvaluate(m_browser, &m_stepStamp),
                                 browser::SnapshotRequest::forNextPage(settings));
}

bool CaptureRun::pageChangedSinceRead() { return m_stepStamp != browser::currentChangeStamp(m_browser); }

bool CaptureRun::carryOut(const capture::NextPageStep &step, bool unchangedOnly)
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
        // One call: the watch of the page started before the step, the check that the step
        // lands where it was worked out, the click.
        QString watch;
        const bool watching = watchStepInPlace(&watch);
        const QString checked = unchangedOnly ? browser::unchangedPageGuard(m_stepStamp) : guard;
        const auto answer =
            m_browser->performAction(watchedStepScript(watch, elementScript(checked, click->index, click->frame, clickAction())));
        const QVariantList parts = answer ? answer->toList() : QVariantList();
        if (unchangedOnly && parts.size() == 2 && parts[1].typeId() == QMetaType::QString &&
            parts[1].toString() == browser::unchangedPageRefusal()) {
            // Not taken: the run is stepping still.
            m_stepNavigationTimer.stop();
            m_tableWatch->cancel();
            if (m_state == RunState::WaitingInPlace)
                setState(RunState::Stepping);
            return false;
        }
        // A call that did not answer may well have started the watch: it is listened to.
        if (watching)
            m_tableWatch->startedInPage(parts.size() != 2 || parts[0].toBool());
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
    return true;
}

}  // namespace tabvoro::run
