// What the parts of one tick share: the tick's view of the world, the
// amounts sources send, and the scratch kept from tick to tick (owned by
// each world's TICKSTATE, so that two worlds can tick at once).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/tick/combustion.h"
#include "engine/tick/helper.h"
#include "engine/tick/lanes/lanes.h"
#include "engine/world.h"

// Neighbour directions and their offsets, anticlockwise from +x (the map's
// rows grow downwards, so +y is south). The sweep visits them in this order.
enum { E, SE, S, SW, W, NW, N, NE };
inline constexpr int ddx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr int ddy[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// What one tick reads and writes. `in` (the published state) and `fuel`
// are read only; `out` is overwritten (heat of every cell, attribution).
struct TICKVIEW {
    long sizex = 0;
    long sizey = 0;
    const MATERIAL *types = nullptr;
    size_t ntypes = 0;
    const uint16_t *type = nullptr;
    const PACKED80 *fuel = nullptr;
    const GRID *in = nullptr;
    GRID *out = nullptr;
    const MAPUNIT *outside = nullptr;
    double interval = 0.1;
    int threads = 0;          // 0: chosen by map size; 1 or 2: forced
    TICKPATH path = TICKPATH::x87;
    SETTLE *settle = nullptr; // settled groups are skipped, and it is updated
};

inline bool inmap(const TICKVIEW &w, long x, long y) { return x >= 0 && x < w.sizex && y >= 0 && y < w.sizey; }

// The amounts one source sends, by direction; bit t of mask is set where it
// sends amount t (a request that is not 0).
struct SENDS {
    long double amt[8];
    unsigned mask;
};

// The amounts of the four lines of border sources.
struct BORDERS {
    std::vector<SENDS> bottom; // (x, -1)
    std::vector<SENDS> right;  // (sizex, y)
    std::vector<SENDS> left;   // (-1, y)
    std::vector<SENDS> top;    // (x, sizey)
};

// Rolling buffers of one sweeping thread: temperatures and materials of
// three columns (with the surroundings above and below), amounts of three
// columns of sources.
struct COLUMNS {
    std::vector<long double> temp[3]; // [y + 1], 0 and sizey + 1 outside
    std::vector<uint32_t> mat[3];     // likewise: material, or `out` for the surroundings
    bool ordered[3] = {};             // every temperature of the column is >= 0 and finite
    std::vector<PACKED80> amt[3];     // [y * 8 + t]
    std::vector<uint8_t> mask[3];     // [y + 1] (maskof)
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
    // The vector path (lanes/lanes.h), null for the x87 unit alone. Per
    // ring column, the pair forms of its heat, temperatures and amounts,
    // and which of the two forms (FORMPAIRS, FORMLD) its temperatures and
    // amounts are held in; the masks are shared ([y + 1]: see maskof).
    const LANEKERNELS *lanes = nullptr;
    LANETABLES lanetables{};
    std::vector<double> hh[3], hl[3]; // published heat [y]
    std::vector<double> th[3], tl[3]; // temperatures [y + 1]
    std::vector<double> ah[3], al[3]; // amounts [t * (sizey + 2 + LANEPAD) + y + 1]
    std::vector<double> oh, ol;       // a gathered column's heat [y]
    uint8_t tform[3] = {}, aform[3] = {};
    uint64_t paircolumns = 0, x87columns = 0; // columns gathered each way in this tick
};

// Combustion of the cell at index `cell` after its conduction, h its heat:
// a cell that holds fuel and has reached its ignition point burns, and the
// burn is kept for the swap. published() gives the cell's temperature at
// the start of the tick (asked only where there is fuel).
template <class PUBLISHED>
inline void combustcell(const TICKVIEW &w, COLUMNS &c, size_t cell, PUBLISHED published, long double &h,
                        bool &touched)
{
    long double fuel = load80(w.fuel[cell]);
    if (!hasfuel(fuel))
        return;
    const uint16_t mat = w.type[cell];
    const MATERIAL &t = w.types[mat];
    if (ignites(t, h, touched, published(), c.coldbelow[mat], c.hotabove[mat])) {
        long double heat2add = burnfuel(t, (long double)w.interval, fuel, h);
        c.burns.push_back({(uint32_t)cell, fuel, heat2add});
        touched = true;
    }
}

enum { FORMPAIRS = 1, FORMLD = 2 };

// The ring buffer that holds column x (x >= -3).
inline int ring(long x) { return (int)((x + 3) % 3); }

// The sends mask of ring column r's row y is maskof(c, r)[y]; rows -1 and
// sizey (and the pad after) read 0.
inline uint8_t *maskof(COLUMNS &c, int r) { return c.mask[r].data() + 1; }

// Scratch kept between ticks so that a tick allocates only when it grows.
struct TICKSCRATCH {
    COLUMNS columns[2];
    BORDERS borders;
    std::vector<uint32_t> fresh; // cells given an entry during the tick
    std::vector<uint32_t> ahead; // min-heap of fresh cells not yet swept
    std::vector<uint32_t> merged;
    std::vector<SENDS> stored;  // amounts of the sources tagged at the start, by entry of `in`
    std::vector<uint8_t> skip;  // per column: settled, neither computed nor written
    std::vector<uint8_t> moved; // per computed column: something moved in it
    std::vector<long double> cocon, icocon;       // per material, then the surroundings
    std::vector<long double> coldbelow, hotabove; // per material
    std::vector<double> cphi, cplo, cchi, cclo, ichi, iclo; // the lanes' tables (LANETABLES)
    // Attribution work of one tagged cell, in units of one cell's
    // conduction, for sharing a tick between the threads: measured on every
    // two-thread tick that has tags (the split never changes a result).
    double attrcost = 2.5;
    HELPER helper;
};

// Conduction (conduction.cpp).
// The amounts of the source at (x, y), which may be a border position,
// computed from scratch.
void sourcesends(const TICKVIEW &w, long x, long y, SENDS &s);
// The amounts of the four lines of border sources.
void borderssends(const TICKVIEW &w, BORDERS &b);
// Sweeps the columns [lo, hi) that are not skipped, clearing c.burns first:
// every cell's conduction and combustion into w.out. moved[x] tells whether
// something moved in column x. The amounts of the sources tagged at the
// start are kept in `stored` (by entry); `progress`, when given, is raised
// (release) to x + 1 once those of column x are written.
void sweepparts(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long lo, long hi, SENDS *stored,
                std::atomic<long> *progress, const uint8_t *skip, uint8_t *moved);

// One column of a sweep, on the x87 unit (conduction.cpp): temperatures
// and materials of column x (which may be off the map), the amounts its
// sources send (kept in `stored` too for the cells tagged at the start),
// and its cells' conduction and combustion (true when something moved).
void filltempx87(const TICKVIEW &w, COLUMNS &c, long x);
void fillamountsx87(const TICKVIEW &w, COLUMNS &c, long x, SENDS *stored);
bool gathercolumnx87(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long x);
// What an edge cell (x, y) receives from the border lines.
void receiveborders(const BORDERS &b, long X, long Y, long x, long y, long double &h, bool &touched);

// The same in vector lanes where c.lanes is set and the column's values
// have pairs, else on the x87 unit (paircolumns.cpp).
void sizepairs(COLUMNS &c, size_t sizey);
void filltemp(const TICKVIEW &w, COLUMNS &c, long x);
void fillamounts(const TICKVIEW &w, COLUMNS &c, long x, SENDS *stored);
bool gathercolumn(const TICKVIEW &w, COLUMNS &c, const BORDERS &b, long x);

// Attribution (attribution.cpp).
// The moves of conduction, in the sweep's order, visiting only cells that
// hold attributed heat. The stored amounts of column x are read only once
// `ready` (when given) is past x; time spent waiting is added to *waited.
void attributionpass(const TICKVIEW &w, TICKSCRATCH &sc, const std::atomic<long> *ready, double *waited);
// Heat from the surroundings, attributed by the receivers' own tags.
void borderlines(const TICKVIEW &w, const TICKSCRATCH &sc);
// Which burning cells burnattr takes: all, only those off the map's edge
// (which the border lines never reach), or only those on it.
enum class CELLS { all, inner, edge };
// Combustion's moves: each burning cell's released heat to its own tags.
void burnattr(const TICKVIEW &w, const BURN *from, const BURN *to, CELLS which);
// Lists in w.out the cells that hold tags at the end of the tick.
void listtagged(const TICKVIEW &w, TICKSCRATCH &sc);

// Settled regions (settle.cpp).
// Marks in sc.skip the columns that need not be computed, and clears
// sc.moved.
void findsettled(const TICKVIEW &w, TICKSCRATCH &sc);
// After the sweep: a computed group settled when nothing moved in it.
void recordsettled(const TICKVIEW &w, const TICKSCRATCH &sc);
