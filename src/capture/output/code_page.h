#pragma once

// The code page output files are written in and files of unknown encoding are read in.
// GB18030 by default: identical to GBK for every GBK character and able to encode every
// character a page can hold. TABVORO_CODEPAGE overrides it with any iconv name, or with
// "UTF-8-BOM": UTF-8 whose files begin with a byte-order mark, which spreadsheets take for UTF-8
// without asking.

#include <cstddef>
#include <string>
#include <string_view>

#include "capture/error.h"

namespace tabvoro::capture {

inline constexpr const char *kDefaultCodePage = "GB18030";
inline constexpr const char *kUtf8BomCodePage = "UTF-8-BOM";
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// TABVORO_CODEPAGE when set and not empty, else GB18030.
std::string systemCodePage();

struct EncodedText {
    std::string bytes;
    // Characters the code page lacks. Each is written as a numeric character reference
    // ("&#x1F600;") so that nothing is lost and the file stays valid in its code page.
    std::size_t substituted = 0;
};

// Whether a new file in the code page begins with a byte-order mark ("UTF-8-BOM", in any case,
// with or without its dashes).
bool writesByteOrderMark(const std::string &codePage);

// UTF-8 to the code page. Fails only for a code page iconv does not know.
Result<EncodedText> encodeText(std::string_view utf8, const std::string &codePage);

// Code page to UTF-8. Bytes that are not valid in the code page become U+FFFD; for UTF-8 itself
// see validUtf8.
Result<std::string> decodeText(std::string_view bytes, const std::string &codePage);

// `bytes` as valid UTF-8: each sequence that is not UTF-8 (a stray or missing continuation byte,
// an overlong form, a surrogate, a code point past U+10FFFF) becomes one U+FFFD, as far as its
// bytes could have begun a character (the rule of the Encoding Standard).
std::string validUtf8(std::string_view bytes);

// Whether `bytes` is valid UTF-8 (a leading byte-order mark allowed).
bool isValidUtf8(std::string_view bytes);

// Reads a file of unknown encoding as UTF-8: valid UTF-8 (its byte-order mark removed) as is,
// anything else decoded from the code page.
Result<std::string> decodeFileText(std::string_view bytes, const std::string &codePage);

// Width of a UTF-8 text in columns as a double-byte code page shows it, whatever the code page:
// 1 for an ASCII character (and for a character the code page writes in one byte), 2 for every
// other one, so that a GB18030 character of four bytes or a UTF-8 one of three lines up with
// the rest. A character the code page lacks counts as its substitution, which is ASCII.
class CodePageWidths {
public:
    explicit CodePageWidths(std::string codePage);
    ~CodePageWidths();
    CodePageWidths(const CodePageWidths &) = delete;
    CodePageWidths &operator=(const CodePageWidths &) = delete;

    std::size_t width(std::string_view utf8);

private:
    struct Impl;
    Impl *m_impl;
};

}  // namespace tabvoro::capture
