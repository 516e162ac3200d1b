#include "capture/document/record_lists.h"

#include <algorithm>
#include <unordered_map>

#include "capture/document/html_tree.h"
#include "capture/document/inner_text.h"

namespace tabvoro::capture::html {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// More than blanks and no-break spaces.
bool holdsVisibleText(const char *text)
{
    for (const char *c = text; *c; ++c) {
        if (isBlank(*c))
            continue;
        if (c[0] == '\xC2' && c[1] == '\xA0') {
            ++c;
            continue;
        }
        return true;
    }
    return false;
}

bool skipped(const GumboNode *element)
{
    if (element->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return false;
    switch (element->v.element.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
        return true;
    default:
        break;
    }
    if (isHiddenElement(element))
        return true;
    const char *ariaHidden = attribute(element, "aria-hidden");
    if (!ariaHidden)
        return false;
    std::string_view value = ariaHidden;
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isBlank(value.back()))
        value.remove_suffix(1);
    return value.size() == 4 && (value[0] | 0x20) == 't' && (value[1] | 0x20) == 'r' && (value[2] | 0x20) == 'u' &&
           (value[3] | 0x20) == 'e';
}

// A site's menus repeat their items as lists do: role navigation, menu or menubar.
bool isMenuRole(const GumboNode *element)
{
    const char *value = attribute(element, "role");
    if (!value)
        return false;
    while (isBlank(*value))
        ++value;
    std::string token;
    for (; *value && !isBlank(*value); ++value)
        token.push_back(*value >= 'A' && *value <= 'Z' ? static_cast<char>(*value - 'A' + 'a') : *value);
    return token == "navigation" || token == "menu" || token == "menubar";
}

bool closed(const GumboNode *element)
{
    return element->v.element.tag_namespace != GUMBO_NAMESPACE_HTML || isHtmlElement(element, GUMBO_TAG_TABLE) ||
           isHtmlElement(element, GUMBO_TAG_NAV) || ariaRole(element) == AriaRole::Table || isMenuRole(element);
}

bool isRowRole(const GumboNode *element)
{
    const AriaRole role = ariaRole(element);
    return role == AriaRole::Row || role == AriaRole::RowGroup || role == AriaRole::Cell;
}

bool recordLike(const GumboNode *element)
{
    if (isRowRole(element))
        return false;
    if (isHtmlElement(element, GUMBO_TAG_LI) || isHtmlElement(element, GUMBO_TAG_ARTICLE))
        return true;
    const char *cls = attribute(element, "class");
    return cls && !std::all_of(cls, cls + std::char_traits<char>::length(cls), isBlank);
}

// Tag name, a blank, and the class attribute's tokens joined by single blanks.
std::string signature(const GumboNode *element)
{
    std::string out;
    appendLocalName(element, out);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (const char *cls = attribute(element, "class")) {
        bool gap = true;
        for (const char *c = cls; *c; ++c) {
            if (isBlank(*c)) {
                gap = true;
                continue;
            }
            if (gap)
                out.push_back(' ');
            gap = false;
            out.push_back(*c);
        }
    }
    return out;
}

}  // namespace

void RecordListFinder::text(const GumboNode *node)
{
    if (m_closedAt || m_open.empty() || !isText(node) || node->type == GUMBO_NODE_WHITESPACE)
        return;
    if (!m_open.back().ownText && holdsVisibleText(node->v.text.text))
        m_open.back().ownText = true;
}

void RecordListFinder::enter(const GumboNode *element, std::size_t order)
{
    if (m_closedAt)
        return;
    if (skipped(element) || closed(element)) {
        m_closedAt = element;
        return;
    }
    m_open.push_back({element, order, m_kids.size()});
}

void RecordListFinder::leave(const GumboNode *element)
{
    if (m_closedAt) {
        if (element == m_closedAt)
            m_closedAt = nullptr;
        return;
    }
    if (!m_open.empty() && m_open.back().element == element)
        close();
}

