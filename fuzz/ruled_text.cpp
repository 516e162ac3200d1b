// Ruled text of any text: drawn or handed back as it was, and when drawn, every line of the
// table as wide as every other in columns (an ASCII character one, any other two, as a
// double-byte code page shows them), the only way its columns line up.

#include "fuzz_support.h"

#include "capture/output/code_page.h"
#include "capture/output/ruled_text.h"

namespace tabvoro::fuzz {

using namespace capture;

namespace {

bool hasLoneLineBreak(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return true;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return true;
    }
    return false;
}

}  // namespace

void ruledText(std::string_view input)
{
    if (input.empty())
        return;
    const char *const codePages[] = {"GB18030", "UTF-8", "GBK"};
    const auto choice = static_cast<unsigned char>(input.front());
    const std::string codePage = codePages[choice % 3];
    const std::string_view separator = choice & 4 ? "\t" : ",";
    const std::string_view text = input.substr(1);

    CodePageWidths widths(codePage);
    const auto ruled = MakeRuledText(text, separator, widths, std::size_t{1} << 24);
    if (!ruled || *ruled == text || codePage != "GB18030" || !isValidUtf8(text) || hasLoneLineBreak(text))
        return;
    // A character the code page's converter lacks (some private-use ones) is written as a
    // reference and lines up by the reference's width, which the count below does not know.
    if (widths.width(text) != textColumns(text))
        return;
    // GB18030 holds every character, so none is written as a reference of other columns.
    expect(encodeText(*ruled, codePage).has_value(), "GB18030 encodes every text");
    const std::string_view lines = *ruled;
    std::size_t width = std::string::npos;
    for (std::size_t start = 0; start < lines.size();) {
        const auto end = lines.find("\r\n", start);
        expect(end != std::string::npos, "every ruled line ends in CR LF");
        if (end == std::string::npos)
            return;
        const std::size_t lineWidth = textColumns(lines.substr(start, end - start));
        if (width == std::string::npos)
            width = lineWidth;
        expect(lineWidth == width, "every ruled line is as wide as the first");
        start = end + 2;
    }
}

}  // namespace tabvoro::fuzz
