// The store: a checkpoint restored into a game of the same map gives the
// same world and players to the bit, and the same ticks after; a save
// writes only the tiles that changed; each refusal is one line and leaves
// the file as it was; a save killed half way leaves the last one whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>
#include <random>

#include "game/actions.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "game/roundtick.h"
#include "game/names.h"
#include "store/store.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

const MAPID MAP = mapidentityof("meadow.map", "meadow", 6);

struct TMPDIR {
    fs::path dir;
    TMPDIR()
    {
        char name[] = "/tmp/kindler-store-XXXXXX";
        dir = mkdtemp(name);
    }
    ~TMPDIR() { fs::remove_all(dir); }
    std::string file(const char *name) const { return (dir / name).string(); }
};

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A game as the same map gives it every time: random materials and heat
// from `seed`, a cold uniform band at the right (groups that settle),
// start positions. `burn` adds fires, ticks, players, a web player and a
// fire queued while a tick computes.
void buildgame(GAME &g, long sx, long sy, uint64_t seed, bool burn)
{
    std::mt19937_64 rng(seed);
    allocworld(g.world, sx, sy);
    for (size_t i = 0; i < ncells(g.world); i++) {
        MAPUNIT m = plaincell(0, 0.5L + (long double)(rng() % 4) / 8, 1 + (long double)(rng() % 3));
        m.totalcal = (long double)(rng() % 300) * m.calperc;
        m.ignitionpoint = 150;
        m.fuellevel = (long double)(rng() % 50);
        m.calperf = 400;
        m.burnspeed = 2;
        if ((long)(i / (size_t)sy) > sx / 2)
            m = plaincell(40, 1, 2); // the quiet band
        setpubcell(g.world, i, m);
    }
    g.world.outside = plaincell(40, 1, 2);
    g.players.s_points = {{1, 1}, {2, 3}, {5, 5}};
    if (!burn)
        return;
    MAPUNIT odd = pubcell(g.world, 1); // slots that are no prefix, a -0 quantity
    odd.heatsource[3] = 9;
    odd.sourcequan[3] = 1.5L;
    odd.sourcequan[14] = -0.0L;
    setpubcell(g.world, 1, odd);
    const char *names[] = {"ann", "bob", "cy", "dee"};
    for (const char *n : names)
        addplayer(g.players, n);
    for (int t = 0; t < 30; t++) {
        addfire(g.world, (long)(rng() % (uint64_t)(sx / 2)), (long)(rng() % (uint64_t)sy), 1 + (int)(rng() % 4));
        dophys(g.world, g.tick);
    }
    delplayer(g.players, 1);
    g.players.playerlist[2].score = 77;
    g.players.playerlist[3].health = 12;
    keeprestored(g, {3}, {}, RESUMECLOCK::now()); // player 3 plays on the web
    g.world.tickcomputing = 1; // a fire that arrives while a tick computes
    addfire(g.world, 2, 2, 4);
    g.world.tickcomputing = 0;
}

bool samecell(const MAPUNIT &a, const MAPUNIT &b)
{
    if (!samebits(a.totalcal, b.totalcal) || !samebits(a.fuellevel, b.fuellevel))
        return false;
    for (int s = 0; s < NUMSLOTS; s++)
        if (a.heatsource[s] != b.heatsource[s] || !samebits(a.sourcequan[s], b.sourcequan[s]))
            return false;
    return true;
}

// Both games' published states and players, compared field by field.
void expectsame(GAME &a, GAME &b)
{
    ASSERT_EQ(a.world.ticks, b.world.ticks);
    ASSERT_EQ(a.world.oldmap->tagged, b.world.oldmap->tagged);
    for (size_t i = 0; i < ncells(a.world); i++)
        ASSERT_TRUE(samecell(pubcell(a.world, i), pubcell(b.world, i))) << "cell " << i;
    ASSERT_TRUE(samecell(a.world.outside, b.world.outside));
    ASSERT_EQ(a.world.firequeue.size(), b.world.firequeue.size());
    for (size_t f = 0; f < a.world.firequeue.size(); f++)
        EXPECT_TRUE(a.world.firequeue[f].index == b.world.firequeue[f].index &&
                    a.world.firequeue[f].tag == b.world.firequeue[f].tag);
    ASSERT_EQ(a.players.numplayers, b.players.numplayers);
    for (int i = 0; i < a.players.numplayers; i++) {
        const PLAYERINFO &p = a.players.playerlist[i], &q = b.players.playerlist[i];
        EXPECT_TRUE(std::memcmp(p.name, q.name, sizeof p.name) == 0 && p.score == q.score && p.team == q.team &&
                    p.health == q.health && p.x == q.x && p.y == q.y && p.num == q.num) << "player " << i;
    }
    EXPECT_EQ(a.players.s_pointindex, b.players.s_pointindex);
    EXPECT_EQ(webplayernumbers(a), webplayernumbers(b));
}

