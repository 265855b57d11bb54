// The commands, each answered in-process through one connection of the
// command loop (tests/support's SESSION) and spoken to with the client
// library: text answers, map answers, the player list, logins, moves and
// fires; and the end of a connection whose client stops reading.
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tcp/connection.h"
#include "kindlerclient.h"
#include "game/player.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/world.h"

namespace {

// Heat of every cell of the published grid, the outside cell last.
std::vector<long double> heats()
{
    std::vector<long double> h;
    readcells(testgame, [&](const WORLD &w) {
        for (size_t i = 0; i < ncells(w); i++)
            h.push_back(pubcell(w, i).totalcal);
        h.push_back(w.outside.totalcal);
    });
    return h;
}

// A closing record of `size` bytes with nothing before it: all zero but
// its type, 2.
std::string emptyclosing(size_t size)
{
    std::string b(size, '\0');
    b[size - 4] = NET_END;
    return b;
}

// Sends a map command and reads its answer on the 3 x 2 map: six records
// of `size` bytes, x outer, each as recordof makes it from its cell and
// intact; then the closing record: the last one again with type 2, its
// checksum stamped for type 1. Returns the answer.
template <class R>
std::string maprun(SESSION &s, const char *cmd, size_t size, R (*recordof)(const MAPUNIT &, int, int, int))
{
    EXPECT_EQ(kcsend(&s.kc, cmd), 0);
    std::string b = s.recvbytes(7 * size);
    const unsigned char *rec = (const unsigned char *)b.data();
    for (int i = 0; i < 6; i++, rec += size) {
        SCOPED_TRACE(i);
        const int x = i / 2, y = i % 2;
        expectrecordat(rec, recordof(getcell(testgame.world, x, y), x, y, NET_RECORD));
        EXPECT_TRUE(recordintact(rec, size));
    }
    EXPECT_EQ(0, std::memcmp(rec, rec - size, size - 4));
    EXPECT_EQ(get32(rec + size - 4), NET_END);
    EXPECT_FALSE(recordintact(rec, size));
    return b;
}

} // namespace

using Commands = ProtocolTest;

TEST_F(Commands, VersionAndProtocolVersionAnswerExactlyEightBytes)
{
    SESSION s;
    // Both answers and a third command's in one read: nothing is added.
    ASSERT_EQ(kcsend(&s.kc, "version;protocolversion;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(8 + 8 + 11), "0.1000000.1000003 2 \"test\"\"");
    s.sync();
}

TEST_F(Commands, MapInfoIsReadWholeByTheClientLibrary)
{
    SESSION s;
    KCMAPINFO info;
    ASSERT_EQ(kcmapinfo(&s.kc, &info), 0) << s.kc.error;
    EXPECT_EQ(info.xsize, 3);
    EXPECT_EQ(info.ysize, 2);
    EXPECT_EQ(info.name, "test\"");
    s.sync(); // nothing was left over
}

TEST_F(Commands, UnknownAndMisspelledCommandsGetNoAnswer)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "Version;ver sion;hello;;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(11), "3 2 \"test\"\"");
    s.sync();
}

TEST_F(Commands, GetMapSendsEveryCellXOuterThenTheClosingCopy)
{
    SESSION s;
    const std::string b = maprun(s, "getmap;", UPDATEMAP_SIZE, updatemapof);
    // (0,0) is moss: 50 K at 2 cal/K is 100.0, the x87 bytes ...C8 05 40.
    const unsigned char hundred[12] = {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data(), hundred, 12));
    EXPECT_EQ(getext((const unsigned char *)b.data() + 12), 5.0L);
    // (1,0) is slab: 300 calories, fuel 7.
    expectrecordat((const unsigned char *)b.data() + 2 * UPDATEMAP_SIZE, UPDATEMAP{300, 7, {1, 0, 0, NET_RECORD}});
    s.sync();
}

