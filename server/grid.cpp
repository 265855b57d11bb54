// The fast tick over the compact world. See grid.h for the layout and for
// why the order of work here gives the plain sweep's results bit for bit.
#include "grid.h"
#include "scorefunc.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <cfloat>
#include <cstddef>
#include <cstring>
#include <functional>
#include <thread>

#include <emmintrin.h>
#include <unistd.h>

// Neighbour offsets, anticlockwise from +x.
static const int ddx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
static const int ddy[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// True when two long doubles have the same 80 significant bits.
static inline bool samebits10(const long double &a, const long double &b)
{
    uint64_t ma, mb;
    uint16_t ea, eb;
    std::memcpy(&ma, &a, 8);
    std::memcpy(&mb, &b, 8);
    std::memcpy(&ea, (const char *)&a + 8, 2);
    std::memcpy(&eb, (const char *)&b + 8, 2);
    return ma == mb && ea == eb;
}

// ---------------------------------------------------------------------------
// Attribution on compact entries (the rules of addheat and findfreeslot)

int attrslot(const ATTR *unit, int heatsourcenum)
{
    return slotfor(unit->heatsource, unit->sourcequan, heatsourcenum);
}

bool attrblank(const int *heatsource, const long double *sourcequan)
{
    const long double zero = 0;
    for (int s = 0; s < NUMSLOTS; s++)
        if (heatsource[s] != 0 || !samebits10(sourcequan[s], zero))
            return false;
    return true;
}

// Bit i set where slot i holds a tag: the fifteen tags compared at once.
static inline unsigned attrused(const ATTR *unit)
{
    static_assert(NUMSLOTS == 15 && offsetof(ATTR, sourcequan) >= 16 * sizeof(int),
                  "the tags and the padding after them fill four 16-byte loads");
    unsigned used = 0;
    for (int q = 0; q < 4; q++) {
        __m128i v;
        std::memcpy(&v, (const char *)unit->heatsource + 16 * q, 16);
        const __m128i zero = _mm_cmpeq_epi32(v, _mm_setzero_si128());
        used |= (unsigned)(~_mm_movemask_ps(_mm_castsi128_ps(zero)) & 0xf) << (4 * q);
    }
    return used & ((1u << NUMSLOTS) - 1);
}

// The used slots of a unit and their tags, in slot order. A sender's list
// holds for all its moves of a tick: they change its quantities only.
struct SLOTLIST {
    int m;
    int slot[NUMSLOTS];
    int tag[NUMSLOTS];
};

static inline void listslots(const ATTR *unit, SLOTLIST &l)
{
    l.m = 0;
    for (unsigned b = attrused(unit); b; b &= b - 1) {
        const int i = __builtin_ctz(b);
        l.slot[l.m] = i;
        l.tag[l.m++] = unit->heatsource[i];
    }
}

// Sum of the quantities of the listed slots, in slot order.
static inline long double listtotal(const ATTR *unit, const SLOTLIST &l)
{
    long double totalheat = 0;
    for (int j = 0; j < l.m; j++)
        totalheat += unit->sourcequan[l.slot[j]];
    return totalheat;
}

// attrmove with the used slots of the sender (or, without one, of the
// receiver) listed in l.
static void attrmovelisted(ATTR *rec, ATTR *src, const SLOTLIST &l, long double heat2add)
{
    // A missing sender is a scratch copy of the receiver, and a missing
    // receiver one of the sender. The shares are all taken before any slot
    // changes, so the scratch copy is never needed: the shares come from
    // the receiver itself, and what the copy would lose or gain is dropped.
    const ATTR *from = src ? src : rec;
    const int m = l.m;
    if (m == 0)
        return;
    const long double totalheat = listtotal(from, l);
    if (!(totalheat > 0))
        return;
    float prec[NUMSLOTS];
    if (m == 1 && totalheat < INFINITY) {
        // The total is the one quantity (0 + q): its share q / q is 1.
        prec[0] = 1.0f;
    } else {
        for (int j = 0; j < m; j++) {
            long double q = from->sourcequan[l.slot[j]];
            prec[j] = q > 0 ? (float)(q / totalheat) : 0.0f;
        }
    }
    for (int j = 0; j < m; j++) {
        long double part = (long double)prec[j] * heat2add;
        if (rec) {
            int slot = attrslot(rec, l.tag[j]);
            rec->heatsource[slot] = l.tag[j];
            rec->sourcequan[slot] = part + rec->sourcequan[slot];
        }
        if (src)
            src->sourcequan[l.slot[j]] = src->sourcequan[l.slot[j]] - part;
    }
}

void attrmove(ATTR *rec, ATTR *src, long double heat2add)
{
    SLOTLIST l;
    listslots(src ? src : rec, l);
    attrmovelisted(rec, src, l, heat2add);
}

// Index of a new empty entry of g for cell i (not yet listed in g.tagged).
static int32_t newentry(GRID &g, size_t i)
{
    ATTR empty;
    std::memset(&empty, 0, sizeof empty);
    g.pool.push_back(empty);
    g.attrindex[i] = (int32_t)(g.pool.size() - 1);
    return g.attrindex[i];
}

ATTR &attrentry(GRID &g, size_t i)
{
    if (g.attrindex[i] < 0) {
        newentry(g, i);
        auto at = std::lower_bound(g.tagged.begin(), g.tagged.end(), (uint32_t)i);
        g.tagged.insert(at, (uint32_t)i);
    }
    return g.pool[(size_t)g.attrindex[i]];
}

// ---------------------------------------------------------------------------
// Conduction amounts

// The amounts one source sends, by direction; bit t of mask is set where
// the plain sweep applies amount t (a request that is not 0).
struct SENDS {
    long double amt[8];
    unsigned mask;
};

static inline bool inmap(const TICKWORLD &w, long x, long y)
{
    return x >= 0 && x < w.sizex && y >= 0 && y < w.sizey;
}

// Temperature of the published cell at (x, y), or of the surroundings: the
// same quotient totalcal / calperc every time.
static inline long double tempof(const TICKWORLD &w, long x, long y)
{
    if (!inmap(w, x, y))
        return w.outside->totalcal / w.outside->calperc;
    size_t i = (size_t)x * (size_t)w.sizey + (size_t)y;
    return w.in->heat[i] / w.types[w.type[i]].calperc;
}

static inline long double coconof(const TICKWORLD &w, long x, long y)
{
    if (!inmap(w, x, y))
        return w.outside->cocon;
    return w.types[w.type[(size_t)x * (size_t)w.sizey + (size_t)y]].cocon;
}

// The amounts one source sends to the neighbours it is hotter than (bit t
// of `hotter` for direction t): req = (interval * min(cocon)) * ((ts - tr)
// / 2), summed in direction order into wanted, amount = (req / wanted) *
// req. temp(t) is the neighbour's temperature, icocon(t) interval times
// the smaller coefficient. Returns the directions with a request not 0.
// This form is for exactly N requests, written out so that the requests
// stay in the FPU's registers instead of going through memory.
template <int N, class TEMP, class ICOCON>
static inline unsigned weighn(const long double &ts, unsigned hotter, TEMP temp, ICOCON icocon, long double *amt)
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
            amt[dir[j]] = (req[j] / wantedcal) * req[j];
            mask |= 1u << dir[j];
        }
    }
    return mask;
}

