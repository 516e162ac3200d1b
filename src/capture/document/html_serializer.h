#pragma once

// innerHTML of a gumbo node, written as a browser serialises it. Internal to the engine.

#include <string>

#include <gumbo.h>

namespace tabvoro::capture::html {

// Appends the serialised children of `node` to `out`.
void appendInnerHtml(const GumboNode *node, std::string &out);

inline std::string innerHtml(const GumboNode *node)
{
    std::string out;
    appendInnerHtml(node, out);
    return out;
}

}  // namespace tabvoro::capture::html
