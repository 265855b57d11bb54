// The column stages of the tick in vector lanes (see lanes.h), written once
// for both instruction sets: each of lanes/avx2.cpp and lanes/avx512.cpp
// includes this inside an anonymous namespace, after lanes/pairops.h.
#pragma once

#include "engine/tick/lanes/lanes.h"
#include "engine/tick/lanes/pairops.h"

enum { NL = VEC::N };

// The lanes of the vector at row y that are rows of the map.
static inline M rowsof(long y, long sizey)
{
    const long left = sizey - y;
    return left >= (long)NL ? VEC::all() : VEC::frombits((1u << left) - 1);
}

static bool stagetemps(const LANETABLES &tb, const uint32_t *mat, const double *hh, const double *hl, long sizey,
                       double *th, double *tl)
{
    M bad = VEC::none();
    for (long y = 0; y < sizey; y += NL) {
        const VEC::I m = VEC::loadidx(mat + y);
        const PAIR cp{VEC::gather(tb.cphi, m), VEC::gather(tb.cplo, m)};
        M b = VEC::none();
        const PAIR t = pairdiv(loadpair(hh + y, hl + y), cp, b);
        storepair(th + y + 1, tl + y + 1, t);
        bad = VEC::mor(bad, VEC::mand(b, rowsof(y, sizey)));
    }
    return VEC::tobits(bad) == 0;
}

// Neighbours by direction: the column (0 before, 1 this, 2 after) and the
// row offset, anticlockwise from +x.
static const int lanedcol[8] = {2, 2, 1, 0, 0, 0, 1, 2};
static const int lanedrow[8] = {0, 1, 1, 1, 0, -1, -1, -1};

static bool stageamounts(const LANETABLES &tb, const double *const th[3], const double *const tl[3],
                         const uint32_t *const mat[3], long sizey, long stride, double *ah, double *al,
                         uint8_t *mask)
{
    M bad = VEC::none();
    for (long y = 0; y < sizey; y += NL) {
        const long k = y + 1;
        const M rows = rowsof(y, sizey);
        const PAIR ts = loadpair(th[1] + k, tl[1] + k);
        const VEC::I ms = VEC::loadidx(mat[1] + k);
        const PAIR icself{VEC::gather(tb.ichi, ms), VEC::gather(tb.iclo, ms)};
        PAIR req[8];
        M sel[8];
        PAIR wanted{VEC::zero(), VEC::zero()};
        unsigned any = 0;
        for (int t = 0; t < 8; t++) {
            sel[t] = VEC::none();
            const long at = k + lanedrow[t];
            const PAIR tr = loadpair(th[lanedcol[t]] + at, tl[lanedcol[t]] + at);
            const M hot = VEC::mand(pairgt(ts, tr), rows);
            if (VEC::tobits(hot) == 0)
                continue;
            // The smaller coefficient; one material needs no comparison.
            const VEC::I mr = VEC::loadidx(mat[lanedcol[t]] + at);
            const M same = VEC::sameidx(mr, ms);
            PAIR ic = icself;
            if (VEC::tobits(VEC::mandnot(hot, same)) != 0) {
                const PAIR ccr{VEC::gather(tb.cchi, mr), VEC::gather(tb.cclo, mr)};
                const PAIR ccs{VEC::gather(tb.cchi, ms), VEC::gather(tb.cclo, ms)};
                const M less = VEC::mandnot(pairgt(ccs, ccr), same);
                ic.hi = VEC::blend(less, VEC::gather(tb.ichi, mr), icself.hi);
                ic.lo = VEC::blend(less, VEC::gather(tb.iclo, mr), icself.lo);
            }
            M b = VEC::none();
            req[t] = pairmul(ic, pairhalf(pairsub(ts, tr, b), b), b);
            bad = VEC::mor(bad, VEC::mand(b, hot));
            sel[t] = VEC::mand(hot, VEC::ne(req[t].hi, VEC::zero()));
            if (VEC::tobits(sel[t]) == 0)
                continue;
            any |= 1u << t;
            M b2 = VEC::none();
            const PAIR sum = pairadd(wanted, req[t], b2);
            bad = VEC::mor(bad, VEC::mand(b2, sel[t]));
            wanted.hi = VEC::blend(sel[t], sum.hi, wanted.hi);
            wanted.lo = VEC::blend(sel[t], sum.lo, wanted.lo);
        }
        uint8_t bytes[NL] = {};
        for (unsigned a = any; a; a &= a - 1) {
            const int t = __builtin_ctz(a);
            M b = VEC::none();
            const PAIR amt = pairmul(pairdiv(req[t], wanted, b), req[t], b);
            bad = VEC::mor(bad, VEC::mand(b, sel[t]));
            storepair(ah + (long)t * stride + k, al + (long)t * stride + k, amt);
            for (unsigned s = VEC::tobits(sel[t]); s; s &= s - 1)
                bytes[__builtin_ctz(s)] |= (uint8_t)(1u << t);
        }
        const long n = sizey - y < (long)NL ? sizey - y : (long)NL;
        for (long i = 0; i < n; i++)
            mask[y + i] = bytes[i];
    }
    return VEC::tobits(bad) == 0;
}

