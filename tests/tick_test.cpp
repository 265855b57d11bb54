// Exactness of the tick: conduction, attribution, combustion and what
// settles, checked against worked numbers to the last bit of the 80-bit
// long double. Expected values are formed with the same long double
// expressions, in the same order, as the tick's rules lay down; where a
// rule gives a round number (2.25, 36, exactly 0) the test checks that
// number as well. Every tick here also runs on the reference tick
// (tests/oracle), which must agree.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "bridge.h"
#include "app/loop.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/tick/attribution.h"
#include "engine/world.h"

namespace {

std::string hex(long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%La", v);
    return buf;
}

#define EXPECT_BITS(expected, actual)                                                         \
    EXPECT_TRUE(samebits((expected), (actual)))                                               \
        << #actual << " is " << hex(actual) << " (" << (double)(actual) << "), expected "     \
        << hex(expected) << " (" << (double)(expected) << ")"

// The published cell at (x, y), read and changed through the reference
// world's bridge, so that these tests hold whatever the grid's layout.
ORACELL pub(long x, long y)
{
    ORACLEWORLD w = oracle_snapshot();
    return oracle_cell(w, x, y);
}
template <class F> void editpub(long x, long y, F change)
{
    ORACLEWORLD w = oracle_snapshot();
    change(oracle_cell(w, x, y));
    oracle_install(w);
}

// The tick length as the tick widens it.
long double ui() { return (long double)updateinterval; }

// What each of n equal requests r moves: r weighted by its own share of
// all n requests.
long double share(long double r, int n)
{
    long double wanted = 0;
    for (int t = 0; t < n; t++)
        wanted += r;
    return (r / wanted) * r;
}

// v with `amount` added n times, one after the other.
long double repeated(long double v, long double amount, int n)
{
    for (int t = 0; t < n; t++)
        v = v + amount;
    return v;
}

// Runs ticks on the server and on the oracle and insists they agree after
// each, so every worked example here is also a check of the reference tick.
void tickboth(ORACLEWORLD &w, int ticks = 1)
{
    for (int t = 0; t < ticks; t++) {
        dophys(testgame.world, testgame.tick);
        oracle_tick(w);
        std::string diff;
        EXPECT_TRUE(oracle_same(w, &diff)) << diff;
    }
}

// Changes the published cell (x, y), then runs one tick on both sides;
// returns the oracle's world.
template <class F> ORACLEWORLD tickafter(long x, long y, F change)
{
    editpub(x, y, change);
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    return w;
}

class Tick : public WorldTest {
protected:
    void SetUp() override { ASSERT_EQ(updateinterval, 0.1); }
};

using Conduction = Tick;
using Attribution = Tick;
using Combustion = Tick;

// Attribution slots holding (tag, quantity) pairs from slot 0 on, the
// rest empty.
using SLOTS = std::vector<std::pair<int, long double>>;
ATTR slots(const SLOTS &tags)
{
    ATTR a;
    std::memset(&a, 0, sizeof a);
    for (size_t i = 0; i < tags.size(); i++) {
        a.heatsource[i] = tags[i].first;
        store80(a.sourcequan[i], tags[i].second);
    }
    return a;
}

// All 15 slots taken: tag 20 + i with quantity first + i x step.
ATTR fullslots(long double first, long double step = 1)
{
    ATTR a;
    for (int i = 0; i < NUMSLOTS; i++) {
        a.heatsource[i] = 20 + i;
        store80(a.sourcequan[i], first + i * step);
    }
    return a;
}

// Every slot of a as `want` has it, to the last bit.
void expectslots(const ATTR &a, const SLOTS &want)
{
    ATTR w = slots(want);
    for (int i = 0; i < NUMSLOTS; i++) {
        EXPECT_EQ(w.heatsource[i], a.heatsource[i]) << "slot " << i;
        EXPECT_BITS(load80(w.sourcequan[i]), load80(a.sourcequan[i])) << "slot " << i;
    }
}

// Moving `amount` from src to rec changes neither, byte for byte.
void expectnochange(ATTR rec, ATTR src, long double amount)
{
    ATTR recbefore = rec, srcbefore = src;
    addheat(&rec, &src, amount);
    EXPECT_EQ(0, std::memcmp(&rec, &recbefore, sizeof rec));
    EXPECT_EQ(0, std::memcmp(&src, &srcbefore, sizeof src));
}

} // namespace

