// The world: positions and the outside rule, cell access, the grid and
// its publication by the tick, and players' fires from many threads while
// the tick runs.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "engine/buildworld.h"
#include "engine/cells.h"
#include "game/loadmap.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/world.h"

// ---------------------------------------------------------------------------
// Positions: the column-major index and the outside rule.

using Positions = WorldTest;

TEST_F(Positions, EmptyWorldHasNoCellsAndEverythingIsOutside)
{
    resetall();
    EXPECT_EQ(0, testgame.world.mapsizex);
    EXPECT_EQ(0, testgame.world.mapsizey);
    EXPECT_FALSE(onmap(testgame.world, 0, 0));
    EXPECT_EQ(-1, cellindex(testgame.world, 0, 0));
    EXPECT_EQ(0.0L, testgame.world.outside.totalcal);
}

TEST_F(Positions, RowBeyondTheHeightIsOutsideNotTheNextColumn)
{
    // testgame.world.mapsizey 4: (0, 4) would have index 4, the cell (1, 0).
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"222", "222", "222", "222"}));
    ASSERT_EQ(3, testgame.world.mapsizex);
    ASSERT_EQ(4, testgame.world.mapsizey);
    EXPECT_FALSE(onmap(testgame.world, 0, 4));
    EXPECT_EQ(-1, cellindex(testgame.world, 0, 4));
    EXPECT_EQ(4, cellindex(testgame.world, 1, 0));
    EXPECT_EQ(2 * 4 + 3, cellindex(testgame.world, 2, 3));
    EXPECT_EQ(1 * 4 + 2, cellindex(testgame.world, 1, 2));
}

TEST_F(Positions, EachCoordinateIsTestedAgainstItsOwnSize)
{
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"2222", "2222"})); // 4 wide, 2 high
    EXPECT_TRUE(onmap(testgame.world, 3, 1));
    EXPECT_TRUE(onmap(testgame.world, 0, 0));
    EXPECT_FALSE(onmap(testgame.world, 4, 0)); // (testgame.world.mapsizex, 0)
    EXPECT_FALSE(onmap(testgame.world, 0, 2));
    EXPECT_FALSE(onmap(testgame.world, 1, 3));
    EXPECT_FALSE(onmap(testgame.world, -1, 2));
    EXPECT_FALSE(onmap(testgame.world, 0, -1));
    EXPECT_FALSE(onmap(testgame.world, -1, -1));
    EXPECT_FALSE(onmap(testgame.world, 1000000, 1));
    EXPECT_EQ(-1, cellindex(testgame.world, 4, 0));
    EXPECT_EQ(-1, cellindex(testgame.world, -1, 2));
    EXPECT_EQ(-1, cellindex(testgame.world, 0, -1));
}

TEST_F(Positions, AllNeighboursOfTheOnlyCellAreOutside)
{
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"2"}));
    EXPECT_EQ(0, cellindex(testgame.world, 0, 0));
    for (int dx = -1; dx <= 1; dx++)
        for (int dy = -1; dy <= 1; dy++) {
            if (dx || dy) {
                EXPECT_EQ(-1, cellindex(testgame.world, dx, dy)) << dx << "," << dy;
            }
        }
}

// ---------------------------------------------------------------------------
// The grid: its two buffers, what a tick may change, its storage.

using Grid = WorldTest;

TEST_F(Grid, AfterATickClientsSeeTheNewStateInOldmap)
{
    loadmaptext(maptext(typeline(0, "100", "0.5", "1") + typeline(1, "100", "0.5", "1"),
                        {"111", "111"}));
    addfire(testgame.world, 0, 0, 1);
    auto *published = testgame.world.oldmap;
    auto *work = testgame.world.curmap;
    ORACLEWORLD w = oracle_snapshot();
    oracle_tick(w);
    dophys(testgame.world, testgame.tick);
    EXPECT_EQ(work, testgame.world.oldmap);
    EXPECT_EQ(published, testgame.world.curmap);
    // Another thread, reading under testgame.world.oldmap_lock as a client does.
    bool same = false;
    std::string diff;
    std::thread client([&] { same = oracle_same(w, &diff); });
    client.join();
    EXPECT_TRUE(same) << diff;
    EXPECT_LT(getcell(testgame.world, 0, 0).totalcal, 200.0L);
}

