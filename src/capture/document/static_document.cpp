#include "capture/document/static_document.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "capture/document/html_serializer.h"
#include "capture/document/html_tree.h"
#include "capture/document/inner_text.h"
#include "capture/document/record_lists.h"
#include "capture/document/url.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

using html::attribute;
using html::firstChild;
using html::isElement;
using html::isHtmlElement;
using html::nextSibling;

// A frame whose page holds a frame whose page holds a frame... A page that names itself as its
// own frame would otherwise never end.
constexpr int kMaxFrameDepth = 8;

// colSpan and rowSpan are clamped to these, as browsers do.
constexpr int kMaxColSpan = 1000;
constexpr int kMaxRowSpan = 65534;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// HTML's rules for parsing non-negative integers: leading blanks, an optional "+", digits, and
// whatever follows ignored ("3px" is 3). Values beyond `max` read as `max`.
std::optional<int> nonNegativeInteger(const char *text, int max)
{
    if (!text)
        return std::nullopt;
    while (isBlank(*text))
        ++text;
    if (*text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return std::nullopt;
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = std::min<long>(value * 10 + (*text - '0'), max);
    return static_cast<int>(value);
}

// A span as a browser reads it: 1 when absent, not a number or 0.
int spanValue(const char *text, int max)
{
    const int value = nonNegativeInteger(text, max).value_or(1);
    return value == 0 ? 1 : value;
}

std::string attributeOr(const GumboNode *element, const char *name, std::string fallback = {})
{
    const char *value = attribute(element, name);
    return value ? std::string(value) : fallback;
}

std::string withCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n')
            out.append(kCrLf);
        else
            out.push_back(c);
    }
    return out;
}

bool isCell(const GumboNode *node)
{
    return isHtmlElement(node, GUMBO_TAG_TD) || isHtmlElement(node, GUMBO_TAG_TH);
}

// A table made of roles: role table, grid or treegrid on anything but a <table> (which is a
// table of its own already).
bool isGrid(const GumboNode *node)
{
    return html::ariaRole(node) == html::AriaRole::Table && !isHtmlElement(node, GUMBO_TAG_TABLE);
}

// The elements of one role that a grid or a row owns: found through elements without a role of
// their own (and, for rows, through row groups), never inside a nested grid or <table>, nor
// inside one of the elements found. Each element is reached from one owner only, so reading
// every grid of a page walks the page about once, however deep its grids nest.
struct OwnedElements {
    html::AriaRole wanted;
    std::vector<const GumboNode *> &found;

    bool enter(const GumboNode *node)
    {
        if (node->type != GUMBO_NODE_ELEMENT || html::hasInertContent(node) || isHtmlElement(node, GUMBO_TAG_TABLE))
            return false;
        const html::AriaRole role = html::ariaRole(node);
        if (role == wanted) {
            found.push_back(node);
            return false;
        }
        return role == html::AriaRole::None || (wanted == html::AriaRole::Row && role == html::AriaRole::RowGroup);
    }
    void leave(const GumboNode *) {}
};

std::string outOfRange(std::string_view what, std::size_t index, std::size_t count)
{
    return "no " + std::string(what) + " " + std::to_string(index) + " (there are " + std::to_string(count) + ")";
}

// Whether a row's inner HTML holds a text, for every row of a document from one serialisation
// of it. A row of a table nested n deep is part of the HTML of the n rows around it: serialised
// row by row, the pager-row test of every level would write it again, n² in all.
class RowHtmlIndex {
public:
    explicit RowHtmlIndex(const GumboNode *document) : m_document(document) {}

    // The records of the page's record lists are rows too; told once the page's walk found them.
    void setRecords(const html::RecordListFinder *records) const { m_records = records; }

