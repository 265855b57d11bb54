// Misbehaving clients against the real server binary, one per test. After
// each, a fresh client must still be answered and the world must still
// tick: the fuel of the map's burning cell, read by "getmap;", falls
// between two reads half a second apart.
//
// The map is "still": no material conducts (cocon 0 everywhere) and only
// the burning cell has fuel, which it burns without releasing heat. So
// every cell's heat stays exactly as loaded unless a fire lands in it, and
// the tests can tell to the calorie where fires went.
#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include "kindlerclient.h"
#include "support.h"
#include "wire.h"

namespace {

const char STILLTYPES[] =
    "<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=900 </type>\n"
    "<type name=ground num=2> temp=20 cocon=0 calperc=2 ignitionpoint=900 </type>\n"
    "<type name=burning num=4> temp=20 cocon=0 calperc=1 ignitionpoint=0 fuellevel=1000000 burnspeed=1 calperf=0 </type>\n"
    "<type name=sink num=5> temp=20 cocon=0 calperc=100000 ignitionpoint=900 </type>\n";

// 4 x 3: the burning cell at (1,1), the heat sink at (2,1); players start
// on the sink, then at (0,0).
const long MAPX = 4, MAPY = 3;
const long BURNX = 1, BURNY = 1, SINKX = 2, SINKY = 1;

size_t cellindex(long x, long y, long sizey = MAPY) { return (size_t)(x * sizey + y); }

// The player list as kc reads it; fails the calling test when it cannot.
std::vector<PLAYERINFO> players(KCLIENT *kc)
{
    std::vector<PLAYERINFO> list;
    EXPECT_GE(kcgetplayerinfo(kc, &list), 0) << kc->error;
    return list;
}

// The one entry of the player list; fails the calling test unless there
// is exactly one.
PLAYERINFO theplayer(KCLIENT *kc)
{
    std::vector<PLAYERINFO> list = players(kc);
    EXPECT_EQ(list.size(), 1u);
    return list.empty() ? PLAYERINFO{} : list[0];
}

// The map's cells as kc reads them ("getmap;").
std::vector<UPDATEMAP> mapcells(KCLIENT *kc)
{
    std::vector<UPDATEMAP> cells;
    EXPECT_GE(kcgetmap(kc, &cells), 0) << kc->error;
    return cells;
}

// True when nothing arrives on kc within ms milliseconds (the server may
// close the connection, but sends no answer).
bool noanswer(KCLIENT *kc, int ms)
{
    kc->timeoutms = ms;
    char c;
    int r = kcrecv(kc, &c, 1);
    kc->timeoutms = KC_TIMEOUTMS;
    return r == KC_TIMEOUT || r == KC_CLOSED;
}

std::string stillmap()
{
    return maptext(STILLTYPES, {"2222", "2452", "2222"}, "2,1 0,0");
}

using namespace std::chrono_literals;

class Hostile : public ::testing::Test {
protected:
    SERVERPROC server;
    std::string mappath;
    long cellsx = MAPX, cellsy = MAPY;

    void startwith(const std::string &text, long sx, long sy)
    {
        cellsx = sx;
        cellsy = sy;
        mappath = tempfile(text);
        ASSERT_TRUE(server.start({mappath}));
        ASSERT_TRUE(server.running()) << server.err();
    }
    void SetUp() override {}
    void TearDown() override
    {
        server.stop();
        if (!mappath.empty())
            unlink(mappath.c_str());
    }

    size_t cells() const { return (size_t)(cellsx * cellsy); }

    // kc's player stands on the sink of the still map: its fire puts 100
    // calories into it, on top of its heat in `before`.
    void expectfireonsink(KCLIENT *kc, const std::vector<UPDATEMAP> &before)
    {
        ASSERT_EQ(kcsetfire(kc), 0);
        std::vector<UPDATEMAP> after = mapcells(kc);
        ASSERT_EQ(after.size(), cells());
        ASSERT_EQ(before.size(), cells());
        size_t sink = cellindex(SINKX, SINKY);
        EXPECT_EQ(after[sink].totalcal, before[sink].totalcal + 100.0L);
    }

