#pragma once

// Which positions of a table's rows are taken by cells of earlier rows through their row span.
// Kept sparse: runs of positions, each covered down to the row where its cells end, so the
// cost follows the cells that span rows, not the table's width; a header of a thousand cells
// of a thousand columns each is one run, and walking past it is one step.
//
// Rows are asked about in increasing order, the order a table is walked in.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>

namespace tabvoro::capture {

class OccupancyGrid {
public:
    // Position `position` of row `row` is covered by a cell placed in an earlier row.
    bool covered(std::size_t row, std::size_t position) const { return freeFrom(row, position) != position; }

    // The first position at or after `position` that row `row` has free.
    std::size_t freeFrom(std::size_t row, std::size_t position) const
    {
        auto it = m_runs.upper_bound(position);
        if (it != m_runs.begin()) {
            const auto before = std::prev(it);
            if (position < before->second.end && row < before->second.until)
                position = before->second.end;
        }
        for (; it != m_runs.end() && it->first == position && row < it->second.until; ++it)
            position = it->second.end;
        return position;
    }

    // The first position at or after `position` that row `row` has covered, or `limit` when
    // none comes before it.
    std::size_t coveredFrom(std::size_t row, std::size_t position, std::size_t limit) const
    {
        auto it = m_runs.upper_bound(position);
        if (it != m_runs.begin()) {
            const auto before = std::prev(it);
            if (position < before->second.end && row < before->second.until)
                return std::min(position, limit);
        }
        for (; it != m_runs.end() && it->first < limit; ++it)
            if (row < it->second.until)
                return it->first;
        return limit;
    }

    // A cell placed at `row` spanning `rows` rows takes positions first..first+count-1 of rows
    // row..row+rows-1; only the rows below it ask about them.
    void cover(std::size_t row, std::size_t rows, std::size_t first, std::size_t count)
    {
        if (rows <= 1 || count == 0)
            return;
        const std::size_t until = row + rows;
        const std::size_t last = first + count;
        split(first);
        split(last);
        auto it = m_runs.lower_bound(first);
        for (std::size_t p = first; p < last;) {
            if (it != m_runs.end() && it->first == p) {
                it->second.until = std::max(it->second.until, until);
                p = it->second.end;
                ++it;
                continue;
            }
            const std::size_t gapEnd = it == m_runs.end() ? last : std::min(it->first, last);
            it = std::next(m_runs.emplace_hint(it, p, Run{gapEnd, until}));
            p = gapEnd;
        }
        merge(first, last);
    }

private:
    struct Run {
        std::size_t end;    // one past the run's last position
        std::size_t until;  // the first row no longer covered
    };

    // Makes `position` the start of a run when a run goes across it.
    void split(std::size_t position)
    {
        auto it = m_runs.upper_bound(position);
        if (it == m_runs.begin())
            return;
        --it;
        if (it->first < position && position < it->second.end) {
            const Run tail{it->second.end, it->second.until};
            it->second.end = position;
            m_runs.emplace_hint(std::next(it), position, tail);
        }
    }

    // Joins neighbouring runs of the same extent from just before `first` to `last`, so that
    // a row of side-by-side cells of one span stays one run.
    void merge(std::size_t first, std::size_t last)
    {
        auto it = m_runs.lower_bound(first);
        if (it != m_runs.begin())
            --it;
        while (it != m_runs.end() && it->first <= last) {
            const auto next = std::next(it);
            if (next == m_runs.end())
                break;
            if (it->second.end == next->first && it->second.until == next->second.until) {
                it->second.end = next->second.end;
                m_runs.erase(next);
            } else {
                it = next;
            }
        }
    }

    std::map<std::size_t, Run> m_runs;  // by first position; runs never overlap
};

}  // namespace tabvoro::capture