// ---- Conduction ---------------------------------------------------------------

TEST_F(Conduction, UniformTemperatureChangesNothing)
{
    // Different materials, one temperature everywhere, surroundings included.
    loadmaptext(maptext(typeline(0, "300", "0.3", "2") + typeline(1, "300", "0.5", "1") +
                            typeline(2, "300", "0.1", "4") + typeline(3, "300", "1", "3"),
                        {"12312", "23131", "31221", "11111"}));
    ORACLEWORLD before = oracle_snapshot();
    ORACLEWORLD w = before;
    tickboth(w, 3);
    std::string diff;
    EXPECT_TRUE(oracle_same(before, &diff)) << diff;
}

TEST_F(Conduction, SingleHotCellFeedsEachOfEightNeighboursAnEighth)
{
    // 5 x 5 at 100 K (calperc 2, cocon c), surroundings alike; the centre at 400 K.
    loadmaptext(maptext(typeline(0, "100", "0.5", "2") + typeline(1, "100", "0.5", "2"),
                        {"11111", "11111", "11111", "11111", "11111"}));
    const long double c = pub(2, 2).cocon;
    const long double cold = pub(0, 0).totalcal;
    tickafter(2, 2, [](ORACELL &c) {
        c.totalcal = 800; // 400 K
    });

    const long double d = 400.0L - 100.0L;
    const long double amount = share((ui() * c) * (d / 2), 8);
    const long double hot = repeated(800, -amount, 8);

    EXPECT_BITS(hot, pub(2, 2).totalcal);
    for (long x = 1; x <= 3; x++) {
        for (long y = 1; y <= 3; y++) {
            if (x != 2 || y != 2) {
                EXPECT_BITS(cold + amount, pub(x, y).totalcal) << "at " << x << "," << y;
            }
        }
    }
    // The second ring is as cold as before.
    for (long x = 0; x < 5; x++) {
        EXPECT_BITS(cold, pub(x, 0).totalcal);
        EXPECT_BITS(cold, pub(x, 4).totalcal);
        EXPECT_BITS(cold, pub(0, x).totalcal);
        EXPECT_BITS(cold, pub(4, x).totalcal);
    }
    // The round numbers: each neighbour gains updateinterval x c x d / 2 / 8,
    // the source loses updateinterval x c x d / 2.
    EXPECT_NEAR((double)amount, 0.1 * 0.5 * 300 / 2 / 8, 1e-15);
    EXPECT_NEAR((double)(800 - hot), 0.1 * 0.5 * 300 / 2, 1e-13);
}

TEST_F(Conduction, RequestsThreeAndOneReceiveTwoAndAQuarterAndAQuarter)
{
    // Built from a map: a 3 x 1 row A S B with S at 100 K, A at 94 K and B
    // at 98 K, cocon 10 and calperc 1. The surroundings have cocon 0, so the
    // requests into them are 0 and skipped, and the border sends nothing.
    // With k = updateinterval x 10 (exact in 80 bits: 1 + 2^-54 + ...) the
    // requests are 3k into A and k into B, all exact, and so are the moves.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "100", "10", "1") +
                            typeline(2, "94", "10", "1") + typeline(3, "98", "10", "1"),
                        {"213"}));
    ASSERT_EQ(pub(1, 0).cocon, 10.0L);
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);

    const long double k = ui() * 10.0L;
    EXPECT_BITS(94.0L + 2.25L * k, pub(0, 0).totalcal);
    EXPECT_BITS(98.0L + 0.25L * k, pub(2, 0).totalcal);
    // B (neighbour 0) is served before A (neighbour 4).
    EXPECT_BITS((100.0L - 0.25L * k) - 2.25L * k, pub(1, 0).totalcal);
    EXPECT_NEAR((double)(pub(0, 0).totalcal - 94), 2.25, 1e-15);
    EXPECT_NEAR((double)(pub(2, 0).totalcal - 98), 0.25, 1e-15);
    EXPECT_NEAR((double)(100 - pub(1, 0).totalcal), 2.5, 1e-15);
}

