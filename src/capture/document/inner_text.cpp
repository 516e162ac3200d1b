#include "capture/document/inner_text.h"

#include <algorithm>
#include <unordered_map>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "capture/document/html_tree.h"

namespace tabvoro::capture::html {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The display an element's own style attribute gives it, of the values that decide its text.
enum class Display { None, Block, Inline, InlineBlock };

bool equalsNoCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t k = 0; k < lower.size(); ++k)
        if (lowerAscii(text[k]) != lower[k])
            return false;
    return true;
}

std::string_view trimmedBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<Display> displayValue(std::string_view value)
{
    value = trimmedBlanks(value);
    if (const auto bang = value.find('!'); bang != std::string_view::npos)
        value = trimmedBlanks(value.substr(0, bang));
    constexpr std::pair<std::string_view, Display> kValues[] = {
        {"none", Display::None},          {"block", Display::Block},
        {"list-item", Display::Block},    {"table", Display::Block},
        {"flex", Display::Block},         {"grid", Display::Block},
        {"flow-root", Display::Block},    {"inline", Display::Inline},
        {"contents", Display::Inline},    {"inline-block", Display::InlineBlock},
        {"inline-flex", Display::InlineBlock}, {"inline-grid", Display::InlineBlock},
        {"inline-table", Display::InlineBlock},
    };
    for (const auto &[name, display] : kValues)
        if (equalsNoCase(value, name))
            return display;
    // Table parts, ruby and values no browser knows: the element keeps its own display.
    return std::nullopt;
}

// The display an inline style sets: its last "display" declaration with a value that counts,
// as the cascade takes the last. Pages show and hide rows, menus and list items this way.
std::optional<Display> styleDisplay(const GumboNode *element)
{
    const char *style = attribute(element, "style");
    if (!style)
        return std::nullopt;
    std::optional<Display> display;
    std::string_view rest = style;
    while (!rest.empty()) {
        const auto end = std::min(rest.find(';'), rest.size());
        const std::string_view declaration = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const auto colon = declaration.find(':');
        if (colon == std::string_view::npos || !equalsNoCase(trimmedBlanks(declaration.substr(0, colon)), "display"))
            continue;
        if (const auto value = displayValue(declaration.substr(colon + 1)))
            display = value;
    }
    return display;
}

// Hidden by the hidden attribute (unless the style shows it after all) or by display: none.
bool isHidden(const GumboNode *element, std::optional<Display> display)
{
    if (display)
        return *display == Display::None;
    return attribute(element, "hidden") != nullptr;
}

// Controls and embedded content: boxes that stand on a line like a character but give no text.
// The blanks on either side of one are not collapsed together ("x <input> y" reads "x  y").
bool isAtomicBox(const GumboNode *element)
{
    switch (element->v.element.tag) {
    case GUMBO_TAG_INPUT: {
        const char *type = attribute(element, "type");
        return !type || !equalsNoCase(trimmedBlanks(type), "hidden");
    }
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_CANVAS:
        return true;
    case GUMBO_TAG_AUDIO:
        return attribute(element, "controls") != nullptr;
    default:
        return false;
    }
}

// Elements whose display the style attribute does not change here: the table parts, the
// options of a select, line breaks and paragraphs follow rules of their own.
bool keepsOwnDisplay(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_P:
        return true;
    default:
        return false;
    }
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

