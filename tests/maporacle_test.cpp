// The server's tick against the plain reference tick (tests/oracle), byte
// for byte after every tick, on the server's world loaded from maps: random
// maps, the shipped meadow, one-row and one-column maps, crowds of players
// that overflow the 15 slots, arbitrary states, and the odd states where the
// rules leave the choice open: non-finite slot quantities, temperatures an
// int cannot hold, heat capacity 0.

#include <gtest/gtest.h>
#include <pthread.h>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "bridge.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "sidebyside.h"
#include "support.h"
#include "engine/tick/attribution.h"
#include "engine/tick/lanes/lanes.h"
#include "engine/world.h"

// ---- The server's world, loaded from maps -----------------------------------------

namespace {

const std::string warmtypes = "<type name=outside num=0> temp=30 cocon=0.3 calperc=1 </type>\n"
                              "<type name=rock num=1> temp=20 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
                              "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 fuellevel=3 "
                              "burnspeed=3 calperf=400 </type>\n"
                              "<type name=wood num=3> temp=25 cocon=1.3 calperc=5 ignitionpoint=70 fuellevel=9 "
                              "burnspeed=1 calperf=900 </type>\n";

// Six random maps of up to maxside x maxside cells of `types`, with some
// attribution put in through the published grid, each run for 300 ticks
// of `runtick` with a fire in one tick out of `fireevery`.
template <class TICK>
void servermatches(TICK runtick, unsigned long long corpus, const std::string &types = warmtypes, long maxside = 14,
                   int fireevery = 3)
{
    std::mt19937_64 rng(corpus);
    for (int round = 0; round < 6; round++) {
        long sx = 1 + (long)(rng() % (unsigned long)maxside), sy = 1 + (long)(rng() % (unsigned long)maxside);
        std::vector<std::string> rows((size_t)sy);
        for (auto &row : rows)
            for (long x = 0; x < sx; x++)
                row += (char)('0' + rng() % 4);
        loadmaptext(maptext(types, rows));
        for (int k = 0; k < 5; k++) {
            long x = (long)(rng() % (unsigned long)sx), y = (long)(rng() % (unsigned long)sy);
            MAPUNIT c = getcell(testgame.world, x, y);
            c.heatsource[0] = 1 + k;
            c.sourcequan[0] = 40;
            if (fireevery <= 3)
                c.totalcal += 200; // a map at rest gets its tags without heat
            putcell(testgame.world, x, y, c);
        }
        std::vector<FIRE> fires;
        for (int tick = 0; tick < 300; tick++) {
            if (rng() % (unsigned)fireevery == 0) {
                long x = (long)(rng() % (unsigned long)sx), y = (long)(rng() % (unsigned long)sy);
                fires.push_back({tick, x, y, 1 + (int)(rng() % 20)});
            }
        }
        ORACLEWORLD w = oracle_snapshot();
        if (!runboth(testgame.world, w, 300, fires, runtick, "a " + std::to_string(sx) + " x " + std::to_string(sy) + " map"))
            return;
    }
}

// Materials shared by the maps below; type 0 (the surroundings) varies.
const std::string materials =
    typeline(1, "290", "0.05", "3") +                          // rock
    typeline(2, "290", "0.2", "2", "330", "30", "3", "400") +  // grass
    typeline(3, "290", "0.1", "4", "360", "50", "1", "900") +  // wood
    typeline(4, "280", "0.6", "10") +                          // water
    typeline(5, "700", "0.3", "1", "300", "5", "2", "300") +   // embers, burning from the start
    typeline(6, "295", "0.35", "1.5", "320", "8", "0.5", "650"); // brush

const std::string hotoutside = typeline(0, "600", "0.15", "1");
const std::string coldoutside = typeline(0, "10", "0.25", "2");

const std::vector<std::string> field = {
    "111122223333", //
    "122225622331", //
    "126662223331", //
    "122244422231", //
    "133345442221", //
    "133344422261", //
    "136333222221", //
    "122223336651", //
    "111111111111",
};

const std::vector<FIRE> fires = {
    {0, 3, 3, 1},  {2, 3, 3, 1},  {5, 8, 1, 2},  {5, 8, 1, 3},  {9, 0, 0, 4},
    {12, 11, 8, 5}, {20, 6, 4, 2}, {21, 6, 4, 6}, {33, 2, 7, 1}, {40, 12, 3, 7}, // off the map
    {40, -1, 0, 7}, {55, 9, 7, 8}, {70, 5, 5, 3}, {71, 5, 5, 3}, {72, 5, 6, 9},
    {90, 10, 2, 4}, {120, 1, 1, 2}, {150, 7, 7, 5}, {151, 7, 7, 1}, {175, 4, 2, 10},
};

// Sum of fuel over the published grid.
long double totalfuel()
{
    long double s = 0;
    for (const ORACELL &c : oracle_snapshot().oldmap)
        s += c.fuellevel;
    return s;
}

// Loads a 5 x 5 map of rock under cold surroundings, lets `change` put the
// published grid (and, when it wants, the outside cell on both sides) into
// an odd state, runs one tick on the server and on the oracle, and returns
// the oracle's world after the tick.
template <typename CHANGE>
ORACLEWORLD oddstate(CHANGE change)
{
    loadmaptext(maptext(coldoutside + materials, std::vector<std::string>(5, "11111")));
    ORACLEWORLD w = oracle_snapshot();
    change(w);
    oracle_install(w);
    runboth(testgame.world, w, 1, {}, servertick, "an odd state");
    return w;
}

// A cell with fuel that burns whenever its whole kelvins reach `ignition`.
void fuelled(ORACELL &c, int ignition)
{
    c.ignitionpoint = ignition;
    c.fuellevel = 5;
    c.burnspeed = 1;
    c.calperf = 1;
}

} // namespace

