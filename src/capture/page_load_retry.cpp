#include "capture/page_load_retry.h"

namespace tabvoro::capture {

namespace {

std::string seconds(int ms)
{
    // Whole seconds read best; a time-out set in parts of a second keeps them.
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000);
    std::string text = std::to_string(ms / 1000.0);
    text.erase(text.find_last_not_of('0') + 1);
    return text;
}

}  // namespace

LoadFailureStep PageLoadRetry::onFailure(const std::string &url, const std::string &reason)
{
    if (url != m_url) {
        m_url = url;
        m_failures = 0;
    }
    ++m_failures;
    if (m_failures > static_cast<int>(m_waitsMs.size())) {
        const int tries = m_failures;
        onSuccess();
        return GiveUpLoad{"网页打开" + std::to_string(tries) + "次都失败，采集已停止：" + url + "（" + reason + "）"};
    }
    RetryLoad retry;
    retry.url = url;
    retry.attempt = m_failures;
    retry.waitMs = m_waitsMs[static_cast<std::size_t>(m_failures - 1)];
    retry.status = "网页未能打开（" + reason + "），" + seconds(retry.waitMs) + "秒后第" +
                   std::to_string(retry.attempt) + "次重试：" + url;
    return retry;
}

void PageLoadRetry::onSuccess()
{
    m_url.clear();
    m_failures = 0;
}

std::string pageTimeoutReason(int timeoutMs) { return seconds(timeoutMs) + "秒内没有打开完"; }

std::string nextPageDidNotComeMessage(int timeoutMs)
{
    return "翻页后" + seconds(timeoutMs) + "秒内既没有打开新网页，表格也没有变化，下一页没有出现，采集已停止";
}

}  // namespace tabvoro::capture
