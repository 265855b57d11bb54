// The real server with a store (--state): stopped by SIGTERM and started
// again it serves the same world and players; each refusal at start-up is
// one line and status 1 with the file untouched; kill -9 at any moment
// loses at most one interval; a store that cannot be written leaves the
// game running; --fresh drops the world and keeps the rounds played.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "support.h"
#include "webclient.h"

namespace {

namespace fs = std::filesystem;

// Cells that neither conduct nor burn: a fire's heat and its attribution
// stay where they were set, so the world is the same at every tick.
const std::string STILLTYPES = typeline(0, "20", "0", "1") + typeline(2, "20", "0", "2");

std::string squaremap(const std::string &types, char type, int n)
{
    return maptext(types, std::vector<std::string>((size_t)n, std::string((size_t)n, type)), "1,1 2,2");
}

// A test's directory, removed with it; its file `name`.
struct TEMPDIR {
    fs::path dir = mkdtemp(std::string("/tmp/kindler-persist-XXXXXX").data());
    ~TEMPDIR() { fs::remove_all(dir); }
    std::string operator/(const char *name) const { return (dir / name).string(); }
};

// The records of an answer (getallmap, or getplayerinfo without the
// closing record, which tells of the asking connection).
std::string answer(KCLIENT *kc, const std::string &cmd, int recsize, size_t dropped = 0)
{
    std::vector<unsigned char> r;
    if (kcsend(kc, cmd) != 0 || kcreadrun(kc, recsize, &r) < 0)
        return "(no answer)";
    return std::string(r.begin(), r.end() - (long)dropped);
}
std::string allmap(KCLIENT *kc) { return answer(kc, "getallmap;", FIRSTMAP_SIZE); }
std::string players(KCLIENT *kc) { return answer(kc, "getplayerinfo;", sizeof(PLAYERINFO), sizeof(PLAYERINFO)); }

// The tick of the "restored tick N from FILE" line, -1 without one.
long restoredtick(const SERVERPROC &s)
{
    const std::string out = s.out();
    const size_t at = out.find("restored tick ");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 14);
}

double metric(const std::string &name)
{
    const std::string text = httprequest(3141, "GET", "/metrics").body;
    const size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + name.size() + 2);
}

int terminate(SERVERPROC &s)
{
    kill(s.pid, SIGTERM);
    return s.wait(10000);
}

// Runs `sql` on the file; the first column of its first row, or -1.
int64_t sql(const std::string &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *q = nullptr;
    int64_t n = -1;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK && sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == 0 &&
        sqlite3_step(q) == SQLITE_ROW)
        n = sqlite3_column_int64(q, 0);
    sqlite3_finalize(q);
    sqlite3_close(db);
    return n;
}

TEST(PersistRestart, SigtermSavesTheGameTheNextStartServesItToTheByteAndFreshDropsIt)
{
    TEMPDIR tmp;
    const std::string map = tmp / "still.map", state = tmp / "game.state";
    std::ofstream(map) << squaremap(STILLTYPES, '2', 12);
    std::string untouched, world, list;
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
        KCLIENT alice, bob;
        connectandlogin(&alice, "alice", 0);
        connectandlogin(&bob, "bob", 1);
        untouched = allmap(&alice);
        ASSERT_TRUE(kcmove(&alice, 0, 2, 1) == 0 && kcsetfire(&alice) == 0 && kcsetfire(&bob) == 0);
        kcclose(&bob); // a player who left stays in the list
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        world = allmap(&alice);
        list = players(&alice);
        EXPECT_EQ(0, terminate(s)) << s.err();
        EXPECT_NE(std::string::npos, s.out().find("saved tick ")) << s.out();
    }
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, map}));
        EXPECT_GT(restoredtick(s), 2) << s.out();
        KCLIENT kc;
        connectclient(&kc);
        EXPECT_EQ(world, allmap(&kc));
        EXPECT_EQ(list, players(&kc));
        ASSERT_EQ(0, terminate(s));
    }
    sql(state, "INSERT INTO rounds VALUES(1, 'test', 10, 20, 'limit')");
    sql(state, "INSERT INTO results(round, num, name, score, died) VALUES(1, 0, 'alice', 7, 0)");
    SERVERPROC s;
    ASSERT_TRUE(s.start({"--state=" + state, "--fresh", map}));
    EXPECT_EQ(-1, restoredtick(s));
    KCLIENT kc;
    connectclient(&kc);
    EXPECT_EQ(untouched, allmap(&kc));
    EXPECT_EQ("", players(&kc));
    ASSERT_EQ(0, terminate(s));
    EXPECT_EQ(1, sql(state, "SELECT count(*) FROM rounds"));
    EXPECT_EQ(1, sql(state, "SELECT count(*) FROM results"));
}