    // Sends `bytes` on a connection of its own (all of them when `whole`):
    // nothing comes back within half a second, and the server lives on.
    void expectnoanswer(const std::string &bytes, bool whole)
    {
        KCLIENT kc;
        ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
        int sent = kcsendbytes(&kc, bytes.data(), bytes.size());
        if (whole) {
            ASSERT_EQ(sent, 0) << kc.error;
        }
        EXPECT_TRUE(noanswer(&kc, 500));
        expectalive();
        kcclose(&kc);
    }

    // A fresh client is answered, and the burning cell's fuel falls
    // between two reads half a second apart.
    void expectalive()
    {
        ASSERT_TRUE(server.running()) << server.err();
        KCLIENT kc;
        ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
        std::string answer;
        ASSERT_EQ(kcversion(&kc, &answer), 0) << "a fresh client got no answer to version;: " << kc.error;
        EXPECT_EQ(answer, "0.100000");
        std::vector<UPDATEMAP> first, second;
        ASSERT_EQ(kcgetmap(&kc, &first), (int)cells()) << kc.error;
        std::this_thread::sleep_for(500ms);
        ASSERT_EQ(kcgetmap(&kc, &second), (int)cells()) << kc.error;
        size_t burn = cellindex(BURNX, BURNY, cellsy);
        EXPECT_LT(second[burn].fuellevel, first[burn].fuellevel) << "the world did not tick in 0.5 s";
        kcclose(&kc);
    }
};

class HostileStill : public Hostile {
protected:
    void SetUp() override { startwith(stillmap(), MAPX, MAPY); }
};

std::string randombytes(size_t n, unsigned int stream)
{
    std::mt19937 rng(stream);
    std::string s(n, '\0');
    for (auto &c : s)
        c = (char)(rng() & 0xff);
    return s;
}

TEST_F(HostileStill, HttpRequestGetsNoAnswer)
{
    expectnoanswer("GET / HTTP/1.1\r\nHost: 127.0.0.1:3140\r\nUser-Agent: curl/7.88\r\n"
                   "Accept: text/html;q=0.9,*/*;q=0.8\r\nConnection: keep-alive\r\n\r\n",
                   true);
}

TEST_F(HostileStill, RandomBytesGetNoAnswer)
{
    // The server may drop the connection part way; what it must not do is
    // answer or fall over.
    expectnoanswer(randombytes(1 << 20, 1), false);
}

TEST_F(HostileStill, SilentClientDoesNotHoldUpOthers)
{
    KCLIENT silent;
    ASSERT_NO_FATAL_FAILURE(connectclient(&silent));
    std::this_thread::sleep_for(1200ms); // accepted, its thread waits for a command
    expectalive();
    expectalive();
    silent.timeoutms = 200;
    char c;
    EXPECT_EQ(kcrecv(&silent, &c, 1), KC_TIMEOUT) << "an idle connection must stay open";
    kcclose(&silent);
}

size_t openfds(pid_t pid)
{
    size_t n = 0;
    DIR *d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!d)
        return 0;
    while (struct dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            n++;
    closedir(d);
    return n;
}

// Connections waiting in the listen queue of port 3140 (for a listening
// socket the kernel shows its accept queue as rx_queue), or -1.
long listenqueue()
{
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    while (std::getline(tcp, line)) {
        char local[64], state[8];
        unsigned long txq, rxq;
        if (std::sscanf(line.c_str(), "%*d: %63s %*s %7s %lx:%lx", local, state, &txq, &rxq) != 4)
            continue;
        const char *colon = std::strrchr(local, ':');
        if (colon && std::strcmp(colon + 1, "0C44") == 0 && std::strcmp(state, "0A") == 0)
            return (long)rxq;
    }
    return -1;
}

// The listener accepts one connection per second, so 200 connections take
// at least 200 s whatever the client does; the loop keeps the listen queue
// full so that the server, not the client, sets the pace. Half the
// clients close with a FIN, half reset the connection.
TEST_F(HostileStill, ConnectAndDropTwoHundredTimes)
{
    const int DROPS = 200;
    // A sanitizer runtime may start a background thread of its own at any
    // time; 200 leaked connection threads would still show.
    const long SPARETHREADS = 1;
    size_t fdsbefore = openfds(server.pid);
    long threadsbefore = procstatus(server.pid, "Threads");
    for (int i = 0; i < DROPS; i++) {
        KCLIENT kc;
        ASSERT_EQ(kcconnect(&kc), 0) << "connection " << i << ": " << kc.error;
        if (i % 2) {
            struct linger l = {1, 0};
            setsockopt(kc.sock, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        close(kc.sock); // without "close;"
    }
    // The last connections wait in the listen queue, a second each.
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline &&
           (listenqueue() != 0 || openfds(server.pid) > fdsbefore ||
            procstatus(server.pid, "Threads") > threadsbefore + SPARETHREADS))
        std::this_thread::sleep_for(200ms);
    EXPECT_EQ(listenqueue(), 0);
    EXPECT_EQ(openfds(server.pid), fdsbefore) << "descriptors leaked by dropped connections";
    EXPECT_LE(procstatus(server.pid, "Threads"), threadsbefore + SPARETHREADS) << "connection threads left behind";
    expectalive();
}

TEST_F(HostileStill, LoginThenSilenceAddsNoPlayerAndBlocksNobody)
{
    KCLIENT half;
    ASSERT_NO_FATAL_FAILURE(connectclient(&half));
    // Half a record, then nothing.
    std::vector<unsigned char> rec = playerrecord("half");
    rec.resize(30);
    ASSERT_EQ(rawexchange(&half, "login;", rec), 0) << half.error;
    expectalive();
    KCLIENT other;
    ASSERT_NO_FATAL_FAILURE(connectclient(&other));
    EXPECT_TRUE(players(&other).empty());
    int num = -2;
    ASSERT_EQ(kclogin(&other, "whole", &num), 0) << other.error;
    EXPECT_EQ(num, 0) << "a complete login elsewhere must go through";
    close(half.sock); // the half record never completes
    std::this_thread::sleep_for(300ms);
    std::vector<PLAYERINFO> list = players(&other);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].name, "whole");
    EXPECT_EQ(list[0].num, 0);
    kcclose(&other);
    expectalive();
}

