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
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include "clientops.h"
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

    // A fresh client is answered, and the burning cell's fuel falls
    // between two reads half a second apart.
    void expectalive()
    {
        ASSERT_TRUE(server.running()) << server.err();
        int fd = connectserver();
        ASSERT_GE(fd, 0);
        char answer[9] = {};
        ASSERT_TRUE(sendstr(fd, "version;"));
        ASSERT_TRUE(recvall(fd, answer, 8)) << "a fresh client got no answer to version;";
        EXPECT_STREQ(answer, "0.100000");
        std::vector<UPDATEMAP> first, second;
        ASSERT_TRUE(getmapcells(fd, cells(), &first));
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(getmapcells(fd, cells(), &second));
        size_t burn = cellindex(BURNX, BURNY, cellsy);
        EXPECT_LT(second[burn].fuellevel, first[burn].fuellevel) << "the world did not tick in 0.5 s";
        close(fd);
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
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendstr(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1:3140\r\nUser-Agent: curl/7.88\r\n"
                            "Accept: text/html;q=0.9,*/*;q=0.8\r\nConnection: keep-alive\r\n\r\n"));
    EXPECT_EQ(recvsome(fd, 500), "");
    expectalive();
    close(fd);
}

TEST_F(HostileStill, RandomBytesGetNoAnswer)
{
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    std::string junk = randombytes(1 << 20, 1);
    // The server may drop the connection part way; what it must not do is
    // answer or fall over.
    sendall(fd, junk.data(), junk.size());
    EXPECT_EQ(recvsome(fd, 500), "");
    expectalive();
    close(fd);
}

TEST_F(HostileStill, SilentClientDoesNotHoldUpOthers)
{
    int silent = connectserver();
    ASSERT_GE(silent, 0);
    std::this_thread::sleep_for(1200ms); // accepted, its thread waits for a command
    expectalive();
    expectalive();
    EXPECT_FALSE(peerclosed(silent, 200)) << "an idle connection must stay open";
    close(silent);
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
        int fd = connectserver();
        ASSERT_GE(fd, 0) << "connection " << i;
        if (i % 2) {
            struct linger l = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        close(fd);
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
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendstr(fd, "login;"));
    ASSERT_TRUE(recvtrailer(fd, NET_READY));
    // Half a record, then nothing.
    std::vector<unsigned char> rec = playerrecord("half");
    ASSERT_TRUE(sendall(fd, rec.data(), 30));
    expectalive();
    int other = connectserver();
    ASSERT_GE(other, 0);
    std::vector<PLAYERINFO> players;
    ASSERT_TRUE(getplayers(other, &players));
    EXPECT_TRUE(players.empty());
    EXPECT_EQ(loginname(other, "whole"), 0) << "a complete login elsewhere must go through";
    close(fd); // the half record never completes
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(getplayers(other, &players));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_STREQ(players[0].name, "whole");
    EXPECT_EQ(players[0].num, 0);
    close(other);
    expectalive();
}

TEST_F(HostileStill, LoginWithRandomRecordGetsAStartPositionAndAShortName)
{
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    std::string bytes = randombytes(PLAYERINFO_SIZE, 7);
    for (int i = 0; i < 30; i++)
        if (bytes[i] == '\0')
            bytes[i] = 'z'; // no NUL in the whole name field
    std::vector<unsigned char> rec(bytes.begin(), bytes.end());
    put32(rec.data() + 44, INT_MAX);  // x
    put32(rec.data() + 48, INT_MIN);  // y
    put32(rec.data() + 40, -1000);    // health
    put32(rec.data() + 52, 123456);   // num
    ASSERT_EQ(loginrecord(fd, rec), 0);
    std::vector<PLAYERINFO> players;
    ASSERT_TRUE(getplayers(fd, &players));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(std::string(players[0].name), bytes.substr(0, 29));
    EXPECT_EQ(players[0].x, SINKX);
    EXPECT_EQ(players[0].y, SINKY);
    EXPECT_EQ(players[0].health, 100);
    EXPECT_EQ(players[0].score, 0);
    EXPECT_EQ(players[0].team, 0);
    EXPECT_EQ(players[0].num, 0);
    // The player is a sound one: its fire lands on its start cell.
    std::vector<UPDATEMAP> before, after;
    ASSERT_TRUE(getmapcells(fd, cells(), &before));
    ASSERT_TRUE(sendstr(fd, "setfire;"));
    ASSERT_TRUE(getmapcells(fd, cells(), &after));
    size_t sink = cellindex(SINKX, SINKY);
    EXPECT_EQ(after[sink].totalcal, before[sink].totalcal + 100.0L);
    close(fd);
    expectalive();
}

TEST_F(HostileStill, SetplayerinfoWithNumAtTheIntLimitsChangesNothing)
{
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(loginname(fd, "target"), 0);
    for (int32_t num : {INT_MIN, INT_MAX, -1, 1}) {
        SCOPED_TRACE(num);
        ASSERT_TRUE(setplayerinfo(fd, playerrecord("target", 3, 0, num)));
        std::vector<PLAYERINFO> players;
        ASSERT_TRUE(getplayers(fd, &players));
        ASSERT_EQ(players.size(), 1u);
        EXPECT_EQ(players[0].x, SINKX);
        EXPECT_EQ(players[0].y, SINKY);
        EXPECT_EQ(players[0].num, 0);
    }
    // The same record with the player's own number does move it.
    ASSERT_TRUE(setplayerinfo(fd, playerrecord("target", 3, 0, 0)));
    std::vector<PLAYERINFO> players;
    ASSERT_TRUE(getplayers(fd, &players));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].x, 3);
    EXPECT_EQ(players[0].y, 0);
    close(fd);
    expectalive();
}

