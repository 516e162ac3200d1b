#include "capture/output/compact_output.h"

#include <filesystem>
#include <iterator>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::readBytes;
using tabvoro::test::ScratchDir;
using tabvoro::test::writeBytes;
namespace fs = std::filesystem;

TEST(CompactOutput, DropsBlankLinesAndEndsEveryLineInCrLf)
{
    struct Case {
        std::string_view before, after;
    };
    const Case cases[] = {
        {"a\r\n\r\n  \r\nb\r\n", "a\r\nb\r\n"}, {"a\rb\r\r c ", "a\r\nb\r\n c \r\n"},
        {"a\n\n \nb", "a\r\nb\r\n"},               {"a\n\r\nb\r\r\nc", "a\r\nb\r\nc\r\n"},
        {"\t\t\r\n", "\t\t\r\n"},                 {"  \r\n \n\r", ""},
        {"", ""},
        {"\xD6\xD0,\xCE\xC4\r\n\r\n", "\xD6\xD0,\xCE\xC4\r\n"},
        // A byte-order mark stays at the start, even where the line it began goes.
        {"\xEF\xBB\xBF\r\n  \r\na\r\n", "\xEF\xBB\xBF" "a\r\n"}, {"\xEF\xBB\xBF" "a\n\nb", "\xEF\xBB\xBF" "a\r\nb\r\n"},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        writeBytes(dir.file("out.csv"), std::string(c.before));
        ASSERT_TRUE(CompactOutputFile(dir.folder() + "out.csv")) << c.before;
        EXPECT_EQ(readBytes(dir.file("out.csv")), c.after) << c.before;
    }
}

TEST(CompactOutput, MissingFileIsAnErrorAndTouchesNothing)
{
    ScratchDir dir;
    EXPECT_FALSE(CompactOutputFile(dir.folder() + "none.csv"));
    EXPECT_FALSE(CompactOutputFile(dir.folder() + "missing/none.csv"));
    EXPECT_FALSE(CompactOutputFile(""));
    EXPECT_TRUE(fs::is_empty(dir.path()));
    fs::create_directory(dir.file("folder.csv"));
    EXPECT_FALSE(CompactOutputFile(dir.folder() + "folder.csv"));
}

// Through a link the file behind it is rewritten, and the link stays a link.
TEST(CompactOutput, KeepsPermissionsAndLinksAndLeavesNoTemporaryFile)
{
    ScratchDir dir;
    writeBytes(dir.file("real.csv"), "a\r\n\r\n");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir.file("real.csv"), perms);
    fs::create_symlink(dir.file("real.csv"), dir.file("link.csv"));
    ASSERT_TRUE(CompactOutputFile(dir.folder() + "link.csv"));

    EXPECT_EQ(readBytes(dir.file("real.csv")), "a\r\n");
    EXPECT_EQ(fs::status(dir.file("real.csv")).permissions(), perms);
    EXPECT_TRUE(fs::is_symlink(dir.file("link.csv")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// Renaming over a file needs only the folder's permission; a file its owner made read-only
// stays as it is all the same, administrator or not.
TEST(CompactOutput, LeavesAReadOnlyFileAsItIs)
{
    ScratchDir dir;
    writeBytes(dir.file("out.csv"), "a\r\n\r\nb\r\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(dir.file("out.csv"), readOnly);
    const auto result = CompactOutputFile(dir.folder() + "out.csv");
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().message.find("read-only"), std::string::npos) << result.error().message;
    EXPECT_EQ(readBytes(dir.file("out.csv")), "a\r\n\r\nb\r\n");
    EXPECT_EQ(fs::status(dir.file("out.csv")).permissions(), readOnly);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// The temporary file's name is short, so a name as long as the file system allows compacts too.
TEST(CompactOutput, NamesAsLongAsTheFileSystemAllows)
{
    ScratchDir dir;
    const std::string name = std::string(251, 'n') + ".csv";
    writeBytes(dir.file(name), "a\r\n\r\n");
    const auto result = CompactOutputFile(dir.folder() + name);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(readBytes(dir.file(name)), "a\r\n");
}

// A file with nothing to drop is not written again: its inode and times stay.
TEST(CompactOutput, AFileWithNothingToDropIsNotRewritten)
{
    ScratchDir dir;
    writeBytes(dir.file("out.csv"), "a\r\nb\r\n");
    const auto before = fs::last_write_time(dir.file("out.csv"));
    struct ::stat was {};
    ASSERT_EQ(::stat(dir.file("out.csv").c_str(), &was), 0);
    ASSERT_TRUE(CompactOutputFile(dir.folder() + "out.csv"));
    struct ::stat now {};
    ASSERT_EQ(::stat(dir.file("out.csv").c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(fs::last_write_time(dir.file("out.csv")), before);
}
