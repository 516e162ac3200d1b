#pragma once

// The character set of a saved page, and its text as UTF-8. Internal to the engine.

#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture::html {

// The character set the page names in a <meta charset> or <meta http-equiv="Content-Type">
// near its start, as written there ("gb2312"); empty when it names none. A meta tag naming a
// character set no browser knows is passed over, as browsers do.
std::string declaredCharset(std::string_view bytes);

// The encoding (see web_encoding.h) a page is read in when a meta tag names `charset`: as the
// label names it, except that a declared UTF-16 is read as UTF-8 (a page that could be read to
// its meta tag is not UTF-16) and x-user-defined as windows-1252. Nothing for an unknown label.
std::optional<std::string_view> metaEncoding(std::string_view charset);

// The iconv name closest to the encoding a declared character set is read in: the GB family as
// GB18030, ISO-8859-1 and ASCII as windows-1252 (CP1252), a declared UTF-16 as UTF-8.
std::string decoderName(std::string_view charset);

// The page's text as UTF-8: by its byte-order mark, else by the character set it declares, read
// with the web's decoders (windows-1252 and GBK as browsers read them, not as iconv does), else
// as detectUnlabeledEncoding() finds (UTF-8 when the bytes are valid UTF-8).
std::string pageTextAsUtf8(std::string bytes);

}  // namespace tabvoro::capture::html