    bool contains(const GumboNode *row, const std::string &needle) const
    {
        if (needle.empty())
            return true;
        const std::lock_guard lock(m_mutex);
        if (!m_built || needle != m_needle)
            build(needle);
        const auto range = m_rows.find(row);
        if (range == m_rows.end())
            return html::innerHtml(row).find(needle) != std::string::npos;
        // The first occurrence at or after the row's start is the one that ends soonest.
        const auto hit = std::lower_bound(m_hits.begin(), m_hits.end(), range->second.first);
        return hit != m_hits.end() && *hit + needle.size() <= range->second.second;
    }

private:
    void build(const std::string &needle) const
    {
        std::string html;
        m_rows.clear();
        html::appendInnerHtml(m_document, html, [this](const GumboNode *element, std::size_t start, std::size_t end) {
            if (isHtmlElement(element, GUMBO_TAG_TR) || html::ariaRole(element) == html::AriaRole::Row ||
                (m_records && m_records->isRecord(element)))
                m_rows.emplace(element, std::pair{start, end});
        });
        m_hits.clear();
        for (auto at = html.find(needle); at != std::string::npos; at = html.find(needle, at + 1))
            m_hits.push_back(at);
        m_needle = needle;
        m_built = true;
    }

    const GumboNode *m_document;
    mutable const html::RecordListFinder *m_records = nullptr;
    mutable std::mutex m_mutex;
    mutable bool m_built = false;
    mutable std::string m_needle;
    // Each row's inner HTML in the serialisation, and where the needle begins in it, in order.
    mutable std::unordered_map<const GumboNode *, std::pair<std::size_t, std::size_t>> m_rows;
    mutable std::vector<std::size_t> m_hits;
};

// The texts of the cells that hold tables, worked out on the first read of a cell's text.
class CellTextIndex {
public:
    explicit CellTextIndex(const GumboNode *document) : m_document(document) {}

    // A record without the piece of a column has a null cell there, which reads as empty.
    std::string cellText(const GumboNode *cell) const
    {
        if (!cell)
            return {};
        std::call_once(m_once, [this] { m_texts.emplace(m_document); });
        if (auto text = m_texts->find(cell))
            return std::move(*text);
        return html::innerText(cell);
    }

private:
    const GumboNode *m_document;
    mutable std::once_flag m_once;
    mutable std::optional<html::CellTexts> m_texts;
};

class StaticTable final : public Table {
public:
    StaticTable(const GumboNode *table, const RowHtmlIndex &rowHtml, const CellTextIndex &cellTexts)
        : m_table(table), m_grid(!isHtmlElement(table, GUMBO_TAG_TABLE)), m_rowHtml(rowHtml), m_cellTexts(cellTexts)
    {
    }
    StaticTable(const html::RecordList &list, const html::RecordListFinder &finder, const RowHtmlIndex &rowHtml,
                const CellTextIndex &cellTexts)
        : m_table(list.parent), m_grid(false), m_list(&list), m_finder(&finder), m_rowHtml(rowHtml),
          m_cellTexts(cellTexts)
    {
    }

    bool isRecordList() const override { return m_list != nullptr; }

    Read<std::string> text() const override
    {
        std::call_once(m_textOnce, [this] {
            ensureRows();
            for (std::size_t r = 0; r < m_rows.size(); ++r) {
                if (r > 0)
                    m_text.append(kCrLf);
                appendRowText(r, m_text);
            }
        });
        return m_text;
    }

    Read<bool> textStartsWith(const std::string &prefix) const override
    {
        ensureRows();
        // Only as many cells as the prefix needs: the test of a big table's first row must not
        // cost the text of the whole table.
        std::string start;
        for (std::size_t r = 0; r < m_rows.size() && start.size() < prefix.size(); ++r) {
            if (r > 0)
                start.append(kCrLf);
            for (std::size_t i = m_cellStart[r]; i < m_cellStart[r + 1] && start.size() < prefix.size(); ++i)
                start += m_cellTexts.cellText(m_cells[i]);
        }
        return start.starts_with(prefix);
    }

    Read<std::size_t> rowCount() const override
    {
        ensureRows();
        return m_rows.size();
    }

    Read<std::string> rowInnerHtml(std::size_t row) const override
    {
        ensureRows();
        if (row >= m_rows.size())
            return failure(outOfRange("row", row, m_rows.size()));
        return html::innerHtml(m_rows[row]);
    }

