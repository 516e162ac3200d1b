#include "capture/document/html_serializer.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "capture/document/html_tree.h"

namespace tabvoro::capture::html {

namespace {

bool isVoid(const GumboNode *element)
{
    if (element->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return false;
    switch (element->v.element.tag) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_WBR:
        return true;
    default:
        return false;
    }
}

// Text inside these is written as it stands; the parser never decoded references in it.
bool holdsRawText(const GumboNode *parent)
{
    if (!parent || !isElement(parent) || parent->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return false;
    switch (parent->v.element.tag) {
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_NOSCRIPT:
        return true;
    default:
        return false;
    }
}

// Appends `text` with the characters a serialiser escapes; `inAttribute` picks the set.
void appendEscaped(std::string_view text, bool inAttribute, std::string &out)
{
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string_view replacement;
        std::size_t consumed = 1;
        if (c == '&')
            replacement = "&amp;";
        else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            replacement = "&nbsp;";
            consumed = 2;
        } else if (inAttribute && c == '"')
            replacement = "&quot;";
        else if (!inAttribute && c == '<')
            replacement = "&lt;";
        else if (!inAttribute && c == '>')
            replacement = "&gt;";
        else
            continue;
        out.append(text, runStart, i - runStart);
        out.append(replacement);
        i += consumed - 1;
        runStart = i + 1;
    }
    out.append(text, runStart, text.size() - runStart);
}

void appendAttributeName(const GumboAttribute &attr, std::string &out)
{
    switch (attr.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK:
        out.append("xlink:");
        break;
    case GUMBO_ATTR_NAMESPACE_XML:
        out.append("xml:");
        break;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
        if (std::strcmp(attr.name, "xmlns") != 0)
            out.append("xmlns:");
        break;
    case GUMBO_ATTR_NAMESPACE_NONE:
        break;
    }
    out.append(attr.name);
}

class Serializer {
public:
    explicit Serializer(std::string &out, const InnerHtmlRange *onElement = nullptr)
        : m_out(out), m_onElement(onElement)
    {
    }

    bool enter(const GumboNode *node)
    {
        switch (node->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            startTag(node);
            if (isVoid(node))
                return false;
            if (m_onElement)
                m_starts.push_back(m_out.size());
            if (hasInertContent(node)) {
                if (const auto source = sourceContent(node)) {
                    appendSourceText(*source);
                    leave(node);
                    return false;
                }
            }
            return true;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            if (holdsRawText(node->parent))
                m_out.append(node->v.text.text);
            else
                appendEscaped(node->v.text.text, false, m_out);
            return false;
        case GUMBO_NODE_COMMENT:
            m_out.append("<!--");
            m_out.append(node->v.text.text);
            m_out.append("-->");
            return false;
        case GUMBO_NODE_DOCUMENT:
            return true;
        }
        return false;
    }

    void leave(const GumboNode *node)
    {
        if (!isElement(node))
            return;
        if (m_onElement) {
            (*m_onElement)(node, m_starts.back(), m_out.size());
            m_starts.pop_back();
        }
        m_out.append("</");
        appendLocalName(node, m_out);
        m_out.push_back('>');
    }

private:
    void startTag(const GumboNode *node)
    {
        m_out.push_back('<');
        appendLocalName(node, m_out);
        const GumboVector &attributes = node->v.element.attributes;
        for (unsigned i = 0; i < attributes.length; ++i) {
            const auto &attr = *static_cast<const GumboAttribute *>(attributes.data[i]);
            m_out.push_back(' ');
            appendAttributeName(attr, m_out);
            m_out.append("=\"");
            appendEscaped(attr.value, true, m_out);
            m_out.push_back('"');
        }
        m_out.push_back('>');
    }

    // Source text as the browser's input stream has it: CR LF and lone CR become LF.
    void appendSourceText(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\r') {
                m_out.push_back(text[i]);
                continue;
            }
            m_out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        }
    }

    std::string &m_out;
    const InnerHtmlRange *m_onElement;
    std::vector<std::size_t> m_starts;  // where the children of each open element begin
};

}  // namespace

void appendInnerHtml(const GumboNode *node, std::string &out)
{
    Serializer serializer(out);
    walkBelow(node, serializer);
}

void appendOuterHtml(const GumboNode *element, std::string &out)
{
    Serializer serializer(out);
    if (serializer.enter(element)) {
        walkBelow(element, serializer);
        serializer.leave(element);
    }
}

void appendInnerHtml(const GumboNode *node, std::string &out, const InnerHtmlRange &onElement)
{
    Serializer serializer(out, &onElement);
    walkBelow(node, serializer);
}

}  // namespace tabvoro::capture::html
