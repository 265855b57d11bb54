// An 80-bit real stored in its ten bytes: how the world keeps heat and
// fuel. A long double takes sixteen bytes in memory, six of them padding;
// the packed form drops the padding and is read and written by the x87
// unit's own 80-bit load and store, which take any address, so a value
// costs no more to reach and the arrays take 10 bytes a cell instead of 16.
// Loads and stores keep every bit (NaN payloads, denormals, unnormals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

struct PACKED80 {
    unsigned char b[10]; // significand (8 bytes, little-endian), then sign and exponent
};
static_assert(sizeof(PACKED80) == 10 && alignof(PACKED80) == 1, "PACKED80 must be ten bytes, unaligned");

// The sanitizers do not see the memory an asm statement reaches: under
// them the bytes are copied instead, with the same result.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PACKED80_COPIES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PACKED80_COPIES 1
#endif
#endif

// The value of a packed real: one 80-bit load straight from its bytes (a
// copy through a long double would make the load wait for two stores).
inline long double load80(const PACKED80 &p)
{
    long double v;
#ifdef PACKED80_COPIES
    v = 0;
    std::memcpy(&v, p.b, sizeof p.b);
#else
    asm("fldt %1" : "=t"(v) : "m"(p));
#endif
    return v;
}

// Stores v in p: one 80-bit store.
inline void store80(PACKED80 &p, long double v)
{
#ifdef PACKED80_COPIES
    std::memcpy(p.b, &v, sizeof p.b);
#else
    asm("fstpt %0" : "=m"(p) : "t"(v) : "st");
#endif
}

// The packed form of v.
inline PACKED80 packed80(long double v)
{
    PACKED80 p;
    store80(p, v);
    return p;
}

// True when two packed reals have the same bits.
inline bool samebits(const PACKED80 &a, const PACKED80 &b) { return std::memcmp(a.b, b.b, sizeof a.b) == 0; }

// The sign and biased exponent, and the significand, of a packed real.
inline uint16_t signexp(const PACKED80 &p)
{
    uint16_t e;
    std::memcpy(&e, p.b + 8, 2);
    return e;
}
inline uint64_t significand(const PACKED80 &p)
{
    uint64_t m;
    std::memcpy(&m, p.b, 8);
    return m;
}

// An array of packed reals, one per cell.
using PACKEDARRAY = std::vector<PACKED80>;
