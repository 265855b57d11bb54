// The command loop of one connection, without a listening port: the
// connection runs on one end of a socketpair in a thread of the test, and
// the test speaks to the other end with the client library. Also the pure
// command scanner.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loadmap.h"
#include "kindlerclient.h"
#include "connection.h"
#include "commands.h"
#include "exposure.h"
#include "listener.h"
#include "transfer.h"
#include "publish.h"
#include "player.h"
#include "support.h"
#include "world.h"

namespace {

// Type 1: 50 K at 2 cal/K, so its cells hold exactly 100.0 calories.
// Type 2: 300 K at 1 cal/K, blocking.
const std::string TYPES =
    "<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
    "<type name=moss num=1> temp=50 cocon=0.25 calperc=2 ignitionpoint=700 fuellevel=5 burnspeed=1.5 calperf=10 </type>\n"
    "<type name=slab num=2> temp=300 cocon=0.5 calperc=1 ignitionpoint=800 fuellevel=7 burnspeed=2 calperf=20 block </type>";

// A 3 x 2 map; cell (x, y) is rows[y][x]. Start positions (1,0) and (2,1).
void loadsmallmap(bool withstart = true)
{
    loadmaptext(maptext(TYPES, {"121", "212"}, withstart ? "1,0 2,1" : ""));
}

// One connection served by serveconnection in a thread of its own.
struct SESSION {
    int fds[2] = {-1, -1};
    std::thread server;
    KCLIENT kc;

    SESSION()
    {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            ADD_FAILURE() << "socketpair failed";
        int s = fds[1];
        server = std::thread([s] { serveconnection(s); });
        kc.sock = fds[0];
        kc.timeoutms = 5000;
    }
    // Closes the client end (the end of the stream for the server) and
    // waits until the connection has ended.
    void end()
    {
        if (kc.sock >= 0)
            close(kc.sock);
        kc.sock = -1;
        if (server.joinable())
            server.join();
    }
    ~SESSION() { end(); }

    // Returns once every command sent so far has run: a "version;" sent
    // after them is answered only then.
    void sync()
    {
        std::string v;
        ASSERT_EQ(kcversion(&kc, &v), 0) << kc.error;
        ASSERT_EQ(v, "0.100000");
    }
    std::string recvbytes(size_t n)
    {
        std::string s(n, '\0');
        EXPECT_EQ(kcrecv(&kc, s.data(), n), 0) << kc.error;
        return s;
    }
    int login(const std::string &name)
    {
        int num = -2;
        EXPECT_EQ(kclogin(&kc, name.c_str(), &num), 0) << kc.error;
        return num;
    }
};

std::vector<unsigned char> extbytes(long double v)
{
    std::vector<unsigned char> b(12);
    putext(b.data(), v);
    return b;
}

bool sameext(const unsigned char *p, long double v)
{
    return std::memcmp(p, extbytes(v).data(), 12) == 0;
}

// Heat of every cell of the published grid, the outside cell last.
std::vector<long double> heats()
{
    std::vector<long double> h;
    pthread_mutex_lock(&serverworld.oldmap_lock);
    for (size_t i = 0; i < ncells(serverworld); i++)
        h.push_back(pubcell(serverworld, i).totalcal);
    h.push_back(serverworld.outside.totalcal);
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    return h;
}

MAPUNIT cellcopy(long x, long y)
{
    return getcell(serverworld, x, y);
}

// A raw 72-byte player record as a client builds it.
std::vector<unsigned char> playerrecord(const char *name, int num, int x, int y, int health = 0, int score = 0,
                                        int team = 0)
{
    PLAYERINFO p;
    std::memset(&p, 0, sizeof p);
    std::memcpy(p.name, name, std::min(std::strlen(name), sizeof p.name));
    p.num = num;
    p.x = x;
    p.y = y;
    p.health = health;
    p.score = score;
    p.team = team;
    p.neto.type = NET_RECORD;
    std::vector<unsigned char> b(PLAYERINFO_SIZE);
    encodeplayerinfo(&p, b.data());
    stamprecord(b.data(), PLAYERINFO_SIZE);
    return b;
}

// Sends "setplayerinfo;" and the raw record; expects trailers 3, then 2.
void setplayerinfo(SESSION &s, const std::vector<unsigned char> &rec)
{
    ASSERT_EQ(kcsend(&s.kc, "setplayerinfo;"), 0);
    unsigned char t[NETOVERHEAD_SIZE];
    ASSERT_EQ(kcrecv(&s.kc, t, sizeof t), 0) << s.kc.error;
    EXPECT_EQ(get32(t + 12), NET_READY);
    ASSERT_EQ(kcsendbytes(&s.kc, rec.data(), rec.size()), 0);
    ASSERT_EQ(kcrecv(&s.kc, t, sizeof t), 0) << s.kc.error;
    EXPECT_EQ(get32(t + 12), NET_END);
}

class Protocol : public ::testing::Test {
  protected:
    void SetUp() override { loadsmallmap(); }
    void TearDown() override { resetall(); }
};

} // namespace