TEST_F(Conduction, PairUsesTheSmallerCoefficient)
{
    // Two cells, hot one left; surroundings conduct nothing.
    for (int hotsmall = 0; hotsmall < 2; hotsmall++) {
        SCOPED_TRACE(hotsmall ? "hot cell has the smaller cocon" : "cold cell has the smaller cocon");
        loadmaptext(maptext(typeline(0, "100", "0", "1") +
                                typeline(1, "300", hotsmall ? "0.2" : "0.8", "1") +
                                typeline(2, "100", hotsmall ? "0.8" : "0.2", "1"),
                            {"12"}));
        const long double small = hotsmall ? pub(0, 0).cocon : pub(1, 0).cocon;
        ASSERT_LT(small, hotsmall ? pub(1, 0).cocon : pub(0, 0).cocon);
        ORACLEWORLD w = oracle_snapshot();
        tickboth(w);
        const long double amount = share((ui() * small) * ((300.0L - 100.0L) / 2), 1);
        EXPECT_BITS(300.0L - amount, pub(0, 0).totalcal);
        EXPECT_BITS(100.0L + amount, pub(1, 0).totalcal);
        EXPECT_NEAR((double)amount, 0.1 * 0.2 * 100, 1e-15);
    }
}

TEST_F(Conduction, CellWithCoconZeroExchangesNothing)
{
    // Hot centre of cocon 0 among cold cells, then cold centre among hot
    // cells and hot surroundings: the centre keeps its heat exactly.
    loadmaptext(maptext(typeline(0, "300", "1", "1") + typeline(1, "300", "1", "1") +
                            typeline(2, "500", "0", "1"),
                        {"111", "121", "111"}));
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    EXPECT_BITS(500.0L, pub(1, 1).totalcal);
    for (long x = 0; x < 3; x++) {
        for (long y = 0; y < 3; y++) {
            if (x != 1 || y != 1) {
                EXPECT_BITS(300.0L, pub(x, y).totalcal);
            }
        }
    }

    loadmaptext(maptext(typeline(0, "300", "1", "1") + typeline(1, "300", "1", "1") +
                            typeline(2, "100", "0", "1"),
                        {"111", "121", "111"}));
    w = oracle_snapshot();
    tickboth(w);
    EXPECT_BITS(100.0L, pub(1, 1).totalcal);
}

TEST_F(Conduction, EqualTemperaturesExchangeNothingWhateverTheCoefficients)
{
    // 600 cal at calperc 2 and 900 cal at calperc 3: both at 300 K.
    loadmaptext(maptext(typeline(0, "300", "5", "1") + typeline(1, "300", "0.9", "2") +
                            typeline(2, "300", "0.1", "3"),
                        {"12"}));
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w); // the oracle agrees
    EXPECT_BITS(600.0L, pub(0, 0).totalcal);
    EXPECT_BITS(900.0L, pub(1, 0).totalcal);
}

TEST_F(Conduction, OneByOneMapHotLosesOneRequestColdGainsFour)
{
    // Hotter than the surroundings by d: eight equal requests into outside,
    // each weighted down to an eighth.
    loadmaptext(maptext(typeline(0, "200", "0.7", "1") + typeline(1, "260", "0.3", "2"), {"1"}));
    const long double c = pub(0, 0).cocon; // the smaller of 0.3 and 0.7
    const long double outsidebefore = testgame.world.outside.totalcal;
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    long double amount = share((ui() * c) * ((260.0L - 200.0L) / 2), 8);
    EXPECT_BITS(repeated(520, -amount, 8), pub(0, 0).totalcal);
    EXPECT_NEAR((double)(520 - pub(0, 0).totalcal), 0.1 * 0.3 * 60 / 2, 1e-14);
    EXPECT_BITS(outsidebefore, testgame.world.outside.totalcal);

    // Colder by d: one whole request from each of the four border cells
    // (0, -1), (1, 0), (-1, 0), (0, 1).
    loadmaptext(maptext(typeline(0, "200", "0.7", "1") + typeline(1, "140", "0.3", "2"), {"1"}));
    w = oracle_snapshot();
    tickboth(w);
    amount = share((ui() * c) * ((200.0L - 140.0L) / 2), 1);
    EXPECT_BITS(repeated(280, amount, 4), pub(0, 0).totalcal);
    EXPECT_NEAR((double)(pub(0, 0).totalcal - 280), 4 * 0.1 * 0.3 * 60 / 2, 1e-13);
    EXPECT_BITS(outsidebefore, testgame.world.outside.totalcal);
}

