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
            while (grid.covered(r, p))
                ++p;
            grid.cover(r, std::min(rowSpan, rows - r), p, colSpan, true);
            p += colSpan;
        }
        width = std::max({width, spans, p});
    }
    return width;
}

// Walks the matching tables of one capture into one capture text. The width is kept from one
// table to the next: a later table is walked with the largest width met so far.
class TableWalker {
public:
    TableWalker(const CaptureSettings &settings, std::string baseUrl, std::string &text)
        : m_settings(settings), m_baseUrl(std::move(baseUrl)), m_pagerText(pagerRowText(settings)),
          m_text(text)
    {
    }

    std::int64_t rowsWalked() const { return m_rowsWalked; }

    void walk(const Table &table)
    {
        const std::size_t rows = table.rowCount().value_or(0);
        // Rows walked: all but the first (unless the header is asked for) and the pager rows.
        // A row whose HTML cannot be read counts as a pager row.
        std::vector<char> walked(rows, 0);
        for (std::size_t r = m_settings.includeHeader ? 0 : 1; r < rows; ++r) {
            const auto pager = table.rowHtmlContains(r, m_pagerText);
            walked[r] = pager && !*pager;
        }
        m_width = std::max(m_width, tableWidth(table, walked));
        OccupancyGrid grid(m_width);
        for (std::size_t r = 0; r < rows; ++r)
            if (walked[r])
                walkRow(table, r, rows, grid);
    }

private:
    bool fieldListed() const { return !m_settings.fields.empty(); }

    // Whether position p gives a field. Positions past the end of the field list give an
    // (empty) field, so lines stay aligned.
    bool positionKept(std::size_t p) const
    {
        return !fieldListed() || p >= m_settings.fields.size() || m_settings.fields[p].selected;
    }

    void appendField(std::string_view value)
    {
        m_text.append(value);
        m_text.push_back(',');
    }

    void walkRow(const Table &table, std::size_t r, std::size_t rows, OccupancyGrid &grid)
    {
        const std::size_t rowStart = m_text.size();
        const std::size_t cells = table.cellCount(r).value_or(0);
        std::size_t c = 0;
        for (std::size_t p = 0; p < m_width || c < cells; ++p) {
            if (grid.covered(r, p)) {
                m_text.push_back(',');
                continue;
            }
            if (c >= cells) {
                // A short row: one empty field for each position after its last cell.
                if (positionKept(p))
                    m_text.push_back(',');
                continue;
            }
            appendCell(table, r, c, p);
            const auto rowSpan = static_cast<std::size_t>(spanOrOne(table.cellRowSpan(r, c)));
            const auto colSpan = static_cast<std::size_t>(spanOrOne(table.cellColSpan(r, c)));
            grid.cover(r, std::min(rowSpan, rows - r), p, colSpan);
            for (std::size_t k = 1; k < colSpan; ++k)
                if (positionKept(p + k))
                    m_text.push_back(',');
            p += colSpan - 1;
            ++c;
        }
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
        if (value.empty() && r == 0 && !trimSpaces(field.name).empty())
            value = field.name;
        appendField(value);
    }

    const CaptureSettings &m_settings;
    const std::string m_baseUrl;
    const std::string m_pagerText;
    std::string &m_text;
    std::size_t m_width = 0;
    std::int64_t m_rowsWalked = 0;
};

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
    const double number = leadingNumber(frameText);
    if (number < 0)
        return failure("no frame " + frameText);
    auto frame = page.frame(static_cast<std::size_t>(number));
    if (!frame)
        return std::unexpected(frame.error());
    if (!frame->document)
        return failure("frame " + frameText + " has no document");
    return frame->document;
}

CaptureOutcome CaptureTable(const Document &page, const CaptureSettings &settings,
                            CaptureSession &session)
{
    std::string text;
    std::int64_t rowsWalked = 0;
    if (const auto document = targetDocument(page, settings.inFrame, settings.frameText)) {
        const Document &doc = **document;
        TableWalker walker(settings, doc.baseUrl().value_or(std::string()), text);
        const std::size_t tables = doc.tableCount().value_or(0);
        for (std::size_t i = 0; i < tables; ++i) {
            const auto table = doc.table(i);
            if (table && *table && tableMatches(**table, i, settings))
                walker.walk(**table);
        }
        rowsWalked = walker.rowsWalked();
    }

    if (text == session.lastCapture) {
        session.recordCount = 0;
        return {};
    }
    session.recordCount = rowsWalked;
    session.lastCapture = text;
    session.captureCount += 1;
    session.recordTotal += rowsWalked;
    session.statusText = "本次已采集表格数:" + std::to_string(session.captureCount) + "个,记录:" +
                         std::to_string(session.recordTotal) + "条";
    return {true, collapseBlankLines(std::move(text)), session.statusText};
}

}  // namespace tabvoro::capture