TEST_F(HostileStill, LoginWithRandomRecordGetsAStartPositionAndAShortName)
{
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    std::string bytes = randombytes(PLAYERINFO_SIZE, 7);
    for (int i = 0; i < 30; i++)
        if (bytes[i] == '\0')
            bytes[i] = 'z'; // no NUL in the whole name field
    std::vector<unsigned char> rec(bytes.begin(), bytes.end());
    put32(rec.data() + 44, INT_MAX);  // x
    put32(rec.data() + 48, INT_MIN);  // y
    put32(rec.data() + 40, -1000);    // health
    put32(rec.data() + 52, 123456);   // num
    int num = -2;
    ASSERT_EQ(rawexchange(&kc, "login;", rec, &num), 0) << kc.error;
    ASSERT_EQ(num, 0);
    EXPECT_EQ(fieldsof(theplayer(&kc)), (PLAYERFIELDS{bytes.substr(0, 29), 0, 0, 100, SINKX, SINKY, 0}));
    // The player is a sound one: its fire lands on its start cell.
    expectfireonsink(&kc, mapcells(&kc));
    kcclose(&kc);
    expectalive();
}

TEST_F(HostileStill, SetplayerinfoWithNumAtTheIntLimitsChangesNothing)
{
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "target"));
    for (int32_t other : {INT_MIN, INT_MAX, -1, 1}) {
        SCOPED_TRACE(other);
        ASSERT_EQ(kcmove(&kc, other, 3, 0), 0) << kc.error;
        const PLAYERINFO p = theplayer(&kc);
        EXPECT_EQ(p.x, SINKX);
        EXPECT_EQ(p.y, SINKY);
        EXPECT_EQ(p.num, 0);
    }
    // The same move with the player's own number does move it.
    ASSERT_EQ(kcmove(&kc, 0, 3, 0), 0) << kc.error;
    const PLAYERINFO p = theplayer(&kc);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, 0);
    kcclose(&kc);
    expectalive();
}

