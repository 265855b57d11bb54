// The compact world and the fast tick.
//
// A cell is split by how often it changes: its static properties live once
// per material in a table of CELLTYPEs (each cell holds a 16-bit index), its
// heat lives in one long double per buffer, its fuel in one published array,
// and its attribution slots only exist for cells that hold tags, in a pool
// per buffer reached through a per-cell index (-1 for none). While no cell
// holds tags the world takes 2 x 16 (heat) + 16 (fuel) + 2 (type) + 2 x 4
// (attribution index) = 58 bytes per cell.
//
// The fast tick gives, bit for bit, what the plain sweep gives (every cell
// conducting to its neighbours in x-outer, y-inner order, then the four
// lines of virtual border cells, then combustion), computed in another
// order:
//   - conduction in the gather form: each cell adds and subtracts the
//     amounts it receives and sends in exactly the order the sweep would
//     apply them to it (sources of the column before, the cell before, its
//     own sends in direction order, the cell after, the column after, then
//     the border lines); amounts come from temperatures computed once per
//     cell per tick, kept for a few columns only; the columns are split
//     between two threads that never write what the other reads;
//   - combustion per cell, right after its conduction;
//   - settled parts skipped: columns are grouped by SETTLEWIDTH, and a group
//     in which nothing moved (no amount sent or received, nothing burnt)
//     holds the same heat in both buffers; if it and the groups beside it
//     settled on the last tick and nothing was written into them since,
//     every input of its cells (heat and temperatures up to two cells
//     away, fuel, materials, surroundings) is what it was, so nothing
//     moves again and the group is neither computed nor written;
//   - attribution as its own pass in the sweep's call order, visiting only
//     cells that hold attributed heat (a move from a sender without it
//     changes nothing). On two threads it runs while a helper thread (kept
//     for the process's life, woken per tick) sweeps the rest of the
//     columns, waiting column by column for the amounts the helper stores;
//     the pass copies the pool in cell order so it walks it forward.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "world.h"

// Static properties of one material; fixed once built.
struct CELLTYPE {
    long double cocon;   // conduction coefficient
    long double calperc; // calories per kelvin
    long double calperf; // calories per unit of fuel
    long double burnspeed;
    int ignitionpoint;
    int block;
};

// The attribution slots of one tagged cell.
struct ATTR {
    int heatsource[NUMSLOTS];
    long double sourcequan[NUMSLOTS];
};

// An allocator that leaves new elements uninitialised: the tick sizes the
// attribution pool and then writes every entry, so zeroing it first would
// only cost time.
template <class T> struct UNINITIALISED : std::allocator<T> {
    template <class U> struct rebind {
        using other = UNINITIALISED<U>;
    };
    UNINITIALISED() = default;
    template <class U> UNINITIALISED(const UNINITIALISED<U> &) {}
    template <class U, class... A> void construct(U *p, A &&...a)
    {
        if constexpr (sizeof...(A) == 0)
            ::new ((void *)p) U;
        else
            ::new ((void *)p) U(std::forward<A>(a)...);
    }
};
using ATTRPOOL = std::vector<ATTR, UNINITIALISED<ATTR>>;

// One of the two buffers: the heat of every cell and the attribution of the
// cells that hold tags.
struct GRID {
    long double *heat = nullptr;  // totalcal of every cell
    int32_t *attrindex = nullptr; // entry of pool, or -1 for a cell without tags
    ATTRPOOL pool;                // entries of tagged cells
    std::vector<uint32_t> tagged; // cells with an entry, ascending
};

// A burning cell's combustion in one tick: the fuel it keeps and the heat
// it released (already added to its heat).
struct BURN {
    uint32_t index;
    long double fuel;
    long double heat2add;
};

// Which groups of columns settled: kept by the owner of a world from tick
// to tick. Whatever writes heat, fuel or materials of a cell outside the
// tick (a fire, a loaded or replaced cell) unsettles the cell's group, or
// clears the whole record.
enum { SETTLEWIDTH = 8 };
struct SETTLE {
    std::vector<uint8_t> group; // per group of SETTLEWIDTH columns: 1 when settled
    // What the groups settled under: another interval or other surroundings
    // unsettle everything.
    double interval = 0;
    long double outtemp = 0;
    long double outcocon = 0;

    void unsettle(size_t cell, long sizey)
    {
        size_t g = sizey > 0 ? (cell / (size_t)sizey) / SETTLEWIDTH : 0;
        if (g < group.size())
            group[g] = 0;
    }
    void clear() { group.clear(); }
    // True when every group settled on the last tick: it moved nothing.
    bool allsettled() const
    {
        if (group.empty())
            return false;
        for (uint8_t g : group)
            if (!g)
                return false;
        return true;
    }
};

