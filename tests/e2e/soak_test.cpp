// Soak test: 16 clients against the real server for KINDLER_SOAK_SECONDS
// seconds (20 when unset) with a random mix of every command, logins,
// moves off and on the map, fires, "close;" and abrupt disconnects, some
// in the middle of a command or a record. At the end:
//   - the server still answers;
//   - the player list holds one entry per successful login, in login
//     order, each numbered by its index or -1, and with the name as sent;
//     once every client has gone, every entry is -1;
//   - the world kept ticking: the fuel of a cell that burns every tick and
//     exchanges no heat fell by exactly updateinterval x burnspeed per
//     tick, a whole number of times;
//   - resident memory, once every client has gone, is what it was after
//     the first answers (the pictures of the map), give or take what the
//     player list and the allocator's per-thread arenas explain.
// It prints the commands sent, connections, peak resident memory and ticks.
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "kindlerclient.h"
#include "support.h"
#include "wire.h"

namespace {

using namespace std::chrono_literals;

const int CLIENTS = 16;
const long SIDE = 8;
const long BURNX = 7, BURNY = 7; // burns every tick, exchanges no heat
const double BURNSPEED = 1;       // fuel per second
const char TYPES[] =
    "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 </type>\n"
    "<type name=rock num=1> temp=20 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
    "<type name=grass num=2> temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400 </type>\n"
    "<type name=torch num=4> temp=20 cocon=0 calperc=1 ignitionpoint=0 fuellevel=1000 burnspeed=1 calperf=0 </type>\n";

size_t cells() { return (size_t)(SIDE * SIDE); }
size_t burnindex() { return (size_t)(BURNX * SIDE + BURNY); }

int soakseconds()
{
    const char *s = std::getenv("KINDLER_SOAK_SECONDS");
    int n = s ? std::atoi(s) : 20;
    return n > 0 ? n : 20;
}

// Connects kc; a client may wait long in the listen queue, for its
// connection as for every answer: the listener takes one connection per
// second and 16 clients reconnect.
bool soakconnect(KCLIENT *kc)
{
    int r = KC_ERROR;
    for (int attempt = 0; attempt < 2 && r != 0; attempt++)
        r = kcconnect(kc, "127.0.0.1", KC_PORT, 60000);
    if (r != 0)
        return false;
    // Commands without an answer ("setfire;") must not hold back the next
    // one until the server's delayed acknowledgement.
    int on = 1;
    setsockopt(kc->sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

// Ends the connection without "close;".
void drop(KCLIENT *kc)
{
    if (kc->sock >= 0)
        close(kc->sock);
    kc->sock = -1;
}

struct SHARED {
    std::mutex lock;                    // guards logins
    std::map<int, std::string> logins;  // player number -> name as sent (first 29 bytes)
    std::set<int> superseded;           // players whose connection logged in again
    std::atomic<long> commands{0}, connections{0}, failures{0};
    std::atomic<bool> stop{false};
    std::string firstfailure;           // guarded by lock
};

void fail(SHARED &sh, const std::string &what)
{
    std::lock_guard<std::mutex> g(sh.lock);
    if (sh.failures++ == 0)
        sh.firstfailure = what;
}

// One client: sessions of random length until told to stop.
void client(SHARED &sh, int id)
{
    std::mt19937 rng(1000 + id);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    int session = 0;
    while (!sh.stop) {
        KCLIENT kc;
        if (!soakconnect(&kc)) {
            fail(sh, "connect failed");
            return;
        }
        sh.connections++;
        session++;
        // Wait for the listener to take the connection before the session.
        std::string v;
        sh.commands++;
        if (kcversion(&kc, &v) != 0) {
            fail(sh, "a new connection was never served");
            drop(&kc);
            return;
        }
        int me = -1, logins = 0;
        // A session runs `length` commands, then ends in one of six ways.
        int length = 500 + pick(8000);
        bool open = true;
        for (int step = 0; open && !sh.stop; step++) {
            sh.commands++;
            int what = step < length ? pick(90) : 90 + pick(10);
            if (step >= length && what >= 98 && pick(2))
                break; // the client just goes away
            bool ok = true;
            if (what < 10) {
                ok = (what < 5 ? kcversion(&kc, &v) : kcprotocolversion(&kc, &v)) == 0 && v == "0.100000";
            } else if (what < 13) {
                KCMAPINFO info;
                ok = kcmapinfo(&kc, &info) == 0 && info.xsize == 8 && info.ysize == 8 && info.name == "soak\"";
            } else if (what < 23) {
                std::vector<UPDATEMAP> m;
                ok = kcgetmap(&kc, &m) == (int)cells();
            } else if (what < 26) {
                std::vector<FIRSTMAP> m;
                ok = kcgetallmap(&kc, &m) == (int)cells();
            } else if (what < 34) {
                std::vector<PLAYERINFO> ps;
                ok = kcgetplayerinfo(&kc, &ps) >= 0;
                for (size_t i = 0; ok && i < ps.size(); i++)
                    ok = ps[i].num == (int)i || ps[i].num == -1;
            } else if ((what < 36 && pick(8) == 0) || (me < 0 && what < 60)) {
                // A name of 29 characters now and then, or a longer one that
                // no client library sends: 30 bytes without a NUL, cut to 29.
                std::string name = "c" + std::to_string(id) + "-" + std::to_string(session) + "-" + std::to_string(logins++);
                if (pick(8) == 0)
                    name.resize(29 + pick(3), 'x');
                int num = -1;
                if (name.size() >= 30)
                    ok = rawexchange(&kc, "login;", playerrecord(name, pick(5), pick(50), pick(50), 100), &num) == 0;
                else
                    ok = kclogin(&kc, name.c_str(), &num) == 0;
                if (num >= 0) {
                    std::lock_guard<std::mutex> g(sh.lock);
                    ok = sh.logins.emplace(num, name.substr(0, 29)).second; // a number is never given twice
                    // The connection now plays the new player; the one it
                    // played before stays present, played by nobody.
                    if (me >= 0)
                        sh.superseded.insert(me);
                }
                ok = ok && num >= 0;
                me = num;
            } else if (what < 58) {
                // Moves: on the map, just off it, or far away; now and then
                // with somebody else's (or nobody's) number.
                int32_t x, y;
                switch (pick(4)) {
                case 0: x = pick(SIDE + 2) - 1; y = pick(SIDE + 2) - 1; break;
                case 1: x = (int32_t)rng(); y = (int32_t)rng(); break;
                default: x = pick(SIDE); y = pick(SIDE); break;
                }
                int num = pick(10) == 0 ? (int)rng() % 50 - 5 : me;
                ok = kcmove(&kc, num, x, y) == 0;
            } else if (what < 85) {
                ok = kcsetfire(&kc) == 0;
            } else if (what < 90) {
                ok = kcsend(&kc, pick(2) ? "nonsense;" : "GET / HTTP/1.0\r\n;") == 0;
            } else if (what < 93) {
                kcclose(&kc); // "close;"
                open = false;
            } else if (what < 96) {
                // Abrupt: in the middle of a command or straight away.
                if (pick(2))
                    kcsend(&kc, "getm");
                if (pick(2)) {
                    struct linger l = {1, 0};
                    setsockopt(kc.sock, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                }
                open = false;
            } else if (what < 98) {
                // Abrupt in the middle of a login record: no player is added.
                std::vector<unsigned char> rec = playerrecord("never");
                rec.resize(1 + pick(70));
                ok = rawexchange(&kc, "login;", rec) == 0;
                open = false;
            } else {
                // In the middle of a move record.
                std::vector<unsigned char> rec = playerrecord("", me, 1, 1);
                rec.resize(pick(72));
                ok = rawexchange(&kc, "setplayerinfo;", rec) == 0;
                open = false;
            }
            if (!ok) {
                fail(sh, "command " + std::to_string(what) + " of client " + std::to_string(id) + " was not answered as it should be");
                open = false;
            }
            if (step % 16 == 0)
                std::this_thread::sleep_for(1ms);
        }
        drop(&kc);
    }
}

// The fuel of the torch after `ticks` ticks from `from`, computed as the
// tick does: one subtraction of updateinterval x burnspeed per tick.
long ticksbetween(long double from, long double to)
{
    long double fuel2burn = 0.1 * (long double)BURNSPEED;
    long double f = from;
    long n = 0;
    while (f > to && n < 10000000) {
        f = f - fuel2burn;
        n++;
    }
    return f == to ? n : -1;
}

TEST(Soak, SixteenClientsWithARandomMixKeepTheServerWhole)
{
    const int seconds = soakseconds();
    std::vector<std::string> rows(SIDE, std::string(SIDE, '2'));
    rows[0] = std::string(SIDE, '1');
    rows[BURNY][BURNX] = '4';
    std::string mappath = tempfile(maptext(TYPES, rows, "1,1 3,3 5,2 2,6"));
    // maptext names every map "test"; this one is called soak.
    std::string text = readfile(mappath);
    text.replace(text.find("name=\"test\""), 11, "name=\"soak\"");
    unlink(mappath.c_str());
    mappath = tempfile(text);

    // Its clients all come from one address and log in without end.
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--logins-per-address=1000000", "--max-players=1000000", mappath}));
    ASSERT_TRUE(server.running()) << server.err();

    KCLIENT probe;
    ASSERT_TRUE(soakconnect(&probe));
    std::vector<UPDATEMAP> m0, m1;
    ASSERT_EQ(kcgetmap(&probe, &m0), (int)cells()) << probe.error;
    std::vector<FIRSTMAP> all;
    ASSERT_EQ(kcgetallmap(&probe, &all), (int)cells()) << probe.error;
    long rssbefore = procstatus(server.pid, "VmRSS");
    auto started = std::chrono::steady_clock::now();

    SHARED sh;
    std::vector<std::thread> threads;
    for (int i = 0; i < CLIENTS; i++)
        threads.emplace_back(client, std::ref(sh), i);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    sh.stop = true;
    for (auto &t : threads)
        t.join();

    // The probe connection has been waiting all along: it is still served.
    ASSERT_EQ(kcgetmap(&probe, &m1), (int)cells()) << "the server stopped answering: " << probe.error;
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(sh.failures, 0) << sh.firstfailure;

    long ticks = ticksbetween(m0[burnindex()].fuellevel, m1[burnindex()].fuellevel);
    EXPECT_GE(ticks, 0) << "the torch's fuel fell by no whole number of ticks: "
                        << (double)m0[burnindex()].fuellevel << " -> " << (double)m1[burnindex()].fuellevel;
    EXPECT_GE(ticks, (long)elapsed) << "fewer than one tick a second";

    // Every client has gone. The list holds one entry per login, in login
    // order, named as sent; the last player of every connection has left
    // (-1), a player whose connection logged in again stays present.
    KCLIENT fresh;
    ASSERT_TRUE(soakconnect(&fresh));
    std::vector<PLAYERINFO> players;
    auto settled = [&] {
        for (size_t i = 0; i < players.size(); i++)
            if (players[i].num != (sh.superseded.count((int)i) ? (int)i : -1))
                return false;
        return true;
    };
    auto deadline = std::chrono::steady_clock::now() + 20s;
    do {
        ASSERT_GE(kcgetplayerinfo(&fresh, &players), 0) << fresh.error;
        if (settled())
            break;
        std::this_thread::sleep_for(200ms);
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(players.size(), sh.logins.size()) << "one entry per successful login";
    size_t i = 0;
    for (const auto &[num, name] : sh.logins) {
        EXPECT_EQ(num, (int)i) << "login numbers are the list's indexes";
        EXPECT_EQ(std::string(players[i].name, strnlen(players[i].name, 30)), name) << "entry " << i;
        EXPECT_EQ(players[i].num, sh.superseded.count(num) ? num : -1) << "entry " << i << " " << name;
        i++;
    }

    long rssafter = procstatus(server.pid, "VmRSS");
    long hwm = procstatus(server.pid, "VmHWM");
    std::printf("soak %d s: %ld commands, %ld connections, %zu logins, %ld ticks in %.1f s, "
                "server VmRSS %ld kB -> %ld kB, peak VmHWM %ld kB\n",
                seconds, sh.commands.load(), sh.connections.load() + 2, players.size(), ticks, elapsed,
                rssbefore, rssafter, hwm);
#ifndef KINDLER_SANITIZED
    // Nothing of a connection outlives it but its player entry; the
    // allocator keeps an arena per thread that has used it (up to 8 per
    // core), whose touched pages stay resident.
    long explained = (long)(players.size() * PLAYERINFO_SIZE) / 1024 + 16 * 1024;
    EXPECT_LE(rssafter - rssbefore, explained) << "resident memory grew beyond what the player list explains";
#endif
    kcclose(&fresh);
    kcclose(&probe);
    server.stop();
    unlink(mappath.c_str());
}

} // namespace