TEST_F(Conduction, EdgeCellLosesHeatToSurroundingsThatStayTheSame)
{
    loadmaptext(maptext(typeline(0, "100", "0.4", "5") + typeline(1, "100", "0.4", "1") +
                            typeline(2, "700", "0.4", "1"),
                        {"211", "111"}));
    MAPUNIT outsidebefore = testgame.world.outside;
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w, 5);
    EXPECT_LT(pub(0, 0).totalcal, 700.0L);
    EXPECT_EQ(0, std::memcmp(&outsidebefore, &testgame.world.outside, sizeof testgame.world.outside));
}

TEST_F(Conduction, HeatBetweenMapCellsIsConserved)
{
    // Two cells, surroundings conducting nothing: exactly what leaves the
    // sender arrives in the receiver.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "500", "0.3", "1") +
                            typeline(2, "100", "0.3", "1"),
                        {"12"}));
    const long double c = pub(0, 0).cocon;
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    const long double amount = share((ui() * c) * ((500.0L - 100.0L) / 2), 1);
    EXPECT_BITS(500.0L - amount, pub(0, 0).totalcal);
    EXPECT_BITS(100.0L + amount, pub(1, 0).totalcal);
    EXPECT_BITS((500.0L - pub(0, 0).totalcal), (pub(1, 0).totalcal - 100.0L));

    // A larger map of many temperatures: the total stays within rounding.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "500", "0.3", "1") +
                            typeline(2, "100", "0.25", "2") + typeline(3, "900", "0.05", "3") +
                            typeline(4, "20", "0.5", "1"),
                        {"123412", "341234", "412341", "234123", "111444"}));
    auto total = [] {
        long double s = 0;
        for (const ORACELL &c : oracle_snapshot().oldmap)
            s += c.totalcal;
        return s;
    };
    const long double before = total();
    w = oracle_snapshot();
    tickboth(w, 20);
    EXPECT_NEAR((double)total(), (double)before, (double)before * 1e-15);
    EXPECT_NE(pub(0, 0).totalcal, 500.0L); // heat did move
}

TEST_F(Conduction, RequestsComeFromThePublishedStateOnly)
{
    // A row 400 K, 200 K, 100 K, surroundings inert. The middle cell gains
    // from the left before its own step, but its request to the right is
    // still made from 200 K.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "400", "0.5", "1") +
                            typeline(2, "200", "0.5", "1") + typeline(3, "100", "0.5", "1"),
                        {"123"}));
    const long double c = pub(0, 0).cocon;
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    const long double ab = share((ui() * c) * ((400.0L - 200.0L) / 2), 1);
    const long double bc = share((ui() * c) * ((200.0L - 100.0L) / 2), 1);
    EXPECT_BITS(400.0L - ab, pub(0, 0).totalcal);
    EXPECT_BITS((200.0L + ab) - bc, pub(1, 0).totalcal);
    EXPECT_BITS(100.0L + bc, pub(2, 0).totalcal);
}

TEST_F(Conduction, NothingIsClampedACellCanOvershoot)
{
    // A large coefficient against a small capacity: the hot cell ends
    // colder than the cell it fed.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "400", "30", "1") +
                            typeline(2, "100", "30", "1"),
                        {"12"}));
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    EXPECT_LT(pub(0, 0).totalcal, pub(1, 0).totalcal);
}

// ---- Attribution ------------------------------------------------------------------

TEST_F(Attribution, SenderWithoutTagsMovesNoAttribution)
{
    expectnochange(slots({{3, 7}}), slots({{0, 50}}), 10); // a quantity under tag 0 counts for nothing
}

TEST_F(Attribution, NoPositiveTotalMeansNoChange) { expectnochange(slots({}), slots({{1, 5}, {2, -5}}), 3); }

