#pragma once

// How far a job's run has come, kept beside the job file ("JOB.progress") and rewritten after
// every kept capture, so that a run stopped by the button, a kill, a crash or a power cut can go
// on where it stopped: nothing lost, nothing twice.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_session.h"
#include "capture/capture_settings.h"
#include "capture/error.h"

namespace tabvoro::capture {

struct JobProgress {
    std::string output;             // the output file
    std::int64_t bytes = 0;         // its size once the last kept capture was in it
    std::int64_t captures = 0;      // captures kept into it
    std::int64_t rows = 0;          // their rows
    std::string lastCapture;        // the last kept capture, for the repeat check
    PagingMode mode = PagingMode::NextLink;
    std::string lastUrl;            // the address of the page last captured (mode 0, and 3)
    std::optional<std::string> nextPage;  // mode 1: the page number to open next
    std::optional<int> nextRow;           // mode 2: the URL list's row to open next
    std::optional<std::string> dropDownValue;  // mode 3: the value the drop-down was set to last
    bool finished = false;          // the pages ran out: nothing is left to do
};

std::string progressPath(const std::string &jobPath);

Result<JobProgress> parseProgress(std::string_view json);
std::string progressJson(const JobProgress &progress);
// Reads the progress beside a job; std::nullopt when there is none.
Result<std::optional<JobProgress>> readProgressFile(const std::string &path);
// Flushes the output file to disk first, then replaces the progress file whole: whatever the
// progress file says is on disk in the output file.
Result<void> writeProgressFile(const std::string &path, const JobProgress &progress);

// What the run state says after a kept capture was written; `outputBytes` is the file's size.
// The mode's place to go on is filled in by the caller.
JobProgress progressAfterCapture(const CaptureSession &session, std::int64_t outputBytes, PagingMode mode);

// Mode 1: the page after `shown` on the way to `last` (read as the step reads them); empty when
// `shown` is the last page.
std::string nextPageNumber(const std::string &shown, const std::string &last);

// Mode 2: the row the URL-list step opens after `currentRow`, as the step decides it; -1 when
// the step would end the run there (the list's end, or an address of another host).
int nextUrlListRow(const std::vector<std::string> &urlList, int currentRow);

// Before a resumed run appends: a file longer than the progress says ends in a capture that was
// cut short or never recorded, and loses that end. A file of the recorded size stays as it is,
// as does a shorter one (compacted since, by the run's end or a file command). A missing file,
// or a cut that would not fall on a line end, is an error and changes nothing.
struct CutOutcome {
    std::int64_t removed = 0;  // bytes cut off the end
};
Result<CutOutcome> cutUnrecordedEnd(const JobProgress &progress);

// The session a resumed run goes on with: the same file, tally and repeat check.
CaptureSession resumedSession(const JobProgress &progress);

}  // namespace tabvoro::capture
