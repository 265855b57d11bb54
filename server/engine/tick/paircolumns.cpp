// The columns of a sweep in vector lanes. A column's temperatures,
// amounts and heat are computed as exact pairs (lanes/lanes.h) when every
// value they need has one; otherwise, or where a lane could not decide,
// the column is computed on the x87 unit, converting the pairs of its
// neighbours to long doubles first. Both give the same bits, so the two
// kinds of columns mix freely.
#include "engine/tick/combustion.h"
#include "engine/tick/scratch.h"

void sizepairs(COLUMNS &c, size_t Y)
{
    const size_t S = Y + 2 + LANEPAD;
    for (int i = 0; i < 3; i++) {
        c.hh[i].assign(S, 0);
        c.hl[i].assign(S, 0);
        c.th[i].resize(S);
        c.tl[i].resize(S);
        c.ah[i].resize(8 * S);
        c.al[i].resize(8 * S);
        c.tform[i] = c.aform[i] = 0;
    }
    c.oh.resize(S);
    c.ol.resize(S);
}

// The long double temperatures of ring column r, from its pairs.
static void temptold(COLUMNS &c, int r, long Y)
{
    if (c.tform[r] & FORMLD)
        return;
    long double *t = c.temp[r].data();
    bool ordered = true;
    for (long k = 0; k < Y + 2; k++) {
        t[k] = pairtold(c.th[r][(size_t)k], c.tl[r][(size_t)k]);
        ordered &= isordered(t[k]);
    }
    c.ordered[r] = ordered;
    c.tform[r] |= FORMLD;
}

// The 80-bit amounts of ring column r, from its pairs.
static void amttold(COLUMNS &c, int r, long Y)
{
    if (c.aform[r] & FORMLD)
        return;
    const size_t S = (size_t)Y + 2 + LANEPAD;
    const uint8_t *mask = maskof(c, r);
    PACKED80 *amt = c.amt[r].data();
    for (long y = 0; y < Y; y++)
        for (unsigned m = mask[y]; m; m &= m - 1) {
            const size_t t = (size_t)__builtin_ctz(m);
            store80(amt[y * 8 + (long)t], pairtold(c.ah[r][t * S + (size_t)y + 1], c.al[r][t * S + (size_t)y + 1]));
        }
    c.aform[r] |= FORMLD;
}

void filltemp(const TICKVIEW &w, COLUMNS &c, long x)
{
    const int r = ring(x);
    if (!c.lanes) {
        filltempx87(w, c, x);
        c.tform[r] = FORMLD;
        return;
    }
    const long Y = w.sizey;
    double *th = c.th[r].data(), *tl = c.tl[r].data();
    double outh, outl;
    bool ok = ldtopair(w.outside->totalcal / w.outside->calperc, outh, outl);
    uint32_t *m = c.mat[r].data();
    m[0] = m[Y + 1] = c.out;
    if (x < 0 || x >= w.sizex) {
        for (long k = 0; k < Y + 2; k++) {
            th[k] = outh;
            tl[k] = outl;
            m[k] = c.out;
        }
    } else {
        const size_t base = (size_t)x * (size_t)Y;
        const PACKED80 *heat = w.in->heat.data() + base;
        const uint16_t *type = w.type + base;
        double *hh = c.hh[r].data(), *hl = c.hl[r].data();
        for (long y = 0; y < Y; y++) {
            ok &= ldtopair(heat[y], hh[y], hl[y]);
            m[y + 1] = type[y];
        }
        ok = ok && c.lanes->temps(c.lanetables, m + 1, hh, hl, Y, th, tl);
        th[0] = th[Y + 1] = outh;
        tl[0] = tl[Y + 1] = outl;
    }
    if (ok) {
        c.tform[r] = FORMPAIRS;
    } else {
        filltempx87(w, c, x);
        c.tform[r] = FORMLD;
    }
}