using ServerTick = WorldTest;
using Bridge = WorldTest;

TEST_F(ServerTick, DophysMatchesThePlainTickOnLoadedMapsWithFires) { servermatches(servertick, 11); }

TEST_F(ServerTick, DophysMatchesThePlainTickOnMapsAtRestWithRareFires) { servermatches(servertick, 13, RESTTYPES, 40, 40); }

TEST_F(ServerTick, DophysMatchesThePlainTickWhenWhatSettledIsForgottenNowAndThen)
{
    static int turn = 0;
    servermatches(
        [] {
            if (turn++ % 5 < 2)
                forgetsettled();
            dophys(testgame.world, testgame.tick);
        },
        14, RESTTYPES, 40, 25);
}

TEST_F(ServerTick, AFireQueuedWhileTheTickComputesStirsASettledMap)
{
    loadmaptext(maptext(RESTTYPES, std::vector<std::string>(20, std::string(30, '2'))));
    ORACLEWORLD w = oracle_snapshot();
    for (int t = 0; t < 3; t++) {
        dophys(testgame.world, testgame.tick);
        oracle_tick(w);
    }
    // As while a tick computes: the fire is queued and lands at the swap.
    pthread_mutex_lock(&testgame.world.curmap_lock);
    pthread_mutex_lock(&testgame.world.oldmap_lock);
    testgame.world.tickcomputing = 1;
    pthread_mutex_unlock(&testgame.world.oldmap_lock);
    addfire(testgame.world, 12, 7, 3);
    testgame.tick.burns.clear(); // a tick that burnt nothing
    swapgrids(testgame.world, testgame.tick);
    pthread_mutex_unlock(&testgame.world.curmap_lock);
    oracle_fire(w, 12, 7, 3);
    std::string diff;
    ASSERT_TRUE(oracle_same(w, &diff)) << diff;
    for (int t = 0; t < 30; t++) {
        dophys(testgame.world, testgame.tick);
        oracle_tick(w);
        ASSERT_TRUE(oracle_same(w, &diff)) << "tick " << t + 1 << ": " << diff;
    }
}

