// The command line as other programs call it: arguments in, printed lines, exit status and the
// output file's bytes out.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

#include "capture/output/code_page.h"
#include "test_support.h"

namespace tabvoro::test {
namespace {

using CliResult = ProgramResult;

class CliCapture : public ::testing::Test {
protected:
    CliResult run(const std::vector<std::string> &args) { return runProgram(dir, TABVORO_CLI, args); }

    std::string writePage(const std::string &name, const std::string &body)
    {
        writeBytes(dir.file(name), "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" +
                                       body + "</body></html>");
        return dir.file(name).string();
    }

    static std::string gb18030(const std::string &utf8)
    {
        return capture::encodeText(utf8, "GB18030").value().bytes;
    }

    static std::vector<std::string> lines(const std::string &text)
    {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    ScratchDir dir;
};

const std::string kTable1 = "<table><tr><td>名称</td><td>价格</td></tr>"
                            "<tr><td>苹果</td><td>1,234</td></tr></table>";
const std::string kTable2 = "<table><tr><td>名称</td><td>价格</td></tr>"
                            "<tr><td>香蕉</td><td>red, green</td></tr></table>";

TEST_F(CliCapture, PagesOfOneRunShareTheFileAndTheRepeatCheck)
{
    const auto p1 = writePage("p1.html", kTable1);
    const auto p2 = writePage("p2.html", kTable1);
    const auto p3 = writePage("p3.html", kTable2);
    const auto result = run({"capture", "--keyword", "名称", "--url", "http://www.shop.example/list", p1, p2, p3});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 3u) << result.out;
    EXPECT_EQ(printed[0], "本次已采集表格数:1个,记录:1条");
    EXPECT_EQ(printed[1], "本次已采集表格数:2个,记录:2条");
    EXPECT_EQ(printed[2], "./download/shop1.csv");
    EXPECT_EQ(readBytes(dir.file("download/shop1.csv")), gb18030("苹果,1234\r\n香蕉,red， green\r\n"));

    // A second run names a new file.
    const auto again = run({"capture", "--url", "http://www.shop.example/list", p1});
    EXPECT_EQ(lines(again.out).back(), "./download/shop2.csv");
}

TEST_F(CliCapture, OptionsReachTheCapture)
{
    const auto p1 = writePage("p.html", "<table><tr><th>A</th><th>B</th><th>C</th></tr>"
                                        "<tr><td>1</td><td>2</td><td><a href=\"x.htm?a=1&amp;b=2\">3</a></td></tr>"
                                        "<tr><td colspan=3><a href=\"n\">Next</a></td></tr></table>");
    struct Case {
        std::vector<std::string> options;
        std::string expected;
    };
    const Case cases[] = {
        {{"--header"}, "A,B,C\r\n1,2,3\r\nNext,,\r\n"},
        {{"--header", "--next-text", "Next"}, "A,B,C\r\n1,2,3\r\n"},
        {{"--fields", "!A,名,C", "--header"}, "B,C\r\n2,3\r\n,\r\n"},
        {{"--links", "--next-text", "Next"}, "1,2,file://" + dir.path().string() + "/x.htm?a=1&b=2\r\n"},
        {{"--mode", "position", "--keyword", "2"}, ""},
        {{"--mode", "every-row", "--keyword", "Next", "--next-text", "Next"}, "1,2,3\r\n"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"capture", "--output", dir.file("out.csv").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(p1);
        std::filesystem::remove(dir.file("out.csv"));
        const auto result = run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readBytes(dir.file("out.csv")), gb18030(c.expected)) << c.options[0];
    }
}

TEST_F(CliCapture, RuledOutputAndOtherCodePages)
{
    const auto p1 = writePage("p.html", "<table><tr><td>名称</td><td>价格</td></tr><tr><td>苹果</td><td>5</td></tr></table>");
    auto result = run({"capture", "--header", "--ruled", p1});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines(result.out).back(), "./download/data1.txt");
    EXPECT_EQ(readBytes(dir.file("download/data1.txt")),
              gb18030("┏━━┯━━┓\r\n┃名称│价格┃\r\n┠──┼──┨\r\n┃苹果│   5┃\r\n┗━━┷━━┛\r\n"));