TEST_F(Attribution, HeatReleasedInACellGrowsItsTagsInProportion)
{
    ATTR cell = slots({{1, 30}, {2, 10}});
    addheat(&cell, nullptr, 8);
    expectslots(cell, {{1, 36}, {2, 12}});
}

// Each case moves `amount` from a sender holding `src` to a receiver
// holding `rec`, or to the surroundings, and expects both sides' slots.
struct MOVE {
    const char *behaviour;
    bool tosurroundings;
    SLOTS src, rec;
    long double amount;
    SLOTS srcafter, recafter;
};

TEST_F(Attribution, ConductedHeatCarriesItsTagsInProportionToTheirShares)
{
    const MOVE cases[] = {
        {"conducted heat carries its tags along", false, {{1, 30}, {2, 10}}, {{2, 5}}, 8, {{1, 24}, {2, 8}},
         {{2, 7}, {1, 6}}},
        {"heat into the surroundings takes its attribution along", true, {{1, 30}, {2, 10}}, {}, 8,
         {{1, 24}, {2, 8}}, {}},
        {"a tag with a share of 0 is registered all the same", false, {{1, 10}, {2, 0}}, {}, 4, {{1, 6}, {2, 0}},
         {{1, 4}, {2, 0}}},
        {"a negative quantity gives the other tag a share of two", false, {{1, 10}, {2, -5}}, {}, 3,
         {{1, 4}, {2, -5}}, {{1, 6}, {2, 0}}},
    };
    for (const MOVE &m : cases) {
        SCOPED_TRACE(m.behaviour);
        ATTR src = slots(m.src), rec = slots(m.rec);
        addheat(m.tosurroundings ? nullptr : &rec, &src, m.amount);
        expectslots(src, m.srcafter);
        expectslots(rec, m.recafter);
    }
}

TEST_F(Attribution, SharesAreRoundedToSinglePrecision)
{
    // 10 of 30 is a third: the float third, widened, times the amount.
    ATTR src = slots({{1, 10}, {2, 20}}), rec = slots({});
    const long double amount = 3;
    addheat(&rec, &src, amount);
    const float third = (float)(10.0L / 30.0L), twothirds = (float)(20.0L / 30.0L);
    EXPECT_BITS((long double)third * amount, load80(rec.sourcequan[0]));
    EXPECT_BITS((long double)twothirds * amount, load80(rec.sourcequan[1]));
    EXPECT_BITS(10.0L - (long double)third * amount, load80(src.sourcequan[0]));
    // Not the extended-precision third.
    EXPECT_FALSE(samebits((10.0L / 30.0L) * amount, load80(rec.sourcequan[0])));
}

TEST_F(Attribution, ShareIsRoundedOnceStraightToSinglePrecision)
{
    // A share of 1/2 + 2^-25 + 2^-61: just above the midpoint between two
    // floats, so rounded once it goes up to 1/2 + 2^-24. Rounded through a
    // double first it would land on the midpoint and then go down to 1/2.
    const long double share = 0.5L + std::ldexp(1.0L, -25) + std::ldexp(1.0L, -61);
    ATTR src = slots({{1, share}, {2, 1.0L - share}}), rec = slots({}); // the total is exactly 1
    addheat(&rec, &src, 64);
    EXPECT_BITS((0.5L + std::ldexp(1.0L, -24)) * 64, load80(rec.sourcequan[0]));
    EXPECT_BITS(share - (0.5L + std::ldexp(1.0L, -24)) * 64, load80(src.sourcequan[0]));
}

TEST_F(Attribution, FullReceiverGivesUpItsSmallestSlotLowestOnATie)
{
    ATTR rec = fullslots(50), src = slots({{1, 10}});
    store80(rec.sourcequan[3], 1.5L);
    store80(rec.sourcequan[7], 1.5L);
    EXPECT_EQ(3, findfreeslot(&rec, 1));
    addheat(&rec, &src, 4);
    EXPECT_EQ(1, rec.heatsource[3]);
    EXPECT_BITS(5.5L, load80(rec.sourcequan[3]));
    EXPECT_EQ(27, rec.heatsource[7]);
    EXPECT_BITS(1.5L, load80(rec.sourcequan[7]));
    for (int i = 0; i < NUMSLOTS; i++) {
        if (i != 3) {
            EXPECT_EQ(20 + i, rec.heatsource[i]);
        }
    }

    // A negative quantity is the smallest.
    store80(rec.sourcequan[11], -2);
    EXPECT_EQ(11, findfreeslot(&rec, 99));
}

