#pragma once

// innerHTML of a gumbo node, written as a browser serialises it. Internal to the engine.

#include <cstddef>
#include <functional>
#include <string>

#include <gumbo.h>

namespace tabvoro::capture::html {

// Appends the serialised children of `node` to `out`.
void appendInnerHtml(const GumboNode *node, std::string &out);

// The same, telling for each element below `node` whose children it writes where they stand in
// `out`: the inner HTML of every element of a tree from one serialisation.
using InnerHtmlRange = std::function<void(const GumboNode *element, std::size_t start, std::size_t end)>;
void appendInnerHtml(const GumboNode *node, std::string &out, const InnerHtmlRange &onElement);

// Appends the element itself, its tags and its children, as outerHTML gives it.
void appendOuterHtml(const GumboNode *element, std::string &out);

inline std::string innerHtml(const GumboNode *node)
{
    std::string out;
    appendInnerHtml(node, out);
    return out;
}

}  // namespace tabvoro::capture::html
