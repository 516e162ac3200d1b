#include "capture/document/inner_text.h"

#include <algorithm>
#include <unordered_map>
#include <cstring>
#include <string_view>
#include <vector>

#include "capture/document/html_tree.h"

namespace tabvoro::capture::html {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether an inline style says "display: none". Pages hide pop-ups, templates and spare rows
// this way, and a browser shows none of their text.
bool styleHides(std::string_view style)
{
    constexpr std::string_view property = "display";
    for (std::size_t at = 0; at + property.size() <= style.size(); ++at) {
        bool match = true;
        for (std::size_t k = 0; k < property.size() && match; ++k)
            match = lowerAscii(style[at + k]) == property[k];
        if (!match)
            continue;
        // "display" must be a whole property name, not the end of another one.
        if (at > 0 && !isBlank(style[at - 1]) && style[at - 1] != ';' && style[at - 1] != '{')
            continue;
        std::size_t i = at + property.size();
        while (i < style.size() && isBlank(style[i]))
            ++i;
        if (i == style.size() || style[i] != ':')
            continue;
        ++i;
        while (i < style.size() && isBlank(style[i]))
            ++i;
        constexpr std::string_view none = "none";
        if (style.size() - i < none.size())
            continue;
        bool isNone = true;
        for (std::size_t k = 0; k < none.size() && isNone; ++k)
            isNone = lowerAscii(style[i + k]) == none[k];
        const std::size_t after = i + none.size();
        if (isNone && (after == style.size() || isBlank(style[after]) || style[after] == ';' ||
                       style[after] == '!'))
            return true;
    }
    return false;
}

bool isHidden(const GumboNode *element)
{
    if (attribute(element, "hidden"))
        return true;
    const char *style = attribute(element, "style");
    return style && styleHides(style);
}

// Elements whose content is never shown as text.
bool rendersNoText(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
        return true;
    default:
        return false;
    }
}

// Elements a browser lays out as blocks (display: block, list-item, table, table-caption).
bool isBlock(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
        return true;
    default:
        return false;
    }
}

bool keepsBlanks(GumboTag tag)
{
    return tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_XMP ||
           tag == GUMBO_TAG_PLAINTEXT;
}

bool isTablePart(const GumboNode *node)
{
    if (!node || !isElement(node) || node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return false;
    const GumboTag tag = node->v.element.tag;
    return tag == GUMBO_TAG_TABLE || tag == GUMBO_TAG_TBODY || tag == GUMBO_TAG_THEAD ||
           tag == GUMBO_TAG_TFOOT || tag == GUMBO_TAG_TR;
}

bool isCell(const GumboNode *node)
{
    return isHtmlElement(node, GUMBO_TAG_TD) || isHtmlElement(node, GUMBO_TAG_TH);
}

bool isSection(const GumboNode *node)
{
    return isHtmlElement(node, GUMBO_TAG_TBODY) || isHtmlElement(node, GUMBO_TAG_THEAD) ||
           isHtmlElement(node, GUMBO_TAG_TFOOT);
}

bool hasLaterCell(const GumboNode *cell)
{
    for (const GumboNode *n = nextSibling(cell); n; n = nextSibling(n))
        if (isCell(n))
            return true;
    return false;
}

bool sectionHasRow(const GumboNode *section)
{
    for (const GumboNode *n = firstChild(section); n; n = nextSibling(n))
        if (isHtmlElement(n, GUMBO_TAG_TR))
            return true;
    return false;
}

// Whether another row of the same table follows `row` (rows of a nested table do not count).
bool hasLaterRow(const GumboNode *row)
{
    for (const GumboNode *n = nextSibling(row); n; n = nextSibling(n))
        if (isHtmlElement(n, GUMBO_TAG_TR) || (isSection(n) && sectionHasRow(n)))
            return true;
    const GumboNode *parent = row->parent;
    if (!isSection(parent) || !isHtmlElement(parent->parent, GUMBO_TAG_TABLE))
        return false;
    for (const GumboNode *n = nextSibling(parent); n; n = nextSibling(n))
        if (isHtmlElement(n, GUMBO_TAG_TR) || (isSection(n) && sectionHasRow(n)))
            return true;
    return false;
}

// The text as it is handed out: items (text, line breaks, tabs) and the line breaks blocks
// require around themselves. Required breaks before the first item and after the last are
// dropped; between items a run of them becomes as many breaks as the largest asks for.
class TextCollector {
public:
    explicit TextCollector(std::string &out) : m_out(out) {}

    void collapsible(std::string_view text)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            if (isBlank(text[i])) {
                m_pendingSpace = true;
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < text.size() && !isBlank(text[end]))
                ++end;
            content(text.substr(i, end - i));
            i = end;
        }
    }

    void preserved(std::string_view text)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t end = std::min(text.find_first_of("\r\n", i), text.size());
            if (end > i)
                content(text.substr(i, end - i));
            if (end < text.size() && text[end] == '\n')
                newline();
            i = end + 1;
        }
    }

    void requireBreaks(int count)
    {
        m_pendingSpace = false;
        if (m_started)
            m_pendingBreaks = std::max(m_pendingBreaks, count);
    }

    void newline() { item(kLineBreak); }
    void tab() { item("\t"); }

    // Where the text stands, and whether what comes next reads as it would at the start of a
    // text of its own: no blank waits to be written, and a blank would not be.
    std::size_t size() const { return m_out.size(); }
    bool freshLine() const { return !m_pendingSpace && m_lineStart; }
    // `*start` becomes where the next text is written, after the line breaks owed before it.
    void startOnNextText(std::size_t *start) { m_waitingCells.push_back(start); }
    void stopWaiting(const std::size_t *start) { std::erase(m_waitingCells, start); }

