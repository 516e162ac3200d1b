#include "capture/output/written_rows.h"

#include <gtest/gtest.h>

#include "capture/output/save_capture.h"
#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::ScratchDir;

// A run resumed on its file takes every row the file holds as written, whatever its format and
// code page, and only those.
TEST(WrittenRows, RowsOfTheFileAreMarkedInEachFormatAndCodePage)
{
    struct Case {
        bool ruled;
        const char *codePage;
    };
    const std::string capture = "名称,价格,\r\n苹果,5\r\n,\r\n笑😀,http://x.example/a,b\r\n";
    for (const Case c : {Case{false, "GB18030"}, Case{true, "GB18030"}, Case{false, "ISO-8859-1"},
                         Case{true, "ISO-8859-1"}, Case{false, "UTF-8-BOM"}}) {
        const std::string what = std::string(c.ruled ? "ruled " : "csv ") + c.codePage;
        ScratchDir dir;
        CaptureSession session;
        const SaveTarget target{"http://www.site.com/list", c.ruled, dir.folder(), c.codePage};
        ASSERT_TRUE(SaveCapture(capture, target, session).saved) << what;

        RowMarks marks;
        ASSERT_TRUE(markRowsOfFile(session.outputPath, c.codePage, c.ruled, marks)) << what;
        for (const char *written : {"名称,价格", "名称,价格,", "苹果,5", "笑😀,http://x.example/a,b"})
            EXPECT_FALSE(marks.insert(written)) << what << ": " << written;
        for (const char *fresh : {"苹果,6", "苹果", "笑,http://x.example/a,b"})
            EXPECT_TRUE(marks.insert(fresh)) << what << ": " << fresh;
    }

    RowMarks none;
    EXPECT_TRUE(markRowsOfFile("/nonexistent/file.csv", "GB18030", false, none));
    EXPECT_EQ(none.size(), 0U);
}
