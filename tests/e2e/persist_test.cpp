// The real server with a store (--state): stopped by SIGTERM and started
// again it serves the same world and players; each refusal at start-up is
// one line and status 1 with the file untouched; kill -9 at any moment
// loses at most one interval; a store that cannot be written leaves the
// game running; --fresh drops the world and keeps the rounds played.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// Cells that neither conduct nor burn: a fire's heat and its attribution
// stay where they were set, so the world is the same at every tick.
const std::string STILLTYPES = typeline(0, "20", "0", "1") + typeline(2, "20", "0", "2");

// A world of n x n cells of one type, start positions at (1,1) and (2,2).
std::string squaremap(const std::string &types, char type, int n)
{
    return maptext(types, std::vector<std::string>((size_t)n, std::string((size_t)n, type)), "1,1 2,2");
}

// A temporary directory for one test's store, removed with it.
struct TEMPDIR {
    fs::path dir;
    TEMPDIR()
    {
        char name[] = "/tmp/kindler-persist-XXXXXX";
        dir = mkdtemp(name);
    }
    ~TEMPDIR() { fs::remove_all(dir); }
    std::string operator/(const std::string &name) const { return (dir / name).string(); }
};

// The bytes of a "getallmap;" answer, closing record included.
std::string allmap(KCLIENT *kc)
{
    std::vector<unsigned char> records;
    if (kcsend(kc, "getallmap;") != 0 || kcreadrun(kc, FIRSTMAP_SIZE, &records) < 0)
        return "(no answer)";
    return std::string(records.begin(), records.end());
}

// The records of a "getplayerinfo;" answer, without the closing record
// (which tells of the asking connection).
std::string playerlist(KCLIENT *kc)
{
    std::vector<unsigned char> records;
    if (kcsend(kc, "getplayerinfo;") != 0 || kcreadrun(kc, sizeof(PLAYERINFO), &records) < 0)
        return "(no answer)";
    return std::string(records.begin(), records.end() - sizeof(PLAYERINFO));
}

// The tick of the "restored tick N from FILE" line, -1 without one.
long restoredtick(const SERVERPROC &s)
{
    const std::string out = s.out();
    const size_t at = out.find("restored tick ");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 14);
}

// A number of the web port's /metrics, -1 when it cannot be read.
double metric(const std::string &name)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(3141);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string text;
    const std::string ask = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (connect(fd, (struct sockaddr *)&addr, sizeof addr) == 0 && send(fd, ask.data(), ask.size(), 0) > 0) {
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            text.append(buffer, (size_t)n);
    }
    close(fd);
    const size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + name.size() + 2);
}

// Ends s with SIGTERM; its exit status.
int terminate(SERVERPROC &s)
{
    kill(s.pid, SIGTERM);
    return s.wait(10000);
}

// Runs SQL on the store's file with no server holding it.
void runsql(const std::string &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    char *message = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message)) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

int64_t count(const std::string &path, const std::string &table)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *q = nullptr;
    int64_t n = -1;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + table).c_str(), -1, &q, nullptr) == SQLITE_OK &&
        sqlite3_step(q) == SQLITE_ROW)
        n = sqlite3_column_int64(q, 0);
    sqlite3_finalize(q);
    sqlite3_close(db);
    return n;
}

TEST(PersistRestart, SigtermSavesTheGameAndTheNextStartServesItToTheByte)
{
    TEMPDIR tmp;
    const std::string map = tempfile(squaremap(STILLTYPES, '2', 12)), state = tmp / "game.state";
    std::string world, players;
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
        KCLIENT alice, bob;
        connectandlogin(&alice, "alice", 0);
        connectandlogin(&bob, "bob", 1);
        ASSERT_EQ(0, kcmove(&alice, 0, 2, 1));
        ASSERT_EQ(0, kcsetfire(&alice));
        ASSERT_EQ(0, kcsetfire(&bob));
        kcclose(&bob); // a player who left stays in the list
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        world = allmap(&alice);
        players = playerlist(&alice);
        EXPECT_EQ(world, allmap(&alice)) << "the world must stand still for this test";
        EXPECT_EQ(0, terminate(s)) << s.err();
        EXPECT_NE(std::string::npos, s.out().find("saved tick ")) << s.out();
        EXPECT_EQ("", s.err());
    }
    SERVERPROC again;
    ASSERT_TRUE(again.start({"--state=" + state, "--checkpoint=0.2", map}));
    EXPECT_GT(restoredtick(again), 2) << again.out();
    KCLIENT kc;
    connectclient(&kc);
    EXPECT_EQ(world, allmap(&kc));
    EXPECT_EQ(players, playerlist(&kc));
    unlink(map.c_str());
}

// Starts a server on `args`, which must refuse with status 1, exactly the
// line `line` on standard error, port 3140 never opened, and the store's
// bytes as they were.
void expectrefusal(const std::vector<std::string> &args, const std::string &state, const std::string &line)
{
    const std::string before = fs::exists(state) ? readfile(state) : "(none)";
    SERVERPROC s;
    s.start(args);
    EXPECT_EQ(1, s.wait(10000));
    EXPECT_EQ(line + "\n", s.err());
    EXPECT_EQ(std::string::npos, s.out().find("restored")) << s.out();
    EXPECT_EQ(before, fs::exists(state) ? readfile(state) : "(none)");
}

