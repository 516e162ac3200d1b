#pragma once

// Which positions of a table's rows are taken by cells of earlier rows through their row span.
// Instead of a rows-by-positions array it keeps, for each position, the first row no longer
// covered there: the same answers in memory proportional to the width alone, so a wide table
// of many rows costs no more than its widest row.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tabvoro::capture {

class OccupancyGrid {
public:
    explicit OccupancyGrid(std::size_t width = 0) : m_coveredUntil(width, 0) {}

    // Position `position` of row `row` is covered by a cell placed in an earlier row.
    bool covered(std::size_t row, std::size_t position) const
    {
        return position < m_coveredUntil.size() && row < m_coveredUntil[position];
    }

    // A cell placed at `row` spanning `rows` rows covers positions first..first+count-1 of the
    // rows below it. Positions past the width are ignored unless the grid may grow.
    void cover(std::size_t row, std::size_t rows, std::size_t first, std::size_t count,
               bool grow = false)
    {
        if (rows <= 1)
            return;
        if (grow && first + count > m_coveredUntil.size())
            m_coveredUntil.resize(first + count, 0);
        const std::size_t end = std::min(first + count, m_coveredUntil.size());
        for (std::size_t p = first; p < end; ++p)
            m_coveredUntil[p] = std::max(m_coveredUntil[p], row + rows);
    }

private:
    std::vector<std::size_t> m_coveredUntil;
};

}  // namespace tabvoro::capture