void RecordListFinder::close()
{
    const Open open = m_open.back();
    m_open.pop_back();
    const GumboNode *element = open.element;

    unsigned pieces = 0;
    bool hasText = open.ownText;
    bool holdsList = false;
    std::size_t recordKids = 0;
    for (std::size_t k = open.kidsBegin; k < m_kids.size(); ++k) {
        pieces = std::min(2u, pieces + m_kids[k].pieces);
        hasText = hasText || m_kids[k].hasText;
        holdsList = holdsList || m_kids[k].holdsList;
        recordKids += m_kids[k].recordLike;
    }

    bool isList = false;
    if (recordKids >= 3 && !isRowRole(element)) {
        struct Group {
            std::size_t count = 0;
            std::size_t first = 0;
            bool allHoldTwo = true;
        };
        std::unordered_map<std::string, Group> groups;
        std::vector<std::string> signatures(m_kids.size() - open.kidsBegin);
        const Group *best = nullptr;
        const std::string *bestSignature = nullptr;
        for (std::size_t k = open.kidsBegin; k < m_kids.size(); ++k) {
            if (!m_kids[k].recordLike)
                continue;
            std::string &sig = signatures[k - open.kidsBegin];
            sig = signature(m_kids[k].element);
            auto [it, added] = groups.try_emplace(sig, Group{0, k, true});
            Group &group = it->second;
            ++group.count;
            group.allHoldTwo = group.allHoldTwo && m_kids[k].pieces >= 2;
            if (!best || group.count > best->count || (group.count == best->count && group.first < best->first)) {
                best = &group;
                bestSignature = &it->first;
            }
        }
        if (best && best->count >= 3 && best->allHoldTwo) {
            isList = true;
            RecordList list{element, open.order, {}};
            list.records.reserve(best->count);
            for (std::size_t k = open.kidsBegin; k < m_kids.size(); ++k) {
                if (m_kids[k].recordLike && signatures[k - open.kidsBegin] == *bestSignature) {
                    list.records.push_back(m_kids[k].element);
                    m_records.insert(m_kids[k].element);
                }
            }
            m_parents.insert(element);
            m_lists.push_back(std::move(list));
        }
    }

    const bool piece = !holdsList && !isList && (open.ownText || (isHtmlElement(element, GUMBO_TAG_A) && hasText));
    if (piece)
        m_pieces.insert(element);
    m_kids.resize(open.kidsBegin);
    m_kids.push_back({element, static_cast<unsigned char>(isList ? 0 : piece ? 1 : pieces), !isList && hasText,
                      isList || holdsList, recordLike(element)});
}

RecordCells recordCells(const RecordList &list, const RecordListFinder &finder)
{
    // A path is its parent's path, the element's signature and its rank among its siblings of
    // that signature; each gets a number the first time it is met.
    std::unordered_map<std::string, std::size_t> pathNumbers;
    std::vector<std::size_t> columnOf;  // by path number; npos for none yet
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t columns = 0;
    std::vector<std::vector<std::pair<std::size_t, const GumboNode *>>> found(list.records.size());

    struct Step {
        const GumboNode *element;
        std::size_t path;
    };
    std::vector<Step> stack;
    std::vector<Step> children;
    std::unordered_map<std::string, std::size_t> ranks;
    std::string key;
    for (std::size_t r = 0; r < list.records.size(); ++r) {
        stack.push_back({list.records[r], none});
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            if (step.path != none) {
                if (finder.isPiece(step.element)) {
                    if (columnOf.size() <= step.path)
                        columnOf.resize(step.path + 1, none);
                    if (columnOf[step.path] == none && columns < kMaxRecordColumns)
                        columnOf[step.path] = columns++;
                    if (columnOf[step.path] != none)
                        found[r].emplace_back(columnOf[step.path], step.element);
                    continue;
                }
                if (closed(step.element) || finder.isListParent(step.element))
                    continue;
            }
            children.clear();
            ranks.clear();
            for (const GumboNode *child = firstChild(step.element); child; child = nextSibling(child)) {
                if (child->type != GUMBO_NODE_ELEMENT || hasInertContent(child) || skipped(child))
                    continue;
                const std::string sig = signature(child);
                const std::size_t rank = ranks[sig]++;
                key = std::to_string(step.path) + '/' + std::to_string(rank) + '/' + sig;
                const auto [it, added] = pathNumbers.try_emplace(key, pathNumbers.size());
                children.push_back({child, it->second});
            }
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
    }

    RecordCells cells;
    cells.columns = columns;
    cells.cells.assign(list.records.size() * columns, nullptr);
    for (std::size_t r = 0; r < found.size(); ++r)
        for (const auto &[column, piece] : found[r])
            cells.cells[r * columns + column] = piece;
    return cells;
}

}  // namespace tabvoro::capture::html
