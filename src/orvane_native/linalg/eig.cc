#include "orvane_native/linalg/eig.h"

#include <cmath>

#include "orvane_native/linalg/complex.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {
namespace {

constexpr double kJacobiTolerance = 1e-14;
constexpr double kDegeneracyTolerance = 1e-9;
constexpr int kMaxSweeps = 100;

// (c*x - s*y, s*x + c*y), each a fused multiply-add over the other product.
inline void rotate(double& x, double& y, double c, double s) {
  const double xv = x, yv = y;
  x = std::fma(c, xv, -(yv * s));
  y = std::fma(s, xv, c * yv);
}

// Applies the rotation (p, q) to the working copy `a` (column pass, then row
// pass) and to the eigenvector matrix z. Every entry touched was already read
// by the caller's off-diagonal sum, so the bounds are known to hold.
void rotate_pair(double* a, double* z, int64_t n, int64_t p, int64_t q, double c, double s) {
  for (int64_t k = 0; k < n; ++k) rotate(a[k * n + p], a[k * n + q], c, s);
  for (int64_t k = 0; k < n; ++k) rotate(a[p * n + k], a[q * n + k], c, s);
  for (int64_t k = 0; k < n; ++k) rotate(z[k * n + p], z[k * n + q], c, s);
}

// The Jacobi iteration, asking `poll` between rotations: a matrix that never
// converges (NaN entries) runs all its sweeps.
F64Array jacobi(F64Span matrix, int64_t n, InterruptPoll& poll) {
  F64Array a = F64Array::copy_of(matrix);
  F64Array z(checked_product(n, n));
  for (int64_t k = 0; k < n; ++k) z[k * n + k] = 1.0;

  for (int sweep = 0; n >= 1; ++sweep) {
    double off = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      for (int64_t j = 0; j < n; ++j) {
        if (i == j) continue;
        const double v = a.get(i * n + j);
        off = std::fma(v, v, off);
      }
    }
    poll.tick(n * n);
    if (off < kJacobiTolerance) break;
    // The whole matrix is in bounds from here on: its off-diagonal entries
    // were just read, and the diagonal ones are checked below.
    for (int64_t p = 0; p + 1 < n; ++p) {
      for (int64_t q = p + 1; q < n; ++q) {
        const double apq = a[p * n + q];
        if (std::fabs(apq) < kJacobiTolerance) continue;
        poll.tick(3 * n);
        const double aqq = a.get(q * n + q);
        const double app = a.get(p * n + p);
        const double theta = (aqq - app) / (apq + apq);
        double t = 1.0 / (std::fabs(theta) + std::sqrt(std::fma(theta, theta, 1.0)));
        if (theta < 0.0) t = -t;
        const double c = 1.0 / std::sqrt(std::fma(t, t, 1.0));
        const double s = t * c;
        rotate_pair(a.data(), z.data(), n, p, q, c, s);
      }
    }
    if (sweep == kMaxSweeps - 1) break;
  }

  F64Array result(checked_product(n, n) + n);
  for (int64_t j = 0; j < n; ++j) result[j] = a.get(j * n + j);
  for (int64_t i = 0; i < z.size(); ++i) result.set(n + i, z[i]);
  return result;
}

}  // namespace

F64Array jacobi_eig(F64Span matrix, int64_t n) {
  InterruptPoll poll;
  return jacobi(matrix, n, poll);
}

F64Array simultaneous_diag(F64Span real, F64Span imag, int64_t n) {
  InterruptPoll poll;
  const F64Array eig = jacobi(real, n, poll);
  const double* lambda = eig.data();
  F64Array w = F64Array::copy_of({eig.data() + n, eig.size() - n});

  // Stable insertion sort of the indices by eigenvalue.
  I64Array order(n);
  for (int64_t m = 0; m < n; ++m) order[m] = m;
  for (int64_t m = 1; m < n; ++m) {
    const int64_t key = order[m];
    int64_t pos = m;
    while (pos > 0 && lambda[order[pos - 1]] > lambda[key]) {
      order[pos] = order[pos - 1];
      --pos;
    }
    order[pos] = key;
  }

  // Groups of eigenvalues within 1e-9 of their first (smallest) member; each
  // group of two or more gets the eigenvectors of `imag` projected on it.
  F64Array projected(n * n), rotated(n * n);  // scratch for the largest group
  auto rotate_group = [&](int64_t first, int64_t end) {
    const int64_t m = end - first;
    if (m < 2) return;
    const int64_t* g = order.data() + first;
    for (int64_t h = 0; h < m; ++h) {
      for (int64_t q = 0; q < m; ++q) {
        poll.tick(n * n);
        double acc = 0.0;
        for (int64_t a = 0; a < n; ++a) {
          for (int64_t b = 0; b < n; ++b) {
            acc = std::fma(w[a * n + g[h]] * imag.get(a * n + b), w[b * n + g[q]], acc);
          }
        }
        projected[h * m + q] = acc;
      }
    }
    const F64Array sub = jacobi({projected.data(), m * m}, m, poll);
    const double* u = sub.data() + m;
    for (int64_t t = 0; t < n; ++t) {
      poll.tick(m * m);
      for (int64_t v = 0; v < m; ++v) {
        double acc = 0.0;
        for (int64_t k = 0; k < m; ++k) acc = std::fma(w[t * n + g[k]], u[k * m + v], acc);
        rotated[t * m + v] = acc;
      }
    }
    for (int64_t t = 0; t < n; ++t)
      for (int64_t v = 0; v < m; ++v) w[t * n + g[v]] = rotated[t * m + v];
  };
  int64_t start = 0;
  double base = lambda[order.get(0)];
  for (int64_t k = 1; k < n; ++k) {
    if (std::fabs(lambda[order[k]] - base) < kDegeneracyTolerance) continue;
    rotate_group(start, k);
    start = k;
    base = lambda[order[k]];
  }
  rotate_group(start, n);

  F64Array result(checked_product(n, n) + 2 * n);
  for (int64_t j = 0; j < n; ++j) {
    poll.tick(2 * n * n);
    double re = 0.0, im = 0.0;
    for (int64_t k = 0; k < n; ++k) {
      for (int64_t b = 0; b < n; ++b) {
        const double wk = w[k * n + j], wb = w[b * n + j];
        re = std::fma(wk * real[k * n + b], wb, re);
        im = std::fma(wk * imag.get(k * n + b), wb, im);
      }
    }
    result[2 * j] = re;
    result[2 * j + 1] = im;
  }
  for (int64_t i = 0; i < n * n; ++i) result[2 * n + i] = w[i];
  return result;
}

}  // namespace orvane