    result = run({"capture", "--header", "--encoding", "UTF-8", "--out-dir", "utf", p1});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir.file("utf/data1.csv")), "名称,价格\r\n苹果,5\r\n");

    // The mark once, at the start, through both pages and the run's end.
    const auto p2 = writePage("p2.html", "<table><tr><td>名称</td><td>价格</td></tr><tr><td>梨</td><td>6</td></tr></table>");
    result = run({"capture", "--encoding", "UTF-8-BOM", "--out-dir", "bom", p1, p2});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir.file("bom/data1.csv")), "\xEF\xBB\xBF苹果,5\r\n梨,6\r\n");

    // --output keeps exactly the name it is given.
    result = run({"capture", "--output", dir.file("table.dat").string(), p1});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir.file("table.dat")), gb18030("苹果,5\r\n"));
}

TEST_F(CliCapture, FramePagesLoadTheirFramesFromBesideThem)
{
    writePage("left.html", "<p>menu</p>");
    writePage("right.html", "<table><tr><td>h</td></tr><tr><td>framed</td></tr></table>");
    writeBytes(dir.file("frames.html"),
               "<html><frameset cols=\"20%,80%\"><frame name=\"l\" src=\"left.html\"><frame name=\"r\" src=\"right.html\"></frameset></html>");
    auto result = run({"capture", "--frame", "1", "--output", dir.file("f.csv").string(), dir.file("frames.html").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir.file("f.csv")), "framed\r\n");
}

TEST_F(CliCapture, FailuresExitWithTwoAndAMessage)
{
    const auto p1 = writePage("p.html", kTable1);
    writeBytes(dir.file("a-file"), "x");
    const std::vector<std::vector<std::string>> cases = {
        {"capture"},
        {"capture", "--mode", "diagonal", p1},
        {"capture", "--bogus", p1},
        {"capture", "--keyword"},
        {"capture", dir.file("missing.html").string()},
        {"capture", "--encoding", "NO-SUCH-CODEPAGE", p1},
        {"capture", "--output", dir.file("a-file/out.csv").string(), p1},
        {"capture", "--out-dir", dir.file("a-file/sub").string(), p1},
        {"frobnicate"},
    };
    for (const auto &args : cases) {
        const auto result = run(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_FALSE(result.err.empty()) << args.back();
    }
    EXPECT_EQ(run({"capture", "--help"}).status, 0);
}

// Other programs match what is printed: the top level's usage and the capture's complaints,
// word for word, on the stream and with the status they have always had.
TEST_F(CliCapture, UsageAndComplaintsAreExact)
{
    const std::string usage = "Usage: tabvoro-cli COMMAND [options] ...\n";
    const std::string see = " (see tabvoro-cli capture --help)\n";
    const auto p1 = writePage("p.html", kTable1);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // its beginning
        std::string err;  // its beginning
    };
    const Case cases[] = {
        {{}, 2, "", usage},
        {{"--help"}, 0, usage, ""},
        {{"-h"}, 0, usage, ""},
        {{"help", "capture"}, 0, usage, ""},
        {{"--help", "capture", "--bogus"}, 0, usage, ""},
        {{"--versions"}, 2, "", "tabvoro-cli: unknown command --versions\n" + usage},
        {{"-V"}, 2, "", "tabvoro-cli: unknown command -V\n" + usage},
        {{"--", "capture", p1}, 2, "", "tabvoro-cli: unknown command --\n" + usage},
        {{"frobnicate", "--help"}, 2, "", "tabvoro-cli: unknown command frobnicate\n" + usage},
        {{"capture", "--help"}, 0, "Usage: tabvoro-cli capture [options] PAGE...\n", ""},
        {{"capture"}, 2, "", "tabvoro-cli: no page to capture" + see},
        {{"capture", "--bogus", p1}, 2, "", "tabvoro-cli: unknown option --bogus" + see},
        {{"capture", "--help", "--bogus"}, 2, "", "tabvoro-cli: unknown option --bogus" + see},
        {{"capture", p1, "--keyword"}, 2, "", "tabvoro-cli: --keyword needs a value" + see},
        {{"capture", "--header=yes", p1}, 2, "", "tabvoro-cli: unknown option --header=yes" + see},
        {{"capture", "--mode", "diagonal", p1}, 2, "",
         "tabvoro-cli: unknown --mode 'diagonal' (first-row, every-row or position)" + see},
        {{"capture", "--out-dir=", p1}, 2, "", "tabvoro-cli: --out-dir needs a folder" + see},
        // A single dash starts no option: "-h" is a page.
        {{"capture", "-h"}, 2, "", "tabvoro-cli: cannot read page -h\n"},
    };
    for (const auto &c : cases) {
        const auto result = run(c.args);
        const std::string name = c.args.empty() ? "(none)" : c.args.front() + " " + c.args.back();
        EXPECT_EQ(result.status, c.status) << name;
        EXPECT_EQ(result.out.substr(0, c.out.size()), c.out) << name;
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << name;
        if (c.out.empty())
            EXPECT_EQ(result.out, "") << name;
        if (c.err.empty())
            EXPECT_EQ(result.err, "") << name;
        // A command's complaint is one line and nothing more.
        if (!c.err.empty() && c.err.find(usage) == std::string::npos)
            EXPECT_EQ(result.err, c.err) << name;
    }
}

