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
    // A table read on from rows read before is the one the last capture matched, unchanged up
    // to there; a growth point is only left where those rows decide the match (growthPoint).
    if (table.rowsBefore() > 0)
        return true;
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
    std::size_t width() const { return m_width; }
    // A walk that goes on from lines built before is built as wide as they are.
    void setWidth(std::size_t width) { m_width = width; }

    // Rows walked: all but the first (unless the header is asked for) and the pager rows. A
    // record list has no header: its first row is a record; nor has a table read on from rows
    // read before. A row whose HTML cannot be read counts as a pager row.
    std::vector<char> walkedRows(const Table &table) const
    {
        const std::size_t rows = table.rowCount().value_or(0);
        std::vector<char> walked(rows, 0);
        const bool header = !m_settings.includeHeader && !table.isRecordList() && table.rowsBefore() == 0;
        for (std::size_t r = header ? 1 : 0; r < rows; ++r) {
            const auto pager = table.rowHtmlContains(r, m_pagerText);
            walked[r] = pager && !*pager;
        }
        return walked;
    }

    void walk(const Table &table)
    {
        if (m_tooLarge)
            return;
        const std::size_t rows = table.rowCount().value_or(0);
        const std::vector<char> walked = walkedRows(table);
        const auto walkedRows = static_cast<std::size_t>(std::count(walked.begin(), walked.end(), 1));
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
        if (value.empty() && r == 0 && !table.isRecordList() && table.rowsBefore() == 0 &&
            !trimSpaces(field.name).empty())
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
// rows after them (`grown`: the text holds only those already); and with unique rows, none
// that was written before. `rows` goes down by the rows left out.
std::string keptRows(std::string_view text, const std::string &identity, bool unique, bool grown,
                     CaptureSession &session, std::int64_t &rows)
{
    if (!grown && !identity.empty() && identity == session.lastDocument && !session.lastCapture.empty() &&
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

bool sameFields(const std::vector<Field> &a, const std::vector<Field> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Field &x, const Field &y) {
        return x.name == y.name && x.selected == y.selected;
    });
}

// Whether two settings pick and walk tables alike, so that lines built with one go on with the
// other.
bool walksAlike(const CaptureSettings &a, const CaptureSettings &b)
{
    return a.keyword == b.keyword && a.keywordMode == b.keywordMode && a.inFrame == b.inFrame &&
           a.frameText == b.frameText && a.includeHeader == b.includeHeader && a.includeLinks == b.includeLinks &&
           pagerRowText(a) == pagerRowText(b) && sameFields(a.fields, b.fields);
}

// The growth point a capture leaves that walked `table` (number `index`) alone, lines
// `widthUsed` wide; `earlier` is the point its read went on from, if it did. None when later
// rows could change the lines of the rows walked, or another read could match another table.
std::optional<GrowthPoint> growthPoint(const Document &doc, const Table &table, std::size_t index,
                                       const std::vector<char> &walked, std::size_t widthUsed,
                                       const CaptureSettings &settings, const GrowthPoint *earlier)
{
    // A keyword found anywhere in the text may be found in rows that come and go.
    if (doc.identity().empty() || doc.readMark().empty() || settings.inFrame || !settings.keywordMode ||
        *settings.keywordMode == KeywordMode::CommonText)
        return std::nullopt;
    const std::size_t before = table.rowsBefore();
    if (before > 0 && !earlier)
        return std::nullopt;
    // The pager rows at the end may go (the last page) or stay below the rows to come.
    const std::string pagerText = pagerRowText(settings);
    std::size_t kept = walked.size();
    for (; kept > 0; --kept) {
        const auto pager = table.rowHtmlContains(kept - 1, pagerText);
        if (pager && !*pager)
            break;
    }
    if (before + kept == 0)
        return std::nullopt;
    // A cell spanning down past them would push the cells of rows to come.
    for (std::size_t r = 0; r < kept; ++r)
        for (std::size_t c = 0, cells = table.cellCount(r).value_or(0); c < cells; ++c)
            if (r + static_cast<std::size_t>(spanOrOne(table.cellRowSpan(r, c))) > kept)
                return std::nullopt;
    // The first-row keyword must be decided by the first row, which stays.
    if (before == 0 && *settings.keywordMode == KeywordMode::FirstRowPrefix) {
        std::size_t bytes = 0;
        for (std::size_t c = 0, cells = table.cellCount(0).value_or(0); c < cells; ++c)
            bytes += table.cellText(0, c).value_or(std::string()).size();
        if (bytes < settings.keyword.size())
            return std::nullopt;
    }
    GrowthPoint point;
    point.from = {index, before + kept, doc.readMark()};
    point.document = doc.identity();
    const std::vector<char> head(walked.begin(), walked.begin() + static_cast<std::ptrdiff_t>(kept));
    point.widthBefore = std::max(earlier ? earlier->widthBefore : 0, tableWidth(table, head));
    point.widthUsed = widthUsed;
    point.settings = settings;
    return point;
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
        if (table && *table && tableMatches(**table, i, settings) &&
            ((*table)->rowsBefore() > 0 || (*table)->rowCount().value_or(0) > 0))
            return true;
    }
    return false;
}

