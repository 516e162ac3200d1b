// A page's bytes, decoded as a saved page is, parsed into a static document and captured with
// settings taken from the input; a kept capture is then drawn as ruled text and encoded.

#include "fuzz_support.h"

#include "capture/capture_table.h"
#include "capture/row_marks.h"
#include "capture/document/html_charset.h"
#include "capture/document/static_document.h"
#include "capture/output/code_page.h"
#include "capture/output/ruled_text.h"

namespace tabvoro::fuzz {

namespace {

using namespace capture;

constexpr const char *kPageUrl = "http://www.fuzz.example/list/page.htm";
// Small enough that a page of spans asking for gigabytes is refused at once.
constexpr std::size_t kMaxText = std::size_t{1} << 22;

CaptureSettings settingsFrom(TailReader &tail)
{
    CaptureSettings settings;
    settings.url = kPageUrl;
    const std::uint8_t mode = tail.byte();
    if (mode % 4 == 3)
        settings.keywordMode = std::nullopt;
    else
        settings.keywordMode = static_cast<KeywordMode>(mode % 4);
    if (mode & 4)
        settings.keyword = tail.slice(12);
    else if (mode & 8)
        settings.keyword = std::to_string(tail.byte() % 8);
    settings.includeHeader = tail.flag();
    settings.includeLinks = tail.flag();
    settings.inFrame = tail.flag();
    settings.frameText = tail.flag() ? std::string(tail.slice(4)) : std::to_string(tail.byte() % 4);
    if (tail.flag())
        settings.nextPageText = tail.slice(8);
    for (int n = tail.byte() % 6; n > 0; --n)
        settings.fields.push_back({std::string(tail.slice(4)), tail.flag()});
    settings.uniqueRows = tail.flag();
    return settings;
}

}  // namespace

void pageCapture(std::string_view input)
{
    TailReader tail(input);
    const CaptureSettings settings = settingsFrom(tail);
    const std::string html = html::pageTextAsUtf8(std::string(input));
    // Every frame is the page itself: frames of frames, down to the depth limit.
    auto document = StaticDocument::parse(html, kPageUrl, [&html](const std::string &) -> Result<std::string> { return html; });

    // A record list holds three records or more, each with a cell in every one of its columns,
    // and never more columns than the limit of 128.
    for (std::size_t t = 0, tables = document->tableCount().value_or(0); t < tables; ++t) {
        const auto table = document->table(t);
        if (!table || !(*table)->isRecordList())
            continue;
        const std::size_t rows = (*table)->rowCount().value_or(0);
        expect(rows >= 3, "a record list holds three records or more");
        const std::size_t width = (*table)->cellCount(0).value_or(0);
        expect(width <= 128, "a record list has at most 128 columns");
        for (std::size_t r = 1; r < rows; ++r)
            expect((*table)->cellCount(r).value_or(0) == width, "every record has a cell in every column");
    }

    CaptureSession session;
    const auto outcome = CaptureTable(*document, settings, session, kMaxText);
    expect(outcome.text.size() <= kMaxText, "a capture stays within its limit");
    expect(outcome.kept || outcome.text.empty(), "a capture not kept gives no text");
    expect(outcome.error.empty() || !outcome.kept, "a refused capture is not kept");
    if (!outcome.kept)
        return;
    expect(outcome.text.empty() || outcome.text.ends_with("\r\n"), "a capture ends in CR LF");
    if (settings.uniqueRows) {
        // No row is written twice: the marks of the rows written take none of them again.
        RowMarks written;
        for (std::string_view rest = outcome.text; !rest.empty();) {
            const std::size_t end = std::min(rest.find("\r\n"), rest.size());
            const std::string_view line = rest.substr(0, end);
            expect(rowKey(line).empty() || written.insert(line), "with unique rows no row repeats");
            rest.remove_prefix(std::min(end + 2, rest.size()));
        }
    }
    // The same page again repeats the capture kept last.
    expect(!CaptureTable(*document, settings, session, kMaxText).kept, "a repeated capture is dropped");

    CodePageWidths widths("GB18030");
    const auto ruled = MakeRuledText(outcome.text, ",", widths, 8 * kMaxText);
    if (ruled)
        expect(encodeText(*ruled, "GB18030").has_value(), "GB18030 encodes every text");
}

}  // namespace tabvoro::fuzz