TEST_F(HostileStill, PlayerFarOffTheMapSetsFiresThatLandNowhere)
{
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(loginname(fd, "wanderer"), 0);
    std::vector<UPDATEMAP> before, after;
    ASSERT_TRUE(getmapcells(fd, cells(), &before));
    const int32_t spots[][2] = {{INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, {-1, -1}, {4, 0}, {0, 3}, {-100000, 1}};
    for (const auto &spot : spots) {
        SCOPED_TRACE(std::to_string(spot[0]) + "," + std::to_string(spot[1]));
        ASSERT_TRUE(setplayerinfo(fd, playerrecord("", spot[0], spot[1], 0)));
        std::vector<PLAYERINFO> players;
        ASSERT_TRUE(getplayers(fd, &players));
        ASSERT_EQ(players.size(), 1u);
        EXPECT_EQ(players[0].x, spot[0]);
        EXPECT_EQ(players[0].y, spot[1]);
        EXPECT_EQ(players[0].health, 100) << "the surroundings are 20 K";
        for (int i = 0; i < 50; i++)
            ASSERT_TRUE(sendstr(fd, "setfire;version;protocolversion;"));
        std::string answers(50 * 16, '\0');
        ASSERT_TRUE(recvall(fd, answers.data(), answers.size()));
        std::string expected;
        for (int i = 0; i < 100; i++)
            expected += "0.100000";
        EXPECT_EQ(answers, expected);
        ASSERT_TRUE(sendstr(fd, "getmapinfo;"));
        EXPECT_EQ(recvsome(fd, 300), "4 3 \"test\"\"");
        ASSERT_TRUE(getmapcells(fd, cells(), &after));
        for (size_t i = 0; i < cells(); i++)
            EXPECT_EQ(after[i].totalcal, before[i].totalcal) << "cell " << i << " got heat from an off-map fire";
        std::vector<unsigned char> all((cells() + 1) * FIRSTMAP_SIZE);
        ASSERT_TRUE(sendstr(fd, "getallmap;"));
        ASSERT_TRUE(recvall(fd, all.data(), all.size()));
    }
    // Back on the map, a fire lands again: the check above can fail.
    ASSERT_TRUE(setplayerinfo(fd, playerrecord("", SINKX, SINKY, 0)));
    ASSERT_TRUE(sendstr(fd, "setfire;"));
    ASSERT_TRUE(getmapcells(fd, cells(), &after));
    size_t sink = cellindex(SINKX, SINKY);
    EXPECT_EQ(after[sink].totalcal, before[sink].totalcal + 100.0L);
    close(fd);
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
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(loginname(fd, "flooder"), 0);
    std::vector<UPDATEMAP> before, after;
    ASSERT_TRUE(getmapcells(fd, cells(), &before));
    std::string flood;
    for (int i = 0; i < 10000; i++)
        flood += "setfire;";
    ASSERT_TRUE(sendall(fd, flood.data(), flood.size()));
    ASSERT_TRUE(sendstr(fd, "version;"));
    char answer[9] = {};
    ASSERT_TRUE(recvall(fd, answer, 8)); // every fire before it has run
    EXPECT_STREQ(answer, "0.100000");
    ASSERT_TRUE(getmapcells(fd, cells(), &after));
    size_t sink = cellindex(SINKX, SINKY);
    EXPECT_EQ(after[sink].totalcal, before[sink].totalcal + 10000 * 100.0L);
    for (size_t i = 0; i < cells(); i++)
        if (i != sink) {
            EXPECT_EQ(after[i].totalcal, before[i].totalcal) << "cell " << i;
        }
    std::vector<PLAYERINFO> players;
    ASSERT_TRUE(getplayers(fd, &players));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].health, 100);
    close(fd);
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
    std::vector<int> fds;
    for (int i = 0; i < CLIENTS; i++) {
        int fd = connectserver();
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sendstr(fd, "version;"));
        char v[8];
        ASSERT_TRUE(recvall(fd, v, 8)); // accepted and served
        fds.push_back(fd);
    }
    long hwmbefore = procstatus(server.pid, "VmHWM");
    std::atomic<int> ready{0}, good{0};
    std::vector<std::thread> clients;
    for (int fd : fds) {
        clients.emplace_back([&, fd] {
            std::vector<unsigned char> b(answer);
            ready++;
            while (ready < CLIENTS)
                std::this_thread::yield();
            if (!sendstr(fd, "getallmap;") || !recvall(fd, b.data(), b.size()))
                return;
            FIRSTMAP last;
            decodefirstmap(b.data() + answer - FIRSTMAP_SIZE, &last);
            if (recordintact(b.data(), FIRSTMAP_SIZE) && last.neto.type == NET_END)
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
    for (int fd : fds)
        close(fd);
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
