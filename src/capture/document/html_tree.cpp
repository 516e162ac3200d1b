#include "capture/document/html_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tabvoro::capture::html {

namespace {

// Large enough that the page of a big table needs only a hundred blocks, small enough that a
// page of a few lines does not reserve much.
constexpr std::size_t kBlockSize = std::size_t{4} << 20;
constexpr std::size_t kSmallPageBlock = std::size_t{64} << 10;

// Gumbo's structures hold pointers, sizes and ints, nothing aligned wider.
constexpr std::size_t kAlignment = alignof(void *);
static_assert(alignof(GumboNode) <= kAlignment && alignof(GumboAttribute) <= kAlignment);

void *arenaAllocate(void *arena, std::size_t size)
{
    return static_cast<Arena *>(arena)->allocate(size);
}

void arenaFree(void *, void *) {}

bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The tag name as written in the source ("<My-Tag a=1>" gives "My-Tag"); empty for elements
// the parser made up.
std::string_view sourceTagName(const GumboElement &element)
{
    std::string_view text(element.original_tag.data ? element.original_tag.data : "",
                          element.original_tag.length);
    if (text.empty() || text.front() != '<')
        return {};
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '/')
        text.remove_prefix(1);
    if (text.empty() || !isAsciiAlpha(text.front()))
        return {};
    const auto end = text.find_first_of(" \t\n\f\r/>");
    return text.substr(0, end);
}

}  // namespace

void *Arena::allocate(std::size_t size)
{
    size = (size + kAlignment - 1) & ~(kAlignment - 1);
    if (size > m_left) {
        // A request larger than a block gets a block of its own, leaving the current one open.
        const std::size_t blockSize =
            std::max(size, m_blocks.empty() ? kSmallPageBlock : kBlockSize);
        auto &block = m_blocks.emplace_back(new std::byte[blockSize]);
        if (size > kBlockSize)
            return block.get();
        m_next = block.get();
        m_left = blockSize;
    }
    void *result = m_next;
    m_next += size;
    m_left -= size;
    return result;
}

namespace {

// The length of a character gumbo turns into U+FFFD where browsers keep it, at text[i]; 0 for
// any other: C0 controls other than the blanks (and NUL, which browsers drop too), DEL, the C1
// controls that windows-1252 pages hold (0x81, 0x8D, 0x8F, 0x90, 0x9D) and the noncharacters of
// the BMP.
std::size_t keptControlAt(std::string_view text, std::size_t i)
{
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b > 0 && b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') || b == 0x7F)
        return 1;
    auto next = [&text, i](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
    if (b == 0xC2) {
        const unsigned char c = next(1);
        return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D ? 2 : 0;
    }
    if (b == 0xEF) {
        const unsigned char c = next(1);
        const unsigned char d = next(2);
        return (c == 0xB7 && d >= 0x90 && d <= 0xAF) || (c == 0xBF && (d == 0xBE || d == 0xBF)) ? 3 : 0;
    }
    return 0;
}

// Gumbo replaces those characters by U+FFFD but keeps the same characters written as character
// references (the references of the other C1 controls stand for windows-1252 characters, so
// those stay as they are). Within scripts and comments a reference stays a reference, which no
// text of the page shows.
std::string withKeptControls(std::string html)
{
    std::size_t i = 0;
    while (i < html.size() && keptControlAt(html, i) == 0)
        ++i;
    if (i == html.size())
        return html;
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(html, 0, i);
    while (i < html.size()) {
        const std::size_t length = keptControlAt(html, i);
        if (length == 0) {
            out.push_back(html[i++]);
            continue;
        }
        std::uint32_t cp = static_cast<unsigned char>(html[i]);
        if (length == 2)
            cp = ((cp & 0x1F) << 6) | (static_cast<unsigned char>(html[i + 1]) & 0x3F);
        else if (length == 3)
            cp = ((cp & 0x0F) << 12) | ((static_cast<unsigned char>(html[i + 1]) & 0x3F) << 6) |
                 (static_cast<unsigned char>(html[i + 2]) & 0x3F);
        out += "&#x";
        for (int shift = cp > 0xFFF ? 12 : cp > 0xFF ? 8 : 4; shift >= 0; shift -= 4)
            out.push_back(kHex[(cp >> shift) & 0xF]);
        out.push_back(';');
        i += length;
    }
    return out;
}

}  // namespace

ParsedHtml::ParsedHtml(std::string html) : m_html(withKeptControls(std::move(html)))
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = arenaAllocate;
    options.deallocator = arenaFree;
    options.userdata = &m_arena;
    // Parse errors are never read; recording them costs memory on sloppy pages.
    options.max_errors = 0;
    m_output = gumbo_parse_with_options(&options, m_html.data(), m_html.size());
}

