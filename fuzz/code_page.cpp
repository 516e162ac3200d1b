// Code-page conversion of any bytes, both ways, and a saved page's decoding.

#include "fuzz_support.h"

#include "capture/document/html_charset.h"
#include "capture/output/code_page.h"

namespace tabvoro::fuzz {

using namespace capture;

void codePage(std::string_view input)
{
    for (const char *codePage : {"GB18030", "GBK", "BIG5", "WINDOWS-1252", "UTF-8"}) {
        const auto decoded = decodeText(input, codePage);
        expect(decoded.has_value(), "the code pages are known");
        if (!decoded)
            continue;
        expect(isValidUtf8(*decoded), "decoded text is valid UTF-8");
        const auto encoded = encodeText(*decoded, codePage);
        expect(encoded.has_value(), "decoded text encodes again");
        // Where no character takes more than two bytes, a width is the encoded size; GB18030 and
        // UTF-8 count any character outside ASCII as two, whatever its bytes.
        CodePageWidths widths(codePage);
        const bool wide = std::string_view(codePage) == "GB18030" || std::string_view(codePage) == "UTF-8";
        if (encoded)
            expect(widths.width(*decoded) == (wide ? textColumns(*decoded) : encoded->bytes.size()),
                   "a width is the encoded size, or two columns a character outside ASCII");
    }
    if (isValidUtf8(input)) {
        // GB18030 holds every character: UTF-8 comes back from it as it went in.
        const auto encoded = encodeText(input, "GB18030");
        expect(encoded && encoded->substituted == 0, "GB18030 encodes every character");
        if (encoded) {
            const auto back = decodeText(encoded->bytes, "GB18030");
            expect(back && *back == input, "GB18030 gives back what it was given");
        }
    }
    expect(isValidUtf8(html::pageTextAsUtf8(std::string(input))), "a page's text is valid UTF-8");
    html::decoderName(html::declaredCharset(input));
}

}  // namespace tabvoro::fuzz
