#pragma once

// Rewrites of an output file that already exists (the compaction at the end of a run, the removal
// of lines): the new contents go to a temporary file in the same folder that is then renamed over
// the old one, so a failure or a kill leaves the old file whole.

#include <functional>
#include <string>
#include <string_view>

#include "capture/error.h"

namespace tabvoro::capture {

// Replaces the contents of the file at `path` (through a symbolic link, the file it names; the
// link stays a link) by what `transform` makes of them. The file keeps its permissions, and its
// owner and group where the user may keep them. A file the user may not write (no write
// permission for the user, or a read-only file system) is left as it is and reported, as is a
// path that is no ordinary file; so is a failing transform. Contents that do not change are not
// written at all.
Result<void> rewriteFile(const std::string &path,
                         const std::function<Result<std::string>(std::string_view)> &transform);

// Writes `bytes` as the whole of the file at `path` (created when missing) the same way: a kill
// or a power cut at any moment leaves either the old file or the new one, never a mix.
Result<void> replaceFile(const std::string &path, std::string_view bytes);

}  // namespace tabvoro::capture
