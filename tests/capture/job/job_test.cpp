#include "capture/job/job.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "test_support.h"

using namespace tabvoro::capture;
using tabvoro::test::readBytes;
using tabvoro::test::ScratchDir;
using tabvoro::test::writeBytes;
namespace fs = std::filesystem;

namespace {

Job everyFieldSet()
{
    Job job;
    CaptureSettings &s = job.settings;
    s.url = "http://www.site.example/list.asp?page=(*)";
    s.keyword = "编号,名称";
    s.keywordMode = KeywordMode::Position;
    s.inFrame = true;
    s.frameText = "1a";
    s.includeHeader = true;
    s.includeLinks = true;
    s.ruled = true;
    s.timed = true;
    s.pagingMode = PagingMode::UrlList;
    s.nextPageText = " ";
    s.startPage = "3";
    s.endPage = "9";
    s.dropDownName = "pg";
    s.fields = {{"编号", true}, {"", false}, {"价格", true}};
    job.timerMs = 700;
    job.urlList = {"http://a.example/1", "http://a.example/2"};
    job.urlListRow = 1;
    job.outputFolder = "/tmp/下载/";
    job.encoding = "UTF-8";
    job.output = "/tmp/out.csv";
    job.engine = RunEngine::Chromium;
    job.settleSeconds = 2.5;
    return job;
}

void expectSameJob(const Job &a, const Job &b)
{
    const CaptureSettings &x = a.settings, &y = b.settings;
    EXPECT_EQ(x.url, y.url);
    EXPECT_EQ(x.keyword, y.keyword);
    EXPECT_EQ(x.keywordMode, y.keywordMode);
    EXPECT_EQ(x.inFrame, y.inFrame);
    EXPECT_EQ(x.frameText, y.frameText);
    EXPECT_EQ(x.includeHeader, y.includeHeader);
    EXPECT_EQ(x.includeLinks, y.includeLinks);
    EXPECT_EQ(x.ruled, y.ruled);
    EXPECT_EQ(x.timed, y.timed);
    EXPECT_EQ(x.pagingMode, y.pagingMode);
    EXPECT_EQ(x.nextPageText, y.nextPageText);
    EXPECT_EQ(x.startPage, y.startPage);
    EXPECT_EQ(x.endPage, y.endPage);
    EXPECT_EQ(x.dropDownName, y.dropDownName);
    ASSERT_EQ(x.fields.size(), y.fields.size());
    for (std::size_t i = 0; i < x.fields.size(); ++i) {
        EXPECT_EQ(x.fields[i].name, y.fields[i].name);
        EXPECT_EQ(x.fields[i].selected, y.fields[i].selected);
    }
    EXPECT_EQ(a.timerMs, b.timerMs);
    EXPECT_EQ(a.urlList, b.urlList);
    EXPECT_EQ(a.urlListRow, b.urlListRow);
    EXPECT_EQ(a.outputFolder, b.outputFolder);
    EXPECT_EQ(a.encoding, b.encoding);
    EXPECT_EQ(a.output, b.output);
    EXPECT_EQ(a.engine, b.engine);
    EXPECT_EQ(a.settleSeconds, b.settleSeconds);
}

}  // namespace

TEST(Job, EverySettingSurvivesTheFile)
{
    const Job job = everyFieldSet();
    const std::string json = jobJson(job);
    EXPECT_NE(json.find("\"version\": 1"), std::string::npos);
    // Chinese stays readable in the file.
    EXPECT_NE(json.find("编号,名称"), std::string::npos);
    auto read = parseJob(json);
    ASSERT_TRUE(read) << read.error().message;
    expectSameJob(*read, job);

    // Each paging and keyword mode by its name.
    for (int mode = 0; mode < 4; ++mode) {
        Job other;
        other.settings.pagingMode = static_cast<PagingMode>(mode);
        other.settings.keywordMode = static_cast<KeywordMode>(mode % 3);
        auto again = parseJob(jobJson(other));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->settings.pagingMode, other.settings.pagingMode);
        EXPECT_EQ(again->settings.keywordMode, other.settings.keywordMode);
    }
}

