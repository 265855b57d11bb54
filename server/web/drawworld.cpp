// Drawing the published world. Most cells take no division: a temperature
// is the heat's top 53 bits times the material's reciprocal in doubles,
// trusted when it is far enough from a whole kelvin that the exact 80-bit
// quotient truncates the same way; fuel is tested on its bits.
#include "web/drawworld.h"

#include <cmath>
#include <cstring>

#include "colours.h"

namespace {

// The bits of an 80-bit extended value.
struct BITS80 {
    uint64_t m;  // significand, integer bit included
    uint16_t se; // sign and biased exponent
};

// The bits of *v.
inline BITS80 bitsof(const long double *v)
{
    BITS80 b;
    std::memcpy(&b.m, v, 8);
    std::memcpy(&b.se, (const char *)v + 8, 2);
    return b;
}

// True for a finite value as arithmetic leaves it: zero, a denormal or a
// normal number with its integer bit set (no unnormal, no pseudo-denormal,
// no infinity or NaN). Comparisons on the bits hold for these.
inline bool clean(BITS80 b)
{
    const unsigned e = b.se & 0x7fff;
    return e != 0x7fff && (e != 0) == (b.m >> 63);
}

// a > b for two clean values of which b is >= 0 and not -0.
inline bool greaterthanpositive(BITS80 a, BITS80 b)
{
    if (a.se & 0x8000)
        return false;
    return a.se > b.se || (a.se == b.se && a.m > b.m);
}

// What one material needs for drawing its cells.
struct MATDRAW {
    double reciprocal = 0;  // 1 / calperc in doubles, when quick is set
    bool quick = false;     // calperc is a normal number that doubles hold
    int ignitionpoint = 0;
    bool canburnout = false; // starting fuel above 0 and its threshold clean and >= 0
    bool slowburnt = false;  // starting fuel above 0 but the threshold needs the FPU
    bool hasstart = false;   // starting fuel above 0
    long double threshold = 0; // starting fuel x BURNTFRACTION
    BITS80 thresholdbits{};
};

// What drawing needs of material m of w.
MATDRAW matdraw(const WORLD &w, size_t m)
{
    MATDRAW d;
    const MATERIAL &t = w.materials[m];
    const long double c = t.calperc;
    const long double a = c < 0 ? -c : c;
    if (a >= 0x1p-1000L && a <= 0x1p1000L) {
        d.quick = true;
        d.reciprocal = 1.0 / (double)c;
    }
    d.ignitionpoint = t.ignitionpoint;
    const long double start = m < w.materialfuel.size() ? w.materialfuel[m] : 0;
    if (start > 0) {
        d.hasstart = true;
        d.threshold = start * (long double)BURNTFRACTION;
        d.thresholdbits = bitsof(&d.threshold);
        if (clean(d.thresholdbits) && !(d.thresholdbits.se & 0x8000))
            d.canburnout = true;
        else
            d.slowburnt = true;
    }
    return d;
}

// The top 53 bits of heat b as a double, times md's reciprocal: within
// 2^-50 of the exact quotient (and of its 80-bit rounding), relatively.
// False for a value out of the doubles' reach.
inline bool approxkelvins(const MATDRAW &md, BITS80 b, double &q)
{
    const unsigned e = b.se & 0x7fff;
    if (!md.quick || e - (16383u - 1000u) > 2000u || !(b.m >> 63))
        return false;
    const uint64_t bits = ((uint64_t)(b.se & 0x8000) << 48) | ((uint64_t)(e - 16383 + 1023) << 52) |
                          ((b.m >> 11) & 0xFFFFFFFFFFFFFull);
    double d;
    std::memcpy(&d, &bits, 8);
    q = d * md.reciprocal;
    return q > -2147483000.0 && q < 2147483000.0;
}

// Whole kelvins of heat b in material md without dividing: true when q is
// further than |q| x 2^-48 from every whole number, so that it truncates
// as the exact quotient does.
inline bool quickkelvins(const MATDRAW &md, BITS80 b, int32_t &k)
{
    double q;
    if (!approxkelvins(md, b, q))
        return false;
    const int32_t t = (int32_t)q; // toward zero
    const double f = std::fabs(q - (double)t), guard = std::fabs(q) * 0x1p-48;
    k = t;
    return f > guard && 1 - f > guard;
}

// Whole kelvins of heat h (bits b) in material md where quickkelvins
// cannot tell: near a whole number n the exact 80-bit quotient only says
// which side of n it lies; values out of the doubles' reach take
// truncatetemp's way.
inline int32_t exactkelvins(const MATDRAW &md, const long double &h, BITS80 b, const long double &calperc)
{
    double q;
    if (!approxkelvins(md, b, q))
        return truncatetemp(h / calperc);
    // Near n (the guard is under 2^-17): the exact quotient lies in
    // (n - 1, n + 1).
    const int32_t t = (int32_t)q;
    const double f = std::fabs(q - (double)t);
    const int32_t n = f < 0.5 ? t : q > 0 ? t + 1 : t - 1;
    if (n == 0)
        return 0;
    const long double exact = h / calperc;
    if (n > 0)
        return exact >= (long double)n ? n : n - 1;
    return exact <= (long double)n ? n : n + 1;
}

// The state of a cell of material md with fuel f and k kelvins.
inline uint8_t quickstate(const MATDRAW &md, const long double *f, int32_t k)
{
    const BITS80 b = bitsof(f);
    if (!clean(b) || md.slowburnt) {
        const bool burning = *f > 0 && !(md.ignitionpoint > k);
        if (burning)
            return CELLBURNING;
        return md.hasstart && *f <= md.threshold ? CELLBURNT : CELLPLAIN;
    }
    const bool positive = !(b.se & 0x8000) && (b.se != 0 || b.m != 0);
    if (positive && !(md.ignitionpoint > k))
        return CELLBURNING;
    if (!md.canburnout)
        return CELLPLAIN;
    // Fuel <= threshold: true for fuel <= 0, else on the bits.
    return !positive || !greaterthanpositive(b, md.thresholdbits) ? CELLBURNT : CELLPLAIN;
}

} // namespace

