#include "capture/document/html_charset.h"

#include <algorithm>
#include <array>

#include "capture/document/encoding_detection.h"
#include "capture/document/web_encoding.h"
#include "capture/output/code_page.h"

namespace tabvoro::capture::html {

namespace {

// Browsers act on a meta tag anywhere in the head; a page whose head is longer than this has
// long passed it.
constexpr std::size_t kScanLimit = 64 * 1024;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != prefix[i])
            return false;
    return true;
}

struct Attribute {
    std::string name;
    std::string value;
};

// Reads one attribute of a tag at `pos`, as the encoding prescan of a browser does; false at
// the end of the tag.
bool nextAttribute(std::string_view text, std::size_t &pos, Attribute &attr)
{
    while (pos < text.size() && (isBlank(text[pos]) || text[pos] == '/'))
        ++pos;
    if (pos >= text.size() || text[pos] == '>')
        return false;
    attr = {};
    while (pos < text.size() && !isBlank(text[pos]) && text[pos] != '=' && text[pos] != '/' &&
           text[pos] != '>')
        attr.name.push_back(lowerAscii(text[pos++]));
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] != '=')
        return true;
    ++pos;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        const char quote = text[pos++];
        const auto end = std::min(text.find(quote, pos), text.size());
        attr.value = text.substr(pos, end - pos);
        pos = std::min(end + 1, text.size());
    } else {
        while (pos < text.size() && !isBlank(text[pos]) && text[pos] != '>')
            attr.value.push_back(text[pos++]);
    }
    return true;
}

// The charset named in a Content-Type value ("text/html; charset=gb2312").
std::string charsetOfContentType(std::string_view content)
{
    const std::string lower = lowered(content);
    std::size_t at = 0;
    while ((at = lower.find("charset", at)) != std::string::npos) {
        std::size_t i = at + 7;
        while (i < content.size() && isBlank(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=') {
            at = i;
            continue;
        }
        ++i;
        while (i < content.size() && isBlank(content[i]))
            ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            const char quote = content[i++];
            const auto end = content.find(quote, i);
            return end == std::string_view::npos ? std::string() : std::string(content.substr(i, end - i));
        }
        std::size_t end = i;
        while (end < content.size() && !isBlank(content[end]) && content[end] != ';')
            ++end;
        return std::string(content.substr(i, end - i));
    }
    return {};
}

std::string charsetOfMeta(std::string_view text, std::size_t &pos)
{
    std::string charset;
    std::string content;
    bool contentType = false;
    Attribute attr;
    while (nextAttribute(text, pos, attr)) {
        if (attr.name == "charset" && charset.empty())
            charset = attr.value;
        else if (attr.name == "http-equiv")
            contentType = lowered(attr.value) == "content-type";
        else if (attr.name == "content" && content.empty())
            content = attr.value;
    }
    if (!charset.empty())
        return charset;
    return contentType ? charsetOfContentType(content) : std::string();
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

}  // namespace

std::string declaredCharset(std::string_view bytes)
{
    const std::string_view text = bytes.substr(0, std::min(bytes.size(), kScanLimit));
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto lt = text.find('<', pos);
        if (lt == std::string_view::npos)
            break;
        const std::string_view rest = text.substr(lt);
        if (rest.starts_with("<!--")) {
            const auto end = text.find("-->", lt + 4);
            pos = end == std::string_view::npos ? text.size() : end + 3;
        } else if (startsWithNoCase(rest, "<meta") && rest.size() > 5 &&
                   (isBlank(rest[5]) || rest[5] == '/')) {
            pos = lt + 5;
            // A label no browser knows does not count: the search goes on.
            std::string charset = trimmed(charsetOfMeta(text, pos));
            if (metaEncoding(charset))
                return charset;
        } else if (startsWithNoCase(rest, "<body")) {
            break;
        } else {
            // Any other tag: skip it whole, so that its attribute values are not read as markup.
            pos = lt + 1;
            if (pos < text.size() && (text[pos] == '/' || (lowerAscii(text[pos]) >= 'a' && lowerAscii(text[pos]) <= 'z'))) {
                Attribute attr;
                while (pos < text.size() && !isBlank(text[pos]) && text[pos] != '>')
                    ++pos;
                while (nextAttribute(text, pos, attr)) {
                }
            }
        }
    }
    return {};
}

std::optional<std::string_view> metaEncoding(std::string_view charset)
{
    const auto encoding = encodingForLabel(charset);
    if (!encoding)
        return std::nullopt;
    // A page that could be read as far as its meta tag is in no UTF-16, and the binary
    // encoding is no way to read a page.
    if (*encoding == "utf-16le" || *encoding == "utf-16be")
        return "utf-8";
    if (*encoding == "x-user-defined")
        return "windows-1252";
    return encoding;
}

std::string decoderName(std::string_view charset)
{
    const auto encoding = metaEncoding(charset);
    return encoding ? iconvName(*encoding) : lowered(trimmed(charset));
}

std::string pageTextAsUtf8(std::string bytes)
{
    const std::string_view view = bytes;
    if (view.starts_with(kUtf8Bom))
        return validUtf8(view.substr(kUtf8Bom.size()));
    if (view.starts_with(kUtf16LeBom) || view.starts_with(kUtf16BeBom)) {
        const char *encoding = view.starts_with(kUtf16LeBom) ? "UTF-16LE" : "UTF-16BE";
        if (auto text = decodeText(view.substr(2), encoding))
            return std::move(*text);
        return bytes;
    }
    const std::string charset = declaredCharset(view);
    if (charset.empty()) {
        if (isValidUtf8(view))
            return bytes;
        return decodeWebText(view, detectUnlabeledEncoding(view).name);
    }
    return decodeWebText(view, *metaEncoding(charset));
}

}  // namespace tabvoro::capture::html
