#include "capture/output/xlsx_export.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include <gtest/gtest.h>

#include "capture/output/code_page.h"
#include "capture/output/ruled_text.h"
#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::readBytes;
using tabvoro::test::ScratchDir;
using tabvoro::test::writeBytes;
namespace fs = std::filesystem;

namespace {

std::string unzipped(const std::string &xlsx, const std::string &member)
{
    const std::string command = "unzip -p '" + xlsx + "' " + member + " 2>/dev/null";
    std::string out;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// The worksheet's cells as "n:VALUE" for a number and "s:TEXT" for a string, by reference.
std::map<std::string, std::string> cells(const std::string &xlsx)
{
    const std::string sheet = unzipped(xlsx, "xl/worksheets/sheet1.xml");
    std::map<std::string, std::string> found;
    static const std::regex cell(R"re(<c r="([A-Z]+[0-9]+)"([^>]*)>(.*?)</c>)re");
    for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), cell); it != std::sregex_iterator(); ++it) {
        const std::string attributes = (*it)[2], inner = (*it)[3];
        static const std::regex number(R"(^<v>([^<]*)</v>$)"), inlineText(R"(^<is><t[^>]*>([^<]*)</t></is>$)");
        std::smatch part;
        if (attributes.find("t=\"inlineStr\"") != std::string::npos && std::regex_match(inner, part, inlineText))
            found[(*it)[1]] = "s:" + part[1].str();
        else if ((attributes.empty() || attributes.find("t=\"n\"") != std::string::npos) &&
                 std::regex_match(inner, part, number))
            found[(*it)[1]] = "n:" + part[1].str();
        else
            found[(*it)[1]] = "?:" + attributes + inner;
    }
    return found;
}

std::string gb18030(std::string_view utf8) { return encodeText(utf8, "GB18030")->bytes; }

using Cells = std::map<std::string, std::string>;

}  // namespace

