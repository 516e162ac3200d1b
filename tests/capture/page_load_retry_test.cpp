#include "capture/page_load_retry.h"

#include <gtest/gtest.h>

namespace tabvoro::capture {
namespace {

// What each failure in turn gives: the wait before the retry, or 0 for giving up.
std::vector<int> waitsOf(PageLoadRetry &retry, const std::vector<std::string> &urls)
{
    std::vector<int> waits;
    for (const auto &url : urls) {
        const auto step = retry.onFailure(url, "net::ERR_CONNECTION_REFUSED");
        waits.push_back(std::holds_alternative<RetryLoad>(step) ? std::get<RetryLoad>(step).waitMs : 0);
    }
    return waits;
}

TEST(PageLoadRetry, CountsTheFailuresOfOneAddress)
{
    struct Case {
        const char *what;
        std::vector<int> waits;
        std::vector<std::string> urls;
        std::vector<int> expected;
    };
    const std::string a = "http://a.example/1", b = "http://a.example/2";
    const Case cases[] = {
        {"the program's waits, then giving up", {1000, 2000, 4000}, {a, a, a, a}, {1000, 2000, 4000, 0}},
        {"waits given in milliseconds", {5, 10}, {a, a, a}, {5, 10, 0}},
        {"no retry at all", {}, {a}, {0}},
        {"another address starts its tries afresh", {5, 10}, {a, a, b, b, b}, {5, 10, 5, 10, 0}},
        {"after giving up the address has its tries again", {5}, {a, a, a}, {5, 0, 5}},
    };
    for (const auto &c : cases) {
        PageLoadRetry retry(c.waits);
        EXPECT_EQ(waitsOf(retry, c.urls), c.expected) << c.what;
    }
}

TEST(PageLoadRetry, ALoadedPageGivesTheNextFailureAllItsTries)
{
    PageLoadRetry retry({5, 10});
    const std::string a = "http://a.example/";
    EXPECT_EQ(waitsOf(retry, {a, a}), (std::vector<int>{5, 10}));
    retry.onSuccess();
    EXPECT_EQ(waitsOf(retry, {a, a, a}), (std::vector<int>{5, 10, 0}));
}

TEST(PageLoadRetry, SaysWhatFailedWhyAndWhatComesNext)
{
    PageLoadRetry retry({1000, 2500});
    const std::string url = "http://a.example/p";
    const auto first = std::get<RetryLoad>(retry.onFailure(url, "net::ERR_CONNECTION_RESET"));
    EXPECT_EQ(first.url, url);
    EXPECT_EQ(first.attempt, 1);
    EXPECT_EQ(first.status, "网页未能打开（net::ERR_CONNECTION_RESET），1秒后第1次重试：" + url);
    const auto second = std::get<RetryLoad>(retry.onFailure(url, pageTimeoutReason(800)));
    EXPECT_EQ(second.status, "网页未能打开（0.8秒内没有打开完），2.5秒后第2次重试：" + url);
    const auto end = std::get<GiveUpLoad>(retry.onFailure(url, "net::ERR_FAILED"));
    EXPECT_EQ(end.message, "网页打开3次都失败，采集已停止：" + url + "（net::ERR_FAILED）");
    EXPECT_EQ(nextPageDidNotComeMessage(60000),
              "翻页后60秒内既没有打开新网页，表格也没有变化，下一页没有出现，采集已停止");
}

}  // namespace
}  // namespace tabvoro::capture
