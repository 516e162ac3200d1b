// `tabvoro-cli list`: the capture test of a saved page, printed as one JSON object.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "test_support.h"

namespace tabvoro::test {
namespace {

class CliList : public ::testing::Test {
protected:
    // The exit status, and what was printed (stdout, then stderr after a "|").
    std::pair<int, std::string> list(std::vector<std::string> args)
    {
        args.insert(args.begin(), "list");
        const auto result = runProgram(dir, TABVORO_CLI, args);
        return {result.status, result.out + "|" + result.err};
    }

    std::string write(const std::string &name, const std::string &html)
    {
        writeBytes(dir.file(name), html);
        return dir.file(name).string();
    }

    ScratchDir dir;
};

const std::string kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>";

TEST_F(CliList, SavedPageListsItsTablesAndChoosesTheLargest)
{
    const auto path = write("p.html", kHead + "<body><p>销量<a href=\"n.html\">下一页</a></p>"
                                              "<table><tr><td>A</td></tr></table>"
                                              "<table><tr><td>城市</td><td>年份</td><td>销量</td><td>备注</td></tr>"
                                              "<tr><td>北京</td><td>2014</td><td>12</td><td>-</td></tr></table>"
                                              "</body></html>");
    const auto [status, printed] = list({path});
    ASSERT_EQ(status, 0) << printed;
    // The preview of the chosen table replaces the page text.
    EXPECT_EQ(printed, "{\"entries\":[\"1--A,\",\"2--城市,年份,销量,备注,\"],\"chosen\":1,"
                       "\"keyword\":\"城市年份销量\",\"fields\":[\"城市\",\"年份\",\"销量\",\"备注\"],"
                       "\"nextText\":\"下一页\",\"inFrame\":false,\"frame\":\"\","
                       "\"text\":\"城市年份销量备注\\r\\n北京201412-\"}\n|");
}

TEST_F(CliList, FramesetIsSurveyedOrReadInTheFrameGiven)
{
    write("nav.html", kHead + "<body>菜单</body></html>");
    write("data.html", kHead + "<body><table><tr><td>名称</td><td>价格</td></tr><tr><td>苹果</td><td>5</td></tr></table>"
                               "</body></html>");
    const auto path = write("frames.html", kHead + "<frameset cols=\"20%,80%\"><frame name=\"nav\" src=\"nav.html\">"
                                                   "<frame name=\"data\" src=\"data.html\"></frameset></html>");
    const std::string listed = "{\"entries\":[\"1--名称,价格,\"],\"chosen\":0,\"keyword\":\"名称\","
                               "\"fields\":[\"名称\",\"价格\"],\"nextText\":\"\",\"inFrame\":true,\"frame\":\"1\","
                               "\"text\":\"名称价格\\r\\n苹果5\"}\n|";

    // Without a frame the survey ticks the box and points at the frame holding a table.
    auto [status, printed] = list({path});
    ASSERT_EQ(status, 0) << printed;
    EXPECT_EQ(printed, listed);

    std::tie(status, printed) = list({"--frame", "1", path});
    ASSERT_EQ(status, 0) << printed;
    EXPECT_EQ(printed, listed);

    // A frame without tables: its text, nothing listed.
    std::tie(status, printed) = list({"--frame", "0", path});
    ASSERT_EQ(status, 0) << printed;
    EXPECT_EQ(printed, "{\"entries\":[],\"chosen\":-1,\"keyword\":\"\",\"fields\":[],\"nextText\":\"\","
                       "\"inFrame\":true,\"frame\":\"0\",\"text\":\"菜单\\r\\n\"}\n|");
}

TEST_F(CliList, ComplaintsAreExact)
{
    const auto path = write("p.html", kHead + "<body><table><tr><td>A</td></tr></table></body></html>");
    const std::string see = " (see tabvoro-cli list --help)\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "tabvoro-cli: list takes exactly one page" + see},
        {{path, path}, "tabvoro-cli: list takes exactly one page" + see},
        {{"--keyword", "A", path}, "tabvoro-cli: unknown option --keyword" + see},
        {{"--help=1"}, "tabvoro-cli: unknown option --help=1" + see},
        {{path, "--frame"}, "tabvoro-cli: --frame needs a value\n"},
        {{"-x"}, "tabvoro-cli: cannot read page -x: cannot read -x: No such file or directory\n"},
    };
    for (const auto &[args, message] : cases) {
        const auto [status, printed] = list(args);
        EXPECT_EQ(status, 2) << message;
        EXPECT_EQ(printed, "|" + message);
    }

    const auto [status, printed] = list({"--help"});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(printed.starts_with("Usage: tabvoro-cli list [--frame N] PAGE\n")) << printed;
    EXPECT_TRUE(printed.ends_with("an\naddress that does not load.\n|")) << printed;
}

// Every string is JSON text: quotes, backslashes and control characters escaped, other text
// (Chinese, emoji, DEL) as it is, and bytes that are not UTF-8 (a --frame value is whatever the
// caller gave) as U+FFFD.
TEST_F(CliList, TextIsWrittenAsJsonStrings)
{
    const auto path = write("p.html", kHead + "<body><table><tr><td>a\"b\\c\x01" "d\x08" "e\x1f" "f\x7f" "g</td>"
                                              "<td>名称😀</td></tr></table></body></html>");
    const std::string cell = "a\\\"b\\\\c\\u0001d\\be\\u001ff\x7fg";
    auto [status, printed] = list({path});
    ASSERT_EQ(status, 0) << printed;
    EXPECT_EQ(printed, "{\"entries\":[\"1--" + cell + ",名称😀,\"],\"chosen\":0,\"keyword\":\"" + cell +
                           "\",\"fields\":[\"" + cell + "\",\"名称😀\"],\"nextText\":\"\",\"inFrame\":false,"
                           "\"frame\":\"\",\"text\":\"" + cell + "名称😀\"}\n|");

    std::tie(status, printed) = list({"--frame", "\xff" "1\xc3", path});
    ASSERT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("\"inFrame\":true,\"frame\":\"\xef\xbf\xbd" "1\xef\xbf\xbd\""), std::string::npos) << printed;
}

}  // namespace
}  // namespace tabvoro::test
