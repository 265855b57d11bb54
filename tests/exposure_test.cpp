// The exposure step (damage from a hot cell, credit to the players whose
// heat is in it) on prepared cells and players, and the player registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loadmap.h"
#include "connection.h"
#include "commands.h"
#include "exposure.h"
#include "listener.h"
#include "transfer.h"
#include "player.h"
#include "support.h"
#include "world.h"

namespace {

const std::string TYPES =
    "<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
    "<type name=floor num=1> temp=20 cocon=0 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 </type>";

// A 3 x 3 map of cool cells; start positions (0,0), (1,1), (2,2).
void loadgrid()
{
    loadmaptext(maptext(TYPES, {"111", "111", "111"}, "0,0 1,1 2,2"));
}

PLAYERINFO entry(int i)
{
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    PLAYERINFO p = serverplayers.playerlist[i];
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    return p;
}

void place(int i, int x, int y)
{
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    serverplayers.playerlist[i].x = x;
    serverplayers.playerlist[i].y = y;
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
}

// A published cell by position.
struct CELLPOS {
    long x, y;
};

// Sets the published cell (x, y) to `kelvins` at 1 cal/K with no sources.
CELLPOS heatcell(long x, long y, long double kelvins)
{
    MAPUNIT c = getcell(serverworld, x, y);
    c.calperc = 1;
    c.totalcal = kelvins;
    for (int i = 0; i < NUMSLOTS; i++) {
        c.heatsource[i] = 0;
        c.sourcequan[i] = 0;
    }
    putcell(serverworld, x, y, c);
    return {x, y};
}

void setslot(CELLPOS at, int slot, int tag, long double quan)
{
    MAPUNIT c = getcell(serverworld, at.x, at.y);
    c.heatsource[slot] = tag;
    c.sourcequan[slot] = quan;
    putcell(serverworld, at.x, at.y, c);
}

// Six players, 0 to 5, all on (0,0) unless moved.
void sixplayers()
{
    for (int i = 0; i < 6; i++) {
        ASSERT_EQ(addplayer(("p" + std::to_string(i)).c_str()), i);
        place(i, 0, 0);
    }
}

class Exposure : public ::testing::Test {
  protected:
    void SetUp() override { loadgrid(); }
    void TearDown() override { resetall(); }
};

} // namespace

TEST_F(Exposure, NoPlayerIsAPlainStop)
{
    heatcell(0, 0, 1000);
    doexposure(-1); // must not touch anything (there is no player list)
    SUCCEED();
}

TEST_F(Exposure, DamageStartsAt393Kelvins)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 392.9L);
    setslot(c, 0, 4, 50); // player 3's heat
    doexposure(0);
    EXPECT_EQ(entry(0).health, 100);
    EXPECT_EQ(entry(3).score, 0);
    heatcell(0, 0, 393);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 99);
    // 384 to 392 hurt nobody either.
    heatcell(0, 0, 384);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 99);
}

TEST_F(Exposure, HealthFallsBelowZeroThenStops)
{
    ASSERT_EQ(addplayer("hot"), 0);
    heatcell(0, 0, 1000);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 39);
    doexposure(0);
    EXPECT_EQ(entry(0).health, -22);
    doexposure(0);
    EXPECT_EQ(entry(0).health, -22);
}

TEST_F(Exposure, CreditSharesDamageByHeat)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463); // damage (463 - 383) / 10 = 8
    setslot(c, 0, 4, 30);             // player 3
    setslot(c, 1, 6, 10);             // player 5
    doexposure(0);
    EXPECT_EQ(entry(0).health, 92);
    EXPECT_EQ(entry(3).score, 6);
    EXPECT_EQ(entry(5).score, 2);
    EXPECT_EQ(entry(0).score, 0);
}

TEST_F(Exposure, FractionsOfACreditAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 393); // damage 1: shares 0.75 and 0.25
    setslot(c, 0, 4, 30);
    setslot(c, 1, 6, 10);
    doexposure(0);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 98);
    EXPECT_EQ(entry(3).score, 0);
    EXPECT_EQ(entry(5).score, 0);
}

