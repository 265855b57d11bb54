// Conduction in the gather form, and each cell's combustion right after it.
//
// A source sends heat to the neighbours it is hotter than: each request is
// (interval x the smaller coefficient) x (half the temperature difference),
// and neighbour t receives request_t / (sum of requests) x request_t.
// Every request is worked out from the published temperatures. Instead of
// running the sources one after the other, each cell adds and subtracts the
// amounts it receives and sends in exactly the order the source-by-source
// sweep (x outer, y inner, then the four lines of border sources) would
// apply them to it: the sources of the column before, the cell above, its
// own sends in direction order, the cell below, the column after, then the
// border lines. So every cell gets the same bits in one pass over its
// neighbourhood, and columns can be split between threads.
#include <cstdint>
#include <cstring>

#include "engine/tick/combustion.h"
#include "engine/tick/scratch.h"

// An amount into a source's own record, or into a column's packed amounts.
static inline void putamount(long double &to, long double v) { to = v; }
static inline void putamount(PACKED80 &to, long double v) { store80(to, v); }

// The amounts one source at temperature ts sends to the neighbours it is
// hotter than (bit t of `hotter` for direction t), summing the requests in
// direction order. temp(t) is the neighbour's temperature, icocon(t) the
// interval times the smaller coefficient. Returns the directions with a
// request not 0. This form is for exactly N requests, written out so that
// the requests stay in the FPU's registers instead of going through memory.
template <int N, class TEMP, class ICOCON, class AMT>
static inline unsigned weighn(const long double &ts, unsigned hotter, TEMP temp, ICOCON icocon, AMT *amt)
{
    int dir[N];
    long double req[N];
#pragma GCC unroll 8
    for (int j = 0; j < N; j++) {
        dir[j] = __builtin_ctz(hotter);
        hotter &= hotter - 1;
    }
    long double wantedcal = 0;
#pragma GCC unroll 8
    for (int j = 0; j < N; j++) {
        req[j] = icocon(dir[j]) * ((ts - temp(dir[j])) / 2);
        wantedcal += req[j];
    }
    unsigned mask = 0;
#pragma GCC unroll 8
    for (int j = 0; j < N; j++) {
        if (req[j] != 0) {
            putamount(amt[dir[j]], (req[j] / wantedcal) * req[j]);
            mask |= 1u << dir[j];
        }
    }
    return mask;
}

// The number of bits set in each byte: the build targets processors
// without a population count instruction, where __builtin_popcount is a
// call into the runtime library.
static constexpr struct BITCOUNTS {
    uint8_t n[256];
    constexpr BITCOUNTS() : n()
    {
        for (int i = 1; i < 256; i++)
            n[i] = (uint8_t)(n[i >> 1] + (i & 1));
    }
} bitcounts;

// weighn for the number of requests (four, in most of a burning region):
// each count dispatches to the form written out for it.
template <class TEMP, class ICOCON, class AMT>
static inline unsigned weigh(const long double &ts, unsigned hotter, TEMP temp, ICOCON icocon, AMT *amt)
{
    switch (bitcounts.n[hotter & 0xff]) {
    case 0:
        return 0;
    case 1:
        return weighn<1>(ts, hotter, temp, icocon, amt);
    case 2:
        return weighn<2>(ts, hotter, temp, icocon, amt);
    case 3:
        return weighn<3>(ts, hotter, temp, icocon, amt);
    case 4:
        return weighn<4>(ts, hotter, temp, icocon, amt);
    case 5:
        return weighn<5>(ts, hotter, temp, icocon, amt);
    case 6:
        return weighn<6>(ts, hotter, temp, icocon, amt);
    case 7:
        return weighn<7>(ts, hotter, temp, icocon, amt);
    default:
        return weighn<8>(ts, hotter, temp, icocon, amt);
    }
}

// Temperature of the published cell at (x, y), or of the surroundings: the
// same quotient totalcal / calperc every time.
static inline long double tempof(const TICKVIEW &w, long x, long y)
{
    if (!inmap(w, x, y))
        return w.outside->totalcal / w.outside->calperc;
    size_t i = (size_t)x * (size_t)w.sizey + (size_t)y;
    return load80(w.in->heat[i]) / w.types[w.type[i]].calperc;
}

