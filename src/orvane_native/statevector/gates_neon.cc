// The NEON variants of the dense one- and two-qubit gate kernels: the scalar
// loops with one amplitude per register.
#include "orvane_native/support/cpu.h"

#if defined(ORVANE_AARCH64)
#include "orvane_native/statevector/gates_simd.h"
#include "orvane_native/support/simd_neon.h"

namespace orvane::simd {

using neon::cmul;
using neon::Factor;
using neon::load;
using neon::store;

void apply_1q_neon(double* psi, int64_t dim, int64_t s, const double* g) {
  const Factor g00 = neon::factor(g[0], g[1]), g01 = neon::factor(g[2], g[3]);
  const Factor g10 = neon::factor(g[4], g[5]), g11 = neon::factor(g[6], g[7]);
  for (int64_t b = 0; b < dim; b += 2 * s) {
    double* p0 = psi + 2 * b;
    double* p1 = p0 + 2 * s;
    for (int64_t j = 0; j < s; ++j) {
      const float64x2_t a0 = load(p0 + 2 * j), a1 = load(p1 + 2 * j);
      store(p0 + 2 * j, vaddq_f64(cmul(g00, a0), cmul(g01, a1)));
      store(p1 + 2 * j, vaddq_f64(cmul(g10, a0), cmul(g11, a1)));
    }
  }
}

// Blocks of 2hi amplitudes; in each, runs of lo bases at j = i, i + 2lo, ...
// below i + hi, so every base has no target bit set.
void apply_2q_neon(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im) {
  Factor g[16];
  for (int e = 0; e < 16; ++e) g[e] = neon::factor(re[e], im[e]);
  for (int64_t i = 0; i < dim; i += 2 * hi) {
    for (int64_t j = i; j < i + hi; j += 2 * lo) {
      double* p[4] = {psi + 2 * (j + off[0]), psi + 2 * (j + off[1]), psi + 2 * (j + off[2]),
                      psi + 2 * (j + off[3])};
      for (int64_t k = 0; k < lo; ++k) {
        float64x2_t a[4];
        for (int m = 0; m < 4; ++m) a[m] = load(p[m] + 2 * k);
        for (int r = 0; r < 4; ++r) {
          float64x2_t acc = neon::zero();
          for (int c = 0; c < 4; ++c) acc = vaddq_f64(acc, cmul(g[r * 4 + c], a[c]));
          store(p[r] + 2 * k, acc);
        }
      }
    }
  }
}

}  // namespace orvane::simd

#endif  // ORVANE_AARCH64
