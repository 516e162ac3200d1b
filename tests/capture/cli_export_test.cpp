// `tabvoro-cli export`: an output file as a spreadsheet, as other programs call it.

#include <gtest/gtest.h>

#include "test_support.h"

namespace tabvoro::test {
namespace {

ProgramResult exportFile(const ScratchDir &dir, std::vector<std::string> args)
{
    args.insert(args.begin(), "export");
    return runProgram(dir, TABVORO_CLI, args);
}

// The spreadsheet's path printed, beside the file or where -o names it (from the folder the
// program runs in); nothing else on either stream.
TEST(CliExport, WritesBesideTheFileOrToTheOutputNamed)
{
    ScratchDir dir;
    writeBytes(dir.file("site1.csv"), "a,1\r\n");
    const auto beside = exportFile(dir, {"site1.csv"});
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_EQ(beside.out, "site1.xlsx\n");
    EXPECT_EQ(beside.err, "");
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("site1.xlsx")));

    const std::pair<std::vector<std::string>, std::string> named[] = {
        {{"-o", "b.xlsx", "site1.csv"}, "b.xlsx\n"},
        {{"site1.csv", "--output", "c.xlsx"}, "c.xlsx\n"},
        {{"site1.csv", "--output=d.xlsx"}, "d.xlsx\n"},
    };
    for (const auto &[args, printed] : named) {
        const auto result = exportFile(dir, args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, printed);
    }
    for (const char *name : {"b.xlsx", "c.xlsx", "d.xlsx"})
        EXPECT_TRUE(std::filesystem::is_regular_file(dir.file(name))) << name;
}

TEST(CliExport, FailuresExitWithTwoAndAMessage)
{
    ScratchDir dir;
    writeBytes(dir.file("a.csv"), "a\r\n");
    const std::string see = " (see tabvoro-cli export --help)\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;  // its beginning
    };
    const Case cases[] = {
        {{}, "tabvoro-cli: export takes exactly one file" + see},
        {{"a.csv", "b.csv"}, "tabvoro-cli: export takes exactly one file" + see},
        {{"a.csv", "-o"}, "tabvoro-cli: --output needs a value" + see},
        {{"--bogus", "a.csv"}, "tabvoro-cli: unknown option --bogus" + see},
        {{"none.csv"}, "tabvoro-cli: cannot open none.csv: "},
        {{"a.csv", "-o", "missing/a.xlsx"}, "tabvoro-cli: cannot write missing/a.xlsx: "},
    };
    for (const auto &c : cases) {
        const auto result = exportFile(dir, c.args);
        EXPECT_EQ(result.status, 2) << c.err;
        EXPECT_EQ(result.out, "") << c.err;
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
    }
    const auto help = exportFile(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tabvoro-cli export FILE [-o OUT.xlsx]\n")) << help.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.xlsx")));
}

}  // namespace
}  // namespace tabvoro::test
