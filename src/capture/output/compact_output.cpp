#include "capture/output/compact_output.h"

#include <string_view>

#include "capture/output/code_page.h"
#include "capture/output/rewrite_file.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

std::string compactLines(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    // The byte-order mark belongs to the file, not to its first line: it stays even when that
    // line goes.
    if (bytes.starts_with(kUtf8Bom)) {
        out += kUtf8Bom;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = bytes.size();
            next = end;
        } else if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        const std::string_view line = bytes.substr(pos, end - pos);
        if (!trimSpaces(line).empty()) {
            out += line;
            out += kCrLf;
        }
        pos = next;
    }
    return out;
}

}  // namespace

Result<void> CompactOutputFile(const std::string &path)
{
    return rewriteFile(path, [](std::string_view bytes) -> Result<std::string> { return compactLines(bytes); });
}

}  // namespace tabvoro::capture
