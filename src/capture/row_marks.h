#pragma once

// The rows a run has written, for the option that writes each row only once: a 128-bit mark of
// each row rather than the row, so that a run of millions of rows holds a few dozen bytes a row
// whatever the rows' length.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace tabvoro::capture {

class RowMarks {
public:
    // Marks `row`; false when a row with the same fields was marked before. Fields left empty at
    // the row's end do not count, so a row reads the same whether a shorter or a wider row was
    // drawn beside it.
    bool insert(std::string_view row);
    void clear() { m_marks.clear(); }
    std::size_t size() const { return m_marks.size(); }

private:
    struct Mark {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        bool operator==(const Mark &) const = default;
    };
    struct MarkHash {
        std::size_t operator()(const Mark &m) const { return static_cast<std::size_t>(m.a); }
    };
    std::unordered_set<Mark, MarkHash> m_marks;
};

// `line` without the separators of empty fields at its end.
std::string_view rowKey(std::string_view line);

}  // namespace tabvoro::capture
