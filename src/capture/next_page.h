#pragma once

// The step from the page just captured to the next one, in the five paging modes, and the
// conditions under which a run pages at all. The engine decides; the window carries the action
// out (a click in the page, a navigation, a drop-down advanced, the end of the run).

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "capture/capture_settings.h"
#include "capture/document/page_document.h"

namespace tabvoro::capture {

// Click element `index` of the `all` list of the page, or of its frame `frame`.
struct ClickElement {
    std::size_t index = 0;
    std::optional<std::size_t> frame;
};

struct NavigateTo {
    std::string url;
};

// Set each listed drop-down (by its position in the page's `all` list) to its new value and
// fire its change event. The list may be empty: the step still never ends the run.
struct AdvanceDropDowns {
    struct Change {
        std::size_t index = 0;
        std::string value;
    };
    std::vector<Change> changes;
};

// Scroll the page, and the scrolling boxes that hold its tables, to their end: a page that
// loads more rows as it is scrolled down adds them to the table in place.
struct ScrollToEnd {};

// End the run; with a message, show it first and put the focus on the address box.
struct EndTheRun {
    std::string message;
    // The link mode found no element of this keyword on the page: the run says so as it ends,
    // so that a run that ends early is seen to.
    std::string keywordNotFound;
};

// Page-number mode in an after-load run when no new capture has been kept since the last
// advance: capture again, yield, and take the step again.
struct CaptureAndRetry {};

struct NoStep {};

using NextPageAction =
    std::variant<NoStep, ClickElement, NavigateTo, AdvanceDropDowns, ScrollToEnd, EndTheRun, CaptureAndRetry>;

// What the step reads besides the capture settings.
struct NextPageInput {
    const Document *page = nullptr;   // the document shown; null when it cannot be read
    std::string text1;                // the text box under the view: the last kept capture
    std::optional<std::string> pageTurnText;  // Text1 when the page number last advanced; none before
    std::vector<std::string> urlList; // List3's rows
    int currentRow = -1;              // List3's current row, -1 for none
    bool captureOnLoad = false;
};

// What the step changes in the window besides its action.
struct NextPageStep {
    NextPageAction action;
    std::optional<std::string> startPage;     // new text of txtYs
    std::optional<std::string> pageTurnText;  // new PageTurnText
    std::optional<int> markRow;               // List3 row whose selected mark is set
    std::optional<int> currentRow;            // new current row of List3
};

inline constexpr const char *kMissingPlaceholderMessage =
    "网址中无可替换页码变量符“(*)”，请修改网址为类似http://www.tabvoro.example/table.asp?page=(*)这种格式后再继续!    ";

NextPageStep OpenNextPage(const CaptureSettings &settings, const NextPageInput &input);

// The host part of an address: from its 8th character up to and including the first "/" at or
// after it ("http://H/rest" gives "H/"); empty when no "/" follows.
std::string hostPart(const std::string &address);

// Whether a run goes on to the next page: `full` at the start and on a timer tick outside
// frames; `frameTick` on a timer tick for a table in a frame; `running` after a page load and at
// the hand-over from the timer, where the list mode further needs the run to be going on
// (`running`). The drop-down mode holds in all three, so a drop-down run pages until the user
// stops it.
enum class PagingCheck { Full, FrameTick, Running };
bool pagingConditionHolds(PagingCheck check, const CaptureSettings &settings, std::size_t urlListRows, bool running);

// The scrolling mode's end: scrolls in a row that brought no new row before the run ends.
inline constexpr int kFruitlessScrollLimit = 3;
std::string fruitlessScrollsMessage(const std::string &url);

}  // namespace tabvoro::capture
