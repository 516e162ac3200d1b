#include "capture/page_document.h"

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

}  // namespace tabvoro::capture