// Adds (sign +1) or subtracts the amounts of direction dir sent by the
// column c's sources at rows y + row, in the lanes where they are sent.
static inline void gatherterm(PAIR &h, M &bad, const uint8_t *const mask[3], const double *const ah[3],
                              const double *const al[3], long stride, int c, long k, int row, int dir, bool add)
{
    const M sel = VEC::bytebit(mask[c] + k + row, 1u << dir);
    if (VEC::tobits(sel) == 0)
        return;
    const long at = (long)dir * stride + k + row;
    M b = VEC::none();
    const PAIR a = loadpair(ah[c] + at, al[c] + at);
    const PAIR r = add ? pairadd(h, a, b) : pairsub(h, a, b);
    h.hi = VEC::blend(sel, r.hi, h.hi);
    h.lo = VEC::blend(sel, r.lo, h.lo);
    bad = VEC::mor(bad, VEC::mand(b, sel));
}

static bool stagegather(const double *hh, const double *hl, const uint8_t *const mask[3], const double *const ah[3],
                        const double *const al[3], bool prev, bool next, long sizey, long stride, double *oh,
                        double *ol)
{
    enum { E, SE, S, SW, W, NW, N, NE };
    M bad = VEC::none();
    for (long y = 0; y < sizey; y += NL) {
        const long k = y + 1;
        const M rows = rowsof(y, sizey);
        PAIR h = loadpair(hh + y, hl + y);
        M b = outofrange(h.hi);
        if (prev) {
            gatherterm(h, b, mask, ah, al, stride, 0, k, -1, SE, true);
            gatherterm(h, b, mask, ah, al, stride, 0, k, 0, E, true);
            gatherterm(h, b, mask, ah, al, stride, 0, k, 1, NE, true);
        }
        gatherterm(h, b, mask, ah, al, stride, 1, k, -1, S, true);
        for (int t = 0; t < 8; t++)
            gatherterm(h, b, mask, ah, al, stride, 1, k, 0, t, false);
        gatherterm(h, b, mask, ah, al, stride, 1, k, 1, N, true);
        if (next) {
            gatherterm(h, b, mask, ah, al, stride, 2, k, -1, SW, true);
            gatherterm(h, b, mask, ah, al, stride, 2, k, 0, W, true);
            gatherterm(h, b, mask, ah, al, stride, 2, k, 1, NW, true);
        }
        bad = VEC::mor(bad, VEC::mand(b, rows));
        storepair(oh + y, ol + y, h);
    }
    return VEC::tobits(bad) == 0;
}

static void stagearrayop(int op, size_t n, const double *ah, const double *al, const double *bh, const double *bl,
                         double *rh, double *rl, uint8_t *bad)
{
    for (size_t i = 0; i + NL <= n; i += NL) {
        const PAIR a = loadpair(ah + i, al + i), b = loadpair(bh + i, bl + i);
        M m = VEC::none();
        const PAIR r = op == 0 ? pairadd(a, b, m) : op == 1 ? pairsub(a, b, m) : op == 2 ? pairmul(a, b, m) : pairdiv(a, b, m);
        storepair(rh + i, rl + i, r);
        const unsigned bits = VEC::tobits(m);
        for (int j = 0; j < NL; j++)
            bad[i + (size_t)j] = (uint8_t)((bits >> j) & 1);
    }
}
