// The server's tick against the plain reference tick (tests/oracle), byte
// for byte after every tick: heat, fuel and every attribution slot. On
// random worlds of the tick's own (cold, burning, at rest, crowded, larger
// than the caches, on one thread and on two, on every path this processor
// runs). The loaded maps' side: maporacle_test.
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

namespace {

// ---- Random worlds of the tick's own ----------------------------------------------

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
    TICKSTATE tick;
};

MAPUNIT tomap(const ORACELL &o)
{
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    oracle_toserver(m, o);
    return m;
}

// Fires from up to `players` players for `ticks` ticks at random, each
// player its own tag: in `firesper100` ticks out of 100, one to six fires;
// several players crowd one corner now and then so cells fill all 15 slots.
std::vector<FIRE> randomfires(std::mt19937_64 &rng, long sizex, long sizey, int ticks, int players, int firesper100)
{
    std::vector<FIRE> schedule;
    for (int tick = 0; tick < ticks; tick++) {
        int fires = (int)(rng() % 100) < firesper100 ? 1 + (int)(rng() % 6) : 0;
        for (int f = 0; f < fires; f++) {
            int tag = 1 + (int)(rng() % (unsigned)players);
            long x = (long)(rng() % (unsigned long)sizex), y = (long)(rng() % (unsigned long)sizey);
            if (rng() % 3 == 0) {
                x = (long)(rng() % (unsigned long)std::min<long>(3, sizex));
                y = (long)(rng() % (unsigned long)std::min<long>(3, sizey));
            }
            schedule.push_back({tick, x, y, tag});
        }
    }
    return schedule;
}

// Runs `ticks` ticks on both sides of p with random fires, the tick on
// `threads` threads. Returns the number of tagged cells at the end (to
// show that attribution was exercised).
size_t runpair(std::mt19937_64 &rng, PAIR &p, int ticks, int players, int threads, int firesper100)
{
    const ORACLEWORLD &w = p.oracle;
    std::vector<FIRE> fires = randomfires(rng, w.sizex, w.sizey, ticks, players, firesper100);
    const std::string what =
        "a " + std::to_string(w.sizex) + " x " + std::to_string(w.sizey) + " world (" + std::to_string(threads) + " thread(s))";
    runboth(p.fast, p.oracle, ticks, fires, [&] {
        p.tick.threads = threads;
        dophys(p.fast, p.tick);
    }, what);
    return p.fast.oldmap->tagged.size();
}

// Plays `rounds` rounds, until one fails: each builds a world with
// build(rng, sizex, sizey, p), of random size up to maxx x maxy (every
// sixth round a single column and every sixth a single row), and calls
// play(p, threads), odd rounds on two threads.
template <class BUILD, class PLAY>
void eachround(std::mt19937_64 &rng, int rounds, long maxx, long maxy, BUILD build, PLAY play)
{
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); round++) {
        long sizex = 1 + (long)(rng() % (unsigned long)maxx);
        long sizey = 1 + (long)(rng() % (unsigned long)maxy);
        if (round % 6 == 1)
            sizex = 1;
        if (round % 6 == 2)
            sizey = 1;
        PAIR p;
        build(rng, sizex, sizey, p);
        play(p, round % 2 ? 2 : 1);
    }
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

// A world burning everywhere under hot surroundings: every edge cell and
// one in `tagevery` of the others hold tags (1 for all of them).
void burningworld(std::mt19937_64 &rng, long sizex, long sizey, int tagevery, PAIR &p)
{
    randomworld(rng, sizex, sizey, p);
    ORACLEWORLD &w = p.oracle;
    const int block = randommaterial(rng).block; // drawn as before, for the same worlds
    const ORACELL fuel{.cocon = 0.4L, .calperc = 2, .ignitionpoint = 300, .fuellevel = 50, .calperf = 300,
                       .burnspeed = 1, .block = block};
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

} // namespace

