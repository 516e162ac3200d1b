#include "capture/job/job_progress.h"

#include <filesystem>

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

std::string gb18030(const std::string &text) { return encodeText(text, "GB18030").value().bytes; }

JobProgress progressOf(const std::string &path, std::size_t bytes)
{
    JobProgress p;
    p.output = path;
    p.bytes = static_cast<std::int64_t>(bytes);
    return p;
}

}  // namespace

TEST(JobProgress, SurvivesTheFileWithWhatEachModeNeeds)
{
    JobProgress p;
    p.output = "/tmp/下载/site1.csv";
    p.bytes = 123456789012;
    p.captures = 7;
    p.rows = 70;
    p.lastCapture = "a,甲\r\nb,乙\r\n";
    p.mode = PagingMode::PageNumber;
    p.lastUrl = "http://a.example/?page=7";
    p.nextPage = "8";
    auto read = parseProgress(progressJson(p));
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->output, p.output);
    EXPECT_EQ(read->bytes, p.bytes);
    EXPECT_EQ(read->captures, 7);
    EXPECT_EQ(read->rows, 70);
    EXPECT_EQ(read->lastCapture, p.lastCapture);
    EXPECT_EQ(read->mode, PagingMode::PageNumber);
    EXPECT_EQ(read->lastUrl, p.lastUrl);
    EXPECT_EQ(read->nextPage, "8");
    EXPECT_FALSE(read->nextRow);
    EXPECT_FALSE(read->dropDownValue);
    EXPECT_FALSE(read->finished);

    p.mode = PagingMode::UrlList;
    p.nextPage.reset();
    p.nextRow = 3;
    p.dropDownValue = "5";
    p.finished = true;
    read = parseProgress(progressJson(p));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->nextRow, 3);
    EXPECT_EQ(read->dropDownValue, "5");
    EXPECT_TRUE(read->finished);

    for (const char *bad : {R"({"version": 1})", R"({"version": 1, "output": "f", "bytes": -1})",
                            R"({"version": 1, "output": "f", "mode": 5})", R"({"version": 1, "output": "f", "finished": 0})"})
        EXPECT_FALSE(parseProgress(bad)) << bad;
}

TEST(JobProgress, FileIsReplacedWholeAndAbsenceIsNoError)
{
    ScratchDir dir;
    const std::string job = dir.folder() + "j.json";
    EXPECT_EQ(progressPath(job), job + ".progress");
    auto none = readProgressFile(progressPath(job));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->has_value());

    writeBytes(dir.file("out.csv"), "a\r\n");
    JobProgress p = progressOf(dir.folder() + "out.csv", 3);
    ASSERT_TRUE(writeProgressFile(progressPath(job), p));
    p.captures = 2;
    ASSERT_TRUE(writeProgressFile(progressPath(job), p));
    auto read = readProgressFile(progressPath(job));
    ASSERT_TRUE(read && read->has_value());
    EXPECT_EQ((*read)->captures, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    writeBytes(dir.file("j.json.progress"), "{\"version\": 1, \"output\": ");
    EXPECT_FALSE(readProgressFile(progressPath(job)));
}

TEST(JobProgress, NextPageNumberRunsTowardsTheLastPage)
{
    EXPECT_EQ(nextPageNumber("3", "9"), "4");
    EXPECT_EQ(nextPageNumber("10", "8"), "9");
    EXPECT_EQ(nextPageNumber("9", "9"), "");
    EXPECT_EQ(nextPageNumber(" 2x", "5"), "3");
}

TEST(JobProgress, NextUrlListRowStopsWhereTheStepWould)
{
    const std::vector<std::string> list = {"http://a/1", "http://a/2", "http://b/3"};
    EXPECT_EQ(nextUrlListRow(list, 0), 1);
    EXPECT_EQ(nextUrlListRow(list, 1), -1);  // another host
    EXPECT_EQ(nextUrlListRow(list, 2), -1);  // the last row
    EXPECT_EQ(nextUrlListRow({"http://a/1"}, 0), -1);
    EXPECT_EQ(nextUrlListRow({"x", "y"}, -1), 0);  // host parts both empty
}