// Pages and addresses no site should send still end in a clean exit: a page with no table
// names no file, a host name longer than a file name may be is cut to fit, and a link placed in
// the output folder under the next name is passed over, never written through.
TEST_F(CliCapture, HostileInputEndsCleanly)
{
    writeBytes(dir.file("noise.html"), std::string("\x89PNG\r\n\x1a\n\0\xff\xfe<tab", 16));
    auto result = run({"capture", "--header", dir.file("noise.html").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "nothing captured: no table matched, no file written\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("download/data1.csv")));

    const auto p1 = writePage("p.html", kTable1);
    result = run({"capture", "--url", "http://www." + std::string(300, 'a') + ".com/", p1});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string cutName = std::string(250, 'a') + "1.csv";
    EXPECT_EQ(lines(result.out).back(), "./download/" + cutName);
    EXPECT_EQ(readBytes(dir.file("download/" + cutName)), gb18030("苹果,1234\r\n"));

    writeBytes(dir.file("elsewhere.csv"), "mine\r\n");
    std::filesystem::create_symlink(dir.file("elsewhere.csv"), dir.file("download/data1.csv"));
    result = run({"capture", p1});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines(result.out).back(), "./download/data2.csv");
    EXPECT_EQ(readBytes(dir.file("elsewhere.csv")), "mine\r\n");

    // A page of a few kilobytes whose column spans ask for gigabytes: refused, nothing written.
    std::string wide = "<table><tr>";
    for (int i = 0; i < 1000; ++i)
        wide += "<td colspan=1000>h</td>";
    wide += "</tr>";
    for (int i = 0; i < 2000; ++i)
        wide += "<tr><td>x</td></tr>";
    result = run({"capture", "--out-dir", "wide", writePage("wide.html", wide + "</table>")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("1024 MB"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("wide/data1.csv")));

    // Named exactly, the link is refused rather than followed.
    result = run({"capture", "--output", dir.file("download/data1.csv").string(), p1});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("符号链接"), std::string::npos) << result.err;
    EXPECT_EQ(readBytes(dir.file("elsewhere.csv")), "mine\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("download/data1.csv")));
}

TEST_F(CliCapture, RunEndRemovesBlankLinesFromTheFile)
{
    // A page whose capture starts with an empty line: the per-page text keeps it, the end of the
    // run removes it.
    const auto p1 = writePage("p.html", "<table><tr><td>h</td></tr><tr><td></td></tr><tr><td></td></tr>"
                                        "<tr><td>x</td></tr></table>");
    const auto result = run({"capture", "--output", dir.file("o.csv").string(), p1});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir.file("o.csv")), "x\r\n");
}

}  // namespace
}  // namespace tabvoro::test
