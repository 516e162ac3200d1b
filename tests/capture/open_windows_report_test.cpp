#include "capture/open_windows_report.h"

#include <gtest/gtest.h>

#include "capture/document/static_document.h"

namespace tabvoro::capture {
namespace {

std::unique_ptr<StaticDocument> page(const std::string &body)
{
    return StaticDocument::parse("<html><body>" + body + "</body></html>", "http://a.example/");
}

TEST(OpenWindowsReport, ListsTablesPerWindowAndChoosesTheLongest)
{
    // A table with a one-cell first row is not listed, and so never chosen, however long.
    const auto a = page("<p>下一页</p><table><tr><td>1</td></tr><tr><td>a much longer second row than any</td></tr></table>"
                        "<table><tr><td> 名 </td><td>值</td></tr></table>");
    const auto b = page("<table><tr><td>a</td><td>b</td><td>c</td></tr><tr><td>a longer second row</td></tr></table>"
                        "<table><tr><td>x</td><td>y</td><td>z</td></tr><tr><td>a longer second row</td></tr></table>");
    const auto oneCell = page("<table><tr><td>only</td></tr></table>");
    const auto report = reportOpenWindows({{"A", a.get()}, {"B", b.get()}, {"C", oneCell.get()}, {"D", nullptr}});

    EXPECT_EQ(report.windows, 4u);
    EXPECT_EQ(report.entries, (std::vector<TableEntry>{{1, "名,值,"}, {1, "a,b,c,"}, {2, "x,y,z,"}}));
    EXPECT_EQ(report.chosen, 1u);  // of two equally long tables, the first
    EXPECT_EQ(report.chosenUrl, "B");
    EXPECT_TRUE(report.nextPageWordFound);
    EXPECT_EQ(report.text, "\r\n\r\nA\r\n此页面共含表格1个\r\n\r\n\r\nB\r\n此页面共含表格2个\r\n"
                           "\r\n\r\nC\r\n此页面没有表格\r\n\r\n\r\nD\r\n此页面没有表格\r\n");
    EXPECT_FALSE(reportOpenWindows({{"C", oneCell.get()}}).chosen);
}

TEST(OpenWindowsReport, StartUpEntryForm)
{
    std::string wide;
    for (int i = 0; i < 300; ++i)
        wide += "表";
    const std::pair<std::string, std::string> cases[] = {
        {"<td>上<br>半</td><td> b </td>", "上半,b,"},  // the line break inside goes
        {"<td colspan=3>w</td><td>x</td>", "w,,,x,"},
        {"<td>" + wide + "</td><td>x</td>", wide.substr(0, 255 * 3)},  // 255 characters
    };
    for (const auto &[row, signature] : cases) {
        const auto document = page("<table><tr>" + row + "</tr></table>");
        EXPECT_EQ(reportOpenWindows({{"u", document.get()}}).entries, (std::vector<TableEntry>{{1, signature}}));
    }
}

}  // namespace
}  // namespace tabvoro::capture
