// The tick's vector paths: which ones this processor runs, and the column
// stages each provides. A stage computes heat values as exact pairs of
// doubles (lanes/pairops.h) and returns false when some lane of the column
// lies outside what the pairs hold exactly; the caller then computes that
// column on the x87 unit, so every path gives the same bytes.
//
// Per-column arrays hold one value per row; arrays indexed [y + 1] have the
// surroundings (or a zero pad) at 0 and at sizey + 1, and every array has
// LANEPAD more elements, which the last vector of a column reads or writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/packed80.h"

enum class TICKPATH { x87, avx2, avx512 };

enum { LANEPAD = 8 };

// "x87", "avx2" or "avx512".
const char *tickpathname(TICKPATH p);
// True when this processor runs path p.
bool tickpathrunnable(TICKPATH p);
// The fastest path this processor runs (what --tick=auto takes).
TICKPATH besttickpath();
// The paths this processor runs, fastest last, as "x87 avx2 avx512".
const char *runnabletickpaths();

// Per material, then the surroundings at index ntypes: calperc, cocon and
// interval x cocon as pairs (calperc is NaN where it is no pair).
struct LANETABLES {
    const double *cphi, *cplo;
    const double *cchi, *cclo;
    const double *ichi, *iclo;
};

struct LANEKERNELS {
    // Temperatures of one map column: th/tl[y + 1] = heat / calperc.
    bool (*temps)(const LANETABLES &tb, const uint32_t *mat, const double *hh, const double *hl, long sizey,
                  double *th, double *tl);
    // The amounts the sources of one map column send, from the temperatures
    // and materials ([y + 1]) of the columns before, this and after: the
    // amount of direction t into ah/al[t * stride + y + 1], bit t of
    // mask[y] set where it is sent.
    bool (*amounts)(const LANETABLES &tb, const double *const th[3], const double *const tl[3],
                    const uint32_t *const mat[3], long sizey, long stride, double *ah, double *al, uint8_t *mask);
    // One column's heat after conduction, without the border lines: what
    // its cells receive from the columns before (if prev), this and after
    // (if next) and send, in the sweep's order. Masks are indexed [y + 1].
    bool (*gather)(const double *hh, const double *hl, const uint8_t *const mask[3], const double *const ah[3],
                   const double *const al[3], bool prev, bool next, long sizey, long stride, double *oh, double *ol);
    // One operation (0 add, 1 sub, 2 mul, 3 div) over n pairs, for the
    // tests and benchmarks: bad[i] is 1 where the lane could not decide.
    void (*arrayop)(int op, size_t n, const double *ah, const double *al, const double *bh, const double *bl,
                    double *rh, double *rl, uint8_t *bad);
};

// The kernels of a vector path (null for x87 and for a path the processor
// lacks).
const LANEKERNELS *lanekernels(TICKPATH p);

// Splits x into a pair; false (and NaN) when x has no exact pair in the
// lanes' range.
bool ldtopair(const long double &x, double &hi, double &lo);
bool ldtopair(const PACKED80 &x, double &hi, double &lo);
// The value of a pair.
inline long double pairtold(double hi, double lo) { return lo == 0 ? (long double)hi : (long double)hi + lo; }
