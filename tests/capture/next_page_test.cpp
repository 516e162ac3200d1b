#include "capture/next_page.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capture/document/static_document.h"

namespace tabvoro::capture {
namespace {

const std::string kBase = "http://www.shop.example/list/page.htm";

// Every page is written as <html><head></head><body>…</body></html>: in the `all` list the
// html element is 0, head 1, body 2 and the first element of the body 3.
std::string pageHtml(const std::string &body) { return "<html><head></head><body>" + body + "</body></html>"; }

std::unique_ptr<StaticDocument> page(const std::string &body, FrameLoader loader = {})
{
    return StaticDocument::parse(pageHtml(body), kBase, std::move(loader));
}

NextPageStep step(const CaptureSettings &settings, const Document *document, NextPageInput input = {})
{
    input.page = document;
    return OpenNextPage(settings, input);
}

CaptureSettings linkMode(const std::string &keyword)
{
    CaptureSettings s;
    s.pagingMode = PagingMode::NextLink;
    s.nextPageText = keyword;
    return s;
}

// The element clicked, or nothing when the step ends the run; anything else fails the test.
std::optional<ClickElement> clicked(const NextPageStep &step)
{
    if (const auto *click = std::get_if<ClickElement>(&step.action))
        return *click;
    EXPECT_TRUE(std::holds_alternative<EndTheRun>(step.action)) << "action " << step.action.index();
    if (const auto *end = std::get_if<EndTheRun>(&step.action)) {
        EXPECT_EQ(end->message, "") << "the link mode ends a run without a message box";
        EXPECT_FALSE(end->keywordNotFound.empty()) << "and names the keyword it did not find";
    }
    return std::nullopt;
}

TEST(NextPageLink, ClicksTheFirstMatchingElementInDocumentOrder)
{
    struct Case {
        const char *what;
        std::string body;
        std::string keyword;
        std::optional<std::size_t> expected;  // nothing: the run ends
    };
    const Case cases[] = {
        {"text outside links and buttons is passed over", "<p>下一页</p><a href=\"#\">上一页</a><a href=\"#\">下一页</a>", "下一页", 5},
        {"a button before a link", "<button>下一页</button><a href=\"#\">下一页</a>", "下一页", 3},
        {"the link, not the span inside it", "<div><a href=\"#\"><span>下一页</span></a></div>", "下一页", 4},
        {"an image link by its file name in the link's markup", "<a href=\"#\"><img src=\"next.gif\"></a>", "next.gif", 3},
        {"an image alone has no inner markup", "<img src=\"next.gif\" alt=\"next.gif\">", "next.gif", std::nullopt},
        {"case matters", "<a>next</a><a>NEXT</a><a>Next</a>", "Next", 5},
        {"case matters, no match", "<a>next page</a>", "Next", std::nullopt},
        {"a submit button by its exact value, type in any case", "<input type=\"SuBmIt\" value=\"下一页\">", "下一页", 3},
        {"a plain button is not a submit button", "<input type=\"button\" value=\"下一页\"><input type=\"submit\" value=\"下一页\">", "下一页", 4},
        {"a text box is not a submit button", "<input value=\"下一页\">", "下一页", std::nullopt},
        {"a submit button's value must be the whole keyword", "<input type=\"submit\" value=\"去下一页\"><input type=\"submit\" value=\"下一页 \">", "下一页", std::nullopt},
        {"nothing clickable", "<span>下一页</span><table><tr><td>下一页</td></tr></table>", "下一页", std::nullopt},
        {"a number is a position in the list, whatever stands there", "<p>a</p><p>b</p>", "4", 4},
        {"a number with blanks around it", "<p>a</p><p>b</p>", " 4 ", 4},
        {"a number that is not a whole position", "<p>a</p><p>b</p>", "3.5", std::nullopt},
        {"position 0 is never examined", "<p>a</p>", "0", std::nullopt},
        {"a position past the list", "<p>a</p>", "9", std::nullopt},
        {"a link holding the number before its position", "<a href=\"#\">7</a><p></p><p></p><p></p><p></p><p></p>", "7", 3},
        {"the position before a link holding the number", "<p></p><a href=\"#\">3</a>", "3", 3},
        {"text that begins with a number is no position", "<p></p><a href=\"#\">3页</a>", "3页", 4},
    };
    for (const auto &c : cases) {
        const auto document = page(c.body);
        const auto click = clicked(step(linkMode(c.keyword), document.get()));
        EXPECT_EQ(click ? std::optional(click->index) : std::nullopt, c.expected) << c.what;
        if (click)
            EXPECT_EQ(click->frame, std::nullopt) << c.what;
    }
}

TEST(NextPageLink, LooksInTheFrameOnlyWhenAFrameNumberIsGiven)
{
    const FrameLoader loader = [](const std::string &url) -> Result<std::string> {
        if (url == "http://www.shop.example/list/pager.htm")
            return pageHtml("<p>pages</p><a href=\"#\">下一页</a>");
        return failure("no such page " + url);
    };
    const auto document = page("<a href=\"#\">下一页</a><iframe src=\"pager.htm\"></iframe>", loader);
    struct Case {
        bool inFrame;
        std::string frameText;
        std::optional<ClickElement> expected;
    };
    const Case cases[] = {
        {false, "0", ClickElement{3, std::nullopt}},
        {true, "0", ClickElement{4, 0}},
        // A ticked box without a number still means the page itself.
        {true, "", ClickElement{3, std::nullopt}},
        // A frame that is not there has nothing to click.
        {true, "1", std::nullopt},
        {true, "99999999999999999999999", std::nullopt},
    };
    for (const auto &c : cases) {
        CaptureSettings settings = linkMode("下一页");
        settings.inFrame = c.inFrame;
        settings.frameText = c.frameText;
        const auto click = clicked(step(settings, document.get()));
        ASSERT_EQ(click.has_value(), c.expected.has_value()) << c.inFrame << " '" << c.frameText << "'";
        if (click) {
            EXPECT_EQ(click->index, c.expected->index) << c.inFrame << " '" << c.frameText << "'";
            EXPECT_EQ(click->frame, c.expected->frame) << c.inFrame << " '" << c.frameText << "'";
        }
    }
}

TEST(NextPageLink, APageThatCannotBeReadEndsTheRunAndNoKeywordTakesNoStep)
{
    EXPECT_EQ(clicked(step(linkMode("下一页"), nullptr)), std::nullopt);
    const auto document = page("<a href=\"#\">下一页</a>");
    EXPECT_TRUE(std::holds_alternative<NoStep>(step(linkMode(""), document.get()).action));
}

CaptureSettings numberMode(const std::string &url, const std::string &from, const std::string &to, bool timed = false)
{
    CaptureSettings s;
    s.pagingMode = PagingMode::PageNumber;
    s.url = url;
    s.startPage = from;
    s.endPage = to;
    s.timed = timed;
    return s;
}

NextPageStep numberStep(const CaptureSettings &settings, const std::string &text1, const std::string &pageTurnText,
                        bool captureOnLoad = true)
{
    NextPageInput input;
    input.text1 = text1;
    input.pageTurnText = pageTurnText;
    input.captureOnLoad = captureOnLoad;
    return OpenNextPage(settings, input);
}

TEST(NextPageNumber, MovesOnePageTowardsTheLastAndOpensTheTemplate)
{
    const std::string url = "http://h.example/list.asp?page=(*)&from=(*)";
    struct Case {
        std::string from, to, page;
    };
    const Case cases[] = {{"3", "10", "4"}, {"5", "1", "4"}, {"9", "10", "10"}, {"2", "1", "1"}, {"0", "-2", "-1"}};
    for (const auto &c : cases) {
        const NextPageStep s = numberStep(numberMode(url, c.from, c.to), "rows of the page", "rows before");
        EXPECT_EQ(s.startPage, c.page) << c.from << "→" << c.to;
        EXPECT_EQ(s.pageTurnText, "rows of the page");
        const auto *navigate = std::get_if<NavigateTo>(&s.action);
        ASSERT_NE(navigate, nullptr) << c.from << "→" << c.to;
        EXPECT_EQ(navigate->url, "http://h.example/list.asp?page=" + c.page + "&from=" + c.page);
    }
}

TEST(NextPageNumber, EndsAtTheLastPage)
{
    const NextPageStep s = numberStep(numberMode("http://h.example/?p=(*)", "7", "7"), "new rows", "old rows");
    const auto *end = std::get_if<EndTheRun>(&s.action);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->message, "");
    EXPECT_EQ(s.startPage, std::nullopt);
    EXPECT_EQ(s.pageTurnText, std::nullopt);
}

TEST(NextPageNumber, NoNewCaptureSinceTheLastTurn)
{
    const std::string url = "http://h.example/?p=(*)";
    // After each load: capture again and retry until the new page's rows arrive.
    EXPECT_TRUE(std::holds_alternative<CaptureAndRetry>(numberStep(numberMode(url, "2", "5"), "same", "same").action));
    // A timed run leaves it to its next tick; a run no longer armed does nothing either.
    EXPECT_TRUE(std::holds_alternative<NoStep>(numberStep(numberMode(url, "2", "5", true), "same", "same").action));
    EXPECT_TRUE(std::holds_alternative<NoStep>(numberStep(numberMode(url, "2", "5"), "same", "same", false).action));
    const NextPageStep waiting = numberStep(numberMode(url, "2", "5"), "same", "same");
    EXPECT_EQ(waiting.startPage, std::nullopt);
}

TEST(NextPageNumber, AnAddressWithoutThePlaceholderEndsWithAMessageAfterTheTurn)
{
    const NextPageStep s = numberStep(numberMode("http://h.example/?p=3", "3", "6"), "new rows", "");
    const auto *end = std::get_if<EndTheRun>(&s.action);
    ASSERT_NE(end, nullptr);
    EXPECT_TRUE(end->message.starts_with("网址中无可替换页码变量符“(*)”")) << end->message;
    EXPECT_EQ(s.startPage, "4");
    EXPECT_EQ(s.pageTurnText, "new rows");
}

TEST(NextPageNumber, AnEmptyPageBoxTakesNoStep)
{
    for (const auto &[from, to] : std::map<std::string, std::string>{{"", "5"}, {"1", ""}})
        EXPECT_TRUE(std::holds_alternative<NoStep>(
            numberStep(numberMode("http://h.example/?p=(*)", from, to), "new", "old").action))
            << "'" << from << "' '" << to << "'";
}

NextPageStep listStep(const std::vector<std::string> &rows, int current)
{
    CaptureSettings settings;
    settings.pagingMode = PagingMode::UrlList;
    NextPageInput input;
    input.urlList = rows;
    input.currentRow = current;
    return OpenNextPage(settings, input);
}

TEST(NextPageList, OpensTheNextAddressOnTheSameHost)
{
    const std::vector<std::string> rows = {"http://h1.example/a", "http://h1.example/b?x=1", "http://h2.example/c",
                                           "http://h2.example/d"};
    struct Case {
        int current;
        std::optional<std::string> opened;  // nothing: the run ends
        std::optional<int> marked, next;
    };
    const Case cases[] = {
        {0, "http://h1.example/b?x=1", 0, 1},
        // The next address is on another host: the run ends there, the row still moved to.
        {1, std::nullopt, 1, 2},
        {2, "http://h2.example/d", 2, 3},
        // The last row ends the run and changes nothing.
        {3, std::nullopt, std::nullopt, std::nullopt},
        // With no current row the "current" address is empty: no host matches it.
        {-1, std::nullopt, std::nullopt, 0},
    };
    for (const auto &c : cases) {
        const NextPageStep s = listStep(rows, c.current);
        if (c.opened) {
            const auto *navigate = std::get_if<NavigateTo>(&s.action);
            ASSERT_NE(navigate, nullptr) << "row " << c.current;
            EXPECT_EQ(navigate->url, *c.opened);
        } else {
            const auto *end = std::get_if<EndTheRun>(&s.action);
            ASSERT_NE(end, nullptr) << "row " << c.current;
            EXPECT_EQ(end->message, "");
        }
        EXPECT_EQ(s.markRow, c.marked) << "row " << c.current;
        EXPECT_EQ(s.currentRow, c.next) << "row " << c.current;
    }
}

TEST(NextPageList, SecureAddressesAllShareTheHostPartSlash)
{
    // The host part starts at the 8th character, which in "https://" is the second slash.
    const NextPageStep s = listStep({"https://a.example/1", "https://b.example/2"}, 0);
    const auto *navigate = std::get_if<NavigateTo>(&s.action);
    ASSERT_NE(navigate, nullptr);
    EXPECT_EQ(navigate->url, "https://b.example/2");
}

TEST(NextPageList, OneRowOrNoneEndsTheRun)
{
    for (const auto &rows : {std::vector<std::string>{}, std::vector<std::string>{"http://h1.example/a"}}) {
        const NextPageStep s = listStep(rows, 0);
        EXPECT_TRUE(std::holds_alternative<EndTheRun>(s.action)) << rows.size();
        EXPECT_EQ(s.currentRow, std::nullopt);
        EXPECT_EQ(s.markRow, std::nullopt);
    }
}

TEST(NextPageList, HostPart)
{
    const std::map<std::string, std::string> cases = {
        {"http://h.example/a/b", "h.example/"},
        {"http://127.0.0.1:8080/p?x=1", "127.0.0.1:8080/"},
        {"http://H.example/", "H.example/"},
        {"https://h.example/a", "/"},
        {"http://h.example", ""},
        {"http://", ""},
        {"", ""},
    };
    for (const auto &[address, host] : cases)
        EXPECT_EQ(hostPart(address), host) << address;
}

std::vector<AdvanceDropDowns::Change> dropDownChanges(const std::string &body, const std::string &name)
{
    CaptureSettings settings;
    settings.pagingMode = PagingMode::DropDown;
    settings.dropDownName = name;
    const auto document = page(body);
    const NextPageStep s = step(settings, document.get());
    const auto *advance = std::get_if<AdvanceDropDowns>(&s.action);
    EXPECT_NE(advance, nullptr);
    return advance ? advance->changes : std::vector<AdvanceDropDowns::Change>{};
}

std::string select(const std::string &name, const std::string &value)
{
    return "<select name=\"" + name + "\"><option value=\"x\">x</option><option value=\"" + value +
           "\" selected>" + value + "</option></select>";
}

TEST(NextPageDropDown, AdvancesEveryDropDownOfThatName)
{
    struct Case {
        std::string value, next;
    };
    // select is element 3 of the page, its options 4 and 5.
    for (const auto &c : {Case{"4", "5"}, Case{" 4 ", "5"}, Case{"4.7", "6"}, Case{"-1", "0"}, Case{"1e1", "11"}}) {
        const auto changes = dropDownChanges(select("page", c.value), "page");
        ASSERT_EQ(changes.size(), 1u) << c.value;
        EXPECT_EQ(changes[0].index, 3u);
        EXPECT_EQ(changes[0].value, c.next) << c.value;
    }
    // Two of that name, one of another and a box of that name: the two drop-downs move.
    const auto changes = dropDownChanges(
        select("page", "2") + select("Page", "7") + "<input name=\"page\" value=\"3\">" + select("page", "9"), "page");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].index, 3u);
    EXPECT_EQ(changes[0].value, "3");
    EXPECT_EQ(changes[1].index, 10u);
    EXPECT_EQ(changes[1].value, "10");
}

