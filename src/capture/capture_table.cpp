#include "capture/capture_table.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "capture/occupancy_grid.h"
#include "capture/text_rules.h"
#include "capture/document/url.h"

namespace tabvoro::capture {

namespace {

constexpr std::string_view kFullWidthComma = "，";

int spanOrOne(const Read<int> &span) { return span && *span > 1 ? *span : 1; }

bool tableMatches(const Table &table, std::size_t position, const CaptureSettings &settings)
{
    if (!settings.keywordMode)
        return false;
    switch (*settings.keywordMode) {
    case KeywordMode::FirstRowPrefix: {
        const auto starts = table.textStartsWith(settings.keyword);
        return starts && *starts;
    }
    case KeywordMode::CommonText: {
        const auto text = table.text();
        return text && text->find(settings.keyword) != std::string::npos;
    }
    case KeywordMode::Position:
        return leadingNumber(settings.keyword) - 1 == static_cast<double>(position);
    }
    return false;
}

// The width a table is walked with. Each row counts the column spans of its cells; a walked
// row is also laid out with the row spans of the walked rows above it, which may push its cells
// further right than its own spans reach: counting spans alone would cut off its last cells.
std::size_t tableWidth(const Table &table, const std::vector<char> &walked)
{
    const std::size_t rows = walked.size();
    OccupancyGrid grid;
    std::size_t width = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t cells = table.cellCount(r).value_or(0);
        std::size_t spans = 0;
        std::size_t p = 0;
        for (std::size_t c = 0; c < cells; ++c) {
            const auto rowSpan = static_cast<std::size_t>(spanOrOne(table.cellRowSpan(r, c)));
            const auto colSpan = static_cast<std::size_t>(spanOrOne(table.cellColSpan(r, c)));
            spans += colSpan;
            if (!walked[r])
                continue;
            p = grid.freeFrom(r, p);
            grid.cover(r, std::min(rowSpan, rows - r), p, colSpan);
            p += colSpan;
        }
        width = std::max({width, spans, p});
    }
    return width;
}

// Walks the matching tables of one capture into one capture text. The width is kept from one
// table to the next: a later table is walked with the largest width met so far. A text that
// would grow past `maxBytes` is not built: the walk stops and says so.
class TableWalker {
public:
    TableWalker(const CaptureSettings &settings, std::string baseUrl, std::string &text, std::size_t maxBytes)
        : m_settings(settings), m_baseUrl(std::move(baseUrl)), m_pagerText(pagerRowText(settings)),
          m_text(text), m_maxBytes(maxBytes)
    {
        m_keptBefore.reserve(settings.fields.size() + 1);
        m_keptBefore.push_back(0);
        for (const Field &field : settings.fields)
            m_keptBefore.push_back(m_keptBefore.back() + (field.selected ? 1 : 0));
    }

    std::int64_t rowsWalked() const { return m_rowsWalked; }
    bool tooLarge() const { return m_tooLarge; }

    void walk(const Table &table)
    {
        if (m_tooLarge)
            return;
        const std::size_t rows = table.rowCount().value_or(0);
        // Rows walked: all but the first (unless the header is asked for) and the pager rows.
        // A record list has no header: its first row is a record. A row whose HTML cannot be
        // read counts as a pager row.
        std::vector<char> walked(rows, 0);
        std::size_t walkedRows = 0;
        for (std::size_t r = m_settings.includeHeader || table.isRecordList() ? 0 : 1; r < rows; ++r) {
            const auto pager = table.rowHtmlContains(r, m_pagerText);
            walked[r] = pager && !*pager;
            walkedRows += walked[r];
        }
        m_width = std::max(m_width, tableWidth(table, walked));
        // Every kept position of a walked row gives at least one byte: a table whose width
        // alone passes the limit is refused before a byte of it is built.
        const std::size_t perRow = keptBetween(0, m_width);
        if (perRow > 0 && walkedRows > (m_maxBytes - std::min(m_text.size(), m_maxBytes)) / perRow) {
            m_tooLarge = true;
            return;
        }
        OccupancyGrid grid;
        for (std::size_t r = 0; r < rows && !m_tooLarge; ++r)
            if (walked[r])
                walkRow(table, r, rows, grid);
    }

private:
    bool fieldListed() const { return !m_settings.fields.empty(); }

