#include "capture/output/output_name.h"

#include <filesystem>
#include <system_error>

#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr std::string_view kFallbackName = "data";

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

bool isOrdinaryFile(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
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
    const std::string_view stem = whole.substr(nameStart, dot - nameStart);
    const std::string_view extension = whole.substr(dot);

    auto digitsStart = stem.size();
    while (digitsStart > 0 && stem[digitsStart - 1] >= '0' && stem[digitsStart - 1] <= '9')
        --digitsStart;
    const std::string_view digits = stem.substr(digitsStart);

    std::string base(folder);
    std::string number;
    if (digits.empty()) {
        base += stem;
        number = "1";
    } else {
        base += stem.substr(0, digitsStart);
        number = incrementDecimal(digits);
        // Leading zeros keep the digit count of the original ("007" continues as "008"); they
        // are fixed here once, so "009" is followed by "0010", not "010".
        if (digits.size() > number.size())
            base.append(digits.size() - number.size(), '0');
    }

    std::string candidate = base + number + std::string(extension);
    while (isOrdinaryFile(candidate)) {
        number = incrementDecimal(number);
        candidate = base + number + std::string(extension);
    }
    return candidate;
}

}  // namespace tabvoro::capture