TEST(NextPageDropDown, NeverEndsTheRunByItself)
{
    // A value that is no number is left alone; with nothing to advance the step still goes on.
    for (const std::string body : {select("page", "abc"), select("page", ""), select("page", "3页"), std::string("<p>x</p>")})
        EXPECT_TRUE(dropDownChanges(body, "page").empty()) << body;
    CaptureSettings settings;
    settings.pagingMode = PagingMode::DropDown;
    settings.dropDownName = "page";
    EXPECT_TRUE(std::holds_alternative<AdvanceDropDowns>(step(settings, nullptr).action));
}

TEST(NextPageCondition, EachModeInEachCheck)
{
    struct Case {
        PagingMode mode;
        std::string nextText, from, to;
        std::size_t rows;
        bool runOn;
        bool full, frameTick, running;
    };
    const Case cases[] = {
        {PagingMode::NextLink, "下一页", "", "", 0, false, true, true, true},
        {PagingMode::NextLink, "", "1", "5", 9, true, false, false, false},
        {PagingMode::NextLink, " ", "", "", 0, false, true, true, true},
        {PagingMode::PageNumber, "", "1", "5", 0, false, true, true, true},
        {PagingMode::PageNumber, "下一页", "", "5", 0, true, false, false, false},
        {PagingMode::PageNumber, "下一页", "1", "", 0, true, false, false, false},
        // The list mode goes on after a load only while the run is on.
        {PagingMode::UrlList, "", "", "", 2, true, true, true, true},
        {PagingMode::UrlList, "", "", "", 2, false, true, true, false},
        {PagingMode::UrlList, "下一页", "1", "5", 1, true, false, false, false},
        {PagingMode::DropDown, "", "", "", 0, false, true, true, true},
    };
    for (const auto &c : cases) {
        CaptureSettings settings;
        settings.pagingMode = c.mode;
        settings.nextPageText = c.nextText;
        settings.startPage = c.from;
        settings.endPage = c.to;
        const std::string what = "mode " + std::to_string(int(c.mode)) + " '" + c.nextText + "' '" + c.from +
                                 "' '" + c.to + "' rows " + std::to_string(c.rows) + (c.runOn ? " on" : " off");
        EXPECT_EQ(pagingConditionHolds(PagingCheck::Full, settings, c.rows, c.runOn), c.full) << what;
        EXPECT_EQ(pagingConditionHolds(PagingCheck::FrameTick, settings, c.rows, c.runOn), c.frameTick) << what;
        EXPECT_EQ(pagingConditionHolds(PagingCheck::Running, settings, c.rows, c.runOn), c.running) << what;
    }
}

}  // namespace
}  // namespace tabvoro::capture