// A cell of a <table> or of a table made of roles.
bool isAnyCell(const GumboNode *node)
{
    return isCell(node) || ariaRole(node) == AriaRole::Cell;
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
        m_lineStart = true;
        if (m_started)
            m_pendingBreaks = std::max(m_pendingBreaks, count);
    }

    void newline() { item(kLineBreak); }
    void tab() { item("\t"); }

    // A box on the line that shows no text of its own (a control, an image): blanks before it
    // stay as one blank, and the blanks after it are not at the start of the line.
    void atomic()
    {
        if (m_pendingSpace && !m_lineStart) {
            flushBreaks();
            m_out.push_back(' ');
            m_started = true;
        }
        m_pendingSpace = false;
        m_lineStart = false;
    }

    // The inside of an inline block is a line box of its own: blanks at its ends vanish.
    void enterInlineBlock()
    {
        atomic();
        m_lineStart = true;
    }
    void leaveInlineBlock()
    {
        m_pendingSpace = false;
        m_lineStart = false;
    }

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
        const bool space = m_pendingSpace && !m_lineStart;
        flushBreaks();
        if (space)
            m_out.push_back(' ');
        m_pendingSpace = false;
        m_out.append(text);
        m_started = true;
        m_lineStart = false;
    }

    void flushBreaks()
    {
        for (; m_pendingBreaks > 0; --m_pendingBreaks)
            m_out.append(kLineBreak);
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
    // Nothing stands on the current line yet, so blanks here are not shown.
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

// How an element stands in the text: a block starts and ends lines, an inline block is a box on
// the line with a line of its own inside, an inline element is neither.
enum class Box { Inline, Block, InlineBlock };

Box boxOf(const GumboNode *element, std::optional<Display> display)
{
    const GumboTag tag = element->v.element.tag;
    if (display && !keepsOwnDisplay(tag))
        return *display == Display::Block ? Box::Block : *display == Display::InlineBlock ? Box::InlineBlock : Box::Inline;
    if (tag == GUMBO_TAG_BUTTON)
        return Box::InlineBlock;
    return isBlock(tag) || keepsBlanks(tag) ? Box::Block : Box::Inline;
}

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
        if (node->type != GUMBO_NODE_ELEMENT)
            return false;
        const auto display = styleDisplay(node);
        if (isHidden(node, display))
            return false;
        const GumboElement &e = node->v.element;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML)
            return e.tag != GUMBO_TAG_TITLE && e.tag != GUMBO_TAG_DESC && e.tag != GUMBO_TAG_STYLE &&
                   e.tag != GUMBO_TAG_SCRIPT;
        if (isAtomicBox(node)) {
            if (boxOf(node, display) == Box::Block)
                m_text.requireBreaks(1);
            else
                m_text.atomic();
            return false;
        }
        if (rendersNoText(e.tag))
            return false;
        switch (e.tag) {
        case GUMBO_TAG_BR:
            m_text.newline();
            return false;
        case GUMBO_TAG_SELECT:
            // One box on the line, whose innerText lists the options each on a line of its own.
            m_text.atomic();
            selectOptions(node);
            m_text.leaveInlineBlock();
            return false;
        case GUMBO_TAG_P:
            // A paragraph's blank lines do not depend on its display.
            m_text.requireBreaks(2);
            return true;
        default:
            break;
        }
        if (keepsBlanks(e.tag))
            ++m_keepBlanks;
        switch (boxOf(node, display)) {
        case Box::Block:
            m_text.requireBreaks(1);
            break;
        case Box::InlineBlock:
            m_text.enterInlineBlock();
            break;
        case Box::Inline:
            break;
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
        if (keepsBlanks(e.tag))
            --m_keepBlanks;
        switch (boxOf(node, styleDisplay(node))) {
        case Box::Block:
            m_text.requireBreaks(1);
            break;
        case Box::InlineBlock:
            m_text.leaveInlineBlock();
            break;
        case Box::Inline:
            break;
        }
    }

private:
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

    // An option's text as the option reads it (its label does not count), on a line of its own.
    void option(const GumboNode *option)
    {
        m_text.requireBreaks(1);
        OptionTextWalker walker(m_text);
        walkBelow(option, walker);
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
        if (walkedInto && isAnyCell(node)) {
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
        if (isAnyCell(node)) {
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
        if (isHtmlElement(node, GUMBO_TAG_TABLE) || ariaRole(node) == AriaRole::Table) {
            // Cells further out were marked with the innermost one that was.
            for (auto it = open.rbegin(); it != open.rend() && cells.emplace(*it, CellTexts::Range{}).second; ++it) {
            }
        } else if (isAnyCell(node)) {
            open.push_back(node);
        }
        return true;
    }
    void leave(const GumboNode *node)
    {
        // Only a cell that was entered: a role cell can be an element this walk does not enter
        // (a template).
        if (!open.empty() && open.back() == node)
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

bool isHiddenElement(const GumboNode *element)
{
    return element->type == GUMBO_NODE_ELEMENT && isHidden(element, styleDisplay(element));
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
