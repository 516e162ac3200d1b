#pragma once

// The gumbo tree of one page and the small helpers every reader of it shares (the serialiser,
// the text rules, the static document). Internal to the engine.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gumbo.h>

namespace tabvoro::capture::html {

// Gumbo's allocations, carved from large blocks and released together. A large page makes
// millions of small nodes, strings and vectors; one malloc chunk each costs a tenth of the
// tree's memory in headers and rounding, and freeing them one by one costs time.
class Arena {
public:
    Arena() = default;
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;

    void *allocate(std::size_t size);

private:
    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    std::byte *m_next = nullptr;
    std::size_t m_left = 0;
};

// One parsed page. The text stays here because gumbo's source-text pieces point into it.
class ParsedHtml {
public:
    explicit ParsedHtml(std::string html);
    ParsedHtml(const ParsedHtml &) = delete;
    ParsedHtml &operator=(const ParsedHtml &) = delete;

    const GumboNode *document() const { return m_output->document; }
    // The html element (always present: the parser creates it when the page has none).
    const GumboNode *root() const { return m_output->root; }

private:
    std::string m_html;
    // Every byte of the tree lives in the arena, so the tree goes with it; gumbo's own
    // destroy function would walk every node to free nothing.
    Arena m_arena;
    GumboOutput *m_output = nullptr;
};

inline bool isElement(const GumboNode *node)
{
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

inline bool isHtmlElement(const GumboNode *node, GumboTag tag)
{
    return isElement(node) && node->v.element.tag == tag &&
           node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

inline bool isText(const GumboNode *node)
{
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
           node->type == GUMBO_NODE_CDATA;
}

// Elements whose children a browser never makes: with scripts on, the content of <noscript> is
// one piece of text. Gumbo parses it as markup, so readers of the tree skip these children.
inline bool hasInertContent(const GumboNode *node)
{
    return isHtmlElement(node, GUMBO_TAG_NOSCRIPT);
}

// The ARIA roles that make a table of elements other than <table>: the first token of an HTML
// element's role attribute, compared without regard to case. An element outside the HTML
// namespace, or one whose role is missing or empty, has none of its own.
enum class AriaRole { None, Table, RowGroup, Row, Cell, Other };
AriaRole ariaRole(const GumboNode *element);

// The source text between an element's start and end tags; nullopt when either tag was not in
// the source.
std::optional<std::string_view> sourceContent(const GumboNode *element);

// The value of an attribute (names are matched without regard to case), nullptr when absent.
const char *attribute(const GumboNode *element, const char *name);

const GumboVector *childrenOf(const GumboNode *node);
const GumboNode *firstChild(const GumboNode *node);
const GumboNode *nextSibling(const GumboNode *node);

// The element's name as serialised HTML writes it: lower case for HTML, the adjusted mixed case
// of SVG ("foreignObject"). Appended to `out` so the serialiser allocates nothing per tag.
void appendLocalName(const GumboNode *element, std::string &out);
// The tagName a browser reports: upper case for HTML elements.
std::string tagName(const GumboNode *element);

// Visits the nodes below `root` in document order without recursion (pages nest deep enough
// to matter, and a walk over parent links needs no stack at all). `visitor.enter(node)` is
// called for every node reached and returns whether to walk into its children;
// `visitor.leave(node)` follows the children of every node walked into.
template <class Visitor>
void walkBelow(const GumboNode *root, Visitor &visitor)
{
    const GumboNode *node = firstChild(root);
    while (node) {
        if (visitor.enter(node)) {
            if (const GumboNode *child = firstChild(node)) {
                node = child;
                continue;
            }
            visitor.leave(node);
        }
        while (true) {
            if (const GumboNode *sibling = nextSibling(node)) {
                node = sibling;
                break;
            }
            node = node->parent;
            if (node == root || node == nullptr) {
                node = nullptr;
                break;
            }
            visitor.leave(node);
        }
    }
}

}  // namespace tabvoro::capture::html
