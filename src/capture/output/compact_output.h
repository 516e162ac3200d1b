#pragma once

// Removal of blank lines from an output file at the end of a run.

#include <string>

#include "capture/error.h"

namespace tabvoro::capture {

// Keeps every line that is not empty after removing U+0020 blanks from both ends, unchanged and
// followed by CR LF. Works on the file's bytes, so text in any ASCII-compatible code page passes
// through untouched. Rewritten as rewriteFile() does (a read-only file is left as it is).
// A missing path or file is an error the caller may ignore.
Result<void> CompactOutputFile(const std::string &path);

}  // namespace tabvoro::capture