TEST_F(Bridge, ComparisonSeesTheLastBit)
{
    // A world that differs from the oracle in one bit of one field is told
    // apart, and the difference is named.
    loadmaptext(maptext(coldoutside + materials, field));
    addfire(testgame.world, 2, 2, 3);
    ORACLEWORLD w = oracle_snapshot();
    std::string diff;
    ASSERT_TRUE(oracle_same(w, &diff)) << diff;

    // Each change goes into the server's published grid through the bridge.
    auto differs = [&](auto change, const char *expected) {
        ORACLEWORLD changed = w;
        change(changed);
        oracle_install(changed);
        std::string d;
        EXPECT_FALSE(oracle_same(w, &d)) << expected;
        EXPECT_NE(std::string::npos, d.find(expected)) << d;
        oracle_install(w);
    };
    differs([](ORACLEWORLD &c) { oracle_cell(c, 0, 5).totalcal = std::nextafter(oracle_cell(c, 0, 5).totalcal, 1e9L); },
            "cell (0, 5) totalcal");
    differs([](ORACLEWORLD &c) { oracle_cell(c, 2, 2).sourcequan[0] = std::nextafter(oracle_cell(c, 2, 2).sourcequan[0], 0.0L); },
            "cell (2, 2) sourcequan[0]");
    differs([](ORACLEWORLD &c) { oracle_cell(c, 2, 2).heatsource[1] = 9; }, "cell (2, 2) heatsource[1]");
    // Rock holds no fuel: 0 and -0 compare equal as numbers, not as bytes.
    differs([](ORACLEWORLD &c) { oracle_cell(c, 0, 7).fuellevel = -oracle_cell(c, 0, 7).fuellevel; },
            "cell (0, 7) fuellevel");
    ASSERT_TRUE(oracle_same(w, &diff)) << diff;

    long double keep = testgame.world.outside.totalcal;
    testgame.world.outside.totalcal = keep + 1;
    EXPECT_FALSE(oracle_same(w, &diff));
    testgame.world.outside.totalcal = keep;

    EXPECT_TRUE(oracle_same(w, &diff)) << diff;
}

TEST_F(ServerTick, BurningMapWithFiresColdSurroundings)
{
    loadmaptext(maptext(coldoutside + materials, field));
    long double fuel = totalfuel();
    runserver(200, fires);
    // The run did burn, and heat did leave for the cold surroundings.
    EXPECT_LT(totalfuel(), fuel);
}

TEST_F(ServerTick, BurningMapWithFiresHotSurroundings)
{
    loadmaptext(maptext(hotoutside + materials, field));
    long double fuel = totalfuel();
    runserver(200, fires);
    EXPECT_LT(totalfuel(), fuel);
}

TEST_F(ServerTick, ShippedMeadowMap)
{
    loadmaptext(readfile(mapspath("meadow.map")));
    std::vector<FIRE> f;
    for (int t = 0; t < 60; t += 3)
        f.push_back({t, 1 + (t / 3) % 2, 1, 1 + (t / 3) % 2});
    runserver(160, f);
}

TEST_F(ServerTick, OneRowAndOneColumnMaps)
{
    const std::vector<FIRE> rowfires = {{0, 4, 0, 1}, {3, 0, 0, 2}, {10, 11, 0, 3}, {11, 4, 0, 1},
                                        {40, 6, 0, 2}, {41, 0, 1, 9} /* off the map */};
    for (const std::string &out : {coldoutside, hotoutside}) {
        SCOPED_TRACE(out == coldoutside ? "cold surroundings" : "hot surroundings");
        loadmaptext(maptext(out + materials, {"125662233451"})); // 12 x 1
        ASSERT_EQ(12, testgame.world.mapsizex);
        ASSERT_EQ(1, testgame.world.mapsizey);
        runserver(160, rowfires);

        std::vector<std::string> column;
        for (char c : std::string("126653321"))
            column.push_back(std::string(1, c));
        loadmaptext(maptext(out + materials, column)); // 1 x 9
        ASSERT_EQ(1, testgame.world.mapsizex);
        ASSERT_EQ(9, testgame.world.mapsizey);
        const std::vector<FIRE> colfires = {{0, 0, 4, 1}, {3, 0, 0, 2}, {10, 0, 8, 3},
                                            {11, 0, 4, 1}, {40, 0, 6, 2}, {41, 1, 0, 9}};
        runserver(160, colfires);
    }
    loadmaptext(maptext(hotoutside + materials, {"5"})); // 1 x 1, burning
    runserver(150, {{0, 0, 0, 1}, {30, 0, 0, 2}});
}