TEST_F(Exposure, OwnHeatAndSlotsPastFiveEarnNothingButCount)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 1, 30); // player 0's own heat
    setslot(c, 1, 4, 10); // player 3
    setslot(c, 7, 6, 40); // player 5, beyond the credited slots
    doexposure(0);
    EXPECT_EQ(entry(0).score, 0);
    EXPECT_EQ(entry(3).score, 1); // 10 / 80 x 8; with 10 / 10 it would be 8
    EXPECT_EQ(entry(5).score, 0);
    EXPECT_EQ(entry(0).health, 92);
}

TEST_F(Exposure, SlotFourIsStillCredited)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 4, 3, 10); // player 2
    setslot(c, 5, 4, 10); // player 3: slot 5 earns nothing
    doexposure(0);
    EXPECT_EQ(entry(2).score, 4);
    EXPECT_EQ(entry(3).score, 0);
}

TEST_F(Exposure, LeftPlayerStillGainsScore)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    delplayer(3);
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 4, 10);
    doexposure(0);
    EXPECT_EQ(entry(3).score, 8);
    EXPECT_EQ(entry(3).num, -1);
}

TEST_F(Exposure, PlayerOffTheMapReadsTheOutsideCell)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    // A hot, attributed grid cell that must not be read for a position off
    // the map: (1,3) would be index 6, which is (2,0); (3,0) would be
    // index 9, past the 9 cells.
    CELLPOS c = heatcell(2, 0, 2000);
    setslot(c, 0, 4, 10);
    place(0, 3, 0);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 100); // the surroundings are at 20 K
    serverworld.outside.totalcal = 1000;         // no other thread runs here
    place(0, -1, 7);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 39);
    EXPECT_EQ(entry(3).score, 0);
    place(0, 1, 3);
    doexposure(0);
    EXPECT_EQ(entry(0).health, -22);
    EXPECT_EQ(entry(3).score, 0);
}

TEST_F(Exposure, NoAttributedHeatMeansNoCredit)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    CELLPOS c = heatcell(0, 0, 463);
    setslot(c, 0, 4, 0); // a filled slot of quantity 0, total 0
    doexposure(0);
    EXPECT_EQ(entry(0).health, 92);
    EXPECT_EQ(entry(3).score, 0);
}

TEST_F(Exposure, DeadPlayerIsNotHurtAndCreditsNobody)
{
    ASSERT_NO_FATAL_FAILURE(sixplayers());
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    serverplayers.playerlist[0].health = 0;
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    CELLPOS c = heatcell(0, 0, 1000);
    setslot(c, 0, 4, 10);
    doexposure(0);
    EXPECT_EQ(entry(0).health, 0);
    EXPECT_EQ(entry(3).score, 0);
}

// ---------------------------------------------------------------------------
// The registry

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { loadgrid(); }
    void TearDown() override { resetall(); }
};

TEST_F(Registry, FirstLoginGetsNumberZeroAndTheFirstStartPosition)
{
    ASSERT_EQ(addplayer("first"), 0);
    PLAYERINFO e = entry(0);
    EXPECT_EQ(e.num, 0);
    EXPECT_EQ(e.health, 100);
    EXPECT_EQ(e.score, 0);
    EXPECT_EQ(e.team, 0);
    EXPECT_EQ(e.x, 0);
    EXPECT_EQ(e.y, 0);
    EXPECT_STREQ(e.name, "first");
}

TEST_F(Registry, StartPositionsGoRoundInFileOrder)
{
    const int want[4][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 0}};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(addplayer("p"), i);
        EXPECT_EQ(entry(i).x, want[i][0]);
        EXPECT_EQ(entry(i).y, want[i][1]);
    }
}

