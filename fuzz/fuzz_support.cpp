#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace tabvoro::fuzz {

namespace {

void abortOn(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

FailureHandler g_failureHandler = abortOn;

}  // namespace

const std::vector<HarnessEntry> &harnesses()
{
    static const std::vector<HarnessEntry> all = {
        {"page_capture", pageCapture},
        {"capture_test", captureTest},
        {"ruled_text", ruledText},
        {"wildcard", wildcard},
        {"url_resolution", urlResolution},
        {"code_page", codePage},
        {"file_lines", fileLines},
        {"output_name", outputName},
    };
    return all;
}

void expect(bool condition, const char *rule)
{
    if (!condition)
        g_failureHandler(rule);
}

void setFailureHandler(FailureHandler handler) { g_failureHandler = handler ? handler : abortOn; }

std::pair<std::string_view, std::string_view> splitAtNewline(std::string_view input)
{
    const auto newline = input.find('\n');
    if (newline == std::string_view::npos)
        return {input, {}};
    return {input.substr(0, newline), input.substr(newline + 1)};
}

std::size_t textColumns(std::string_view utf8)
{
    std::size_t n = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        n += byte < 0x80 ? 1 : (byte & 0xC0) == 0xC0 ? 2 : 0;  // continuation bytes add nothing
    }
    return n;
}

}  // namespace tabvoro::fuzz
