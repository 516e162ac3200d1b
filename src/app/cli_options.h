#pragma once

// Command-line options of `tabvoro-cli capture`, parsed into the settings a capture reads.

#include <expected>
#include <string>
#include <vector>

#include "capture/capture_settings.h"

namespace tabvoro::cli {

struct CaptureOptions {
    capture::CaptureSettings settings;
    std::string outDir = "./download";  // --out-dir
    std::string output;                  // --output: exactly this file
    std::string encoding;                // --encoding; empty: the system code page
    std::vector<std::string> pages;
    bool help = false;
};

// Splits a field list "a,!b,,c": names in column order, "!" marks a field that is not captured.
std::vector<capture::Field> parseFieldList(const std::string &list);

std::expected<CaptureOptions, std::string> parseCaptureOptions(const std::vector<std::string> &args);

extern const char *const kCaptureUsage;
extern const char *const kRunUsage;

}  // namespace tabvoro::cli
