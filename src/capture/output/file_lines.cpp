#include "capture/output/file_lines.h"

#include <cerrno>

#include <iconv.h>

#include "capture/output/code_page.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

class Iconv {
public:
    Iconv(const char *to, const std::string &from) : m_cd(iconv_open(to, from.c_str())) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// The length of `bytes` without a UTF-8 sequence that was cut at its end.
std::size_t withoutCutUtf8(std::string_view bytes)
{
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation byte: its lead comes earlier
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

// The length of `bytes` without a character of `codePage` that was cut at its end: iconv tells an
// incomplete last character from an invalid one. Only a scan from the start finds where the
// characters begin, as a trail byte of a double-byte code page may look like a lead byte.
std::size_t withoutCutCharacter(std::string_view bytes, const std::string &codePage)
{
    Iconv cd("UTF-8", codePage);
    if (!cd.valid())
        return bytes.size();
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char *out = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(cd.get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        if (errno == EINVAL)
            return bytes.size() - inLeft;
        if (errno != EILSEQ)
            break;
        // A byte that starts no character: the decoding shows it as U+FFFD and goes on after it.
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return bytes.size();
}

}  // namespace

Result<std::string> previewText(std::string_view bytes, bool more, const std::string &codePage)
{
    const std::string_view asUtf8 = more ? bytes.substr(0, withoutCutUtf8(bytes)) : bytes;
    if (isValidUtf8(asUtf8))
        return std::string(asUtf8.starts_with(kBom) ? asUtf8.substr(kBom.size()) : asUtf8);
    return decodeText(more ? bytes.substr(0, withoutCutCharacter(bytes, codePage)) : bytes, codePage);
}

Result<KeptLines> removeLinesContaining(std::string_view bytes, std::string_view needle, const std::string &codePage)
{
    const bool utf8 = isValidUtf8(bytes);
    if (!utf8) {
        if (auto probe = decodeText({}, codePage); !probe)
            return std::unexpected(probe.error());
    }
    KeptLines result;
    std::string &out = result.bytes;
    out.reserve(bytes.size() + bytes.size() / 16);
    if (utf8 && bytes.starts_with(kBom)) {
        out += kBom;
        bytes.remove_prefix(kBom.size());
    }

    auto take = [&](std::string_view line) {
        bool contains = false;
        if (!needle.empty()) {
            if (utf8) {
                contains = line.find(needle) != std::string_view::npos;
            } else {
                const auto text = decodeText(line, codePage);
                contains = text && text->find(needle) != std::string::npos;
            }
        }
        if (contains) {
            ++result.removed;
            return;
        }
        out += line;
        out += kCrLf;
    };

    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        take(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        take(bytes.substr(start));
    return result;
}

}  // namespace tabvoro::capture
