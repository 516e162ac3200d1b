#include "capture/output/save_capture.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "capture/output/code_page.h"
#include "capture/output/ruled_text.h"
#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::readBytes;
using tabvoro::test::ScratchDir;
using tabvoro::test::writeBytes;

namespace {

SaveTarget targetIn(const ScratchDir &dir, bool ruled = false)
{
    return SaveTarget{"http://www.site.com/list", ruled, dir.folder(), "GB18030"};
}

}  // namespace

TEST(SaveCapture, NamesFileAndAppendsInOrder)
{
    ScratchDir dir;
    CaptureSession session;
    EXPECT_TRUE(SaveCapture("", targetIn(dir), session).saved);  // still creates the file
    EXPECT_TRUE(SaveCapture("名称,价格\r\n", targetIn(dir), session).saved);
    const auto last = SaveCapture("苹果,5\r\n", targetIn(dir), session);

    const std::string path = dir.folder() + "site1.csv";
    EXPECT_EQ(session.outputPath, path);
    ASSERT_TRUE(last.saved) << last.error;
    EXPECT_EQ(last.shownText, "苹果,5\r\n");
    EXPECT_EQ(last.status, kSavedMessage + path);
    EXPECT_EQ(session.statusText, last.status);
    EXPECT_EQ(readBytes(path), "\xC3\xFB\xB3\xC6,\xBC\xDB\xB8\xF1\r\n\xC6\xBB\xB9\xFB,5\r\n");
}

// Switching format in mid-run keeps the name and appends to the file of the other extension.
TEST(SaveCapture, FormatDecidesExtensionWithoutRenumbering)
{
    ScratchDir dir;
    writeBytes(dir.file("x.txt"), "old\r\n");
    CaptureSession session;
    session.outputPath = dir.folder() + "x.csv";
    const auto outcome = SaveCapture("a,b\r\n", targetIn(dir, true), session);

    ASSERT_TRUE(outcome.saved) << outcome.error;
    EXPECT_EQ(session.outputPath, dir.folder() + "x.txt");
    CodePageWidths widths("GB18030");
    EXPECT_EQ(outcome.shownText, MakeRuledText("a,b\r\n", ",", widths));
    EXPECT_EQ(readBytes(dir.file("x.txt")), "old\r\n" + encodeText(outcome.shownText, "GB18030")->bytes);

    EXPECT_TRUE(SaveCapture("c\r\n", targetIn(dir), session).saved);
    EXPECT_EQ(session.outputPath, dir.folder() + "x.csv");
    EXPECT_EQ(readBytes(dir.file("x.csv")), "c\r\n");

    // A path the user named keeps its extension whatever the format.
    SaveTarget exact = targetIn(dir, true);
    exact.exactPath = true;
    EXPECT_TRUE(SaveCapture("", exact, session).saved);
    EXPECT_EQ(session.outputPath, dir.folder() + "x.csv");
}

// The byte-order mark begins a new or empty file once; appending, to that file or to one that
// holds text already, never writes it again.
TEST(SaveCapture, ByteOrderMarkOnlyAtTheStartOfAFile)
{
    ScratchDir dir;
    SaveTarget target = targetIn(dir);
    target.codePage = kUtf8BomCodePage;
    CaptureSession fresh;
    ASSERT_TRUE(SaveCapture("名称\r\n", target, fresh).saved);
    ASSERT_TRUE(SaveCapture("苹果\r\n", target, fresh).saved);
    EXPECT_EQ(readBytes(fresh.outputPath), "\xEF\xBB\xBF名称\r\n苹果\r\n");

    writeBytes(dir.file("empty.csv"), "");
    writeBytes(dir.file("old.csv"), "old\r\n");
    for (const char *name : {"empty.csv", "old.csv"}) {
        CaptureSession session;
        session.outputPath = dir.folder() + name;
        ASSERT_TRUE(SaveCapture("a\r\n", target, session).saved);
    }
    EXPECT_EQ(readBytes(dir.file("empty.csv")), "\xEF\xBB\xBF" "a\r\n");
    EXPECT_EQ(readBytes(dir.file("old.csv")), "old\r\na\r\n");
}

