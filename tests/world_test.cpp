// The world: positions and the outside rule, cell access, the grid and
// its publication by the tick, and players' fires from many threads while
// the tick runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "world.h"

// ---------------------------------------------------------------------------
// Positions: the column-major index and the outside rule.

using Positions = WorldTest;

TEST_F(Positions, EmptyWorldHasNoCellsAndEverythingIsOutside)
{
    resetall();
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
    EXPECT_FALSE(onmap(serverworld, 0, 0));
    EXPECT_EQ(-1, cellindex(serverworld, 0, 0));
    EXPECT_EQ(0.0L, serverworld.outside.totalcal);
}

TEST_F(Positions, RowBeyondTheHeightIsOutsideNotTheNextColumn)
{
    // serverworld.mapsizey 4: (0, 4) would have index 4, the cell (1, 0).
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"222", "222", "222", "222"}));
    ASSERT_EQ(3, serverworld.mapsizex);
    ASSERT_EQ(4, serverworld.mapsizey);
    EXPECT_FALSE(onmap(serverworld, 0, 4));
    EXPECT_EQ(-1, cellindex(serverworld, 0, 4));
    EXPECT_EQ(4, cellindex(serverworld, 1, 0));
    EXPECT_EQ(2 * 4 + 3, cellindex(serverworld, 2, 3));
    EXPECT_EQ(1 * 4 + 2, cellindex(serverworld, 1, 2));
}

TEST_F(Positions, EachCoordinateIsTestedAgainstItsOwnSize)
{
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"2222", "2222"})); // 4 wide, 2 high
    EXPECT_TRUE(onmap(serverworld, 3, 1));
    EXPECT_TRUE(onmap(serverworld, 0, 0));
    EXPECT_FALSE(onmap(serverworld, 4, 0)); // (serverworld.mapsizex, 0)
    EXPECT_FALSE(onmap(serverworld, 0, 2));
    EXPECT_FALSE(onmap(serverworld, 1, 3));
    EXPECT_FALSE(onmap(serverworld, -1, 2));
    EXPECT_FALSE(onmap(serverworld, 0, -1));
    EXPECT_FALSE(onmap(serverworld, -1, -1));
    EXPECT_FALSE(onmap(serverworld, 1000000, 1));
    EXPECT_EQ(-1, cellindex(serverworld, 4, 0));
    EXPECT_EQ(-1, cellindex(serverworld, -1, 2));
    EXPECT_EQ(-1, cellindex(serverworld, 0, -1));
}

TEST_F(Positions, AllNeighboursOfTheOnlyCellAreOutside)
{
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"2"}));
    EXPECT_EQ(0, cellindex(serverworld, 0, 0));
    for (int dx = -1; dx <= 1; dx++)
        for (int dy = -1; dy <= 1; dy++) {
            if (dx || dy) {
                EXPECT_EQ(-1, cellindex(serverworld, dx, dy)) << dx << "," << dy;
            }
        }
}
