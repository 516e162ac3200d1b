#include "capture/document/url.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/document/web_encoding.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The schemes the URL standard treats specially: "\" counts as "/", the path is never opaque.
bool isSpecial(std::string_view scheme)
{
    return scheme == "http" || scheme == "https" || scheme == "file" || scheme == "ftp" ||
           scheme == "ws" || scheme == "wss";
}

// A browser drops C0 controls and blanks at both ends of an address, and tabs and line
// breaks anywhere in it (an href split over two source lines still works).
std::string cleaned(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r')
            out.push_back(c);
    return out;
}

enum class EncodeSet { C0Control, Fragment, Query, SpecialQuery, Path, Userinfo };

bool needsEncoding(unsigned char c, EncodeSet set)
{
    if (c < 0x20 || c > 0x7E)
        return true;
    const bool query = c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    const bool path = query || c == '?' || c == '`' || c == '{' || c == '}';
    switch (set) {
    case EncodeSet::C0Control:
        return false;
    case EncodeSet::Fragment:
        return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::Query:
        return query;
    case EncodeSet::SpecialQuery:
        return query || c == '\'';
    case EncodeSet::Path:
        return path;
    case EncodeSet::Userinfo:
        return path || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' || c == '[' || c == '\\' ||
               c == ']' || c == '^' || c == '|';
    }
    return false;
}

// A byte as a browser writes it into an address: non-ASCII bytes (of the UTF-8 text), blanks,
// quotes and the like percent-encoded; an existing "%xx" stays as it is.
void appendEncoded(char ch, EncodeSet set, std::string &out)
{
    constexpr char hex[] = "0123456789ABCDEF";
    const auto c = static_cast<unsigned char>(ch);
    if (needsEncoding(c, set)) {
        out.push_back('%');
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 0xF]);
    } else {
        out.push_back(ch);
    }
}

int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::optional<int> defaultPort(std::string_view scheme)
{
    if (scheme == "http" || scheme == "ws")
        return 80;
    if (scheme == "https" || scheme == "wss")
        return 443;
    if (scheme == "ftp")
        return 21;
    return std::nullopt;
}

bool isForbiddenHostCodePoint(unsigned char c)
{
    return c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '#' || c == '/' || c == ':' ||
           c == '<' || c == '>' || c == '?' || c == '@' || c == '[' || c == '\\' || c == ']' || c == '^' || c == '|';
}

// One part of an IPv4 address: decimal, "0x" hexadecimal or "0" octal.
std::optional<std::uint64_t> ipv4Number(std::string_view part)
{
    int radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        radix = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        radix = 8;
        part.remove_prefix(1);
    }
    if (part.empty())
        return 0;
    std::uint64_t value = 0;
    for (const char c : part) {
        const int digit = hexDigit(c);
        if (digit < 0 || digit >= radix)
            return std::nullopt;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull * 256)
            value = 0xFFFFFFFFull * 256;  // past any address; stays past it
    }
    return value;
}

std::vector<std::string_view> dotParts(std::string_view host)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = host.find('.', start);
        parts.push_back(host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    return parts;
}

// Whether the host's last part is a number, which makes the host an IPv4 address.
bool endsInANumber(std::string_view host)
{
    const auto parts = dotParts(host);
    const std::string_view last = parts.back();
    if (last.empty())
        return false;
    if (std::all_of(last.begin(), last.end(), isDigit))
        return true;
    return ipv4Number(last).has_value() && last.size() >= 2 && last[0] == '0' && lowerAscii(last[1]) == 'x';
}

std::optional<std::string> ipv4Host(std::string_view host)
{
    const auto parts = dotParts(host);
    if (parts.size() > 4)
        return std::nullopt;
    std::vector<std::uint64_t> numbers;
    for (const auto part : parts) {
        const auto number = ipv4Number(part);
        if (!number || part.empty())
            return std::nullopt;
        numbers.push_back(*number);
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i] > 255)
            return std::nullopt;
    const std::uint64_t limit = 1ull << (8 * (5 - numbers.size()));
    if (numbers.back() >= limit)
        return std::nullopt;
    std::uint64_t address = numbers.back();
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i)
        address += numbers[i] << (8 * (3 - i));
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

