#include "capture/output/output_name.h"

#include <filesystem>
#include <vector>

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

TEST(OutputName, OnlyOrdinaryFilesAreTakenAndBackslashesAreSlashes)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("data1.csv"));
    EXPECT_EQ(UniqueFileName(dir.folder() + "data.csv"), dir.folder() + "data1.csv");

    writeBytes(dir.file("target"), "x");
    std::filesystem::create_symlink(dir.file("target"), dir.file("link1.csv"));
    EXPECT_EQ(UniqueFileName(dir.folder() + "link.csv"), dir.folder() + "link2.csv");

    EXPECT_EQ(UniqueFileName(dir.path().string() + "\\link.csv"), dir.folder() + "link2.csv");
}

TEST(OutputName, WebcbnmNamesByFormat)
{
    ScratchDir dir;
    EXPECT_EQ(webcbnm("about:blank", false, dir.folder()), dir.folder() + "data1.csv");
    writeBytes(dir.file("data1.csv"), "x");
    EXPECT_EQ(webcbnm("about:blank", false, dir.folder()), dir.folder() + "data2.csv");
    EXPECT_EQ(webcbnm("http://www.site.com/", true, dir.folder()), dir.folder() + "site1.txt");
}
