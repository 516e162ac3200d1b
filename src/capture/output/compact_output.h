#pragma once

// Removal of blank lines from an output file at the end of a run.

#include <string>

#include "capture/error.h"

namespace tabvoro::capture {

// Keeps every line that is not empty after removing U+0020 blanks from both ends, unchanged and
// followed by CR LF. Works on the file's bytes, so text in any ASCII-compatible code page passes
// through untouched. The new content goes to a temporary file in the same folder that is then
// renamed over the old one: a failure or a kill leaves the old file whole.
// A missing path or file is an error the caller may ignore.
Result<void> CompactOutputFile(const std::string &path);

}  // namespace tabvoro::capture