std::optional<std::string_view> sourceContent(const GumboNode *element)
{
    const GumboElement &e = element->v.element;
    if (!e.original_tag.data || !e.original_end_tag.data)
        return std::nullopt;
    const char *start = e.original_tag.data + e.original_tag.length;
    if (e.original_end_tag.data < start)
        return std::nullopt;
    return std::string_view(start, static_cast<std::size_t>(e.original_end_tag.data - start));
}

const char *attribute(const GumboNode *element, const char *name)
{
    if (!isElement(element))
        return nullptr;
    const GumboAttribute *attr = gumbo_get_attribute(&element->v.element.attributes, name);
    return attr ? attr->value : nullptr;
}

AriaRole ariaRole(const GumboNode *element)
{
    if (!isElement(element) || element->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return AriaRole::None;
    const char *value = attribute(element, "role");
    if (!value)
        return AriaRole::None;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; };
    while (blank(*value))
        ++value;
    std::string token;
    for (; *value && !blank(*value); ++value)
        token.push_back(*value >= 'A' && *value <= 'Z' ? static_cast<char>(*value - 'A' + 'a') : *value);
    if (token.empty())
        return AriaRole::None;
    if (token == "table" || token == "grid" || token == "treegrid")
        return AriaRole::Table;
    if (token == "rowgroup")
        return AriaRole::RowGroup;
    if (token == "row")
        return AriaRole::Row;
    if (token == "cell" || token == "gridcell" || token == "columnheader" || token == "rowheader")
        return AriaRole::Cell;
    return AriaRole::Other;
}

const GumboVector *childrenOf(const GumboNode *node)
{
    switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
        return &node->v.document.children;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
        return &node->v.element.children;
    default:
        return nullptr;
    }
}

const GumboNode *firstChild(const GumboNode *node)
{
    const GumboVector *children = childrenOf(node);
    return children && children->length > 0 ? static_cast<const GumboNode *>(children->data[0])
                                            : nullptr;
}

const GumboNode *nextSibling(const GumboNode *node)
{
    if (!node->parent)
        return nullptr;
    const GumboVector *siblings = childrenOf(node->parent);
    const std::size_t next = node->index_within_parent + 1;
    return siblings && next < siblings->length ? static_cast<const GumboNode *>(siblings->data[next])
                                               : nullptr;
}

void appendLocalName(const GumboNode *element, std::string &out)
{
    const GumboElement &e = element->v.element;
    if (e.tag != GUMBO_TAG_UNKNOWN && e.tag_namespace != GUMBO_NAMESPACE_SVG) {
        out.append(gumbo_normalized_tagname(e.tag));
        return;
    }
    std::string_view name = sourceTagName(e);
    if (name.empty())
        name = e.tag != GUMBO_TAG_UNKNOWN ? gumbo_normalized_tagname(e.tag) : "unknown";
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
        const GumboStringPiece piece{name.data(), name.size()};
        if (const char *adjusted = gumbo_normalize_svg_tagname(&piece)) {
            out.append(adjusted);
            return;
        }
    }
    const std::size_t start = out.size();
    out.append(name);
    std::transform(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), out.begin() + static_cast<std::ptrdiff_t>(start),
                   lowerAscii);
}

std::string tagName(const GumboNode *element)
{
    std::string name;
    appendLocalName(element, name);
    if (element->v.element.tag_namespace == GUMBO_NAMESPACE_HTML)
        for (char &c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
    return name;
}

}  // namespace tabvoro::capture::html
