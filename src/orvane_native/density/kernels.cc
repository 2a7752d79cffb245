#include "orvane_native/density/kernels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "orvane_native/density/kernels_simd.h"
#include "orvane_native/density/subspace.h"
#include "orvane_native/support/cpu.h"

namespace orvane {

void channel_permutation_into(Span<double> rho, I64Span perm, I64Span targets, int64_t n) {
  const int64_t d = perm.size();
  const int64_t dim = pow2(n);
  if (dim <= 0 || d <= 0) return;
  const Subspace s = make_subspace(targets, n, d);
  // Source of every column: the index with its target bits replaced by those
  // of perm[local index].
  std::vector<int64_t> source(static_cast<size_t>(dim));
  for_each_base(dim, s.mask, [&](int64_t b) {
    for (int64_t c = 0; c < d; ++c) source[b + s.off[c]] = b + s.off[perm[c]];
  });
  // The map only changes target bits, so each group of d rows (one row base)
  // is closed: copy the group, then write every row from its source row,
  // with its columns taken through the same map.
  const int64_t row_floats = 2 * dim;
  std::vector<double> strip(static_cast<size_t>(d * row_floats));
  double* p = rho.data();
  for_each_base(dim, s.mask, [&](int64_t r0) {
    for (int64_t e = 0; e < d; ++e) {
      std::memcpy(strip.data() + e * row_floats, p + (r0 + s.off[e]) * row_floats,
                  sizeof(double) * static_cast<size_t>(row_floats));
    }
    for (int64_t a = 0; a < d; ++a) {
      double* dst = p + (r0 + s.off[a]) * row_floats;
      const double* src = strip.data() + perm[a] * row_floats;
      for (int64_t x = 0; x < dim; ++x) {
        dst[2 * x] = src[2 * source[x]];
        dst[2 * x + 1] = src[2 * source[x] + 1];
      }
    }
  });
}

namespace {

// Blocks handled together by the 2x2 kernel: their entries sit in separate
// real and imaginary arrays so the per-operator arithmetic runs over
// contiguous lanes.
constexpr int64_t kLanes = 64;

struct Lanes {
  double re[kLanes], im[kLanes];
};

}  // namespace

void channel_subspace_2x2_into(Span<double> rho, F64Span ops, int64_t num_ops, I64Span targets, int64_t n) {
  const int64_t t = targets.get(0);
  const int64_t s = pow2(n - 1 - t);
  const int64_t dim = pow2(n);
  const int64_t m = num_ops > 0 ? num_ops : 0;
  // Eight operator tables: re/im of a = K[0][0], b = K[0][1], c = K[1][0], d = K[1][1].
  std::vector<double> tab(static_cast<size_t>(8 * m));
  double *ar = tab.data(), *ai = ar + m, *br = ai + m, *bi = br + m;
  double *cr = bi + m, *ci = cr + m, *dr = ci + m, *di = dr + m;
  for (int64_t i = 0; i < m; ++i) {
    const double* k = ops.data() + 8 * i;
    ar[i] = k[0], ai[i] = k[1], br[i] = k[2], bi[i] = k[3];
    cr[i] = k[4], ci[i] = k[5], dr[i] = k[6], di[i] = k[7];
  }
  if (dim <= 0) return;
  if (s >= 1) {
    if (const simd::Channel2x2Kernel vector = simd::channel_2x2_variant(cpu::variants().channels)) {
      return vector(rho.data(), dim, s, m, tab.data());
    }
  }
  // Column bases are the indices with bit s clear (every index when the
  // target's shift is out of range and s = 0); base number q has a zero bit
  // inserted at s.
  const int64_t bases = s > 0 ? dim / 2 : dim;
  const int64_t low = s > 0 ? s - 1 : 0;
  auto column = [&](int64_t q) { return s > 0 ? ((q & ~low) << 1) | (q & low) : q; };
  Lanes x00, x01, x10, x11, y00, y01, y10, y11;
  double* p = rho.data();
  for (int64_t j = 0; j < dim; j = next_clear(j, s)) {
    double* row0 = p + 2 * j * dim;
    double* row1 = p + 2 * (j + s) * dim;
    for (int64_t q0 = 0; q0 < bases; q0 += kLanes) {
      const int64_t cnt = std::min(kLanes, bases - q0);
      for (int64_t q = 0; q < cnt; ++q) {
        const int64_t c = column(q0 + q);
        x00.re[q] = row0[2 * c], x00.im[q] = row0[2 * c + 1];
        x01.re[q] = row0[2 * (c + s)], x01.im[q] = row0[2 * (c + s) + 1];
        x10.re[q] = row1[2 * c], x10.im[q] = row1[2 * c + 1];
        x11.re[q] = row1[2 * (c + s)], x11.im[q] = row1[2 * (c + s) + 1];
        y00.re[q] = y00.im[q] = y01.re[q] = y01.im[q] = 0.0;
        y10.re[q] = y10.im[q] = y11.re[q] = y11.im[q] = 0.0;
      }
      for (int64_t i = 0; i < m; ++i) {
        const double kar = ar[i], kai = ai[i], kbr = br[i], kbi = bi[i];
        const double kcr = cr[i], kci = ci[i], kdr = dr[i], kdi = di[i];
        for (int64_t q = 0; q < cnt; ++q) {
          const double p00r = x00.re[q], p00i = x00.im[q], p01r = x01.re[q], p01i = x01.im[q];
          const double p10r = x10.re[q], p10i = x10.im[q], p11r = x11.re[q], p11i = x11.im[q];
          // T = K B: T00 = a p00 + b p10, T01 = a p01 + b p11, T10 = c p00 + d p10, T11 = c p01 + d p11.
          const double t00r = (kar * p00r - kai * p00i) + (kbr * p10r - kbi * p10i);
          const double t00i = (kar * p00i + kai * p00r) + (kbr * p10i + kbi * p10r);
          const double t01r = (kar * p01r - kai * p01i) + (kbr * p11r - kbi * p11i);
          const double t01i = (kar * p01i + kai * p01r) + (kbr * p11i + kbi * p11r);
          const double t10r = (kcr * p00r - kci * p00i) + (kdr * p10r - kdi * p10i);
          const double t10i = (kcr * p00i + kci * p00r) + (kdr * p10i + kdi * p10r);
          const double t11r = (kcr * p01r - kci * p01i) + (kdr * p11r - kdi * p11i);
          const double t11i = (kcr * p01i + kci * p01r) + (kdr * p11i + kdi * p11r);
          // accumulator += T K^dagger, entry (x, y) += T[x][0] conj(K[y][0]) + T[x][1] conj(K[y][1]).
          y00.re[q] += (t00r * kar + t00i * kai) + (t01r * kbr + t01i * kbi);
          y00.im[q] += (t00i * kar - t00r * kai) + (t01i * kbr - t01r * kbi);
          y01.re[q] += (t00r * kcr + t00i * kci) + (t01r * kdr + t01i * kdi);
          y01.im[q] += (t00i * kcr - t00r * kci) + (t01i * kdr - t01r * kdi);
          y10.re[q] += (t10r * kar + t10i * kai) + (t11r * kbr + t11i * kbi);
          y10.im[q] += (t10i * kar - t10r * kai) + (t11i * kbr - t11r * kbi);
          y11.re[q] += (t10r * kcr + t10i * kci) + (t11r * kdr + t11i * kdi);
          y11.im[q] += (t10i * kcr - t10r * kci) + (t11i * kdr - t11r * kdi);
        }
      }
      for (int64_t q = 0; q < cnt; ++q) {
        const int64_t c = column(q0 + q);
        row0[2 * c] = y00.re[q], row0[2 * c + 1] = y00.im[q];
        row0[2 * (c + s)] = y01.re[q], row0[2 * (c + s) + 1] = y01.im[q];
        row1[2 * c] = y10.re[q], row1[2 * c + 1] = y10.im[q];
        row1[2 * (c + s)] = y11.re[q], row1[2 * (c + s) + 1] = y11.im[q];
      }
    }
  }
}

void channel_diagonal_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets, int64_t n) {
  const Subspace s = make_subspace(targets, n, d);
  const int64_t dim = pow2(n);
  if (d <= 0) return;
  // W[a][c] = sum_i K_i[a][a] conj(K_i[c][c]), operators in order.
  std::vector<double> w(static_cast<size_t>(2 * d * d), 0.0);
  for (int64_t i = 0; i < num_ops; ++i) {
    const double* k = ops.data() + i * 2 * d * d;
    for (int64_t a = 0; a < d; ++a) {
      const Complex ka{k[2 * (a * d + a)], k[2 * (a * d + a) + 1]};
      for (int64_t c = 0; c < d; ++c) {
        const Complex kc{k[2 * (c * d + c)], k[2 * (c * d + c) + 1]};
        const Complex term = cmul_conj(ka, kc);
        w[2 * (a * d + c)] += term.re;
        w[2 * (a * d + c) + 1] += term.im;
      }
    }
  }
  if (dim <= 0) return;
  // Local index of every row and column index.
  std::vector<int64_t> local(static_cast<size_t>(dim));
  for_each_base(dim, s.mask, [&](int64_t b) {
    for (int64_t r = 0; r < d; ++r) local[b + s.off[r]] = r;
  });
  double* p = rho.data();
  for (int64_t x = 0; x < dim; ++x) {
    const double* wrow = w.data() + 2 * local[x] * d;
    double* row = p + 2 * x * dim;
    for (int64_t y = 0; y < dim; ++y) {
      const Complex v = cmul(Complex{row[2 * y], row[2 * y + 1]}, Complex{wrow[2 * local[y]], wrow[2 * local[y] + 1]});
      row[2 * y] = v.re;
      row[2 * y + 1] = v.im;
    }
  }
}

}  // namespace orvane