// ---------------------------------------------------------------------------
// Text answers

TEST_F(Protocol, VersionAndProtocolVersionAnswerExactlyEightBytes)
{
    SESSION s;
    // Both answers and a third command's in one read: nothing is added.
    ASSERT_EQ(kcsend(&s.kc, "version;protocolversion;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(8 + 8 + 11), "0.1000000.1000003 2 \"test\"\"");
    s.sync();
}

TEST_F(Protocol, TwoCommandsInOnePacketAreAnsweredBackToBack)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "version;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(8 + 11), "0.1000003 2 \"test\"\"");
    ASSERT_EQ(kcsend(&s.kc, "protocolversion;"), 0);
    EXPECT_EQ(s.recvbytes(8), "0.100000");
}

TEST_F(Protocol, MapInfoIsReadWholeByTheClientLibrary)
{
    SESSION s;
    KCMAPINFO info;
    ASSERT_EQ(kcmapinfo(&s.kc, &info), 0) << s.kc.error;
    EXPECT_EQ(info.xsize, 3);
    EXPECT_EQ(info.ysize, 2);
    EXPECT_EQ(info.name, "test\"");
    s.sync(); // nothing was left over
}

TEST_F(Protocol, TrailingNewlineSpoilsTheNextCommand)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "version;\n"), 0);
    EXPECT_EQ(s.recvbytes(8), "0.100000");
    // "\nversion;" matches nothing; the next answer is getmapinfo's.
    ASSERT_EQ(kcsend(&s.kc, "version;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(11), "3 2 \"test\"\"");
    s.sync();
}

TEST_F(Protocol, UnknownAndMisspelledCommandsGetNoAnswer)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "Version;ver sion;hello;;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(11), "3 2 \"test\"\"");
    s.sync();
}

// ---------------------------------------------------------------------------
// Map answers

TEST_F(Protocol, GetMapSendsEveryCellXOuterThenTheClosingCopy)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getmap;"), 0);
    std::string b = s.recvbytes(7 * UPDATEMAP_SIZE);
    const unsigned char *rec = (const unsigned char *)b.data();
    const int order[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
    for (int i = 0; i < 6; i++, rec += UPDATEMAP_SIZE) {
        SCOPED_TRACE(i);
        MAPUNIT c = cellcopy(order[i][0], order[i][1]);
        EXPECT_TRUE(sameext(rec + 0, c.totalcal));
        EXPECT_TRUE(sameext(rec + 12, c.fuellevel));
        EXPECT_EQ(get32(rec + 24), order[i][0]);
        EXPECT_EQ(get32(rec + 28), order[i][1]);
        EXPECT_EQ(get32(rec + 36), NET_RECORD);
        EXPECT_TRUE(recordintact(rec, UPDATEMAP_SIZE));
    }
    // (0,0) is moss: 50 K at 2 cal/K is 100.0, the x87 bytes ...C8 05 40.
    const unsigned char hundred[12] = {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data(), hundred, 12));
    EXPECT_EQ(getext((const unsigned char *)b.data() + 12), 5.0L);
    // (1,0) is slab: 300 calories, fuel 7.
    EXPECT_EQ(getext((const unsigned char *)b.data() + 2 * UPDATEMAP_SIZE), 300.0L);
    EXPECT_EQ(getext((const unsigned char *)b.data() + 2 * UPDATEMAP_SIZE + 12), 7.0L);
    // The closing record: (2,1) again, type 2, the checksum stamped for type 1.
    const unsigned char *last = rec - UPDATEMAP_SIZE;
    EXPECT_EQ(0, std::memcmp(rec, last, 36));
    EXPECT_EQ(get32(rec + 36), NET_END);
    EXPECT_FALSE(recordintact(rec, UPDATEMAP_SIZE));
    s.sync();
}

