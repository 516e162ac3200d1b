#pragma once

// A saved capture job: everything the option controls hold for a run, with the URL list, the
// output folder and the code page, kept as a JSON file ("version": 1) that the window opens and
// saves and the command line runs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_settings.h"
#include "capture/error.h"
#include "capture/page_load_retry.h"

namespace tabvoro::capture {

inline constexpr int kJobVersion = 1;
inline constexpr int kDefaultTimerMs = 2000;

// The browser an unattended run drives: the embedded view's engine, or the system's Chromium
// without a window. The window itself has the view only.
enum class RunEngine { WebEngine, Chromium };

struct Job {
    CaptureSettings settings;              // the controls of a capture (url: Txturl)
    int timerMs = kDefaultTimerMs;         // Timer1's interval
    std::vector<std::string> urlList;      // List3's rows
    int urlListRow = -1;                   // List3's current row, -1 for none
    std::string outputFolder;              // empty: the program's own
    std::string encoding;                  // the output's code page; empty: the system's
    std::string output;                    // exactly this output file; empty: named from url
    RunEngine engine = RunEngine::WebEngine;  // what `tabvoro-cli run --job` runs it in
    // How long a loaded page still fetching its rows is waited for; 0: not at all.
    double settleSeconds = kDefaultSettleLimitMs / 1000.0;
};

// The longest settle limit, in seconds: its milliseconds must fit a timer's.
inline constexpr double kMaxSettleSeconds = 2147483;

// Reads a job file's text. Fields it does not know are passed over; a text that is no JSON, a
// missing or other version, a field of the wrong type or out of range is an error naming it.
Result<Job> parseJob(std::string_view json);
// The job as the JSON text of a job file, every field written.
std::string jobJson(const Job &job);

// The file at `path` read and parsed; errors name the file.
Result<Job> readJobFile(const std::string &path);
// Writes the job file whole or not at all.
Result<void> writeJobFile(const std::string &path, const Job &job);

// The names the job file and the command line give the keyword and paging modes.
const char *keywordModeName(KeywordMode mode);
const char *pagingModeName(PagingMode mode);
const char *runEngineName(RunEngine engine);
// The engine of that name ("webengine", "chromium"); nullopt for any other.
std::optional<RunEngine> runEngineNamed(std::string_view name);

// The whole of a file as bytes; an error names it.
Result<std::string> readWholeFile(const std::string &path);

}  // namespace tabvoro::capture
