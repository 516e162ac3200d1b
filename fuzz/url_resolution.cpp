// Address resolution: a base line, then a reference; and character references of a text.

#include "fuzz_support.h"

#include "capture/document/url.h"
#include "capture/output/code_page.h"

namespace tabvoro::fuzz {

void urlResolution(std::string_view input)
{
    const auto [base, reference] = splitAtNewline(input);
    if (const auto resolved = capture::resolveUrl(base, reference)) {
        expect(!resolved->empty(), "a resolved address is not empty");
        capture::resolveUrl(*resolved, "");
        capture::resolveUrl(*resolved, "../x?y#z");
    }
    const std::string decoded = capture::decodeCharacterReferences(input);
    if (capture::isValidUtf8(input))
        expect(capture::isValidUtf8(decoded), "decoded references are valid UTF-8");
}

}  // namespace tabvoro::fuzz