// The program's own ".csv" in its code page: the first row frozen, numbers as numbers, fields a
// spreadsheet would change (a leading zero, 16 digits) and quotes as text, empty fields no cell.
TEST(XlsxExport, CsvRowsBecomeNumbersAndText)
{
    ScratchDir dir;
    writeBytes(dir.file("site1.csv"),
               gb18030("名称,价格,编号\r\n苹果,5,0123\r\n\"引号\",-1234.50,1234567890123456\r\n,0.5,\r\n😀 a&b<c>\r\n"));
    const auto done = ExportToXlsx(dir.folder() + "site1.csv", "", "GB18030");
    ASSERT_TRUE(done) << done.error().message;
    EXPECT_EQ(done->path, dir.folder() + "site1.xlsx");
    EXPECT_EQ(done->rows, 5u);
    EXPECT_EQ(cells(done->path), (Cells{{"A1", "s:名称"},
                                        {"B1", "s:价格"},
                                        {"C1", "s:编号"},
                                        {"A2", "s:苹果"},
                                        {"B2", "n:5"},
                                        {"C2", "s:0123"},
                                        {"A3", "s:\"引号\""},
                                        {"B3", "n:-1234.5"},
                                        {"C3", "s:1234567890123456"},
                                        {"B4", "n:0.5"},
                                        {"A5", "s:😀 a&amp;b&lt;c&gt;"}}));
    const std::string sheet = unzipped(done->path, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(std::regex_search(sheet, std::regex(R"(<pane ySplit="1" topLeftCell="A2"[^>]* state="frozen")"))) << sheet;
    EXPECT_EQ(unzipped(done->path, "xl/workbook.xml").find("sheet2"), std::string::npos);
}

// A file with a byte-order mark, or valid UTF-8 throughout, is UTF-8 whatever the code page.
TEST(XlsxExport, Utf8FilesAndTheirMark)
{
    ScratchDir dir;
    writeBytes(dir.file("bom.csv"), "\xEF\xBB\xBF名称,1\r\n");
    writeBytes(dir.file("plain.csv"), "名称,1");
    writeBytes(dir.file("broken.csv"), "\xEF\xBB\xBF名\xFF,1\r\n");
    for (const char *name : {"bom", "plain"}) {
        const auto done = ExportToXlsx(dir.folder() + name + ".csv", "", "GB18030");
        ASSERT_TRUE(done) << done.error().message;
        EXPECT_EQ(cells(done->path), (Cells{{"A1", "s:名称"}, {"B1", "n:1"}})) << name;
    }
    const auto broken = ExportToXlsx(dir.folder() + "broken.csv", "", "GB18030");
    ASSERT_TRUE(broken);
    EXPECT_EQ(cells(broken->path), (Cells{{"A1", "s:名\uFFFD"}, {"B1", "n:1"}}));
}

// The cells of every ruled table in the file (one a capture), rules left out and padding gone;
// a line that could not be drawn is read as comma-separated fields.
TEST(XlsxExport, RuledTextGivesItsCells)
{
    ScratchDir dir;
    CodePageWidths widths("GB18030");
    const std::string first = MakeRuledText("名称,价格\r\n苹果,\r\n,12\r\n", ",", widths);
    const std::string second = MakeRuledText("苹果,苹果,007\r\n", ",", widths);
    writeBytes(dir.file("site1.txt"), gb18030(first + second + "\r\nx,2\r\n"));
    const auto done = ExportToXlsx(dir.folder() + "site1.txt", dir.folder() + "out.xlsx", "GB18030");
    ASSERT_TRUE(done) << done.error().message;
    EXPECT_EQ(done->rows, 5u);
    EXPECT_EQ(cells(dir.folder() + "out.xlsx"), (Cells{{"A1", "s:名称"},
                                                       {"B1", "s:价格"},
                                                       {"A2", "s:苹果"},
                                                       {"B3", "n:12"},
                                                       {"A4", "s:苹果"},
                                                       {"B4", "s:苹果"},
                                                       {"C4", "s:007"},
                                                       {"A5", "s:x"},
                                                       {"B5", "n:2"}}));
    EXPECT_FALSE(fs::exists(dir.file("site1.xlsx")));
}

// A failure leaves an older spreadsheet as it was and no temporary file.
TEST(XlsxExport, FailuresAreMessagesAndChangeNothing)
{
    ScratchDir dir;
    writeBytes(dir.file("a.csv"), "1,2\r\n");
    writeBytes(dir.file("wide.csv"), std::string(16384, ',') + "\r\n");
    writeBytes(dir.file("long.csv"), "a\r\nb," + std::string(40000, 'x') + "\r\n");
    writeBytes(dir.file("plain"), "file");
    writeBytes(dir.file("old.xlsx"), "older");
    struct Case {
        const char *what, *source, *target, *message;
    };
    const Case cases[] = {
        {"missing source", "none.csv", "old.xlsx", "cannot open"},
        {"folder as source", "", "old.xlsx", "not an ordinary file"},
        {"no such folder", "a.csv", "missing/a.xlsx", "cannot write"},
        {"folder below a file", "a.csv", "plain/a.xlsx", "cannot write"},
        {"target is the source", "a.csv", "a.csv", "replace the file it is made from"},
        {"too many fields", "wide.csv", "old.xlsx", "row 1 has more than 16384 fields"},
        {"cell too long", "long.csv", "old.xlsx", "row 2, field 2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const auto done = ExportToXlsx(dir.folder() + c.source, dir.folder() + c.target, "GB18030");
        ASSERT_FALSE(done);
        EXPECT_NE(done.error().message.find(c.message), std::string::npos) << done.error().message;
        EXPECT_EQ(readBytes(dir.file("old.xlsx")), "older");
        EXPECT_EQ(readBytes(dir.file("a.csv")), "1,2\r\n");
        for (const auto &entry : fs::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
    // A complete one takes the older one's place.
    ASSERT_TRUE(ExportToXlsx(dir.folder() + "a.csv", dir.folder() + "old.xlsx", "GB18030"));
    EXPECT_EQ(cells(dir.folder() + "old.xlsx"), (Cells{{"A1", "n:1"}, {"B1", "n:2"}}));
    EXPECT_EQ(xlsxPathBeside("/d/x.y/site"), "/d/x.y/site.xlsx");
    EXPECT_EQ(xlsxPathBeside("/d/.hidden"), "/d/.hidden.xlsx");
}