TEST(JobProgress, SessionGoesOnWithTheSameFileTallyAndRepeatCheck)
{
    JobProgress p = progressOf("/tmp/o.csv", 10);
    p.captures = 4;
    p.rows = 9;
    p.lastCapture = "x\r\n";
    const CaptureSession s = resumedSession(p);
    EXPECT_EQ(s.outputPath, "/tmp/o.csv");
    EXPECT_EQ(s.captureCount, 4);
    EXPECT_EQ(s.recordTotal, 9);
    EXPECT_EQ(s.lastCapture, "x\r\n");

    CaptureSession after = s;
    after.captureCount = 5;
    const JobProgress q = progressAfterCapture(after, 42, PagingMode::DropDown);
    EXPECT_EQ(q.output, "/tmp/o.csv");
    EXPECT_EQ(q.bytes, 42);
    EXPECT_EQ(q.captures, 5);
    EXPECT_EQ(q.lastCapture, "x\r\n");
    EXPECT_EQ(q.mode, PagingMode::DropDown);
}

// A kill while a capture was being appended, or after it was appended but before the progress
// said so, leaves more in the file than the progress records: that end goes, whatever the format
// and code page, and only that.
TEST(CutUnrecordedEnd, CutsBackToTheRecordedEnd)
{
    const std::string kept = gb18030("编号,名称\r\np1a,甲1\r\n");
    CodePageWidths widths("GB18030");
    const std::string ruled = gb18030(MakeRuledText("p1a,甲1\r\n", ",", widths));
    struct Case {
        const char *what;
        std::string before, after;
    };
    const Case cases[] = {
        {"half a line", kept + gb18030("p2a,甲"), kept},
        {"half a character", kept + gb18030("p2a,甲").substr(0, 5), kept},
        {"a whole unrecorded capture", kept + gb18030("p2a,甲2\r\n"), kept},
        {"half a ruled table", ruled + ruled.substr(0, ruled.size() / 2), ruled},
        {"a bare CR", kept + "\r", kept},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        writeBytes(dir.file("o"), c.before);
        auto cut = cutUnrecordedEnd(progressOf(dir.folder() + "o", c.after.size()));
        ASSERT_TRUE(cut) << c.what << ": " << cut.error().message;
        EXPECT_EQ(cut->removed, static_cast<std::int64_t>(c.before.size() - c.after.size())) << c.what;
        EXPECT_EQ(readBytes(dir.file("o")), c.after) << c.what;
    }
}

TEST(CutUnrecordedEnd, LeavesAFileItCannotTrust)
{
    ScratchDir dir;
    // As recorded, or shorter (compacted since): nothing to cut.
    for (const std::string bytes : {"a\r\nb\r\n", "a\r\n"}) {
        writeBytes(dir.file("o"), bytes);
        auto cut = cutUnrecordedEnd(progressOf(dir.folder() + "o", 6));
        ASSERT_TRUE(cut);
        EXPECT_EQ(cut->removed, 0);
        EXPECT_EQ(readBytes(dir.file("o")), bytes);
    }
    // A recorded end in the middle of a line: the file is not the one the run wrote.
    writeBytes(dir.file("o"), "abc\r\nd\r\n");
    EXPECT_FALSE(cutUnrecordedEnd(progressOf(dir.folder() + "o", 4)));
    EXPECT_EQ(readBytes(dir.file("o")), "abc\r\nd\r\n");
    // Nothing recorded yet: everything is unrecorded.
    auto all = cutUnrecordedEnd(progressOf(dir.folder() + "o", 0));
    ASSERT_TRUE(all);
    EXPECT_EQ(readBytes(dir.file("o")), "");
    EXPECT_FALSE(cutUnrecordedEnd(progressOf(dir.folder() + "missing", 0)));
    fs::create_symlink(dir.file("o"), dir.file("link"));
    EXPECT_FALSE(cutUnrecordedEnd(progressOf(dir.folder() + "link", 0)));
}