TEST_F(Registry, NumbersAreNeverReused)
{
    ASSERT_EQ(addplayer("a"), 0);
    delplayer(0);
    EXPECT_EQ(entry(0).num, -1);
    EXPECT_STREQ(entry(0).name, "a");
    EXPECT_EQ(addplayer("b"), 1);
    EXPECT_EQ(entry(1).num, 1);
    EXPECT_EQ(serverplayers.numplayers, 2);
}

TEST_F(Registry, LoginsStopAtTheLimitWithoutChangingTheList)
{
    // The list as MAXPLAYERS - 1 logins would leave it.
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    serverplayers.playerlist = (PLAYERINFO *)std::calloc(MAXPLAYERS - 1, sizeof(PLAYERINFO));
    ASSERT_NE(serverplayers.playerlist, nullptr);
    serverplayers.numplayers = MAXPLAYERS - 1;
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    EXPECT_EQ(addplayer("last"), MAXPLAYERS - 1);
    EXPECT_STREQ(entry(MAXPLAYERS - 1).name, "last");
    EXPECT_EQ(addplayer("late"), -1);
    EXPECT_EQ(serverplayers.numplayers, MAXPLAYERS);
    EXPECT_STREQ(entry(MAXPLAYERS - 1).name, "last");
}

TEST_F(Registry, NameOf29CharactersIsStoredWhole)
{
    std::string name(29, 'z');
    ASSERT_EQ(addplayer(name.c_str()), 0);
    PLAYERINFO e = entry(0);
    EXPECT_EQ(std::string(e.name), name);
    EXPECT_EQ(e.name[29], '\0');
    std::string longer(40, 'y');
    ASSERT_EQ(addplayer(longer.c_str()), 1);
    EXPECT_EQ(std::string(entry(1).name), std::string(29, 'y'));
}

TEST_F(Registry, ChgPlayerInfoMovesOnlyLivingPresentPlayers)
{
    ASSERT_EQ(addplayer("a"), 0);
    ASSERT_EQ(addplayer("b"), 1);
    ASSERT_EQ(addplayer("c"), 2);
    PLAYERINFO info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "other");
    info.health = 1000;
    info.score = 500;
    info.x = 2;
    info.y = 0;
    chgplayerinfo(0, info);
    PLAYERINFO e = entry(0);
    EXPECT_EQ(e.x, 2);
    EXPECT_EQ(e.y, 0);
    EXPECT_STREQ(e.name, "a");
    EXPECT_EQ(e.health, 100);
    EXPECT_EQ(e.score, 0);
    delplayer(1);
    chgplayerinfo(1, info);
    EXPECT_EQ(entry(1).x, 1);
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    serverplayers.playerlist[2].health = -3;
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    chgplayerinfo(2, info);
    EXPECT_EQ(entry(2).x, 2);
    EXPECT_EQ(entry(2).y, 2);
    chgplayerinfo(3, info);  // equal to serverplayers.numplayers
    chgplayerinfo(-1, info);
    EXPECT_EQ(serverplayers.numplayers, 3);
}

TEST_F(Registry, WithoutStartPositionsNobodyIsAdded)
{
    loadmaptext(maptext(TYPES, {"1"}));
    EXPECT_EQ(addplayer("lost"), -1);
    EXPECT_EQ(serverplayers.numplayers, 0);
}

TEST_F(Registry, SimultaneousLoginsGetDifferentNumbersAndSuccessivePositions)
{
    for (int round = 0; round < 50; round++) {
        loadgrid();
        int a = -5, b = -5;
        std::thread t1([&] { a = addplayer("left"); });
        std::thread t2([&] { b = addplayer("right"); });
        t1.join();
        t2.join();
        ASSERT_NE(a, b);
        ASSERT_TRUE((a == 0 && b == 1) || (a == 1 && b == 0));
        // Whoever came first has the first position.
        EXPECT_EQ(entry(0).x, 0);
        EXPECT_EQ(entry(0).y, 0);
        EXPECT_EQ(entry(1).x, 1);
        EXPECT_EQ(entry(1).y, 1);
        EXPECT_STRNE(entry(0).name, entry(1).name);
    }
}
