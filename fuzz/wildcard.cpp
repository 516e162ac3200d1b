// The wildcard matcher of link extraction: a pattern line, then a text.

#include "fuzz_support.h"

#include "capture/wildcard.h"

namespace tabvoro::fuzz {

void wildcard(std::string_view input)
{
    auto [pattern, text] = splitAtNewline(input);
    // Patterns are typed into a box and texts are link addresses: "*" costs text × pattern.
    pattern = pattern.substr(0, 256);
    text = text.substr(0, 4096);
    const bool matches = capture::wildcardMatch(pattern, text);
    if (pattern.find_first_of("*?#[") == std::string_view::npos)
        expect(matches == (pattern == text), "a pattern without wildcards matches only itself");
    expect(capture::wildcardMatch("*", text), "\"*\" matches every text");
    if (matches)
        expect(capture::wildcardMatch(std::string(pattern) + "*", text), "a match still matches with \"*\" after it");
}

}  // namespace tabvoro::fuzz
