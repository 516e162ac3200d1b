#pragma once

// The character set of a saved page, and its text as UTF-8. Internal to the engine.

#include <string>
#include <string_view>

namespace tabvoro::capture::html {

// The character set the page names in a <meta charset> or <meta http-equiv="Content-Type">
// near its start, as written there ("gb2312"); empty when it names none.
std::string declaredCharset(std::string_view bytes);

// The iconv name a browser would decode a declared character set with: the GB family as
// GB18030 (a superset of all of them), ISO-8859-1 and ASCII as windows-1252, a declared UTF-16
// as UTF-8 (a page that could be read to its meta tag is not UTF-16).
std::string decoderName(std::string_view charset);

// The page's text as UTF-8: by its byte-order mark, else by the character set it declares,
// else UTF-8 when the bytes are valid UTF-8 and the system code page when they are not (what a
// browser set up for that code page does with a page that declares nothing). A character set
// iconv does not know is read as UTF-8.
std::string pageTextAsUtf8(std::string bytes);

}  // namespace tabvoro::capture::html
