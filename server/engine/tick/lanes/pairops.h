// Exact 80-bit arithmetic in vector lanes. An extended value x (64-bit
// significand) whose magnitude lies well inside a double's normal range is
// held as the pair hi + lo: hi is x rounded to a double, lo = x - hi (at
// most 12 significant bits). Each operation forms the exact, or for
// division an almost exact, double-double result from error-free
// transforms (TwoSum, and products split by FMA) and rounds it to the
// 64-bit significand grid of its binade with ties to even, as the x87 unit
// does: the low part is rounded to a multiple of the grid step u by adding
// and subtracting 1.5 x 2^52 x u.
//
// Where the result is not known to be exact and its low part lies within
// 2^-30 u of a midpoint between two grid points, the error bound of the
// double-double result (below 2^-38 u) cannot decide the rounding: such a
// lane (about one in 10^9 on random operands, more on short ones) is
// recomputed on the x87 unit. A lane whose result lies outside the pair
// range ([2^-480, 2^480], or +0) is marked bad: the caller then computes
// its whole block on the x87 unit. So every result a lane keeps is the x87
// result, bit for bit.
//
// Pairs are canonical (hi is the value rounded to 53 bits), so two pairs
// compare by hi, then lo. Built with -ffp-contract=off: contraction would
// fuse the error-free transforms and break them.
//
// Included only by the per-instruction-set units, after lanes/simd.h.
#pragma once

#include "engine/tick/lanes/simd.h"

using D = VEC::D;
using M = VEC::M;

struct PAIR {
    D hi, lo;
};

inline constexpr double PAIRMIN = 0x1p-480; // smallest magnitude of a pair other than 0
inline constexpr double PAIRMAX = 0x1p480;  // largest

static inline PAIR loadpair(const double *hi, const double *lo) { return {VEC::load(hi), VEC::load(lo)}; }
static inline void storepair(double *hi, double *lo, PAIR p)
{
    VEC::store(hi, p.hi);
    VEC::store(lo, p.lo);
}

// a + b = s + e exactly.
__attribute__((always_inline)) static inline void twosum(D a, D b, D &s, D &e)
{
    s = VEC::add(a, b);
    const D bb = VEC::sub(s, a);
    e = VEC::add(VEC::sub(a, VEC::sub(s, bb)), VEC::sub(b, bb));
}

// The lanes whose hi lies outside the pair range (NaN, infinities, -0,
// subnormals and values too small or too large).
static inline M outofrange(D hi)
{
    const D a = VEC::abs(hi);
    const M inside = VEC::mand(VEC::ge(a, VEC::set1(PAIRMIN)), VEC::le(a, VEC::set1(PAIRMAX)));
    return VEC::mandnot(VEC::all(), VEC::mor(inside, VEC::iszerobits(hi)));
}

// x + y, where |y| is below about 2^-50 |x|, rounded to the 64-bit grid.
// `exact` marks the lanes where x + y is the exact result: there a
// midpoint is a true tie, and ties to even decides it. Lanes left undecided
// come back in `undecided`.
__attribute__((always_inline)) static inline PAIR round64(D x, D y, M exact, M &bad, M &undecided)
{
    D h, l;
    twosum(x, y, h, l); // h = x + y rounded to 53 bits, |l| <= half its ulp
    const D ah = VEC::abs(h);
    const D pow2 = VEC::andb(ah, VEC::bits(0x7ff0000000000000ull)); // 2^E <= |h|
    // A power of two with a low part of the other sign lies in the binade
    // below, whose grid is twice as fine.
    const M otherside = VEC::mor(VEC::mand(VEC::gt(h, VEC::zero()), VEC::lt(l, VEC::zero())),
                                 VEC::mand(VEC::lt(h, VEC::zero()), VEC::gt(l, VEC::zero())));
    const M below = VEC::mand(VEC::eq(ah, pow2), otherside);
    const D u = VEC::blend(below, VEC::mul(pow2, VEC::set1(0x1p-64)), VEC::mul(pow2, VEC::set1(0x1p-63)));
    const D c = VEC::mul(u, VEC::set1(0x1.8p52));
    const D k = VEC::sub(VEC::add(l, c), c); // l rounded to a multiple of u, ties to even
    const D d = VEC::abs(VEC::sub(l, k));
    const D half = VEC::mul(u, VEC::set1(0.5));
    undecided = VEC::mandnot(
        VEC::mand(VEC::le(VEC::sub(half, d), VEC::mul(u, VEC::set1(0x1p-30))), VEC::ne(h, VEC::zero())), exact);
    PAIR r;
    r.hi = VEC::add(h, k);
    r.lo = VEC::sub(k, VEC::sub(r.hi, h));
    bad = VEC::mor(bad, outofrange(r.hi));
    return r;
}

enum { OPADD, OPMUL, OPDIV };