// weigh, by the number of requests (four, in most of a burning region).
template <class TEMP, class ICOCON>
static inline unsigned weigh(const long double &ts, unsigned hotter, TEMP temp, ICOCON icocon, long double *amt)
{
    switch (__builtin_popcount(hotter)) {
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

// The amounts of the source at (x, y), which may be a border position,
// computed from scratch.
static void sourcesends(const TICKWORLD &w, long x, long y, SENDS &s)
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

// The amounts of the four lines of border sources.
struct BORDERS {
    std::vector<SENDS> bottom; // (x, -1)
    std::vector<SENDS> right;  // (mapsizex, y)
    std::vector<SENDS> left;   // (-1, y)
    std::vector<SENDS> top;    // (x, mapsizey)
};

static void borderssends(const TICKWORLD &w, BORDERS &b)
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
// The gather sweep over a range of columns

// Rolling buffers of one sweeping thread: temperatures and materials of
// three columns (with the surroundings above and below), amounts of three
// columns of sources.
struct COLUMNS {
    std::vector<long double> temp[3]; // [y + 1], 0 and sizey + 1 outside
    std::vector<uint32_t> mat[3];     // likewise: material, or `out` for the surroundings
    bool ordered[3] = {};             // every temperature of the column is >= 0 and finite
    std::vector<long double> amt[3];  // [y * 8 + t]
    std::vector<uint8_t> mask[3];     // [y]
    std::vector<BURN> burns;
    // Per material (and the surroundings at index `out`), for this tick:
    // the coefficient and interval * coefficient.
    const long double *cocon = nullptr;
    const long double *icocon = nullptr;
    uint32_t out = 0;
    // Per material: heat below coldbelow certainly gives a temperature
    // under the ignition point, heat above hotabove one at or past it.
    const long double *coldbelow = nullptr;
    const long double *hotabove = nullptr;
};


// The sign and exponent of a long double.
static inline uint16_t signexp(const long double &v)
{
    uint16_t e;
    std::memcpy(&e, (const char *)&v + 8, 2);
    return e;
}

// For long doubles that are >= 0 and finite (as arithmetic leaves them:
// no pseudo-denormals, no unnormals), the exponent and then the
// significand order them as their values: a > b without the FPU.
static inline bool orderedgreater(const long double &a, const long double &b)
{
    uint64_t ma, mb;
    std::memcpy(&ma, &a, 8);
    std::memcpy(&mb, &b, 8);
    const uint16_t ea = signexp(a), eb = signexp(b);
    return ea > eb || (ea == eb && ma > mb);
}

static inline bool isordered(const long double &v)
{
    const uint16_t e = signexp(v);
    return !(e & 0x8000) && e != 0x7fff;
}

static inline void copy80(long double *to, const long double *from) { std::memcpy(to, from, sizeof(long double)); }

// truncatetemp, inline: whole kelvins toward zero, saturating, NaN lowest.
static inline int wholekelvins(long double kelvins)
{
    if (kelvins != kelvins)
        return INT32_MIN;
    if (kelvins >= 2147483648.0L)
        return INT32_MAX;
    if (kelvins <= -2147483649.0L)
        return INT32_MIN;
    return (int)kelvins;
}

static inline int ring(long x) { return (int)((x + 3) % 3); }

static void filltemp(const TICKWORLD &w, COLUMNS &c, long x)
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
    const long double *heat = w.in->heat + base;
    const uint16_t *type = w.type + base;
    for (long y = 0; y < Y; y++) {
        m[y + 1] = type[y];
        // A cell of the material and heat of the one before has its very
        // quotient: no division.
        if (y > 0 && type[y] == type[y - 1] && samebits10(heat[y], heat[y - 1])) {
            copy80(&t[y + 1], &t[y]);
            continue;
        }
        t[y + 1] = heat[y] / w.types[type[y]].calperc;
        ordered &= isordered(t[y + 1]);
    }
    c.ordered[ring(x)] = ordered;
}

// Neighbours by direction (+x, +x+y, +y, -x+y, -x, -x-y, -y, +x-y): the
// column (0 before, 1 this, 2 after) and the row offset.
static const int dcol[8] = {2, 2, 1, 0, 0, 0, 1, 2};
static const int drow[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// The amounts of the sources of column x. When `stored` is given, the
// amounts of the cells that hold tags at the start of the tick are kept
// there too (by their entry), for the attribution pass.
static void fillamounts(const TICKWORLD &w, COLUMNS &c, long x, SENDS *stored)
{
    uint8_t *mask = c.mask[ring(x)].data();
    if (x < 0 || x >= w.sizex)
        return; // never read
    long double *amt = c.amt[ring(x)].data();
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
            if (samebits10(ts, tn[k]) && samebits10(ts, tn[k + 1]) && samebits10(ts, tc[k + 1]) &&
                samebits10(ts, tp[k + 1]) && samebits10(ts, tp[k]) && samebits10(ts, tp[k - 1]) &&
                samebits10(ts, tc[k - 1]) && samebits10(ts, tn[k - 1])) {
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
                    copy80(&sd.amt[t], &amt[y * 8 + t]);
                }
            }
        }
    }
}