TEST_F(Attribution, LaterPassesSeeSlotsTakenOverByEarlierOnes)
{
    // Receiver full with quantities 1, 2, 3, ...; two new tags arrive.
    ATTR rec = fullslots(1), src = slots({{100, 30}, {101, 10}});
    addheat(&rec, &src, 8);
    EXPECT_EQ(100, rec.heatsource[0]);
    EXPECT_BITS(7.0L, load80(rec.sourcequan[0])); // 1 + 6
    EXPECT_EQ(101, rec.heatsource[1]);
    EXPECT_BITS(4.0L, load80(rec.sourcequan[1])); // 2 + 2
}

TEST_F(Attribution, FindfreeslotPrefersOwnTagThenFirstEmpty)
{
    ATTR c = slots({{4, 0}, {9, 0}, {6, 0}});
    EXPECT_EQ(1, findfreeslot(&c, 9));
    EXPECT_EQ(3, findfreeslot(&c, 5));
    c = fullslots(1000, 0);
    EXPECT_EQ(9, findfreeslot(&c, 29)); // its own slot, not the smallest
}

TEST_F(Attribution, FindfreeslotWithOnlyNonFiniteQuantitiesGivesFourteen)
{
    ATTR c = fullslots(0);
    for (int i = 0; i < NUMSLOTS; i++)
        store80(c.sourcequan[i], (i % 2) ? std::numeric_limits<long double>::infinity()
                                         : std::numeric_limits<long double>::quiet_NaN());
    EXPECT_EQ(14, findfreeslot(&c, 1));
    // The largest finite value is not below the start of the scan either.
    for (int i = 0; i < NUMSLOTS; i++)
        store80(c.sourcequan[i], LDBL_MAX);
    EXPECT_EQ(14, findfreeslot(&c, 1));
    store80(c.sourcequan[5], std::nextafter(LDBL_MAX, 0.0L));
    EXPECT_EQ(5, findfreeslot(&c, 1));
}

TEST_F(Attribution, PlayerHeatWithTagZeroOrNoAmountChangesNothing)
{
    ATTR c = slots({{2, 10}});
    ATTR before = c;
    addheatfromplayer(&c, 100, 0);
    EXPECT_EQ(0, std::memcmp(&c, &before, sizeof c));
    addheatfromplayer(&c, 0, 3);
    EXPECT_EQ(0, std::memcmp(&c, &before, sizeof c));
    addheatfromplayer(&c, -5, 3);
    EXPECT_EQ(0, std::memcmp(&c, &before, sizeof c));
}

TEST_F(Attribution, PlayerHeatAddsToTheTagsOwnSlot)
{
    ATTR c = slots({{2, 10}, {5, 0.125L}});
    addheatfromplayer(&c, 100, 5);
    expectslots(c, {{2, 10}, {5, 100.125L}});
    addheatfromplayer(&c, 0.1L, 7);
    expectslots(c, {{2, 10}, {5, 100.125L}, {7, 0.1L}}); // a share of exactly 1
}

TEST_F(Attribution, FireAddsHundredCaloriesAndItsTagNothingOffTheMap)
{
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "100", "0", "2"), {"11", "11"}));
    addfire(testgame.world, 1, 0, 4);
    EXPECT_BITS(300.0L, pub(1, 0).totalcal);
    EXPECT_EQ(4, pub(1, 0).heatsource[0]);
    EXPECT_BITS(100.0L, pub(1, 0).sourcequan[0]);
    addfire(testgame.world, 1, 0, 4);
    EXPECT_BITS(400.0L, pub(1, 0).totalcal);
    EXPECT_BITS(200.0L, pub(1, 0).sourcequan[0]);
    EXPECT_EQ(0, pub(1, 0).heatsource[1]);

    ORACLEWORLD before = oracle_snapshot();
    MAPUNIT outsidebefore = testgame.world.outside;
    addfire(testgame.world, 2, 0, 4);
    addfire(testgame.world, 0, 2, 4);
    addfire(testgame.world, -1, 0, 4);
    addfire(testgame.world, 0, -1, 4);
    std::string diff;
    EXPECT_TRUE(oracle_same(before, &diff)) << diff;
    EXPECT_EQ(0, std::memcmp(&outsidebefore, &testgame.world.outside, sizeof testgame.world.outside));
}

