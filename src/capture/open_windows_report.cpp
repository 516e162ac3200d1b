#include "capture/open_windows_report.h"

#include "capture/table_listing.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

OpenWindowsReport reportOpenWindows(const std::vector<OpenWindow> &windows)
{
    OpenWindowsReport report;
    std::size_t bestLength = 0;
    for (const OpenWindow &window : windows) {
        ++report.windows;
        report.text += std::string(kCrLf) + std::string(kCrLf) + window.url + std::string(kCrLf);
        std::size_t listed = 0;
        const std::size_t tables = window.document ? window.document->tableCount().value_or(0) : 0;
        for (std::size_t n = 0; n < tables; ++n) {
            const auto table = window.document->table(n);
            if (!table || !*table || (*table)->rowCount().value_or(0) == 0 || (*table)->cellCount(0).value_or(0) < 2)
                continue;
            ++listed;
            const std::string signature = tableSignature(**table, true);
            report.entries.push_back({listed, std::string(utf8Prefix(signature, kStartUpSignatureLength))});
            const std::size_t length = (*table)->textLength().value_or(0);
            if (length > bestLength) {
                bestLength = length;
                report.chosen = report.entries.size() - 1;
                report.chosenUrl = window.url;
            }
        }
        if (listed > 0) {
            report.text += "此页面共含表格" + std::to_string(listed) + "个" + std::string(kCrLf);
            const auto body = window.document->bodyText();
            if (body && body->find(kNextPageWord) != std::string::npos)
                report.nextPageWordFound = true;
        } else {
            report.text += "此页面没有表格" + std::string(kCrLf);
        }
    }
    return report;
}

std::string startUpReportText(const std::string &report, const std::string &previousText)
{
    return kStartUpReportHeading + report + std::string(kCrLf) + std::string(kCrLf) + previousText;
}

}  // namespace tabvoro::capture