    // How many of the positions first..end-1 give a field. Positions past the end of the field
    // list give an (empty) field, so lines stay aligned.
    std::size_t keptBetween(std::size_t first, std::size_t end) const
    {
        if (first >= end)
            return 0;
        if (!fieldListed())
            return end - first;
        const std::size_t listed = m_settings.fields.size();
        const auto keptBefore = [&](std::size_t p) { return p >= listed ? m_keptBefore[listed] + (p - listed) : m_keptBefore[p]; };
        return keptBefore(end) - keptBefore(first);
    }

    bool roomFor(std::size_t bytes)
    {
        if (bytes > m_maxBytes - std::min(m_text.size(), m_maxBytes))
            m_tooLarge = true;
        return !m_tooLarge;
    }

    // `count` empty fields.
    void appendEmpty(std::size_t count)
    {
        if (roomFor(count))
            m_text.append(count, ',');
    }

    void appendField(std::string_view value)
    {
        if (!roomFor(value.size() + 1))
            return;
        m_text.append(value);
        m_text.push_back(',');
    }

    void walkRow(const Table &table, std::size_t r, std::size_t rows, OccupancyGrid &grid)
    {
        const std::size_t rowStart = m_text.size();
        const std::size_t cells = table.cellCount(r).value_or(0);
        std::size_t c = 0;
        for (std::size_t p = 0; (p < m_width || c < cells) && !m_tooLarge;) {
            // A run of positions taken by cells above: one empty field each, kept or not.
            if (const std::size_t free = grid.freeFrom(r, p); free > p) {
                appendEmpty(free - p);
                p = free;
                continue;
            }
            if (c >= cells) {
                // A short row: one empty field for each kept position up to the next taken one.
                const std::size_t taken = grid.coveredFrom(r, p, m_width);
                appendEmpty(keptBetween(p, taken));
                p = taken;
                continue;
            }
            appendCell(table, r, c, p);
            const auto rowSpan = static_cast<std::size_t>(spanOrOne(table.cellRowSpan(r, c)));
            const auto colSpan = static_cast<std::size_t>(spanOrOne(table.cellColSpan(r, c)));
            grid.cover(r, std::min(rowSpan, rows - r), p, colSpan);
            appendEmpty(keptBetween(p + 1, p + colSpan));
            p += colSpan;
            ++c;
        }
        // The line end: the last "," becomes CR and LF follows; an empty line is both.
        if (m_tooLarge || !roomFor(m_text.size() > rowStart ? 1 : 2))
            return;
        if (m_text.size() > rowStart) {
            m_text.back() = '\r';  // the "," after the row's last field
            m_text.push_back('\n');
        } else if (!m_text.empty()) {
            // A row that gave no field is an empty line, removed with the other blank lines;
            // it must not eat the line end of the row before it.
            m_text.append(kCrLf);
        }
        ++m_rowsWalked;
    }

    void appendCell(const Table &table, std::size_t r, std::size_t c, std::size_t p)
    {
        if (!fieldListed() || p >= m_settings.fields.size()) {
            appendField(fieldListed() ? std::string() :
                                        cellValue(table, r, c, m_settings.includeLinks, m_baseUrl));
            return;
        }
        const Field &field = m_settings.fields[p];
        if (!field.selected)
            return;
        std::string value = cellValue(table, r, c, m_settings.includeLinks, m_baseUrl);
        // A header cell left blank on the page takes the field's name.
        if (value.empty() && r == 0 && !table.isRecordList() && !trimSpaces(field.name).empty())
            value = field.name;
        appendField(value);
    }

