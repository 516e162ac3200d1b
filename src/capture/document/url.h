#pragma once

// Resolution of relative addresses by the rules of the URL standard, as browsers resolve links.

#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture {

// The absolute address of `reference` against `base`, parsed and written as the URL standard
// says (special schemes http(s), file, ftp, ws(s): "\\" counts as "/", the host in lower case and
// an IPv4 number written as such, the default port dropped, dot segments resolved, "/" for an
// empty path; other schemes keep their host and an opaque path as written). Leading and trailing
// C0 controls and blanks are removed and tabs and line breaks inside are dropped; blanks, quotes
// and non-ASCII characters are percent-encoded (as UTF-8). Nothing when the reference cannot be
// parsed against the base (no absolute base for a relative reference, a base like "about:blank"
// for anything but a fragment, a host or port no browser accepts). An address this gives
// resolves to itself.
std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference);

// Decodes HTML character references ("&amp;", "&#38;", "&#x26;", "&lt;", "&nbsp;"...) in a text
// taken from serialised HTML.
std::string decodeCharacterReferences(std::string_view text);

}  // namespace tabvoro::capture