TEST_F(Protocol, GetAllMapSendsEveryFieldAtItsOffset)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getallmap;"), 0);
    std::string b = s.recvbytes(7 * FIRSTMAP_SIZE);
    const unsigned char *rec = (const unsigned char *)b.data();
    const int order[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
    for (int i = 0; i < 6; i++, rec += FIRSTMAP_SIZE) {
        SCOPED_TRACE(i);
        MAPUNIT c = cellcopy(order[i][0], order[i][1]);
        EXPECT_TRUE(sameext(rec + 0, c.totalcal));
        EXPECT_TRUE(sameext(rec + 12, c.cocon));
        EXPECT_TRUE(sameext(rec + 24, c.calperc));
        EXPECT_EQ(get32(rec + 36), c.ignitionpoint);
        EXPECT_TRUE(sameext(rec + 40, c.fuellevel));
        EXPECT_TRUE(sameext(rec + 52, c.calperf));
        EXPECT_TRUE(sameext(rec + 64, c.burnspeed));
        EXPECT_EQ(get32(rec + 76), c.block);
        EXPECT_EQ(get32(rec + 80), order[i][0]);
        EXPECT_EQ(get32(rec + 84), order[i][1]);
        EXPECT_EQ(get32(rec + 92), NET_RECORD);
        EXPECT_TRUE(recordintact(rec, FIRSTMAP_SIZE));
    }
    // Spot values: (0,1) is slab, (1,1) is moss.
    const unsigned char *slab = (const unsigned char *)b.data() + 1 * FIRSTMAP_SIZE;
    EXPECT_EQ(getext(slab + 0), 300.0L);
    EXPECT_EQ(getext(slab + 12), 0.5L);
    EXPECT_EQ(getext(slab + 24), 1.0L);
    EXPECT_EQ(get32(slab + 36), 800);
    EXPECT_EQ(getext(slab + 40), 7.0L);
    EXPECT_EQ(getext(slab + 52), 20.0L);
    EXPECT_EQ(getext(slab + 64), 2.0L);
    EXPECT_EQ(get32(slab + 76), 1);
    const unsigned char *moss = (const unsigned char *)b.data() + 3 * FIRSTMAP_SIZE;
    EXPECT_EQ(get32(moss + 36), 700);
    EXPECT_EQ(getext(moss + 64), 1.5L);
    EXPECT_EQ(get32(moss + 76), 0);
    const unsigned char *last = rec - FIRSTMAP_SIZE;
    EXPECT_EQ(0, std::memcmp(rec, last, 92));
    EXPECT_EQ(get32(rec + 92), NET_END);
    EXPECT_FALSE(recordintact(rec, FIRSTMAP_SIZE));
    s.sync();
}

TEST_F(Protocol, MapAnswersFollowFiresBetweenRequests)
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
TEST_F(Protocol, MapAnswersShowFiresQueuedWhileTheTickComputes)
{
    SESSION s;
    std::vector<UPDATEMAP> before, during;
    UPDATEMAP closing;
    ASSERT_EQ(kcgetmap(&s.kc, &before), 6) << s.kc.error;
    pthread_mutex_lock(&serverworld.oldmap_lock);
    serverworld.tickcomputing = 1;
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    addfire(serverworld, 2, 1, 1); // the last cell, index 5
    addfire(serverworld, 0, 1, 2);
    addfire(serverworld, 2, 1, 3);
    ASSERT_EQ(kcgetmap(&s.kc, &during, &closing), 6) << s.kc.error;
    pthread_mutex_lock(&serverworld.oldmap_lock);
    serverworld.tickcomputing = 0;
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    EXPECT_EQ(during[5].totalcal, before[5].totalcal + 100.0L + 100.0L);
    EXPECT_EQ(during[1].totalcal, before[1].totalcal + 100.0L);
    for (int i : {0, 2, 3, 4})
        EXPECT_EQ(during[(size_t)i].totalcal, before[(size_t)i].totalcal);
    EXPECT_EQ(closing.totalcal, during[5].totalcal);
    EXPECT_EQ(closing.neto.type, NET_END);
    // The tick publishes them: after it the grid itself holds the fires.
    dophys(serverworld);
    MAPUNIT last = getcell(serverworld, 2, 1);
    EXPECT_EQ(last.heatsource[0], 1);
    EXPECT_EQ(last.heatsource[1], 3);
}

