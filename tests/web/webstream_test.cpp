// The live stream against the real server: spectating, joining, moving and
// firing as a web player, each fair-play refusal (at every edge of the
// map), malformed and oversized messages, many spectators, a slow reader,
// and a web player and a TCP player in one game.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "decoder.h"
#include "kindlerclient.h"
#include "protocol.h"
#include "support.h"
#include "webclient.h"

namespace {

// An arena of 8 x 6 cool floor cells that conduct nothing, so a fire's 100
// calories stay in its cell (800 kelvins more: 820 K, which costs a player
// there (820 - 383) / 10 = 43 health an exposure), with one rock at (3, 1);
// players start at (1, 1) and (5, 3).
std::string arena()
{
    return maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                   "<type name=floor num=1> temp=20 cocon=0 calperc=0.125 ignitionpoint=9000 </type>\n"
                   "<type name=rock num=2> temp=20 cocon=0 calperc=1 block </type>\n",
                   {"11111111", "11121111", "11111111", "11111111", "11111111", "11111111"}, "1,1 5,3");
}

// A field of grass with an ember every `spacing` cells each way: it burns
// all over within a few ticks, and for some seconds.
std::string field(int size, int spacing = 7)
{
    std::vector<std::string> rows((size_t)size, std::string((size_t)size, '1'));
    for (int y = 0; y < size; y += spacing)
        for (int x = (y * 5) % spacing; x < size; x += spacing)
            rows[(size_t)y][(size_t)x] = '2';
    return maptext("<type name=outside num=0> temp=20 cocon=0.1 calperc=1 </type>\n"
                   "<type name=grass num=1> temp=20 cocon=0.6 calperc=2 ignitionpoint=120 fuellevel=30 "
                   "burnspeed=3 calperf=800 </type>\n"
                   "<type name=ember num=2> temp=700 cocon=0.6 calperc=2 ignitionpoint=120 fuellevel=30 "
                   "burnspeed=3 calperf=800 </type>\n",
                   rows, "1,1");
}

std::vector<unsigned char> viewmsg(int32_t x, int32_t y, uint16_t w, uint16_t h)
{
    std::vector<unsigned char> m = {1};
    for (uint32_t v : {(uint32_t)x, (uint32_t)y})
        for (int b = 0; b < 4; b++)
            m.push_back((unsigned char)(v >> (8 * b)));
    for (uint16_t v : {w, h})
        for (int b = 0; b < 2; b++)
            m.push_back((unsigned char)(v >> (8 * b)));
    return m;
}

std::vector<unsigned char> joinmsg(const std::string &name)
{
    std::vector<unsigned char> m(1 + name.size(), 2);
    std::copy(name.begin(), name.end(), m.begin() + 1);
    return m;
}

std::vector<unsigned char> movemsg(int dx, int dy) { return {3, (unsigned char)(int8_t)dx, (unsigned char)(int8_t)dy}; }
std::vector<unsigned char> firemsg() { return {4}; }

// A page: the WebSocket and what it decoded.
struct PAGE {
    WSCLIENT ws;
    DECODEDSTREAM s;
    std::string fault;

    bool open(int port = WEBPORT) { return wsconnect(ws, port); }
    bool send(const std::vector<unsigned char> &m) { return wssend(ws, m); }
    // Reads and applies one message; its type, or 0.
    int next()
    {
        std::vector<unsigned char> m;
        if (!wsread(ws, m))
            return 0;
        std::string e = applymessage(s, m.data(), m.size());
        if (!e.empty()) {
            fault = e;
            return 0;
        }
        return m.empty() ? 0 : m[0];
    }
    // Reads until `done` holds after a message; false after `limit`
    // messages or a failure.
    bool until(const std::function<bool()> &done, int limit = 200)
    {
        for (int i = 0; i < limit; i++) {
            if (next() == 0)
                return false;
            if (done())
                return true;
        }
        return false;
    }
    const CLIENTPLAYER *player(int num) const
    {
        for (const CLIENTPLAYER &p : s.players)
            if (p.num == num)
                return &p;
        return nullptr;
    }
    // Reads until player num stands at (x, y).
    bool at(int num, int x, int y)
    {
        return until([&] { return player(num) && player(num)->x == x && player(num)->y == y; });
    }
    // Joins; the new number, or -1.
    int join(const std::string &name)
    {
        if (!send(joinmsg(name)) || !until([&] { return s.answered; }))
            return -2;
        return s.you;
    }
};

