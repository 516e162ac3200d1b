#pragma once

// The save step of a kept capture: append it to the output file in the code page.

#include <cstddef>
#include <string>
#include <string_view>

#include "capture/capture_session.h"

namespace tabvoro::capture {

inline constexpr const char *kSavedMessage = "数据采集成功，并保存到：";
inline constexpr const char *kNotSavedMessage = "数据采集成功，但无法保存到：";

// The most one capture may write: a page of a few kilobytes can ask, through its column spans,
// for gigabytes of empty fields. A capture past it is refused whole, never written in part.
inline constexpr std::size_t kMaxCaptureBytes = std::size_t{1} << 30;

// What is shown when a capture would pass `maxBytes`.
std::string tooLargeMessage(std::size_t maxBytes);

struct SaveOutcome {
    bool saved = false;
    std::string shownText;  // what the text box shows: the text as written (ruled or not)
    std::string status;     // the message for the status row
    std::string error;      // why the file could not be written; empty when saved
};

struct SaveTarget {
    std::string url;           // the page address, for naming a file when none is named yet
    bool ruled = false;        // ruled ".txt" instead of ".csv"
    std::string outputFolder;  // ends in "/"
    std::string codePage;
    bool exactPath = false;    // the file was named by the user: never change its extension
    std::size_t maxBytes = kMaxCaptureBytes;  // a text to write past this is refused
};

// Names the file when session.outputPath is empty, forces its extension to the format, draws the
// ruled text when asked, and appends the text to the file (created when missing). The text is
// written as it is: a capture text already ends in CR LF, and no further line end is added.
// A failure to write leaves the file as it was and is reported, never lost silently.
SaveOutcome SaveCapture(std::string_view captureText, const SaveTarget &target,
                        CaptureSession &session);

}  // namespace tabvoro::capture
