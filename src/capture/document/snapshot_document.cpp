#include "capture/document/snapshot_document.h"

#include <algorithm>
#include <limits>

#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

constexpr std::string_view kHolds = "the page snapshot holds ";

// `note` says what the snapshot holds instead, when that helps whoever reads the message.
std::unexpected<Error> notTaken(const std::string &what, const std::string &note = {})
{
    return failure(std::string(kHolds) + "no " + what + " (not asked for)" + (note.empty() ? "" : "; " + note));
}

// std::expected's transform is not in the standard library of g++ 12.
template <class T, class F>
auto mapRead(const Read<T> &read, F &&f) -> Read<decltype(f(*read))>
{
    if (!read)
        return std::unexpected(read.error());
    return f(*read);
}

std::int32_t clampSpan(int span)
{
    return std::clamp(span, 0, static_cast<int>(std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

// ---- TextList

void TextList::append(std::string_view text)
{
    m_bytes.append(text);
    m_ends.push_back(m_bytes.size());
}

void TextList::reserve(std::size_t texts, std::size_t bytes)
{
    m_ends.reserve(texts);
    m_bytes.reserve(bytes);
}

std::string_view TextList::operator[](std::size_t index) const
{
    const std::size_t begin = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_bytes).substr(begin, m_ends[index] - begin);
}

std::string_view throughFirstHref(std::string_view html)
{
    // The capture's link mode reads from the first "href" to the next double quote after
    // the six characters of `href="`; keeping exactly that much keeps its answer.
    const auto href = html.find("href");
    if (href == std::string_view::npos)
        return {};
    const auto quote = html.find('"', std::min(href + 6, html.size()));
    return quote == std::string_view::npos ? html : html.substr(0, quote + 1);
}

// ---- SnapshotTable

void SnapshotTable::setRowCount(std::size_t rows) { m_rowCount = rows; }

void SnapshotTable::addRow() { m_rowEnds.push_back(m_cells.size()); }

void SnapshotTable::addCell(std::string_view text, int colSpan, int rowSpan)
{
    if (m_rowEnds.empty())
        addRow();
    m_cells.push_back({clampSpan(colSpan), clampSpan(rowSpan)});
    m_cellTexts.append(text);
    m_rowEnds.back() = m_cells.size();
}

void SnapshotTable::setCellHtmlForm(CellHtmlForm form) { m_cellHtmlForm = form; }

void SnapshotTable::addCellHtml(std::string_view html)
{
    m_cellHtml.append(m_cellHtmlForm == CellHtmlForm::ThroughFirstHref ? throughFirstHref(html) : html);
}

void SnapshotTable::addRowHtml(std::string_view html) { m_rowHtml.append(html); }

void SnapshotTable::setRowNeedle(std::string needle) { m_rowNeedle = std::move(needle); }

void SnapshotTable::addRowNeedleAnswer(bool contains) { m_rowHasNeedle.push_back(contains); }

void SnapshotTable::setText(std::string text) { m_text = std::move(text); }

void SnapshotTable::setTextMeasure(std::size_t bytes, std::size_t characters)
{
    m_textBytes = bytes;
    m_textCharacters = characters;
}

void SnapshotTable::reserve(std::size_t rows, std::size_t cells, std::size_t textBytes)
{
    m_rowEnds.reserve(rows);
    m_cells.reserve(cells);
    m_cellTexts.reserve(cells, textBytes);
}

bool SnapshotTable::allRowsTaken() const { return !m_rowCount || m_rowEnds.size() >= *m_rowCount; }

std::string SnapshotTable::what(const std::string &part) const
{
    return part + " of table " + std::to_string(m_index);
}

Read<std::string> SnapshotTable::text() const
{
    if (m_text)
        return *m_text;
    if (!allRowsTaken())
        return notTaken(what("text"), "it holds the first " + std::to_string(rowsTaken()) + " rows only");
    std::string text;
    text.reserve(textSize().value_or(0));
    std::size_t c = 0;
    for (std::size_t r = 0; r < m_rowEnds.size(); ++r) {
        if (r > 0)
            text.append(kCrLf);
        for (; c < m_rowEnds[r]; ++c)
            text.append(m_cellTexts[c]);
    }
    return text;
}

Read<bool> SnapshotTable::textStartsWith(const std::string &prefix) const
{
    if (m_text)
        return m_text->starts_with(prefix);
    // Compared piece by piece, so a big table's text is never built to read its first row;
    // when the rows taken decide the answer, rows left out do not matter.
    std::string_view rest = prefix;
    auto consume = [&rest](std::string_view piece) {
        const std::size_t n = std::min(piece.size(), rest.size());
        if (piece.substr(0, n) != rest.substr(0, n))
            return false;
        rest.remove_prefix(n);
        return true;
    };
    std::size_t c = 0;
    for (std::size_t r = 0; r < m_rowEnds.size() && !rest.empty(); ++r) {
        if (r > 0 && !consume(kCrLf))
            return false;
        for (; c < m_rowEnds[r] && !rest.empty(); ++c)
            if (!consume(m_cellTexts[c]))
                return false;
        c = m_rowEnds[r];
    }
    if (rest.empty())
        return true;
    if (allRowsTaken())
        return false;
    // Rows were left out, so a line break follows the last row taken.
    if (!m_rowEnds.empty() && !consume(kCrLf))
        return false;
    if (rest.empty())
        return true;
    return notTaken(what("text") + " beyond its first " + std::to_string(rowsTaken()) + " rows");
}

Read<std::size_t> SnapshotTable::textSize() const
{
    if (m_text)
        return m_text->size();
    if (m_textBytes)
        return *m_textBytes;
    if (!allRowsTaken())
        return notTaken(what("text size"));
    std::size_t bytes = m_rowEnds.empty() ? 0 : 2 * (m_rowEnds.size() - 1);
    for (std::size_t c = 0; c < m_cellTexts.size(); ++c)
        bytes += m_cellTexts[c].size();
    return bytes;
}

Read<std::size_t> SnapshotTable::textLength() const
{
    if (m_text)
        return utf8Length(*m_text);
    if (m_textCharacters)
        return *m_textCharacters;
    if (!allRowsTaken())
        return notTaken(what("text length"));
    std::size_t characters = m_rowEnds.empty() ? 0 : 2 * (m_rowEnds.size() - 1);
    for (std::size_t c = 0; c < m_cellTexts.size(); ++c)
        characters += utf8Length(m_cellTexts[c]);
    return characters;
}

Read<std::size_t> SnapshotTable::rowCount() const { return m_rowCount.value_or(m_rowEnds.size()); }

Read<std::string> SnapshotTable::rowInnerHtml(std::size_t row) const
{
    if (row < m_rowHtml.size())
        return std::string(m_rowHtml[row]);
    if (row >= *rowCount())
        return failure("no row " + std::to_string(row) + " in table " + std::to_string(m_index));
    if (m_rowNeedle)
        return notTaken(what("row HTML"), "only whether each row contains \"" + *m_rowNeedle + "\"");
    return notTaken(what("row HTML"));
}

Read<bool> SnapshotTable::rowHtmlContains(std::size_t row, const std::string &needle) const
{
    if (row < m_rowHtml.size())
        return m_rowHtml[row].find(needle) != std::string_view::npos;
    if (row >= *rowCount())
        return failure("no row " + std::to_string(row) + " in table " + std::to_string(m_index));
    if (m_rowNeedle && *m_rowNeedle == needle && row < m_rowHasNeedle.size())
        return static_cast<bool>(m_rowHasNeedle[row]);
    if (m_rowNeedle)
        return notTaken(what("row HTML"), "only whether each row contains \"" + *m_rowNeedle + "\", not \"" +
                                              needle + "\"");
    return notTaken(what("row HTML"));
}

Read<std::size_t> SnapshotTable::cellIndex(std::size_t row, std::size_t cell) const
{
    if (row < m_rowEnds.size()) {
        const std::size_t begin = row == 0 ? 0 : m_rowEnds[row - 1];
        if (cell < m_rowEnds[row] - begin)
            return begin + cell;
        return failure("no cell " + std::to_string(cell) + " in row " + std::to_string(row) + " of table " +
                       std::to_string(m_index));
    }
    if (row >= *rowCount())
        return failure("no row " + std::to_string(row) + " in table " + std::to_string(m_index));
    return notTaken(what("cells of row " + std::to_string(row)),
                    "it holds the first " + std::to_string(rowsTaken()) + " rows only");
}

Read<std::size_t> SnapshotTable::cellCount(std::size_t row) const
{
    if (row < m_rowEnds.size())
        return m_rowEnds[row] - (row == 0 ? 0 : m_rowEnds[row - 1]);
    return std::unexpected(cellIndex(row, 0).error());
}

Read<std::string> SnapshotTable::cellText(std::size_t row, std::size_t cell) const
{
    return mapRead(cellIndex(row, cell), [this](std::size_t i) { return std::string(m_cellTexts[i]); });
}

Read<std::string> SnapshotTable::cellInnerHtml(std::size_t row, std::size_t cell) const
{
    auto index = cellIndex(row, cell);
    if (!index)
        return std::unexpected(index.error());
    if (m_cellHtmlForm == CellHtmlForm::None || *index >= m_cellHtml.size())
        return notTaken(what("cell HTML"));
    return std::string(m_cellHtml[*index]);
}

Read<int> SnapshotTable::cellColSpan(std::size_t row, std::size_t cell) const
{
    return mapRead(cellIndex(row, cell), [this](std::size_t i) { return int(m_cells[i].colSpan); });
}

Read<int> SnapshotTable::cellRowSpan(std::size_t row, std::size_t cell) const
{
    return mapRead(cellIndex(row, cell), [this](std::size_t i) { return int(m_cells[i].rowSpan); });
}

// ---- SnapshotDocument

struct SnapshotDocument::Elements {
    TextList tags, types, values, names;
    std::vector<std::size_t> htmlOwners;  // increasing element indexes, one per entry of `html`
    TextList html;
    std::optional<std::string> needle;
    std::vector<signed char> contains;  // per element: -1 not asked, 0 or 1
    std::vector<SnapshotElement> views;
    // A list taken in part: the list's length, and the index of each element taken.
    std::optional<std::size_t> count;
    std::vector<std::size_t> indexes;
};

SnapshotDocument::SnapshotDocument() = default;
SnapshotDocument::~SnapshotDocument() = default;

void SnapshotDocument::setBaseUrl(std::string url) { m_baseUrl = std::move(url); }

void SnapshotDocument::setBodyText(std::string text) { m_bodyText = std::move(text); }

void SnapshotDocument::setTableCount(std::size_t count)
{
    m_tables.emplace();
    m_tables->resize(count);
}

SnapshotTable &SnapshotDocument::takeTable(std::size_t index)
{
    if (!m_tables || index >= m_tables->size())
        setTableCount(std::max(index + 1, m_tables ? m_tables->size() : 0));
    auto &slot = (*m_tables)[index];
    slot = std::make_unique<SnapshotTable>(index);
    return *slot;
}

void SnapshotDocument::takeElements(std::size_t expectedCount)
{
    m_elements = std::make_unique<Elements>();
    m_elements->views.reserve(expectedCount);
    for (TextList *column : {&m_elements->tags, &m_elements->types, &m_elements->values, &m_elements->names})
        column->reserve(expectedCount, 0);
}

void SnapshotDocument::addElement(std::string_view tagName, std::string_view type, std::string_view value,
                                  std::string_view name)
{
    if (!m_elements)
        takeElements();
    Elements &e = *m_elements;
    e.views.emplace_back(this, e.views.size());
    e.tags.append(tagName);
    e.types.append(type);
    e.values.append(value);
    e.names.append(name);
}

void SnapshotDocument::setElementCount(std::size_t count)
{
    if (!m_elements)
        takeElements();
    m_elements->count = count;
}

void SnapshotDocument::addElementAt(std::size_t index, std::string_view tagName, std::string_view type,
                                    std::string_view value, std::string_view name)
{
    addElement(tagName, type, value, name);
    m_elements->indexes.push_back(index);
}

void SnapshotDocument::setElementHtml(std::size_t index, std::string_view html)
{
    if (!m_elements)
        takeElements();
    m_elements->htmlOwners.push_back(index);
    m_elements->html.append(html);
}

void SnapshotDocument::setElementNeedle(std::string needle)
{
    if (!m_elements)
        takeElements();
    m_elements->needle = std::move(needle);
}

void SnapshotDocument::setElementContains(std::size_t index, bool contains)
{
    if (!m_elements)
        takeElements();
    auto &answers = m_elements->contains;
    if (answers.size() <= index)
        answers.resize(index + 1, -1);
    answers[index] = contains ? 1 : 0;
}

void SnapshotDocument::setLinks(std::vector<std::string> links) { m_links = std::move(links); }

void SnapshotDocument::takeFrames()
{
    if (!m_frames)
        m_frames.emplace();
}

SnapshotDocument &SnapshotDocument::addFrame(std::string name)
{
    takeFrames();
    m_frames->push_back({std::move(name), std::make_unique<SnapshotDocument>(), {}});
    return *m_frames->back().document;
}

void SnapshotDocument::addFailingFrame(std::string name, std::string reason)
{
    takeFrames();
    m_frames->push_back({std::move(name), nullptr, std::move(reason)});
}

Read<std::string> SnapshotDocument::baseUrl() const
{
    if (!m_baseUrl)
        return notTaken("base address");
    return *m_baseUrl;
}

Read<std::string> SnapshotDocument::bodyText() const
{
    if (!m_bodyText)
        return notTaken("body text");
    return *m_bodyText;
}

Read<std::size_t> SnapshotDocument::frameCount() const
{
    if (!m_frames)
        return notTaken("frame list");
    return m_frames->size();
}

Read<Frame> SnapshotDocument::frame(std::size_t index) const
{
    if (!m_frames)
        return notTaken("frame list");
    if (index >= m_frames->size())
        return failure("no frame " + std::to_string(index));
    const FrameEntry &entry = (*m_frames)[index];
    if (!entry.document)
        return failure("frame " + std::to_string(index) + " cannot be read: " + entry.failure);
    return Frame{entry.name, entry.document.get()};
}

Read<std::size_t> SnapshotDocument::tableCount() const
{
    if (!m_tables)
        return notTaken("tables");
    return m_tables->size();
}

Read<std::size_t> SnapshotDocument::htmlTableCount() const
{
    if (!m_tables)
        return notTaken("tables");
    return std::min(m_htmlTables.value_or(m_tables->size()), m_tables->size());
}

void SnapshotDocument::setHtmlTableCount(std::size_t count)
{
    m_htmlTables = count;
}

Read<const SnapshotTable *> SnapshotDocument::snapshotTable(std::size_t index) const
{
    if (!m_tables)
        return notTaken("tables");
    if (index >= m_tables->size())
        return failure("no table " + std::to_string(index));
    if (!(*m_tables)[index])
        return notTaken("contents of table " + std::to_string(index));
    return (*m_tables)[index].get();
}

Read<const Table *> SnapshotDocument::table(std::size_t index) const
{
    return mapRead(snapshotTable(index), [](const SnapshotTable *t) -> const Table * { return t; });
}

Read<std::size_t> SnapshotDocument::elementCount() const
{
    if (!m_elements)
        return notTaken("element list");
    return m_elements->count.value_or(m_elements->views.size());
}

Read<const SnapshotElement *> SnapshotDocument::snapshotElement(std::size_t index) const
{
    if (!m_elements)
        return notTaken("element list");
    const Elements &e = *m_elements;
    if (e.count) {
        const auto at = std::lower_bound(e.indexes.begin(), e.indexes.end(), index);
        if (at != e.indexes.end() && *at == index)
            return &e.views[static_cast<std::size_t>(at - e.indexes.begin())];
        if (index < *e.count)
            return notTaken("element " + std::to_string(index), "only the elements a next-page step acts on");
    }
    if (e.count || index >= e.views.size())
        return failure("no element " + std::to_string(index));
    return &e.views[index];
}

Read<const Element *> SnapshotDocument::element(std::size_t index) const
{
    return mapRead(snapshotElement(index), [](const SnapshotElement *e) -> const Element * { return e; });
}

std::size_t SnapshotDocument::nextElement(std::size_t index) const
{
    if (!m_elements || !m_elements->count)
        return index;
    const auto &taken = m_elements->indexes;
    const auto at = std::lower_bound(taken.begin(), taken.end(), index);
    return at == taken.end() ? std::max(index, *m_elements->count) : *at;
}

Read<std::vector<std::string>> SnapshotDocument::links() const
{
    if (!m_links)
        return notTaken("links");
    return *m_links;
}

// ---- SnapshotElement

Read<std::string> SnapshotElement::tagName() const
{
    return std::string(m_document->m_elements->tags[m_index]);
}

Read<std::string> SnapshotElement::type() const { return std::string(m_document->m_elements->types[m_index]); }

Read<std::string> SnapshotElement::value() const
{
    return std::string(m_document->m_elements->values[m_index]);
}

Read<std::string> SnapshotElement::name() const { return std::string(m_document->m_elements->names[m_index]); }

Read<std::string> SnapshotElement::innerHtml() const
{
    const auto &e = *m_document->m_elements;
    const auto owner = std::lower_bound(e.htmlOwners.begin(), e.htmlOwners.end(), m_index);
    if (owner != e.htmlOwners.end() && *owner == m_index)
        return std::string(e.html[static_cast<std::size_t>(owner - e.htmlOwners.begin())]);
    const std::string what = "inner HTML of element " + std::to_string(m_index) + " (" + std::string(e.tags[m_index]) + ")";
    if (e.needle && m_index < e.contains.size() && e.contains[m_index] >= 0)
        return notTaken(what, "only whether it contains \"" + *e.needle + "\"");
    return notTaken(what);
}

Read<bool> SnapshotElement::innerHtmlContains(const std::string &needle) const
{
    const auto &e = *m_document->m_elements;
    if (e.needle && *e.needle == needle && m_index < e.contains.size() && e.contains[m_index] >= 0)
        return e.contains[m_index] == 1;
    return mapRead(innerHtml(), [&needle](const std::string &html) { return html.find(needle) != std::string::npos; });
}

}  // namespace tabvoro::capture
