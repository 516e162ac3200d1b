#pragma once

// Output files as the file commands read them: the preview of a file's first bytes, and a file's
// lines with those containing a string removed. A file is in UTF-8 when its bytes are valid
// UTF-8, otherwise in the code page; a line ends at CR LF, a lone CR or a lone LF.

#include <cstddef>
#include <string>
#include <string_view>

#include "capture/error.h"

namespace tabvoro::capture {

// The most of a file the preview reads: what the text box was made to hold.
inline constexpr std::size_t kPreviewBytes = 65536;

// The text (UTF-8) of a preview. `bytes` are the first bytes of a file and `more` says whether the
// file goes on beyond them; a character the cut at their end split in two is left out, so that a
// UTF-8 file cut mid-character still reads as UTF-8. A byte-order mark is not shown. Fails only
// for a code page iconv does not know.
Result<std::string> previewText(std::string_view bytes, bool more, const std::string &codePage);

struct KeptLines {
    std::string bytes;         // the file's new contents
    std::size_t removed = 0;   // lines left out
};

// The file `bytes` without the lines whose text contains `needle` (UTF-8; exact, case-sensitive).
// Lines are compared as text, decoded as the whole file is (a code page's trail bytes can look
// like ASCII, so its bytes alone would match where the text does not), but every kept line keeps
// its own bytes, so the file stays in its encoding. Each kept line is followed by CR LF, the
// last one too, and nothing follows it. A byte-order mark stays at the start. An empty `needle`
// removes nothing. Fails only for a code page iconv does not know.
Result<KeptLines> removeLinesContaining(std::string_view bytes, std::string_view needle, const std::string &codePage);

}  // namespace tabvoro::capture
