// The vector instructions the exact pair arithmetic uses, as one small set
// of operations per instruction set: AVX2 with FMA (four lanes, masks held
// as vectors) and AVX-512 (eight lanes, masks held in mask registers).
//
// Included only by the translation units built for that instruction set
// (lanes/avx2.cpp, lanes/avx512.cpp), each inside its own anonymous
// namespace, so that none of this code can reach the common code.
#pragma once

#include <immintrin.h>

#include <cstdint>

#if defined(__AVX2__) && defined(__FMA__) && !defined(KINDLER_LANES_AVX512)
struct VEC {
    enum { N = 4 };
    using D = __m256d;
    using M = __m256d; // all ones in a lane that holds
    using I = __m128i; // four 32-bit indexes
    static D load(const double *p) { return _mm256_loadu_pd(p); }
    static void store(double *p, D v) { _mm256_storeu_pd(p, v); }
    static D set1(double v) { return _mm256_set1_pd(v); }
    static D zero() { return _mm256_setzero_pd(); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D div(D a, D b) { return _mm256_div_pd(a, b); }
    static D fms(D a, D b, D c) { return _mm256_fmsub_pd(a, b, c); } // a * b - c, rounded once
    static D fma(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); } // a * b + c, rounded once
    static D bits(uint64_t b) { return _mm256_castsi256_pd(_mm256_set1_epi64x((long long)b)); }
    static D andb(D a, D b) { return _mm256_and_pd(a, b); }
    static D xorb(D a, D b) { return _mm256_xor_pd(a, b); }
    static D abs(D a) { return _mm256_and_pd(a, bits(0x7fffffffffffffffull)); }
    static D neg(D a) { return _mm256_xor_pd(a, bits(0x8000000000000000ull)); }
    static M gt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static M lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M ge(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static M eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M ne(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
    // The lanes whose 64 bits are all zero (+0, not -0).
    static M iszerobits(D a)
    {
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_setzero_si256()));
    }
    static M mand(M a, M b) { return _mm256_and_pd(a, b); }
    static M mor(M a, M b) { return _mm256_or_pd(a, b); }
    static M mandnot(M a, M b) { return _mm256_andnot_pd(b, a); } // a and not b
    static M none() { return _mm256_setzero_pd(); }
    static M all() { return bits(~0ull); }
    static unsigned tobits(M m) { return (unsigned)_mm256_movemask_pd(m); }
    static M frombits(unsigned b)
    {
        const __m256i sel = _mm256_set_epi64x(8, 4, 2, 1);
        const __m256i v = _mm256_and_si256(_mm256_set1_epi64x((long long)b), sel);
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(v, sel));
    }
    static D blend(M m, D yes, D no) { return _mm256_blendv_pd(no, yes, m); }
    static I loadidx(const uint32_t *p) { return _mm_loadu_si128((const __m128i *)p); }
    static D gather(const double *base, I idx) { return _mm256_mask_i32gather_pd(zero(), base, idx, all(), 8); }
    static M sameidx(I a, I b) { return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_cmpeq_epi32(a, b))); }
    // The lanes whose byte p[lane] has bit `bit` set.
    static M bytebit(const uint8_t *p, unsigned bit)
    {
        int32_t four;
        __builtin_memcpy(&four, p, 4);
        const __m256i v = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four));
        const __m256i b = _mm256_set1_epi64x((long long)bit);
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(v, b), b));
    }
};
#elif defined(__AVX512F__) && defined(__AVX512DQ__) && defined(KINDLER_LANES_AVX512)
struct VEC {
    enum { N = 8 };
    using D = __m512d;
    using M = __mmask8;
    using I = __m256i; // eight 32-bit indexes
    static D load(const double *p) { return _mm512_loadu_pd(p); }
    static void store(double *p, D v) { _mm512_storeu_pd(p, v); }
    static D set1(double v) { return _mm512_set1_pd(v); }
    static D zero() { return _mm512_setzero_pd(); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D div(D a, D b) { return _mm512_div_pd(a, b); }
    static D fms(D a, D b, D c) { return _mm512_fmsub_pd(a, b, c); }
    static D fma(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
    static D bits(uint64_t b) { return _mm512_castsi512_pd(_mm512_set1_epi64((long long)b)); }
    static D andb(D a, D b) { return _mm512_and_pd(a, b); }
    static D xorb(D a, D b) { return _mm512_xor_pd(a, b); }
    static D abs(D a) { return _mm512_abs_pd(a); }
    static D neg(D a) { return _mm512_xor_pd(a, bits(0x8000000000000000ull)); }
    static M gt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static M lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M ge(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static M eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M ne(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ); }
    static M iszerobits(D a) { return _mm512_cmpeq_epi64_mask(_mm512_castpd_si512(a), _mm512_setzero_si512()); }
    static M mand(M a, M b) { return (M)(a & b); }
    static M mor(M a, M b) { return (M)(a | b); }
    static M mandnot(M a, M b) { return (M)(a & ~b); }
    static M none() { return 0; }
    static M all() { return 0xff; }
    static unsigned tobits(M m) { return m; }
    static M frombits(unsigned b) { return (M)b; }
    static D blend(M m, D yes, D no) { return _mm512_mask_blend_pd(m, no, yes); }
    static I loadidx(const uint32_t *p) { return _mm256_loadu_si256((const __m256i *)p); }
    static D gather(const double *base, I idx) { return _mm512_mask_i32gather_pd(zero(), 0xff, idx, base, 8); }
    static M sameidx(I a, I b) { return _mm512_cmpeq_epi64_mask(_mm512_maskz_cvtepu32_epi64(0xff, a), _mm512_maskz_cvtepu32_epi64(0xff, b)); }
    static M bytebit(const uint8_t *p, unsigned bit)
    {
        long long eight;
        __builtin_memcpy(&eight, p, 8);
        const __m512i v = _mm512_maskz_cvtepu8_epi64(0xff, _mm_cvtsi64_si128(eight));
        return _mm512_test_epi64_mask(v, _mm512_set1_epi64((long long)bit));
    }
};
#else
#error "lanes/simd.h: build this unit with -mavx2 -mfma, or with -mavx512f -mavx512dq and KINDLER_LANES_AVX512"
#endif