// The drawn temperature of cell (x, y) as a TCP client reads it.
int tcpkelvins(KCLIENT &kc, long x, long y, long sizey)
{
    std::vector<FIRSTMAP> cells;
    if (kcgetallmap(&kc, &cells) < 0)
        return -1;
    const FIRSTMAP &c = cells[(size_t)(x * sizey + y)];
    return (int)(c.totalcal / c.calperc);
}

// How much the server's resident memory may grow while a client stalls, kB
// (a sanitizer's allocator holds freed memory back for a while).
#ifdef KINDLER_SANITIZED
const long MEMORYBOUND = 64 * 1024;
#else
const long MEMORYBOUND = 16 * 1024;
#endif

// The server's resident memory in kB.
long residentkb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class WebStream : public ::testing::Test {
protected:
    SERVERPROC server;
    void startwith(const std::string &map, std::vector<std::string> args = {})
    {
        args.push_back(tempfile(map));
        ASSERT_TRUE(server.start(args));
        ASSERT_TRUE(awaitlistening(WEBPORT, 5000)) << server.err();
    }
};

} // namespace

TEST_F(WebStream, ASpectatorGetsTheMapThenItsChangesTickByTick)
{
    startwith(arena());
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_EQ(page.next(), 1) << page.fault << page.ws.error; // HELLO first
    EXPECT_EQ(page.s.grid.sizex, 8);
    EXPECT_EQ(page.s.grid.sizey, 6);
    EXPECT_EQ(page.s.hurt, HURTKELVINS);
    ASSERT_EQ(page.s.materials.size(), 2u); // the materials the cells use: floor and rock
    ASSERT_TRUE(page.send(viewmsg(0, 0, 8, 6)));
    ASSERT_TRUE(page.until([&] { return page.s.keyframe; })) << page.fault;
    DRAWNCELL c;
    ASSERT_TRUE(page.s.held.size() == 1 && page.s.held[0]);
    ASSERT_TRUE(clientcell(page.s, 3, 1, c));
    EXPECT_TRUE(page.s.materials[c.material].block);
    ASSERT_TRUE(clientcell(page.s, 0, 0, c));
    EXPECT_EQ(c.kelvins, 20);
    // A TCP player's fire: 100 calories into (1, 1) at 0.1 cal/K.
    KCLIENT kc;
    ASSERT_EQ(kcconnect(&kc), 0);
    int num;
    ASSERT_EQ(kclogin(&kc, "tcp", &num), 0);
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_TRUE(page.until([&] { return clientcell(page.s, 1, 1, c) && c.kelvins == 820; })) << page.fault;
    EXPECT_FALSE(page.s.keyframe);
    EXPECT_EQ(tcpkelvins(kc, 1, 1, 6), 820);
    // The next change comes in a frame of a later tick; the quiet ticks
    // between them send nothing.
    uint32_t tick = page.s.tick;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_TRUE(page.until([&] { return clientcell(page.s, 1, 1, c) && c.kelvins == 1620; }));
    EXPECT_GT(page.s.tick, tick + 2);
    kcclose(&kc);
    // A page that opens now starts at the published tick.
    PAGE late;
    ASSERT_TRUE(late.open());
    ASSERT_EQ(late.next(), 1);
    EXPECT_GE(late.s.tick, page.s.tick);
}

TEST_F(WebStream, AWebPlayerJoinsMovesAndFires)
{
    startwith(arena());
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_TRUE(page.send(viewmsg(0, 0, 8, 6)));
    ASSERT_EQ(page.join("alice"), 0);
    ASSERT_TRUE(page.until([&] { return page.player(0) != nullptr; }));
    EXPECT_EQ(page.player(0)->name, "alice");
    EXPECT_TRUE(page.player(0)->web);
    EXPECT_EQ(page.player(0)->x, 1);
    EXPECT_EQ(page.player(0)->y, 1);
    ASSERT_TRUE(page.send(movemsg(1, 1)));
    ASSERT_TRUE(page.until([&] { return page.player(0)->x == 2 && page.player(0)->y == 2; }));
    ASSERT_TRUE(page.send(firemsg()));
    DRAWNCELL c;
    ASSERT_TRUE(page.until([&] { return clientcell(page.s, 2, 2, c) && c.kelvins == 820; }));
    // A TCP client sees the web player in the list, where it moved.
    KCLIENT kc;
    ASSERT_EQ(kcconnect(&kc), 0);
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 1);
    EXPECT_STREQ(list[0].name, "alice");
    EXPECT_EQ(list[0].x, 2);
    kcclose(&kc);
}