// What one fast tick reads and writes. `in` is read only; `out` is
// overwritten (heat of every cell, attribution); `fuel` is read only: the
// changes come back in `burns`, in index order, for the caller to apply.
struct TICKWORLD {
    long sizex = 0;
    long sizey = 0;
    const CELLTYPE *types = nullptr;
    size_t ntypes = 0;
    const uint16_t *type = nullptr;
    const long double *fuel = nullptr;
    const GRID *in = nullptr;
    GRID *out = nullptr;
    const MAPUNIT *outside = nullptr;
    double interval = 0.1;
    int threads = 0;          // 0: chosen by map size; 1 or 2: forced (tests)
    SETTLE *settle = nullptr; // when given, settled groups are skipped (and it is updated)
};

// One tick of conduction, combustion and attribution from w.in into w.out.
void fasttick(const TICKWORLD &w, std::vector<BURN> &burns);

// True when a whole record's slots hold no tag and every quantity is +0
// (-0 counts as a quantity): the cell needs no entry.
bool attrblank(const int *heatsource, const long double *sourcequan);

// Cell i of buffer g as a whole record, with its material and fuel.
MAPUNIT cellrecord(const CELLTYPE &t, const GRID &g, size_t i, long double fuel);
// The heat and the attribution slots of a whole record into cell i of g
// (an entry only when the record holds tags or quantities, or the cell
// already has one).
void putheatrecord(GRID &g, size_t i, const MAPUNIT &cell);

// Attribution moves on compact entries, with the meaning of addheat: either
// side may be null (not both); a null side is a scratch copy of the other.
void attrmove(ATTR *rec, ATTR *src, long double heat2add);
// The slot of `unit` for tag heatsourcenum, as findfreeslot.
int attrslot(const ATTR *unit, int heatsourcenum);

// The entry of cell i in g, created empty (and listed in g.tagged at its
// place) when the cell has none. The reference is valid until the next
// entry is created.
ATTR &attrentry(GRID &g, size_t i);

// ---------------------------------------------------------------------------
// A self-contained compact world (the server's own world, and the one the
// tests and benchmarks build).

struct COMPACTWORLD {
    COMPACTWORLD() = default;
    COMPACTWORLD(const COMPACTWORLD &) = delete; // the buffers point into it
    COMPACTWORLD &operator=(const COMPACTWORLD &) = delete;
    long sizex = 0;
    long sizey = 0;
    std::vector<CELLTYPE> types;
    std::vector<uint16_t> type;
    std::vector<long double> fuel;
    std::vector<long double> heat[2];
    std::vector<int32_t> attrindex[2];
    GRID buf[2];
    int pub = 0; // buffer holding the published state
    MAPUNIT outside{};
    std::vector<BURN> burns;
    SETTLE settle; // writers of heat other than compactput and compactfire clear it
};

// Sizes the world for sizex x sizey cells with no tags; heat, fuel and
// types are left zero.
void compactinit(COMPACTWORLD &c, long sizex, long sizey);
// Index of the material with these static properties, added when new.
// Returns -1 when the table is full.
int interntype(std::vector<CELLTYPE> &types, const MAPUNIT &cell);
// The published cell i as a whole record, and the other way round.
MAPUNIT compactget(const COMPACTWORLD &c, size_t i);
void compactput(COMPACTWORLD &c, size_t i, const MAPUNIT &cell);
// One tick of the whole world, fuel applied and buffers swapped.
void compacttick(COMPACTWORLD &c, double interval, int threads = 0);
// Bytes held by the world per cell (both buffers, types, fuel, indexes,
// attribution pools), averaged over the cells.
double compactbytespercell(const COMPACTWORLD &c);
// A player's fire into the published cell i of the compact world: 100
// calories and their attribution to `tag` (as addheatfromplayer).
void compactfire(COMPACTWORLD &c, size_t i, int tag);
// A player's fire into cell i of one buffer: heat2add calories into heat[i]
// and, for a non-zero tag and a positive amount, into the tag's slot.
void gridfire(GRID &g, size_t i, long double heat2add, int tag);

// ---------------------------------------------------------------------------
// The server's world (besides oldmap, curmap and outside in world.h). All are
// made by the loader and keep their size for the life of the process.

extern std::vector<CELLTYPE> celltypes; // materials; fixed while a tick runs
extern uint16_t *celltype;              // per cell: index into celltypes
extern long double *fuellevel;          // guarded by oldmap_lock: published fuel;
                                        // the tick writes it only at its swap
extern SETTLE settle;                   // guarded by oldmap_lock; the tick's own
                                        // while tickcomputing

// Allocates both buffers, the type indexes and the fuel for n cells (no
// tags, heat and fuel 0). False when memory runs out.
bool allocworld(size_t n);
// Frees what allocworld made.
void freeworld();
