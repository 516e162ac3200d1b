// CaptureRun: the capture of the page shown, its output file, and the progress of a job's run
// recorded after every kept capture so that the run can go on later with nothing lost and
// nothing twice.

#include <filesystem>

#include "browser/browser_engine.h"
#include "browser/drawn_rows.h"
#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "capture/capture_table.h"
#include "capture/output/save_capture.h"
#include "capture/output/written_rows.h"
#include "capture/text_rules.h"
#include "run/capture_run.h"

namespace tabvoro::run {

namespace {

constexpr const char *kPageNotReadMessage = "未能读取当前网页，本次没有采集：";
constexpr const char *kFailedPageMessage = "网页未能打开，本次没有采集：";

QString qs(const std::string &text) { return QString::fromStdString(text); }

bool pagesByTheDocument(capture::PagingMode mode)
{
    return mode == capture::PagingMode::NextLink || mode == capture::PagingMode::DropDown;
}

}  // namespace

CaptureRun::CaptureOutcome CaptureRun::CaptureTable(bool holdWhenAbsent)
{
    // The read of the page waits in a nested event loop; a tick, a page notice or a click that
    // comes in meanwhile must not start a second capture over this one.
    if (m_capturing)
        return {};
    // The engine's error page of a failed load is not the page asked for.
    if (m_browser->showsFailedLoad()) {
        emit status(kFailedPageMessage + m_browser->lastFailure().url.toString());
        return {};
    }
    std::optional<capture::Result<std::unique_ptr<capture::SnapshotDocument>>> document;
    capture::CaptureSettings settings;
    capture::CaptureOutcome outcome;
    const RunState before = m_state;
    m_capturing = true;
    setState(RunState::Capturing);
    // The state the run is in once the page is read; a stop or a step meanwhile has set another.
    const auto done = [&] {
        m_capturing = false;
        if (m_state == RunState::Capturing)
            setState(before);
    };
    {
        settings = m_controls->settings();
        auto request = browser::SnapshotRequest::forCapture(settings);
        // A table that grows in place is read from the rows after those captured before.
        request.continuation = capture::continuationFor(m_session, settings);
        // A run that pages by a link or drop-down reads the page again for its step right after
        // this: one read serves both when the page stays as it is meanwhile.
        const bool forStep = m_on && pagesByTheDocument(settings.pagingMode) &&
                             request.include(browser::SnapshotRequest::forNextPage(settings));
        QString stamp;
        bool gathered = false;
        for (bool first = true;; first = false) {
            document = browser::takeSnapshot(browser::stampedEvaluate(m_browser, &stamp), request);
            m_stepRead.reset();
            // A grid that draws only the rows in view is scrolled through first, and read again,
            // whole.
            gathered = gathered || (first && *document && browser::stampShowsRowCounts(stamp) && gatherDrawnRows());
            if (first && gathered) {
                request.continuation.reset();
                document = browser::takeSnapshot(browser::stampedEvaluate(m_browser, &stamp), request);
            }
            if (!*document) {
                // The page could not be read at all (it was being replaced, the read timed out,
                // its renderer went). Counting that as an empty page would reset the repeat check
                // and let a run move past a page it never captured; the capture is skipped and
                // says why, and the next tick or page load tries again.
                done();
                emit status(kPageNotReadMessage + qs(document->error().message));
                return {};
            }
            // The document's own mark, beyond its changes: a table grown in place is told by it.
            (**document)->setIdentity(stamp.section(':', 0, 0).toStdString());
            if (holdWhenAbsent && !capture::hasMatchingTable(***document, settings)) {
                done();
                return {true, false, true};
            }
            outcome = capture::CaptureTable(***document, settings, m_session);
            // The read went on from the rows read before, and this capture needs them all.
            if (!outcome.readWhole || !request.continuation)
                break;
            request.continuation.reset();
        }
        if (gathered)
            browser::releaseDrawnRows(m_browser);
        if (forStep) {
            m_stepRead = std::move(**document);
            m_stepReadStamp = stamp;
        }
        done();
    }
    // Refused as too large: nothing is saved, and the status row says why.
    if (!outcome.error.empty())
        emit status(qs(outcome.error));
    // A scroll brought new rows, or it did not: three of the latter in a row end the run.
    if (m_on && settings.pagingMode == capture::PagingMode::Scroll)
        m_fruitlessScrolls = outcome.kept && m_session.recordCount > 0 ? 0 : m_fruitlessScrolls + 1;
    if (!outcome.kept)
        return {true, false};

    const capture::SaveTarget target{settings.url, settings.ruled, m_controls->outputFolder(), m_controls->codePage(),
                                     m_exactOutputPath};
    const auto saved = capture::SaveCapture(outcome.text, target, m_session);
    m_lastKeptText = saved.shownText;
    if (saved.saved)
        recordProgress();
    emit captureKept({qs(outcome.status), qs(saved.shownText), qs(saved.status), saved.saved, qs(saved.error)});
    return {true, true};
}

bool CaptureRun::gatherDrawnRows()
{
    browser::DrawnRowsLimits limits;
    limits.rowLimit = m_timings.drawnRowLimit;
    limits.pauseMs = m_timings.gridScrollPauseMs;
    limits.timeoutMs = m_timings.pageTimeoutMs;
    const auto drawn = browser::gatherDrawnRows(m_browser, limits);
    if (!drawn)
        return false;
    if (drawn->bounded)
        emit status(QStringLiteral("网页中的表格只显示可见的行，滚动读取了%1行，未能读完它所说的全部行").arg(drawn->rows));
    return drawn->grids > 0;
}

void CaptureRun::setOutputPath(const std::string &path, bool exact)
{
    m_session.outputPath = path;
    m_exactOutputPath = exact;
}

void CaptureRun::setJobPath(const std::string &path)
{
    m_jobPath = path;
    m_progress.reset();
    if (!path.empty())
        if (auto progress = capture::readProgressFile(capture::progressPath(path)); progress)
            m_progress = *progress;
    emit progressChanged();
}

namespace {

ResumePoint resumePoint(const capture::JobProgress &p, const std::string &urlTemplate,
                        const std::vector<std::string> &urlList)
{
    ResumePoint point;
    switch (p.mode) {
    case capture::PagingMode::NextLink:
    case capture::PagingMode::DropDown:
    case capture::PagingMode::Scroll:
        point.address = p.lastUrl;
        break;
    case capture::PagingMode::PageNumber:
        if (p.nextPage && !p.nextPage->empty()) {
            point.startPage = *p.nextPage;
            point.address = capture::replaceAll(urlTemplate, "(*)", *p.nextPage);
        }
        break;
    case capture::PagingMode::UrlList:
        if (p.nextRow && *p.nextRow >= 0 && *p.nextRow < static_cast<int>(urlList.size())) {
            point.urlListRow = *p.nextRow;
            point.address = urlList[static_cast<std::size_t>(*p.nextRow)];
        }
        break;
    }
    if (p.finished)
        point.address.clear();
    return point;
}

}  // namespace

capture::Result<ResumePoint> CaptureRun::resumeFrom(const capture::JobProgress &progress,
                                                     const std::string &urlTemplate,
                                                     const std::vector<std::string> &urlList)
{
    m_progress = progress;
    emit progressChanged();
    const ResumePoint point = resumePoint(progress, urlTemplate, urlList);
    if (point.address.empty())
        return point;
    if (auto cut = capture::cutUnrecordedEnd(progress); !cut)
        return std::unexpected(cut.error());
    m_session = capture::resumedSession(progress);
    m_exactOutputPath = true;
    // The rows already in the file are rows this run has written.
    if (const auto settings = m_controls->settings(); settings.uniqueRows) {
        if (auto marked = capture::markRowsOfFile(m_session.outputPath, m_controls->codePage(), settings.ruled,
                                                  m_session.writtenRows);
            !marked)
            return std::unexpected(marked.error());
        m_rowsCarried = true;
    }
    m_dropDownValue = progress.dropDownValue;
    return point;
}

void CaptureRun::recordProgress()
{
    if (m_jobPath.empty())
        return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_session.outputPath, ec);
    if (ec)
        return;
    const auto settings = m_controls->settings();
    const auto mode = settings.pagingMode;
    capture::JobProgress p = capture::progressAfterCapture(m_session, static_cast<std::int64_t>(size), mode);
    p.lastUrl = m_browser->LocationURL().toStdString();
    if (mode == capture::PagingMode::PageNumber)
        p.nextPage = capture::nextPageNumber(settings.startPage, settings.endPage);
    if (mode == capture::PagingMode::UrlList)
        p.nextRow = capture::nextUrlListRow(m_controls->urlList(), m_controls->urlListRow());
    if (mode == capture::PagingMode::DropDown)
        p.dropDownValue = m_dropDownValue;
    if (auto written = capture::writeProgressFile(capture::progressPath(m_jobPath), p); !written) {
        emit status(qs(written.error().message));
        return;
    }
    m_progress = std::move(p);
    emit progressChanged();
}

void CaptureRun::recordRunEnd(bool pagesRanOut)
{
    // Only the progress of this run's file: a run that kept nothing has none to change.
    if (m_jobPath.empty() || !m_progress || m_progress->output != m_session.outputPath)
        return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_session.outputPath, ec);
    if (!ec)
        m_progress->bytes = static_cast<std::int64_t>(size);
    m_progress->finished = m_progress->finished || pagesRanOut;
    (void)capture::writeProgressFile(capture::progressPath(m_jobPath), *m_progress);
    emit progressChanged();
}


}  // namespace tabvoro::run