TEST_F(WebStream, FairPlayRefusesBlockedOffMapAndDeadMoves)
{
    startwith(arena());
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_EQ(page.join("bob"), 0); // at (1, 1)
    ASSERT_TRUE(page.at(0, 1, 1));
    // The rock at (3, 1) blocks: the step from (2, 1) is refused.
    ASSERT_TRUE(page.send(movemsg(1, 0)));
    ASSERT_TRUE(page.at(0, 2, 1));
    ASSERT_TRUE(page.send(movemsg(1, 0)));
    ASSERT_TRUE(page.send(movemsg(0, -1))); // to (2, 0): taken
    ASSERT_TRUE(page.at(0, 2, 0));
    ASSERT_TRUE(page.send(movemsg(0, -1))); // off the map: refused
    ASSERT_TRUE(page.send(movemsg(-1, 0))); // to (1, 0): taken
    ASSERT_TRUE(page.at(0, 1, 0));
    const std::string m = httprequest(WEBPORT, "GET", "/metrics").body;
    EXPECT_NE(m.find("kindler_web_actions_dropped_total{action=\"move\",reason=\"refused\"} 2\n"), std::string::npos)
        << m;
    // On its own fire's cell the player burns to death; then it can
    // neither move nor fire.
    ASSERT_TRUE(page.send(viewmsg(0, 0, 8, 6)));
    ASSERT_TRUE(page.send(firemsg()));
    ASSERT_TRUE(page.until([&] { return page.player(0) == nullptr || page.player(0)->health <= 0; }, 400));
    ASSERT_NE(page.player(0), nullptr);
    DRAWNCELL before;
    ASSERT_TRUE(clientcell(page.s, 1, 0, before) || page.until([&] { return clientcell(page.s, 1, 0, before); }));
    ASSERT_TRUE(page.send(movemsg(1, 0)));
    ASSERT_TRUE(page.send(firemsg()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    KCLIENT kc;
    connectclient(&kc);
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 1);
    EXPECT_EQ(list[0].x, 1);
    EXPECT_EQ(list[0].y, 0);
    std::vector<FIRSTMAP> cells;
    ASSERT_EQ(kcgetallmap(&kc, &cells), 48);
    const FIRSTMAP &cell = cells[1 * 6 + 0];
    EXPECT_EQ((int)(cell.totalcal / cell.calperc), before.kelvins) << "a dead player's fire landed";
    kcclose(&kc);
    // A dead player can join again, as a new player.
    EXPECT_EQ(page.join("bob again"), 1);
}

TEST_F(WebStream, AStepEastOffTheLastColumnOrSouthOffTheLastRowIsRefused)
{
    // 8 x 6 cells; the first player starts on the last column, the
    // second on the last row.
    startwith(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                      "<type name=floor num=1> temp=20 cocon=0 calperc=1 </type>\n",
                      std::vector<std::string>(6, std::string(8, '1')), "7,2 3,5"));
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_EQ(page.join("east"), 0);
    ASSERT_TRUE(page.at(0, 7, 2));
    ASSERT_TRUE(page.send(movemsg(1, 0)));  // off the map: refused
    ASSERT_TRUE(page.send(movemsg(-1, 0))); // to (6, 2): taken
    ASSERT_TRUE(page.at(0, 6, 2));
    ASSERT_EQ(page.join("south"), 1);
    ASSERT_TRUE(page.at(1, 3, 5));
    ASSERT_TRUE(page.send(movemsg(0, 1)));  // off the map: refused
    ASSERT_TRUE(page.send(movemsg(0, -1))); // to (3, 4): taken
    ASSERT_TRUE(page.at(1, 3, 4));
}

