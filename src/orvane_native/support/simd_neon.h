// Shared helpers of the aarch64 Advanced SIMD (NEON) kernel variants: two
// doubles, one complex number [re, im], per register. Included only by
// translation units compiled for aarch64 (see cpu.h), where NEON is part of
// the baseline, so no function attribute is needed. Only vmulq/vaddq are
// used for the arithmetic, never vfmaq: nothing may be fused (and
// -ffp-contract=off keeps the compiler from fusing them).
#pragma once

#include "orvane_native/support/cpu.h"

#if !defined(ORVANE_AARCH64)
#error "simd_neon.h is for aarch64 targets only"
#endif

#include <arm_neon.h>

namespace orvane::simd::neon {

// A complex factor k prepared for products with packed numbers: its real
// part in both lanes, and its imaginary part as [-im, im] (for k * a) and
// [im, -im] (for a * conj(k)). Negation is exact, and x + (-y) rounds as
// x - y does, so the products below give the scalar formulas' bits.
struct Factor {
  float64x2_t re, im_mul, im_conj;
};

inline Factor factor(double re, double im) {
  return {vdupq_n_f64(re), float64x2_t{-im, im}, float64x2_t{im, -im}};
}

// [a.im, a.re]
inline float64x2_t swap(float64x2_t a) { return vextq_f64(a, a, 1); }

// k * a = [kr*ar - ki*ai, kr*ai + ki*ar], each product rounded before the sum.
inline float64x2_t cmul(const Factor& k, float64x2_t a) {
  return vaddq_f64(vmulq_f64(k.re, a), vmulq_f64(k.im_mul, swap(a)));
}

// a * conj(k) = [kr*ar + ki*ai, kr*ai - ki*ar].
inline float64x2_t cmul_conj(const Factor& k, float64x2_t a) {
  return vaddq_f64(vmulq_f64(k.re, a), vmulq_f64(k.im_conj, swap(a)));
}

inline float64x2_t load(const double* p) { return vld1q_f64(p); }
inline void store(double* p, float64x2_t v) { vst1q_f64(p, v); }
inline float64x2_t zero() { return vdupq_n_f64(0.0); }

}  // namespace orvane::simd::neon
