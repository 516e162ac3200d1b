#pragma once

// What the harnesses share: the list of them, a reader that takes settings from the input's
// bytes, and the check a harness makes of the engine's own rules.
//
// Each harness is a plain function, so that the fuzzer (one program per harness) and the
// regression test (all of them in one program) run the same code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabvoro::fuzz {

using Harness = void (*)(std::string_view input);

struct HarnessEntry {
    const char *name;  // as fuzz/CMakeLists.txt names its program, fuzz_NAME
    Harness run;
};

const std::vector<HarnessEntry> &harnesses();

void pageCapture(std::string_view input);
void captureTest(std::string_view input);
void ruledText(std::string_view input);
void wildcard(std::string_view input);
void urlResolution(std::string_view input);
void codePage(std::string_view input);
void fileLines(std::string_view input);
void outputName(std::string_view input);

// Columns of valid UTF-8 text as a double-byte code page shows it: an ASCII character one, any
// other two.
std::size_t textColumns(std::string_view utf8);

// A rule of the engine that the input broke. The fuzzer stops there and keeps the input; the
// regression test reports it as a failure.
void expect(bool condition, const char *rule);
using FailureHandler = void (*)(const char *rule);
void setFailureHandler(FailureHandler handler);

// Reads settings from the end of an input, so that a seed page stays a page from its first
// byte: the bytes at the end of a page are the least likely to matter to it.
class TailReader {
public:
    explicit TailReader(std::string_view input) : m_input(input), m_at(input.size()) {}

    std::uint8_t byte()
    {
        if (m_at == 0)
            return 0;
        return static_cast<std::uint8_t>(m_input[--m_at]);
    }
    bool flag() { return (byte() & 1) != 0; }
    // A piece of the input chosen by the next bytes, at most `most` bytes long.
    std::string_view slice(std::size_t most)
    {
        if (m_input.empty())
            return {};
        const std::size_t start = (std::size_t{byte()} << 8 | byte()) % m_input.size();
        return m_input.substr(start, byte() % (most + 1));
    }

private:
    std::string_view m_input;
    std::size_t m_at;
};

// The input cut at its first "\n" into two texts (the second empty when there is none).
std::pair<std::string_view, std::string_view> splitAtNewline(std::string_view input);

}  // namespace tabvoro::fuzz