TEST_F(ServerTick, CrowdOfPlayersOverflowsTheSlots)
{
    // 24 players set fires around the middle of the map, so cells there
    // hear of more than 15 tags and must give slots up.
    loadmaptext(maptext(coldoutside + materials, field));
    std::vector<FIRE> crowd;
    for (int p = 0; p < 24; p++) {
        crowd.push_back({p * 3, 4 + p % 4, 3 + (p / 4) % 3, p + 1});
        crowd.push_back({p * 3 + 80, 4 + (p + 1) % 4, 3 + (p / 4) % 3, p + 1});
    }
    runserver(200, crowd);

    // The overflow did happen: some cell holds 15 tags, and more than 15
    // distinct tags were set on cells that now hold a full set.
    ORACLEWORLD w = oracle_snapshot();
    int full = 0;
    std::set<int> seen;
    for (const ORACELL &c : w.oldmap) {
        if (c.heatsource[14] != 0)
            full++;
        for (int i = 0; i < ORACLESLOTS; i++)
            if (c.heatsource[i] != 0)
                seen.insert(c.heatsource[i]);
    }
    EXPECT_GT(full, 0);
    EXPECT_GT(seen.size(), 15u);
}

TEST_F(ServerTick, EvictionHappensAndStaysInStep)
{
    // Watch the slots tick by tick: a tag replaced by another in the same
    // slot is an eviction, and it must occur in this run.
    loadmaptext(maptext(coldoutside + materials, field));
    ORACLEWORLD w = oracle_snapshot();
    std::string diff;
    int evictions = 0;
    for (int t = 0; t < 150; t++) {
        if (t < 40) {
            int tag = 1 + t % 20;
            addfire(testgame.world, 5, 4, tag);
            oracle_fire(w, 5, 4, tag);
            addfire(testgame.world, 6 + t % 2, 4, tag + 20);
            oracle_fire(w, 6 + t % 2, 4, tag + 20);
        }
        std::vector<ORACELL> before = w.oldmap;
        dophys(testgame.world, testgame.tick);
        oracle_tick(w);
        ASSERT_TRUE(oracle_same(w, &diff)) << "after tick " << t << ": " << diff;
        for (size_t i = 0; i < before.size(); i++)
            for (int s = 0; s < ORACLESLOTS; s++)
                if (before[i].heatsource[s] != 0 && w.oldmap[i].heatsource[s] != before[i].heatsource[s])
                    evictions++;
    }
    EXPECT_GT(evictions, 0);
}