    Read<bool> rowHtmlContains(std::size_t row, const std::string &needle) const override
    {
        ensureRows();
        if (row >= m_rows.size())
            return failure(outOfRange("row", row, m_rows.size()));
        return m_rowHtml.contains(m_rows[row], needle);
    }

    Read<std::size_t> cellCount(std::size_t row) const override
    {
        ensureRows();
        if (row >= m_rows.size())
            return failure(outOfRange("row", row, m_rows.size()));
        return m_cellStart[row + 1] - m_cellStart[row];
    }

    Read<std::string> cellText(std::size_t row, std::size_t cell) const override
    {
        const auto node = cellNode(row, cell);
        if (!node)
            return std::unexpected(node.error());
        return m_cellTexts.cellText(*node);
    }

    Read<std::string> cellInnerHtml(std::size_t row, std::size_t cell) const override
    {
        const auto node = cellNode(row, cell);
        if (!node)
            return std::unexpected(node.error());
        if (!m_list)
            return html::innerHtml(*node);
        // A record's piece stands in a cell of its own: the cell holds the piece itself, so that
        // a linked piece keeps its address.
        std::string html;
        if (*node)
            html::appendOuterHtml(*node, html);
        return html;
    }

    Read<int> cellColSpan(std::size_t row, std::size_t cell) const override
    {
        const auto node = cellNode(row, cell);
        if (!node)
            return std::unexpected(node.error());
        if (m_list)
            return 1;
        return spanValue(attribute(*node, m_grid ? "aria-colspan" : "colspan"), kMaxColSpan);
    }

    Read<int> cellRowSpan(std::size_t row, std::size_t cell) const override
    {
        const auto node = cellNode(row, cell);
        if (!node)
            return std::unexpected(node.error());
        if (m_list)
            return 1;
        return spanValue(attribute(*node, m_grid ? "aria-rowspan" : "rowspan"), kMaxRowSpan);
    }

private:
    // The rows in the order of the table's rows collection: those of thead sections first,
    // then those of the table itself and its tbody sections, then those of tfoot sections,
    // each group in document order. Rows of nested tables belong to those tables.
    void ensureRows() const
    {
        std::call_once(m_rowsOnce, [this] {
            if (m_grid) {
                ensureGridRows();
                return;
            }
            if (m_list) {
                ensureRecordRows();
                return;
            }
            std::vector<const GumboNode *> head;
            std::vector<const GumboNode *> body;
            std::vector<const GumboNode *> foot;
            for (const GumboNode *child = firstChild(m_table); child; child = nextSibling(child)) {
                if (isHtmlElement(child, GUMBO_TAG_TR)) {
                    body.push_back(child);
                    continue;
                }
                auto *group = isHtmlElement(child, GUMBO_TAG_THEAD)   ? &head
                              : isHtmlElement(child, GUMBO_TAG_TBODY) ? &body
                              : isHtmlElement(child, GUMBO_TAG_TFOOT) ? &foot
                                                                      : nullptr;
                if (!group)
                    continue;
                for (const GumboNode *row = firstChild(child); row; row = nextSibling(row))
                    if (isHtmlElement(row, GUMBO_TAG_TR))
                        group->push_back(row);
            }
            m_rows.reserve(head.size() + body.size() + foot.size());
            m_rows.insert(m_rows.end(), head.begin(), head.end());
            m_rows.insert(m_rows.end(), body.begin(), body.end());
            m_rows.insert(m_rows.end(), foot.begin(), foot.end());

            m_cellStart.reserve(m_rows.size() + 1);
            m_cellStart.push_back(0);
            for (const GumboNode *row : m_rows) {
                for (const GumboNode *cell = firstChild(row); cell; cell = nextSibling(cell))
                    if (isCell(cell))
                        m_cells.push_back(cell);
                m_cellStart.push_back(m_cells.size());
            }
            m_cells.shrink_to_fit();
        });
    }

