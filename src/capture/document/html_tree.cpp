#include "capture/document/html_tree.h"

#include <algorithm>
#include <cstring>

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

ParsedHtml::ParsedHtml(std::string html) : m_html(std::move(html))
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
