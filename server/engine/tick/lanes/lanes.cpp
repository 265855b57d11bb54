// Which vector paths this processor runs, and the splitting of extended
// values into pairs. Built with the common flags.
#include "engine/tick/lanes/lanes.h"

#include "extended.h"

const LANEKERNELS *avx2kernels();
const LANEKERNELS *avx512kernels();

const char *tickpathname(TICKPATH p)
{
    switch (p) {
    case TICKPATH::avx2:
        return "avx2";
    case TICKPATH::avx512:
        return "avx512";
    default:
        return "x87";
    }
}

bool tickpathrunnable(TICKPATH p)
{
    switch (p) {
    case TICKPATH::avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case TICKPATH::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    default:
        return true;
    }
}

// A pair operation costs 50 to 70 vector instructions: on the processors
// measured, AVX-512 computes a burning world's columns no faster than the
// x87 unit (AMD EPYC: as fast within a few per cent; Intel Xeon: slower in
// eight of ten alternating runs, 1.24x at the median) and AVX2 1.6 times
// slower, so the x87 unit is the fastest path everywhere; --tick=avx512 or
// avx2 forces a vector one.
TICKPATH besttickpath() { return TICKPATH::x87; }

const char *runnabletickpaths()
{
    if (tickpathrunnable(TICKPATH::avx512))
        return tickpathrunnable(TICKPATH::avx2) ? "x87 avx2 avx512" : "x87 avx512";
    return tickpathrunnable(TICKPATH::avx2) ? "x87 avx2" : "x87";
}

const LANEKERNELS *lanekernels(TICKPATH p)
{
    if (!tickpathrunnable(p))
        return nullptr;
    switch (p) {
    case TICKPATH::avx2:
        return avx2kernels();
    case TICKPATH::avx512:
        return avx512kernels();
    default:
        return nullptr;
    }
}

// The pair of x, whose sign and exponent are se and significand m.
static bool topair(uint16_t se, uint64_t m, long double x, double &hi, double &lo)
{
    if (isclean(se, m)) {
        const double h = (double)x;
        const double a = h < 0 ? -h : h;
        const bool zero = x == 0 && !(se & 0x8000);
        if (zero || (a >= 0x1p-480 && a <= 0x1p480)) {
            hi = h;
            lo = (double)(x - (long double)h);
            return true;
        }
    }
    hi = lo = __builtin_nan("");
    return false;
}

bool ldtopair(const long double &x, double &hi, double &lo) { return topair(signexp(x), significand(x), x, hi, lo); }

bool ldtopair(const PACKED80 &x, double &hi, double &lo) { return topair(signexp(x), significand(x), load80(x), hi, lo); }
