#include "capture/output/output_name.h"

#include <algorithm>

#include <sys/stat.h>

#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr std::string_view kFallbackName = "data";

// The longest file name, in bytes, the file systems the output goes to accept.
constexpr std::size_t kMaxNameBytes = 255;

bool isUnsafeInFileName(unsigned char c)
{
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case 0x7F:
        return true;
    default:
        return c < 0x20;
    }
}

std::string safeFileName(std::string_view name)
{
    std::string out(name);
    for (char &c : out)
        if (isUnsafeInFileName(static_cast<unsigned char>(c)))
            c = '_';
    // A leading "." would hide the file from the user's file manager.
    if (!out.empty() && out.front() == '.')
        out.front() = '_';
    if (out.empty())
        return std::string(kFallbackName);
    return out;
}

// Adds one to a decimal digit string of any length, so a long run of digits in a file name
// never overflows. The result has no leading zeros.
std::string incrementDecimal(std::string_view digits)
{
    const auto first = digits.find_first_not_of('0');
    std::string value = first == std::string_view::npos ? std::string() : std::string(digits.substr(first));
    std::size_t i = value.size();
    while (i > 0) {
        --i;
        if (value[i] != '9') {
            ++value[i];
            return value;
        }
        value[i] = '0';
    }
    value.insert(value.begin(), '1');
    return value;
}

// Whether a name is taken in its folder. A folder of that name is not (as the naming rule
// says); anything else is, a symbolic link above all, whether or not it leads anywhere: writing
// through it would put the capture wherever the link points.
bool nameTaken(const std::string &path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

// The first bytes of `text`, at most `limit`, never ending inside a UTF-8 character.
std::string_view cutToBytes(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

std::string outputNameFromUrl(std::string_view url)
{
    if (asciiLower(url.substr(0, 4)) != "http")
        return std::string(kFallbackName);
    // The search starts after "http://" so the scheme never contributes; for "https://" the
    // "/" at index 7 is simply passed over.
    const auto firstDot = url.find('.', 7);
    if (firstDot == std::string_view::npos)
        return std::string(kFallbackName);
    const std::string_view afterDot = url.substr(firstDot + 1);
    const auto secondDot = afterDot.find('.');
    if (secondDot == std::string_view::npos)
        return std::string(kFallbackName);
    return safeFileName(afterDot.substr(0, secondDot));
}

std::string webcbnm(std::string_view url, bool ruled, const std::string &outputFolder)
{
    return UniqueFileName(outputFolder + outputNameFromUrl(url) + (ruled ? ".txt" : ".csv"));
}

std::string UniqueFileName(const std::string &path)
{
    const std::string normalized = replaceAll(path, "\\", "/");
    const auto slash = normalized.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    auto dot = normalized.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = normalized.size();

    const std::string_view whole = normalized;
    const std::string_view folder = whole.substr(0, nameStart);
    const std::string_view extension = whole.substr(dot);
    // A name too long for the file system is cut first, so that the number continues what
    // stays of it.
    std::string_view stem = cutToBytes(whole.substr(nameStart, dot - nameStart),
                                       kMaxNameBytes - std::min(extension.size(), kMaxNameBytes));
    // A name of digits alone has no prefix to give way when its number gains a digit.
    if (!stem.empty() && stem.size() + extension.size() >= kMaxNameBytes &&
        stem.find_first_not_of("0123456789") == std::string_view::npos)
        stem.remove_suffix(1);

    auto digitsStart = stem.size();
    while (digitsStart > 0 && stem[digitsStart - 1] >= '0' && stem[digitsStart - 1] <= '9')
        --digitsStart;
    const std::string_view digits = stem.substr(digitsStart);

    std::string prefix;
    std::string number;
    if (digits.empty()) {
        prefix = stem;
        number = "1";
    } else {
        prefix = stem.substr(0, digitsStart);
        number = incrementDecimal(digits);
        // Leading zeros keep the digit count of the original ("007" continues as "008"); they
        // are fixed here once, so "009" is followed by "0010", not "010".
        if (digits.size() > number.size())
            prefix.append(digits.size() - number.size(), '0');
    }

    // A number that gains a digit may push the name past the limit again: the prefix gives way.
    const auto candidate = [&] {
        const std::size_t tail = number.size() + extension.size();
        return std::string(folder) + std::string(cutToBytes(prefix, kMaxNameBytes - std::min(tail, kMaxNameBytes))) +
               number + std::string(extension);
    };
    std::string name = candidate();
    while (nameTaken(name)) {
        number = incrementDecimal(number);
        name = candidate();
    }
    return name;
}

}  // namespace tabvoro::capture
