// The AVX2 variants of the density-matrix channel kernels.
#include "orvane_native/support/cpu.h"

#if defined(ORVANE_X86_64)
#include <vector>

#include "orvane_native/density/general_strip.h"
#include "orvane_native/density/kernels_simd.h"
#include "orvane_native/support/simd_avx2.h"

namespace orvane::simd {
namespace {

using avx2::cmul;
using avx2::cmul_conj;
// x in every lane (short: it appears many times per line below).
ORVANE_TARGET_AVX2 inline __m256d bc(const double& x) { return avx2::broadcast(x); }

// One operator's entries, with negated imaginary parts for the conjugate
// products; plain doubles, broadcast where they are used.
struct Op {
  double ar, ai, br, bi, cr, ci, dr, di;
  double nai, nbi, nci, ndi;
};

std::vector<Op> split_ops(int64_t m, const double* tab) {
  std::vector<Op> ops(static_cast<size_t>(m));
  const double *ar = tab, *ai = ar + m, *br = ai + m, *bi = br + m;
  const double *cr = bi + m, *ci = cr + m, *dr = ci + m, *di = dr + m;
  for (int64_t i = 0; i < m; ++i) {
    ops[i] = {ar[i], ai[i], br[i], bi[i], cr[i], ci[i], dr[i], di[i], -ai[i], -bi[i], -ci[i], -di[i]};
  }
  return ops;
}

// s >= 2: columns c and c+1 are both block bases, so one vector carries the
// same entry of two neighbouring blocks.
ORVANE_TARGET_AVX2 void wide(double* rho, int64_t dim, int64_t s, const std::vector<Op>& ops) {
  for (int64_t j = 0; j < dim; j = ((j | s) + 1) & ~s) {
    double* row0 = rho + 2 * j * dim;
    double* row1 = rho + 2 * (j + s) * dim;
    for (int64_t cb = 0; cb < dim; cb += 2 * s) {
      for (int64_t c = cb; c < cb + s; c += 2) {
        const __m256d p00 = _mm256_loadu_pd(row0 + 2 * c), p01 = _mm256_loadu_pd(row0 + 2 * (c + s));
        const __m256d p10 = _mm256_loadu_pd(row1 + 2 * c), p11 = _mm256_loadu_pd(row1 + 2 * (c + s));
        __m256d y00 = _mm256_setzero_pd(), y01 = y00, y10 = y00, y11 = y00;
        for (const Op& o : ops) {
          const __m256d ar = bc(o.ar), ai = bc(o.ai), br = bc(o.br), bi = bc(o.bi);
          const __m256d cr = bc(o.cr), ci = bc(o.ci), dr = bc(o.dr), di = bc(o.di);
          const __m256d t00 = _mm256_add_pd(cmul(ar, ai, p00), cmul(br, bi, p10));
          const __m256d t01 = _mm256_add_pd(cmul(ar, ai, p01), cmul(br, bi, p11));
          const __m256d t10 = _mm256_add_pd(cmul(cr, ci, p00), cmul(dr, di, p10));
          const __m256d t11 = _mm256_add_pd(cmul(cr, ci, p01), cmul(dr, di, p11));
          const __m256d nai = bc(o.nai), nbi = bc(o.nbi), nci = bc(o.nci), ndi = bc(o.ndi);
          y00 = _mm256_add_pd(y00, _mm256_add_pd(cmul_conj(ar, nai, t00), cmul_conj(br, nbi, t01)));
          y01 = _mm256_add_pd(y01, _mm256_add_pd(cmul_conj(cr, nci, t00), cmul_conj(dr, ndi, t01)));
          y10 = _mm256_add_pd(y10, _mm256_add_pd(cmul_conj(ar, nai, t10), cmul_conj(br, nbi, t11)));
          y11 = _mm256_add_pd(y11, _mm256_add_pd(cmul_conj(cr, nci, t10), cmul_conj(dr, ndi, t11)));
        }
        _mm256_storeu_pd(row0 + 2 * c, y00);
        _mm256_storeu_pd(row0 + 2 * (c + s), y01);
        _mm256_storeu_pd(row1 + 2 * c, y10);
        _mm256_storeu_pd(row1 + 2 * (c + s), y11);
      }
    }
  }
}

// s = 1: a block's two columns are neighbours, so one vector carries a row
// of one block, [x0, x1]. T = K B works on rows as a whole; for the
// accumulator, T's entries are broadcast to both lanes and multiplied by the
// per-lane conjugates [K[0][e], K[1][e]].
ORVANE_TARGET_AVX2 void narrow(double* rho, int64_t dim, const std::vector<Op>& ops) {
  // Per operator: [ar, ar, cr, cr], [-ai, -ai, -ci, -ci], [br, br, dr, dr], [-bi, -bi, -di, -di].
  std::vector<double> lanes(16 * ops.size());
  for (size_t i = 0; i < ops.size(); ++i) {
    const Op& o = ops[i];
    const double v[16] = {o.ar, o.ar, o.cr, o.cr, o.nai, o.nai, o.nci, o.nci,
                          o.br, o.br, o.dr, o.dr, o.nbi, o.nbi, o.ndi, o.ndi};
    for (int e = 0; e < 16; ++e) lanes[16 * i + e] = v[e];
  }
  for (int64_t j = 0; j < dim; j += 2) {
    double* row0 = rho + 2 * j * dim;
    double* row1 = row0 + 2 * dim;
    for (int64_t c = 0; c < dim; c += 2) {
      const __m256d v0 = _mm256_loadu_pd(row0 + 2 * c), v1 = _mm256_loadu_pd(row1 + 2 * c);
      __m256d y0 = _mm256_setzero_pd(), y1 = y0;
      for (size_t i = 0; i < ops.size(); ++i) {
        const Op& o = ops[i];
        const double* l = lanes.data() + 16 * i;
        const __m256d acr = _mm256_loadu_pd(l), naci = _mm256_loadu_pd(l + 4);
        const __m256d bdr = _mm256_loadu_pd(l + 8), nbdi = _mm256_loadu_pd(l + 12);
        const __m256d t0 = _mm256_add_pd(cmul(bc(o.ar), bc(o.ai), v0), cmul(bc(o.br), bc(o.bi), v1));  // [T00, T01]
        const __m256d t1 = _mm256_add_pd(cmul(bc(o.cr), bc(o.ci), v0), cmul(bc(o.dr), bc(o.di), v1));  // [T10, T11]
        const __m256d t00 = _mm256_permute2f128_pd(t0, t0, 0x00), t01 = _mm256_permute2f128_pd(t0, t0, 0x11);
        const __m256d t10 = _mm256_permute2f128_pd(t1, t1, 0x00), t11 = _mm256_permute2f128_pd(t1, t1, 0x11);
        y0 = _mm256_add_pd(y0, _mm256_add_pd(cmul_conj(acr, naci, t00), cmul_conj(bdr, nbdi, t01)));
        y1 = _mm256_add_pd(y1, _mm256_add_pd(cmul_conj(acr, naci, t10), cmul_conj(bdr, nbdi, t11)));
      }
      _mm256_storeu_pd(row0 + 2 * c, y0);
      _mm256_storeu_pd(row1 + 2 * c, y1);
    }
  }
}

}  // namespace

ORVANE_TARGET_AVX2 void channel_2x2_avx2(double* rho, int64_t dim, int64_t s, int64_t m, const double* tab) {
  const std::vector<Op> ops = split_ops(m, tab);
  if (s >= 2) return wide(rho, dim, s, ops);
  narrow(rho, dim, ops);
}

// The shared template is inlined here (flatten) so that it is compiled for
// AVX2 as this function is.
ORVANE_TARGET_AVX2 __attribute__((flatten))
void general_strip_avx2(int64_t d, int64_t dim, int64_t nb, int64_t m, const double* kre, const double* kim,
                        const double* bre, const double* bim, double* are, double* aim, double* tre, double* tim,
                        double* sre, double* sim, InterruptPoll& poll) {
  general_strip<1>(d, dim, nb, m, kre, kim, bre, bim, are, aim, tre, tim, sre, sim, poll);
}

ORVANE_TARGET_AVX2
void general_rows_4x4_avx2(double* rho, int64_t dim, int64_t r0, const int64_t off[4], int64_t outer, int64_t run,
                           int64_t m, const double* kre, const double* kim, InterruptPoll& poll) {
  double* row[4];
  for (int a = 0; a < 4; ++a) row[a] = rho + 2 * (r0 + off[a]) * dim;
  const __m256d zero = _mm256_setzero_pd();
  for (int64_t c0 = 0; c0 < dim; c0 = ((c0 | outer) + 1) & ~outer) {
    for (int64_t cb = c0; cb < c0 + run; cb += 4) {
      poll.tick(512 * m);
      // The block entries (row e, local column c) of column bases cb..cb+3,
      // as real and imaginary parts; the lanes hold the bases in the order
      // 0, 2, 1, 3 (unpacking keeps to 128-bit halves), undone on the way out.
      __m256d br[16], bi[16], ar[16], ai[16];
      for (int e = 0; e < 4; ++e) {
        for (int c = 0; c < 4; ++c) {
          const double* at = row[e] + 2 * (cb + off[c]);
          const __m256d v0 = _mm256_loadu_pd(at), v1 = _mm256_loadu_pd(at + 4);
          br[4 * e + c] = _mm256_unpacklo_pd(v0, v1);
          bi[4 * e + c] = _mm256_unpackhi_pd(v0, v1);
          ar[4 * e + c] = zero;
          ai[4 * e + c] = zero;
        }
      }
      for (int64_t i = 0; i < m; ++i) {
        const double* kr = kre + 16 * i;
        const double* ki = kim + 16 * i;
        // T[a][c] = sum_e K[a][e] B[e][c], from zero, e increasing; all of T
        // first, so that the second half has sixteen independent sums to
        // interleave.
        __m256d tr[16], ti[16];
        for (int a = 0; a < 4; ++a) {
          for (int c = 0; c < 4; ++c) tr[4 * a + c] = zero, ti[4 * a + c] = zero;
          for (int e = 0; e < 4; ++e) {
            const __m256d zr = bc(kr[4 * a + e]), zi = bc(ki[4 * a + e]);
            for (int c = 0; c < 4; ++c) {
              const __m256d xr = br[4 * e + c], xi = bi[4 * e + c];
              tr[4 * a + c] =
                  _mm256_add_pd(tr[4 * a + c], _mm256_sub_pd(_mm256_mul_pd(zr, xr), _mm256_mul_pd(zi, xi)));
              ti[4 * a + c] =
                  _mm256_add_pd(ti[4 * a + c], _mm256_add_pd(_mm256_mul_pd(zr, xi), _mm256_mul_pd(zi, xr)));
            }
          }
        }
        // A[a][c] += sum_e T[a][e] conj(K[c][e]), the inner sum from zero.
        for (int c = 0; c < 4; ++c) {
          __m256d wr[4], wi[4];
          for (int e = 0; e < 4; ++e) wr[e] = bc(kr[4 * c + e]), wi[e] = bc(ki[4 * c + e]);
          for (int a = 0; a < 4; ++a) {
            __m256d sr = zero, si = zero;
            for (int e = 0; e < 4; ++e) {
              const __m256d xr = tr[4 * a + e], xi = ti[4 * a + e];
              sr = _mm256_add_pd(sr, _mm256_add_pd(_mm256_mul_pd(xr, wr[e]), _mm256_mul_pd(xi, wi[e])));
              si = _mm256_add_pd(si, _mm256_sub_pd(_mm256_mul_pd(xi, wr[e]), _mm256_mul_pd(xr, wi[e])));
            }
            ar[4 * a + c] = _mm256_add_pd(ar[4 * a + c], sr);
            ai[4 * a + c] = _mm256_add_pd(ai[4 * a + c], si);
          }
        }
      }
      for (int a = 0; a < 4; ++a) {
        for (int c = 0; c < 4; ++c) {
          double* at = row[a] + 2 * (cb + off[c]);
          _mm256_storeu_pd(at, _mm256_unpacklo_pd(ar[4 * a + c], ai[4 * a + c]));
          _mm256_storeu_pd(at + 4, _mm256_unpackhi_pd(ar[4 * a + c], ai[4 * a + c]));
        }
      }
    }
  }
}

}  // namespace orvane::simd

#endif  // ORVANE_X86_64
