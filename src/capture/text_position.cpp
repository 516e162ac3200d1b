#include "capture/text_position.h"

#include <algorithm>

namespace tabvoro::capture {

namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

RowColumn caretRowColumn(std::u16string_view text, std::size_t position)
{
    position = std::min(position, text.size());
    const std::u16string_view before = text.substr(0, position);
    RowColumn at;
    at.row = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), u'\n'));
    const std::size_t newline = before.rfind(u'\n');
    const std::size_t lineStart = newline == std::u16string_view::npos ? 0 : newline + 1;
    for (std::size_t i = lineStart; i < position; ++i) {
        // The second half of a pair belongs to the character its first half began.
        if (isLowSurrogate(text[i]) && i > lineStart && isHighSurrogate(text[i - 1]))
            continue;
        ++at.column;
    }
    return at;
}

TextSelection searchOrigin(std::u16string_view text, TextSelection selection)
{
    if (selection.start != 0 || text.empty())
        return selection;
    // A caret between the halves of a pair would split its character.
    const bool pair = text.size() >= 2 && isHighSurrogate(text[0]) && isLowSurrogate(text[1]);
    return {pair ? 2u : 1u, 0};
}

std::optional<TextSelection> findNext(std::u16string_view text, std::u16string_view needle, TextSelection selection)
{
    if (needle.empty() || selection.end() > text.size())
        return std::nullopt;
    const std::size_t found = text.find(needle, selection.end());
    if (found == std::u16string_view::npos)
        return std::nullopt;
    return TextSelection{found, needle.size()};
}

int shorterTimerInterval(int interval) { return interval > kTimerIntervalStep ? interval - kTimerIntervalStep : interval; }

int longerTimerInterval(int interval)
{
    return interval > kLargestTimerInterval - kTimerIntervalStep ? interval : interval + kTimerIntervalStep;
}

}  // namespace tabvoro::capture