    // A grid's rows are the row-role elements it owns, its cells those each row owns.
    void ensureGridRows() const
    {
        OwnedElements rows{html::AriaRole::Row, m_rows};
        html::walkBelow(m_table, rows);
        m_cellStart.reserve(m_rows.size() + 1);
        m_cellStart.push_back(0);
        OwnedElements cells{html::AriaRole::Cell, m_cells};
        for (const GumboNode *row : m_rows) {
            html::walkBelow(row, cells);
            m_cellStart.push_back(m_cells.size());
        }
        m_cells.shrink_to_fit();
    }

    // A record list's rows are its records, every one as wide as the list has columns.
    void ensureRecordRows() const
    {
        m_rows = m_list->records;
        html::RecordCells cells = html::recordCells(*m_list, *m_finder);
        m_cells = std::move(cells.cells);
        m_cellStart.reserve(m_rows.size() + 1);
        for (std::size_t r = 0; r <= m_rows.size(); ++r)
            m_cellStart.push_back(r * cells.columns);
    }

    Read<const GumboNode *> cellNode(std::size_t row, std::size_t cell) const
    {
        ensureRows();
        if (row >= m_rows.size())
            return failure(outOfRange("row", row, m_rows.size()));
        const std::size_t cells = m_cellStart[row + 1] - m_cellStart[row];
        if (cell >= cells)
            return failure(outOfRange("cell", cell, cells) + " in row " + std::to_string(row));
        return m_cells[m_cellStart[row] + cell];
    }

    void appendRowText(std::size_t row, std::string &out) const
    {
        for (std::size_t i = m_cellStart[row]; i < m_cellStart[row + 1]; ++i)
            out += m_cellTexts.cellText(m_cells[i]);
    }

    const GumboNode *m_table;
    const bool m_grid;
    const html::RecordList *m_list = nullptr;
    const html::RecordListFinder *m_finder = nullptr;
    const RowHtmlIndex &m_rowHtml;
    const CellTextIndex &m_cellTexts;
    mutable std::once_flag m_rowsOnce;
    mutable std::vector<const GumboNode *> m_rows;
    // Cells of row r are m_cells[m_cellStart[r]] up to m_cells[m_cellStart[r + 1]]: one array
    // for the whole table instead of one per row.
    mutable std::vector<std::size_t> m_cellStart;
    mutable std::vector<const GumboNode *> m_cells;
    mutable std::once_flag m_textOnce;
    mutable std::string m_text;
};

std::string inputType(const GumboNode *input)
{
    static constexpr std::string_view kTypes[] = {
        "hidden", "text",   "search", "tel",      "url",    "email",  "password", "date",
        "month",  "week",   "time",   "datetime-local", "number", "range", "color", "checkbox",
        "radio",  "file",   "submit", "image",    "reset",  "button",
    };
    const std::string type = asciiLower(attributeOr(input, "type"));
    for (std::string_view known : kTypes)
        if (type == known)
            return type;
    return "text";
}

std::string buttonType(const GumboNode *button)
{
    const std::string type = asciiLower(attributeOr(button, "type"));
    return type == "reset" || type == "button" ? type : "submit";
}

bool isDisabledOption(const GumboNode *option)
{
    return attribute(option, "disabled") ||
           (isHtmlElement(option->parent, GUMBO_TAG_OPTGROUP) && attribute(option->parent, "disabled"));
}

std::string optionValue(const GumboNode *option)
{
    if (const char *value = attribute(option, "value"))
        return value;
    return html::optionText(option);
}

// The value of a select: its selected option's, as a browser picks it when the page selects
// none or (in a single select) several.
std::string selectValue(const GumboNode *select)
{
    std::vector<const GumboNode *> options;
    for (const GumboNode *n = firstChild(select); n; n = nextSibling(n)) {
        if (isHtmlElement(n, GUMBO_TAG_OPTION)) {
            options.push_back(n);
        } else if (isHtmlElement(n, GUMBO_TAG_OPTGROUP)) {
            for (const GumboNode *o = firstChild(n); o; o = nextSibling(o))
                if (isHtmlElement(o, GUMBO_TAG_OPTION))
                    options.push_back(o);
        }
    }
    const bool multiple = attribute(select, "multiple") != nullptr;
    const GumboNode *chosen = nullptr;
    for (const GumboNode *option : options) {
        if (!attribute(option, "selected"))
            continue;
        chosen = option;
        if (multiple)
            break;  // a multiple select reports its first selected option
    }
    // A drop-down list always shows an option: the first one that can be chosen.
    const bool dropDown = !multiple && nonNegativeInteger(attribute(select, "size"), 2).value_or(1) <= 1;
    if (!chosen && dropDown) {
        for (const GumboNode *option : options) {
            if (!isDisabledOption(option)) {
                chosen = option;
                break;
            }
        }
    }
    return chosen ? optionValue(chosen) : std::string();
}