std::unique_ptr<STORE> mustopen(const std::string &path, const MAPID &map = MAP)
{
    std::string error;
    auto s = openstore(path, map, error);
    EXPECT_TRUE(s) << error;
    return s;
}

void mustsave(STORE &s, GAME &g, SAVEREPORT *report = nullptr)
{
    CHECKPOINT c;
    takecheckpoint(g, c);
    SAVEREPORT r;
    std::string error;
    ASSERT_TRUE(savecheckpoint(s, c, r, error)) << error;
    if (report)
        *report = r;
}

// The refusal of opening `path` (and restoring from it): its one line.
std::string refusal(const std::string &path, const MAPID &map = MAP)
{
    std::string error;
    auto s = openstore(path, map, error);
    if (s) {
        GAME g;
        buildgame(g, 70, 66, 5, false);
        if (restorecheckpoint(*s, g, error) >= 0)
            return "(restored)";
    }
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(error.rfind("store ", 0), 0u) << error;
    return error;
}

// ---------------------------------------------------------------------------

TEST(StoreRoundTrip, RestoredGameEqualsTheCheckpointedOneAndTicksOnTheSame)
{
    TMPDIR tmp;
    // Wide enough for the tick's two threads; 70 x 66 cells for the tiles'
    // ragged edges.
    for (long sx : {70L, 300L}) {
        GAME a, b;
        buildgame(a, sx, sx == 70 ? 66 : 256, 42, true);
        buildgame(b, sx, sx == 70 ? 66 : 256, 42, false);
        ASSERT_GT(a.world.oldmap->tagged.size(), 10u);
        ASSERT_GT(settledgroups(a.world), 0u); // the original skips what the restored one computes
        const std::string path = tmp.file(("t" + std::to_string(sx)).c_str());
        {
            auto s = mustopen(path);
            mustsave(*s, a);
        }
        auto s = mustopen(path);
        std::string error;
        ASSERT_EQ(restorecheckpoint(*s, b, error), 1) << error;
        expectsame(a, b);
        for (int t = 0; t < 12; t++) {
            if (t % 4 == 1) {
                addfire(a.world, 3, t, 2);
                addfire(b.world, 3, t, 2);
            }
            dophys(a.world, a.tick);
            dophys(b.world, b.tick);
            expectsame(a, b);
        }
    }
}

// Heat that moves nowhere: each fire adds exactly FIREHEAT, so any fire
// lost or counted twice by a checkpoint's copy shows in the sums.
TEST(StoreTake, CheckpointsTakenWhileTicksRunAndFiresArriveLoseNoFire)
{
    GAME g;
    uniformworld(g.world, 300, 256, plaincell(0, 0, 1));
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done.load())
            dophys(g.world, g.tick);
    });
    long fires = 0; // many millions on a fast machine
    std::thread firer([&] {
        for (; !done.load(); fires++)
            addfire(g.world, fires % 300, (fires * 7) % 256, 1);
    });
    CHECKPOINT c;
    long double last = 0;
    for (int k = 0; k < 30; k++) {
        takecheckpoint(g, c);
        long double sum = 0;
        for (long double h : c.heat)
            sum += h;
        EXPECT_EQ(std::fmod(sum, FIREHEAT), 0.0L);
        EXPECT_GE(sum, last);
        last = sum;
    }
    done.store(true);
    firer.join();
    ticker.join();
    takecheckpoint(g, c);
    long double heat = 0, attributed = 0;
    for (long double h : c.heat)
        heat += h;
    for (const ATTR &a : c.attr)
        attributed += load80(a.sourcequan[0]);
    EXPECT_EQ(heat, fires * FIREHEAT);
    EXPECT_EQ(attributed, fires * FIREHEAT);
    EXPECT_TRUE(g.world.firequeue.empty() && g.world.tickcomputing == 0);
}