// Nothing is written through a symbolic link (one that leads to a file or one that leads
// nowhere) or into a FIFO, which would otherwise stall the save until something reads it.
TEST(SaveCapture, FailuresAreReported)
{
    struct Case {
        const char *what, *relativePath, *codePage;
    };
    const Case cases[] = {
        {"folder in the way", "taken.csv", "GB18030"}, {"parent is a file", "plain/x.csv", "GB18030"},
        {"missing folder", "missing/x.csv", "GB18030"}, {"unknown code page", "fresh.csv", "NO-SUCH"},
        {"link to a file", "link.csv", "GB18030"},      {"link to nowhere", "dangling.csv", "GB18030"},
        {"FIFO", "fifo.csv", "GB18030"},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        std::filesystem::create_directory(dir.file("taken.csv"));
        writeBytes(dir.file("plain"), "keep");
        std::filesystem::create_symlink(dir.file("plain"), dir.file("link.csv"));
        std::filesystem::create_symlink(dir.file("fresh.csv"), dir.file("dangling.csv"));
        ASSERT_EQ(::mkfifo(dir.file("fifo.csv").c_str(), 0600), 0);
        CaptureSession session;
        session.outputPath = dir.folder() + c.relativePath;
        SaveTarget target = targetIn(dir);
        target.codePage = c.codePage;

        const auto outcome = SaveCapture("a\r\n", target, session);
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(outcome.saved);
        EXPECT_FALSE(outcome.error.empty());
        EXPECT_EQ(outcome.status, kNotSavedMessage + session.outputPath + "（" + outcome.error + "）");
        EXPECT_EQ(session.statusText, outcome.status);
        EXPECT_EQ(outcome.shownText, "a\r\n");
        EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken.csv")));
        EXPECT_EQ(readBytes(dir.file("plain")), "keep");
        EXPECT_FALSE(std::filesystem::exists(dir.file("fresh.csv")));
    }
}

// Past the limit nothing is written, neither the ruled table (never even drawn) nor the text.
TEST(SaveCapture, TextPastTheLimitIsNotWritten)
{
    struct Case {
        bool ruled;
        std::string text;
        bool saved;
    };
    const Case cases[] = {
        {true, "名称,价格\r\n苹果,5\r\n", false},
        {true, std::string(500000, ',') + "\r\n", false},
        {false, std::string(41, 'a'), false},
        {false, std::string(40, 'a'), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        ScratchDir dir;
        writeBytes(dir.file("kept.csv"), "old\r\n");
        CaptureSession session;
        session.outputPath = dir.folder() + "kept.csv";
        SaveTarget target = targetIn(dir, c.ruled);
        target.exactPath = true;
        target.maxBytes = 40;
        const auto outcome = SaveCapture(c.text, target, session);
        EXPECT_EQ(outcome.saved, c.saved);
        EXPECT_EQ(readBytes(dir.file("kept.csv")), c.saved ? "old\r\n" + c.text : "old\r\n");
        if (!c.saved) {
            EXPECT_EQ(outcome.error, tooLargeMessage(40));
        }
    }
}

// A file size limit stands in for a full disk: a write that stops halfway must not pass for
// saved, and the part of the capture that was written is taken back off the file.
TEST(SaveCapture, WriteThatStopsHalfwayIsAFailure)
{
    ScratchDir dir;
    writeBytes(dir.file("small.csv"), "ab");
    CaptureSession session;
    session.outputPath = dir.folder() + "small.csv";

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto outcome = SaveCapture("a\r\nb\r\n", targetIn(dir), session);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(outcome.saved);
    EXPECT_NE(outcome.error.find(std::strerror(EFBIG)), std::string::npos) << outcome.error;
    EXPECT_EQ(readBytes(dir.file("small.csv")), "ab");
}