TEST(Job, MissingFieldsTakeTheStartUpValuesAndUnknownOnesArePassedOver)
{
    auto read = parseJob(R"({"version": 1, "keyword": "k", "comment": "mine", "future": {"x": [1, 2]}})");
    ASSERT_TRUE(read) << read.error().message;
    expectSameJob(*read, [] {
        Job job;
        job.settings.keyword = "k";
        return job;
    }());
    EXPECT_EQ(read->timerMs, 2000);
    EXPECT_EQ(read->urlListRow, -1);
}

TEST(Job, ABadFileIsRefusedWithTheFieldNamed)
{
    struct Case {
        const char *json;
        const char *named;  // a part of the message
    };
    const Case cases[] = {
        {R"({"version": 1, "keyword": )", "JSON"},
        {"", "JSON"},
        {R"([1, 2])", "对象"},
        {R"({"keyword": "k"})", "\"version\""},
        {R"({"version": 2})", "\"version\""},
        {R"({"version": "1"})", "\"version\""},
        {R"({"version": 1, "keyword": 5})", "\"keyword\""},
        {R"({"version": 1, "header": 1})", "\"header\""},
        {R"({"version": 1, "timerMs": 0})", "\"timerMs\""},
        {R"({"version": 1, "timerMs": 2.5})", "\"timerMs\""},
        {R"({"version": 1, "timerMs": 99999999999})", "\"timerMs\""},
        {R"({"version": 1, "timerMs": 18446744073709551615})", "\"timerMs\""},
        {R"({"version": 1, "paging": "sideways"})", "\"paging\""},
        {R"({"version": 1, "keywordMode": "any"})", "\"keywordMode\""},
        {R"({"version": 1, "urlList": "http://a/"})", "\"urlList\""},
        {R"({"version": 1, "urlList": ["http://a/", 3]})", "\"urlList\"[1]"},
        {R"({"version": 1, "urlList": ["http://a/"], "urlListRow": 1})", "\"urlListRow\""},
        {R"({"version": 1, "urlListRow": -2})", "\"urlListRow\""},
        {R"({"version": 1, "fields": [{"name": "a"}, {"name": "b", "selected": "yes"}]})", "\"fields[1].selected\""},
        {R"({"version": 1, "fields": [{"name": 1}]})", "\"fields[0].name\""},
        {R"({"version": 1, "fields": ["a"]})", "\"fields\"[0]"},
        {R"({"version": 1, "encoding": null})", "\"encoding\""},
        {R"({"version": 1, "engine": "firefox"})", "\"engine\""},
        {R"({"version": 1, "settle": -1})", "\"settle\""},
        {R"({"version": 1, "settle": "10"})", "\"settle\""},
    };
    for (const auto &c : cases) {
        auto read = parseJob(c.json);
        ASSERT_FALSE(read) << c.json;
        EXPECT_NE(read.error().message.find(c.named), std::string::npos) << c.json << " -> " << read.error().message;
    }
}

TEST(JobFile, WritesWholeFilesAndNamesTheFileInErrors)
{
    ScratchDir dir;
    const std::string path = dir.folder() + "任务.json";
    ASSERT_TRUE(writeJobFile(path, everyFieldSet()));
    Job changed = everyFieldSet();
    changed.settings.keyword = "second";
    ASSERT_TRUE(writeJobFile(path, changed));
    auto read = readJobFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->settings.keyword, "second");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    writeBytes(dir.file("bad.json"), R"({"version": 1, "ruled": "yes"})");
    auto bad = readJobFile(dir.folder() + "bad.json");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().message.find("bad.json"), std::string::npos);
    EXPECT_NE(bad.error().message.find("\"ruled\""), std::string::npos);
    EXPECT_FALSE(readJobFile(dir.folder() + "none.json"));
    EXPECT_FALSE(writeJobFile(dir.folder() + "no/such/folder.json", changed));
}
