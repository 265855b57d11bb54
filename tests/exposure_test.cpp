// The exposure step: damage from a hot cell, credit to the players whose
// heat is in it, on prepared cells and players.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "game/exposure.h"
#include "game/player.h"
#include "support.h"
#include "engine/world.h"

namespace {

// A published cell by position.
struct CELLPOS {
    long x, y;
};

// Sets the published cell (x, y) to `kelvins` at 1 cal/K with no sources.
CELLPOS heatcell(long x, long y, long double kelvins)
{
    MAPUNIT c = getcell(testgame.world, x, y);
    c.calperc = 1;
    c.totalcal = kelvins;
    for (int i = 0; i < NUMSLOTS; i++) {
        c.heatsource[i] = 0;
        c.sourcequan[i] = 0;
    }
    putcell(testgame.world, x, y, c);
    return {x, y};
}

void setslot(CELLPOS at, int slot, int tag, long double quan)
{
    MAPUNIT c = getcell(testgame.world, at.x, at.y);
    c.heatsource[slot] = tag;
    c.sourcequan[slot] = quan;
    putcell(testgame.world, at.x, at.y, c);
}

// Six players, 0 to 5, all on (0,0) unless moved.
void sixplayers()
{
    for (int i = 0; i < 6; i++) {
        ASSERT_EQ(addplayer(testgame.players, ("p" + std::to_string(i)).c_str()), i);
        placeplayer(i, 0, 0);
    }
}

class Exposure : public WorldTest {
  protected:
    void SetUp() override { loadplayergrid(); }
};

} // namespace

TEST_F(Exposure, NoPlayerIsAPlainStop)
{
    heatcell(0, 0, 1000);
    doexposure(testgame, -1); // must not touch anything (there is no player list)
    SUCCEED();
}

TEST_F(Exposure, DamageStartsAt393Kelvins)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 392.9L);
    setslot(c, 0, 4, 50); // player 3's heat
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 100);
    EXPECT_EQ(playerentry(3).score, 0);
    heatcell(0, 0, 393);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 99);
    // 384 to 392 hurt nobody either.
    heatcell(0, 0, 384);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 99);
}

TEST_F(Exposure, HealthFallsBelowZeroThenStops)
{
    ASSERT_EQ(addplayer(testgame.players, "hot"), 0);
    heatcell(0, 0, 1000);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 39);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, -22);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, -22);
}

TEST_F(Exposure, CreditSharesDamageByHeat)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463); // damage (463 - 383) / 10 = 8
    setslot(c, 0, 4, 30);             // player 3
    setslot(c, 1, 6, 10);             // player 5
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 92);
    EXPECT_EQ(playerentry(3).score, 6);
    EXPECT_EQ(playerentry(5).score, 2);
    EXPECT_EQ(playerentry(0).score, 0);
}

TEST_F(Exposure, FractionsOfACreditAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 393); // damage 1: shares 0.75 and 0.25
    setslot(c, 0, 4, 30);
    setslot(c, 1, 6, 10);
    doexposure(testgame, 0);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 98);
    EXPECT_EQ(playerentry(3).score, 0);
    EXPECT_EQ(playerentry(5).score, 0);
}

TEST_F(Exposure, OwnHeatAndSlotsPastFiveEarnNothingButCount)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 1, 30); // player 0's own heat
    setslot(c, 1, 4, 10); // player 3
    setslot(c, 7, 6, 40); // player 5, beyond the credited slots
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).score, 0);
    EXPECT_EQ(playerentry(3).score, 1); // 10 / 80 x 8; with 10 / 10 it would be 8
    EXPECT_EQ(playerentry(5).score, 0);
    EXPECT_EQ(playerentry(0).health, 92);
}

TEST_F(Exposure, SlotFourIsStillCredited)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 4, 3, 10); // player 2
    setslot(c, 5, 4, 10); // player 3: slot 5 earns nothing
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(2).score, 4);
    EXPECT_EQ(playerentry(3).score, 0);
}

TEST_F(Exposure, LeftPlayerStillGainsScore)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    delplayer(testgame.players, 3);
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 4, 10);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(3).score, 8);
    EXPECT_EQ(playerentry(3).num, -1);
}

TEST_F(Exposure, PlayerOffTheMapReadsTheOutsideCell)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    // A hot, attributed grid cell that must not be read for a position off
    // the map: (1,3) would be index 6, which is (2,0); (3,0) would be
    // index 9, past the 9 cells.
    CELLPOS c = heatcell(2, 0, 2000);
    setslot(c, 0, 4, 10);
    placeplayer(0, 3, 0);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 100); // the surroundings are at 20 K
    testgame.world.outside.totalcal = 1000;         // no other thread runs here
    placeplayer(0, -1, 7);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 39);
    EXPECT_EQ(playerentry(3).score, 0);
    placeplayer(0, 1, 3);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, -22);
    EXPECT_EQ(playerentry(3).score, 0);
}

TEST_F(Exposure, NoAttributedHeatMeansNoCredit)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 4, 0); // a filled slot of quantity 0, total 0
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 92);
    EXPECT_EQ(playerentry(3).score, 0);
}

TEST_F(Exposure, DeadPlayerIsNotHurtAndCreditsNobody)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    setplayerhealth(0, 0);
    CELLPOS c = heatcell(0, 0, 1000);
    setslot(c, 0, 4, 10);
    doexposure(testgame, 0);
    EXPECT_EQ(playerentry(0).health, 0);
    EXPECT_EQ(playerentry(3).score, 0);
}