TEST_F(Attribution, TagsFollowHeatThroughATick)
{
    // A fire in the middle of a 3 x 3 map that is inert to its surroundings;
    // after one tick each neighbour holds the fire's tag with exactly the
    // heat it received, and the centre's tag has lost all of it.
    loadmaptext(maptext(typeline(0, "100", "0", "1") + typeline(1, "100", "0.5", "1"),
                        {"111", "111", "111"}));
    const long double c = pub(1, 1).cocon;
    addfire(testgame.world, 1, 1, 3);
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    const long double amount = share((ui() * c) * ((200.0L - 100.0L) / 2), 8);
    const long double centre = repeated(100, -amount, 8); // share exactly 1
    for (long x = 0; x < 3; x++) {
        for (long y = 0; y < 3; y++) {
            if (x == 1 && y == 1)
                continue;
            EXPECT_EQ(3, pub(x, y).heatsource[0]);
            EXPECT_BITS(amount, pub(x, y).sourcequan[0]);
        }
    }
    EXPECT_BITS(centre, pub(1, 1).sourcequan[0]);
}

// ---- Combustion ------------------------------------------------------------------------

// A 1 x 1 map that conducts nothing, with one burnable cell of calperc 1.
static void burnmap(const char *fuel, const char *burnspeed, const char *calperf)
{
    loadmaptext(maptext(typeline(0, "300", "0", "1") +
                            typeline(1, "300", "0", "1", "300", fuel, burnspeed, calperf),
                        {"1"}));
}

TEST_F(Combustion, BurnsFromTheTruncatedIgnitionTemperature)
{
    burnmap("1", "1", "500");
    tickafter(0, 0, [](ORACELL &c) { c.totalcal = 299.99L; });
    EXPECT_BITS(299.99L, pub(0, 0).totalcal);
    EXPECT_BITS(1.0L, pub(0, 0).fuellevel);

    tickafter(0, 0, [](ORACELL &c) { c.totalcal = 300.0L; });
    const long double fuel2burn = ui() * 1.0L;
    EXPECT_BITS(1.0L - fuel2burn, pub(0, 0).fuellevel);
    EXPECT_BITS(300.0L + fuel2burn * 500.0L, pub(0, 0).totalcal);
}

TEST_F(Combustion, LastBurnLeavesExactlyNoFuelAndNeverBurnsAgain)
{
    burnmap("1", "1", "500");
    ORACLEWORLD w = tickafter(0, 0, [](ORACELL &c) { c.fuellevel = 0.05L; });
    EXPECT_BITS(0.0L, pub(0, 0).fuellevel);
    EXPECT_FALSE(std::signbit(pub(0, 0).fuellevel));
    const long double heat = 0.05L * 500.0L;
    EXPECT_BITS(300.0L + heat, pub(0, 0).totalcal);
    EXPECT_NEAR((double)heat, 25.0, 1e-15);
    const long double after = pub(0, 0).totalcal;
    tickboth(w, 3);
    EXPECT_BITS(after, pub(0, 0).totalcal);
    EXPECT_BITS(0.0L, pub(0, 0).fuellevel);
}

TEST_F(Combustion, BurnsTheTickLengthTimesBurnSpeedPerTick)
{
    burnmap("2", "1", "500");
    ORACLEWORLD w = oracle_snapshot();
    long double fuel = 2, heat = 300;
    for (int t = 0; t < 4; t++) {
        tickboth(w);
        const long double fuel2burn = ui() * 1.0L;
        fuel = fuel - fuel2burn;
        heat = heat + fuel2burn * 500.0L;
        EXPECT_BITS(fuel, pub(0, 0).fuellevel) << "tick " << t;
        EXPECT_BITS(heat, pub(0, 0).totalcal) << "tick " << t;
    }
    EXPECT_NEAR((double)(heat - 300), 4 * 50.0, 1e-12);
}