TEST_F(Protocol, WithoutAMapTheAnswersAreEmpty)
{
    resetall();
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getmapinfo;version;"), 0);
    EXPECT_EQ(s.recvbytes(6 + 8), "0 0 \"\"0.100000");
    ASSERT_EQ(kcsend(&s.kc, "getmap;"), 0);
    std::string upd = s.recvbytes(UPDATEMAP_SIZE);
    std::string want(UPDATEMAP_SIZE, '\0');
    want[36] = NET_END;
    EXPECT_EQ(upd, want);
    ASSERT_EQ(kcsend(&s.kc, "getallmap;"), 0);
    std::string all = s.recvbytes(FIRSTMAP_SIZE);
    std::string wantall(FIRSTMAP_SIZE, '\0');
    wantall[92] = NET_END;
    EXPECT_EQ(all, wantall);
    s.sync();
}

// ---------------------------------------------------------------------------
// Players

TEST_F(Protocol, PlayerListOfNobodyIsOnlyTheClosingRecord)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "getplayerinfo;"), 0);
    std::string b = s.recvbytes(PLAYERINFO_SIZE);
    std::string want(PLAYERINFO_SIZE, '\0');
    want[68] = NET_END;
    EXPECT_EQ(b, want);
    s.sync();
}

TEST_F(Protocol, PlayerListKeepsLeftPlayersAndClosesWithTheLastRecordSent)
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

TEST_F(Protocol, LoginsGetNumbersInTurnAndStartPositionsRoundRobin)
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

TEST_F(Protocol, LoginRecordInTheSamePacketAsTheCommand)
{
    SESSION s;
    std::vector<unsigned char> packet = {'l', 'o', 'g', 'i', 'n', ';'};
    std::vector<unsigned char> rec = playerrecord("eager", 77, 5, 5, 3, 4, 5);
    packet.insert(packet.end(), rec.begin(), rec.end());
    ASSERT_EQ(kcsendbytes(&s.kc, packet.data(), packet.size()), 0);
    std::string t = s.recvbytes(2 * NETOVERHEAD_SIZE);
    const unsigned char *p = (const unsigned char *)t.data();
    EXPECT_EQ(get32(p + 12), NET_READY);
    EXPECT_EQ(get32(p + 16 + 12), NET_END);
    EXPECT_EQ(get32(p + 16), 0);
    PLAYERINFO e = playerentry(0);
    EXPECT_STREQ(e.name, "eager");
    EXPECT_EQ(e.health, 100); // only the name of the record is used
    EXPECT_EQ(e.score, 0);
    EXPECT_EQ(e.x, 1);
    s.sync();
}

TEST_F(Protocol, LoginNameWithoutNulIsCutTo29Characters)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "login;"), 0);
    s.recvbytes(NETOVERHEAD_SIZE);
    std::vector<unsigned char> rec = playerrecord("", 0, 0, 0);
    std::memset(rec.data(), 'n', 30);
    std::memset(rec.data() + 30, 'q', 2); // the pad after the name is no NUL either
    ASSERT_EQ(kcsendbytes(&s.kc, rec.data(), rec.size()), 0);
    std::string t = s.recvbytes(NETOVERHEAD_SIZE);
    EXPECT_EQ(get32((const unsigned char *)t.data()), 0);
    PLAYERINFO e = playerentry(0);
    EXPECT_EQ(std::string(e.name, 29), std::string(29, 'n'));
    EXPECT_EQ(e.name[29], '\0');
}