TEST_F(Commands, GetAllMapSendsEveryFieldAtItsOffset)
{
    SESSION s;
    const std::string b = maprun(s, "getallmap;", FIRSTMAP_SIZE, firstmapof);
    // Spot values: (0,1) is slab, (1,1) is moss.
    const unsigned char *b0 = (const unsigned char *)b.data();
    expectrecordat(b0 + 1 * FIRSTMAP_SIZE, FIRSTMAP{300, 0.5L, 1, 800, 7, 20, 2, 1, {0, 1, 0, NET_RECORD}});
    expectrecordat(b0 + 3 * FIRSTMAP_SIZE, FIRSTMAP{100, 0.25L, 2, 700, 5, 10, 1.5L, 0, {1, 1, 0, NET_RECORD}});
    s.sync();
}

TEST_F(Commands, MapAnswersFollowFiresBetweenRequests)
{
    SESSION s;
    ASSERT_EQ(s.login("a"), 0); // at (1,0)
    std::vector<UPDATEMAP> before, after;
    ASSERT_EQ(kcgetmap(&s.kc, &before), 6) << s.kc.error;
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    ASSERT_EQ(kcgetmap(&s.kc, &after), 6) << s.kc.error;
    EXPECT_EQ(after[2].totalcal, before[2].totalcal + 100.0L);
    for (int i : {0, 1, 3, 4, 5})
        EXPECT_EQ(after[(size_t)i].totalcal, before[(size_t)i].totalcal);
}

// While a tick computes, fires wait in a queue for the state it publishes;
// map answers show them at once, each cell's heat with all its fires, and
// the closing record repeats the last cell as it shows.

TEST_F(Commands, MapAnswersShowFiresQueuedWhileTheTickComputes)
{
    SESSION s;
    std::vector<UPDATEMAP> before, during;
    UPDATEMAP closing;
    ASSERT_EQ(kcgetmap(&s.kc, &before), 6) << s.kc.error;
    pthread_mutex_lock(&testgame.world.oldmap_lock);
    testgame.world.tickcomputing = 1;
    pthread_mutex_unlock(&testgame.world.oldmap_lock);
    addfire(testgame.world, 2, 1, 1); // the last cell, index 5
    addfire(testgame.world, 0, 1, 2);
    addfire(testgame.world, 2, 1, 3);
    ASSERT_EQ(kcgetmap(&s.kc, &during, &closing), 6) << s.kc.error;
    pthread_mutex_lock(&testgame.world.oldmap_lock);
    testgame.world.tickcomputing = 0;
    pthread_mutex_unlock(&testgame.world.oldmap_lock);
    EXPECT_EQ(during[5].totalcal, before[5].totalcal + 100.0L + 100.0L);
    EXPECT_EQ(during[1].totalcal, before[1].totalcal + 100.0L);
    for (int i : {0, 2, 3, 4})
        EXPECT_EQ(during[(size_t)i].totalcal, before[(size_t)i].totalcal);
    EXPECT_EQ(closing.totalcal, during[5].totalcal);
    EXPECT_EQ(closing.neto.type, NET_END);
    // The tick publishes them: after it the grid itself holds the fires.
    dophys(testgame.world, testgame.tick);
    MAPUNIT last = getcell(testgame.world, 2, 1);
    EXPECT_EQ(last.heatsource[0], 1);
    EXPECT_EQ(last.heatsource[1], 3);
}

TEST_F(Commands, WithoutAMapTheAnswersAreEmpty)
{
    resetall();
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getmapinfo;version;"), 0);
    EXPECT_EQ(s.recvbytes(6 + 8), "0 0 \"\"0.100000");
    ASSERT_EQ(kcsend(&s.kc, "getmap;"), 0);
    EXPECT_EQ(s.recvbytes(UPDATEMAP_SIZE), emptyclosing(UPDATEMAP_SIZE));
    ASSERT_EQ(kcsend(&s.kc, "getallmap;"), 0);
    EXPECT_EQ(s.recvbytes(FIRSTMAP_SIZE), emptyclosing(FIRSTMAP_SIZE));
    s.sync();
}

