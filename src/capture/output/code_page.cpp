#include "capture/output/code_page.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include <iconv.h>

namespace tabvoro::capture {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
// Wide characters handed to iconv at a time: large enough that the calls cost nothing next to
// the conversion, small enough to stay in cache.
constexpr std::size_t kWideChunk = 1 << 16;

static_assert(sizeof(wchar_t) == 4, "wide characters are taken to be UCS-4, as on Linux");

class IconvHandle {
public:
    IconvHandle(const std::string &to, const std::string &from)
        : m_cd(iconv_open(to.c_str(), from.c_str()))
    {
    }
    ~IconvHandle()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

// Decodes one strictly valid UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing past U+10FFFF). Returns its length, 0 when the bytes are not one.
std::size_t decodeUtf8(std::string_view text, char32_t &cp)
{
    if (text.empty())
        return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

std::string characterReference(char32_t cp)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    char digits[8];
    int n = 0;
    do {
        digits[n++] = kHex[cp & 0xF];
        cp >>= 4;
    } while (cp != 0);
    std::string out = "&#x";
    while (n > 0)
        out += digits[--n];
    out += ';';
    return out;
}

std::wstring wideReference(wchar_t cp)
{
    const std::string ascii = characterReference(static_cast<char32_t>(cp));
    return std::wstring(ascii.begin(), ascii.end());
}

enum class Stop { Done, Invalid, Incomplete, Failed };

// Converts `in`, appending to `out` from `used` on and growing it as needed. The whole input
// goes through iconv in one call unless the output buffer fills or a byte sequence cannot be
// converted; then `in` is left at that sequence. A finished conversion also writes the bytes
// that return a stateful code page to its initial shift state.
template <class CharT>
Stop convert(iconv_t cd, std::basic_string_view<CharT> &in, std::string &out, std::size_t &used)
{
    char *inPtr = reinterpret_cast<char *>(const_cast<CharT *>(in.data()));
    std::size_t inLeft = in.size() * sizeof(CharT);
    bool flushing = false;
    if (out.size() - used < 16)
        out.resize(out.size() * 2 + 64);
    for (;;) {
        char *outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, flushing ? nullptr : &inPtr, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        used = static_cast<std::size_t>(outPtr - out.data());
        in = std::basic_string_view<CharT>(reinterpret_cast<const CharT *>(inPtr),
                                           inLeft / sizeof(CharT));
        if (rc != static_cast<std::size_t>(-1)) {
            if (flushing)
                return Stop::Done;
            flushing = true;
            continue;
        }
        if (err == E2BIG) {
            out.resize(out.size() * 2 + 64);
            continue;
        }
        if (err == EILSEQ)
            return Stop::Invalid;
        if (err == EINVAL)
            return Stop::Incomplete;
        return Stop::Failed;
    }
}

// Converts a short text that must convert whole, such as a character reference.
bool convertAll(iconv_t cd, std::wstring_view in, std::string &out, std::size_t &used)
{
    return convert(cd, in, out, used) == Stop::Done && in.empty();
}

}  // namespace

std::string systemCodePage()
{
    const char *value = std::getenv("TABVORO_CODEPAGE");
    if (value != nullptr && *value != '\0')
        return value;
    return kDefaultCodePage;
}

namespace {

// Upper case without dashes and underscores: "utf-8", "UTF8" and "Utf_8" name one code page.
std::string bareName(const std::string &codePage)
{
    std::string name;
    for (const char c : codePage)
        if (c != '-' && c != '_')
            name.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    return name;
}

// The name iconv knows the code page by.
std::string iconvCodePage(const std::string &codePage)
{
    return bareName(codePage) == "UTF8BOM" ? std::string("UTF-8") : codePage;
}

}  // namespace

bool writesByteOrderMark(const std::string &codePage) { return bareName(codePage) == "UTF8BOM"; }

Result<EncodedText> encodeText(std::string_view utf8, const std::string &codePage)
{
    // The text is decoded here and handed to iconv as wide characters: from UTF-8, glibc
    // converts in two steps and, at every character the code page lacks, converts a whole
    // buffer again to find it, which made a page of such characters take minutes.
    IconvHandle cd(iconvCodePage(codePage), "WCHAR_T");
    if (!cd.valid())
        return failure("unknown code page \"" + codePage + "\"");

    EncodedText result;
    std::string &out = result.bytes;
    out.resize(utf8.size() + utf8.size() / 4 + 64);
    std::size_t used = 0;
    std::vector<wchar_t> wide;
    wide.reserve(kWideChunk);
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        wide.clear();
        while (pos < utf8.size() && wide.size() < kWideChunk) {
            char32_t cp = 0;
            const std::size_t len = decodeUtf8(utf8.substr(pos), cp);
            wide.push_back(static_cast<wchar_t>(len == 0 ? kReplacement : cp));
            pos += len == 0 ? 1 : len;
        }
        auto rest = std::basic_string_view<wchar_t>(wide.data(), wide.size());
        for (;;) {
            const Stop stop = convert(cd.get(), rest, out, used);
            if (stop == Stop::Done)
                break;
            if (stop != Stop::Invalid)
                return failure("cannot convert text to " + codePage + ": " + std::strerror(errno));
            if (!convertAll(cd.get(), wideReference(rest.front()), out, used))
                return failure("code page " + codePage + " cannot hold a character reference");
            ++result.substituted;
            rest.remove_prefix(1);
        }
    }
    out.resize(used);
    return result;
}

