#include "capture/output/url_list.h"

#include "capture/output/code_page.h"

namespace tabvoro::capture {

std::vector<std::string> splitFileLines(std::string_view text, bool keepEmpty)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && text[i] != '\r' && text[i] != '\n')
            continue;
        // A final line end does not start another, empty line.
        if (end && start == text.size())
            break;
        if (keepEmpty || i > start)
            lines.emplace_back(text.substr(start, i - start));
        if (!end && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return lines;
}

std::vector<std::string> readUrlListFile(std::string_view bytes, const std::string &codePage)
{
    const auto text = decodeFileText(bytes, codePage);
    return splitFileLines(text ? std::string_view(*text) : bytes, false);
}

}  // namespace tabvoro::capture