// Rounds with a store: the round under way goes on after a restart, its
// result lands in the store, and the next round starts on the map, not
// on the world the restart restored.
TEST(PersistRounds, ARestoredRoundEndsIntoTheStoreAndTheNextStartsOnTheMap)
{
    TEMPDIR tmp;
    const std::string map = tmp / "still.map", state = tmp / "game.state";
    std::ofstream(map) << squaremap(STILLTYPES, '2', 12);
    const std::vector<std::string> args = {"--state=" + state, "--checkpoint=0.2", "--round=4s", "--intermission=1", map};
    std::string untouched;
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start(args));
        KCLIENT alice;
        connectandlogin(&alice, "alice", 0);
        untouched = allmap(&alice);
        ASSERT_EQ(0, kcsetfire(&alice));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(0, terminate(s)) << s.err();
    }
    SERVERPROC s;
    ASSERT_TRUE(s.start(args));
    EXPECT_GT(restoredtick(s), 0) << s.out();
    KCLIENT kc;
    connectclient(&kc);
    std::string now = allmap(&kc);
    EXPECT_NE(untouched, now) << "the fire's heat was restored";
    for (int i = 0; i < 100 && now != untouched; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        now = allmap(&kc);
    }
    EXPECT_EQ(untouched, now) << "round 2 starts on the map";
    ASSERT_EQ(0, terminate(s));
    EXPECT_EQ(1, sql(state, "SELECT count(*) FROM rounds"));
    EXPECT_EQ(1, sql(state, "SELECT count(*) FROM results WHERE round = 1"));
}

// The server on `args` must refuse with status 1 and exactly `line` on
// standard error, restore nothing, and leave the store's bytes as they were.
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
    const std::string map = tmp / "world.map", state = tmp / "game.state", error = "Error! store " + state + ": ";
    std::ofstream(map) << squaremap(STILLTYPES, '2', 12);
    {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, map}));
        expectrefusal({"--state=" + state, map}, state, error + "in use by another process");
        ASSERT_EQ(0, terminate(s));
    }
    std::ofstream(map) << squaremap(STILLTYPES, '2', 13); // the same name, another map
    SERVERPROC probe;
    probe.start({"--state=" + state, map});
    probe.wait(10000);
    EXPECT_EQ(0u, probe.err().rfind(error + "holds the world of another map (" + map, 0)) << probe.err();
    expectrefusal({"--state=" + state, map}, state, probe.err().substr(0, probe.err().size() - 1));
    expectrefusal({"--state=" + state, tmp / "none.map"}, state, error + "a store needs a map that loads");
    const std::string nodir = tmp / "nodir/game.state", corrupt = tmp / "corrupt.state";
    expectrefusal({"--state=" + nodir, map}, nodir, "Error! store " + nodir + ": cannot open: No such file or directory");
    std::ofstream(corrupt) << std::string(8192, 'x');
    expectrefusal({"--state=" + corrupt, map}, corrupt, "Error! store " + corrupt + ": not a database file (corrupt?)");
}

TEST(PersistCrash, KillNineAtAnyMomentLosesAtMostOneInterval)
{
    TEMPDIR tmp;
    const std::string map = tmp / "grass.map", state = tmp / "game.state";
    std::ofstream(map) << squaremap(RESTTYPES, '2', 300);
    const int rounds = getenv("KINDLER_KILL_ROUNDS") ? std::atoi(getenv("KINDLER_KILL_ROUNDS")) : 3;
    std::mt19937 random(std::random_device{}());
    long attick = 0; // at least the tick of the last kill
    for (int round = 0; round < rounds; round++) {
        SERVERPROC s;
        ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
        ASSERT_TRUE(s.running()) << "round " << round << ": " << s.err();
        const long restored = std::max(restoredtick(s), 0L);
        // Two ticks an interval, one waiting for the next tick, and slack
        // for a save under way (slow under a sanitizer).
        EXPECT_LE(attick - 8, restored) << "round " << round;
        EXPECT_LE(restored, attick + 6) << "round " << round;
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
        attick = restored + (long)ticks;
    }
}

TEST(PersistFailure, AStoreThatCannotBeWrittenLeavesTheGameRunningAndCountsTheFailures)
{
    TEMPDIR tmp;
    const std::string map = tmp / "grass.map", state = tmp / "game.state";
    std::ofstream(map) << squaremap(RESTTYPES, '2', 100);
    SERVERPROC s;
    s.fsize = 64 * 1024; // room for the new file's tables, not for the world
    ASSERT_TRUE(s.start({"--state=" + state, "--checkpoint=0.2", map}));
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
    connectandlogin(&kc, "alice", 0);
    const std::string err = s.err();
    EXPECT_EQ(0u, err.find("Checkpoint failed (1 so far; the game goes on): store " + state)) << err;
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
}

} // namespace
