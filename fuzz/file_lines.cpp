// The line readers of the files the program reads (URL lists, favorites, output files): a
// needle line for the line remover, then the file's bytes.

#include "fuzz_support.h"

#include "capture/output/code_page.h"
#include "capture/output/file_lines.h"
#include "capture/output/url_list.h"

namespace tabvoro::fuzz {

using namespace capture;

void fileLines(std::string_view input)
{
    const auto [needle, bytes] = splitAtNewline(input);
    for (const bool keepEmpty : {false, true})
        for (const std::string &line : splitFileLines(bytes, keepEmpty)) {
            expect(line.find_first_of("\r\n") == std::string::npos, "a line holds no line break");
            expect(keepEmpty || !line.empty(), "empty lines are skipped when asked");
        }
    for (const std::string &url : readUrlListFile(bytes, "GB18030"))
        expect(!url.empty() && isValidUtf8(url), "a URL list gives non-empty UTF-8 lines");
    if (const auto favorites = decodeFileText(bytes, "GB18030"))
        expect(isValidUtf8(*favorites), "a file's text is valid UTF-8");

    const std::string_view head = bytes.substr(0, kPreviewBytes);
    if (const auto preview = previewText(head, head.size() < bytes.size(), "GB18030"))
        expect(isValidUtf8(*preview), "a preview is valid UTF-8");
    if (const auto kept = removeLinesContaining(bytes, needle, "GB18030")) {
        expect(kept->bytes.size() <= bytes.size() + 2 * (splitFileLines(bytes, true).size() + 1),
               "removing lines adds no more than line ends");
        expect(!needle.empty() || kept->removed == 0, "an empty needle removes nothing");
    }
}

}  // namespace tabvoro::fuzz