// Conduction into and out of every cell of column x, then its combustion.
// True when something moved: an amount sent or received, or fuel burnt.
static bool gathercolumn(const TICKWORLD &w, COLUMNS &c, const BORDERS &b, long x)
{
    const long X = w.sizex, Y = w.sizey;
    const uint8_t *mp = c.mask[ring(x - 1)].data(), *mc = c.mask[ring(x)].data(), *mn = c.mask[ring(x + 1)].data();
    const long double *ap = c.amt[ring(x - 1)].data(), *ac = c.amt[ring(x)].data(), *an = c.amt[ring(x + 1)].data();
    const long double *tc = c.temp[ring(x)].data();
    const bool hasprev = x > 0, hasnext = x < X - 1;
    const size_t base = (size_t)x * (size_t)Y;
    const long double *inheat = w.in->heat + base;
    long double *outheat = w.out->heat + base;
    const long double interval = (long double)w.interval;
    bool moved = false;

    for (long y = 0; y < Y; y++) {
        long double h = inheat[y];
        bool touched = false;
        const bool up = y > 0, down = y < Y - 1;
        // Sources of the column before: (x-1, y-1), (x-1, y), (x-1, y+1).
        if (hasprev) {
            if (up && (mp[y - 1] & 0x02)) {
                h += ap[(y - 1) * 8 + 1];
                touched = true;
            }
            if (mp[y] & 0x01) {
                h += ap[y * 8 + 0];
                touched = true;
            }
            if (down && (mp[y + 1] & 0x80)) {
                h += ap[(y + 1) * 8 + 7];
                touched = true;
            }
        }
        // The cell before, (x, y-1).
        if (up && (mc[y - 1] & 0x04)) {
            h += ac[(y - 1) * 8 + 2];
            touched = true;
        }
        // Its own sends, in direction order.
        if (unsigned m = mc[y]) {
            touched = true;
            for (int t = 0; t < 8; t++)
                if (m & (1u << t))
                    h -= ac[y * 8 + t];
        }
        // The cell after, (x, y+1).
        if (down && (mc[y + 1] & 0x40)) {
            h += ac[(y + 1) * 8 + 6];
            touched = true;
        }
        // Sources of the column after: (x+1, y-1), (x+1, y), (x+1, y+1).
        if (hasnext) {
            if (up && (mn[y - 1] & 0x08)) {
                h += an[(y - 1) * 8 + 3];
                touched = true;
            }
            if (mn[y] & 0x10) {
                h += an[y * 8 + 4];
                touched = true;
            }
            if (down && (mn[y + 1] & 0x20)) {
                h += an[(y + 1) * 8 + 5];
                touched = true;
            }
        }
        // The border lines, in the order the sweep runs them.
        if (y == 0 || x == X - 1 || x == 0 || y == Y - 1) {
            if (y == 0) // (x', -1) for x' = x-1, x, x+1: directions 1, 2, 3
                for (long s = x - 1; s <= x + 1; s++)
                    if (s >= 0 && s < X) {
                        int t = (int)(1 + (s - (x - 1)));
                        if (b.bottom[(size_t)s].mask & (1u << t)) {
                            h += b.bottom[(size_t)s].amt[t];
                            touched = true;
                        }
                    }
            if (x == X - 1) // (X, y') for y' = y-1, y, y+1: directions 3, 4, 5
                for (long s = y - 1; s <= y + 1; s++)
                    if (s >= 0 && s < Y) {
                        int t = (int)(3 + (s - (y - 1)));
                        if (b.right[(size_t)s].mask & (1u << t)) {
                            h += b.right[(size_t)s].amt[t];
                            touched = true;
                        }
                    }
            if (x == 0) // (-1, y') for y' = y-1, y, y+1: directions 1, 0, 7
                for (long s = y - 1; s <= y + 1; s++)
                    if (s >= 0 && s < Y) {
                        static const int dir[3] = {1, 0, 7};
                        int t = dir[s - (y - 1)];
                        if (b.left[(size_t)s].mask & (1u << t)) {
                            h += b.left[(size_t)s].amt[t];
                            touched = true;
                        }
                    }
            if (y == Y - 1) // (x', Y) for x' = x-1, x, x+1: directions 7, 6, 5
                for (long s = x - 1; s <= x + 1; s++)
                    if (s >= 0 && s < X) {
                        int t = (int)(7 - (s - (x - 1)));
                        if (b.top[(size_t)s].mask & (1u << t)) {
                            h += b.top[(size_t)s].amt[t];
                            touched = true;
                        }
                    }
        }
        // Combustion of the cell as conduction left it.
        long double fuel = w.fuel[base + (size_t)y];
        if (fuel > 0) {
            const uint16_t mat = w.type[base + (size_t)y];
            const CELLTYPE &ct = w.types[mat];
            bool burns;
            if (!touched) // the published heat: its quotient is at hand
                burns = !(ct.ignitionpoint > wholekelvins(tc[y + 1]));
            else if (h < c.coldbelow[mat]) // far enough from the ignition point
                burns = false;             // that the quotient cannot reach it
            else if (h > c.hotabove[mat])
                burns = true;
            else
                burns = !(ct.ignitionpoint > wholekelvins(h / ct.calperc));
            if (burns) {
                long double fuel2burn = interval * ct.burnspeed;
                if (fuel < fuel2burn)
                    fuel2burn = fuel;
                fuel = fuel - fuel2burn;
                long double heat2add = fuel2burn * ct.calperf;
                h = h + heat2add;
                c.burns.push_back({(uint32_t)(base + (size_t)y), fuel, heat2add});
                touched = true;
            }
        }
        outheat[y] = h;
        moved |= touched;
    }
    return moved;
}