    const CaptureSettings &m_settings;
    const std::string m_baseUrl;
    const std::string m_pagerText;
    std::string &m_text;
    const std::size_t m_maxBytes;
    // m_keptBefore[p]: how many of the listed positions before p are selected.
    std::vector<std::size_t> m_keptBefore;
    std::size_t m_width = 0;
    std::int64_t m_rowsWalked = 0;
    bool m_tooLarge = false;
};

std::int64_t lineCount(std::string_view text)
{
    std::int64_t lines = 0;
    for (std::size_t at = text.find(kCrLf); at != std::string_view::npos; at = text.find(kCrLf, at + 2))
        ++lines;
    return lines;
}

// What of a capture text is written: on the document of the last kept capture, when its table
// has grown with the rows captured before still in place (a "more" button, a scroll), only the
// rows after them; and with unique rows, none that was written before. `rows` goes down by the
// rows left out.
std::string keptRows(std::string_view text, const std::string &identity, bool unique, CaptureSession &session,
                     std::int64_t &rows)
{
    if (!identity.empty() && identity == session.lastDocument && !session.lastCapture.empty() &&
        text.starts_with(session.lastCapture)) {
        rows = std::max<std::int64_t>(0, rows - lineCount(session.lastCapture));
        text.remove_prefix(session.lastCapture.size());
    }
    if (!unique)
        return std::string(text);
    std::string kept;
    kept.reserve(text.size());
    while (!text.empty()) {
        const std::size_t end = text.find(kCrLf);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 2;
        const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end);
        // A blank line is not a row: it goes with the other blank lines.
        if (rowKey(line).empty() || session.writtenRows.insert(line))
            kept.append(text.substr(0, next));
        else
            --rows;
        text.remove_prefix(next);
    }
    return kept;
}

std::string textValue(const Table &table, std::size_t row, std::size_t cell, bool numericCommas)
{
    const auto text = table.cellText(row, cell);
    if (!text)
        return {};
    std::string value = removeCrLf(trimSpaces(*text));
    if (value.find(',') == std::string::npos)
        return value;
    if (numericCommas && isNumericText(value))
        return replaceAll(value, ",", "");
    return replaceAll(value, ",", kFullWidthComma);
}

}  // namespace

std::string cellValue(const Table &table, std::size_t row, std::size_t cell, bool links,
                      const std::string &baseUrl)
{
    if (!links)
        return textValue(table, row, cell, true);
    const auto html = table.cellInnerHtml(row, cell);
    const auto href = html ? html->find("href") : std::string::npos;
    if (href == std::string::npos)
        return textValue(table, row, cell, false);
    // The address stands just after `href="` and runs to the next double quote.
    const std::size_t start = std::min(href + 6, html->size());
    const std::size_t end = std::min(html->find('"', start), html->size());
    const std::string address = decodeCharacterReferences(std::string_view(*html).substr(start, end - start));
    if (address.starts_with("http"))
        return std::string(trimSpaces(address));
    // A relative link is still a link: give the address the page resolves it to.
    if (auto absolute = resolveUrl(baseUrl, address))
        return *absolute;
    return std::string(trimSpaces(address));
}