TEST_F(Grid, StaticPropertiesNeverChange)
{
    loadmaptext(maptext(typeline(0, "250", "0.1", "1") +
                            typeline(1, "400", "0.3", "2", "350", "3", "2", "90") +
                            typeline(2, "20", "0.05", "3"),
                        {"121", "212"}));
    ORACLEWORLD before = oracle_snapshot();
    for (int t = 0; t < 30; t++)
        dophys(testgame.world, testgame.tick);
    ORACLEWORLD after = oracle_snapshot();
    for (size_t i = 0; i < before.oldmap.size(); i++) {
        const ORACELL &a = before.oldmap[i], &b = after.oldmap[i];
        EXPECT_TRUE(samebits(a.cocon, b.cocon) && samebits(a.calperc, b.calperc) &&
                    a.ignitionpoint == b.ignitionpoint && samebits(a.calperf, b.calperf) &&
                    samebits(a.burnspeed, b.burnspeed) && a.block == b.block)
            << "cell " << i;
    }
}

TEST_F(Grid, TwoRunsOfOneMapGiveIdenticalGrids)
{
    const std::string text = maptext(typeline(0, "250", "0.1", "1") +
                                         typeline(1, "400", "0.3", "2", "350", "3", "2", "90") +
                                         typeline(2, "20", "0.05", "3"),
                                     {"121", "212", "111"});
    loadmaptext(text);
    addfire(testgame.world, 1, 1, 2);
    for (int t = 0; t < 40; t++)
        dophys(testgame.world, testgame.tick);
    ORACLEWORLD first = oracle_snapshot();
    loadmaptext(text);
    addfire(testgame.world, 1, 1, 2);
    for (int t = 0; t < 40; t++)
        dophys(testgame.world, testgame.tick);
    std::string diff;
    EXPECT_TRUE(oracle_same(first, &diff)) << diff;
}

TEST_F(Grid, EmptyWorldTickDoesNothing)
{
    resetall();
    dophys(testgame.world, testgame.tick);
    EXPECT_EQ(0, testgame.world.mapsizex);
    addfire(testgame.world, 0, 0, 1); // off the (absent) map
    dophys(testgame.world, testgame.tick);
}

TEST_F(Grid, NoTagsMeansNoAttributionEntriesAndFortyBytesPerCell)
{
    WORLD c;
    TICKSTATE ct;
    uniformworld(c, 64, 64, plaincell(300, 0.5L, 1));
    dophys(c, ct);
    EXPECT_EQ(0u, c.grids[0].pool.size() + c.grids[1].pool.size());
    EXPECT_LE(worldbytespercell(c), 40.5);
}

// Heat, fuel and quantities are kept in ten bytes: whatever a hostile map
// puts there comes back with every bit, through the world and a tick.
TEST_F(Grid, PackedRealsKeepEveryBit)
{
    const struct {
        uint64_t significand;
        uint16_t signexp;
    } odd[] = {
        {0x8000000000000000u, 0x8000 | 0x3fff}, // -1
        {0, 0x8000},                            // -0
        {1, 0},                                 // the smallest denormal
        {0x8000000000000001u, 0},               // a pseudo-denormal
        {0x4000000000000000u, 0x4000},          // an unnormal
        {0xa000000000000123u, 0x7fff},          // a signalling NaN with a payload
        {0x8000000000000000u, 0xffff},          // -infinity
        {0xffffffffffffffffu, 0x7ffe},          // the largest finite
    };
    for (const auto &o : odd) {
        long double v = 0;
        std::memcpy(&v, &o.significand, 8);
        std::memcpy((char *)&v + 8, &o.signexp, 2);
        const PACKED80 p = packed80(v);
        EXPECT_EQ(significand(p), o.significand);
        EXPECT_EQ(signexp(p), o.signexp);
        const long double back = load80(p);
        EXPECT_TRUE(samebits(back, v)) << std::hex << o.significand << " " << o.signexp;
    }
    // Through a cell of the world: a zero conduction keeps it in place.
    WORLD c;
    TICKSTATE ct;
    uniformworld(c, 3, 3, plaincell(300, 0, 1));
    MAPUNIT m = pubcell(c, 4);
    std::memcpy(&m.totalcal, &odd[5].significand, 8);
    std::memcpy((char *)&m.totalcal + 8, &odd[5].signexp, 2);
    m.heatsource[0] = 1;
    m.sourcequan[0] = m.totalcal;
    setpubcell(c, 4, m);
    dophys(c, ct);
    const MAPUNIT after = pubcell(c, 4);
    EXPECT_TRUE(samebits(after.totalcal, m.totalcal));
    EXPECT_TRUE(samebits(after.sourcequan[0], m.sourcequan[0]));
}