private:
    // A separator item: it ends the line, so blanks before it vanish and blanks after it too.
    void item(std::string_view separator)
    {
        flushBreaks();
        m_pendingSpace = false;
        m_out.append(separator);
        m_started = true;
        m_lineStart = true;
    }

    void content(std::string_view text)
    {
        flushBreaks();
        if (m_pendingSpace && !m_lineStart)
            m_out.push_back(' ');
        m_pendingSpace = false;
        m_out.append(text);
        m_started = true;
        m_lineStart = false;
    }

    void flushBreaks()
    {
        if (m_pendingBreaks > 0) {
            for (; m_pendingBreaks > 0; --m_pendingBreaks)
                m_out.append(kLineBreak);
            m_lineStart = true;
        }
        // What is written next is the first text of the cells waiting for it.
        for (std::size_t *start : m_waitingCells)
            *start = m_out.size();
        m_waitingCells.clear();
    }

    std::string &m_out;
    std::vector<std::size_t *> m_waitingCells;
    int m_pendingBreaks = 0;
    bool m_pendingSpace = false;
    bool m_started = false;
    bool m_lineStart = true;
};

// Collects the text nodes below an option, leaving out scripts.
class OptionTextWalker {
public:
    explicit OptionTextWalker(TextCollector &text) : m_text(text) {}

    bool enter(const GumboNode *node)
    {
        if (isText(node)) {
            m_text.collapsible(node->v.text.text);
            return false;
        }
        return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag != GUMBO_TAG_SCRIPT;
    }
    void leave(const GumboNode *) {}

private:
    TextCollector &m_text;
};

class InnerTextWalker {
public:
    explicit InnerTextWalker(TextCollector &text) : m_text(text) {}

    bool keepingBlanks() const { return m_keepBlanks > 0; }

    bool enter(const GumboNode *node)
    {
        if (isText(node)) {
            // Blanks between table parts are not rendered; anything else there was moved out
            // by the parser.
            if (isTablePart(node->parent))
                return false;
            if (m_keepBlanks > 0)
                m_text.preserved(node->v.text.text);
            else
                m_text.collapsible(node->v.text.text);
            return false;
        }
        if (node->type != GUMBO_NODE_ELEMENT || isHidden(node))
            return false;
        const GumboElement &e = node->v.element;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML)
            return e.tag != GUMBO_TAG_TITLE && e.tag != GUMBO_TAG_DESC && e.tag != GUMBO_TAG_STYLE &&
                   e.tag != GUMBO_TAG_SCRIPT;
        if (rendersNoText(e.tag))
            return false;
        switch (e.tag) {
        case GUMBO_TAG_BR:
            m_text.newline();
            return false;
        case GUMBO_TAG_SELECT:
            selectOptions(node);
            return false;
        case GUMBO_TAG_P:
            m_text.requireBreaks(2);
            return true;
        case GUMBO_TAG_TEXTAREA:
            ++m_keepBlanks;
            return true;
        default:
            break;
        }
        if (keepsBlanks(e.tag)) {
            m_text.requireBreaks(1);
            ++m_keepBlanks;
        } else if (isBlock(e.tag)) {
            m_text.requireBreaks(1);
        }
        return true;
    }

    void leave(const GumboNode *node)
    {
        const GumboElement &e = node->v.element;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML)
            return;
        switch (e.tag) {
        case GUMBO_TAG_P:
            m_text.requireBreaks(2);
            return;
        case GUMBO_TAG_TEXTAREA:
            --m_keepBlanks;
            return;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            if (hasLaterCell(node))
                m_text.tab();
            return;
        case GUMBO_TAG_TR:
            if (hasLaterRow(node))
                m_text.newline();
            return;
        default:
            break;
        }
        if (keepsBlanks(e.tag)) {
            --m_keepBlanks;
            m_text.requireBreaks(1);
        } else if (isBlock(e.tag)) {
            m_text.requireBreaks(1);
        }
    }

