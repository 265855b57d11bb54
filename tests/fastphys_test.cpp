// The fast tick against the plain reference tick, side by side on random
// worlds: every byte of heat, fuel and attribution after every tick.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "tick/attribution.h"
#include "bridge.h"
#include "publish.h"
#include "support.h"

namespace {


// A random material: conduction from nothing to fast, capacities from
// small to large, ignition points around the temperatures the world holds.
ORACELL randommaterial(std::mt19937_64 &rng)
{
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    ORACELL c;
    int kind = (int)(rng() % 4);
    c.cocon = kind == 0 ? 0.0L : (long double)real(0.01, kind == 3 ? 6.0 : 1.5);
    c.calperc = (long double)real(0.2, 12.0);
    c.ignitionpoint = (int)(rng() % 3 == 0 ? 250 + rng() % 200 : 400 + rng() % 600);
    c.fuellevel = rng() % 4 == 0 ? 0.0L : (long double)real(0.01, 5.0);
    c.calperf = (long double)real(0.0, 900.0);
    c.burnspeed = rng() % 8 == 0 ? 0.0L : (long double)real(0.05, 3.0);
    c.block = (int)(rng() % 2);
    long double temp = (long double)(200 + rng() % 400);
    c.totalcal = temp * c.calperc;
    return c;
}

struct PAIR {
    ORACLEWORLD oracle;
    WORLD fast;
};

MAPUNIT tomap(const ORACELL &o)
{
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    oracle_toserver(m, o);
    return m;
}

// The size of round `round` of a series of random worlds: up to maxx x
// maxy, every sixth one a single column and every sixth a single row.
void roundsize(std::mt19937_64 &rng, int round, long maxx, long maxy, long &sizex, long &sizey)
{
    sizex = 1 + (long)(rng() % (unsigned long)maxx);
    sizey = 1 + (long)(rng() % (unsigned long)maxy);
    if (round % 6 == 1)
        sizex = 1;
    if (round % 6 == 2)
        sizey = 1;
}

// Builds the same random world on both sides.
void randomworld(std::mt19937_64 &rng, long sizex, long sizey, PAIR &p)
{
    std::vector<ORACELL> materials;
    int nmat = 1 + (int)(rng() % 6);
    for (int i = 0; i < nmat; i++)
        materials.push_back(randommaterial(rng));
    ORACLEWORLD &w = p.oracle;
    w.sizex = sizex;
    w.sizey = sizey;
    w.interval = 0.1;
    w.oldmap.assign((size_t)(sizex * sizey), ORACELL());
    w.curmap.assign((size_t)(sizex * sizey), ORACELL());
    w.outside = materials[rng() % materials.size()];
    // Hot or cold surroundings.
    long double outtemp = (long double)(rng() % 2 ? 150 + rng() % 100 : 500 + rng() % 700);
    w.outside.totalcal = outtemp * w.outside.calperc;
    w.outside.fuellevel = 0;
    w.outside.block = 0;
    for (auto &cell : w.oldmap) {
        cell = materials[rng() % materials.size()];
        if (rng() % 5 == 0)
            cell.totalcal = cell.totalcal * (long double)(1 + rng() % 4);
        // A few cells start with attribution, some of it negative.
        if (rng() % 40 == 0) {
            int n = 1 + (int)(rng() % 4);
            for (int s = 0; s < n; s++) {
                cell.heatsource[s] = 1 + (int)(rng() % 20) + s * 20;
                cell.sourcequan[s] = (long double)((double)(rng() % 200) - (rng() % 6 == 0 ? 150.0 : 0.0));
            }
        }
        // Now and then slots as no tick leaves them: a tag after an empty
        // slot, a quantity (or -0) in a slot without a tag.
        if (rng() % 60 == 0) {
            int s = 2 + (int)(rng() % 12);
            cell.heatsource[s] = 1 + (int)(rng() % 20);
            cell.sourcequan[s] = (long double)(1 + rng() % 90);
        }
        if (rng() % 60 == 0)
            cell.sourcequan[rng() % NUMSLOTS] = rng() % 2 ? -0.0L : (long double)(1 + rng() % 50);
    }

    allocworld(p.fast, sizex, sizey);
    oracle_install(w, p.fast);
    p.fast.outside = tomap(w.outside);
}

// The first difference between the two published grids, or "".
std::string firstdiff(PAIR &p)
{
    std::string diff;
    oracle_same(p.oracle, &diff, p.fast);
    return diff;
}

// Runs `ticks` ticks on both sides with fires from up to `players` players
// at random ticks, comparing after every tick. Returns the number of tagged
// cells seen at the end (to show that attribution was exercised).
size_t runpair(std::mt19937_64 &rng, PAIR &p, int ticks, int players, int threads, int firesper100)
{
    const ORACLEWORLD &w = p.oracle;
    EXPECT_EQ(firstdiff(p), "");
    for (int tick = 0; tick < ticks; tick++) {
        // Fires between ticks, each player its own tag; several players
        // crowd one corner now and then so cells fill all 15 slots.
        int fires = (int)(rng() % 100) < firesper100 ? 1 + (int)(rng() % 6) : 0;
        for (int f = 0; f < fires; f++) {
            int tag = 1 + (int)(rng() % (unsigned)players);
            long x = (long)(rng() % (unsigned long)w.sizex), y = (long)(rng() % (unsigned long)w.sizey);
            if (rng() % 3 == 0) {
                x = (long)(rng() % (unsigned long)std::min<long>(3, w.sizex));
                y = (long)(rng() % (unsigned long)std::min<long>(3, w.sizey));
            }
            oracle_fire(p.oracle, x, y, tag);
            addfire(p.fast, x, y, tag);
        }
        oracle_tick(p.oracle);
        p.fast.tickthreads = threads;
        dophys(p.fast);
        std::string d = firstdiff(p);
        if (!d.empty()) {
            ADD_FAILURE() << "after tick " << tick + 1 << " of a " << w.sizex << " x " << w.sizey << " world ("
                          << threads << " thread(s)): " << d;
            return 0;
        }
    }
    return p.fast.oldmap->tagged.size();
}

TEST(FastTick, MatchesThePlainTickOnRandomWorlds)
{
    std::mt19937_64 rng(20261208);
    size_t tagged = 0;
    for (int round = 0; round < 36; round++) {
        long sizex, sizey;
        roundsize(rng, round, 24, 24, sizex, sizey);
        PAIR p;
        randomworld(rng, sizex, sizey, p);
        tagged += runpair(rng, p, 300, 1 + (int)(rng() % 20), round % 2 ? 2 : 1, 30);
        if (HasFailure())
            return;
    }
    EXPECT_GT(tagged, 0u);
}

TEST(FastTick, MatchesThePlainTickWhenTwentyPlayersCrowdOneCorner)
{
    // Twenty tags in a small hot corner: cells run out of slots and evict.
    std::mt19937_64 rng(77);
    for (int round = 0; round < 4; round++) {
        PAIR p;
        randomworld(rng, 5 + round, 6, p);
        runpair(rng, p, 300, 20, round % 2 ? 2 : 1, 90);
        if (HasFailure())
            return;
        bool full = false;
        for (uint32_t i : p.fast.oldmap->tagged)
            if (pubcell(p.fast, i).heatsource[NUMSLOTS - 1] != 0)
                full = true;
        EXPECT_TRUE(full) << "no cell filled all its slots";
    }
}

TEST(FastTick, MatchesThePlainTickOnALargerBurningWorldSplitBetweenThreads)
{
    std::mt19937_64 rng(4096);
    PAIR p;
    randomworld(rng, 48, 40, p);
    runpair(rng, p, 300, 12, 2, 20);
}

// A world burning everywhere under hot surroundings: every edge cell and
// one in `tagevery` of the others hold tags (1 for all of them).
void burningworld(std::mt19937_64 &rng, long sizex, long sizey, int tagevery, PAIR &p)
{
    randomworld(rng, sizex, sizey, p);
    ORACLEWORLD &w = p.oracle;
    ORACELL fuel = randommaterial(rng);
    fuel.cocon = 0.4L;
    fuel.calperc = 2;
    fuel.ignitionpoint = 300;
    fuel.fuellevel = 50;
    fuel.burnspeed = 1;
    fuel.calperf = 300;
    w.outside = fuel;
    w.outside.totalcal = 900 * fuel.calperc;
    w.outside.fuellevel = 0;
    for (size_t i = 0; i < w.oldmap.size(); i++) {
        const long x = (long)i / w.sizey, y = (long)i % w.sizey;
        ORACELL &cell = w.oldmap[i];
        cell = fuel;
        cell.totalcal = (long double)(310 + rng() % 200) * fuel.calperc;
        if (x == 0 || y == 0 || x == w.sizex - 1 || y == w.sizey - 1 || rng() % (unsigned)tagevery == 0) {
            int n = 1 + (int)(rng() % 3);
            for (int s = 0; s < n; s++) {
                cell.heatsource[s] = 1 + s * 7 + (int)(rng() % 7);
                cell.sourcequan[s] = (long double)(1 + rng() % 100);
            }
        }
    }
    oracle_install(w, p.fast);
    p.fast.outside = tomap(w.outside);
}

TEST(FastTick, MatchesThePlainTickWhenThousandsOfCellsBurnAtOnce)
{
    // So many burning cells that both threads share combustion's moves,
    // with tags on the map's edge, where heat from the surroundings
    // arrives before combustion.
    std::mt19937_64 rng(8640);
    PAIR p;
    burningworld(rng, 96, 90, 3, p);
    runpair(rng, p, 40, 20, 2, 50);
    EXPECT_GE(p.fast.burns.size(), 4096u);
}

TEST(FastTick, MatchesThePlainTickWhenTheAttributionPoolOutgrowsTheCaches)
{
    // Every cell tagged: the entries take more than 16 MiB, so the tick
    // copies them past the caches.
    std::mt19937_64 rng(57600);
    PAIR p;
    burningworld(rng, 240, 240, 1, p);
    EXPECT_GE(p.fast.oldmap->tagged.size() * sizeof(ATTR), (size_t)16 << 20);
    runpair(rng, p, 12, 20, 2, 50);
}

// A world at rest: one or two materials at the temperature of the
// surroundings, with a few hot or burning spots, so that most groups of
// columns settle and the fires that come now and then stir them again.
void quietworld(std::mt19937_64 &rng, long sizex, long sizey, PAIR &p)
{
    randomworld(rng, sizex, sizey, p);
    ORACLEWORLD &w = p.oracle;
    ORACELL a = w.oldmap[0], b = w.oldmap[w.oldmap.size() - 1];
    long double outtemp = w.outside.totalcal / w.outside.calperc;
    for (ORACELL *m : {&a, &b}) {
        m->totalcal = outtemp * m->calperc;
        for (int s = 0; s < NUMSLOTS; s++) {
            m->heatsource[s] = 0;
            m->sourcequan[s] = 0;
        }
    }
    for (size_t i = 0; i < w.oldmap.size(); i++) {
        w.oldmap[i] = rng() % 4 == 0 ? b : a;
        if (rng() % 97 == 0)
            w.oldmap[i].totalcal *= 3;
    }
    oracle_install(w, p.fast);
}

size_t settledgroups(const WORLD &c)
{
    size_t n = 0;
    for (uint8_t g : c.settle.group)
        n += g;
    return n;
}

TEST(FastTick, MatchesThePlainTickWhereTheWorldSettlesAndIsStirredAgain)
{
    std::mt19937_64 rng(31337);
    size_t settled = 0;
    for (int round = 0; round < 24; round++) {
        long sizex, sizey;
        roundsize(rng, round, 70, 20, sizex, sizey);
        PAIR p;
        quietworld(rng, sizex, sizey, p);
        runpair(rng, p, 150, 1 + (int)(rng() % 20), round % 2 ? 2 : 1, 4);
        if (HasFailure())
            return;
        settled += settledgroups(p.fast);
        // Other surroundings stir everything.
        p.oracle.outside.totalcal *= 2;
        p.fast.outside.totalcal *= 2;
        runpair(rng, p, 150, 3, round % 2 ? 2 : 1, 4);
        if (HasFailure())
            return;
    }
    EXPECT_GT(settled, 0u) << "no group ever settled: the test shows nothing";
}

TEST(FastTick, AFireStirsOnlyTheGroupsAroundIt)
{
    WORLD c;
    allocworld(c, 10 * SETTLEWIDTH, 16);
    MAPUNIT cell;
    std::memset(&cell, 0, sizeof cell);
    cell.calperc = 2;
    cell.cocon = 0.5L;
    cell.totalcal = 600;
    for (size_t i = 0; i < ncells(c); i++)
        setpubcell(c, i, cell);
    c.outside = cell;
    dophys(c);
    EXPECT_EQ(10u, settledgroups(c)) << "a uniform world at the temperature of its surroundings settles at once";
    // A fire in group 4: it and its neighbours are computed; heat reaches
    // only as far as the fire's cell's neighbours in one tick.
    addfire(c, 4 * SETTLEWIDTH + 3, 5, 1);
    EXPECT_EQ(9u, settledgroups(c));
    dophys(c);
    EXPECT_EQ(9u, settledgroups(c));
    EXPECT_EQ(0, c.settle.group[4]);
    // The heat spreads a cell per tick until it reaches the next groups.
    for (int t = 0; t < 6; t++)
        dophys(c);
    EXPECT_EQ(7u, settledgroups(c));
    EXPECT_EQ(1, c.settle.group[2]);
    EXPECT_EQ(1, c.settle.group[6]);
}

// The server's own tick on its own world and loaded maps, with attribution
// put into cells and players' fires between ticks.
const std::string warmtypes = "<type name=outside num=0> temp=30 cocon=0.3 calperc=1 </type>\n"
                              "<type name=rock num=1> temp=20 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
                              "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 fuellevel=3 "
                              "burnspeed=3 calperf=400 </type>\n"
                              "<type name=wood num=3> temp=25 cocon=1.3 calperc=5 ignitionpoint=70 fuellevel=9 "
                              "burnspeed=1 calperf=900 </type>\n";

// Everything at the temperature of the surroundings: the world settles
// until a fire stirs it.
const std::string resttypes = "<type name=outside num=0> temp=20 cocon=0.3 calperc=1 </type>\n"
                              "<type name=rock num=1> temp=20 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
                              "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 fuellevel=3 "
                              "burnspeed=3 calperf=400 </type>\n"
                              "<type name=wood num=3> temp=20 cocon=1.3 calperc=5 ignitionpoint=70 fuellevel=9 "
                              "burnspeed=1 calperf=900 </type>\n";

template <class TICK>
void servermatches(TICK runtick, unsigned long long corpus, const std::string &types = warmtypes,
                   long maxside = 14, int fireevery = 3)
{
    std::mt19937_64 rng(corpus);
    for (int round = 0; round < 6; round++) {
        long sx = 1 + (long)(rng() % (unsigned long)maxside), sy = 1 + (long)(rng() % (unsigned long)maxside);
        std::vector<std::string> rows((size_t)sy);
        for (auto &row : rows)
            for (long x = 0; x < sx; x++)
                row += (char)('0' + rng() % 4);
        loadmaptext(maptext(types, rows));
        // Some attribution to start with, put in through the published grid.
        for (int k = 0; k < 5; k++) {
            long x = (long)(rng() % (unsigned long)sx), y = (long)(rng() % (unsigned long)sy);
            MAPUNIT c = getcell(serverworld, x, y);
            c.heatsource[0] = 1 + k;
            c.sourcequan[0] = 40;
            if (fireevery <= 3)
                c.totalcal += 200; // a map at rest gets its tags without heat
            putcell(serverworld, x, y, c);
        }
        ORACLEWORLD w = oracle_snapshot();
        for (int tick = 0; tick < 300; tick++) {
            if (rng() % (unsigned)fireevery == 0) {
                long x = (long)(rng() % (unsigned long)sx), y = (long)(rng() % (unsigned long)sy);
                int tag = 1 + (int)(rng() % 20);
                addfire(serverworld, x, y, tag);
                oracle_fire(w, x, y, tag);
            }
            runtick();
            oracle_tick(w);
            std::string diff;
            if (!oracle_same(w, &diff)) {
                ADD_FAILURE() << "tick " << tick + 1 << " of a " << sx << " x " << sy << " map: " << diff;
                return;
            }
        }
    }
}

void servertick() { dophys(serverworld); }

// A writer that cannot tell which groups it stirred clears the whole
// record of what settled.
void forgetsettled()
{
    pthread_mutex_lock(&serverworld.oldmap_lock);
    serverworld.settle.group.clear();
    pthread_mutex_unlock(&serverworld.oldmap_lock);
}

TEST(ServerTick, DophysMatchesThePlainTickOnLoadedMapsWithFires) { servermatches(servertick, 11); }

TEST(ServerTick, DophysMatchesThePlainTickOnMapsAtRestWithRareFires)
{
    servermatches(servertick, 13, resttypes, 40, 40);
}

TEST(ServerTick, AFireQueuedWhileTheTickComputesStirsASettledMap)
{
    loadmaptext(maptext(resttypes, std::vector<std::string>(20, std::string(30, '2'))));
    ORACLEWORLD w = oracle_snapshot();
    for (int t = 0; t < 3; t++) {
        dophys(serverworld);
        oracle_tick(w);
    }
    // As while a tick computes: the fire is queued and lands at the swap.
    pthread_mutex_lock(&serverworld.curmap_lock);
    pthread_mutex_lock(&serverworld.oldmap_lock);
    serverworld.tickcomputing = 1;
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    addfire(serverworld, 12, 7, 3);
    serverworld.burns.clear(); // a tick that burnt nothing
    swapgrids(serverworld);
    pthread_mutex_unlock(&serverworld.curmap_lock);
    oracle_fire(w, 12, 7, 3);
    std::string diff;
    ASSERT_TRUE(oracle_same(w, &diff)) << diff;
    for (int t = 0; t < 30; t++) {
        dophys(serverworld);
        oracle_tick(w);
        ASSERT_TRUE(oracle_same(w, &diff)) << "tick " << t + 1 << ": " << diff;
    }
}

uint64_t generation()
{
    pthread_mutex_lock(&serverworld.oldmap_lock);
    uint64_t g = serverworld.mapgeneration;
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    return g;
}

TEST(ServerTick, ATickThatMovesNothingKeepsThePublishedGeneration)
{
    loadmaptext(maptext(resttypes, std::vector<std::string>(20, std::string(30, '2'))));
    dophys(serverworld);
    uint64_t g = generation();
    for (int t = 0; t < 3; t++) {
        dophys(serverworld);
        EXPECT_EQ(generation(), g) << "tick " << t;
    }
    addfire(serverworld, 12, 7, 3);
    EXPECT_NE(generation(), g);
    g = generation();
    dophys(serverworld); // the fire's heat spreads
    EXPECT_NE(generation(), g);
    g = generation();
    forgetsettled();
    dophys(serverworld); // nothing is known to have settled
    EXPECT_NE(generation(), g);
}

TEST(ServerTick, AKeptGenerationAlwaysMeansAnUnchangedState)
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
        loadmaptext(maptext(resttypes, rows));
        for (int tick = 0; tick < 200; tick++, ticks++) {
            if (rng() % 60 == 0)
                addfire(serverworld, (long)(rng() % (unsigned long)sx), (long)(rng() % (unsigned long)sy), 1 + (int)(rng() % 5));
            ORACLEWORLD before = oracle_snapshot();
            uint64_t g = generation();
            dophys(serverworld);
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

TEST(ServerTick, DophysMatchesThePlainTickWhenWhatSettledIsForgottenNowAndThen)
{
    static int turn = 0;
    servermatches(
        [] {
            if (turn++ % 5 < 2)
                forgetsettled();
            dophys(serverworld);
        },
        14, resttypes, 40, 25);
}

TEST(ServerTick, NoTagsMeansNoAttributionEntriesAndFiftyEightBytesPerCell)
{
    WORLD c;
    allocworld(c, 64, 64);
    MAPUNIT cell;
    std::memset(&cell, 0, sizeof cell);
    cell.calperc = 1;
    cell.cocon = 0.5L;
    cell.totalcal = 300;
    for (size_t i = 0; i < ncells(c); i++)
        setpubcell(c, i, cell);
    c.outside = cell;
    dophys(c);
    EXPECT_EQ(0u, c.grids[0].pool.size() + c.grids[1].pool.size());
    EXPECT_LE(worldbytespercell(c), 64.0);
}

} // namespace