std::string textareaValue(const GumboNode *textarea)
{
    std::string text;
    for (const GumboNode *n = firstChild(textarea); n; n = nextSibling(n))
        if (html::isText(n))
            text.append(n->v.text.text);
    return withCrLf(text);
}

class StaticElement final : public Element {
public:
    explicit StaticElement(const GumboNode *node) : m_node(node) {}

    Read<std::string> tagName() const override { return html::tagName(m_node); }
    Read<std::string> innerHtml() const override { return html::innerHtml(m_node); }

    Read<std::string> type() const override
    {
        if (isHtmlElement(m_node, GUMBO_TAG_INPUT))
            return inputType(m_node);
        if (isHtmlElement(m_node, GUMBO_TAG_BUTTON))
            return buttonType(m_node);
        if (isHtmlElement(m_node, GUMBO_TAG_SELECT))
            return std::string(attribute(m_node, "multiple") ? "select-multiple" : "select-one");
        // The other controls whose type a browser reports: their own tag name.
        if (isHtmlElement(m_node, GUMBO_TAG_TEXTAREA) || isHtmlElement(m_node, GUMBO_TAG_FIELDSET) ||
            isHtmlElement(m_node, GUMBO_TAG_OUTPUT))
            return asciiLower(html::tagName(m_node));
        return std::string();
    }

    Read<std::string> value() const override
    {
        if (isHtmlElement(m_node, GUMBO_TAG_INPUT)) {
            if (const char *value = attribute(m_node, "value"))
                return std::string(value);
            const std::string type = inputType(m_node);
            return std::string(type == "checkbox" || type == "radio" ? "on" : "");
        }
        if (isHtmlElement(m_node, GUMBO_TAG_BUTTON))
            return attributeOr(m_node, "value");
        if (isHtmlElement(m_node, GUMBO_TAG_SELECT))
            return selectValue(m_node);
        if (isHtmlElement(m_node, GUMBO_TAG_TEXTAREA))
            return textareaValue(m_node);
        return std::string();
    }

    Read<std::string> name() const override { return attributeOr(m_node, "name"); }

private:
    const GumboNode *m_node;
};

// What the document needs of its whole tree for most reads, gathered in one walk.
struct TreeIndex {
    TreeIndex(const RowHtmlIndex &rows, const CellTextIndex &texts) : rowHtml(rows), cellTexts(texts) {}

    const RowHtmlIndex &rowHtml;
    const CellTextIndex &cellTexts;
    std::vector<std::unique_ptr<StaticTable>> tables;
    // The tables made of roles, by their place in document order: with the record lists, they
    // are numbered after the <table> elements once the walk is over.
    std::vector<std::pair<std::size_t, std::unique_ptr<StaticTable>>> grids;
    html::RecordListFinder recordLists;
    std::size_t order = 0;
    std::size_t htmlTables = 0;
    std::vector<const GumboNode *> frames;
    std::vector<const GumboNode *> links;
    const GumboNode *base = nullptr;

    bool enter(const GumboNode *node)
    {
        // Template contents (below a GUMBO_NODE_TEMPLATE) are not part of the document until a
        // script puts them there.
        if (node->type != GUMBO_NODE_ELEMENT) {
            recordLists.text(node);
            return false;
        }
        if (html::hasInertContent(node))
            return false;
        ++order;
        recordLists.enter(node, order);
        if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
            return true;
        if (isGrid(node))
            grids.emplace_back(order, std::make_unique<StaticTable>(node, rowHtml, cellTexts));
        switch (node->v.element.tag) {
        case GUMBO_TAG_TABLE:
            tables.push_back(std::make_unique<StaticTable>(node, rowHtml, cellTexts));
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            frames.push_back(node);
            break;
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            if (attribute(node, "href"))
                links.push_back(node);
            break;
        case GUMBO_TAG_BASE:
            if (!base && attribute(node, "href"))
                base = node;
            break;
        default:
            break;
        }
        return true;
    }
    void leave(const GumboNode *node) { recordLists.leave(node); }

