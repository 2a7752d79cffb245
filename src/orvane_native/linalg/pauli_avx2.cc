// The AVX2 variant of pauli_expansion's sums: 16 lanes in four 256-bit
// registers per part.
#include "orvane_native/support/cpu.h"

#if defined(ORVANE_X86_64)
#include "orvane_native/linalg/pauli_simd.h"
#include "orvane_native/support/simd_avx2.h"

namespace orvane::simd {
namespace {

using D4 = double __attribute__((vector_size(32)));
using U4 = uint64_t __attribute__((vector_size(32)));

}  // namespace

ORVANE_TARGET_AVX2 void pauli_sums_avx2(const double* vre, const double* vim, const uint64_t* lane_masks,
                                        const uint64_t* odd, int64_t dim, int64_t s0, double* sre, double* sim) {
  pauli_sums_lanes<D4, U4, kPauliAvx2Lanes>(vre, vim, lane_masks, odd, dim, s0, sre, sim);
}

}  // namespace orvane::simd
#endif
