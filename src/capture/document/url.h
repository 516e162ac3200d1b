#pragma once

// Resolution of relative addresses as a browser does it (RFC 3986 reference resolution with
// the special-scheme habits of the URL standard that matter for links in pages).

#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture {

// The absolute address of `reference` against `base`; nullopt when `base` is not absolute and
// `reference` is not absolute either. "\\" in the reference of an http(s)/file base counts as
// "/", leading and trailing C0 controls and blanks are removed and tabs and line breaks inside
// are dropped, as browsers do. The result is written as a link's href reads in a browser:
// scheme and host in lower case, "/" for the empty path of an http(s) or file address, blanks,
// quotes and non-ASCII characters percent-encoded (as UTF-8). A base with an opaque path
// ("about:blank", "mailto:...") takes only a fragment; other references against it give nullopt.
std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference);

// Decodes HTML character references ("&amp;", "&#38;", "&#x26;", "&lt;", "&nbsp;"...) in a text
// taken from serialised HTML.
std::string decodeCharacterReferences(std::string_view text);

}  // namespace tabvoro::capture
