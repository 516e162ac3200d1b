#include "capture/document/page_document.h"

namespace tabvoro::capture {

Read<bool> Table::rowHtmlContains(std::size_t row, const std::string &needle) const
{
    auto html = rowInnerHtml(row);
    if (!html)
        return std::unexpected(html.error());
    return html->find(needle) != std::string::npos;
}

Read<bool> Table::textStartsWith(const std::string &prefix) const
{
    auto all = text();
    if (!all)
        return std::unexpected(all.error());
    return all->starts_with(prefix);
}

Read<std::size_t> Table::textLength() const
{
    auto all = text();
    if (!all)
        return std::unexpected(all.error());
    return utf8Length(*all);
}

Read<bool> Element::innerHtmlContains(const std::string &needle) const
{
    auto html = innerHtml();
    if (!html)
        return std::unexpected(html.error());
    return html->find(needle) != std::string::npos;
}

}  // namespace tabvoro::capture
