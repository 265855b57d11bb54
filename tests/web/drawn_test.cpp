// The drawn values: drawworld against the plain way (one division and the
// FPU's comparisons per cell) on random worlds and on heat and fuel that
// arithmetic rarely makes, queued fires, and the burning and burnt edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "web/drawworld.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "streamworld.h"

namespace {

// The first cell where drawworld and drawcell differ, or "".
std::string firstdifference(const WORLD &w)
{
    DRAWN d;
    drawworld(w, d);
    for (size_t i = 0; i < ncells(w); i++) {
        const DRAWNCELL want = drawcell(w, i);
        const DRAWNCELL got{d.material[i], d.kelvins[i], d.state[i]};
        if (!(got == want))
            return "cell " + std::to_string(i) + ": kelvins " + std::to_string(got.kelvins) + " want " +
                   std::to_string(want.kelvins) + ", state " + std::to_string(got.state) + " want " +
                   std::to_string(want.state);
    }
    return "";
}

MAPUNIT plainunit(long double calperc, long double fuel)
{
    MAPUNIT c;
    std::memset(&c, 0, sizeof c);
    c.calperc = calperc;
    c.ignitionpoint = 300;
    c.fuellevel = fuel;
    c.burnspeed = 1;
    c.calperf = 100;
    return c;
}

} // namespace

TEST(Drawn, SameAsThePlainWayOnRandomWorldsTickByTick)
{
    std::mt19937_64 rng(11);
    for (int round = 0; round < 6; round++) {
        WORLD w;
        TICKSTATE tick;
        long sx, sy;
        streamsize(rng, round, 50, 50, sx, sy);
        streamworld(rng, w, sx, sy);
        for (int t = 0; t < 60; t++) {
            stirworld(rng, w);
            dophys(w, tick);
            ASSERT_EQ(firstdifference(w), "") << "round " << round << " tick " << t;
        }
    }
}

TEST(Drawn, SameAsThePlainWayOnOddHeatsAndFuels)
{
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double heats[] = {0.0L, -0.0L, nan, inf, -inf, -5.5L, 1e30L, -1e30L, 4.2949673e9L, 0x1p-16400L,
                                 LDBL_MIN, LDBL_MAX, 700.0L, 299.999999999L, 300.0L, 1e-3L};
    const long double capacities[] = {1.0L, 3.0L, 0.1L, 1e-300L, 1e300L, -2.0L, 7.0L / 3.0L};
    const long double fuels[] = {0.0L, -0.0L, -1.0L, nan, inf, 0.1L, 5.0L, 0x1p-16400L};
    const long double starts[] = {5.0L, 0.0L, 1e-4940L};
    WORLD w;
    TICKSTATE tick;
    const size_t n = std::size(heats) * std::size(capacities) * std::size(fuels) * std::size(starts);
    allocworld(w, (long)n, 1);
    size_t i = 0;
    for (size_t si = 0; si < std::size(starts); si++)
        for (long double c : capacities)
            for (long double f : fuels)
                for (long double h : heats) {
                    // The first cell of a material sets its starting fuel;
                    // materials of different starts differ in burnspeed.
                    MAPUNIT u = plainunit(c, starts[si]);
                    u.burnspeed = 1 + (long double)si;
                    setpubcell(w, i, u);
                    u.fuellevel = f;
                    u.totalcal = h;
                    setpubcell(w, i, u);
                    i++;
                }
    EXPECT_EQ(firstdifference(w), "");
    // Heats a hair either side of a whole number of kelvins.
    allocworld(w, 400, 3);
    std::mt19937_64 rng(5);
    for (size_t k = 0; k < ncells(w); k++) {
        const long double c = (long double)(1 + rng() % 97) / (long double)(1 + rng() % 13);
        long double h = c * (long double)(rng() % 2000) - (rng() % 3 == 0 ? c * 900 : 0);
        for (int s = (int)(rng() % 5); s > 0; s--)
            h = std::nextafter(h, rng() % 2 ? inf : -inf);
        MAPUNIT u = plainunit(c, 1);
        u.totalcal = h;
        setpubcell(w, k, u);
    }
    EXPECT_EQ(firstdifference(w), "");
}

TEST(Drawn, WholeKelvinsTruncateTowardZero)
{
    WORLD w;
    TICKSTATE tick;
    allocworld(w, 4, 1);
    const long double heats[] = {599.999L, -599.999L, 600.0L, 1e12L};
    for (size_t i = 0; i < 4; i++) {
        MAPUNIT u = plainunit(2, 0);
        u.totalcal = heats[i];
        setpubcell(w, i, u);
    }
    DRAWN d;
    drawworld(w, d);
    EXPECT_EQ(d.kelvins, (std::vector<int32_t>{299, -299, 300, INT32_MAX}));
}

TEST(Drawn, BurningFromTheIgnitionPointWithFuelBurntAtTwoPercent)
{
    WORLD w;
    TICKSTATE tick;
    allocworld(w, 1, 6);
    // Ignition at 300 K, 5 units of fuel to start with.
    const struct {
        long double kelvins, fuel;
        uint8_t state;
    } cases[] = {{300, 5, CELLBURNING}, {299.99L, 5, CELLPLAIN}, {300, 0, CELLBURNT},
                 {300, 0.1L, CELLBURNING}, {20, 0.1L, CELLBURNT}, {20, 0.10001L, CELLPLAIN}};
    for (size_t i = 0; i < std::size(cases); i++) {
        MAPUNIT u = plainunit(1, 5);
        setpubcell(w, i, u);
        u.totalcal = cases[i].kelvins;
        u.fuellevel = cases[i].fuel;
        setpubcell(w, i, u);
    }
    DRAWN d;
    drawworld(w, d);
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(d.state[i], cases[i].state) << "case " << i;
}

TEST(Drawn, FiresQueuedWhileTheTickComputesAreDrawn)
{
    WORLD w;
    TICKSTATE tick;
    allocworld(w, 3, 3);
    for (size_t i = 0; i < 9; i++)
        setpubcell(w, i, plainunit(1, 0));
    w.tickcomputing = 1; // as while a tick runs: fires queue
    addfire(w, 1, 2, 1);
    addfire(w, 1, 2, 2);
    addfire(w, 0, 0, 1);
    ASSERT_EQ(w.firequeue.size(), 3u);
    DRAWN d;
    drawworld(w, d);
    EXPECT_EQ(d.kelvins[1 * 3 + 2], 200);
    EXPECT_EQ(d.kelvins[0], 100);
    EXPECT_EQ(d.kelvins[4], 0);
    EXPECT_EQ(firstdifference(w), "");
    w.tickcomputing = 0;
    w.firequeue.clear();
}

TEST(Drawn, DrawingSomeColumnsLeavesTheOthers)
{
    WORLD w;
    TICKSTATE tick;
    allocworld(w, 5, 2);
    for (size_t i = 0; i < 10; i++)
        setpubcell(w, i, plainunit(1, 0));
    DRAWN d;
    drawworld(w, d);
    for (size_t i = 0; i < 10; i++)
        store80(w.oldmap->heat[i], 50);
    drawcolumns(w, d, 1, 3);
    EXPECT_EQ(d.kelvins, (std::vector<int32_t>{0, 0, 50, 50, 50, 50, 0, 0, 0, 0}));
}
