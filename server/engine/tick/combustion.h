// Combustion: a cell whose temperature, truncated to whole kelvins, has
// reached its ignition point and that still holds fuel burns interval x
// burnspeed of it (what is left, on the last tick) and releases fuel x
// calperf calories into itself. The tick runs it for each cell right after
// the cell's conduction; the released heat goes to the cell's own tags in
// the attribution pass (burnattr).
#pragma once

#include <cmath>
#include <cstdint>

#include "burning.h"
#include "extended.h"
#include "material.h"

// A burning cell's combustion in one tick: the fuel it keeps and the heat
// it released (already added to its heat).
struct BURN {
    uint32_t index;
    long double fuel;
    long double heat2add;
};

// Where the ignition test needs no division, for a material: heat below
// *coldbelow certainly gives a temperature under the ignition point, heat
// above *hotabove one at or past it (-inf and +inf when no bound holds).
inline void ignitionbounds(const MATERIAL &t, long double *coldbelow, long double *hotabove)
{
    // For calperc c > 0 and an ignition point p >= 1, heat h under
    // p * c * (1 - 2^-20) makes h / c, rounded, less than p, and so is its
    // whole part (or it is negative); heat over p * c * (1 + 2^-20) makes
    // it p or more. In between, or for other materials, the quotient
    // decides.
    const long double p = (long double)t.ignitionpoint * t.calperc;
    const bool bounded = t.calperc > 0 && t.ignitionpoint >= 1 && std::isfinite(p) && p > 0 &&
                         p < LDBL_MAX / 2 && p > LDBL_MIN * 0x1p40L;
    *coldbelow = bounded ? p * (1 - 0x1p-20L) : -INFINITY;
    *hotabove = bounded ? p * (1 + 0x1p-20L) : INFINITY;
}

// True when a cell of material t with heat h burns (fuel aside). When
// conduction left its heat as published (`changed` false), `publishedtemp`
// is its temperature and no division is needed.
inline bool ignites(const MATERIAL &t, const long double &h, bool changed, const long double &publishedtemp,
                    const long double &coldbelow, const long double &hotabove)
{
    if (!changed)
        return reachesignition(truncatetemp(publishedtemp), t.ignitionpoint);
    if (h < coldbelow)
        return false;
    if (h > hotabove)
        return true;
    return reachesignition(truncatetemp(h / t.calperc), t.ignitionpoint);
}

// Burns a cell that ignites: its fuel falls, its heat h grows. Returns the
// heat released.
inline long double burnfuel(const MATERIAL &t, long double interval, long double &fuel, long double &h)
{
    long double fuel2burn = interval * t.burnspeed;
    if (fuel < fuel2burn)
        fuel2burn = fuel;
    fuel = fuel - fuel2burn;
    long double heat2add = fuel2burn * t.calperf;
    h = h + heat2add;
    return heat2add;
}