DRAWNCELL drawcell(const WORLD &w, size_t i)
{
    const MAPUNIT c = pubcell(w, i);
    DRAWNCELL d;
    d.material = w.material[i];
    d.kelvins = truncatetemp(c.totalcal / c.calperc);
    const long double start = d.material < w.materialfuel.size() ? w.materialfuel[d.material] : 0;
    if (c.fuellevel > 0 && d.kelvins >= c.ignitionpoint)
        d.state = CELLBURNING;
    else if (start > 0 && c.fuellevel <= start * (long double)BURNTFRACTION)
        d.state = CELLBURNT;
    else
        d.state = CELLPLAIN;
    return d;
}

void drawcolumns(const WORLD &w, DRAWN &d, long x0, long x1)
{
    if (x0 < 0)
        x0 = 0;
    if (x1 > w.mapsizex)
        x1 = w.mapsizex;
    if (x0 >= x1)
        return;
    std::vector<MATDRAW> mats(w.materials.size());
    for (size_t m = 0; m < mats.size(); m++)
        mats[m] = matdraw(w, m);
    const size_t from = (size_t)x0 * (size_t)w.mapsizey, to = (size_t)x1 * (size_t)w.mapsizey;
    const long double *heat = w.oldmap->heat.data();
    const long double *fuel = w.fuellevel.data();
    const uint16_t *material = w.material.data();
    uint16_t *dmat = d.material.data();
    int32_t *dk = d.kelvins.data();
    uint8_t *ds = d.state.data();
    BITS80 prev{~0ull, 0xffff};
    uint16_t prevmat = 0;
    int32_t k = 0;
    for (size_t i = from; i < to; i++) {
        const uint16_t m = material[i];
        const MATDRAW &md = mats[m];
        const BITS80 h = bitsof(&heat[i]);
        // The same heat in the same material as the cell before (cells at
        // rest, mostly at a whole number of kelvins): the same temperature.
        if (h.m != prev.m || h.se != prev.se || m != prevmat) {
            if (!quickkelvins(md, h, k))
                k = exactkelvins(md, heat[i], h, w.materials[m].calperc);
            prev = h;
            prevmat = m;
        }
        dmat[i] = m;
        dk[i] = k;
        ds[i] = quickstate(md, &fuel[i], k);
    }
    // Fires queued while the tick computes: those cells the plain way.
    for (const QUEUEDFIRE &q : w.firequeue)
        if (q.index >= from && q.index < to) {
            const DRAWNCELL c = drawcell(w, q.index);
            dk[q.index] = c.kelvins;
            ds[q.index] = c.state;
        }
}

void drawworld(const WORLD &w, DRAWN &d)
{
    const size_t n = ncells(w);
    d.sizex = w.mapsizex;
    d.sizey = w.mapsizey;
    d.material.resize(n);
    d.kelvins.resize(n);
    d.state.resize(n);
    drawcolumns(w, d, 0, w.mapsizex);
}
