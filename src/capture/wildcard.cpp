#include "capture/wildcard.h"

#include <optional>
#include <vector>

namespace tabvoro::capture {

namespace {

// Code points of a UTF-8 text, so that "?" and "[...]" take a Chinese character as one. A byte
// that begins no valid character stands for itself, as a value no character has: two texts
// match character for character only when their bytes do.
std::vector<char32_t> codePoints(std::string_view text)
{
    constexpr char32_t kLoneByte = 0x110000;
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
        char32_t cp = length == 4 ? c & 0x07 : length == 3 ? c & 0x0F : length == 2 ? c & 0x1F : c;
        std::size_t j = i + 1;
        for (; length > 0 && j < i + length && j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80; ++j)
            cp = (cp << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool valid = length > 0 && j == i + length && cp >= kLeast[length] && cp <= 0x10FFFF &&
                           (cp < 0xD800 || cp > 0xDFFF);
        out.push_back(valid ? cp : kLoneByte + c);
        i = valid ? j : i + 1;
    }
    return out;
}

struct Token {
    enum Kind { Literal, AnyRun, AnyOne, Digit, List } kind = Literal;
    char32_t ch = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool matches(char32_t c) const
    {
        switch (kind) {
        case Literal: return c == ch;
        case AnyOne: return true;
        case Digit: return c >= U'0' && c <= U'9';
        case List: {
            bool in = false;
            for (const auto &[low, high] : ranges)
                in = in || (c >= low && c <= high);
            return in != negated;
        }
        case AnyRun: return true;
        }
        return false;
    }
};

std::optional<std::vector<Token>> compile(const std::vector<char32_t> &pattern)
{
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        Token t;
        const char32_t c = pattern[i];
        if (c == U'*') {
            t.kind = Token::AnyRun;
        } else if (c == U'?') {
            t.kind = Token::AnyOne;
        } else if (c == U'#') {
            t.kind = Token::Digit;
        } else if (c == U'[') {
            std::size_t j = i + 1;
            t.kind = Token::List;
            if (j < pattern.size() && pattern[j] == U'!') {
                t.negated = true;
                ++j;
            }
            for (; j < pattern.size() && pattern[j] != U']'; ++j) {
                if (j + 2 < pattern.size() && pattern[j + 1] == U'-' && pattern[j + 2] != U']') {
                    t.ranges.push_back({pattern[j], pattern[j + 2]});
                    j += 2;
                } else {
                    t.ranges.push_back({pattern[j], pattern[j]});
                }
            }
            if (j >= pattern.size())
                return std::nullopt;  // "[" never closed
            i = j;
        } else {
            t.ch = c;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace

bool isWildcardPattern(std::string_view pattern)
{
    return pattern.find_first_of("*?#") != std::string_view::npos;
}

bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    const auto tokens = compile(codePoints(pattern));
    if (!tokens)
        return false;
    const auto chars = codePoints(text);
    // Greedy matching with one backtrack point: the last "*" seen and where it began to match.
    std::size_t t = 0, c = 0;
    std::optional<std::size_t> star;
    std::size_t starText = 0;
    while (c < chars.size()) {
        if (t < tokens->size() && (*tokens)[t].kind == Token::AnyRun) {
            star = t++;
            starText = c;
        } else if (t < tokens->size() && (*tokens)[t].matches(chars[c])) {
            ++t;
            ++c;
        } else if (star) {
            t = *star + 1;
            c = ++starText;
        } else {
            return false;
        }
    }
    while (t < tokens->size() && (*tokens)[t].kind == Token::AnyRun)
        ++t;
    return t == tokens->size();
}

}  // namespace tabvoro::capture