static inline long double coconof(const TICKVIEW &w, long x, long y)
{
    if (!inmap(w, x, y))
        return w.outside->cocon;
    return w.types[w.type[(size_t)x * (size_t)w.sizey + (size_t)y]].cocon;
}

void sourcesends(const TICKVIEW &w, long x, long y, SENDS &s)
{
    long double tr[8], cr[8];
    const long double ts = tempof(w, x, y), cs = coconof(w, x, y);
    const long double interval = (long double)w.interval;
    unsigned hotter = 0;
    for (int t = 0; t < 8; t++) {
        tr[t] = tempof(w, x + ddx[t], y + ddy[t]);
        cr[t] = coconof(w, x + ddx[t], y + ddy[t]);
        hotter |= (unsigned)(ts > tr[t]) << t;
    }
    s.mask = weigh(
        ts, hotter, [&](int t) { return tr[t]; }, [&](int t) { return interval * (cr[t] < cs ? cr[t] : cs); },
        s.amt);
}

void borderssends(const TICKVIEW &w, BORDERS &b)
{
    b.bottom.resize((size_t)w.sizex);
    b.top.resize((size_t)w.sizex);
    b.right.resize((size_t)w.sizey);
    b.left.resize((size_t)w.sizey);
    for (long x = 0; x < w.sizex; x++) {
        sourcesends(w, x, -1, b.bottom[(size_t)x]);
        sourcesends(w, x, w.sizey, b.top[(size_t)x]);
    }
    for (long y = 0; y < w.sizey; y++) {
        sourcesends(w, w.sizex, y, b.right[(size_t)y]);
        sourcesends(w, -1, y, b.left[(size_t)y]);
    }
}

// ---------------------------------------------------------------------------
// The columns of one sweep

// Temperatures and materials of column x (which may be off the map) into
// the rolling buffers.
void filltempx87(const TICKVIEW &w, COLUMNS &c, long x)
{
    long Y = w.sizey;
    long double *t = c.temp[ring(x)].data();
    uint32_t *m = c.mat[ring(x)].data();
    long double tout = w.outside->totalcal / w.outside->calperc;
    t[0] = t[Y + 1] = tout;
    m[0] = m[Y + 1] = c.out;
    bool ordered = isordered(tout);
    if (x < 0 || x >= w.sizex) {
        for (long y = 1; y <= Y; y++) {
            copy80(&t[y], &t[0]);
            m[y] = c.out;
        }
        c.ordered[ring(x)] = ordered;
        return;
    }
    size_t base = (size_t)x * (size_t)Y;
    const PACKED80 *heat = w.in->heat.data() + base;
    const uint16_t *type = w.type + base;
    for (long y = 0; y < Y; y++) {
        m[y + 1] = type[y];
        // A cell of the material and heat of the one before has its very
        // quotient: no division.
        if (y > 0 && type[y] == type[y - 1] && samebits(heat[y], heat[y - 1])) {
            copy80(&t[y + 1], &t[y]);
            continue;
        }
        t[y + 1] = load80(heat[y]) / w.types[type[y]].calperc;
        ordered &= isordered(t[y + 1]);
    }
    c.ordered[ring(x)] = ordered;
}

