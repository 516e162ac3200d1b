#pragma once

// innerText of a gumbo node, as close to a browser's as a page without style sheets allows.
// Internal to the engine.
//
// What it follows: runs of blanks collapse to one and vanish at line ends; <br> and the end of
// a table row give a line break; block elements give a line break before and after them (a
// paragraph a blank line); cells of one row are separated by a tab; script, style, head and
// hidden elements give nothing; pre and textarea keep their blanks and line breaks; a select
// gives its options one a line. Every line break is CR LF.

#include <optional>
#include <string>
#include <unordered_map>

#include <gumbo.h>

namespace tabvoro::capture::html {

// Appends the innerText of the children of `node` to `out`.
void appendInnerText(const GumboNode *node, std::string &out);

inline std::string innerText(const GumboNode *node)
{
    std::string out;
    appendInnerText(node, out);
    return out;
}

// The innerText of every cell of a tree that holds a table, from one walk of the tree. A cell
// holding tables nested n deep would otherwise walk all n levels, and each of those cells
// again: n² in all. Any other cell is cheap to read alone.
class CellTexts {
public:
    explicit CellTexts(const GumboNode *root);

    // The cell's innerText when it is one of these cells, else nothing.
    std::optional<std::string> find(const GumboNode *cell) const;

    struct Range {
        std::size_t start = std::string::npos;
        std::size_t end = std::string::npos;
    };

private:
    std::string m_text;
    std::unordered_map<const GumboNode *, Range> m_cells;
};

// Hidden by its own markup: the hidden attribute, or display: none in its style attribute.
bool isHiddenElement(const GumboNode *element);

// The `text` of an option: its text with runs of blanks collapsed and none at either end.
std::string optionText(const GumboNode *option);

}  // namespace tabvoro::capture::html
