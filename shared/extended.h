// The 80-bit extended reals of the heat arithmetic and the wire: the
// format check, bit comparisons that need no FPU, and the one conversion
// of a temperature to whole kelvins.
#pragma once

#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64 && LDBL_MAX_EXP == 16384,
              "heat arithmetic needs the 80-bit x87 extended long double");

// True when two long doubles have the same 80 significant bits (the six
// pad bytes of their storage do not count).
inline bool samebits(const long double &a, const long double &b)
{
    uint64_t ma, mb;
    uint16_t ea, eb;
    std::memcpy(&ma, &a, 8);
    std::memcpy(&mb, &b, 8);
    std::memcpy(&ea, (const char *)&a + 8, 2);
    std::memcpy(&eb, (const char *)&b + 8, 2);
    return ma == mb && ea == eb;
}

// The sign and biased exponent of a long double.
inline uint16_t signexp(const long double &v)
{
    uint16_t e;
    std::memcpy(&e, (const char *)&v + 8, 2);
    return e;
}

// The significand of a long double, its integer bit included.
inline uint64_t significand(const long double &v)
{
    uint64_t m;
    std::memcpy(&m, &v, 8);
    return m;
}

// True for a finite value as arithmetic leaves it: zero, a denormal or a
// normal number with its integer bit set (no unnormal, no pseudo-denormal,
// no infinity or NaN). Comparisons on the bits hold for these.
inline bool isclean(uint16_t signexp, uint64_t significand)
{
    const unsigned e = signexp & 0x7fff;
    return e != 0x7fff && (e != 0) == (significand >> 63);
}
inline bool isclean(const long double &v) { return isclean(signexp(v), significand(v)); }

// True for a value >= 0 (not -0) and finite: such values, as arithmetic
// leaves them (no pseudo-denormals, no unnormals), are ordered by their
// exponent and then their significand.
inline bool isordered(const long double &v)
{
    const uint16_t e = signexp(v);
    return !(e & 0x8000) && e != 0x7fff;
}

// a > b for two values that isordered accepts, without the FPU.
inline bool orderedgreater(const long double &a, const long double &b)
{
    uint64_t ma, mb;
    std::memcpy(&ma, &a, 8);
    std::memcpy(&mb, &b, 8);
    const uint16_t ea = signexp(a), eb = signexp(b);
    return ea > eb || (ea == eb && ma > mb);
}

// Copies a long double without the FPU (its whole storage: one 16-byte move).
inline void copy80(long double *to, const long double *from) { std::memcpy(to, from, sizeof(long double)); }

// Whole kelvins of a temperature, truncated toward zero, as combustion and
// the exposure step test it. Values beyond the int range saturate, and a
// temperature that is not a number reads as the lowest int, so it neither
// burns nor hurts.
inline int truncatetemp(long double kelvins)
{
    if (kelvins != kelvins)
        return INT32_MIN;
    if (kelvins >= 2147483648.0L)
        return INT32_MAX;
    if (kelvins <= -2147483649.0L)
        return INT32_MIN;
    return (int)kelvins;
}