TEST(PersistRefusals, EachRefusalIsOneLineAndStatusOneAndLeavesTheFileAsItWas)
{
    TEMPDIR tmp;
    const std::string map = tmp / "world.map", state = tmp / "game.state";
    { std::ofstream(map) << squaremap(STILLTYPES, '2', 12); }
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, map}));
        expectrefusal({"--state=" + state, map}, state, "Error! store " + state + ": in use by another process");
        ASSERT_EQ(0, terminate(s));
    }
    // The same file name with other content is another map.
    { std::ofstream(map) << squaremap(STILLTYPES, '2', 13); }
    SERVERPROC probe;
    probe.start({"--state=" + state, map});
    EXPECT_EQ(1, probe.wait(10000));
    EXPECT_EQ(0u, probe.err().rfind("Error! store " + state + ": holds the world of another map (" + map, 0))
        << probe.err();
    expectrefusal({"--state=" + state, map}, state, probe.err().substr(0, probe.err().size() - 1));

    expectrefusal({"--state=" + state, tmp / "missing.map"}, state,
                  "Error! store " + state + ": a store needs a map that loads");
    const std::string nodir = tmp / "nodir/game.state";
    expectrefusal({"--state=" + nodir, map}, nodir,
                  "Error! store " + nodir + ": cannot open: No such file or directory");
    const std::string corrupt = tmp / "corrupt.state";
    { std::ofstream(corrupt) << std::string(8192, 'x'); }
    expectrefusal({"--state=" + corrupt, map}, corrupt,
                  "Error! store " + corrupt + ": not a database file (corrupt?)");
}

TEST(PersistCrash, KillNineAtAnyMomentLosesAtMostOneInterval)
{
    TEMPDIR tmp;
    const std::string map = tempfile(squaremap(RESTTYPES, '2', 300)), state = tmp / "game.state";
    const char *env = getenv("KINDLER_KILL_ROUNDS");
    const int rounds = env ? std::atoi(env) : 3;
    std::mt19937 random(std::random_device{}());
    long start = 0;
    for (int round = 0; round < rounds; round++) {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
        ASSERT_TRUE(s.running()) << "round " << round << ": " << s.err();
        const long restored = restoredtick(s);
        if (round > 0) {
            // Two ticks an interval, one more waiting for the next tick and
            // slack for a save under way (slow under a sanitizer).
            EXPECT_GE(restored, start - 8) << "round " << round;
            EXPECT_LE(restored, start + 6) << "round " << round;
        }
        start = restored < 0 ? 0 : restored;
        if (round == 0) {
            KCLIENT kc;
            connectandlogin(&kc, "arsonist", 0);
            for (int i = 0; i < 4; i++)
                kcsetfire(&kc);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500 + random() % 2000));
        const double ticks = metric("kindler_ticks_total");
        ASSERT_GE(ticks, 0);
        kill(s.pid, SIGKILL);
        s.wait(10000);
        start += (long)ticks;
    }
    unlink(map.c_str());
}

TEST(PersistFailure, AStoreThatCannotBeWrittenLeavesTheGameRunningAndCountsTheFailures)
{
    TEMPDIR tmp;
    const std::string map = tempfile(squaremap(RESTTYPES, '2', 100)), state = tmp / "game.state";
    SERVERPROC s;
    s.fsize = 64 * 1024; // room for the new file's tables, not for the world
    ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
    ASSERT_TRUE(s.running()) << s.err();
    double failures = 0;
    for (int i = 0; i < 100 && failures < 3; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        failures = metric("kindler_checkpoint_failures_total");
    }
    EXPECT_GE(failures, 3);
    const double ticks = metric("kindler_ticks_total");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(metric("kindler_ticks_total"), ticks);
    KCLIENT kc;
    connectclient(&kc);
    EXPECT_EQ(0, kcsend(&kc, "version;"));
    EXPECT_TRUE(s.running());
    const std::string err = s.err();
    EXPECT_EQ(0u, err.find("Checkpoint failed (1 so far; the game goes on): store " + state)) << err;
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    unlink(map.c_str());
}

TEST(PersistFresh, FreshDropsTheStoredWorldAndKeepsTheRoundsPlayed)
{
    TEMPDIR tmp;
    const std::string map = tempfile(squaremap(STILLTYPES, '2', 12)), state = tmp / "game.state";
    std::string untouched;
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, map}));
        KCLIENT kc;
        connectandlogin(&kc, "alice", 0);
        untouched = allmap(&kc);
        kcsetfire(&kc);
        ASSERT_EQ(0, terminate(s));
    }
    runsql(state, "INSERT INTO rounds VALUES(1, 'test', 10, 20, 'limit');"
                  "INSERT INTO results VALUES(1, 0, 'alice', 7, 0)");
    SERVERPROC s;
    ASSERT_TRUE(s.start({"--state=" + state, "--fresh", map}));
    EXPECT_EQ(-1, restoredtick(s));
    KCLIENT kc;
    connectclient(&kc);
    EXPECT_EQ(untouched, allmap(&kc));
    EXPECT_EQ("", playerlist(&kc));
    ASSERT_EQ(0, terminate(s));
    EXPECT_EQ(1, count(state, "rounds"));
    EXPECT_EQ(1, count(state, "results"));
    unlink(map.c_str());
}

} // namespace