TEST(StoreSave, WritesOnlyTheTilesAndPlayersThatChanged)
{
    TMPDIR tmp;
    GAME g;
    buildgame(g, 200, 130, 7, true); // 4 x 3 tiles
    auto s = mustopen(tmp.file("s"));
    SAVEREPORT r;
    mustsave(*s, g, &r);
    EXPECT_EQ(r.tiles, 12u);
    EXPECT_EQ(r.players, 4u);
    mustsave(*s, g, &r);
    EXPECT_EQ(r.tiles + r.players, 0u);
    addfire(g.world, 130, 70, 1); // tile (2, 1)
    PLAYERINFO moved{};
    moved.x = 9;
    chgplayerinfo(g.players, 0, moved);
    mustsave(*s, g, &r);
    EXPECT_EQ(r.tiles, 1u);
    EXPECT_EQ(r.players, 1u);
    // Reopened, the store still knows what it holds.
    s.reset();
    s = mustopen(tmp.file("s"));
    addfire(g.world, 10, 10, 1);
    mustsave(*s, g, &r);
    EXPECT_EQ(r.tiles, 1u);
}

TEST(StoreRefusal, AnotherMapIsRefusedAndTheFileKept)
{
    TMPDIR tmp;
    GAME g;
    buildgame(g, 70, 66, 5, false);
    const std::string path = tmp.file("s");
    mustsave(*mustopen(path), g);
    const std::string before = contents(path);
    const MAPID changed = mapidentityof("meadow.map", "meadoW", 6);
    EXPECT_NE(refusal(path, changed).find("another map (meadow.map, 6 bytes"), std::string::npos);
    auto s = mustopen(path, changed);
    CHECKPOINT c;
    takecheckpoint(g, c);
    SAVEREPORT r;
    std::string error;
    EXPECT_FALSE(savecheckpoint(*s, c, r, error));
    s.reset();
    EXPECT_EQ(contents(path), before);
}