// Neighbours by direction: the column (0 before, 1 this, 2 after) and the
// row offset.
static const int dcol[8] = {2, 2, 1, 0, 0, 0, 1, 2};
static const int drow[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// The amounts of the sources of column x. When `stored` is given, the
// amounts of the cells that hold tags at the start of the tick are kept
// there too (by their entry), for the attribution pass.
void fillamountsx87(const TICKVIEW &w, COLUMNS &c, long x, SENDS *stored)
{
    uint8_t *mask = maskof(c, ring(x));
    if (x < 0 || x >= w.sizex)
        return; // never read
    PACKED80 *amt = c.amt[ring(x)].data();
    const long double *T[3] = {c.temp[ring(x - 1)].data(), c.temp[ring(x)].data(), c.temp[ring(x + 1)].data()};
    const uint32_t *M[3] = {c.mat[ring(x - 1)].data(), c.mat[ring(x)].data(), c.mat[ring(x + 1)].data()};
    const bool ordered = c.ordered[ring(x - 1)] && c.ordered[ring(x)] && c.ordered[ring(x + 1)];
    const long double *tp = T[0], *tc = T[1], *tn = T[2];
    const long double *cocon = c.cocon, *icocon = c.icocon;
    for (long y = 0; y < w.sizey; y++) {
        long k = y + 1;
        const long double &ts = tc[k];
        // The neighbours the cell is hotter than: only those get a request.
        unsigned hotter = 0;
        if (ordered) {
            // Most of a quiet world is uniform: a cell whose eight
            // neighbours hold the very same temperature sends nothing.
            if (samebits(ts, tn[k]) && samebits(ts, tn[k + 1]) && samebits(ts, tc[k + 1]) &&
                samebits(ts, tp[k + 1]) && samebits(ts, tp[k]) && samebits(ts, tp[k - 1]) &&
                samebits(ts, tc[k - 1]) && samebits(ts, tn[k - 1])) {
                hotter = 0;
            } else {
                for (int t = 0; t < 8; t++)
                    hotter |= (unsigned)orderedgreater(ts, T[dcol[t]][k + drow[t]]) << t;
            }
        } else {
            for (int t = 0; t < 8; t++)
                hotter |= (unsigned)(ts > T[dcol[t]][k + drow[t]]) << t;
        }
        const uint32_t ms = M[1][k];
        const unsigned m = weigh(
            ts, hotter, [&](int t) -> const long double & { return T[dcol[t]][k + drow[t]]; },
            [&](int t) {
                // The coefficients of one material need no comparison.
                const uint32_t mr = M[dcol[t]][k + drow[t]];
                return mr == ms ? icocon[ms] : cocon[mr] < cocon[ms] ? icocon[mr] : icocon[ms];
            },
            amt + y * 8);
        mask[y] = (uint8_t)m;
        if (stored) {
            int32_t e = w.in->attrindex[(size_t)x * (size_t)w.sizey + (size_t)y];
            if (e >= 0) {
                SENDS &sd = stored[e];
                sd.mask = m;
                for (unsigned b = m; b; b &= b - 1) {
                    const int t = __builtin_ctz(b);
                    sd.amt[t] = load80(amt[y * 8 + t]);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Gathering what one cell receives and sends

// The amounts of three columns of sources around the cell being gathered.
struct NEAR {
    const uint8_t *mask[3];    // columns before, this, after
    const PACKED80 *amt[3];
};

// What the source at column COL (0 before, 1 this, 2 after) and row y + ROW
// sends in direction DIR (towards the cell being gathered), if `there`.
template <int COL, int ROW, int DIR>
static inline void receive(const NEAR &n, long y, bool there, long double &h, bool &touched)
{
    if (there && (n.mask[COL][y + ROW] & (1u << DIR))) {
        h += load80(n.amt[COL][(y + ROW) * 8 + DIR]);
        touched = true;
    }
}

// The direction from a neighbour to a cell (dx, dy from the neighbour).
static inline int dirto(long dx, long dy)
{
    static const int dir[3][3] = {{NW, W, SW}, {N, -1, S}, {NE, E, SE}};
    return dir[dx + 1][dy + 1];
}

static inline void receiveborder(const SENDS &s, int dir, long double &h, bool &touched)
{
    if (s.mask & (1u << dir)) {
        h += s.amt[dir];
        touched = true;
    }
}

// What an edge cell (x, y) receives from the border lines, in the order
// the sweep runs them: (x', -1), (X, y'), (-1, y'), (x', Y).
void receiveborders(const BORDERS &b, long X, long Y, long x, long y, long double &h, bool &touched)
{
    if (y == 0)
        for (long s = x - 1; s <= x + 1; s++)
            if (s >= 0 && s < X)
                receiveborder(b.bottom[(size_t)s], dirto(x - s, 1), h, touched);
    if (x == X - 1)
        for (long s = y - 1; s <= y + 1; s++)
            if (s >= 0 && s < Y)
                receiveborder(b.right[(size_t)s], dirto(-1, y - s), h, touched);
    if (x == 0)
        for (long s = y - 1; s <= y + 1; s++)
            if (s >= 0 && s < Y)
                receiveborder(b.left[(size_t)s], dirto(1, y - s), h, touched);
    if (y == Y - 1)
        for (long s = x - 1; s <= x + 1; s++)
            if (s >= 0 && s < X)
                receiveborder(b.top[(size_t)s], dirto(x - s, -1), h, touched);
}

// Conduction into and out of every cell of column x, then its combustion.
// True when something moved: an amount sent or received, or fuel burnt.
bool gathercolumnx87(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long x)
{
    const long X = w.sizex, Y = w.sizey;
    const NEAR n = {{maskof(c, ring(x - 1)), maskof(c, ring(x)), maskof(c, ring(x + 1))},
                    {c.amt[ring(x - 1)].data(), c.amt[ring(x)].data(), c.amt[ring(x + 1)].data()}};
    const long double *tc = c.temp[ring(x)].data();
    const bool prev = x > 0, next = x < X - 1;
    const size_t base = (size_t)x * (size_t)Y;
    const PACKED80 *inheat = w.in->heat.data() + base;
    PACKED80 *outheat = w.out->heat.data() + base;
    bool moved = false;

    for (long y = 0; y < Y; y++) {
        long double h = load80(inheat[y]);
        bool touched = false;
        const bool up = y > 0, down = y < Y - 1;
        if (prev) { // the column before: the cells above, beside and below
            receive<0, -1, SE>(n, y, up, h, touched);
            receive<0, 0, E>(n, y, true, h, touched);
            receive<0, 1, NE>(n, y, down, h, touched);
        }
        receive<1, -1, S>(n, y, up, h, touched);
        if (unsigned m = n.mask[1][y]) { // its own sends, in direction order
            touched = true;
            for (int t = 0; t < 8; t++)
                if (m & (1u << t))
                    h -= load80(n.amt[1][y * 8 + t]);
        }
        receive<1, 1, N>(n, y, down, h, touched);
        if (next) { // the column after
            receive<2, -1, SW>(n, y, up, h, touched);
            receive<2, 0, W>(n, y, true, h, touched);
            receive<2, 1, NW>(n, y, down, h, touched);
        }
        if (y == 0 || x == X - 1 || x == 0 || y == Y - 1)
            receiveborders(b, X, Y, x, y, h, touched);

        combustcell(w, c, base + (size_t)y, [&] { return tc[y + 1]; }, h, touched);
        store80(outheat[y], h);
        moved |= touched;
    }
    return moved;
}

// Sweeps the columns [lo, hi), all computed.
static void sweep(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long lo, long hi, SENDS *stored,
                  std::atomic<long> *progress, uint8_t *moved)
{
    size_t Y = (size_t)w.sizey;
    for (int i = 0; i < 3; i++) {
        c.temp[i].resize(Y + 2);
        c.mat[i].assign(Y + 2 + LANEPAD, c.out);
        c.amt[i].resize(Y * 8);
        c.mask[i].assign(Y + 2 + LANEPAD, 0);
    }
    if (c.lanes)
        sizepairs(c, Y);
    filltemp(w, c, lo - 2);
    filltemp(w, c, lo - 1);
    filltemp(w, c, lo);
    fillamounts(w, c, lo - 1, nullptr);
    filltemp(w, c, lo + 1);
    fillamounts(w, c, lo, lo < hi ? stored : nullptr);
    if (progress && lo < hi)
        progress->store(lo + 1, std::memory_order_release);
    for (long x = lo; x < hi; x++) {
        filltemp(w, c, x + 2);
        fillamounts(w, c, x + 1, x + 1 < hi ? stored : nullptr);
        if (progress && x + 1 < hi)
            progress->store(x + 2, std::memory_order_release);
        moved[x] = gathercolumn(w, c, b, x);
    }
}

void sweepparts(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long lo, long hi, SENDS *stored,
                std::atomic<long> *progress, const uint8_t *skip, uint8_t *moved)
{
    c.burns.clear();
    for (long x = lo; x < hi;) {
        if (skip[x]) {
            x++;
            continue;
        }
        long end = x;
        while (end < hi && !skip[end])
            end++;
        sweep(w, c, b, x, end, stored, progress, moved);
        x = end;
    }
}