    // Grids and record lists after the <table> elements, in document order among themselves.
    void numberTheOthers()
    {
        htmlTables = tables.size();
        auto &lists = recordLists.lists();
        std::sort(lists.begin(), lists.end(), [](const auto &a, const auto &b) { return a.order < b.order; });
        tables.reserve(tables.size() + grids.size() + lists.size());
        auto list = lists.begin();
        for (auto &[gridOrder, grid] : grids) {
            for (; list != lists.end() && list->order < gridOrder; ++list)
                tables.push_back(std::make_unique<StaticTable>(*list, recordLists, rowHtml, cellTexts));
            tables.push_back(std::move(grid));
        }
        for (; list != lists.end(); ++list)
            tables.push_back(std::make_unique<StaticTable>(*list, recordLists, rowHtml, cellTexts));
        grids.clear();
    }
};

struct ElementCounter {
    std::size_t count = 0;
    bool enter(const GumboNode *node)
    {
        if (isElement(node))
            ++count;
        return node->type == GUMBO_NODE_ELEMENT && !html::hasInertContent(node);
    }
    void leave(const GumboNode *) {}
};

struct ElementCollector {
    std::vector<StaticElement> &elements;
    bool enter(const GumboNode *node)
    {
        if (isElement(node))
            elements.emplace_back(node);
        return node->type == GUMBO_NODE_ELEMENT && !html::hasInertContent(node);
    }
    void leave(const GumboNode *) {}
};


}  // namespace

struct StaticDocument::Impl {
    Impl(std::string html, std::string url, FrameLoader frameLoader, int frameDepth)
        : tree(std::move(html)), documentUrl(std::move(url)), loader(std::move(frameLoader)),
          depth(frameDepth), rowHtml(tree.document()), cellTexts(tree.document()), treeIndex(rowHtml, cellTexts)
    {
    }

    const TreeIndex &index() const
    {
        std::call_once(indexOnce, [this] {
            html::walkBelow(tree.document(), treeIndex);
            treeIndex.numberTheOthers();
            rowHtml.setRecords(&treeIndex.recordLists);
            baseUrl = documentUrl;
            if (treeIndex.base)
                baseUrl = resolveUrl(documentUrl, attribute(treeIndex.base, "href")).value_or(documentUrl);
            frameDocuments.resize(treeIndex.frames.size());
        });
        return treeIndex;
    }

    const std::vector<StaticElement> &allElements() const
    {
        std::call_once(elementsOnce, [this] {
            // Counted first so that the list is allocated once at its final size.
            ElementCounter counter;
            html::walkBelow(tree.document(), counter);
            elements.reserve(counter.count);
            ElementCollector collector{elements};
            html::walkBelow(tree.document(), collector);
        });
        return elements;
    }

    Result<std::unique_ptr<StaticDocument>> loadFrame(std::size_t index) const
    {
        const GumboNode *node = treeIndex.frames[index];
        const std::string label = "frame " + std::to_string(index);
        if (depth + 1 > kMaxFrameDepth)
            return failure(label + ": frames nested more than " + std::to_string(kMaxFrameDepth) + " deep");
        if (isHtmlElement(node, GUMBO_TAG_IFRAME)) {
            if (const char *srcdoc = attribute(node, "srcdoc"))
                return parseDocument(srcdoc, baseUrl, loader, depth + 1);
        }
        const char *src = attribute(node, "src");
        if (!src || std::string_view(src).find_first_not_of(" \t\n\f\r") == std::string_view::npos)
            return failure(label + " has no address");
        const auto url = resolveUrl(baseUrl, src);
        if (!url)
            return failure(label + ": cannot resolve " + src + " against " + baseUrl);
        if (!loader)
            return failure(label + " (" + *url + ") cannot be loaded: the page came without a frame loader");
        auto text = loader(*url);
        if (!text)
            return failure(label + " (" + *url + "): " + text.error().message);
        return parseDocument(std::move(*text), *url, loader, depth + 1);
    }

