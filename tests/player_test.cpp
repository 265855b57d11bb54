// The player registry: logins, numbers, start positions, names, moves
// and the limit of the list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "game/player.h"
#include "support.h"

namespace {

class Registry : public WorldTest {
  protected:
    void SetUp() override { loadplayergrid(); }
};

} // namespace

TEST_F(Registry, FirstLoginGetsNumberZeroAndTheFirstStartPosition)
{
    ASSERT_EQ(addplayer(testgame.players, "first"), 0);
    // Number 0, full health, no score, no team, on (0,0).
    EXPECT_EQ(fieldsof(playerentry(0)), (PLAYERFIELDS{"first", 0, 0, 100, 0, 0, 0}));
}

TEST_F(Registry, StartPositionsGoRoundInFileOrder)
{
    const int want[4][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 0}};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(addplayer(testgame.players, "p"), i);
        EXPECT_EQ(playerentry(i).x, want[i][0]);
        EXPECT_EQ(playerentry(i).y, want[i][1]);
    }
}

TEST_F(Registry, NumbersAreNeverReused)
{
    ASSERT_EQ(addplayer(testgame.players, "a"), 0);
    delplayer(testgame.players, 0);
    EXPECT_EQ(playerentry(0).num, -1);
    EXPECT_STREQ(playerentry(0).name, "a");
    EXPECT_EQ(addplayer(testgame.players, "b"), 1);
    EXPECT_EQ(playerentry(1).num, 1);
    EXPECT_EQ(testgame.players.numplayers, 2);
}

TEST_F(Registry, LoginsStopAtTheLimitWithoutChangingTheList)
{
    // The list as MAXPLAYERS - 1 logins would leave it.
    pthread_mutex_lock(&testgame.players.playerlist_lock);
    testgame.players.playerlist = (PLAYERINFO *)std::calloc(MAXPLAYERS - 1, sizeof(PLAYERINFO));
    ASSERT_NE(testgame.players.playerlist, nullptr);
    testgame.players.numplayers = MAXPLAYERS - 1;
    pthread_mutex_unlock(&testgame.players.playerlist_lock);
    EXPECT_EQ(addplayer(testgame.players, "last"), MAXPLAYERS - 1);
    EXPECT_STREQ(playerentry(MAXPLAYERS - 1).name, "last");
    EXPECT_EQ(addplayer(testgame.players, "late"), -1);
    EXPECT_EQ(testgame.players.numplayers, MAXPLAYERS);
    EXPECT_STREQ(playerentry(MAXPLAYERS - 1).name, "last");
}

TEST_F(Registry, NameOf29CharactersIsStoredWhole)
{
    std::string name(29, 'z');
    ASSERT_EQ(addplayer(testgame.players, name.c_str()), 0);
    PLAYERINFO e = playerentry(0);
    EXPECT_EQ(std::string(e.name), name);
    EXPECT_EQ(e.name[29], '\0');
    std::string longer(40, 'y');
    ASSERT_EQ(addplayer(testgame.players, longer.c_str()), 1);
    EXPECT_EQ(std::string(playerentry(1).name), std::string(29, 'y'));
}

TEST_F(Registry, ChgPlayerInfoMovesOnlyLivingPresentPlayers)
{
    ASSERT_EQ(addplayer(testgame.players, "a"), 0);
    ASSERT_EQ(addplayer(testgame.players, "b"), 1);
    ASSERT_EQ(addplayer(testgame.players, "c"), 2);
    PLAYERINFO info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "other");
    info.health = 1000;
    info.score = 500;
    info.x = 2;
    info.y = 0;
    chgplayerinfo(testgame.players, 0, info);
    // Only the position changes.
    EXPECT_EQ(fieldsof(playerentry(0)), (PLAYERFIELDS{"a", 0, 0, 100, 2, 0, 0}));
    delplayer(testgame.players, 1);
    chgplayerinfo(testgame.players, 1, info);
    EXPECT_EQ(playerentry(1).x, 1);
    setplayerhealth(2, -3);
    chgplayerinfo(testgame.players, 2, info);
    EXPECT_EQ(playerentry(2).x, 2);
    EXPECT_EQ(playerentry(2).y, 2);
    chgplayerinfo(testgame.players, 3, info);  // equal to testgame.players.numplayers
    chgplayerinfo(testgame.players, -1, info);
    EXPECT_EQ(testgame.players.numplayers, 3);
}

TEST_F(Registry, WithoutStartPositionsNobodyIsAdded)
{
    loadplayergrid(false);
    EXPECT_EQ(addplayer(testgame.players, "lost"), -1);
    EXPECT_EQ(testgame.players.numplayers, 0);
}

TEST_F(Registry, SimultaneousLoginsGetDifferentNumbersAndSuccessivePositions)
{
    for (int round = 0; round < 50; round++) {
        loadplayergrid();
        int a = -5, b = -5;
        std::thread t1([&] { a = addplayer(testgame.players, "left"); });
        std::thread t2([&] { b = addplayer(testgame.players, "right"); });
        t1.join();
        t2.join();
        ASSERT_NE(a, b);
        ASSERT_TRUE((a == 0 && b == 1) || (a == 1 && b == 0));
        // Whoever came first has the first position.
        EXPECT_EQ(playerentry(0).x, 0);
        EXPECT_EQ(playerentry(0).y, 0);
        EXPECT_EQ(playerentry(1).x, 1);
        EXPECT_EQ(playerentry(1).y, 1);
        EXPECT_STRNE(playerentry(0).name, playerentry(1).name);
    }
}

TEST_F(Registry, PresentPlayersStopAtMaxPresentAndALeaveMakesRoom)
{
    PLAYERS &p = testgame.players;
    p.maxpresent = 2;
    EXPECT_EQ(addplayer(p, "a"), 0);
    EXPECT_EQ(addplayer(p, "b"), 1);
    EXPECT_TRUE(playersfull(p));
    EXPECT_EQ(addplayer(p, "c"), -1);
    EXPECT_EQ(p.numplayers, 2);
    delplayer(p, 0);
    delplayer(p, 0); // a second leave frees nothing more
    EXPECT_EQ(addplayer(p, "d"), 2);
    EXPECT_EQ(addplayer(p, "e"), -1);
    p.maxpresent = MAXPLAYERS;
}
