#pragma once

// Command-line options of `tabvoro-cli capture` and `tabvoro-cli run`, parsed into the settings
// a capture reads and the run's paging and limits. A command that takes the same options adds
// them to its own command line with addCaptureOptions / addRunOptions.

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_settings.h"
#include "capture/job/job.h"
#include "capture/page_load_retry.h"

namespace tabvoro::cli {

class CommandLine;

struct CaptureOptions {
    capture::CaptureSettings settings;
    std::string outDir = "./download";  // --out-dir
    std::string output;                  // --output: exactly this file
    std::string encoding;                // --encoding; empty: the system code page
    std::vector<std::string> pages;
    bool help = false;
};

// What `run` adds to the capture options: how the run pages and when it stops.
struct RunOptions {
    std::optional<int> paging;  // Option1 index
    std::string from, to;       // txtYs, txtYw
    std::string urlListFile;
    std::string dropDown;       // Txtxd
    std::optional<int> timerMs;
    std::optional<long> maxPages;
    double timeoutSeconds = 600;
    double pageTimeoutSeconds = capture::kDefaultPageTimeoutMs / 1000.0;
    capture::RunEngine engine = capture::RunEngine::WebEngine;  // --engine
    double settleSeconds = capture::kDefaultSettleLimitMs / 1000.0;  // --settle
};

struct RunCommandOptions {
    CaptureOptions capture;  // its pages: the URL
    RunOptions run;
};

// Splits a field list "a,!b,,c": names in column order, "!" marks a field that is not captured.
std::vector<capture::Field> parseFieldList(const std::string &list);

// The options of `capture` (and --help), written into `options` as they are read.
void addCaptureOptions(CommandLine &line, CaptureOptions &options);
// The options `run` adds to them.
void addRunOptions(CommandLine &line, RunOptions &options);

std::expected<CaptureOptions, std::string> parseCaptureOptions(const std::vector<std::string> &args);
// A run over a URL list may have no URL; how many it may have is for the run to say.
std::expected<RunCommandOptions, std::string> parseRunOptions(const std::vector<std::string> &args);

extern const char *const kCaptureUsage;
// The last line of a command that wrote no file.
inline constexpr const char *kNothingCaptured = "nothing captured: no table matched, no file written";
extern const char *const kRunUsage;

}  // namespace tabvoro::cli
