// The sums of pauli_expansion in vector lanes, one variant per instruction
// set, chosen through the variant table (orvane::cpu::variants().expansion).
//
// For the strings x + s that share the row permutation x (see pauli.cc), a
// variant forms S[s] = sum over c = 0, 1, ..., dim - 1, in that order and
// from +0, of (-1)^|s & c| v[c], for `lanes` strings s = s0 .. s0 + lanes - 1
// side by side. Each lane does the operations a scalar loop over c would do,
// in the same order (a sign flip is exact), so the sums are bit-identical
// whichever variant runs.
#pragma once

#include <cstdint>
#include <cstring>

#include "orvane_native/support/cpu.h"

namespace orvane::simd {

// vre, vim: v[c] for c < dim; lane_masks: row c % 16 holds bit 63 set in
// lane l where |l & c| is odd; odd[t]: bit 63 set where |t| is odd. Writes
// lanes sums to sre and sim.
using PauliSums = void (*)(const double* vre, const double* vim, const uint64_t* lane_masks, const uint64_t* odd,
                           int64_t dim, int64_t s0, double* sre, double* sim);

struct PauliSumsVariant {
  PauliSums sums;
  int64_t lanes;
};

// The variant for an instruction set: the portable one (which the compiler
// runs in SSE2 or NEON registers) for kScalar and any set without its own.
PauliSumsVariant pauli_sums_variant(cpu::Isa isa);

#if defined(ORVANE_X86_64)
void pauli_sums_avx2(const double* vre, const double* vim, const uint64_t* lane_masks, const uint64_t* odd,
                     int64_t dim, int64_t s0, double* sre, double* sim);
inline constexpr int64_t kPauliAvx2Lanes = 16;
#endif

// The body of every variant, in registers D (with U the unsigned integers of
// the same width) of the compilers' generic vector types: kLanes / (lanes of
// D) registers per part. Instantiated inside a function compiled for the
// instruction set of D.
template <class D, class U, int kLanes>
[[gnu::always_inline]] inline void pauli_sums_lanes(const double* vre, const double* vim, const uint64_t* lane_masks,
                                                    const uint64_t* odd, int64_t dim, int64_t s0, double* sre,
                                                    double* sim) {
  constexpr int kWidth = sizeof(D) / 8, kRegs = kLanes / kWidth;
  static_assert(sizeof(U) == sizeof(D) && kRegs * kWidth == kLanes && kLanes <= 16);
  D ar[kRegs], ai[kRegs];
  for (int k = 0; k < kRegs; ++k) ar[k] = ai[k] = D{} + 0.0;
  for (int64_t c = 0; c < dim; ++c) {
    const uint64_t f = odd[s0 & c];
    uint64_t r, i;
    std::memcpy(&r, vre + c, sizeof r);
    std::memcpy(&i, vim + c, sizeof i);
    r ^= f;
    i ^= f;
    const uint64_t* row = lane_masks + 16 * (c & 15);
    for (int k = 0; k < kRegs; ++k) {
      U m;
      std::memcpy(&m, row + k * kWidth, sizeof m);
      ar[k] = ar[k] + (D)(m ^ r);
      ai[k] = ai[k] + (D)(m ^ i);
    }
  }
  for (int k = 0; k < kRegs; ++k) {
    std::memcpy(sre + k * kWidth, &ar[k], sizeof ar[k]);
    std::memcpy(sim + k * kWidth, &ai[k], sizeof ai[k]);
  }
}

}  // namespace orvane::simd