// The undecided lanes of a op b, on the x87 unit.
template <int OP> __attribute__((noinline, cold)) static void x87lanes(PAIR a, PAIR b, M undecided, PAIR &r, M &bad)
{
    double v[6][VEC::N];
    VEC::store(v[0], a.hi), VEC::store(v[1], a.lo), VEC::store(v[2], b.hi), VEC::store(v[3], b.lo);
    VEC::store(v[4], r.hi), VEC::store(v[5], r.lo);
    unsigned refused = 0;
    for (unsigned m = VEC::tobits(undecided); m; m &= m - 1) {
        const int i = __builtin_ctz(m);
        const long double x = (long double)v[0][i] + v[1][i], y = (long double)v[2][i] + v[3][i];
        const long double z = OP == OPADD ? x + y : OP == OPMUL ? x * y : x / y;
        if (!ldtopair(z, v[4][i], v[5][i]))
            refused |= 1u << i;
    }
    r = {VEC::load(v[4]), VEC::load(v[5])};
    bad = VEC::mor(bad, VEC::frombits(refused));
}

template <int OP> static inline PAIR settle(PAIR a, PAIR b, PAIR r, M undecided, M &bad)
{
    if (VEC::tobits(undecided)) [[unlikely]]
        x87lanes<OP>(a, b, undecided, r, bad);
    return r;
}

__attribute__((always_inline)) static inline PAIR pairadd(PAIR a, PAIR b, M &bad)
{
    D s, e, t, f, m, g, h, l;
    twosum(a.hi, b.hi, s, e);
    twosum(a.lo, b.lo, t, f);
    twosum(e, t, m, g);
    twosum(s, m, h, l);
    // a + b = h + l + g + f exactly; the two sums below are exact in
    // most lanes (their residues are 0), and the result with them.
    D p, r1, q, r2;
    twosum(g, f, p, r1);
    twosum(l, p, q, r2);
    const M exact = VEC::mand(VEC::eq(r1, VEC::zero()), VEC::eq(r2, VEC::zero()));
    M undecided;
    const PAIR r = round64(h, q, exact, bad, undecided);
    return settle<OPADD>(a, b, r, undecided, bad);
}

static inline PAIR pairneg(PAIR a) { return {VEC::neg(a.hi), VEC::neg(a.lo)}; }

__attribute__((always_inline)) static inline PAIR pairsub(PAIR a, PAIR b, M &bad) { return pairadd(a, pairneg(b), bad); }

__attribute__((always_inline)) static inline PAIR pairmul(PAIR a, PAIR b, M &bad)
{
    // a * b = p + pe + p2 + e2 + p3 + e3 + p4 exactly (p4, 24 bits at
    // most, is exact).
    const D p = VEC::mul(a.hi, b.hi);
    const D pe = VEC::fms(a.hi, b.hi, p);
    const D p2 = VEC::mul(a.lo, b.hi);
    const D e2 = VEC::fms(a.lo, b.hi, p2);
    const D p3 = VEC::mul(a.hi, b.lo);
    const D e3 = VEC::fms(a.hi, b.lo, p3);
    const D p4 = VEC::mul(a.lo, b.lo);
    D s1, r1, s2, r2;
    twosum(pe, p2, s1, r1);
    twosum(s1, p3, s2, r2);
    // Short operands (most of a tick's: coefficients, small integers)
    // leave every term but p, pe, p2 and p3 at 0: the result is then exact,
    // and a midpoint a true tie.
    const D rest = VEC::add(VEC::add(VEC::add(r1, r2), VEC::add(e2, e3)), p4);
    const M exact = VEC::mand(VEC::mand(VEC::mand(VEC::eq(r1, VEC::zero()), VEC::eq(r2, VEC::zero())),
                                        VEC::mand(VEC::eq(e2, VEC::zero()), VEC::eq(e3, VEC::zero()))),
                              VEC::eq(p4, VEC::zero()));
    M undecided;
    const PAIR r = round64(p, VEC::add(s2, rest), exact, bad, undecided);
    return settle<OPMUL>(a, b, r, undecided, bad);
}

__attribute__((always_inline)) static inline PAIR pairdiv(PAIR a, PAIR b, M &bad)
{
    const D q1 = VEC::div(a.hi, b.hi);
    const D p = VEC::mul(q1, b.hi);
    const D pe = VEC::fms(q1, b.hi, p); // q1 * b.hi = p + pe exactly
    // The remainder a - q1 * b: a.hi - p is exact (p is within a factor
    // of two of a.hi).
    const D rem = VEC::add(VEC::sub(VEC::sub(a.hi, p), pe), VEC::fms(VEC::neg(q1), b.lo, VEC::neg(a.lo)));
    const D q2 = VEC::div(rem, b.hi);
    M undecided;
    const PAIR r = round64(q1, q2, VEC::none(), bad, undecided);
    return settle<OPDIV>(a, b, r, undecided, bad);
}

// a / 2: exact while the result stays in the pair range.
__attribute__((always_inline)) static inline PAIR pairhalf(PAIR a, M &bad)
{
    PAIR r{VEC::mul(a.hi, VEC::set1(0.5)), VEC::mul(a.lo, VEC::set1(0.5))};
    bad = VEC::mor(bad, outofrange(r.hi));
    return r;
}

// a > b for canonical pairs.
static inline M pairgt(PAIR a, PAIR b)
{
    return VEC::mor(VEC::gt(a.hi, b.hi), VEC::mand(VEC::eq(a.hi, b.hi), VEC::gt(a.lo, b.lo)));
}