// The host of an address. Host names of the special schemes are case-insensitive and written in
// lower case; other schemes keep an opaque host as written. (Names with non-ASCII letters stay in
// UTF-8, where a browser writes them in punycode.)
std::optional<std::string> parseHost(std::string_view input, bool special)
{
    if (input.starts_with('[')) {
        if (!input.ends_with(']') || input.size() < 3)
            return std::nullopt;
        for (const char c : input.substr(1, input.size() - 2))
            if (hexDigit(c) < 0 && c != ':' && c != '.')
                return std::nullopt;
        return lowered(input);
    }
    if (!special) {
        std::string out;
        for (const char c : input) {
            if (isForbiddenHostCodePoint(static_cast<unsigned char>(c)))
                return std::nullopt;
            appendEncoded(c, EncodeSet::C0Control, out);
        }
        return out;
    }
    const std::string domain = lowered(percentDecoded(input));
    if (domain.empty())
        return std::nullopt;
    for (const char ch : domain) {
        const auto c = static_cast<unsigned char>(ch);
        if (isForbiddenHostCodePoint(c) || c < 0x20 || c == '%' || c == 0x7F)
            return std::nullopt;
    }
    if (endsInANumber(domain))
        return ipv4Host(domain);
    return domain;
}

bool isWindowsDriveLetter(std::string_view text, bool normalized)
{
    return text.size() == 2 && isAlpha(text[0]) && (text[1] == ':' || (!normalized && text[1] == '|'));
}

// Whether the rest of the input from `at` starts with a drive letter ("c:", "C|/...").
bool startsWithWindowsDriveLetter(std::string_view input, std::size_t at)
{
    if (input.size() < at + 2 || !isWindowsDriveLetter(input.substr(at, 2), false))
        return false;
    if (input.size() == at + 2)
        return true;
    const char c = input[at + 2];
    return c == '/' || c == '\\' || c == '?' || c == '#';
}

bool isSingleDot(std::string_view segment)
{
    return segment == "." || lowered(segment) == "%2e";
}

bool isDoubleDot(std::string_view segment)
{
    const std::string lower = lowered(segment);
    return lower == ".." || lower == ".%2e" || lower == "%2e." || lower == "%2e%2e";
}

struct Url {
    std::string scheme;
    std::string username;
    std::string password;
    std::optional<std::string> host;
    std::optional<int> port;
    bool opaquePath = false;  // "mailto:...": the path is one text, not segments
    std::string opaque;
    std::vector<std::string> path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    bool special() const { return isSpecial(scheme); }

    void shortenPath()
    {
        if (scheme == "file" && path.size() == 1 && isWindowsDriveLetter(path[0], true))
            return;
        if (!path.empty())
            path.pop_back();
    }

    std::string serialized() const
    {
        std::string out = scheme + ":";
        if (host) {
            out += "//";
            if (!username.empty() || !password.empty()) {
                out += username;
                if (!password.empty())
                    out += ":" + password;
                out += "@";
            }
            out += *host;
            if (port)
                out += ":" + std::to_string(*port);
        }
        if (opaquePath) {
            out += opaque;
        } else {
            // Without a host, a path starting with an empty segment would read back as a host.
            if (!host && path.size() > 1 && path[0].empty())
                out += "/.";
            for (const auto &segment : path)
                out += "/" + segment;
        }
        if (query)
            out += "?" + *query;
        if (fragment)
            out += "#" + *fragment;
        return out;
    }
};

enum class State {
    SchemeStart, Scheme, NoScheme, SpecialRelativeOrAuthority, PathOrAuthority, Relative, RelativeSlash,
    SpecialAuthoritySlashes, SpecialAuthorityIgnoreSlashes, Authority, Host, Port, File, FileSlash,
    FileHost, PathStart, Path, OpaquePath, Query, Fragment,
};