TEST_F(Commands, PlayerListOfNobodyIsOnlyTheClosingRecord)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getplayerinfo;"), 0);
    EXPECT_EQ(s.recvbytes(PLAYERINFO_SIZE), emptyclosing(PLAYERINFO_SIZE));
    s.sync();
}

TEST_F(Commands, PlayerListKeepsLeftPlayersAndClosesWithTheLastRecordSent)
{
    SESSION a;
    ASSERT_EQ(a.login("alice"), 0);
    {
        SESSION b;
        ASSERT_EQ(b.login("bob"), 1);
        b.end();
    }
    ASSERT_EQ(kcsend(&a.kc, "getplayerinfo;"), 0);
    std::string bytes = a.recvbytes(3 * PLAYERINFO_SIZE);
    const unsigned char *p = (const unsigned char *)bytes.data();
    PLAYERINFO r0, r1;
    decodeplayerinfo(p, &r0);
    decodeplayerinfo(p + PLAYERINFO_SIZE, &r1);
    EXPECT_STREQ(r0.name, "alice");
    EXPECT_EQ(r0.num, 0);
    EXPECT_EQ(r0.health, 100);
    EXPECT_EQ(r0.x, 1);
    EXPECT_EQ(r0.y, 0);
    EXPECT_STREQ(r1.name, "bob");
    EXPECT_EQ(r1.num, -1);
    EXPECT_EQ(r1.x, 2);
    EXPECT_EQ(r1.y, 1);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(get32(p + i * PLAYERINFO_SIZE + 68), NET_RECORD);
        EXPECT_TRUE(recordintact(p + i * PLAYERINFO_SIZE, PLAYERINFO_SIZE));
    }
    // The closing record is alice's login record with type 2.
    std::vector<unsigned char> closing(a.kc.lastsent, a.kc.lastsent + PLAYERINFO_SIZE);
    put32(closing.data() + 68, NET_END);
    EXPECT_EQ(0, std::memcmp(p + 2 * PLAYERINFO_SIZE, closing.data(), PLAYERINFO_SIZE));

    // After a move the closing record is the move's record.
    ASSERT_EQ(kcmove(&a.kc, 0, 2, 0), 0);
    std::vector<PLAYERINFO> list;
    PLAYERINFO close;
    ASSERT_EQ(kcgetplayerinfo(&a.kc, &list, &close), 2) << a.kc.error;
    EXPECT_EQ(close.neto.type, NET_END);
    EXPECT_EQ(close.num, 0);
    EXPECT_EQ(close.x, 2);
    EXPECT_EQ(close.y, 0);
    EXPECT_EQ(list[0].x, 2);
}

TEST_F(Commands, LoginsGetNumbersInTurnAndStartPositionsRoundRobin)
{
    SESSION s;
    EXPECT_EQ(s.login("p0"), 0);
    EXPECT_EQ(s.login("p1"), 1);
    EXPECT_EQ(s.login("p2"), 2);
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&s.kc, &list), 3) << s.kc.error;
    const int want[3][2] = {{1, 0}, {2, 1}, {1, 0}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(list[(size_t)i].num, i);
        EXPECT_EQ(list[(size_t)i].x, want[i][0]);
        EXPECT_EQ(list[(size_t)i].y, want[i][1]);
        EXPECT_EQ(list[(size_t)i].health, 100);
    }
}

TEST_F(Commands, LoginNameWithoutNulIsCutTo29Characters)
{
    SESSION s;
    std::vector<unsigned char> rec = playerrecord(std::string(30, 'n'));
    std::memset(rec.data() + 30, 'q', 2); // the pad after the name is no NUL either
    int num = -5;
    ASSERT_EQ(rawexchange(&s.kc, "login;", rec, &num), 0) << s.kc.error;
    EXPECT_EQ(num, 0);
    PLAYERINFO e = playerentry(0);
    EXPECT_EQ(std::string(e.name, 29), std::string(29, 'n'));
    EXPECT_EQ(e.name[29], '\0');
}

