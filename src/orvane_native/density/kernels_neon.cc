// The NEON variants of the density-matrix channel kernels: the AVX2
// variants' loops at 128-bit width.
#include "orvane_native/support/cpu.h"

#if defined(ORVANE_AARCH64)
#include <cstddef>
#include <vector>

#include "orvane_native/density/kernels_simd.h"
#include "orvane_native/support/simd_neon.h"

namespace orvane::simd {

using neon::cmul;
using neon::cmul_conj;
using neon::Factor;
using neon::load;
using neon::store;

// One entry of one block per register: rows j and j + s (j with bit s
// clear, row_begin <= j < row_end), columns c and c + s of every column base c.
void channel_2x2_neon(double* rho, int64_t dim, int64_t s, int64_t m, const double* tab, int64_t row_begin,
                      int64_t row_end) {
  struct Op {
    Factor a, b, c, d;
  };
  std::vector<Op> ops(static_cast<std::size_t>(m));
  const double *ar = tab, *ai = ar + m, *br = ai + m, *bi = br + m;
  const double *cr = bi + m, *ci = cr + m, *dr = ci + m, *di = dr + m;
  for (int64_t i = 0; i < m; ++i) {
    ops[i] = {neon::factor(ar[i], ai[i]), neon::factor(br[i], bi[i]), neon::factor(cr[i], ci[i]),
              neon::factor(dr[i], di[i])};
  }
  for (int64_t j = row_begin; j < row_end; j = ((j | s) + 1) & ~s) {
    double* row0 = rho + 2 * j * dim;
    double* row1 = rho + 2 * (j + s) * dim;
    for (int64_t cb = 0; cb < dim; cb += 2 * s) {
      for (int64_t c = cb; c < cb + s; ++c) {
        const float64x2_t p00 = load(row0 + 2 * c), p01 = load(row0 + 2 * (c + s));
        const float64x2_t p10 = load(row1 + 2 * c), p11 = load(row1 + 2 * (c + s));
        float64x2_t y00 = neon::zero(), y01 = y00, y10 = y00, y11 = y00;
        for (const Op& o : ops) {
          // T = K B, then accumulator += T K^dagger, as the scalar kernel.
          const float64x2_t t00 = vaddq_f64(cmul(o.a, p00), cmul(o.b, p10));
          const float64x2_t t01 = vaddq_f64(cmul(o.a, p01), cmul(o.b, p11));
          const float64x2_t t10 = vaddq_f64(cmul(o.c, p00), cmul(o.d, p10));
          const float64x2_t t11 = vaddq_f64(cmul(o.c, p01), cmul(o.d, p11));
          y00 = vaddq_f64(y00, vaddq_f64(cmul_conj(o.a, t00), cmul_conj(o.b, t01)));
          y01 = vaddq_f64(y01, vaddq_f64(cmul_conj(o.c, t00), cmul_conj(o.d, t01)));
          y10 = vaddq_f64(y10, vaddq_f64(cmul_conj(o.a, t10), cmul_conj(o.b, t11)));
          y11 = vaddq_f64(y11, vaddq_f64(cmul_conj(o.c, t10), cmul_conj(o.d, t11)));
        }
        store(row0 + 2 * c, y00);
        store(row0 + 2 * (c + s), y01);
        store(row1 + 2 * c, y10);
        store(row1 + 2 * (c + s), y11);
      }
    }
  }
}

// Two column bases per register, real and imaginary parts apart (vld2q
// splits them on the way in, vst2q joins them on the way out).
void general_rows_4x4_neon(double* rho, int64_t dim, int64_t r0, const int64_t off[4], int64_t outer, int64_t run,
                           int64_t m, const double* kre, const double* kim, InterruptPoll& poll) {
  double* row[4];
  for (int a = 0; a < 4; ++a) row[a] = rho + 2 * (r0 + off[a]) * dim;
  const float64x2_t zero = neon::zero();
  for (int64_t c0 = 0; c0 < dim; c0 = ((c0 | outer) + 1) & ~outer) {
    for (int64_t cb = c0; cb < c0 + run; cb += 2) {
      poll.tick(256 * m);
      float64x2_t br[16], bi[16], ar[16], ai[16];
      for (int e = 0; e < 4; ++e) {
        for (int c = 0; c < 4; ++c) {
          const float64x2x2_t v = vld2q_f64(row[e] + 2 * (cb + off[c]));
          br[4 * e + c] = v.val[0];
          bi[4 * e + c] = v.val[1];
          ar[4 * e + c] = zero;
          ai[4 * e + c] = zero;
        }
      }
      for (int64_t i = 0; i < m; ++i) {
        const double* kr = kre + 16 * i;
        const double* ki = kim + 16 * i;
        // T[a][c] = sum_e K[a][e] B[e][c], from zero, e increasing.
        float64x2_t tr[16], ti[16];
        for (int a = 0; a < 4; ++a) {
          for (int c = 0; c < 4; ++c) tr[4 * a + c] = zero, ti[4 * a + c] = zero;
          for (int e = 0; e < 4; ++e) {
            const float64x2_t zr = vdupq_n_f64(kr[4 * a + e]), zi = vdupq_n_f64(ki[4 * a + e]);
            for (int c = 0; c < 4; ++c) {
              const float64x2_t xr = br[4 * e + c], xi = bi[4 * e + c];
              tr[4 * a + c] = vaddq_f64(tr[4 * a + c], vsubq_f64(vmulq_f64(zr, xr), vmulq_f64(zi, xi)));
              ti[4 * a + c] = vaddq_f64(ti[4 * a + c], vaddq_f64(vmulq_f64(zr, xi), vmulq_f64(zi, xr)));
            }
          }
        }
        // A[a][c] += sum_e T[a][e] conj(K[c][e]), the inner sum from zero.
        for (int c = 0; c < 4; ++c) {
          float64x2_t wr[4], wi[4];
          for (int e = 0; e < 4; ++e) wr[e] = vdupq_n_f64(kr[4 * c + e]), wi[e] = vdupq_n_f64(ki[4 * c + e]);
          for (int a = 0; a < 4; ++a) {
            float64x2_t sr = zero, si = zero;
            for (int e = 0; e < 4; ++e) {
              const float64x2_t xr = tr[4 * a + e], xi = ti[4 * a + e];
              sr = vaddq_f64(sr, vaddq_f64(vmulq_f64(xr, wr[e]), vmulq_f64(xi, wi[e])));
              si = vaddq_f64(si, vsubq_f64(vmulq_f64(xi, wr[e]), vmulq_f64(xr, wi[e])));
            }
            ar[4 * a + c] = vaddq_f64(ar[4 * a + c], sr);
            ai[4 * a + c] = vaddq_f64(ai[4 * a + c], si);
          }
        }
      }
      for (int a = 0; a < 4; ++a) {
        for (int c = 0; c < 4; ++c) {
          const float64x2x2_t v = {{ar[4 * a + c], ai[4 * a + c]}};
          vst2q_f64(row[a] + 2 * (cb + off[c]), v);
        }
      }
    }
  }
}

}  // namespace orvane::simd

#endif  // ORVANE_AARCH64