TEST_F(Protocol, LoginWithoutStartPositionsIsRefused)
{
    loadsmallmap(false);
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "login;"), 0);
    std::string ready = s.recvbytes(NETOVERHEAD_SIZE);
    EXPECT_EQ(get32((const unsigned char *)ready.data() + 12), NET_READY);
    std::vector<unsigned char> rec = playerrecord("nowhere", 0, 0, 0);
    ASSERT_EQ(kcsendbytes(&s.kc, rec.data(), rec.size()), 0);
    std::string end = s.recvbytes(NETOVERHEAD_SIZE);
    EXPECT_EQ(get32((const unsigned char *)end.data()), -1);
    EXPECT_EQ(get32((const unsigned char *)end.data() + 12), NET_END);
    EXPECT_EQ(playercount(), 0);
    // The connection still has no player: a fire does nothing.
    std::vector<long double> before = heats();
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    EXPECT_EQ(heats(), before);
    int num = 5;
    ASSERT_EQ(kclogin(&s.kc, "again", &num), 0);
    EXPECT_EQ(num, -1);
}

TEST_F(Protocol, RefusedLoginKeepsTheConnectionsPlayer)
{
    SESSION s;
    ASSERT_EQ(s.login("keeper"), 0); // at (1,0)
    // The start positions run out (as on a map without them).
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    std::vector<MAP_VERTEX> saved;
    saved.swap(serverplayers.s_points);
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    int num = 5;
    EXPECT_EQ(kclogin(&s.kc, "second", &num), 0) << s.kc.error;
    pthread_mutex_lock(&serverplayers.playerlist_lock);
    saved.swap(serverplayers.s_points);
    pthread_mutex_unlock(&serverplayers.playerlist_lock);
    EXPECT_EQ(num, -1);
    EXPECT_EQ(playercount(), 1);
    // The connection still plays as player 0: its fire is tagged 1.
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    MAPUNIT c = cellcopy(1, 0);
    EXPECT_EQ(c.totalcal, 400.0L);
    EXPECT_EQ(c.heatsource[0], 1);
}

TEST_F(Protocol, SetPlayerInfoMovesOnlyThePosition)
{
    SESSION s;
    ASSERT_EQ(s.login("alice"), 0);
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("mallory", 0, 2, 1, 1000, 500, 7)));
    EXPECT_EQ(fieldsof(playerentry(0)), (PLAYERFIELDS{"alice", 0, 0, 100, 2, 1, 0}));
    // Any position is stored, on the map or not.
    ASSERT_EQ(kcmove(&s.kc, 0, -4, 99), 0);
    EXPECT_EQ(playerentry(0).x, -4);
    EXPECT_EQ(playerentry(0).y, 99);
}

TEST_F(Protocol, SetPlayerInfoMovesAnotherPlayerByTheRecordsNumber)
{
    SESSION a, b;
    ASSERT_EQ(a.login("a"), 0);
    ASSERT_EQ(b.login("b"), 1);
    ASSERT_EQ(kcmove(&a.kc, 1, 0, 0), 0);
    EXPECT_EQ(playerentry(1).x, 0);
    EXPECT_EQ(playerentry(1).y, 0);
    EXPECT_EQ(playerentry(0).x, 1);
}

TEST_F(Protocol, SetPlayerInfoRefusesDeadLeftAndUnknownPlayers)
{
    SESSION s;
    ASSERT_EQ(s.login("dead"), 0);
    {
        SESSION gone;
        ASSERT_EQ(gone.login("gone"), 1);
    }
    setplayerhealth(0, 0);
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("", 0, 0, 1)));
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("", 1, 0, 1)));
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("", 2, 0, 1)));
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("", -1, 0, 1)));
    EXPECT_EQ(playerentry(0).x, 1);
    EXPECT_EQ(playerentry(0).y, 0);
    EXPECT_EQ(playerentry(1).x, 2);
    EXPECT_EQ(playerentry(1).y, 1);
    EXPECT_EQ(playerentry(1).num, -1);
    EXPECT_EQ(playercount(), 2);
    // A player at health 1 still moves.
    setplayerhealth(0, 1);
    ASSERT_NO_FATAL_FAILURE(setplayerinfo(s, playerrecord("", 0, 0, 1)));
    EXPECT_EQ(playerentry(0).x, 0);
}

