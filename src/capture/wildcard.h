#pragma once

// The wildcard patterns of link extraction: "*" any run of characters (also none), "?" any one
// character, "#" one digit 0-9, "[abc]" / "[a-z]" one character of the list, "[!abc]" one
// character not in it; any other character matches itself, letter case significant.

#include <string_view>

namespace tabvoro::capture {

// Whether a text counts as a wildcard pattern: it holds "*", "?" or "#".
bool isWildcardPattern(std::string_view pattern);

// Whether the whole of `text` matches `pattern`. A malformed pattern (an unclosed "[") matches
// nothing. Linear in the text for patterns without "*"; with "*", at most text × pattern steps.
bool wildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace tabvoro::capture