TEST_F(HostileStill, PlayerFarOffTheMapSetsFiresThatLandNowhere)
{
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "wanderer"));
    std::vector<UPDATEMAP> before = mapcells(&kc), after;
    ASSERT_EQ(before.size(), cells());
    const int32_t spots[][2] = {{INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, {-1, -1}, {4, 0}, {0, 3}, {-100000, 1}};
    for (const auto &spot : spots) {
        SCOPED_TRACE(std::to_string(spot[0]) + "," + std::to_string(spot[1]));
        ASSERT_EQ(kcmove(&kc, 0, spot[0], spot[1]), 0) << kc.error;
        const PLAYERINFO p = theplayer(&kc);
        EXPECT_EQ(p.x, spot[0]);
        EXPECT_EQ(p.y, spot[1]);
        EXPECT_EQ(p.health, 100) << "the surroundings are 20 K";
        for (int i = 0; i < 50; i++)
            ASSERT_EQ(kcsend(&kc, "setfire;version;protocolversion;"), 0);
        std::string answers(50 * 16, '\0');
        ASSERT_EQ(kcrecv(&kc, answers.data(), answers.size()), 0) << kc.error;
        std::string expected;
        for (int i = 0; i < 100; i++)
            expected += "0.100000";
        EXPECT_EQ(answers, expected);
        ASSERT_EQ(kcsend(&kc, "getmapinfo;"), 0);
        std::string info(11, '\0');
        ASSERT_EQ(kcrecv(&kc, info.data(), info.size()), 0) << kc.error;
        EXPECT_EQ(info, "4 3 \"test\"\"");
        after = mapcells(&kc);
        ASSERT_EQ(after.size(), cells());
        for (size_t i = 0; i < cells(); i++)
            EXPECT_EQ(after[i].totalcal, before[i].totalcal) << "cell " << i << " got heat from an off-map fire";
        std::vector<FIRSTMAP> all;
        ASSERT_EQ(kcgetallmap(&kc, &all), (int)cells()) << kc.error;
    }
    // Back on the map, a fire lands again: the check above can fail.
    ASSERT_EQ(kcmove(&kc, 0, SINKX, SINKY), 0) << kc.error;
    expectfireonsink(&kc, before);
    kcclose(&kc);
    expectalive();
}

// The sink neither conducts nor burns, so no tick moves heat in or out of
// it: every one of the 10,000 fires must be in it, including those that
// arrived while a tick was computing (each tick copies the published grid
// and publishes its own copy; a fire that arrives between must not be
// lost with the old copy). The sink's capacity keeps its temperature at
// 30 K, so the player takes no damage and all fires count.
TEST_F(HostileStill, FloodOfTenThousandSetfiresLandsEveryFire)
{
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "flooder"));
    std::vector<UPDATEMAP> before = mapcells(&kc);
    std::string flood;
    for (int i = 0; i < 10000; i++)
        flood += "setfire;";
    ASSERT_EQ(kcsend(&kc, flood), 0);
    std::string answer;
    ASSERT_EQ(kcversion(&kc, &answer), 0) << kc.error; // every fire before it has run
    EXPECT_EQ(answer, "0.100000");
    std::vector<UPDATEMAP> after = mapcells(&kc);
    ASSERT_EQ(before.size(), cells());
    ASSERT_EQ(after.size(), cells());
    size_t sink = cellindex(SINKX, SINKY);
    EXPECT_EQ(after[sink].totalcal, before[sink].totalcal + 10000 * 100.0L);
    for (size_t i = 0; i < cells(); i++)
        if (i != sink) {
            EXPECT_EQ(after[i].totalcal, before[i].totalcal) << "cell " << i;
        }
    EXPECT_EQ(theplayer(&kc).health, 100);
    kcclose(&kc);
    expectalive();
}