TEST_F(Combustion, BurnSpeedZeroBurnsNothing)
{
    burnmap("2", "0", "500");
    tickafter(0, 0, [](ORACELL &c) {
        c.heatsource[0] = 1;
        c.sourcequan[0] = 30;
    });
    EXPECT_BITS(2.0L, pub(0, 0).fuellevel);
    EXPECT_BITS(300.0L, pub(0, 0).totalcal);
    EXPECT_BITS(30.0L, pub(0, 0).sourcequan[0]);
}

TEST_F(Combustion, NoFuelNeverBurns)
{
    burnmap("0", "1", "500");
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    EXPECT_BITS(0.0L, pub(0, 0).fuellevel);
    EXPECT_BITS(300.0L, pub(0, 0).totalcal);
    tickafter(0, 0, [](ORACELL &c) { c.fuellevel = -1; });
    EXPECT_BITS(-1.0L, pub(0, 0).fuellevel);
    EXPECT_BITS(300.0L, pub(0, 0).totalcal);
}

TEST_F(Combustion, ReleasedHeatGoesToTheCellsOwnTags)
{
    // 0.0625 fuel (less than one tick's burn) at 128 calories: exactly 8.
    burnmap("1", "1", "128");
    tickafter(0, 0, [](ORACELL &c) {
        c.fuellevel = 0.0625L;
        c.heatsource[0] = 1;
        c.sourcequan[0] = 30;
        c.heatsource[1] = 2;
        c.sourcequan[1] = 10;
    });
    EXPECT_BITS(308.0L, pub(0, 0).totalcal);
    EXPECT_BITS(36.0L, pub(0, 0).sourcequan[0]);
    EXPECT_BITS(12.0L, pub(0, 0).sourcequan[1]);
}

TEST_F(Combustion, CellWithoutTagsReleasesUnattributedHeat)
{
    burnmap("1", "1", "128");
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w);
    EXPECT_GT(pub(0, 0).totalcal, 300.0L);
    for (int i = 0; i < NUMSLOTS; i++) {
        EXPECT_EQ(0, pub(0, 0).heatsource[i]);
        EXPECT_BITS(0.0L, pub(0, 0).sourcequan[i]);
    }
}

TEST_F(Combustion, SurroundingsNeverBurn)
{
    // The outside type is hot, fuelled and below its ignition point.
    loadmaptext(maptext(typeline(0, "900", "0", "1", "100", "5", "1", "500") +
                            typeline(1, "20", "0", "1"),
                        {"11", "11"}));
    MAPUNIT before = testgame.world.outside;
    ORACLEWORLD w = oracle_snapshot();
    tickboth(w, 3);
    EXPECT_EQ(0, std::memcmp(&before, &testgame.world.outside, sizeof testgame.world.outside));
}

// ---- Settling ------------------------------------------------------------------------

TEST(Settle, AFireStirsOnlyTheGroupsAroundIt)
{
    WORLD c;
    TICKSTATE ct;
    uniformworld(c, 10 * SETTLEWIDTH, 16, plaincell(600, 0.5L, 2));
    dophys(c, ct);
    EXPECT_EQ(10u, settledgroups(c)) << "a uniform world at the temperature of its surroundings settles at once";
    // A fire in group 4: it and its neighbours are computed; heat reaches
    // only as far as the fire's cell's neighbours in one tick.
    addfire(c, 4 * SETTLEWIDTH + 3, 5, 1);
    EXPECT_EQ(9u, settledgroups(c));
    dophys(c, ct);
    EXPECT_EQ(9u, settledgroups(c));
    EXPECT_EQ(0, c.settle.group[4]);
    // The heat spreads a cell per tick until it reaches the next groups.
    for (int t = 0; t < 6; t++)
        dophys(c, ct);
    EXPECT_EQ(7u, settledgroups(c));
    EXPECT_EQ(1, c.settle.group[2]);
    EXPECT_EQ(1, c.settle.group[6]);
}