private:
    // A browser draws a select as one control, but its innerText lists the options, each on a
    // line of its own.
    void selectOptions(const GumboNode *select)
    {
        for (const GumboNode *n = firstChild(select); n; n = nextSibling(n)) {
            if (isHtmlElement(n, GUMBO_TAG_OPTION)) {
                option(n);
            } else if (isHtmlElement(n, GUMBO_TAG_OPTGROUP)) {
                for (const GumboNode *o = firstChild(n); o; o = nextSibling(o))
                    if (isHtmlElement(o, GUMBO_TAG_OPTION))
                        option(o);
            }
        }
    }

    void option(const GumboNode *option)
    {
        m_text.requireBreaks(1);
        if (const char *label = attribute(option, "label")) {
            m_text.collapsible(label);
        } else {
            OptionTextWalker walker(m_text);
            walkBelow(option, walker);
        }
        m_text.requireBreaks(1);
    }

    TextCollector &m_text;
    int m_keepBlanks = 0;
};

// The innerText walk of a whole document that also notes where the text of each cell holding
// a table stands in it. Such a cell's own text is that part of the page's text when the cell
// begins at a fresh line with blanks not kept: from there a walk reads as a walk of the cell
// alone, but for the line breaks owed before its first text, which the range leaves out.
class CellRangeWalker {
public:
    CellRangeWalker(TextCollector &text, std::unordered_map<const GumboNode *, CellTexts::Range> &cells)
        : m_text(text), m_walker(text), m_cells(cells)
    {
    }

    bool enter(const GumboNode *node)
    {
        const bool walkedInto = m_walker.enter(node);
        if (walkedInto && isCell(node)) {
            if (const auto cell = m_cells.find(node); cell != m_cells.end()) {
                if (m_text.freshLine() && !m_walker.keepingBlanks())
                    m_text.startOnNextText(&cell->second.start);
                else
                    m_cells.erase(cell);  // read alone when asked for
            }
        }
        return walkedInto;
    }

    void leave(const GumboNode *node)
    {
        if (isCell(node)) {
            if (const auto cell = m_cells.find(node); cell != m_cells.end()) {
                CellTexts::Range &range = cell->second;
                m_text.stopWaiting(&range.start);
                range.end = m_text.size();
                if (range.start == std::string::npos)
                    range.start = range.end;  // nothing written: an empty text
            }
        }
        m_walker.leave(node);
    }

private:
    TextCollector &m_text;
    InnerTextWalker m_walker;
    std::unordered_map<const GumboNode *, CellTexts::Range> &m_cells;
};

// The cells that hold a table, each marked once: at a table, every cell open around it.
struct CellsHoldingTables {
    std::unordered_map<const GumboNode *, CellTexts::Range> &cells;
    std::vector<const GumboNode *> open;

    bool enter(const GumboNode *node)
    {
        if (node->type != GUMBO_NODE_ELEMENT || hasInertContent(node))
            return false;
        if (isHtmlElement(node, GUMBO_TAG_TABLE)) {
            // Cells further out were marked with the innermost one that was.
            for (auto it = open.rbegin(); it != open.rend() && cells.emplace(*it, CellTexts::Range{}).second; ++it) {
            }
        } else if (isCell(node)) {
            open.push_back(node);
        }
        return true;
    }
    void leave(const GumboNode *node)
    {
        if (isCell(node))
            open.pop_back();
    }
};

}  // namespace

CellTexts::CellTexts(const GumboNode *root)
{
    CellsHoldingTables holding{m_cells, {}};
    walkBelow(root, holding);
    if (m_cells.empty())
        return;
    TextCollector text(m_text);
    CellRangeWalker walker(text, m_cells);
    walkBelow(root, walker);
    // Cells the walk never reached (hidden, or in content that is not rendered) are read alone.
    std::erase_if(m_cells, [](const auto &cell) { return cell.second.end == std::string::npos; });
}

std::optional<std::string> CellTexts::find(const GumboNode *cell) const
{
    const auto it = m_cells.find(cell);
    if (it == m_cells.end())
        return std::nullopt;
    return m_text.substr(it->second.start, it->second.end - it->second.start);
}

void appendInnerText(const GumboNode *node, std::string &out)
{
    TextCollector text(out);
    InnerTextWalker walker(text);
    walkBelow(node, walker);
}

std::string optionText(const GumboNode *option)
{
    std::string out;
    TextCollector text(out);
    OptionTextWalker walker(text);
    walkBelow(option, walker);
    return out;
}

}  // namespace tabvoro::capture::html
