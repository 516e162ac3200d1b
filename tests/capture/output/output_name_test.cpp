#include "capture/output/output_name.h"

#include <filesystem>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::ScratchDir;
using tabvoro::test::writeBytes;

TEST(OutputName, CutFromUrl)
{
    struct Case {
        std::string_view url, name;
    };
    const Case cases[] = {
        {"http://www.site.com/x", "site"},       {"HTTP://WWW.Site.COM", "Site"},
        {"https://www.example.com/", "example"}, {"http://a.b.com/x", "b"},
        {"http://www.site.com/a.b", "site"},     {"http://site.com/a.b", "com_a"},
        {"http://www.中文.com/", "中文"},        {"http://www..com/", "data"},
        {"http://localhost/", "data"},           {"http://site.com/", "data"},
        {"http://", "data"},                     {"ftp://www.site.com/", "data"},
        {"file:///a.b.c", "data"},               {"", "data"},
        {"http://site.com/a:b*c?d\"e<f>g|h\\i\tj.x", "com_a_b_c_d_e_f_g_h_i_j"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(outputNameFromUrl(c.url), c.name) << c.url;
}

TEST(OutputName, UniqueFileNameSkipsExistingFiles)
{
    struct Case {
        std::string start;
        std::vector<std::string> existing;
        std::string result;
    };
    const Case cases[] = {
        {"data.csv", {}, "data1.csv"},     {"data.csv", {"data.csv", "data1.csv"}, "data2.csv"},
        {"abc123.csv", {}, "abc124.csv"},  {"abc09.csv", {}, "abc10.csv"},
        {"abc999.txt", {}, "abc1000.txt"}, {"abc000.csv", {}, "abc001.csv"},
        {"a.b.csv", {}, "a.b1.csv"},       {"42.csv", {}, "43.csv"},
        {"abc007.csv", {}, "abc008.csv"},  {"abc007.csv", {"abc008.csv"}, "abc009.csv"},
        {"abc007.csv", {"abc008.csv", "abc009.csv"}, "abc0010.csv"},
        {"x999999999999999999999999999999.csv", {}, "x1000000000000000000000000000000.csv"},
        {"x000000000000000000000000000009.csv", {}, "x000000000000000000000000000010.csv"},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        for (const auto &name : c.existing)
            writeBytes(dir.file(name), "x");
        EXPECT_EQ(UniqueFileName(dir.folder() + c.start), dir.folder() + c.result) << c.start;
    }
}

// A folder does not take a name; a symbolic link does, wherever it leads, and so does a FIFO.
TEST(OutputName, EverythingButAFolderTakesANameAndBackslashesAreSlashes)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("data1.csv"));
    EXPECT_EQ(UniqueFileName(dir.folder() + "data.csv"), dir.folder() + "data1.csv");

    writeBytes(dir.file("target"), "x");
    std::filesystem::create_symlink(dir.file("target"), dir.file("link1.csv"));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("link2.csv"));
    std::filesystem::create_directory_symlink(dir.path(), dir.file("link3.csv"));
    ASSERT_EQ(::mkfifo(dir.file("link4.csv").c_str(), 0600), 0);
    EXPECT_EQ(UniqueFileName(dir.folder() + "link.csv"), dir.folder() + "link5.csv");

    EXPECT_EQ(UniqueFileName(dir.path().string() + "\\link.csv"), dir.folder() + "link5.csv");
}

// A name longer than a file name may be is cut, at the end of a whole character, so that it
// holds its number and extension in 255 bytes, and it still finds a free number.
TEST(OutputName, LongNamesAreCutToFit)
{
    ScratchDir dir;
    const auto nameOf = [&](const std::string &path) { return path.substr(dir.folder().size()); };

    const std::string cut = nameOf(webcbnm("http://www." + std::string(300, 'a') + ".com/", false, dir.folder()));
    EXPECT_EQ(cut, std::string(250, 'a') + "1.csv");
    writeBytes(dir.file(cut), "x");
    EXPECT_EQ(nameOf(webcbnm("http://www." + std::string(300, 'a') + ".com/", false, dir.folder())),
              std::string(250, 'a') + "2.csv");

    // Three bytes a character: the cut goes back to the character's start.
    const std::string chinese = nameOf(UniqueFileName(dir.folder() + [] {
        std::string s;
        for (int i = 0; i < 100; ++i)
            s += "表";
        return s;
    }() + ".txt"));
    EXPECT_EQ(chinese.size(), 3 * 83 + 1 + 4);
    EXPECT_TRUE(chinese.ends_with("表1.txt"));

    // A digit run cut to fit goes on counting; a number that gains a digit takes it from the name.
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(300, '5') + ".csv")),
              std::string(249, '5') + "6.csv");
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(300, '9') + ".csv")),
              "1" + std::string(250, '0') + ".csv");
    writeBytes(dir.file(std::string(245, 'b') + "9.csv"), "x");
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(245, 'b') + "8.csv")),
              std::string(245, 'b') + "10.csv");
    writeBytes(dir.file(std::string(249, 'c') + "9.csv"), "x");
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(249, 'c') + "8.csv")),
              std::string(249, 'c') + "10.csv");
    writeBytes(dir.file(std::string(250, 'd') + "9.csv"), "x");
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(250, 'd') + "8.csv")),
              std::string(249, 'd') + "10.csv");
    EXPECT_EQ(nameOf(UniqueFileName(dir.folder() + std::string(260, 'e') + "8.csv")),
              std::string(250, 'e') + "1.csv");
}

TEST(OutputName, WebcbnmNamesByFormat)
{
    ScratchDir dir;
    EXPECT_EQ(webcbnm("about:blank", false, dir.folder()), dir.folder() + "data1.csv");
    writeBytes(dir.file("data1.csv"), "x");
    EXPECT_EQ(webcbnm("about:blank", false, dir.folder()), dir.folder() + "data2.csv");
    EXPECT_EQ(webcbnm("http://www.site.com/", true, dir.folder()), dir.folder() + "site1.txt");
}