namespace {

// iconv's UTF-8 lets sequences past U+10FFFF through.
bool isUtf8Name(const std::string &codePage)
{
    const std::string name = bareName(codePage);
    return name == "UTF8" || name == "UTF8BOM";
}

}  // namespace

Result<std::string> decodeText(std::string_view bytes, const std::string &codePage)
{
    if (isUtf8Name(codePage))
        return validUtf8(bytes);
    IconvHandle cd("UTF-8", codePage);
    if (!cd.valid())
        return failure("unknown code page \"" + codePage + "\"");

    std::string out;
    out.resize(bytes.size() + bytes.size() / 2 + 64);
    std::size_t used = 0;
    std::string_view rest = bytes;
    for (;;) {
        const Stop stop = convert(cd.get(), rest, out, used);
        if (stop == Stop::Done)
            break;
        if (stop == Stop::Failed)
            return failure("cannot convert text from " + codePage + ": " + std::strerror(errno));
        // One bad byte becomes one U+FFFD; the bytes after it may still start a good character.
        if (out.size() - used < kReplacementUtf8.size())
            out.resize(out.size() * 2 + 64);
        std::memcpy(out.data() + used, kReplacementUtf8.data(), kReplacementUtf8.size());
        used += kReplacementUtf8.size();
        rest.remove_prefix(1);
        cd.reset();
    }
    out.resize(used);
    return out;
}

std::string validUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        std::size_t needed = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t end = i + 1;
        for (std::size_t seen = 0; seen < needed && end < n; ++seen, ++end) {
            const auto b = static_cast<unsigned char>(bytes[end]);
            if (b < low || b > high)
                break;
            low = 0x80;
            high = 0xBF;
        }
        if (needed > 0 && end - i == needed + 1)
            out.append(bytes.substr(i, needed + 1));
        else
            out.append(kReplacementUtf8);
        // The byte that broke the sequence may begin the next one.
        i = end;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(bytes.substr(i), cp);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

Result<std::string> decodeFileText(std::string_view bytes, const std::string &codePage)
{
    if (isValidUtf8(bytes)) {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        if (bytes.starts_with(kBom))
            bytes.remove_prefix(kBom.size());
        return std::string(bytes);
    }
    return decodeText(bytes, codePage);
}

struct CodePageWidths::Impl {
    explicit Impl(std::string page) : codePage(iconvCodePage(page)), cd(codePage, "WCHAR_T") {}

    std::size_t widthOf(char32_t cp)
    {
        if (cp < 0x10000) {
            if (bmp.empty())
                bmp.assign(0x10000, kNotMeasured);
            std::uint8_t &slot = bmp[cp];
            if (slot == kNotMeasured)
                slot = static_cast<std::uint8_t>(measure(cp));
            return slot;
        }
        const auto found = beyond.find(cp);
        if (found != beyond.end())
            return found->second;
        const std::size_t w = measure(cp);
        beyond.emplace(cp, w);
        return w;
    }

    // Columns of one character as encodeText writes it: a character of the code page at most
    // two, its reference one a byte.
    std::size_t measure(char32_t cp)
    {
        if (!cd.valid())
            return 2;
        const wchar_t wide = static_cast<wchar_t>(cp);
        std::string out(16, '\0');
        std::size_t used = 0;
        cd.reset();
        if (convertAll(cd.get(), std::wstring_view(&wide, 1), out, used))
            return used < 2 ? used : 2;
        cd.reset();
        used = 0;
        if (convertAll(cd.get(), wideReference(wide), out, used))
            return used;
        return characterReference(cp).size();
    }

    std::string codePage;
    IconvHandle cd;
    // No character takes as many bytes as the marker, not even as a reference ("&#x10FFFF;").
    static constexpr std::uint8_t kNotMeasured = 0xFF;
    std::vector<std::uint8_t> bmp;
    std::unordered_map<char32_t, std::size_t> beyond;
};

CodePageWidths::CodePageWidths(std::string codePage) : m_impl(new Impl(std::move(codePage))) {}

CodePageWidths::~CodePageWidths() { delete m_impl; }

std::size_t CodePageWidths::width(std::string_view utf8)
{
    std::size_t total = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            ++total;
            ++i;
            continue;
        }
        char32_t cp = 0;
        std::size_t len = decodeUtf8(utf8.substr(i), cp);
        if (len == 0) {
            cp = kReplacement;
            len = 1;
        }
        total += m_impl->widthOf(cp);
        i += len;
    }
    return total;
}

}  // namespace tabvoro::capture