TEST(FastTick, MatchesThePlainTickOnRandomWorlds)
{
    std::mt19937_64 rng(20261208);
    size_t tagged = 0;
    eachround(rng, 36, 24, 24, randomworld,
              [&](PAIR &p, int threads) { tagged += runpair(rng, p, 300, 1 + (int)(rng() % 20), threads, 30); });
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

TEST(FastTick, MatchesThePlainTickWhenThousandsOfCellsBurnAtOnce)
{
    // So many burning cells that both threads share combustion's moves,
    // with tags on the map's edge, where heat from the surroundings
    // arrives before combustion.
    std::mt19937_64 rng(8640);
    PAIR p;
    burningworld(rng, 96, 90, 3, p);
    runpair(rng, p, 40, 20, 2, 50);
    EXPECT_GE(p.tick.burns.size(), 4096u);
}

TEST(FastTick, MatchesThePlainTickWhenTheAttributionPoolOutgrowsTheCaches)
{
    // Every cell tagged: the entries take more than 16 MiB, so the tick
    // copies them past the caches.
    std::mt19937_64 rng(57600);
    PAIR p;
    burningworld(rng, 280, 280, 1, p);
    EXPECT_GE(p.fast.oldmap->tagged.size() * sizeof(ATTR), (size_t)16 << 20);
    runpair(rng, p, 12, 20, 2, 50);
}

TEST(FastTick, MatchesThePlainTickWhereTheWorldSettlesAndIsStirredAgain)
{
    std::mt19937_64 rng(31337);
    size_t settled = 0;
    eachround(rng, 24, 70, 20, quietworld, [&](PAIR &p, int threads) {
        runpair(rng, p, 150, 1 + (int)(rng() % 20), threads, 4);
        if (::testing::Test::HasFailure())
            return;
        settled += settledgroups(p.fast);
        // Other surroundings stir everything.
        p.oracle.outside.totalcal *= 2;
        p.fast.outside.totalcal *= 2;
        runpair(rng, p, 150, 3, threads, 4);
    });
    EXPECT_GT(settled, 0u) << "no group ever settled: the test shows nothing";
}

// Values the vector paths' pairs cannot hold (huge, tiny, denormal,
// infinite, not a number, -0), put into the heat of a few cells, so that
// columns of both kinds lie side by side (huge and non-finite values
// spread over the ticks); materials whose capacity has no pair now and
// then too.
void oddcells(std::mt19937_64 &rng, PAIR &p)
{
    ORACLEWORLD &w = p.oracle;
    const long double odd[] = {0x1p600L, -0x1p700L, 0x1p-600L, 0x1p-16440L, INFINITY, NAN, -0.0L, 1e4000L};
    const size_t cells = w.oldmap.size();
    for (size_t k = 0; k < 1 + cells / 300; k++)
        w.oldmap[rng() % cells].totalcal = odd[rng() % 8];
    if (rng() % 3 == 0)
        for (size_t k = 0; k < 1 + cells / 200; k++) {
            ORACELL &c = w.oldmap[rng() % cells];
            c.calperc = 0x1p-500L;
            c.totalcal = c.calperc * 400;
        }
    const ORACELL outside = w.outside;
    oracle_install(w, p.fast);
    p.fast.outside = tomap(outside);
}

TEST(FastTick, EveryPathMatchesThePlainTickWithValuesThePairsCannotHoldBesideOrdinaryOnes)
{
    for (TICKPATH path : {TICKPATH::x87, TICKPATH::avx2, TICKPATH::avx512}) {
        if (!tickpathrunnable(path))
            continue;
        SCOPED_TRACE(tickpathname(path));
        std::mt19937_64 rng(1403);
        uint64_t pairs = 0, x87 = 0;
        for (int round = 0; round < 4 && !HasFailure(); round++) {
            PAIR p;
            p.tick.path = path;
            if (round % 2)
                burningworld(rng, 30 + round, 27, 4, p);
            else
                randomworld(rng, 26, 25 + round, p);
            if (round > 0)
                oddcells(rng, p);
            runpair(rng, p, 300, 12, 1 + round % 2, 30);
            pairs += p.tick.paircolumns;
            x87 += p.tick.x87columns;
        }
        if (path != TICKPATH::x87) {
            EXPECT_GT(pairs, 0u) << "no column was computed in lanes";
            EXPECT_GT(x87, 0u) << "no column fell back to the x87 unit";
        } else {
            EXPECT_EQ(pairs, 0u);
        }
    }
}
