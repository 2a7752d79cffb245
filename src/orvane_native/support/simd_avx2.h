// Shared helpers of the x86-64 AVX2 and FMA kernel variants: four doubles
// (two complex numbers) per register. Included only by translation units
// that are compiled for x86-64 (see cpu.h), and only inside functions that
// carry ORVANE_TARGET_AVX2 or ORVANE_TARGET_FMA may these helpers be called.
#pragma once

#include "orvane_native/support/cpu.h"

#if !defined(ORVANE_X86_64)
#error "simd_avx2.h is for x86-64 targets only"
#endif

#include <immintrin.h>

// Every function that uses AVX2 intrinsics or vector types carries this,
// helpers included (Clang refuses intrinsics outside such functions). FMA is
// deliberately not enabled: nothing may be fused.
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2")))

// The matrix toolkit's products are explicit fused multiply-adds (std::fma).
// Compiled for baseline x86-64 each one is a library call; functions marked
// with this are also compiled for the FMA instruction, which rounds exactly
// as the library call does, and run where the variant table says kFma.
// Contraction stays off (-ffp-contract=off), so only the written std::fma
// calls fuse. The one freedom left is the sign bit of a NaN result, which
// IEEE 754 does not fix for arithmetic (fma(a, b, -c) may run as a fused
// subtraction).
#define ORVANE_TARGET_FMA __attribute__((target("fma")))

namespace orvane::simd::avx2 {

// g * a for packed complex numbers a = [ar0, ai0, ar1, ai1], g given as its
// real parts gr and imaginary parts gi (per lane): [gr*ar - gi*ai,
// gr*ai + gi*ar], each product rounded before the sum.
ORVANE_TARGET_AVX2 inline __m256d cmul(__m256d gr, __m256d gi, __m256d a) {
  return _mm256_addsub_pd(_mm256_mul_pd(gr, a), _mm256_mul_pd(gi, _mm256_permute_pd(a, 0b0101)));
}

// a * conj(k), given k's real parts kr and negated imaginary parts nki:
// [kr*ar + ki*ai, kr*ai - ki*ar].
ORVANE_TARGET_AVX2 inline __m256d cmul_conj(__m256d kr, __m256d nki, __m256d a) { return cmul(kr, nki, a); }

// [v0, v1, v0, v1] and [v2, v3, v2, v3]: one complex number in both halves.
ORVANE_TARGET_AVX2 inline __m256d low_twice(__m256d v) { return _mm256_permute2f128_pd(v, v, 0x00); }
ORVANE_TARGET_AVX2 inline __m256d high_twice(__m256d v) { return _mm256_permute2f128_pd(v, v, 0x11); }

// [x, x, y, y]
ORVANE_TARGET_AVX2 inline __m256d pair(double x, double y) { return _mm256_set_pd(y, y, x, x); }

// x in every lane.
ORVANE_TARGET_AVX2 inline __m256d broadcast(const double& x) { return _mm256_broadcast_sd(&x); }

// Asks for the cache line holding p.
inline void prefetch(const double* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }

}  // namespace orvane::simd::avx2
