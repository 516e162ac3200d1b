#pragma once

// CaptureRun: one capture run from its start to its end, whoever drives it (the window's button,
// or `tabvoro-cli run`). It captures the page shown, steps to the next page in the paging mode
// set, and waits for that page: after its load (and, for a page still fetching its rows or
// without the table asked for, until it has settled), on the interval timer, or, for a page a
// script puts in place of the old one, until the page's tables have changed and settled. A page that
// fails to load is tried again; a page that never comes ends the run with the reason. It never
// touches a widget: it reads its settings through RunControls at each use and reports what it
// did as signals, which the window shows and the command line prints.

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/capture_settings.h"
#include "capture/document/snapshot_document.h"
#include "capture/job/job_progress.h"
#include "capture/next_page.h"
#include "capture/page_load_retry.h"
#include "run/run_controls.h"
#include "run/run_timings.h"

namespace tabvoro::browser {
class BrowserEngine;
class PageSettleWatch;
class TableChangeWatch;
}

namespace tabvoro::run {

// Where a run is. Capturing and Stepping are also passed through by the capture that starts a
// run, before it is armed.
enum class RunState {
    Idle,             // no run yet
    WaitingForPage,   // armed: waiting for the next load, tick or change of the page
    Settling,         // the page has loaded but is still fetching or building its tables
    Capturing,        // reading the page shown and writing its capture
    Stepping,         // working out and taking the step to the next page
    WaitingForRetry,  // a page failed to load; it is loaded again after a wait
    WaitingInPlace,   // the step made no new document: waiting for the page to change in place
    Ended,            // the last run ended; endReason() says why
};

enum class RunEnd {
    PagesRanOut,         // no next page (or a single capture)
    Stopped,             // stopped by the user, the command line's limit or a signal
    PageFailed,          // a page did not load after its retries
    NextPageDidNotCome,  // the step changed nothing within the page time-out
    NoPlaceholder,       // the page-number mode's address holds no "(*)"
    TimerSwitchedOff,    // the timed mode was switched off while paging no longer holds
    TimedOut,            // the command line's time limit
};

// What the trigger of the next capture is.
enum class Trigger { PageLoad, Timer };

// Where the keyboard focus goes after a message of the run: the address drop-down, or the
// address box.
enum class NoticeFocus { AddressList, AddressBox };

// A kept capture, as it was written.
struct KeptCapture {
    QString tally;       // "共采集N页..." for the tally label
    QString shownText;   // the capture as written, for the text box
    QString saveStatus;  // where it went, or why it could not
    bool saved = false;
    QString saveError;   // why the file could not be written
};

// Where a job's run goes on: the address to open, and what the controls are set to first. No
// address when the job has nothing left to do.
struct ResumePoint {
    std::string address;
    std::optional<std::string> startPage;  // the page-number mode's page box
    std::optional<int> urlListRow;         // the list mode's current row (the rows before it marked)
};

class CaptureRun : public QObject {
    Q_OBJECT
public:
    CaptureRun(browser::BrowserEngine *browser, RunControls *controls, RunTimings timings = {},
               QObject *parent = nullptr);
    ~CaptureRun() override;

    // The start button: captures the page shown, then arms the run when paging is set up (after
    // each load, taking the first step at once, or on the timer). Does nothing while a capture
    // or step is still waiting for the page, or when the settings give no address.
    void start();
    // As start(), for a job's run resumed on the page its progress names: a drop-down run
    // first sets the drop-down back to the value it had reached.
    void startResumed();
    // Opens `address` and, once it has loaded, starts the run on it as start() (`resumed`: as
    // startResumed()) does. The page is waited for, timed out and tried again as every page of
    // a run; after its last try the run ends without having started. A start that arms no run
    // (a single capture) ends it at once.
    void openAndStart(const QString &address, bool resumed);
    // The one way a run ends: disarms it, stops every wait, compacts the output (but for a
    // timer switched off), records the end in the job's progress and reports `ended`.
    void EndRun(RunEnd reason = RunEnd::Stopped, const QString &message = {});

