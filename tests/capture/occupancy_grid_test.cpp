#include "capture/occupancy_grid.h"

#include <gtest/gtest.h>

namespace tabvoro::capture {
namespace {

// Runs laid over each other keep, position by position, the longest span; one laid beside a
// run of the same span joins it.
TEST(OccupancyGrid, OverlappingSpansKeepTheLongest)
{
    OccupancyGrid grid;
    grid.cover(0, 5, 0, 10);   // positions 0-9 taken in rows 0-4
    grid.cover(1, 7, 3, 3);    // positions 3-5 taken in rows 1-7
    grid.cover(0, 5, 10, 10);  // positions 10-19 in rows 0-4: joins the first run
    grid.cover(2, 1, 30, 5);   // a cell of one row takes nothing from the rows below it

    struct Case {
        std::size_t row, position, free, covered;
    };
    const Case cases[] = {
        {0, 0, 20, 0}, {1, 0, 20, 0}, {4, 7, 20, 7}, {4, 19, 20, 19},
        {5, 0, 0, 3},  {5, 3, 6, 3},  {5, 4, 6, 4},  {7, 3, 6, 3},
        {8, 3, 3, 20}, {2, 30, 30, 20},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " position " << c.position);
        EXPECT_EQ(grid.freeFrom(c.row, c.position), c.free);
        EXPECT_EQ(grid.coveredFrom(c.row, c.position, 20), c.covered);
        EXPECT_EQ(grid.covered(c.row, c.position), c.free != c.position);
    }
}

}  // namespace
}  // namespace tabvoro::capture