    static std::unique_ptr<StaticDocument> parseDocument(std::string html, std::string url,
                                                         FrameLoader loader, int depth)
    {
        std::unique_ptr<StaticDocument> document(new StaticDocument());
        document->m_impl = std::make_unique<Impl>(std::move(html), std::move(url), std::move(loader), depth);
        return document;
    }

    html::ParsedHtml tree;
    std::string documentUrl;
    FrameLoader loader;
    int depth;
    RowHtmlIndex rowHtml;
    CellTextIndex cellTexts;

    mutable std::once_flag indexOnce;
    mutable TreeIndex treeIndex;
    mutable std::string baseUrl;

    mutable std::once_flag elementsOnce;
    mutable std::vector<StaticElement> elements;

    // Each frame is loaded once, on its first read; a failure is kept as well, so that a page
    // reads the same however often it is asked.
    mutable std::mutex frameMutex;
    mutable std::vector<std::optional<Result<std::unique_ptr<StaticDocument>>>> frameDocuments;
};

StaticDocument::StaticDocument() = default;
StaticDocument::~StaticDocument() = default;

std::unique_ptr<StaticDocument> StaticDocument::parse(std::string html, std::string baseUrl,
                                                      FrameLoader loader)
{
    return Impl::parseDocument(std::move(html), std::move(baseUrl), std::move(loader), 0);
}

Read<std::string> StaticDocument::baseUrl() const
{
    m_impl->index();
    return m_impl->baseUrl;
}

Read<std::string> StaticDocument::bodyText() const
{
    // document.body: the first body or frameset child of the root; a frameset shows no text.
    for (const GumboNode *n = firstChild(m_impl->tree.root()); n; n = nextSibling(n)) {
        if (isHtmlElement(n, GUMBO_TAG_BODY))
            return html::innerText(n);
        if (isHtmlElement(n, GUMBO_TAG_FRAMESET))
            break;
    }
    return std::string();
}

Read<Frame> StaticDocument::frame(std::size_t index) const
{
    const TreeIndex &tree = m_impl->index();
    if (index >= tree.frames.size())
        return failure(outOfRange("frame", index, tree.frames.size()));
    const std::lock_guard lock(m_impl->frameMutex);
    auto &slot = m_impl->frameDocuments[index];
    if (!slot)
        slot = m_impl->loadFrame(index);
    if (!*slot)
        return std::unexpected((*slot).error());
    return Frame{attributeOr(tree.frames[index], "name"), slot->value().get()};
}

Read<std::size_t> StaticDocument::tableCount() const
{
    return m_impl->index().tables.size();
}

Read<std::size_t> StaticDocument::htmlTableCount() const
{
    return m_impl->index().htmlTables;
}

Read<const Table *> StaticDocument::table(std::size_t index) const
{
    const auto &tables = m_impl->index().tables;
    if (index >= tables.size())
        return failure(outOfRange("table", index, tables.size()));
    return tables[index].get();
}

Read<std::size_t> StaticDocument::elementCount() const
{
    return m_impl->allElements().size();
}

Read<const Element *> StaticDocument::element(std::size_t index) const
{
    const auto &elements = m_impl->allElements();
    if (index >= elements.size())
        return failure(outOfRange("element", index, elements.size()));
    return &elements[index];
}

Read<std::vector<std::string>> StaticDocument::links() const
{
    const TreeIndex &tree = m_impl->index();
    std::vector<std::string> links;
    links.reserve(tree.links.size());
    for (const GumboNode *link : tree.links) {
        const char *href = attribute(link, "href");
        // An address that cannot be resolved reads as written, as a link's href does.
        links.push_back(resolveUrl(m_impl->baseUrl, href).value_or(href));
    }
    return links;
}

}  // namespace tabvoro::capture