    // The capture of the page shown: the matching tables, kept unless they repeat the last
    // capture, written to the output file.
    struct CaptureOutcome {
        bool pageRead = false;  // the page was read (and its capture kept or dropped)
        bool kept = false;
        bool held = false;  // no table matched and `holdWhenAbsent`: nothing captured
    };
    // `holdWhenAbsent`: a page on which no table matches is left as it is, to be waited for.
    CaptureOutcome CaptureTable(bool holdWhenAbsent = false);
    // One step to the next page in the mode set, or the end of the run when there is none.
    void OpenNextPage();

    RunState state() const { return m_state; }
    bool isRunning() const { return m_on; }
    // A capture or a step is waiting for the page: a start now would run over it.
    bool isBusy() const { return m_capturing || m_stepping; }
    Trigger trigger() const { return m_trigger; }
    bool capturesOnLoad() const { return isRunning() && m_trigger == Trigger::PageLoad; }
    std::optional<RunEnd> endReason() const { return m_endReason; }
    // What the end of the last run is to tell: a page that failed, a next page that did not
    // come, the page on which the next-page keyword was not found; empty when it was stopped or
    // its pages ran out otherwise.
    QString endMessage() const { return m_endMessage; }
    // Whether the run openAndStart() opened got as far as its first capture.
    bool hasStarted() const { return m_started; }

    // The interval timer of a timed run; its interval is the run's period.
    QTimer &timer() { return m_timer; }
    const RunTimings &timings() const { return m_timings; }
    void setPageTimeout(int ms) { m_timings.pageTimeoutMs = ms; }
    // 0: a loaded page is captured at once, whatever it still fetches.
    void setSettleLimit(int ms) { m_timings.settleLimitMs = ms; }

    // The output file, its tally and the repeat check: the run's for as long as it lives, so
    // the first page of a new run is compared with the last page of the one before.
    const capture::CaptureSession &session() const { return m_session; }
    // Names the output file; `exact`: it keeps this name whatever the format.
    void setOutputPath(const std::string &path, bool exact);
    bool outputPathIsExact() const { return m_exactOutputPath; }

    // The job whose progress each kept capture records (empty: none), and that progress as last
    // read or written.
    void setJobPath(const std::string &path);
    const std::string &jobPath() const { return m_jobPath; }
    const std::optional<capture::JobProgress> &progress() const { return m_progress; }
    // Takes up a job's progress to go on from it: where it goes on (`urlTemplate` is the
    // page-number mode's address, `urlList` the list mode's rows), and unless the job is
    // finished, cuts what the progress does not record off the output's end and takes up its
    // file, tally and repeat check.
    capture::Result<ResumePoint> resumeFrom(const capture::JobProgress &progress, const std::string &urlTemplate,
                                                   const std::vector<std::string> &urlList);

signals:
    void stateChanged(RunState state);
    // The run went on or off: the start button's caption follows this.
    void runningChanged(bool running);
    void captureKept(const KeptCapture &capture);
    // A message for the status row (a page not read, a retry, a progress not written...).
    void status(const QString &text);
    // A page failed to load and is tried again; the status row's text.
    void loadRetried(const QString &status);
    // A message the user must see before the run goes on (a missing "(*)", an empty URL list).
    void notice(const QString &message, NoticeFocus focus);
    // The job's progress was written or changed.
    void progressChanged();
    void ended(RunEnd reason, const QString &message);

private:
    void setState(RunState state);
    void arm();
    void onTimer();
    void onLoadStarted();
    void onDocumentComplete(const QUrl &url, bool ok);
    void startOnFirstPage(bool resumed);
    void onPageChangedInPlace();
    // Where the wait for a loaded page to settle is when its capture is tried: just loaded, quiet
    // for a while, or done with (settled, at its limit, or not to be waited for).
    enum class Settle { Fresh, Quiet, Done };
    void captureAfterLoad(bool changedInPlace, Settle settle = Settle::Fresh);
    void waitForSettle();
    void onPageQuiet(bool atLimit);
    // Whether the page shown holds the table the settings ask for (also when it cannot be read:
    // the capture then says why).
    bool tableAskedForIsThere();
    void startOnSettledFirstPage(bool resumed);
    bool pagingHolds(capture::PagingCheck check) const;
    // Carries out `step`; `unchangedOnly`: a click is refused in the page unless the page is
    // exactly as the step's read found it. False when it was refused so.
    bool carryOut(const capture::NextPageStep &step, bool unchangedOnly);
    // The capture's read when there is one, with `unchecked` set: whether the page is still as
    // it read it is for the step to make sure of. Else a read of its own.
    capture::Result<std::unique_ptr<capture::SnapshotDocument>> readPageForStep(const capture::CaptureSettings &settings,
                                                                                bool *unchecked);
    // Whether the page has changed since the read the step was worked out on.
    bool pageChangedSinceRead();
    void pageLoadFailed(const QString &url, const QString &reason, bool readAgainInPlace = false);
    void retryFailedLoad();
    void pageTimedOut();
    // Waits for the page to change in place after the step about to be taken, when the run
    // waits for its pages; false when it does not. `startInStep`: the watch is started by the
    // step's own call, which runs the expression set here first.
    bool watchStepInPlace(QString *startInStep = nullptr);
    // Scrolls the grids that draw only the rows in view through; true when one was.
    bool gatherDrawnRows();
    void scrollToEnd();
    void scrollBroughtNothing();
    void stepStartedNoLoad();
    void stopWaits();
    void recordProgress();
    void recordRunEnd(bool pagesRanOut);