TEST_F(Commands, LoginWithoutStartPositionsIsRefused)
{
    loadprotocolmap(false);
    SESSION s;
    int num = 5;
    ASSERT_EQ(kclogin(&s.kc, "nowhere", &num), 0) << s.kc.error; // a type-3, then a type-2 trailer
    EXPECT_EQ(num, -1);
    EXPECT_EQ(playercount(), 0);
    // The connection still has no player: a fire does nothing.
    std::vector<long double> before = heats();
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    EXPECT_EQ(heats(), before);
    num = 5;
    ASSERT_EQ(kclogin(&s.kc, "again", &num), 0);
    EXPECT_EQ(num, -1);
}

TEST_F(Commands, RefusedLoginKeepsTheConnectionsPlayer)
{
    SESSION s;
    ASSERT_EQ(s.login("keeper"), 0); // at (1,0)
    // The start positions run out (as on a map without them).
    pthread_mutex_lock(&testgame.players.playerlist_lock);
    std::vector<MAP_VERTEX> saved;
    saved.swap(testgame.players.s_points);
    pthread_mutex_unlock(&testgame.players.playerlist_lock);
    int num = 5;
    EXPECT_EQ(kclogin(&s.kc, "second", &num), 0) << s.kc.error;
    pthread_mutex_lock(&testgame.players.playerlist_lock);
    saved.swap(testgame.players.s_points);
    pthread_mutex_unlock(&testgame.players.playerlist_lock);
    EXPECT_EQ(num, -1);
    EXPECT_EQ(playercount(), 1);
    // The connection still plays as player 0: its fire is tagged 1.
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    MAPUNIT c = getcell(testgame.world, 1, 0);
    EXPECT_EQ(c.totalcal, 400.0L);
    EXPECT_EQ(c.heatsource[0], 1);
}

TEST_F(Commands, SetPlayerInfoMovesOnlyThePosition)
{
    SESSION s;
    ASSERT_EQ(s.login("alice"), 0);
    ASSERT_EQ(rawexchange(&s.kc, "setplayerinfo;", playerrecord("mallory", 0, 2, 1, 1000, 500, 7)), 0) << s.kc.error;
    EXPECT_EQ(fieldsof(playerentry(0)), (PLAYERFIELDS{"alice", 0, 0, 100, 2, 1, 0}));
    // Any position is stored, on the map or not.
    ASSERT_EQ(kcmove(&s.kc, 0, -4, 99), 0);
    EXPECT_EQ(playerentry(0).x, -4);
    EXPECT_EQ(playerentry(0).y, 99);
}

TEST_F(Commands, SetPlayerInfoMovesAnotherPlayerByTheRecordsNumber)
{
    SESSION a, b;
    ASSERT_EQ(a.login("a"), 0);
    ASSERT_EQ(b.login("b"), 1);
    ASSERT_EQ(kcmove(&a.kc, 1, 0, 0), 0);
    EXPECT_EQ(playerentry(1).x, 0);
    EXPECT_EQ(playerentry(1).y, 0);
    EXPECT_EQ(playerentry(0).x, 1);
}

TEST_F(Commands, SetPlayerInfoRefusesDeadLeftAndUnknownPlayers)
{
    SESSION s;
    ASSERT_EQ(s.login("dead"), 0);
    {
        SESSION gone;
        ASSERT_EQ(gone.login("gone"), 1);
    }
    setplayerhealth(0, 0);
    ASSERT_EQ(kcmove(&s.kc, 0, 0, 1), 0) << s.kc.error;
    ASSERT_EQ(kcmove(&s.kc, 1, 0, 1), 0) << s.kc.error;
    ASSERT_EQ(kcmove(&s.kc, 2, 0, 1), 0) << s.kc.error;
    ASSERT_EQ(kcmove(&s.kc, -1, 0, 1), 0) << s.kc.error;
    EXPECT_EQ(playerentry(0).x, 1);
    EXPECT_EQ(playerentry(0).y, 0);
    EXPECT_EQ(playerentry(1).x, 2);
    EXPECT_EQ(playerentry(1).y, 1);
    EXPECT_EQ(playerentry(1).num, -1);
    EXPECT_EQ(playercount(), 2);
    // A player at health 1 still moves.
    setplayerhealth(0, 1);
    ASSERT_EQ(kcmove(&s.kc, 0, 0, 1), 0) << s.kc.error;
    EXPECT_EQ(playerentry(0).x, 0);
}