// Sweeps the columns [lo, hi); moved[x] tells whether something moved in
// column x. When `progress` is given, it is raised (with release order) to
// x + 1 as soon as the stored amounts of column x are written, for an
// attribution pass that runs at the same time.
static void sweep(const TICKWORLD &w, COLUMNS &c, const BORDERS &b, long lo, long hi, SENDS *stored,
                  std::atomic<long> *progress, uint8_t *moved)
{
    size_t Y = (size_t)w.sizey;
    for (int i = 0; i < 3; i++) {
        c.temp[i].resize(Y + 2);
        c.mat[i].resize(Y + 2);
        c.amt[i].resize(Y * 8);
        c.mask[i].assign(Y, 0);
    }
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

// Sweeps the columns of [lo, hi) that are not skipped (skip[x]), run by
// run, after clearing c.burns.
static void sweepparts(const TICKWORLD &w, COLUMNS &c, const BORDERS &b, long lo, long hi, SENDS *stored,
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

// ---------------------------------------------------------------------------
// The attribution pass

// Scratch kept between ticks so that a tick allocates only when it grows.
struct SCRATCH {
    COLUMNS columns[2];
    BORDERS borders;
    std::vector<uint32_t> fresh; // cells given an entry during the tick
    std::vector<uint32_t> ahead; // min-heap of fresh cells not yet swept
    std::vector<uint32_t> merged;
    std::vector<SENDS> stored; // amounts of the sources tagged at the start, by entry of `in`
    std::vector<uint8_t> skip;  // per column: settled, neither computed nor written
    std::vector<uint8_t> moved; // per computed column: something moved in it
    std::vector<long double> cocon, icocon; // per material, then the surroundings
    std::vector<long double> coldbelow, hotabove; // per material
};

// True when some in-map neighbour of the border position (x, y) holds tags.
static bool bordertagged(const TICKWORLD &w, long x, long y)
{
    for (int t = 0; t < 8; t++) {
        long nx = x + ddx[t], ny = y + ddy[t];
        if (inmap(w, nx, ny) && w.out->attrindex[(size_t)nx * (size_t)w.sizey + (size_t)ny] >= 0)
            return true;
    }
    return false;
}

static void borderattr(const TICKWORLD &w, long x, long y, const SENDS &s)
{
    if (!s.mask || !bordertagged(w, x, y))
        return;
    GRID &o = *w.out;
    for (int t = 0; t < 8; t++) {
        if (!(s.mask & (1u << t)))
            continue;
        long nx = x + ddx[t], ny = y + ddy[t];
        if (!inmap(w, nx, ny))
            continue;
        int32_t e = o.attrindex[(size_t)nx * (size_t)w.sizey + (size_t)ny];
        if (e >= 0)
            attrmove(&o.pool[(size_t)e], nullptr, s.amt[t]);
    }
}

// Waits until the stored amounts of column x are written (a helper thread
// sweeping the columns from `ready`'s start value raises it).
static inline void awaitcolumn(const std::atomic<long> *ready, long x, double *waited)
{
    if (!ready || ready->load(std::memory_order_acquire) > x)
        return;
    const auto from = std::chrono::steady_clock::now();
    for (int spins = 0; ready->load(std::memory_order_acquire) <= x; spins++) {
        if (spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
    *waited += std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Copies an entry sixteen bytes at a time (a string move costs more to
// start than such a short copy takes), bypassing the caches if `stream`.
static inline void copyentry(ATTR *to, const ATTR *from, bool stream)
{
    static_assert(sizeof(ATTR) % 16 == 0 && alignof(ATTR) % 16 == 0, "entries are whole aligned 16-byte blocks");
    const __m128i *src = (const __m128i *)(const void *)from;
    __m128i *dst = (__m128i *)(void *)to;
    if (stream) {
        for (size_t k = 0; k < sizeof(ATTR) / 16; k++)
            _mm_stream_si128(dst + k, _mm_load_si128(src + k));
    } else {
        for (size_t k = 0; k < sizeof(ATTR) / 16; k++)
            _mm_store_si128(dst + k, _mm_load_si128(src + k));
    }
}

// The moves of conduction, in the sweep's call order. The stored amounts of
// a column are read only once `ready` (when given) says they are written.
static void attribution(const TICKWORLD &w, SCRATCH &sc, const std::atomic<long> *ready, double *waited)
{
    const GRID &in = *w.in;
    GRID &o = *w.out;
    const size_t Y = (size_t)w.sizey;

    for (uint32_t i : o.tagged)
        o.attrindex[i] = -1;
    o.tagged.clear();
    // The entries are copied in cell order, so that the pass below (which
    // visits sources in cell order, and their neighbours) and the next
    // tick's copy walk the pool forward instead of jumping about.
    // Room for the cells that gain tags this tick, so that the pool does
    // not move (copying every entry) while the pass runs.
    if (o.pool.capacity() < in.tagged.size() + in.tagged.size() / 8 + 64) {
        o.pool.clear(); // nothing in it is kept: no copy
        o.pool.reserve(in.tagged.size() + in.tagged.size() / 2 + 64);
    }
    o.pool.resize(in.tagged.size());
    // A pool larger than the caches is gone from them before the pass
    // comes back to it: its copy bypasses them (no read of the old lines).
    const bool stream = in.tagged.size() * sizeof(ATTR) >= (size_t)16 << 20;
    for (size_t j = 0; j < in.tagged.size(); j++) {
        uint32_t i = in.tagged[j];
        copyentry(&o.pool[j], &in.pool[(size_t)in.attrindex[i]], stream);
        o.attrindex[i] = (int32_t)j;
    }
    if (stream)
        _mm_sfence();

    // Sources in sweep order: the cells tagged at the start, merged with
    // those that gain tags ahead of the sweep.
    sc.fresh.clear();
    sc.ahead.clear();
    size_t k = 0;
    for (;;) {
        uint32_t s;
        if (k < in.tagged.size() && (sc.ahead.empty() || in.tagged[k] < sc.ahead.front())) {
            s = in.tagged[k++];
        } else if (!sc.ahead.empty()) {
            std::pop_heap(sc.ahead.begin(), sc.ahead.end(), std::greater<uint32_t>());
            s = sc.ahead.back();
            sc.ahead.pop_back();
        } else {
            break;
        }
        SLOTLIST slots;
        listslots(&o.pool[(size_t)o.attrindex[s]], slots);
        if (!(listtotal(&o.pool[(size_t)o.attrindex[s]], slots) > 0))
            continue; // every move from it changes nothing
        long x = (long)(s / Y), y = (long)(s % Y);
        // The entries of the next column are first reached from this one,
        // a few rows further on: fetch them before they are needed.
        if (size_t ahead = s + Y + 6; ahead < (size_t)w.sizex * Y) {
            int32_t e = o.attrindex[ahead];
            if (e >= 0) {
                const char *entry = (const char *)&o.pool[(size_t)e];
                __builtin_prefetch(entry);
                __builtin_prefetch(entry + 64);
            }
        }
        SENDS fresh;
        const SENDS *sdp = &fresh;
        if (in.attrindex[s] >= 0) {
            if (sc.skip[(size_t)x])
                continue; // settled: it sends nothing
            awaitcolumn(ready, x, waited);
            sdp = &sc.stored[(size_t)in.attrindex[s]];
        } else
            sourcesends(w, x, y, fresh);
        const SENDS &sd = *sdp;
        for (int t = 0; t < 8; t++) {
            if (!(sd.mask & (1u << t)))
                continue;
            long nx = x + ddx[t], ny = y + ddy[t];
            ATTR *rec = nullptr;
            if (inmap(w, nx, ny)) {
                size_t r = (size_t)nx * Y + (size_t)ny;
                if (o.attrindex[r] < 0) {
                    if (!(listtotal(&o.pool[(size_t)o.attrindex[s]], slots) > 0))
                        continue; // the move would change nothing
                    newentry(o, r);
                    sc.fresh.push_back((uint32_t)r);
                    if (r > s) {
                        sc.ahead.push_back((uint32_t)r);
                        std::push_heap(sc.ahead.begin(), sc.ahead.end(), std::greater<uint32_t>());
                    }
                }
                rec = &o.pool[(size_t)o.attrindex[r]];
            }
            attrmovelisted(rec, &o.pool[(size_t)o.attrindex[s]], slots, sd.amt[t]);
        }
    }

}

// The border lines, after the sweep: heat from the surroundings, whose
// attribution the receivers themselves give. They reach only the map's
// edge cells.
static void borderlines(const TICKWORLD &w, const SCRATCH &sc)
{
    const BORDERS &b = sc.borders;
    for (long x = 0; x < w.sizex; x++)
        borderattr(w, x, -1, b.bottom[(size_t)x]);
    for (long y = 0; y < w.sizey; y++)
        borderattr(w, w.sizex, y, b.right[(size_t)y]);
    for (long y = 0; y < w.sizey; y++)
        borderattr(w, -1, y, b.left[(size_t)y]);
    for (long x = 0; x < w.sizex; x++)
        borderattr(w, x, w.sizey, b.top[(size_t)x]);
}

// Which burning cells burnattr takes: all, or only those off the map's
// edge (which the border lines never reach), or only those on it.
enum class CELLS { all, inner, edge };

static inline bool onedge(const TICKWORLD &w, uint32_t i)
{
    const size_t Y = (size_t)w.sizey, x = i / Y, y = i % Y;
    return x == 0 || y == 0 || x + 1 == (size_t)w.sizex || y + 1 == Y;
}

// Combustion, after the border lines: the released heat goes to the
// burning cell's own tags. Each move touches only that cell's entry, so
// the cells may take their turns in any order.
static void burnattr(const TICKWORLD &w, const BURN *from, const BURN *to, CELLS which)
{
    GRID &o = *w.out;
    for (const BURN *burn = from; burn < to; burn++) {
        if (which != CELLS::all && onedge(w, burn->index) != (which == CELLS::edge))
            continue;
        int32_t e = o.attrindex[burn->index];
        if (e >= 0)
            attrmove(&o.pool[(size_t)e], nullptr, burn->heat2add);
    }
}

// The cells that hold tags at the end of the tick: those of the start and
// those given an entry during it.
static void listtagged(const TICKWORLD &w, SCRATCH &sc)
{
    const GRID &in = *w.in;
    std::sort(sc.fresh.begin(), sc.fresh.end());
    sc.merged.resize(in.tagged.size() + sc.fresh.size());
    std::merge(in.tagged.begin(), in.tagged.end(), sc.fresh.begin(), sc.fresh.end(), sc.merged.begin());
    w.out->tagged.swap(sc.merged);
}

// ---------------------------------------------------------------------------
// The tick

// A second thread kept for the life of the process and woken once per tick
// (starting a thread every tick costs more than a small tick). It takes no
// mutex: the job is handed over through two atomic counters (waited on with
// futexes). It is never destroyed: a process may exit while it waits.
class HELPER {
public:
    // Runs fn(arg) on the helper thread; wait() returns when it has run.
    void start(void (*fn)(void *), void *arg)
    {
        job = fn;
        jobarg = arg;
        posted.fetch_add(1, std::memory_order_release);
        posted.notify_one();
    }
    void wait()
    {
        const unsigned want = posted.load(std::memory_order_relaxed);
        for (;;) {
            unsigned f = finished.load(std::memory_order_acquire);
            if (f == want)
                return;
            finished.wait(f, std::memory_order_acquire);
        }
    }
    // The helper of this process (a child of fork gets its own).
    static HELPER &get()
    {
        static HELPER *h = nullptr;
        static pid_t owner = 0;
        if (!h || owner != getpid()) {
            h = new HELPER; // never freed
            owner = getpid();
            std::thread(&HELPER::run, h).detach();
        }
        return *h;
    }

private:
    void run()
    {
        unsigned seen = 0;
        for (;;) {
            posted.wait(seen, std::memory_order_acquire);
            unsigned p = posted.load(std::memory_order_acquire);
            if (p == seen)
                continue;
            seen = p;
            job(jobarg);
            finished.store(seen, std::memory_order_release);
            finished.notify_one();
        }
    }
    std::atomic<unsigned> posted{0};
    std::atomic<unsigned> finished{0};
    void (*job)(void *) = nullptr; // written before posted is raised
    void *jobarg = nullptr;
};

// The helper's share of a two-thread tick: the columns [lo, X).
struct HELPERSWEEP {
    const TICKWORLD *w;
    COLUMNS *c;
    const BORDERS *b;
    long lo;
    SENDS *stored;
    std::atomic<long> *progress;
    const uint8_t *skip;
    uint8_t *moved;
    double seconds; // the helper's sweep took
};

static void helpersweep(void *arg)
{
    HELPERSWEEP &h = *(HELPERSWEEP *)arg;
    const auto from = std::chrono::steady_clock::now();
    sweepparts(*h.w, *h.c, *h.b, h.lo, h.w->sizex, h.stored, h.progress, h.skip, h.moved);
    h.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The helper's share of combustion's moves: the cells off the map's edge
// among [from, to).
struct HELPERBURNS {
    const TICKWORLD *w;
    const BURN *from, *to;
};

static void helperburns(void *arg)
{
    HELPERBURNS &h = *(HELPERBURNS *)arg;
    burnattr(*h.w, h.from, h.to, CELLS::inner);
}

// Attribution work of one cell that holds tags, in units of one cell's
// conduction, for sharing a tick between the threads: measured on every
// two-thread tick that has tags (the split never changes a result).
static double attrcost = 2.5;

// Marks in sc.skip the columns of settled groups whose neighbours settled
// too. Another interval, other surroundings or another size unsettle all.
static void findsettled(const TICKWORLD &w, SCRATCH &sc)
{
    const long X = w.sizex;
    sc.skip.assign((size_t)X, 0);
    sc.moved.assign((size_t)X, 0);
    SETTLE *st = w.settle;
    if (!st)
        return;
    const size_t groups = (size_t)((X + SETTLEWIDTH - 1) / SETTLEWIDTH);
    long double outtemp = w.outside->totalcal / w.outside->calperc;
    if (st->group.size() != groups || st->interval != w.interval || !samebits10(st->outtemp, outtemp) ||
        !samebits10(st->outcocon, w.outside->cocon)) {
        st->group.assign(groups, 0);
        st->interval = w.interval;
        st->outtemp = outtemp;
        st->outcocon = w.outside->cocon;
        return;
    }
    for (size_t g = 0; g < groups; g++) {
        bool quiet = st->group[g] && (g == 0 || st->group[g - 1]) && (g + 1 == groups || st->group[g + 1]);
        if (!quiet)
            continue;
        size_t hi = std::min((g + 1) * SETTLEWIDTH, (size_t)X);
        for (size_t x = g * SETTLEWIDTH; x < hi; x++)
            sc.skip[x] = 1;
    }
}

// After the sweep: a computed group settled when nothing moved in it.
static void recordsettled(const TICKWORLD &w, const SCRATCH &sc)
{
    SETTLE *st = w.settle;
    if (!st)
        return;
    for (size_t g = 0; g < st->group.size(); g++) {
        size_t lo = g * SETTLEWIDTH, hi = std::min(lo + SETTLEWIDTH, (size_t)w.sizex);
        if (sc.skip[lo])
            continue; // skipped: still settled
        bool moved = false;
        for (size_t x = lo; x < hi; x++)
            moved |= sc.moved[x] != 0;
        st->group[g] = !moved;
    }
}

void fasttick(const TICKWORLD &w, std::vector<BURN> &burns)
{
    static SCRATCH sc;
    burns.clear();
    if (w.sizex <= 0 || w.sizey <= 0)
        return;
    borderssends(w, sc.borders);
    findsettled(w, sc);
    // The coefficient and the interval times it, per material and for the
    // surroundings: the same product wherever a request uses it.
    sc.cocon.resize(w.ntypes + 1);
    sc.icocon.resize(w.ntypes + 1);
    for (size_t i = 0; i <= w.ntypes; i++) {
        sc.cocon[i] = i < w.ntypes ? w.types[i].cocon : w.outside->cocon;
        sc.icocon[i] = (long double)w.interval * sc.cocon[i];
    }
    // Where the ignition test needs no division. For calperc c > 0 and an
    // ignition point p >= 1, heat h under p * c * (1 - 2^-20) makes h / c,
    // rounded, less than p, and so is its whole part (or it is negative);
    // heat over p * c * (1 + 2^-20) makes it p or more. In between, or for
    // other materials (no bounds: -inf and +inf), the quotient decides.
    sc.coldbelow.resize(w.ntypes);
    sc.hotabove.resize(w.ntypes);
    for (size_t i = 0; i < w.ntypes; i++) {
        const CELLTYPE &t = w.types[i];
        const long double p = (long double)t.ignitionpoint * t.calperc;
        const bool bounded = t.calperc > 0 && t.ignitionpoint >= 1 && std::isfinite(p) && p > 0 &&
                             p < LDBL_MAX / 2 && p > LDBL_MIN * 0x1p40L;
        sc.coldbelow[i] = bounded ? p * (1 - 0x1p-20L) : -INFINITY;
        sc.hotabove[i] = bounded ? p * (1 + 0x1p-20L) : INFINITY;
    }
    for (COLUMNS &c : sc.columns) {
        c.coldbelow = sc.coldbelow.data();
        c.hotabove = sc.hotabove.data();
        c.cocon = sc.cocon.data();
        c.icocon = sc.icocon.data();
        c.out = (uint32_t)w.ntypes;
    }
    const uint8_t *skip = sc.skip.data();
    uint8_t *moved = sc.moved.data();

    int threads = w.threads;
    const long X = w.sizex;
    long computed = 0; // columns not skipped
    for (long x = 0; x < X; x++)
        computed += !skip[x];
    if (threads == 0)
        threads = (computed >= 8 && computed * w.sizey >= 65536) ? 2 : 1;
    if (w.sizex < 2)
        threads = 1;
    sc.stored.resize(w.in->pool.size());
    SENDS *stored = sc.stored.data();
    if (threads == 2) {
        // This thread sweeps the columns [0, k) and then runs the
        // attribution pass while the helper sweeps [k, X); the pass waits
        // for the helper's stored amounts column by column. k shares the
        // computed columns out: the more cells hold tags, the more the
        // helper sweeps.
        const double cells = (double)computed * (double)w.sizey;
        const double attr = attrcost * (double)w.in->tagged.size();
        long mine = attr >= cells ? 0 : (long)((cells - attr) / (2.0 * (double)w.sizey));
        mine = std::clamp(mine, 0L, computed / 2);
        long k = 0;
        for (long n = 0; k < X && n < mine; k++)
            n += !skip[k];
        std::atomic<long> progress(k);
        HELPERSWEEP job{&w, &sc.columns[1], &sc.borders, k, stored, &progress, skip, moved, 0};
        HELPER &helper = HELPER::get();
        helper.start(helpersweep, &job);
        sweepparts(w, sc.columns[0], sc.borders, 0, k, stored, nullptr, skip, moved);
        const auto from = std::chrono::steady_clock::now();
        double waited = 0;
        attribution(w, sc, &progress, &waited);
        const double attrseconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count() - waited;
        helper.wait();
        const double helpercells = (double)(computed - mine) * (double)w.sizey;
        if (w.in->tagged.size() >= 1024 && job.seconds > 0 && attrseconds > 0 && helpercells > 0) {
            double measured = (attrseconds / (double)w.in->tagged.size()) / (job.seconds / helpercells);
            attrcost = std::clamp(0.5 * attrcost + 0.5 * measured, 0.05, 1000.0);
        }
        burns.insert(burns.end(), sc.columns[0].burns.begin(), sc.columns[0].burns.end());
        burns.insert(burns.end(), sc.columns[1].burns.begin(), sc.columns[1].burns.end());
    } else {
        sweepparts(w, sc.columns[0], sc.borders, 0, X, stored, nullptr, skip, moved);
        burns.swap(sc.columns[0].burns);
        attribution(w, sc, nullptr, nullptr);
    }
    // The rest of the attribution pass: the border lines, then combustion.
    if (threads == 2 && burns.size() >= 4096) {
        // The helper takes the cells of the first half of the burns that
        // the border lines cannot reach; this thread the border lines,
        // then the second half, then the edge cells of the first half.
        const BURN *mid = burns.data() + burns.size() / 2;
        HELPERBURNS job{&w, burns.data(), mid};
        HELPER &helper = HELPER::get();
        helper.start(helperburns, &job);
        borderlines(w, sc);
        burnattr(w, mid, burns.data() + burns.size(), CELLS::all);
        listtagged(w, sc);
        helper.wait();
        burnattr(w, burns.data(), mid, CELLS::edge);
    } else {
        borderlines(w, sc);
        burnattr(w, burns.data(), burns.data() + burns.size(), CELLS::all);
        listtagged(w, sc);
    }
    recordsettled(w, sc);
}

// ---------------------------------------------------------------------------
// The self-contained compact world

void compactinit(COMPACTWORLD &c, long sizex, long sizey)
{
    size_t n = (size_t)sizex * (size_t)sizey;
    c.sizex = sizex;
    c.sizey = sizey;
    c.type.assign(n, 0);
    c.fuel.assign(n, 0);
    for (int b = 0; b < 2; b++) {
        c.heat[b].assign(n, 0);
        c.attrindex[b].assign(n, -1);
        c.buf[b].heat = c.heat[b].data();
        c.buf[b].attrindex = c.attrindex[b].data();
        c.buf[b].pool.clear();
        c.buf[b].tagged.clear();
    }
    c.pub = 0;
    c.burns.clear();
    c.settle.clear();
}

int interntype(std::vector<CELLTYPE> &types, const MAPUNIT &cell)
{
    for (size_t i = 0; i < types.size(); i++) {
        const CELLTYPE &t = types[i];
        if (samebits10(t.cocon, cell.cocon) && samebits10(t.calperc, cell.calperc) &&
            samebits10(t.calperf, cell.calperf) && samebits10(t.burnspeed, cell.burnspeed) &&
            t.ignitionpoint == cell.ignitionpoint && t.block == cell.block)
            return (int)i;
    }
    if (types.size() >= 65536)
        return -1;
    CELLTYPE t;
    std::memset(&t, 0, sizeof t);
    t.cocon = cell.cocon;
    t.calperc = cell.calperc;
    t.calperf = cell.calperf;
    t.burnspeed = cell.burnspeed;
    t.ignitionpoint = cell.ignitionpoint;
    t.block = cell.block;
    types.push_back(t);
    return (int)types.size() - 1;
}

MAPUNIT cellrecord(const CELLTYPE &t, const GRID &g, size_t i, long double fuel)
{
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    m.totalcal = g.heat[i];
    m.cocon = t.cocon;
    m.calperc = t.calperc;
    m.ignitionpoint = t.ignitionpoint;
    m.fuellevel = fuel;
    m.calperf = t.calperf;
    m.burnspeed = t.burnspeed;
    m.block = t.block;
    if (g.attrindex[i] >= 0) {
        const ATTR &a = g.pool[(size_t)g.attrindex[i]];
        for (int s = 0; s < NUMSLOTS; s++) {
            m.heatsource[s] = a.heatsource[s];
            m.sourcequan[s] = a.sourcequan[s];
        }
    }
    return m;
}

void putheatrecord(GRID &g, size_t i, const MAPUNIT &cell)
{
    g.heat[i] = cell.totalcal;
    if (attrblank(cell.heatsource, cell.sourcequan) && g.attrindex[i] < 0)
        return;
    ATTR &a = attrentry(g, i);
    for (int s = 0; s < NUMSLOTS; s++) {
        a.heatsource[s] = cell.heatsource[s];
        a.sourcequan[s] = cell.sourcequan[s];
    }
}

MAPUNIT compactget(const COMPACTWORLD &c, size_t i)
{
    return cellrecord(c.types[c.type[i]], c.buf[c.pub], i, c.fuel[i]);
}

void compactput(COMPACTWORLD &c, size_t i, const MAPUNIT &cell)
{
    int t = interntype(c.types, cell);
    c.type[i] = (uint16_t)(t < 0 ? 0 : t);
    c.fuel[i] = cell.fuellevel;
    c.settle.unsettle(i, c.sizey);
    putheatrecord(c.buf[c.pub], i, cell);
}

void compacttick(COMPACTWORLD &c, double interval, int threads)
{
    TICKWORLD w;
    w.sizex = c.sizex;
    w.sizey = c.sizey;
    w.types = c.types.data();
    w.ntypes = c.types.size();
    w.type = c.type.data();
    w.fuel = c.fuel.data();
    w.in = &c.buf[c.pub];
    w.out = &c.buf[1 - c.pub];
    w.outside = &c.outside;
    w.interval = interval;
    w.threads = threads;
    w.settle = &c.settle;
    fasttick(w, c.burns);
    for (const BURN &b : c.burns)
        c.fuel[b.index] = b.fuel;
    c.pub = 1 - c.pub;
}

double compactbytespercell(const COMPACTWORLD &c)
{
    size_t n = c.type.size();
    if (n == 0)
        return 0;
    size_t bytes = c.type.capacity() * sizeof(uint16_t) + c.fuel.capacity() * sizeof(long double) +
                   c.types.capacity() * sizeof(CELLTYPE);
    for (int b = 0; b < 2; b++) {
        bytes += c.heat[b].capacity() * sizeof(long double) + c.attrindex[b].capacity() * sizeof(int32_t);
        bytes += c.buf[b].pool.capacity() * sizeof(ATTR) + c.buf[b].tagged.capacity() * sizeof(uint32_t);
    }
    return (double)bytes / (double)n;
}

void gridfire(GRID &g, size_t i, long double heat2add, int tag)
{
    g.heat[i] += heat2add;
    ATTR scratch;
    std::memset(&scratch, 0, sizeof scratch);
    scratch.heatsource[0] = tag;
    scratch.sourcequan[0] = heat2add;
    // Without attributed heat in the scratch sender the move is a no-op:
    // leave the cell without an entry.
    SLOTLIST slots;
    listslots(&scratch, slots);
    if (!(listtotal(&scratch, slots) > 0))
        return;
    attrmovelisted(&attrentry(g, i), &scratch, slots, heat2add);
}

void compactfire(COMPACTWORLD &c, size_t i, int tag)
{
    gridfire(c.buf[c.pub], i, 100.0L, tag);
    c.settle.unsettle(i, c.sizey);
}