    browser::BrowserEngine *m_browser;
    RunControls *m_controls;
    RunTimings m_timings;

    RunState m_state = RunState::Idle;
    Trigger m_trigger = Trigger::PageLoad;
    std::optional<RunEnd> m_endReason;
    QString m_endMessage;
    // openAndStart(): the start waiting for the first page (true: resumed), and whether it came.
    std::optional<bool> m_pendingStart;
    bool m_started = false;
    bool m_on = false;  // a run is on, from its arming to its end
    bool m_capturing = false;
    bool m_stepping = false;

    QTimer m_timer;
    capture::PageLoadRetry m_loadRetry;
    QTimer m_retryTimer;           // the wait before a failed page is tried again
    QTimer m_pageTimer;            // the page time-out
    QTimer m_stepNavigationTimer;  // how long a step has to start a new document
    QTimer m_scrollTimer;          // how long a scroll has to bring new rows
    std::unique_ptr<browser::TableChangeWatch> m_tableWatch;
    std::unique_ptr<browser::PageSettleWatch> m_settleWatch;
    // openAndStart(): the start waiting for its first page to settle (true: resumed).
    std::optional<bool> m_settlingStart;
    QString m_retryUrl;
    bool m_retryInPlace = false;
    int m_inPlaceRepeats = 0;  // in-place pages in a row that repeated the capture before them
    int m_fruitlessScrolls = 0;  // scrolls in a row that brought no new row

    // The capture's read, kept for the next-page step when it holds the step's parts, with the
    // stamp of the page it read; and the stamp of the page the step under way was worked out on.
    std::unique_ptr<capture::SnapshotDocument> m_stepRead;
    QString m_stepReadStamp;
    QString m_stepStamp;
    // The text of the last kept capture as written, and the shown text when the page number last
    // advanced (none before the first advance).
    std::string m_lastKeptText;
    std::optional<std::string> m_pageTurnText;

    capture::CaptureSession m_session;
    bool m_exactOutputPath = false;
    std::string m_jobPath;
    std::optional<capture::JobProgress> m_progress;
    std::optional<std::string> m_dropDownValue;  // the value the last drop-down step set
    bool m_rowsCarried = false;  // resumeFrom() took up the rows the file holds as written
};

}  // namespace tabvoro::run
