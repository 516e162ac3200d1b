#include "capture/table_listing.h"

#include <algorithm>

#include "capture/capture_table.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr const char *kFramePageHeading =
    "    当前网页是框架网页,各框架序号、名称、部分内容如下，请根据实际情况设置采集参数：";
constexpr const char *kNoTable = "     当前页面没有表格!   ";

std::vector<std::string> splitAtCommas(const std::string &text)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return pieces;
        start = comma + 1;
    }
}

// Appends the survey block of frame `index`; false when the frame stops the survey.
bool surveyFrame(const Document &page, std::size_t index, std::string &survey, CaptureTestResult &result)
{
    const auto frame = page.frame(index);
    if (!frame || !frame->document)
        return false;
    const auto body = frame->document->bodyText();
    if (!body)
        return false;
    const std::string &text = *body;
    survey += std::to_string(index) + "、" + frame->name + std::string(kCrLf);
    survey += std::string(utf8Prefix(text, 100)) + "......" + std::string(kCrLf) + std::string(kCrLf);
    if (utf8Length(text) > 2) {
        if (text.find(kNextPageWord) != std::string::npos)
            result.nextPageWordFound = true;
        const auto tables = frame->document->tableCount();
        if (!tables)
            return false;
        if (*tables == 0) {
            survey += "此框架不含表 " + std::string(kCrLf);
        } else {
            result.frameText = std::to_string(index);
            survey += "此框架含有 " + std::to_string(*tables) + " 个表" + std::string(kCrLf);
        }
    } else {
        survey += "此框架没有内容没有表 " + std::string(kCrLf);
    }
    survey += std::string(50, '*') + std::string(kCrLf) + std::string(kCrLf);
    return true;
}

}  // namespace

std::string tableSignature(const Table &table, bool startUp)
{
    std::string signature;
    if (table.rowCount().value_or(0) == 0)
        return signature;
    const std::size_t cells = table.cellCount(0).value_or(0);
    for (std::size_t c = 0; c < cells; ++c) {
        const auto text = table.cellText(0, c);
        const std::string_view trimmed = text ? trimSpaces(*text) : std::string_view();
        signature += startUp ? removeCrLf(trimmed) : std::string(trimmed);
        const int span = table.cellColSpan(0, c).value_or(1);
        signature.append(static_cast<std::size_t>(span > 1 ? span : 1), ',');
    }
    return signature;
}

std::string entryText(const TableEntry &entry) { return std::to_string(entry.number) + "--" + entry.signature; }

namespace {

TableChoice choiceOf(const std::string &signature)
{
    const auto pieces = splitAtCommas(signature);
    TableChoice choice;
    choice.fields.assign(pieces.begin(), pieces.end() - 1);
    if (choice.fields.size() > 3)
        choice.keyword = choice.fields[0] + choice.fields[1] + choice.fields[2];
    else
        choice.keyword = pieces.front();
    return choice;
}

}  // namespace

TableChoice chooseTable(const TableEntry &entry)
{
    // The row's text beyond its number: the number and its "--" are all up to "9", so the
    // signature from its first character beyond "9".
    const std::string &signature = entry.signature;
    const auto beyondNine = std::find_if(signature.begin(), signature.end(),
                                         [](unsigned char c) { return c > '9'; });
    if (beyondNine != signature.end())
        return choiceOf(std::string(beyondNine, signature.end()));
    // A first row of numbers ("2014,2015,2016,") stands for its own fields: the whole row text
    // would match no table. Only where that gives a keyword: an empty one matches every table.
    TableChoice choice = choiceOf(signature);
    if (!choice.keyword.empty())
        return choice;
    return choiceOf(entryText(entry));
}

std::optional<std::string> tablePreview(const Document &document, const std::string &keyword)
{
    const std::size_t count = document.tableCount().value_or(0);
    const std::size_t htmlTables = std::min(count, document.htmlTableCount().value_or(count));
    // As the capture chooses: a grid only when no <table> holds the keyword.
    auto lastHolding = [&](std::size_t from, std::size_t to) {
        std::optional<std::string> preview;
        for (std::size_t i = from; i < to; ++i) {
            const auto table = document.table(i);
            if (!table || !*table)
                continue;
            auto text = (*table)->text();
            if (text && text->find(keyword) != std::string::npos)
                preview = std::move(*text);
        }
        return preview;
    };
    if (auto preview = lastHolding(0, htmlTables))
        return preview;
    return lastHolding(htmlTables, count);
}

TableListing listPageTables(const Document &document)
{
    TableListing listing;
    std::size_t bestLength = 0;
    int best = 0;
    const std::size_t count = document.tableCount().value_or(0);
    for (std::size_t n = 0; n < count; ++n) {
        const auto table = document.table(n);
        std::string signature;
        if (table && *table) {
            const std::size_t length = (*table)->textLength().value_or(0);
            if (length > bestLength) {
                bestLength = length;
                best = static_cast<int>(n);
            }
            signature = tableSignature(**table);
        }
        listing.entries.push_back({n + 1, std::move(signature)});
    }
    if (!listing.entries.empty())
        listing.chosen = best;
    return listing;
}

CaptureTestResult captureTest(const Document &page, bool inFrame, const std::string &frameText)
{
    CaptureTestResult result;
    const auto target = targetDocument(page, inFrame, frameText);
    std::string body = target ? (*target)->bodyText().value_or(std::string()) : std::string();
    result.nextPageWordFound = body.find(kNextPageWord) != std::string::npos;
    if (!body.empty()) {
        const std::size_t tables = (*target)->tableCount().value_or(0);
        result.text = body + std::string(kCrLf);
        if (tables >= 1)
            result.text += "此页面含有 " + std::to_string(tables) + " 个表" + std::string(kCrLf);
        return result;
    }
    // No text: a frameset (or a blank page). Survey the frames of the page itself.
    std::string survey;
    std::size_t index = 0;
    while (surveyFrame(page, index, survey, result))
        ++index;
    if (index == 0) {
        result.text = kNoTable;
    } else {
        result.text = std::string(kCrLf) + kFramePageHeading + std::string(kCrLf) + std::string(kCrLf) + survey;
        result.tickFrameBox = true;
    }
    return result;
}

std::size_t countFrames(const Document &page)
{
    std::size_t count = 0;
    while (page.frame(count))
        ++count;
    return count;
}

}  // namespace tabvoro::capture