// ---------------------------------------------------------------------------
// Publication: the generation that readers of the published state compare.

using Publish = WorldTest;

static uint64_t generation()
{
    uint64_t g = 0;
    readpublished(testgame.world, [&](const WORLD &p) { g = pubgeneration(p); });
    return g;
}

TEST_F(Publish, ATickThatMovesNothingKeepsThePublishedGeneration)
{
    loadmaptext(maptext(RESTTYPES, std::vector<std::string>(20, std::string(30, '2'))));
    dophys(testgame.world, testgame.tick);
    uint64_t g = generation();
    for (int t = 0; t < 3; t++) {
        dophys(testgame.world, testgame.tick);
        EXPECT_EQ(generation(), g) << "tick " << t;
    }
    addfire(testgame.world, 12, 7, 3);
    EXPECT_NE(generation(), g);
    g = generation();
    dophys(testgame.world, testgame.tick); // the fire's heat spreads
    EXPECT_NE(generation(), g);
    g = generation();
    forgetsettled();
    dophys(testgame.world, testgame.tick); // nothing is known to have settled
    EXPECT_NE(generation(), g);
}

TEST_F(Publish, AKeptGenerationAlwaysMeansAnUnchangedState)
{
    // Wide maps at rest with rare fires: some ticks move nothing, most do.
    std::mt19937_64 rng(15);
    int kept = 0, ticks = 0;
    for (int round = 0; round < 4; round++) {
        long sx = 20 + (long)(rng() % 40), sy = 1 + (long)(rng() % 12);
        std::vector<std::string> rows((size_t)sy);
        for (auto &row : rows)
            for (long x = 0; x < sx; x++)
                row += (char)('0' + rng() % 4);
        loadmaptext(maptext(RESTTYPES, rows));
        for (int tick = 0; tick < 200; tick++, ticks++) {
            if (rng() % 60 == 0)
                addfire(testgame.world, (long)(rng() % (unsigned long)sx), (long)(rng() % (unsigned long)sy), 1 + (int)(rng() % 5));
            ORACLEWORLD before = oracle_snapshot();
            uint64_t g = generation();
            dophys(testgame.world, testgame.tick);
            if (generation() != g)
                continue;
            kept++;
            std::string diff;
            ASSERT_TRUE(oracle_same(before, &diff)) << "round " << round << ", tick " << tick << ": " << diff;
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, ticks);
}

// ---------------------------------------------------------------------------
// Concurrency: players' fires from many threads while the tick runs without
// pause. Run it under ThreadSanitizer as well.

namespace {

const long SIZEX = 60, SIZEY = 40;
const int FIRETHREADS = 4;
const int FIRESPERTHREAD = 300;
const int MIDTICKFIRES = 100;

std::atomic<long> firesstarted{0}; // raised before addfire
std::atomic<long> firesdone{0};    // raised after addfire returns

// Where and whose the n-th fire of a thread is (a fixed, scattered walk).
struct SHOT {
    long x, y;
    int tag;
};
SHOT shotof(int thread, int n)
{
    uint32_t h = (uint32_t)(thread * 7919 + n * 104729 + 17);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return {(long)(h % SIZEX), (long)((h / SIZEX) % SIZEY), 2 * thread + 1 + (n % 2)};
}

// Sum of totalcal over a copy of the published grid.
long double heatof(const ORACLEWORLD &w)
{
    long double s = 0;
    for (const ORACELL &c : w.oldmap)
        s += c.totalcal;
    return s;
}

std::string worldtext()
{
    std::string row(SIZEX, '1');
    std::vector<std::string> rows(SIZEY, row);
    return maptext("<type name=out num=0>\n temp=50 cocon=0 calperc=1 ignitionpoint=0 fuellevel=0 "
                   "burnspeed=0 calperf=0\n</type>\n"
                   "<type name=plate num=1>\n temp=300 cocon=0 calperc=2 ignitionpoint=0 fuellevel=0 "
                   "burnspeed=1 calperf=100\n</type>\n",
                   rows);
}

} // namespace

TEST(Concurrency, EveryFireFoundWhileTheTickRuns)
{
    loadmaptext(worldtext());
    ASSERT_EQ(SIZEX, testgame.world.mapsizex);
    ASSERT_EQ(SIZEY, testgame.world.mapsizey);
    firesstarted = 0;
    firesdone = 0;
    const long double heat0 = heatof(oracle_snapshot());

    std::atomic<bool> firing{true};
    std::atomic<long> ticks{0};
    std::thread ticker([&] {
        while (firing.load()) {
            dophys(testgame.world, testgame.tick);
            ticks++;
        }
        dophys(testgame.world, testgame.tick);
        dophys(testgame.world, testgame.tick);
    });

    std::vector<std::thread> shooters;
    for (int t = 0; t < FIRETHREADS; t++) {
        shooters.emplace_back([t, &ticks] {
            long seen = 0;
            for (int n = 0; n < FIRESPERTHREAD; n++) {
                // Every few fires, let a tick pass, so that fires spread
                // over many ticks: between them and during them.
                if (n % 10 == 0) {
                    while (ticks.load() <= seen)
                        std::this_thread::yield();
                    seen = ticks.load();
                }
                SHOT s = shotof(t, n);
                firesstarted++;
                addfire(testgame.world, s.x, s.y, s.tag);
                firesdone++;
                // Off the map: nothing happens.
                addfire(testgame.world, -1 - n % 3, s.y, s.tag);
                addfire(testgame.world, s.x, SIZEY + n % 2, s.tag);
            }
        });
    }
    // One thread aims its fires at ticks that are computing.
    std::atomic<long> midtick{0};
    shooters.emplace_back([&] {
        const int t = FIRETHREADS;
        long seen = 0;
        for (int n = 0; n < MIDTICKFIRES; n++) {
            while (ticks.load() <= seen)
                std::this_thread::yield();
            seen = ticks.load();
            for (int spin = 0; spin < 100000; spin++) {
                pthread_mutex_lock(&testgame.world.oldmap_lock);
                int computing = testgame.world.tickcomputing;
                pthread_mutex_unlock(&testgame.world.oldmap_lock);
                if (computing) {
                    midtick++;
                    break;
                }
            }
            SHOT s = shotof(t, n);
            firesstarted++;
            addfire(testgame.world, s.x, s.y, s.tag);
            firesdone++;
        }
    });

    // A reader, as a client's map transfer: a copy of the published grid,
    // taken under testgame.world.oldmap_lock, always holds every fire that had returned
    // before the copy and no fire that had not started after it, in whole
    // fires.
    std::atomic<bool> reading{true};
    long badreads = 0, reads = 0;
    std::thread reader([&] {
        while (reading.load()) {
            long done = firesdone.load();
            long double heat = heatof(oracle_snapshot());
            long started = firesstarted.load();
            long double fires = (heat - heat0) / 100;
            if (fires < (long double)done || fires > (long double)started || fires != (long)fires)
                badreads++;
            reads++;
        }
    });

    for (std::thread &s : shooters)
        s.join();
    firing = false;
    ticker.join();
    reading = false;
    reader.join();

    const long total = (long)FIRETHREADS * FIRESPERTHREAD + MIDTICKFIRES;
    EXPECT_EQ(0, badreads) << "of " << reads << " reads";
    EXPECT_GE(ticks.load(), FIRESPERTHREAD / 10);
    RecordProperty("ticks", (int)ticks.load());
    RecordProperty("midtickfires", (int)midtick.load());
    std::printf("%ld ticks, %ld reads, %ld of %d aimed fires saw a computing tick\n", ticks.load(),
                reads, midtick.load(), MIDTICKFIRES);

    // Expected heat and attribution, cell by cell and tag by tag.
    std::map<size_t, long> firesat;
    std::map<std::pair<size_t, int>, long> tagfiresat;
    std::map<int, long> tagfires;
    for (int t = 0; t <= FIRETHREADS; t++) {
        int n = t < FIRETHREADS ? FIRESPERTHREAD : MIDTICKFIRES;
        for (int i = 0; i < n; i++) {
            SHOT s = shotof(t, i);
            size_t index = (size_t)s.x * SIZEY + (size_t)s.y;
            firesat[index]++;
            tagfiresat[{index, s.tag}]++;
            tagfires[s.tag]++;
        }
    }

    const ORACLEWORLD last = oracle_snapshot();
    EXPECT_EQ(heat0 + 100.0L * total, heatof(last));
    std::map<int, long double> tagheat;
    for (size_t i = 0; i < last.oldmap.size(); i++) {
        const ORACELL &c = last.oldmap[i];
        EXPECT_EQ(600.0L + 100.0L * firesat[i], c.totalcal) << "cell " << i;
        for (int s = 0; s < ORACLESLOTS; s++) {
            if (c.heatsource[s] == 0)
                continue;
            tagheat[c.heatsource[s]] += c.sourcequan[s];
            const long n = tagfiresat[{i, c.heatsource[s]}];
            EXPECT_EQ(100.0L * n, c.sourcequan[s])
                << "cell " << i << " tag " << c.heatsource[s];
        }
    }
    pthread_mutex_lock(&testgame.world.oldmap_lock);
    EXPECT_EQ(testgame.world.tickcomputing, 0);
    pthread_mutex_unlock(&testgame.world.oldmap_lock);
    EXPECT_EQ(tagfires.size(), tagheat.size());
    for (const auto &[tag, n] : tagfires)
        EXPECT_EQ(100.0L * n, tagheat[tag]) << "tag " << tag;
    EXPECT_EQ(0, testgame.world.outside.heatsource[0]);
    EXPECT_EQ(50.0L, testgame.world.outside.totalcal);
    resetall();
}

namespace {

// A burning field of its own for each world: grass around a few hot cells,
// under warm surroundings, different per seed.
void buildburning(WORLD &w, unsigned seed)
{
    std::vector<std::string> rows(30, std::string(40, '2'));
    for (unsigned k = 0; k < 6; k++)
        rows[(seed * 7 + k * 5) % 30][(seed * 11 + k * 13) % 40] = '3';
    MAPFILE f = readmaptext(maptext("<type name=out num=0> temp=40 cocon=0.3 calperc=1 </type>\n"
                                    "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 "
                                    "fuellevel=3 burnspeed=3 calperf=400 </type>\n"
                                    "<type name=ember num=3> temp=400 cocon=0.4 calperc=2 ignitionpoint=60 "
                                    "fuellevel=3 burnspeed=3 calperf=400 </type>\n",
                                    rows));
    makemap(f, w, nullptr);
}

} // namespace

TEST(Concurrency, TwoWorldsTickAtOnceEachAsIfAlone)
{
    // Each world keeps its own locks, scratch and helper thread: ticked from
    // two threads at once, each ends exactly where the reference tick, run
    // alone, takes it.
    WORLD worlds[2];
    TICKSTATE state[2];
    ORACLEWORLD expected[2];
    for (unsigned i = 0; i < 2; i++) {
        buildburning(worlds[i], i + 1);
        state[i].threads = 2; // each world wakes its own helper thread every tick
        expected[i] = oracle_snapshot(worlds[i]);
    }
    const int ticks = 40;
    auto fireat = [](int tick, unsigned i) { return SHOT{(long)(tick * 3 + i) % 40, (long)(tick + 5 * i) % 30, (int)i + 1}; };
    std::vector<std::thread> tickers;
    for (unsigned i = 0; i < 2; i++)
        tickers.emplace_back([&, i] {
            for (int t = 0; t < ticks; t++) {
                SHOT s = fireat(t, i);
                addfire(worlds[i], s.x, s.y, s.tag);
                dophys(worlds[i], state[i]);
            }
        });
    for (auto &t : tickers)
        t.join();
    for (unsigned i = 0; i < 2; i++) {
        for (int t = 0; t < ticks; t++) {
            SHOT s = fireat(t, i);
            oracle_fire(expected[i], s.x, s.y, s.tag);
            oracle_tick(expected[i]);
        }
        std::string diff;
        EXPECT_TRUE(oracle_same(expected[i], &diff, worlds[i])) << "world " << i << ": " << diff;
        EXPECT_GT(worlds[i].oldmap->tagged.size(), 0u) << "world " << i << " spread no attribution";
    }
}
