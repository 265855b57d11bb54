// The pair operations of every vector path this processor runs, against
// the x87 unit: every lane gives the x87 result bit for bit, in canonical
// form (near midpoints too, where a lane is recomputed on the x87 unit);
// values and results outside the pairs' range are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "engine/tick/lanes/lanes.h"
#include "extended.h"

namespace {

std::vector<TICKPATH> paths()
{
    std::vector<TICKPATH> p;
    for (TICKPATH t : {TICKPATH::avx2, TICKPATH::avx512})
        if (tickpathrunnable(t))
            p.push_back(t);
    return p;
}

long double randomld(std::mt19937_64 &g, int elo, int ehi)
{
    const uint64_t m = g() | (1ull << 63);
    const int e = elo + (int)(g() % (uint64_t)(ehi - elo + 1));
    const long double v = std::ldexp((long double)m, e - 63);
    return (g() & 1) ? -v : v;
}

long double x87op(int op, long double a, long double b)
{
    switch (op) {
    case 0:
        return a + b;
    case 1:
        return a - b;
    case 2:
        return a * b;
    default:
        return a / b;
    }
}

// Runs op over the operand pairs on every path; returns the fraction of
// lanes refused (the largest over the paths).
double check(int op, const std::vector<long double> &a, const std::vector<long double> &b)
{
    const size_t n = a.size();
    std::vector<double> ah(n), al(n), bh(n), bl(n), rh(n), rl(n);
    std::vector<uint8_t> bad(n);
    for (size_t i = 0; i < n; i++) {
        EXPECT_TRUE(ldtopair(a[i], ah[i], al[i]));
        EXPECT_TRUE(ldtopair(b[i], bh[i], bl[i]));
    }
    double worst = 0;
    for (TICKPATH p : paths()) {
        lanekernels(p)->arrayop(op, n, ah.data(), al.data(), bh.data(), bl.data(), rh.data(), rl.data(), bad.data());
        size_t undecided = 0, wrong = 0;
        for (size_t i = 0; i < n; i++) {
            if (bad[i]) {
                undecided++;
                continue;
            }
            const long double want = x87op(op, a[i], b[i]);
            const long double got = pairtold(rh[i], rl[i]);
            if (!samebits(want, got) || rh[i] != (double)want) {
                if (wrong++ < 5)
                    ADD_FAILURE() << tickpathname(p) << " op " << op << ": " << (double)a[i] << ", " << (double)b[i];
            }
        }
        EXPECT_EQ(wrong, 0u) << tickpathname(p) << " op " << op;
        worst = std::max(worst, (double)undecided / (double)n);
    }
    return worst;
}

size_t count()
{
    const char *c = std::getenv("KINDLER_PAIR_COUNT");
    return c ? (size_t)std::strtoull(c, nullptr, 10) : 400000;
}

TEST(PairLanes, RandomOperandsGiveTheX87Bits)
{
    std::mt19937_64 g(1);
    const size_t n = count();
    for (int op = 0; op < 4; op++) {
        std::vector<long double> a(n), b(n);
        for (size_t i = 0; i < n; i++) {
            a[i] = randomld(g, -20, 30);
            b[i] = randomld(g, -20, 30);
        }
        EXPECT_EQ(check(op, a, b), 0) << "op " << op;
    }
}

TEST(PairLanes, TiesCarriesCancellationAndPowersOfTwoGiveTheX87Bits)
{
    std::mt19937_64 g(2);
    const size_t n = count() / 4;
    std::vector<long double> a(n), b(n);
    for (int set = 0; set < 5; set++) {
        for (size_t i = 0; i < n; i++) {
            const long double x = randomld(g, -10, 10);
            const int ex = std::ilogb(x);
            switch (set) {
            case 0: // sums exactly on and beside a midpoint of the grid
                a[i] = x;
                b[i] = std::ldexp((long double)(g() % 4096) + 0.5L + (long double)((int)(g() % 3) - 1) * 0x1p-20L,
                                  ex - 63 - (int)(g() % 8));
                break;
            case 1: // near cancellation
                a[i] = x;
                b[i] = -x * (1 + std::ldexp((long double)((int64_t)(g() % 200) - 100), -60 - (int)(g() % 8)));
                break;
            case 2: // near powers of two, both sides
                a[i] = std::ldexp(1.0L + std::ldexp((long double)((int64_t)(g() % 64) - 32), -62), ex);
                b[i] = std::ldexp(1.0L - std::ldexp((long double)(g() % 32), -63), (int)(g() % 7) - 3);
                break;
            case 3: // few significant bits: exact products and quotients, and ties
                a[i] = std::ldexp((long double)(g() % 100000 + 1), (int)(g() % 40) - 20);
                b[i] = std::ldexp((long double)(g() % 1000 + 1), (int)(g() % 20) - 10);
                break;
            default: // operands far apart
                a[i] = x;
                b[i] = randomld(g, ex - 80, ex - 50);
                break;
            }
        }
        for (int op = 0; op < 4; op++)
            EXPECT_EQ(check(op, a, b), 0) << "set " << set << ", op " << op;
    }
}

TEST(PairLanes, ValuesOutsideThePairRangeAreRefused)
{
    double h, l;
    for (long double v : {0x1p600L, -0x1p-600L, (long double)INFINITY, (long double)NAN, -0.0L, 0x1p-16400L})
        EXPECT_FALSE(ldtopair(v, h, l)) << (double)v;
    EXPECT_TRUE(ldtopair(0.0L, h, l));
    EXPECT_TRUE(ldtopair(-0x1p470L, h, l));
    // Results that leave the range are refused.
    for (TICKPATH p : paths()) {
        std::vector<double> ah(8, 0x1p300), al(8, 0), bh(8, 0x1p300), bl(8, 0), rh(8), rl(8);
        std::vector<uint8_t> bad(8);
        lanekernels(p)->arrayop(2, 8, ah.data(), al.data(), bh.data(), bl.data(), rh.data(), rl.data(), bad.data());
        for (uint8_t x : bad)
            EXPECT_EQ(x, 1);
        bh.assign(8, 0);
        lanekernels(p)->arrayop(3, 8, ah.data(), al.data(), bh.data(), bl.data(), rh.data(), rl.data(), bad.data());
        for (uint8_t x : bad)
            EXPECT_EQ(x, 1);
    }
}

} // namespace