// The basic URL parser of the URL standard (without its encoding override and state override).
std::optional<Url> parseUrl(const std::string &input, const Url *base)
{
    constexpr int kEnd = -1;
    Url url;
    State state = State::SchemeStart;
    std::string buffer;
    bool atSignSeen = false;
    bool insideBrackets = false;
    bool passwordTokenSeen = false;
    std::size_t p = 0;
    auto at = [&input](std::size_t i) { return i < input.size() ? static_cast<unsigned char>(input[i]) : kEnd; };
    auto special = [&url] { return url.special(); };
    for (;;) {
        const int c = at(p);
        // Set when `c` is to be read again in the new state.
        bool again = false;
        auto slash = [&] { return c == '/' || (special() && c == '\\'); };
        auto endOfAuthority = [&] { return c == kEnd || c == '?' || c == '#' || slash(); };
        switch (state) {
        case State::SchemeStart:
            if (c != kEnd && isAlpha(static_cast<char>(c))) {
                buffer.push_back(lowerAscii(static_cast<char>(c)));
                state = State::Scheme;
            } else {
                state = State::NoScheme;
                again = true;
            }
            break;
        case State::Scheme:
            if (c != kEnd && (isAlpha(static_cast<char>(c)) || isDigit(static_cast<char>(c)) || c == '+' ||
                              c == '-' || c == '.')) {
                buffer.push_back(lowerAscii(static_cast<char>(c)));
            } else if (c == ':') {
                url.scheme = std::move(buffer);
                buffer.clear();
                if (url.scheme == "file") {
                    state = State::File;
                } else if (special() && base && base->scheme == url.scheme) {
                    state = State::SpecialRelativeOrAuthority;
                } else if (special()) {
                    state = State::SpecialAuthoritySlashes;
                } else if (at(p + 1) == '/') {
                    state = State::PathOrAuthority;
                    ++p;
                } else {
                    url.opaquePath = true;
                    state = State::OpaquePath;
                }
            } else {
                buffer.clear();
                state = State::NoScheme;
                p = 0;
                continue;
            }
            break;
        case State::NoScheme:
            if (!base || (base->opaquePath && c != '#'))
                return std::nullopt;
            if (base->opaquePath) {
                url.scheme = base->scheme;
                url.opaquePath = true;
                url.opaque = base->opaque;
                url.query = base->query;
                url.fragment = "";
                state = State::Fragment;
            } else {
                state = base->scheme == "file" ? State::File : State::Relative;
                again = true;
            }
            break;
        case State::SpecialRelativeOrAuthority:
            if (c == '/' && at(p + 1) == '/') {
                state = State::SpecialAuthorityIgnoreSlashes;
                ++p;
            } else {
                state = State::Relative;
                again = true;
            }
            break;
        case State::PathOrAuthority:
            if (c == '/') {
                state = State::Authority;
            } else {
                state = State::Path;
                again = true;
            }
            break;
        case State::Relative:
            url.scheme = base->scheme;
            if (slash()) {
                state = State::RelativeSlash;
            } else {
                url.username = base->username;
                url.password = base->password;
                url.host = base->host;
                url.port = base->port;
                url.path = base->path;
                url.query = base->query;
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                } else if (c != kEnd) {
                    url.query.reset();
                    url.shortenPath();
                    state = State::Path;
                    again = true;
                }
            }
            break;
        case State::RelativeSlash:
            if (special() && (c == '/' || c == '\\')) {
                state = State::SpecialAuthorityIgnoreSlashes;
            } else if (c == '/') {
                state = State::Authority;
            } else {
                url.username = base->username;
                url.password = base->password;
                url.host = base->host;
                url.port = base->port;
                state = State::Path;
                again = true;
            }
            break;
        case State::SpecialAuthoritySlashes:
            state = State::SpecialAuthorityIgnoreSlashes;
            if (c == '/' && at(p + 1) == '/')
                ++p;
            else
                again = true;
            break;
        case State::SpecialAuthorityIgnoreSlashes:
            if (c != '/' && c != '\\') {
                state = State::Authority;
                again = true;
            }
            break;
        case State::Authority:
            if (c == '@') {
                if (atSignSeen)
                    buffer.insert(0, "%40");
                atSignSeen = true;
                for (const char b : buffer) {
                    if (b == ':' && !passwordTokenSeen) {
                        passwordTokenSeen = true;
                        continue;
                    }
                    appendEncoded(b, EncodeSet::Userinfo, passwordTokenSeen ? url.password : url.username);
                }
                buffer.clear();
            } else if (endOfAuthority()) {
                if (atSignSeen && buffer.empty())
                    return std::nullopt;
                p -= buffer.size();
                buffer.clear();
                state = State::Host;
                continue;
            } else {
                buffer.push_back(static_cast<char>(c));
            }
            break;
        case State::Host:
            if (c == ':' && !insideBrackets) {
                if (buffer.empty())
                    return std::nullopt;
                url.host = parseHost(buffer, special());
                if (!url.host)
                    return std::nullopt;
                buffer.clear();
                state = State::Port;
            } else if (endOfAuthority()) {
                if (special() && buffer.empty())
                    return std::nullopt;
                url.host = parseHost(buffer, special());
                if (!url.host)
                    return std::nullopt;
                buffer.clear();
                state = State::PathStart;
                again = true;
            } else {
                if (c == '[')
                    insideBrackets = true;
                if (c == ']')
                    insideBrackets = false;
                buffer.push_back(static_cast<char>(c));
            }
            break;
        case State::Port:
            if (c != kEnd && isDigit(static_cast<char>(c))) {
                buffer.push_back(static_cast<char>(c));
            } else if (endOfAuthority()) {
                if (!buffer.empty()) {
                    int port = 0;
                    for (const char d : buffer) {
                        port = port * 10 + (d - '0');
                        if (port > 65535)
                            return std::nullopt;
                    }
                    if (port != defaultPort(url.scheme))
                        url.port = port;
                    buffer.clear();
                }
                state = State::PathStart;
                again = true;
            } else {
                return std::nullopt;
            }
            break;
        case State::File:
            url.scheme = "file";
            url.host = "";
            if (c == '/' || c == '\\') {
                state = State::FileSlash;
            } else if (base && base->scheme == "file") {
                url.host = base->host;
                url.path = base->path;
                url.query = base->query;
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                } else if (c != kEnd) {
                    url.query.reset();
                    if (!startsWithWindowsDriveLetter(input, p))
                        url.shortenPath();
                    else
                        url.path.clear();
                    state = State::Path;
                    again = true;
                }
            } else {
                state = State::Path;
                again = true;
            }
            break;
        case State::FileSlash:
            if (c == '/' || c == '\\') {
                state = State::FileHost;
            } else {
                if (base && base->scheme == "file") {
                    url.host = base->host;
                    if (!startsWithWindowsDriveLetter(input, p) && !base->path.empty() &&
                        isWindowsDriveLetter(base->path[0], true))
                        url.path.push_back(base->path[0]);
                }
                state = State::Path;
                again = true;
            }
            break;
        case State::FileHost:
            if (c == kEnd || c == '/' || c == '\\' || c == '?' || c == '#') {
                again = true;
                if (isWindowsDriveLetter(buffer, false)) {
                    state = State::Path;  // the buffer is the path's first segment
                } else if (buffer.empty()) {
                    url.host = "";
                    state = State::PathStart;
                } else {
                    auto host = parseHost(buffer, true);
                    if (!host)
                        return std::nullopt;
                    url.host = *host == "localhost" ? std::string() : std::move(*host);
                    buffer.clear();
                    state = State::PathStart;
                }
            } else {
                buffer.push_back(static_cast<char>(c));
            }
            break;
        case State::PathStart:
            if (special()) {
                state = State::Path;
                again = c != '/' && c != '\\';
            } else if (c == '?') {
                url.query = "";
                state = State::Query;
            } else if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c != kEnd) {
                state = State::Path;
                again = c != '/';
            }
            break;
        case State::Path:
            if (c == kEnd || slash() || c == '?' || c == '#') {
                if (isDoubleDot(buffer)) {
                    url.shortenPath();
                    if (!slash())
                        url.path.emplace_back();
                } else if (isSingleDot(buffer)) {
                    if (!slash())
                        url.path.emplace_back();
                } else {
                    if (url.scheme == "file" && url.path.empty() && isWindowsDriveLetter(buffer, false))
                        buffer[1] = ':';
                    url.path.push_back(buffer);
                }
                buffer.clear();
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                }
            } else {
                appendEncoded(static_cast<char>(c), EncodeSet::Path, buffer);
            }
            break;
        case State::OpaquePath:
            if (c == '?') {
                url.query = "";
                state = State::Query;
            } else if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c != kEnd) {
                appendEncoded(static_cast<char>(c), EncodeSet::C0Control, url.opaque);
            }
            break;
        case State::Query:
            if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c != kEnd) {
                appendEncoded(static_cast<char>(c), special() ? EncodeSet::SpecialQuery : EncodeSet::Query, *url.query);
            }
            break;
        case State::Fragment:
            if (c != kEnd)
                appendEncoded(static_cast<char>(c), EncodeSet::Fragment, *url.fragment);
            break;
        }
        if (again)
            continue;
        if (c == kEnd)
            break;
        ++p;
    }
    return url;
}

}  // namespace

