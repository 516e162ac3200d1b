#pragma once

// The caret position and the search of the large text box, counted as the text widget counts:
// positions are UTF-16 code units of the box's plain text, in which a line ends at "\n".

#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>

namespace tabvoro::capture {

struct RowColumn {
    std::size_t row = 1;     // from 1
    std::size_t column = 1;  // from 1, in characters: a surrogate pair counts once
};

// The line and column of `position` (a caret index from 0, clamped to the text).
RowColumn caretRowColumn(std::u16string_view text, std::size_t position);

struct TextSelection {
    std::size_t start = 0;
    std::size_t length = 0;

    std::size_t end() const { return start + length; }
    bool operator==(const TextSelection &) const = default;
};

// Where a search step starts from: a caret or selection at the very start of the text becomes a
// caret after the first character, so the first occurrence found is never the one at index 0.
// An empty text leaves the caret where it is.
TextSelection searchOrigin(std::u16string_view text, TextSelection selection);

// The first occurrence of `needle` that begins at or after the end of `selection`, exact and
// case-sensitive; nothing when there is none or `needle` is empty. It never wraps around.
std::optional<TextSelection> findNext(std::u16string_view text, std::u16string_view needle,
                                      TextSelection selection);

// The capture timer's interval as clicks on the tally label change it, in steps of 100 ms.
inline constexpr int kTimerIntervalStep = 100;
// The largest interval the timer takes: its interval is an int of milliseconds.
inline constexpr int kLargestTimerInterval = std::numeric_limits<int>::max();

// Down by a step while the interval stays positive (100 and less stay as they are).
int shorterTimerInterval(int interval);
// Up by a step; an interval the timer could not hold leaves it as it was.
int longerTimerInterval(int interval);

}  // namespace tabvoro::capture
