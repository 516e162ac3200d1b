#include "capture/page_links.h"

#include <algorithm>

#include "capture/wildcard.h"

namespace tabvoro::capture {

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithIgnoringCase(const std::string &text, const std::string &prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return asciiLower(a) == asciiLower(b); });
}

}  // namespace

std::optional<LinkExtraction> extractPageLinks(const Document &page, const std::string &pattern,
                                              const std::vector<std::string> &listed, int newIndex)
{
    const auto links = page.links();
    if (!links)
        return std::nullopt;
    LinkExtraction extraction;
    const bool wildcard = isWildcardPattern(pattern);
    std::vector<std::string> rows = listed;
    for (const std::string &link : *links) {
        if (link.find(pattern) == std::string::npos && !(wildcard && wildcardMatch(pattern, link)))
            continue;
        const bool isListed =
            std::any_of(rows.begin(), rows.end(), [&link](const std::string &row) { return startsWithIgnoringCase(row, link); });
        if (!isListed) {
            rows.push_back(link);
            extraction.added.push_back(link);
            newIndex = static_cast<int>(rows.size()) - 1;
        }
        extraction.currentRow = newIndex;
    }
    return extraction;
}

}  // namespace tabvoro::capture