// ---------------------------------------------------------------------------
// Fires

TEST_F(Protocol, SetFireAddsExactlyAHundredCaloriesTaggedWithThePlayer)
{
    SESSION s;
    s.login("zero");
    ASSERT_EQ(s.login("one"), 1); // at (2,1), a slab cell of 300 calories
    MAPUNIT before = cellcopy(2, 1);
    ASSERT_EQ(kcsetfire(&s.kc), 0);
    s.sync();
    MAPUNIT after = cellcopy(2, 1);
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
    EXPECT_EQ(cellcopy(2, 1).totalcal, 500.0L);
    EXPECT_EQ(cellcopy(2, 1).sourcequan[0], 200.0L);
}

TEST_F(Protocol, SetFireDoesNothingWithoutAPlayerWhenDeadOrOffTheMap)
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

// ---------------------------------------------------------------------------
// The command reader

TEST_F(Protocol, NulSplitCommandRunsOnceComplete)
{
    SESSION s;
    const char bytes[] = {'g', 'e', 't', '\0', 'x', ';', 'm', 'a', 'p', ';'};
    ASSERT_EQ(kcsendbytes(&s.kc, bytes, sizeof bytes), 0);
    std::vector<unsigned char> run;
    EXPECT_EQ(kcreadrun(&s.kc, UPDATEMAP_SIZE, &run), 6) << s.kc.error;
    s.sync();
}

TEST_F(Protocol, LongTextJoinedAtNulsIsIgnoredAndTheConnectionGoesOn)
{
    SESSION s;
    std::string pass(600, 'a');
    pass += '\0';
    pass += ';';
    for (int i = 0; i < 4; i++) // 2400 bytes of joined text, none complete
        ASSERT_EQ(kcsendbytes(&s.kc, pass.data(), pass.size()), 0);
    ASSERT_EQ(kcsend(&s.kc, "version;"), 0); // completes the joined text: ignored
    ASSERT_EQ(kcsend(&s.kc, "version;"), 0);
    char answer[9] = {0};
    ASSERT_EQ(kcrecv(&s.kc, answer, 8), 0) << s.kc.error;
    EXPECT_STREQ(answer, "0.100000");
    s.sync();
}

TEST_F(Protocol, CommandOf1023BytesIsReadButOneLongerEndsTheConnection)
{
    {
        SESSION s;
        std::string cmd(1022, 'a');
        cmd += ";";
        ASSERT_EQ(kcsend(&s.kc, cmd), 0);
        s.sync();
    }
    SESSION s;
    ASSERT_EQ(s.login("talker"), 0);
    ASSERT_EQ(kcsend(&s.kc, std::string(1024, 'a')), 0);
    char c;
    EXPECT_EQ(kcrecv(&s.kc, &c, 1), KC_CLOSED);
    s.end();
    EXPECT_EQ(playerentry(0).num, -1);
}

// Answers that wait a second for a client that reads nothing end the
// connection.
class SendStall : public Protocol {
  protected:
    int saved = sendstall;
    void SetUp() override
    {
        Protocol::SetUp();
        sendstall = 1;
    }
    void TearDown() override
    {
        sendstall = saved;
        Protocol::TearDown();
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

TEST_F(Protocol, EndOfStreamMarksThePlayerAsLeft)
{
    SESSION s;
    ASSERT_EQ(s.login("brief"), 0);
    s.end();
    PLAYERINFO e = playerentry(0);
    EXPECT_EQ(e.num, -1);
    EXPECT_STREQ(e.name, "brief");
    EXPECT_EQ(e.health, 100);
}

TEST_F(Protocol, CloseEndsTheConnectionAndMarksThePlayerAsLeft)
{
    SESSION s;
    ASSERT_EQ(s.login("polite"), 0);
    ASSERT_EQ(kcsend(&s.kc, "close;version;"), 0);
    char c;
    EXPECT_EQ(kcrecv(&s.kc, &c, 1), KC_CLOSED); // nothing after close
    s.end();
    EXPECT_EQ(playerentry(0).num, -1);
}

TEST_F(Protocol, EndInTheMiddleOfALoginRecordAddsNobody)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "login;"), 0);
    s.recvbytes(NETOVERHEAD_SIZE);
    std::vector<unsigned char> rec = playerrecord("half", 0, 0, 0);
    ASSERT_EQ(kcsendbytes(&s.kc, rec.data(), 30), 0);
    s.end();
    EXPECT_EQ(playercount(), 0);
}

