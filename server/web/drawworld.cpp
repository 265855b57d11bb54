// Drawing the published world. Most cells take no division: a temperature
// is the heat's top 53 bits times the material's reciprocal in doubles,
// trusted when it is far enough from a whole kelvin that the exact 80-bit
// quotient truncates the same way; fuel is tested on its bits.
#include "web/drawworld.h"

#include <cmath>
#include <cstring>

#include "engine/cells.h"
#include "engine/published.h"
#include "burning.h"
#include "extended.h"

namespace {

// What one material needs for drawing its cells.
struct MATDRAW {
    double reciprocal = 0;  // 1 / calperc in doubles, when quick is set
    bool quick = false;     // calperc is a normal number that doubles hold
    int ignitionpoint = 0;
    bool canburnout = false; // starting fuel above 0 and its threshold clean and >= 0
    bool slowburnt = false;  // starting fuel above 0 but the threshold needs the FPU
    long double start = 0;     // the fuel its cells start with
    long double threshold = 0; // burntlevel(start)
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
    d.start = m < w.materialfuel.size() ? w.materialfuel[m] : 0;
    if (d.start > 0) {
        d.threshold = burntlevel(d.start);
        if (isclean(d.threshold) && isordered(d.threshold))
            d.canburnout = true;
        else
            d.slowburnt = true;
    }
    return d;
}

// The top 53 bits of heat h as a double, times md's reciprocal: within
// 2^-50 of the exact quotient (and of its 80-bit rounding), relatively.
// False for a value out of the doubles' reach.
inline bool approxkelvins(const MATDRAW &md, const long double &h, double &q)
{
    const uint16_t se = signexp(h);
    const uint64_t m = significand(h);
    const unsigned e = se & 0x7fff;
    if (!md.quick || e - (16383u - 1000u) > 2000u || !(m >> 63))
        return false;
    const uint64_t bits = ((uint64_t)(se & 0x8000) << 48) | ((uint64_t)(e - 16383 + 1023) << 52) |
                          ((m >> 11) & 0xFFFFFFFFFFFFFull);
    double d;
    std::memcpy(&d, &bits, 8);
    q = d * md.reciprocal;
    return q > -2147483000.0 && q < 2147483000.0;
}

// Whole kelvins of heat h in material md without dividing: true when q is
// further than |q| x 2^-48 from every whole number, so that it truncates
// as the exact quotient does.
inline bool quickkelvins(const MATDRAW &md, const long double &h, int32_t &k)
{
    double q;
    if (!approxkelvins(md, h, q))
        return false;
    const int32_t t = (int32_t)q; // toward zero
    const double f = std::fabs(q - (double)t), guard = std::fabs(q) * 0x1p-48;
    k = t;
    return f > guard && 1 - f > guard;
}

// Whole kelvins of heat h in material md where quickkelvins cannot tell:
// near a whole number n the exact 80-bit quotient only says which side of
// n it lies; values out of the doubles' reach take truncatetemp's way.
inline int32_t exactkelvins(const MATDRAW &md, const long double &h, const long double &calperc)
{
    double q;
    if (!approxkelvins(md, h, q))
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

// The state of a cell of material md with fuel f and k kelvins: by the
// rules of shared/burning.h, the fuel's tests on its bits where it is
// clean.
inline uint8_t quickstate(const MATDRAW &md, const long double &f, int32_t k)
{
    if (!isclean(f) || md.slowburnt) {
        if (isburning(f, k, md.ignitionpoint))
            return CELLBURNING;
        return isburnt(f, md.start) ? CELLBURNT : CELLPLAIN;
    }
    static constexpr long double zero = 0;
    const bool fuelleft = isordered(f) && orderedgreater(f, zero); // hasfuel(f)
    if (fuelleft && reachesignition(k, md.ignitionpoint))
        return CELLBURNING;
    if (!md.canburnout)
        return CELLPLAIN;
    // Fuel <= threshold: true for fuel <= 0, else on the bits.
    return !fuelleft || !orderedgreater(f, md.threshold) ? CELLBURNT : CELLPLAIN;
}

} // namespace

DRAWNCELL drawcell(const WORLD &w, size_t i)
{
    const MAPUNIT c = pubcell(w, i);
    DRAWNCELL d;
    d.material = w.material[i];
    d.kelvins = truncatetemp(c.totalcal / c.calperc);
    const long double start = d.material < w.materialfuel.size() ? w.materialfuel[d.material] : 0;
    if (isburning(c.fuellevel, d.kelvins, c.ignitionpoint))
        d.state = CELLBURNING;
    else if (isburnt(c.fuellevel, start))
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
    const uint16_t *material = w.material.data();
    uint16_t *dmat = d.material.data();
    int32_t *dk = d.kelvins.data();
    uint8_t *ds = d.state.data();
    size_t prev = to; // the cell whose temperature k is (none yet)
    int32_t k = 0;
    for (size_t i = from; i < to; i++) {
        const uint16_t m = material[i];
        const MATDRAW &md = mats[m];
        // The same heat in the same material as the cell before (cells at
        // rest, mostly at a whole number of kelvins): the same temperature.
        if (prev == to || !samebits(pubheat(w, i), pubheat(w, prev)) || m != material[prev]) {
            if (!quickkelvins(md, pubheat(w, i), k))
                k = exactkelvins(md, pubheat(w, i), w.materials[m].calperc);
            prev = i;
        }
        dmat[i] = m;
        dk[i] = k;
        ds[i] = quickstate(md, pubfuel(w, i), k);
    }
    // Fires queued while the tick computes: those cells the plain way.
    for (const QUEUEDFIRE &q : queuedfires(w))
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