std::string collapseBlankLines(std::string text)
{
    // Runs of consecutive CR LF pairs evolve independently under repeated replacement: each
    // pass turns a run of k pairs into ceil(k/2). The passes go on while a run of two or more
    // stands anywhere but at the very start, or the run at the start holds three or more; so
    // every other run ends as one line end and the run at the start keeps what the passes
    // leave of it.
    auto runLength = [&](std::size_t at) {
        std::size_t k = 0;
        while (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n') {
            ++k;
            at += 2;
        }
        return k;
    };
    const std::size_t startRun = runLength(0);
    std::size_t longestOther = 0;
    for (std::size_t i = startRun * 2; i < text.size();) {
        const std::size_t k = runLength(i);
        longestOther = std::max(longestOther, k);
        i += k > 0 ? 2 * k : 1;
    }
    std::size_t keptAtStart = startRun;
    while (longestOther >= 2 || keptAtStart >= 3) {
        longestOther = (longestOther + 1) / 2;
        keptAtStart = (keptAtStart + 1) / 2;
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < keptAtStart; ++k)
        out.append(kCrLf);
    for (std::size_t i = startRun * 2; i < text.size();) {
        const std::size_t k = runLength(i);
        if (k > 0) {
            out.append(kCrLf);
            i += 2 * k;
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

Read<const Document *> targetDocument(const Document &page, bool inFrame,
                                      const std::string &frameText)
{
    if (!inFrame)
        return &page;
    const auto index = indexFromNumber(leadingNumber(frameText));
    if (!index)
        return failure("no frame " + frameText);
    auto frame = page.frame(*index);
    if (!frame)
        return std::unexpected(frame.error());
    if (!frame->document)
        return failure("frame " + frameText + " has no document");
    return frame->document;
}

bool hasMatchingTable(const Document &page, const CaptureSettings &settings)
{
    const auto document = targetDocument(page, settings.inFrame, settings.frameText);
    if (!document)
        return false;
    const Document &doc = **document;
    const std::size_t tables = doc.tableCount().value_or(0);
    for (std::size_t i = 0; i < tables; ++i) {
        const auto table = doc.table(i);
        if (table && *table && tableMatches(**table, i, settings) && (*table)->rowCount().value_or(0) > 0)
            return true;
    }
    return false;
}

CaptureOutcome CaptureTable(const Document &page, const CaptureSettings &settings,
                            CaptureSession &session, std::size_t maxTextBytes)
{
    std::string text;
    std::int64_t rowsWalked = 0;
    if (const auto document = targetDocument(page, settings.inFrame, settings.frameText)) {
        const Document &doc = **document;
        TableWalker walker(settings, doc.baseUrl().value_or(std::string()), text, maxTextBytes);
        const std::size_t tables = doc.tableCount().value_or(0);
        const std::size_t htmlTables = std::min(tables, doc.htmlTableCount().value_or(tables));
        bool matched = false;
        auto walkMatching = [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to && !walker.tooLarge(); ++i) {
                const auto table = doc.table(i);
                if (table && *table && tableMatches(**table, i, settings)) {
                    matched = true;
                    walker.walk(**table);
                }
            }
        };
        // A keyword that matches a <table> captures what it captured before grids were tables:
        // the grids are looked at only when no <table> matches. A position counts on past them.
        const bool byPosition = settings.keywordMode == KeywordMode::Position;
        walkMatching(0, byPosition ? tables : htmlTables);
        if (!byPosition && !matched)
            walkMatching(htmlTables, tables);
        if (walker.tooLarge()) {
            // Nothing of it is kept: the repeat check and the tally stay as they were.
            session.recordCount = 0;
            session.statusText = tooLargeMessage(maxTextBytes);
            return {false, {}, {}, session.statusText};
        }
        rowsWalked = walker.rowsWalked();
    }

    if (text == session.lastCapture) {
        session.recordCount = 0;
        return {};
    }
    std::string kept = keptRows(text, page.identity(), settings.uniqueRows, session, rowsWalked);
    session.recordCount = rowsWalked;
    session.lastCapture = std::move(text);
    session.lastDocument = page.identity();
    session.captureCount += 1;
    session.recordTotal += rowsWalked;
    session.statusText = "本次已采集表格数:" + std::to_string(session.captureCount) + "个,记录:" +
                         std::to_string(session.recordTotal) + "条";
    return {true, collapseBlankLines(std::move(kept)), session.statusText, {}};
}

}  // namespace tabvoro::capture