TEST_F(Commands, SetFireAddsExactlyAHundredCaloriesTaggedWithThePlayer)
{
    SESSION s;
    s.login("zero");
    ASSERT_EQ(s.login("one"), 1); // at (2,1), a slab cell of 300 calories
    MAPUNIT before = getcell(testgame.world, 2, 1);
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    MAPUNIT after = getcell(testgame.world, 2, 1);
    EXPECT_EQ(after.totalcal, before.totalcal + 100.0L);
    EXPECT_EQ(after.totalcal, 400.0L);
    EXPECT_EQ(after.heatsource[0], 2);
    EXPECT_EQ(after.sourcequan[0], 100.0L);
    for (int i = 1; i < NUMSLOTS; i++)
        EXPECT_EQ(after.heatsource[i], 0);
    // Every other cell is untouched.
    std::vector<long double> h = heats();
    EXPECT_EQ(h[0], 100.0L);
    EXPECT_EQ(h[4], 100.0L); // (2,0)
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    EXPECT_EQ(getcell(testgame.world, 2, 1).totalcal, 500.0L);
    EXPECT_EQ(getcell(testgame.world, 2, 1).sourcequan[0], 200.0L);
}

TEST_F(Commands, SetFireDoesNothingWithoutAPlayerWhenDeadOrOffTheMap)
{
    SESSION s;
    std::vector<long double> before = heats();
    ASSERT_EQ(kcsetfire(&s.kc), 0); // no player
    s.sync();
    EXPECT_EQ(heats(), before);

    ASSERT_EQ(s.login("p"), 0);
    for (auto pos : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}}) {
        ASSERT_EQ(kcmove(&s.kc, 0, pos.first, pos.second), 0);
        ASSERT_EQ(kcsetfire(&s.kc), 0);
        s.sync();
        EXPECT_EQ(heats(), before) << pos.first << "," << pos.second;
    }
    ASSERT_EQ(kcmove(&s.kc, 0, 0, 0), 0);
    setplayerhealth(0, 0);
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    EXPECT_EQ(heats(), before);
}

// Answers that wait a second for a client that reads nothing end the
// connection.
class SendStall : public Commands {
  protected:
    int saved = testport.stall;
    void SetUp() override
    {
        Commands::SetUp();
        testport.stall = 1;
    }
    void TearDown() override
    {
        testport.stall = saved;
        Commands::TearDown();
    }
    // Logs in and asks for n whole maps at once, far more than the socket
    // holds unread.
    static void askmaps(SESSION &s, int n)
    {
        ASSERT_EQ(s.login("reader"), 0);
        std::string cmds;
        for (int i = 0; i < n; i++)
            cmds += "getallmap;";
        ASSERT_EQ(kcsend(&s.kc, cmds), 0) << s.kc.error;
    }
};

TEST_F(SendStall, ClientThatReadsNothingIsCutOff)
{
    SESSION s;
    ASSERT_NO_FATAL_FAILURE(askmaps(s, 4000));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (playerentry(0).num != -1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(playerentry(0).num, -1); // the connection ended and the player left
}

TEST_F(SendStall, SlowReaderIsNotCutOffWhileItKeepsReading)
{
    SESSION s;
    ASSERT_NO_FATAL_FAILURE(askmaps(s, 1000));
    // Reads come in bursts, but no send waits a whole second.
    for (int i = 0; i < 1000; i++) {
        if (i % 100 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<unsigned char> run;
        ASSERT_EQ(kcreadrun(&s.kc, FIRSTMAP_SIZE, &run), 6) << s.kc.error << " at " << i;
    }
    s.sync();
    EXPECT_EQ(playerentry(0).num, 0);
}
