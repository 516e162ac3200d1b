#include "capture/next_page.h"

#include <cmath>
#include <cstdlib>

#include "capture/capture_table.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

NextPageStep only(NextPageAction action)
{
    NextPageStep step;
    step.action = std::move(action);
    return step;
}

// A keyword that is a number (blanks around it allowed) names a position in `all`.
std::optional<double> keywordPosition(const std::string &keyword)
{
    if (!isNumericText(keyword))
        return std::nullopt;
    const std::string digits = replaceAll(trimSpaces(keyword), ",", "");
    return std::strtod(digits.c_str(), nullptr);
}

NextPageStep byLinkOrButton(const CaptureSettings &settings, const NextPageInput &input)
{
    const std::string &keyword = settings.nextPageText;
    const bool inFrame = settings.inFrame && isSet(settings.frameText);
    std::optional<std::size_t> frame;
    if (inFrame)
        frame = indexFromNumber(leadingNumber(settings.frameText));
    const auto document = input.page ? targetDocument(*input.page, inFrame, settings.frameText)
                                     : Read<const Document *>(failure("no page"));
    // A list that cannot be read has nothing to click: the run ends as when nothing matches.
    if (!document)
        return only(EndTheRun{{}, keyword});
    const Document &doc = **document;
    const std::size_t count = doc.elementCount().value_or(0);
    // A position names its element whether or not the list holds it; it is clicked unless an
    // element before it matches.
    const auto position = keywordPosition(keyword);
    const bool byPosition = position && *position >= 1 && *position == std::floor(*position) &&
                            *position < static_cast<double>(count);
    for (std::size_t i = doc.nextElement(1); i < count; i = doc.nextElement(i + 1)) {
        if (byPosition && *position <= static_cast<double>(i))
            break;
        const auto element = doc.element(i);
        if (!element || !*element)
            continue;
        const std::string tag = asciiUpper((*element)->tagName().value_or(""));
        if (tag == "A" || tag == "IMG" || tag == "BUTTON") {
            const auto contains = (*element)->innerHtmlContains(keyword);
            if (contains && *contains)
                return only(ClickElement{i, frame});
        } else if (tag == "INPUT" && asciiUpper((*element)->type().value_or("")) == "SUBMIT") {
            const auto value = (*element)->value();
            if (value && *value == keyword)
                return only(ClickElement{i, frame});
        }
    }
    if (byPosition)
        return only(ClickElement{static_cast<std::size_t>(*position), frame});
    return only(EndTheRun{{}, keyword});
}

NextPageStep byPageNumber(const CaptureSettings &settings, const NextPageInput &input)
{
    const double start = leadingNumber(settings.startPage);
    const double end = leadingNumber(settings.endPage);
    if (end == start)
        return only(EndTheRun{});
    if (input.pageTurnText && input.text1 == *input.pageTurnText) {
        // No capture kept since the last advance: the next page is not there yet, or repeats
        // the one before. An after-load run captures again; a timed run waits for its tick.
        if (!settings.timed && input.captureOnLoad)
            return only(CaptureAndRetry{});
        return only(NoStep{});
    }
    NextPageStep step;
    step.startPage = formatNumber(end > start ? start + 1 : start - 1);
    step.pageTurnText = input.text1;
    if (settings.url.find("(*)") == std::string::npos)
        step.action = EndTheRun{kMissingPlaceholderMessage, {}};
    else
        step.action = NavigateTo{replaceAll(settings.url, "(*)", *step.startPage)};
    return step;
}

NextPageStep byUrlList(const NextPageInput &input)
{
    const int rows = static_cast<int>(input.urlList.size());
    if (rows <= 1 || input.currentRow == rows - 1)
        return only(EndTheRun{});
    const int current = input.currentRow;
    const std::string currentUrl = current >= 0 && current < rows ? input.urlList[current] : std::string();
    NextPageStep step;
    if (current >= 0)
        step.markRow = current;
    const int next = current + 1;
    step.currentRow = next;
    const std::string &nextUrl = input.urlList[next];
    if (hostPart(nextUrl) != hostPart(currentUrl))
        step.action = EndTheRun{};
    else
        step.action = NavigateTo{nextUrl};
    return step;
}

// A drop-down's value as the page number it stands for, or nothing for a value that is not a
// number (such a drop-down is left alone).
std::optional<double> dropDownNumber(const std::string &value)
{
    const std::string_view text = trimSpaces(value);
    if (text.empty())
        return std::nullopt;
    const std::string copy(text);
    char *end = nullptr;
    const double number = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

NextPageStep byDropDown(const CaptureSettings &settings, const NextPageInput &input)
{
    AdvanceDropDowns advance;
    const std::size_t count = input.page ? input.page->elementCount().value_or(0) : 0;
    for (std::size_t i = input.page ? input.page->nextElement(0) : 0; i < count; i = input.page->nextElement(i + 1)) {
        const auto element = input.page->element(i);
        if (!element || !*element || asciiUpper((*element)->tagName().value_or("")) != "SELECT")
            continue;
        const auto name = (*element)->name();
        if (!name || *name != settings.dropDownName)
            continue;
        const auto number = dropDownNumber((*element)->value().value_or(""));
        if (number)
            advance.changes.push_back({i, formatNumber(std::nearbyint(*number) + 1)});
    }
    return only(advance);
}

}  // namespace

std::string hostPart(const std::string &address)
{
    if (address.size() < 8)
        return {};
    const auto slash = address.find('/', 7);
    if (slash == std::string::npos)
        return {};
    return address.substr(7, slash - 7 + 1);
}

NextPageStep OpenNextPage(const CaptureSettings &settings, const NextPageInput &input)
{
    switch (settings.pagingMode) {
    case PagingMode::NextLink:
        if (isSet(settings.nextPageText))
            return byLinkOrButton(settings, input);
        break;
    case PagingMode::PageNumber:
        if (isSet(settings.startPage) && isSet(settings.endPage))
            return byPageNumber(settings, input);
        break;
    case PagingMode::UrlList:
        return byUrlList(input);
    case PagingMode::DropDown:
        return byDropDown(settings, input);
    case PagingMode::Scroll:
        return only(ScrollToEnd{});
    }
    return only(NoStep{});
}

bool pagingConditionHolds(PagingCheck check, const CaptureSettings &settings, std::size_t urlListRows, bool running)
{
    switch (settings.pagingMode) {
    case PagingMode::NextLink:
        return isSet(settings.nextPageText);
    case PagingMode::PageNumber:
        return isSet(settings.startPage) && isSet(settings.endPage);
    case PagingMode::UrlList:
        return urlListRows > 1 && (check != PagingCheck::Running || running);
    case PagingMode::DropDown:
    case PagingMode::Scroll:
        return true;
    }
    return false;
}

std::string fruitlessScrollsMessage(const std::string &url)
{
    return "连续" + std::to_string(kFruitlessScrollLimit) + "次滚动到底部都没有加载出新的行，连续采集结束：" + url;
}

}  // namespace tabvoro::capture
