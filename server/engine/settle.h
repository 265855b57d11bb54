// Settled regions: which groups of columns moved nothing on the last tick.
//
// Columns are grouped by SETTLEWIDTH. A group in which nothing moved (no
// amount sent or received, nothing burnt) holds the same heat in both
// buffers; if it and the groups beside it settled on the last tick and
// nothing was written into them since, every input of its cells (heat and
// temperatures up to two cells away, fuel, materials, surroundings) is what
// it was, so nothing moves again and the tick neither computes nor writes
// the group. Whatever writes heat, fuel or materials of a cell outside the
// tick (a fire, a replaced cell) unsettles the cell's group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum { SETTLEWIDTH = 8 };

struct SETTLE {
    std::vector<uint8_t> group; // per group of SETTLEWIDTH columns: 1 when settled
    // What the groups settled under: another interval or other surroundings
    // unsettle everything.
    double interval = 0;
    long double outtemp = 0;
    long double outcocon = 0;
};

// Marks the group of `cell` (in a world sizey cells high) as stirred.
inline void unsettle(SETTLE &s, size_t cell, long sizey)
{
    size_t g = sizey > 0 ? (cell / (size_t)sizey) / SETTLEWIDTH : 0;
    if (g < s.group.size())
        s.group[g] = 0;
}

// True when every group settled on the last tick: it moved nothing.
inline bool allsettled(const SETTLE &s)
{
    if (s.group.empty())
        return false;
    for (uint8_t g : s.group)
        if (!g)
            return false;
    return true;
}