std::optional<std::string> resolveUrl(std::string_view baseText, std::string_view referenceText)
{
    const auto base = parseUrl(cleaned(baseText), nullptr);
    const auto url = parseUrl(cleaned(referenceText), base ? &*base : nullptr);
    if (!url)
        return std::nullopt;
    return url->serialized();
}

// ---- Character references.

namespace {

struct NamedReference {
    std::string_view name;
    char32_t codePoint;
};

// The Latin-1 names, U+00A0 to U+00FF in order. Browsers also accept these without the
// closing ";", as pages from before HTML 4 wrote them.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// Greek letters from U+0391 (capital) and U+03B1 (small); U+03A2 is unassigned and its small
// counterpart is the final sigma.
constexpr std::array<std::string_view, 25> kGreekNames = {
    "Alpha", "Beta", "Gamma", "Delta",   "Epsilon", "Zeta", "Eta", "Theta", "Iota",
    "Kappa", "Lambda", "Mu",  "Nu",      "Xi",      "Omicron", "Pi", "Rho", "",
    "Sigma", "Tau",  "Upsilon", "Phi",   "Chi",     "Psi",  "Omega",
};

constexpr NamedReference kOtherNames[] = {
    {"quot", 0x22},     {"amp", 0x26},      {"apos", 0x27},     {"lt", 0x3C},
    {"gt", 0x3E},       {"OElig", 0x152},   {"oelig", 0x153},   {"Scaron", 0x160},
    {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},    {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"thetasym", 0x3D1}, {"upsih", 0x3D2},  {"piv", 0x3D6},
    {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009}, {"zwnj", 0x200C},
    {"zwj", 0x200D},    {"lrm", 0x200E},    {"rlm", 0x200F},    {"ndash", 0x2013},
    {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"dagger", 0x2020},
    {"Dagger", 0x2021}, {"bull", 0x2022},   {"hellip", 0x2026}, {"permil", 0x2030},
    {"prime", 0x2032},  {"Prime", 0x2033},  {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
    {"oline", 0x203E},  {"frasl", 0x2044},  {"euro", 0x20AC},   {"image", 0x2111},
    {"weierp", 0x2118}, {"real", 0x211C},   {"trade", 0x2122},  {"alefsym", 0x2135},
    {"larr", 0x2190},   {"uarr", 0x2191},   {"rarr", 0x2192},   {"darr", 0x2193},
    {"harr", 0x2194},   {"crarr", 0x21B5},  {"lArr", 0x21D0},   {"uArr", 0x21D1},
    {"rArr", 0x21D2},   {"dArr", 0x21D3},   {"hArr", 0x21D4},   {"forall", 0x2200},
    {"part", 0x2202},   {"exist", 0x2203},  {"empty", 0x2205},  {"nabla", 0x2207},
    {"isin", 0x2208},   {"notin", 0x2209},  {"ni", 0x220B},     {"prod", 0x220F},
    {"sum", 0x2211},    {"minus", 0x2212},  {"lowast", 0x2217}, {"radic", 0x221A},
    {"prop", 0x221D},   {"infin", 0x221E},  {"ang", 0x2220},    {"and", 0x2227},
    {"or", 0x2228},     {"cap", 0x2229},    {"cup", 0x222A},    {"int", 0x222B},
    {"there4", 0x2234}, {"sim", 0x223C},    {"cong", 0x2245},   {"asymp", 0x2248},
    {"ne", 0x2260},     {"equiv", 0x2261},  {"le", 0x2264},     {"ge", 0x2265},
    {"sub", 0x2282},    {"sup", 0x2283},    {"nsub", 0x2284},   {"sube", 0x2286},
    {"supe", 0x2287},   {"oplus", 0x2295},  {"otimes", 0x2297}, {"perp", 0x22A5},
    {"sdot", 0x22C5},   {"lceil", 0x2308},  {"rceil", 0x2309},  {"lfloor", 0x230A},
    {"rfloor", 0x230B}, {"lang", 0x27E8},   {"rang", 0x27E9},   {"loz", 0x25CA},
    {"spades", 0x2660}, {"clubs", 0x2663},  {"hearts", 0x2665}, {"diams", 0x2666},
};

constexpr char32_t kReplacement = 0xFFFD;

struct Match {
    char32_t codePoint = 0;
    bool legacy = false;  // valid without the closing ";"
};

std::optional<Match> lookup(std::string_view name)
{
    for (std::size_t i = 0; i < kLatin1Names.size(); ++i)
        if (kLatin1Names[i] == name)
            return Match{static_cast<char32_t>(0xA0 + i), true};
    for (std::size_t i = 0; i < kGreekNames.size(); ++i) {
        if (kGreekNames[i].empty())
            continue;
        if (kGreekNames[i] == name)
            return Match{static_cast<char32_t>(0x391 + i), false};
        // The small letter's name is the capital's with a small first letter.
        if (name.size() == kGreekNames[i].size() && name.front() == lowerAscii(kGreekNames[i].front()) &&
            name.substr(1) == kGreekNames[i].substr(1))
            return Match{static_cast<char32_t>(0x3B1 + i), false};
    }
    if (name == "sigmaf")
        return Match{0x3C2, false};
    for (const auto &ref : kOtherNames)
        if (ref.name == name)
            return Match{ref.codePoint, ref.codePoint < 0x100 && ref.name != "apos"};
    return std::nullopt;
}

bool isHexDigit(char c) { return isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f'); }

// A numeric reference at text[0] == '&', text[1] == '#'. Returns the characters it covers, 0
// when it is not one.
std::size_t decodeNumeric(std::string_view text, std::string &out)
{
    std::size_t i = 2;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const std::size_t digitsStart = i;
    std::uint32_t value = 0;
    bool overflow = false;
    while (i < text.size() && (hex ? isHexDigit(text[i]) : isDigit(text[i]))) {
        const char c = lowerAscii(text[i]);
        const std::uint32_t digit = isDigit(c) ? static_cast<std::uint32_t>(c - '0') : static_cast<std::uint32_t>(c - 'a' + 10);
        value = value * (hex ? 16 : 10) + digit;
        overflow = overflow || value > 0x10FFFF;
        if (overflow)
            value = 0x110000;
        ++i;
    }
    if (i == digitsStart)
        return 0;
    if (i < text.size() && text[i] == ';')
        ++i;
    char32_t cp = value;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = kReplacement;
    else if (cp >= 0x80 && cp <= 0x9F)
        cp = html::windows1252CodePoint(static_cast<unsigned char>(cp));  // what 128 to 159 mean on the web
    appendUtf8(cp, out);
    return i;
}

std::size_t decodeNamed(std::string_view text, std::string &out)
{
    std::size_t i = 1;
    while (i < text.size() && (isAlpha(text[i]) || isDigit(text[i])))
        ++i;
    const std::string_view name = text.substr(1, i - 1);
    if (name.empty())
        return 0;
    const auto match = lookup(name);
    if (!match)
        return 0;
    const bool semicolon = i < text.size() && text[i] == ';';
    if (!semicolon && (!match->legacy || (i < text.size() && text[i] == '=')))
        return 0;
    appendUtf8(match->codePoint, out);
    return semicolon ? i + 1 : i;
}

}  // namespace

std::string decodeCharacterReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto amp = text.find('&', i);
        if (amp == std::string_view::npos)
            break;
        out.append(text, i, amp - i);
        const std::string_view rest = text.substr(amp);
        const std::size_t used = rest.size() > 1 && rest[1] == '#' ? decodeNumeric(rest, out)
                                                                   : decodeNamed(rest, out);
        if (used == 0) {
            out.push_back('&');
            i = amp + 1;
        } else {
            i = amp + used;
        }
    }
    out.append(text.substr(i));
    return out;
}

}  // namespace tabvoro::capture