TEST(StoreRefusal, CorruptFilesAreRefusedWithOneLineAndKept)
{
    TMPDIR tmp;
    const std::string text = tmp.file("text");
    std::ofstream(text) << "not a database at all, but long enough to be read as one......................";
    EXPECT_NE(refusal(text).find("not a database"), std::string::npos);

    GAME g;
    buildgame(g, 70, 66, 5, true);
    const std::string paged = tmp.file("paged"), tile = tmp.file("tile");
    mustsave(*mustopen(paged), g);
    mustsave(*mustopen(tile), g);
    {
        std::string bytes = contents(paged);
        std::memset(&bytes[4096], 0x5a, 4096); // the second page
        std::ofstream(paged, std::ios::binary) << bytes;
    }
    sqlite3 *db;
    ASSERT_EQ(sqlite3_open(tile.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE tiles SET data = x'0102' WHERE id = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    for (const std::string &path : {text, paged, tile}) {
        const std::string before = contents(path);
        const std::string line = refusal(path);
        EXPECT_NE(line, "(restored)") << path;
        EXPECT_EQ(contents(path), before) << line;
    }
    EXPECT_NE(refusal(tile).find("undecodable tile 1"), std::string::npos);
}

TEST(StoreRefusal, AFileHeldByAnotherProcessIsRefused)
{
    TMPDIR tmp;
    const std::string path = tmp.file("s");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        std::string error;
        auto s = openstore(path, MAP, error);
        ssize_t w = write(ready[1], s ? "1" : "0", 1);
        (void)w;
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    EXPECT_NE(refusal(path).find("in use by another process"), std::string::npos);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(mustopen(path));
}

TEST(StoreRefusal, AnUnwritablePathIsRefused)
{
    TMPDIR tmp;
    EXPECT_NE(refusal(tmp.file("missing/s")).find("cannot open"), std::string::npos);
    EXPECT_NE(refusal(tmp.dir.string()).find("cannot open"), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp.file("missing")));
}

TEST(StoreSchema, AnOlderVersionIsUpgradedANewerOrForeignOneRefused)
{
    TMPDIR tmp;
    const std::string old = tmp.file("v0"), newer = tmp.file("v3"), foreign = tmp.file("foreign");
    const char *sql[] = {"PRAGMA page_size = 1024; VACUUM", "PRAGMA application_id = 1263420492; PRAGMA user_version = 3",
                         "CREATE TABLE notes(a)"};
    const std::string paths[] = {old, newer, foreign};
    for (int i = 0; i < 3; i++) {
        sqlite3 *db;
        ASSERT_EQ(sqlite3_open(paths[i].c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, sql[i], nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    GAME g, h;
    buildgame(g, 70, 66, 5, true);
    buildgame(h, 70, 66, 5, false);
    mustsave(*mustopen(old), g);
    std::string error;
    EXPECT_EQ(restorecheckpoint(*mustopen(old), h, error), 1) << error;
    EXPECT_NE(refusal(newer).find("newer kindler (schema version 3"), std::string::npos);
    EXPECT_NE(refusal(foreign).find("not a kindler store"), std::string::npos);
}

// The child's save stops half way: it tells the parent, which kills it.
void halfway(void *arg, size_t tiles)
{
    if (tiles == 50) {
        ssize_t w = write(*(int *)arg, "x", 1);
        (void)w;
        pause();
    }
}

TEST(StoreCrash, ASaveKilledHalfWayLeavesTheLastCheckpointWhole)
{
    TMPDIR tmp;
    const std::string path = tmp.file("s");
    // 10 x 7 tiles: the first 50 are more than SQLite's page cache holds,
    // so the torn transaction is in the log on disk when the kill comes.
    GAME a, b;
    buildgame(a, 600, 400, 9, true);
    buildgame(b, 600, 400, 9, false);
    mustsave(*mustopen(path), a);
    CHECKPOINT next; // made before the fork: the child starts no thread
    {
        GAME later;
        buildgame(later, 600, 400, 9, true);
        for (PACKED80 &h : later.world.oldmap->heat)
            store80(h, load80(h) + 1); // every tile differs
        takecheckpoint(later, next);
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        std::string error;
        auto s = openstore(path, MAP, error);
        SAVEREPORT r;
        if (s) {
            s->tilewritten = halfway;
            s->tilewrittenarg = &ready[1];
            savecheckpoint(*s, next, r, error);
        }
        _exit(1);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status;
    waitpid(child, &status, 0);
    close(ready[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GT(fs::file_size(path + "-wal"), 1u << 20);
    std::string error;
    ASSERT_EQ(restorecheckpoint(*mustopen(path), b, error), 1) << error;
    expectsame(a, b);
}


// ---------------------------------------------------------------------------

double roundclock() { return 500; }

TEST(StoreRounds, TheRoundUnderWayComesBackWithItsPhaseClocksAndWinners)
{
    TMPDIR tmp;
    GAME a, b;
    buildgame(a, 70, 66, 42, true);
    buildgame(b, 70, 66, 42, false);
    for (GAME *g : {&a, &b}) {
        g->rounds.length = 60;
        g->rounds.clock = roundclock;
        g->rounds.console = false;
    }
    startrounds(a, "");
    const std::vector<unsigned char> intermission = {2, 0x10, 0x27, 0, 0, 2, 1, 0xe8, 3, 0, 0, 1, 2, 0, 0, 0,
                                                     77, 0, 0, 0, 0, 2, 'c', 'y'};
    ASSERT_TRUE(loadroundstate(a.rounds, 9, 1700000000, intermission));
    mustsave(*mustopen(tmp.file("r")), a);
    std::string error;
    ASSERT_EQ(restorecheckpoint(*mustopen(tmp.file("r")), b, error), 1) << error;
    startrounds(b, "");
    SAVEDROUND x, y;
    saveroundstate(a.rounds, x.number, x.started, x.state);
    saveroundstate(b.rounds, y.number, y.started, y.state);
    EXPECT_TRUE(x.number == 9 && y.number == 9 && y.started == 1700000000);
    EXPECT_EQ(x.state, intermission);
    EXPECT_EQ(y.state, intermission);
    const ROUNDVIEW v = roundview(b.rounds);
    EXPECT_TRUE(v.phase == ROUNDINTERMISSION && v.left == 10 && v.why == WHYBURNTOUT);
    ASSERT_EQ(v.top.size(), 1u);
    EXPECT_TRUE(v.top[0].name == "cy" && v.top[0].score == 77 && v.top[0].num == 2);
}

TEST(StoreRounds, TheBoardOfAStoreIsTheBoardKeptInMemory)
{
    TMPDIR tmp;
    // Players with a key; one without one (kept apart) in each round.
    ROUNDRESULT one{1, "meadow", 100, 160, "limit", {{"ann", 7, false, 0, true}, {"bob", 3, true, 1, true}, {"dan", 1, false, 3}}};
    ROUNDRESULT two{2, "meadow", 170, 200, "burnt out",
                    {{"bob", 9, false, 1, true}, {"cy", 9, true, 2, true}, {"dan", 2, false, 3}, {"ann", 0, true, 0, true}}};
    BOARD memory;
    std::string error;
    {
        auto s = mustopen(tmp.file("b"));
        auto board = makestoreboard(*s, error);
        ASSERT_TRUE(board) << error;
        for (const ROUNDRESULT *r : {&one, &two}) {
            addresult(memory, *r);
            addresult(*board, *r);
        }
        ASSERT_TRUE(flushboard(*board, *s, error)) << error;
        EXPECT_TRUE(takeunsaved(*board).empty());
    }
    auto s = mustopen(tmp.file("b"));
    auto board = makestoreboard(*s, error);
    ASSERT_TRUE(board) << error;
    const LEADERBOARD got = readboard(*board, 10), want = readboard(memory, 10);
    EXPECT_TRUE(got.rounds == 2 && want.rounds == 2 && got.lastnumber == 2 && want.lastnumber == 2);
    ASSERT_EQ(got.totals.size(), 3u);
    ASSERT_EQ(want.totals.size(), 3u);
    for (size_t i = 0; i < 3; i++)
        EXPECT_TRUE(got.totals[i].name == want.totals[i].name && got.totals[i].score == want.totals[i].score &&
                    got.totals[i].rounds == want.totals[i].rounds && got.totals[i].deaths == want.totals[i].deaths)
            << i;
    EXPECT_EQ(got.totals[0].name, "bob"); // 12 in 2 rounds, one death
    EXPECT_EQ(got.totals[0].deaths, 1u);
    ASSERT_EQ(got.unkeyed.size(), 1u);
    EXPECT_TRUE(got.unkeyed[0].name == "dan" && got.unkeyed[0].score == 3 && got.unkeyed[0].rounds == 2);
    ASSERT_TRUE(got.haslast);
    EXPECT_TRUE(got.last.number == 2 && got.last.why == "burnt out" && got.last.started == 170 && got.last.ended == 200);
    ASSERT_EQ(got.last.players.size(), 4u);
    for (size_t i = 0; i < 4; i++)
        EXPECT_TRUE(got.last.players[i].name == two.players[i].name && got.last.players[i].score == two.players[i].score &&
                    got.last.players[i].died == two.players[i].died && got.last.players[i].num == two.players[i].num &&
                    got.last.players[i].keyed == two.players[i].keyed)
            << i;
}

// Without a fleet the store keeps who owns which name; with one, the
// results the fleet has not confirmed (and drops those it has).
TEST(StoreLobby, OwnedNamesAndTheFleetsOutboxSurviveAReopen)
{
    TMPDIR tmp;
    std::string error;
    const ROUNDRESULT one{1, "meadow", 100, 160, "limit", {{"ann", 7, false, 0, true}}};
    const ROUNDRESULT two{2, "meadow", 170, 200, "limit", {}};
    {
        auto s = mustopen(tmp.file("l"));
        LOBBY l;
        l.keepclaims = true;
        EXPECT_TRUE(mayplayname(l, "ann", hashkey("k1")));
        EXPECT_FALSE(mayplayname(l, "ann", hashkey("k2")));
        ASSERT_TRUE(flushlobby(l, *s, error)) << error;
        ASSERT_TRUE(s->saveround(one, error) && s->saveround(two, error)) << error;
        LOBBY f;
        f.fleet = f.stored = true;
        postresult(f, one);
        postresult(f, two);
        ASSERT_TRUE(flushlobby(f, *s, error)) << error;
        f.sent.push_back(one); // the fleet confirmed it
        ASSERT_TRUE(flushlobby(f, *s, error)) << error;
    }
    auto s = mustopen(tmp.file("l"));
    LOBBY l, f;
    f.fleet = true;
    ASSERT_TRUE(openlobby(l, *s, error) && openlobby(f, *s, error)) << error;
    EXPECT_FALSE(mayplayname(l, "ann", hashkey("k2")));
    EXPECT_TRUE(mayplayname(l, "ann", hashkey("k1")));
    ASSERT_EQ(f.outbox.size(), 1u);
    EXPECT_TRUE(f.outbox[0].number == 2 && f.outbox[0].started == 170);
}

} // namespace