void fillamounts(const TICKVIEW &w, COLUMNS &c, long x, SENDS *stored)
{
    const int r = ring(x);
    c.aform[r] = 0;
    if (x < 0 || x >= w.sizex)
        return; // never read
    const int rs[3] = {ring(x - 1), r, ring(x + 1)};
    const long Y = w.sizey;
    if (c.lanes && (c.tform[rs[0]] & c.tform[rs[1]] & c.tform[rs[2]] & FORMPAIRS)) {
        const long S = Y + 2 + LANEPAD;
        const double *th[3], *tl[3];
        const uint32_t *mat[3];
        for (int i = 0; i < 3; i++) {
            th[i] = c.th[rs[i]].data();
            tl[i] = c.tl[rs[i]].data();
            mat[i] = c.mat[rs[i]].data();
        }
        uint8_t *mask = maskof(c, r);
        if (c.lanes->amounts(c.lanetables, th, tl, mat, Y, S, c.ah[r].data(), c.al[r].data(), mask)) {
            c.aform[r] = FORMPAIRS;
            if (stored) {
                const int32_t *index = w.in->attrindex.data() + (size_t)x * (size_t)Y;
                for (long y = 0; y < Y; y++) {
                    if (index[y] < 0)
                        continue;
                    SENDS &sd = stored[index[y]];
                    sd.mask = mask[y];
                    for (unsigned b = mask[y]; b; b &= b - 1) {
                        const long t = __builtin_ctz(b);
                        sd.amt[t] = pairtold(c.ah[r][(size_t)(t * S + y + 1)], c.al[r][(size_t)(t * S + y + 1)]);
                    }
                }
            }
            return;
        }
    }
    for (int i = 0; i < 3; i++)
        temptold(c, rs[i], Y);
    fillamountsx87(w, c, x, stored);
    c.aform[r] = FORMLD;
}

bool gathercolumn(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long x)
{
    const long X = w.sizex, Y = w.sizey;
    const int rp = ring(x - 1), r = ring(x), rn = ring(x + 1);
    const bool prev = x > 0, next = x < X - 1;
    const bool pairs = c.lanes && (c.tform[r] & c.aform[r] & FORMPAIRS) && (!prev || (c.aform[rp] & FORMPAIRS)) &&
                       (!next || (c.aform[rn] & FORMPAIRS));
    const long S = Y + 2 + LANEPAD;
    const uint8_t *mask[3] = {maskof(c, rp) - 1, maskof(c, r) - 1, maskof(c, rn) - 1}; // [y + 1]
    const double *ah[3] = {c.ah[rp].data(), c.ah[r].data(), c.ah[rn].data()};
    const double *al[3] = {c.al[rp].data(), c.al[r].data(), c.al[rn].data()};
    if (!pairs || !c.lanes->gather(c.hh[r].data(), c.hl[r].data(), mask, ah, al, prev, next, Y, S, c.oh.data(),
                                   c.ol.data())) {
        if (prev)
            amttold(c, rp, Y);
        amttold(c, r, Y);
        if (next)
            amttold(c, rn, Y);
        temptold(c, r, Y);
        c.x87columns++;
        return gathercolumnx87(w, c, b, x);
    }
    c.paircolumns++;

    // The border lines and combustion, on the x87 unit.
    enum { E = 1, SE = 2, S_ = 4, SW = 8, W_ = 16, NW = 32, N_ = 64, NE = 128 };
    const uint8_t *mp = mask[0] + 1, *mc = mask[1] + 1, *mn = mask[2] + 1; // [y], rows -1 and Y read 0
    const size_t base = (size_t)x * (size_t)Y;
    PACKED80 *outheat = w.out->heat.data() + base;
    bool moved = false;
    for (long y = 0; y < Y; y++) {
        long double h = pairtold(c.oh[(size_t)y], c.ol[(size_t)y]);
        bool touched = mc[y] || (mc[y - 1] & S_) || (mc[y + 1] & N_) ||
                       (prev && ((mp[y - 1] & SE) || (mp[y] & E) || (mp[y + 1] & NE))) ||
                       (next && ((mn[y - 1] & SW) || (mn[y] & W_) || (mn[y + 1] & NW)));
        if (y == 0 || x == X - 1 || x == 0 || y == Y - 1)
            receiveborders(b, X, Y, x, y, h, touched);
        combustcell(
            w, c, base + (size_t)y, [&] { return pairtold(c.th[r][(size_t)y + 1], c.tl[r][(size_t)y + 1]); }, h,
            touched);
        store80(outheat[y], h);
        moved |= touched;
    }
    return moved;
}