TEST_F(WebStream, MovesAndFiresBeyondTwentyASecondAreDropped)
{
    // A lane 40 cells long: every step east is taken unless the rate
    // drops it, so the player's place counts the steps taken.
    startwith(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                      "<type name=floor num=1> temp=20 cocon=0 calperc=1 </type>\n",
                      {std::string(40, '1')}, "0,0"));
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_EQ(page.join("runner"), 0);
    ASSERT_TRUE(page.until([&] { return page.player(0) != nullptr; }));
    // Thirty steps and thirty fires at once, the buckets full: twenty of
    // each are taken (or one more, should a token come back meanwhile).
    for (int i = 0; i < 30; i++) {
        ASSERT_TRUE(page.send(movemsg(1, 0)));
        ASSERT_TRUE(page.send(firemsg()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string m = httprequest(WEBPORT, "GET", "/metrics").body;
    auto counted = [&](const std::string &series) {
        size_t at = m.find(series + " ");
        return at == std::string::npos ? -1 : (int)std::stod(m.substr(at + series.size() + 1));
    };
    const int moves = 30 - counted("kindler_web_actions_dropped_total{action=\"move\",reason=\"rate\"}");
    const int fires = 30 - counted("kindler_web_actions_dropped_total{action=\"fire\",reason=\"rate\"}");
    EXPECT_GE(moves, 20) << m;
    EXPECT_LE(moves, 21);
    EXPECT_GE(fires, 20);
    EXPECT_LE(fires, 21);
    ASSERT_TRUE(page.until([&] { return page.player(0)->x == moves; })) << page.player(0)->x << " for " << moves;
    // Each fire taken put 100 calories where the player then stood.
    KCLIENT kc;
    connectclient(&kc);
    std::vector<UPDATEMAP> cells;
    ASSERT_EQ(kcgetmap(&kc, &cells), 40);
    long double added = 0;
    for (const UPDATEMAP &c : cells)
        added += c.totalcal - 20;
    EXPECT_EQ(added, 100.0L * fires);
    kcclose(&kc);
}

TEST_F(WebStream, MalformedMessagesCloseTheConnectionWithTheirCode)
{
    startwith(arena());
    struct CASE {
        const char *what;
        std::vector<unsigned char> msg;
        bool text;
        int code;
    } cases[] = {
        {"unknown type", {9}, false, 1003},
        {"text", {'h', 'i'}, true, 1003},
        {"short view", {1, 0, 0}, false, 1007},
        {"step of two", {3, 2, 0}, false, 1007},
        {"no step", {3, 0, 0}, false, 1007},
        {"name with a control byte", {2, 'a', 7, 'b'}, false, 1007},
        {"empty name", {2}, false, 1007},
        {"name of 30 bytes", joinmsg(std::string(30, 'n')), false, 1007},
        {"fire with a tail", {4, 0}, false, 1007},
        {"over 1 KB", std::vector<unsigned char>(1025, 4), false, 1009},
    };
    for (const CASE &c : cases) {
        PAGE page;
        ASSERT_TRUE(page.open()) << c.what;
        if (c.text)
            ASSERT_TRUE(wssendtext(page.ws, std::string(c.msg.begin(), c.msg.end())));
        else
            ASSERT_TRUE(page.send(c.msg)) << c.what;
        EXPECT_EQ(wsclosecode(page.ws), c.code) << c.what;
    }
    // The server goes on.
    PAGE page;
    ASSERT_TRUE(page.open());
    EXPECT_EQ(page.next(), 1);
}

TEST_F(WebStream, AHundredSpectatorsAtOnceAllGetTheirView)
{
    startwith(field(64), {"--max-per-address=200"}); // all come from 127.0.0.1
    std::vector<std::unique_ptr<PAGE>> pages;
    for (int i = 0; i < 100; i++) {
        pages.push_back(std::make_unique<PAGE>());
        ASSERT_TRUE(pages.back()->open()) << i;
        ASSERT_TRUE(pages.back()->send(viewmsg(i % 48, (i * 7) % 48, 16 + i % 17, 16)));
    }
    for (auto &p : pages)
        ASSERT_TRUE(p->until([&] { return p->s.keyframe; })) << p->fault << p->ws.error;
    // Two ticks on, each still follows.
    for (auto &p : pages) {
        uint32_t t = p->s.tick;
        ASSERT_TRUE(p->until([&] { return p->s.tick >= t + 2; }));
    }
    HTTPRESULT m = httprequest(WEBPORT, "GET", "/metrics");
    EXPECT_NE(m.body.find("kindler_connections{protocol=\"websocket\"} 100"), std::string::npos);
}

TEST_F(WebStream, TheOneThousandAndTwentyFifthSpectatorIsRefused)
{
    struct rlimit files;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_max < 1200)
        GTEST_SKIP() << "the test needs 1,200 descriptors";
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    startwith(arena(), {"--max-per-address=2000"}); // all come from 127.0.0.1
    std::vector<std::unique_ptr<WSCLIENT>> clients;
    for (int i = 0; i < 1024; i++) {
        clients.push_back(std::make_unique<WSCLIENT>());
        ASSERT_TRUE(wsconnect(*clients.back(), WEBPORT)) << i << ": " << clients.back()->error;
    }
    WSCLIENT late;
    int status = 0;
    EXPECT_FALSE(wsconnect(late, WEBPORT, &status));
    EXPECT_EQ(status, 503);
    clients.pop_back();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    WSCLIENT again;
    EXPECT_TRUE(wsconnect(again, WEBPORT)) << again.error;
}

TEST_F(WebStream, ASlowReaderGetsTheNewestStateWithBoundedMemory)
{
    startwith(field(256, 4));
    PAGE slow;
    slow.ws.rcvbuf = 4096; // what it does not read piles up at the server
    ASSERT_TRUE(slow.open());
    ASSERT_TRUE(slow.send(viewmsg(0, 0, 256, 256)));
    ASSERT_TRUE(slow.until([&] { return slow.s.keyframe; }));
    long before = residentkb(server.pid);
    // It reads nothing for three seconds while the field burns.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    long during = residentkb(server.pid);
    // Once it reads again, after what the sockets held it gets a frame
    // that skips the ticks it missed, and then follows tick by tick.
    uint32_t tick = slow.s.tick;
    bool jumped = false;
    for (int i = 0; i < 200 && !jumped; i++) {
        ASSERT_EQ(slow.next(), 2) << slow.fault << slow.ws.error;
        jumped = slow.s.tick > tick + 1;
        tick = slow.s.tick;
    }
    EXPECT_TRUE(jumped);
    EXPECT_LT(during - before, MEMORYBOUND) << "the server's memory grew by " << during - before << " kB";
    HTTPRESULT m = httprequest(WEBPORT, "GET", "/metrics");
    EXPECT_EQ(m.body.find("kindler_stream_frames_coalesced_total 0\n"), std::string::npos);
}

TEST_F(WebStream, AReaderThatTakesNothingIsDroppedAfterTheStallTimeout)
{
    startwith(field(256, 4), {"--stall-timeout=1"});
    PAGE stalled;
    stalled.ws.rcvbuf = 4096;
    ASSERT_TRUE(stalled.open());
    ASSERT_TRUE(stalled.send(viewmsg(0, 0, 256, 256)));
    // Dropped once a message waited a second: well before the default 30 s.
    bool dropped = false;
    for (int i = 0; i < 50 && !dropped; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::string m = httprequest(WEBPORT, "GET", "/metrics").body;
        dropped = m.find("kindler_connections{protocol=\"websocket\"} 0\n") != std::string::npos;
    }
    EXPECT_TRUE(dropped);
}

TEST_F(WebStream, AWebPlayerAndATcpPlayerBurnEachOtherForScore)
{
    startwith(arena());
    KCLIENT kc;
    ASSERT_EQ(kcconnect(&kc), 0);
    int tcp;
    ASSERT_EQ(kclogin(&kc, "tcp", &tcp), 0); // player 0 at (1, 1)
    PAGE page;
    ASSERT_TRUE(page.open());
    ASSERT_EQ(page.join("web"), 1); // player 1 at (5, 3)
    // The TCP player walks onto the web player's cell and sets a fire: the
    // web player's exposure (every tick) hurts it, the TCP player scores.
    ASSERT_EQ(kcmove(&kc, tcp, 5, 3), 0);
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_EQ(kcmove(&kc, tcp, 2, 2), 0); // a cool cell, clear of the next fire
    ASSERT_TRUE(page.until([&] { return page.player(1) && page.player(1)->health < 100 && page.player(0) &&
                                        page.player(0)->score > 0; }));
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 2);
    EXPECT_GT(list[0].score, 0);
    // Its own exposure on its fire's cell ran once, right after the fire
    // was answered: 43 off its health when the fire landed at once, none
    // when a tick was computing then (the fire waited for the tick's swap).
    EXPECT_TRUE(list[0].health == 100 - 43 || list[0].health == 100) << list[0].health;
    EXPECT_LT(list[1].health, 100);
    EXPECT_STREQ(list[1].name, "web");
    // The other way round: a second web player (2, at (1, 1)) sets a fire;
    // once the fire shows, the TCP player steps into it. Its exposure runs
    // after each answer, whenever its thread gets to it: off the fire
    // before the move, once in it before the next command.
    PAGE other;
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(other.send(viewmsg(0, 0, 8, 6)));
    ASSERT_EQ(other.join("web two"), 2);
    ASSERT_TRUE(other.send(firemsg()));
    DRAWNCELL c;
    ASSERT_TRUE(other.until([&] { return clientcell(other.s, 1, 1, c) && c.kelvins == 820; }));
    const int health = list[0].health;
    ASSERT_EQ(kcmove(&kc, tcp, 1, 1), 0); // its exposure runs once this is answered
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 3);
    EXPECT_EQ(list[0].health, health - 43);    // (820 - 383) / 10
    EXPECT_EQ(list[2].score, 43);              // the whole of the cell's tagged heat is its fire's
    // The page sees it too (by then the exposure after that command may
    // have credited it again).
    ASSERT_TRUE(other.until([&] { return other.player(2) && other.player(2)->score >= 43; }));
    kcclose(&kc);
}