// ---------------------------------------------------------------------------
// The pure scanner

TEST(CmdScan, WithoutTerminatorItAsksForMore)
{
    std::string cmd;
    size_t used = 99;
    EXPECT_EQ(cmdscan(cmd, "versi", 5, &used), SCAN_MORE);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(cmd, "");
}

TEST(CmdScan, OnePassStopsAfterTheTerminator)
{
    std::string cmd;
    size_t used = 0;
    const char data[] = "version;getmap;";
    EXPECT_EQ(cmdscan(cmd, data, sizeof data - 1, &used), SCAN_PASS);
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(cmd, "version;");
}

TEST(CmdScan, NulDropsTheRestOfThePassAndJoinsTheNext)
{
    std::string cmd;
    size_t used = 0;
    const char data[] = {'g', 'e', 't', '\0', 'x', ';', 'm', 'a', 'p', ';'};
    EXPECT_EQ(cmdscan(cmd, data, sizeof data, &used), SCAN_PASS);
    EXPECT_EQ(used, 6u);
    EXPECT_EQ(cmd, "get");
    EXPECT_EQ(cmdscan(cmd, data + 6, sizeof data - 6, &used), SCAN_PASS);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(cmd, "getmap;");
}

TEST(CmdScan, NewlineStaysForTheNextCommand)
{
    std::string cmd;
    size_t used = 0;
    const char data[] = "version;\nversion;";
    EXPECT_EQ(cmdscan(cmd, data, sizeof data - 1, &used), SCAN_PASS);
    EXPECT_EQ(cmd, "version;");
    cmd.clear();
    EXPECT_EQ(cmdscan(cmd, data + used, sizeof data - 1 - used, &used), SCAN_PASS);
    EXPECT_EQ(cmd, "\nversion;");
}

TEST(CmdScan, LimitIs1023BytesWithTheTerminator)
{
    std::string cmd;
    size_t used = 0;
    std::string ok(1022, 'a');
    ok += ';';
    EXPECT_EQ(cmdscan(cmd, ok.data(), ok.size(), &used), SCAN_PASS);
    EXPECT_EQ(used, 1023u);
    cmd.clear();
    std::string longer(1023, 'a');
    EXPECT_EQ(cmdscan(cmd, longer.data(), longer.size(), &used), SCAN_TOOLONG);
    longer += ';';
    EXPECT_EQ(cmdscan(cmd, longer.data(), longer.size(), &used), SCAN_TOOLONG);
    // 1022 bytes without ';' may still be completed by the next byte.
    EXPECT_EQ(cmdscan(cmd, ok.data(), 1022, &used), SCAN_MORE);
}

TEST(CmdScan, JoinedTextStaysBoundedAndMatchesNothing)
{
    std::string cmd(1000, 'a'); // left by passes split at a NUL
    size_t used = 0;
    std::string more(30, 'b');
    more += ';';
    EXPECT_EQ(cmdscan(cmd, more.data(), more.size(), &used), SCAN_PASS);
    EXPECT_EQ(used, 31u);
    EXPECT_EQ(cmd.size(), 1023u);
    EXPECT_EQ(cmd.back(), ';'); // complete: it is compared, and ignored
    // Split again at a NUL: still incomplete, still bounded.
    cmd.assign(1020, 'a');
    const char split[] = {'c', 'c', 'c', 'c', 'c', '\0', 'x', ';'};
    EXPECT_EQ(cmdscan(cmd, split, sizeof split, &used), SCAN_PASS);
    EXPECT_EQ(cmd.size(), 1023u);
    EXPECT_EQ(cmd.back(), 'c');
}
