#include "capture/page_document.h"

namespace tabvoro::capture {

Read<bool> Table::rowHtmlContains(std::size_t row, const std::string &needle) const
{
    auto html = rowInnerHtml(row);
    if (!html)
        return std::unexpected(html.error());
    return html->find(needle) != std::string::npos;
}

}  // namespace tabvoro::capture
