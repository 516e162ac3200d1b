#pragma once

// The encodings of the web as browsers have them (the WHATWG Encoding Standard): the labels a
// page may name its encoding by, and decoders for the encodings where iconv reads bytes otherwise
// than a browser (windows-1252, GBK and gb18030, x-user-defined, replacement, UTF-8).
// Internal to the engine.

#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture::html {

// The encoding a label names, by its standard name in lower case ("gbk" for "GB2312",
// "windows-1252" for "ISO-8859-1", "big5" for "Big5-HKSCS"); blanks around the label do not
// count, case does not matter. Nothing for a label browsers do not know.
std::optional<std::string_view> encodingForLabel(std::string_view label);

// The text of `bytes` in the encoding `encoding` (a name encodingForLabel gives) as UTF-8, every
// byte sequence the encoding does not define read as U+FFFD, as a browser reads it.
std::string decodeWebText(std::string_view bytes, std::string_view encoding);

// The iconv name of an encoding that iconv reads as browsers do (the GB family and
// windows-1252, which the decoders here read better, as their closest iconv encodings).
std::string iconvName(std::string_view encoding);

// What a byte of windows-1252 stands for. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which
// Windows leaves undefined, are the C1 controls of the same number.
char32_t windows1252CodePoint(unsigned char byte);

}  // namespace tabvoro::capture::html