namespace {

// The outcome of a capture that cannot use a read that went on from rows read before: nothing
// changes, and the page is to be read again whole.
CaptureOutcome readWhole(CaptureSession &session)
{
    session.growth.reset();
    CaptureOutcome outcome;
    outcome.readWhole = true;
    return outcome;
}

// A capture too large to keep: nothing of it is kept, and the repeat check and the tally stay
// as they were.
CaptureOutcome refused(CaptureSession &session, std::size_t maxTextBytes)
{
    session.recordCount = 0;
    session.growth.reset();
    session.statusText = tooLargeMessage(maxTextBytes);
    return {false, {}, {}, session.statusText};
}

}  // namespace

CaptureOutcome CaptureTable(const Document &page, const CaptureSettings &settings,
                            CaptureSession &session, std::size_t maxTextBytes)
{
    std::string text;
    std::int64_t rowsWalked = 0;
    // Where the next read may go on from, and whether this one went on from the last point.
    std::optional<GrowthPoint> growth;
    bool grown = false;
    if (const auto document = targetDocument(page, settings.inFrame, settings.frameText)) {
        const Document &doc = **document;
        const std::size_t tables = doc.tableCount().value_or(0);
        const std::size_t htmlTables = std::min(tables, doc.htmlTableCount().value_or(tables));
        const GrowthPoint *point = session.growth ? &*session.growth : nullptr;
        const Table *goneOn = nullptr;
        for (std::size_t i = 0; i < tables; ++i)
            if (const auto table = doc.table(i); table && *table && (*table)->rowsBefore() > 0)
                goneOn = *table;
        if (goneOn) {
            // The new rows only: the capture is the one the whole table's walk would make when
            // that table is still the only one to match and the lines keep their width.
            const std::size_t index = point ? point->from.table : tables;
            const auto continued = index < tables ? doc.table(index) : Read<const Table *>(failure("no point"));
            if (!continued || *continued != goneOn || goneOn->rowsBefore() != point->from.rows ||
                doc.identity() != point->document || !walksAlike(settings, point->settings))
                return readWhole(session);
            for (std::size_t i = 0; i < tables; ++i)
                if (const auto table = doc.table(i);
                    i != index && table && *table && tableMatches(**table, i, settings))
                    return readWhole(session);
            TableWalker walker(settings, doc.baseUrl().value_or(std::string()), text,
                               maxTextBytes - std::min(maxTextBytes, session.lastCapture.size()));
            const std::vector<char> walked = walker.walkedRows(*goneOn);
            if (std::max(point->widthBefore, tableWidth(*goneOn, walked)) != point->widthUsed)
                return readWhole(session);
            walker.setWidth(point->widthUsed);
            walker.walk(*goneOn);
            if (walker.tooLarge())
                return refused(session, maxTextBytes);
            growth = growthPoint(doc, *goneOn, index, walked, walker.width(), settings, point);
            rowsWalked = walker.rowsWalked();
            grown = true;
        } else {
            TableWalker walker(settings, doc.baseUrl().value_or(std::string()), text, maxTextBytes);
            std::size_t matched = 0;
            const Table *only = nullptr;
            std::size_t onlyIndex = 0;
            auto walkMatching = [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; i < to && !walker.tooLarge(); ++i) {
                    const auto table = doc.table(i);
                    if (table && *table && tableMatches(**table, i, settings)) {
                        ++matched;
                        only = *table;
                        onlyIndex = i;
                        walker.walk(**table);
                    }
                }
            };
            // A keyword that matches a <table> captures what it captured before grids were
            // tables: the grids are looked at only when no <table> matches. A position counts
            // on past them.
            const bool byPosition = settings.keywordMode == KeywordMode::Position;
            walkMatching(0, byPosition ? tables : htmlTables);
            if (!byPosition && matched == 0)
                walkMatching(htmlTables, tables);
            if (walker.tooLarge())
                return refused(session, maxTextBytes);
            if (matched == 1)
                growth = growthPoint(doc, *only, onlyIndex, walker.walkedRows(*only), walker.width(), settings,
                                     nullptr);
            rowsWalked = walker.rowsWalked();
        }
    }

    // The page marked the tables of this read afresh: the point left is this read's, when the
    // capture before is of this document.
    if (grown ? text.empty() : text == session.lastCapture) {
        session.recordCount = 0;
        session.growth = page.identity() == session.lastDocument ? std::move(growth) : std::nullopt;
        return {};
    }
    session.growth = std::move(growth);
    std::string kept = keptRows(text, page.identity(), settings.uniqueRows, grown, session, rowsWalked);
    session.recordCount = rowsWalked;
    if (grown)
        session.lastCapture.append(text);
    else
        session.lastCapture = std::move(text);
    session.lastDocument = page.identity();
    session.captureCount += 1;
    session.recordTotal += rowsWalked;
    session.statusText = "本次已采集表格数:" + std::to_string(session.captureCount) + "个,记录:" +
                         std::to_string(session.recordTotal) + "条";
    return {true, collapseBlankLines(std::move(kept)), session.statusText, {}};
}

std::optional<TableContinuation> continuationFor(const CaptureSession &session, const CaptureSettings &settings)
{
    if (!session.growth || !walksAlike(session.growth->settings, settings))
        return std::nullopt;
    return session.growth->from;
}

}  // namespace tabvoro::capture