// 20 clients, all connected first (the listener takes one per second),
// then all ask for the whole 512 x 512 map at the same moment. The answer
// is 96 x (262144 + 1) bytes, about 25 MB; the server encodes it once per
// published state and shares it, so its peak memory grows by a few copies
// of the answer at most, not by one per client.
TEST_F(Hostile, TwentyClientsFetchTheWholeLargeMapAtOnce)
{
    const long SIDE = 512;
    std::vector<std::string> rows(SIDE, std::string(SIDE, '2'));
    rows[BURNY][BURNX] = '4';
    startwith(maptext(STILLTYPES, rows, "0,0"), SIDE, SIDE);
    const int CLIENTS = 20;
    const size_t answer = (cells() + 1) * FIRSTMAP_SIZE;
    std::vector<KCLIENT> kcs(CLIENTS);
    for (KCLIENT &kc : kcs) {
        ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
        kc.timeoutms = 10000;
        std::string v;
        ASSERT_EQ(kcversion(&kc, &v), 0) << kc.error; // accepted and served
    }
    long hwmbefore = procstatus(server.pid, "VmHWM");
    std::atomic<int> ready{0}, good{0};
    std::vector<std::thread> clients;
    for (KCLIENT &kc : kcs) {
        clients.emplace_back([&] {
            std::vector<unsigned char> run;
            run.reserve(answer);
            ready++;
            while (ready < CLIENTS)
                std::this_thread::yield();
            // Every record intact, the last one the closing record.
            if (kcsend(&kc, "getallmap;") == 0 && kcreadrun(&kc, FIRSTMAP_SIZE, &run) == (int)cells() &&
                run.size() == answer)
                good++;
        });
    }
    for (auto &t : clients)
        t.join();
    long hwmafter = procstatus(server.pid, "VmHWM");
    EXPECT_EQ(good, CLIENTS);
    std::printf("getallmap x %d on %ld x %ld (answer %zu bytes): server VmHWM %ld kB before, %ld kB after, "
                "growth %ld kB (%.1f answers)\n",
                CLIENTS, SIDE, SIDE, answer, hwmbefore, hwmafter, hwmafter - hwmbefore,
                (double)(hwmafter - hwmbefore) * 1024 / (double)answer);
#ifndef KINDLER_SANITIZED
    // Sanitizers keep freed memory in quarantine and add shadow memory, so
    // the bound is only checked in a plain build.
    EXPECT_LT((hwmafter - hwmbefore) * 1024, (long)(CLIENTS / 2) * (long)answer)
        << "peak memory grows with the number of clients";
#endif
    for (KCLIENT &kc : kcs)
        kcclose(&kc);
    expectalive();
}

} // namespace

// The sanitizer check of SERVERPROC itself: a report in the server's
// standard error fails the test that stops it.
TEST(ServerProcess, SanitizerReportInTheServersStderrFailsTheTest)
{
    for (const char *report : {"==12==ERROR: AddressSanitizer: heap-use-after-free on address 0x1",
                               "net.cpp:10:5: runtime error: signed integer overflow"}) {
        SERVERPROC fake;
        fake.errpath = tempfile(report, ".err");
        fake.pid = fork();
        if (fake.pid == 0) {
            pause();
            _exit(0);
        }
        EXPECT_NONFATAL_FAILURE(fake.stop(), "sanitizer report");
    }
    SERVERPROC clean;
    clean.errpath = tempfile("Error! nothing to do with sanitizers\n", ".err");
    clean.pid = fork();
    if (clean.pid == 0) {
        pause();
        _exit(0);
    }
    clean.stop(); // no failure
}
