#include "capture/document/url.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

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

// The scheme at the start of an address ("http" of "http://a"), empty when there is none.
std::string_view schemeOf(std::string_view text)
{
    if (text.empty() || !isAlpha(text.front()))
        return {};
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':')
            return text.substr(0, i);
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return {};
}

struct Parts {
    std::string scheme;  // lower case; empty for a relative reference
    bool hasAuthority = false;
    std::string authority;
    std::string path;
    bool hasQuery = false;
    std::string query;
    bool hasFragment = false;
    std::string fragment;
};

// Splits what follows the scheme (RFC 3986 appendix B).
Parts split(std::string scheme, std::string rest, bool special)
{
    Parts parts;
    parts.scheme = std::move(scheme);
    if (special) {
        const std::size_t end = std::min(rest.find_first_of("?#"), rest.size());
        std::replace(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(end), '\\', '/');
    }
    std::string_view text = rest;
    if (const auto hash = text.find('#'); hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const auto question = text.find('?'); question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    if (text.starts_with("//")) {
        const auto end = std::min(text.find('/', 2), text.size());
        parts.hasAuthority = true;
        parts.authority = text.substr(2, end - 2);
        text = text.substr(end);
    }
    parts.path = text;
    return parts;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    auto dropLastSegment = [&out] {
        const auto slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const auto end = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, end));
            in.remove_prefix(end);
        }
    }
    return out;
}

// RFC 3986 section 5.2.3.
std::string merge(const Parts &base, std::string_view path)
{
    if (base.hasAuthority && base.path.empty())
        return "/" + std::string(path);
    const auto slash = base.path.rfind('/');
    if (slash == std::string::npos)
        return std::string(path);
    return base.path.substr(0, slash + 1) + std::string(path);
}

enum class EncodeSet { Opaque, Path, Query, SpecialQuery, Fragment };

bool needsEncoding(unsigned char c, EncodeSet set)
{
    if (c < 0x20 || c > 0x7E)
        return true;
    switch (set) {
    case EncodeSet::Opaque:
        return false;
    case EncodeSet::Fragment:
        return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::Query:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    case EncodeSet::SpecialQuery:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '\'';
    case EncodeSet::Path:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '?' || c == '`' ||
               c == '{' || c == '}';
    }
    return false;
}

// Characters a browser percent-encodes when it parses an address: non-ASCII bytes (of the
// UTF-8 text), blanks, quotes and angle brackets. An existing "%xx" stays as it is.
void appendEncoded(std::string_view text, EncodeSet set, std::string &out)
{
    constexpr char hex[] = "0123456789ABCDEF";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEncoding(c, set)) {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        } else {
            out.push_back(ch);
        }
    }
}

std::string compose(Parts parts)
{
    const bool special = isSpecial(parts.scheme);
    if (parts.scheme == "file" && (!parts.hasAuthority || lowered(parts.authority) == "localhost")) {
        parts.hasAuthority = true;
        parts.authority.clear();
    }
    const bool opaque = !parts.hasAuthority && !parts.path.starts_with("/") && !special;
    std::string out = parts.scheme;
    out.push_back(':');
    if (parts.hasAuthority) {
        out.append("//");
        // Host names are case-insensitive and a browser writes them in lower case; user
        // information before "@" keeps its case.
        const auto at = parts.authority.rfind('@');
        const std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
        out.append(parts.authority, 0, hostStart);
        out.append(special ? lowered(parts.authority.substr(hostStart)) : parts.authority.substr(hostStart));
    }
    if (special && parts.path.empty())
        parts.path = "/";
    appendEncoded(parts.path, opaque ? EncodeSet::Opaque : EncodeSet::Path, out);
    if (parts.hasQuery) {
        out.push_back('?');
        appendEncoded(parts.query, special ? EncodeSet::SpecialQuery : EncodeSet::Query, out);
    }
    if (parts.hasFragment) {
        out.push_back('#');
        appendEncoded(parts.fragment, EncodeSet::Fragment, out);
    }
    return out;
}

Parts parseAbsolute(std::string_view text, std::string_view scheme)
{
    std::string lower = lowered(scheme);
    const bool special = isSpecial(lower);
    return split(std::move(lower), std::string(text.substr(scheme.size() + 1)), special);
}

}  // namespace

std::optional<std::string> resolveUrl(std::string_view baseText, std::string_view referenceText)
{
    const std::string reference = cleaned(referenceText);
    const std::string base = cleaned(baseText);
    const std::string_view baseScheme = schemeOf(base);
    std::string_view refScheme = schemeOf(reference);
    std::string_view relative = reference;

    if (!refScheme.empty()) {
        // "http:page.htm" on an http page is relative (RFC 3986 5.2.2, the backward-compatible
        // reading that browsers keep for their special schemes); "http://host" is not.
        const std::string lowerScheme = lowered(refScheme);
        std::string_view rest = std::string_view(reference).substr(refScheme.size() + 1);
        const bool sameSpecial = isSpecial(lowerScheme) && lowered(baseScheme) == lowerScheme;
        const bool slashes = rest.size() >= 2 && (rest[0] == '/' || rest[0] == '\\') &&
                             (rest[1] == '/' || rest[1] == '\\');
        if (!sameSpecial || slashes) {
            Parts target = parseAbsolute(reference, refScheme);
            if (target.hasAuthority || target.path.starts_with("/"))
                target.path = removeDotSegments(target.path);
            return compose(std::move(target));
        }
        relative = rest;
    }

    if (baseScheme.empty())
        return std::nullopt;
    const Parts basis = parseAbsolute(base, baseScheme);
    const bool special = isSpecial(basis.scheme);
    Parts ref = split({}, std::string(relative), special);

    Parts target;
    target.scheme = basis.scheme;
    target.hasFragment = ref.hasFragment;
    target.fragment = ref.fragment;

    const bool baseOpaque = !basis.hasAuthority && !basis.path.starts_with("/") && !special;
    if (baseOpaque) {
        // An address like "about:blank" or "mailto:..." takes nothing but a fragment.
        if (ref.hasAuthority || !ref.path.empty() || ref.hasQuery || !ref.hasFragment)
            return std::nullopt;
        target.path = basis.path;
        target.hasQuery = basis.hasQuery;
        target.query = basis.query;
        return compose(std::move(target));
    }

    if (ref.hasAuthority) {
        target.hasAuthority = true;
        target.authority = ref.authority;
        target.path = removeDotSegments(ref.path);
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
        return compose(std::move(target));
    }
    target.hasAuthority = basis.hasAuthority;
    target.authority = basis.authority;
    if (ref.path.empty()) {
        target.path = basis.path;
        target.hasQuery = ref.hasQuery || basis.hasQuery;
        target.query = ref.hasQuery ? ref.query : basis.query;
    } else {
        target.path = removeDotSegments(ref.path.starts_with("/") ? ref.path : merge(basis, ref.path));
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
    }
    return compose(std::move(target));
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