TEST_F(ServerTick, ArbitraryStatesStayInStep)
{
    // Fractional heats, negative and zero quantities, full and partial slot
    // sets, fuel near the last burn: states no map file describes.
    loadmaptext(maptext(hotoutside + materials, {"1234561234", "6543216543", "2525252525",
                                                 "3636363636", "1111155555", "4444422222",
                                                 "6262626262"}));
    std::mt19937_64 gen(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    ORACLEWORLD w = oracle_snapshot();
    for (ORACELL &c : w.oldmap) {
        long double kelvins = 150.0L + (long double)unit(gen) * 600.0L + (long double)unit(gen) * 1e-9L;
        c.totalcal = kelvins * c.calperc;
        if (unit(gen) < 0.3)
            c.fuellevel = (long double)unit(gen) * 0.2L;
        int ntags = (int)(unit(gen) * 16); // 0 to 15
        for (int i = 0; i < ntags; i++) {
            c.heatsource[i] = 1 + (int)(unit(gen) * 30) + i * 31; // distinct
            double q = unit(gen);
            c.sourcequan[i] = q < 0.1 ? 0.0L : q < 0.25 ? -(long double)unit(gen) * 40 : (long double)q * 300;
        }
    }
    oracle_install(w);
    std::string diff;
    ASSERT_TRUE(oracle_same(w, &diff)) << diff;
    std::vector<FIRE> f;
    for (int t = 0; t < 150; t += 7)
        f.push_back({t, (long)(unit(gen) * 10), (long)(unit(gen) * 7), 1 + (int)(unit(gen) * 40)});
    runserver(150, f);
}

TEST_F(ServerTick, NoSlotBelowTheLargestFiniteValueGivesTheLastSlot)
{
    // The middle cell holds 15 tags whose quantities are all at or beyond
    // the largest finite long double; a hotter neighbour sends it heat of a
    // 16th tag, which takes over slot 14.
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    ORACLEWORLD w = oddstate([&](ORACLEWORLD &c) {
        ORACELL &full = oracle_cell(c, 2, 2);
        for (int i = 0; i < ORACLESLOTS; i++) {
            full.heatsource[i] = i + 1;
            full.sourcequan[i] = i % 3 == 0 ? LDBL_MAX : i % 3 == 1 ? inf : nan;
        }
        ORACELL &hot = oracle_cell(c, 3, 2);
        hot.totalcal = 400 * hot.calperc;
        hot.heatsource[0] = 16;
        hot.sourcequan[0] = 50;
    });
    const ORACELL &full = oracle_cell(w, 2, 2);
    for (int i = 0; i < ORACLESLOTS - 1; i++)
        EXPECT_EQ(i + 1, full.heatsource[i]) << "slot " << i;
    EXPECT_EQ(16, full.heatsource[ORACLESLOTS - 1]);
}

TEST_F(ServerTick, IgnitionTestReadsOddTemperaturesAsTheServerDoes)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const struct {
        const char *behaviour;
        long double kelvins;
        int ignition;
        bool burns;
    } cases[] = {
        {"beyond the range of an int: its top end", 1e12L, INT32_MAX, true},
        {"below the range of an int: its bottom end", -1e12L, INT32_MIN + 1, false},
        {"a NaN temperature reads as the smallest int", nan, INT32_MIN + 1, false},
        {"a NaN temperature reaches the smallest ignition point", nan, INT32_MIN, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.behaviour);
        const long double fuel = oddstate([&](ORACLEWORLD &w) {
                                     ORACELL &x = oracle_cell(w, 2, 2);
                                     x.totalcal = c.kelvins * x.calperc;
                                     fuelled(x, c.ignition);
                                 }).oldmap[2 * 5 + 2].fuellevel;
        if (c.burns)
            EXPECT_LT(fuel, 5);
        else
            EXPECT_EQ(fuel, 5);
    }
}

TEST_F(ServerTick, HeatCapacityZeroGetsNoSpecialCase)
{
    // 0 / 0: no temperature at all, so no exchange and no burning.
    oddstate([](ORACLEWORLD &c) {
        ORACELL &x = oracle_cell(c, 2, 2);
        x.calperc = 0;
        x.totalcal = 0;
        fuelled(x, INT32_MIN + 1);
    });
    // 100 / 0: an infinite temperature, whatever the division gives next.
    oddstate([](ORACLEWORLD &c) {
        ORACELL &x = oracle_cell(c, 2, 2);
        x.calperc = 0;
        x.totalcal = 100;
        fuelled(x, 300);
    });
    // The surroundings without heat capacity, with and without heat.
    for (long double heat : {0.0L, 20.0L}) {
        SCOPED_TRACE(heat == 0 ? "outside 0 / 0" : "outside 20 / 0");
        oddstate([&](ORACLEWORLD &c) {
            testgame.world.outside.calperc = 0;
            testgame.world.outside.totalcal = heat;
            c.outside.calperc = 0;
            c.outside.totalcal = heat;
        });
    }
}
