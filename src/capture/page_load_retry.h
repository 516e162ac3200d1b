#pragma once

// What a run does when a page does not come: a top-level load that failed or never finished is
// tried again at the same address after growing waits, and the run ends after the last try
// with a message that names the page and the reason. A failed page is never captured and never
// counts as a page, so nothing is skipped without a word.

#include <array>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tabvoro::capture {

// The waits before the retries, in order: three tries after the first failure.
inline constexpr std::array<int, 3> kLoadRetryWaitsMs = {1000, 2000, 4000};

// The page time-out when none is given: a load that has not finished by then has failed.
inline constexpr int kDefaultPageTimeoutMs = 60000;
// How long a loaded page still fetching its rows, or without the table asked for, is waited for.
inline constexpr int kDefaultSettleLimitMs = 10000;

struct RetryLoad {
    std::string url;     // the address that failed, loaded again
    int waitMs = 0;      // how long to wait before loading it
    int attempt = 0;     // 1 for the first retry
    std::string status;  // for the status row
};

struct GiveUpLoad {
    std::string message;  // names the page and the reason
};

using LoadFailureStep = std::variant<RetryLoad, GiveUpLoad>;

class PageLoadRetry {
public:
    // `waitsMs`: the wait before each retry, in order; as many retries as waits.
    explicit PageLoadRetry(std::vector<int> waitsMs = {kLoadRetryWaitsMs.begin(), kLoadRetryWaitsMs.end()})
        : m_waitsMs(std::move(waitsMs))
    {
    }

    // A load of `url` failed for `reason` ("net::ERR_CONNECTION_REFUSED", a time-out). A failure
    // of another address than the last one starts its tries afresh.
    LoadFailureStep onFailure(const std::string &url, const std::string &reason);
    // A page loaded: the next failure, of whatever address, has all its tries again.
    void onSuccess();

private:
    std::vector<int> m_waitsMs;
    std::string m_url;
    int m_failures = 0;
};

// The reason given for a load that had not finished within `timeoutMs`.
std::string pageTimeoutReason(int timeoutMs);

// The end of an after-load run whose next-page step changed nothing within `timeoutMs`: the
// step neither loaded a new document nor changed the page's tables.
std::string nextPageDidNotComeMessage(int timeoutMs);

}  // namespace tabvoro::capture
