#include "orvane_native/linalg/elimination.h"

#include <cmath>
#include <utility>

#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/complex.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {
namespace {

constexpr double kSingular = 1e-14;

// A working copy of an n x n complex matrix. Entries are read through
// bounds-checked accesses (a short input fails at the first missing float
// with the input's own length); writes go to entries already read.
class Work {
 public:
  Work(F64Span m, int64_t n) : a_(F64Array::copy_of(m)), n_(n) {}
  Complex get(int64_t r, int64_t c) const { return read_complex(a_, 2 * (r * n_ + c)); }
  void put(int64_t r, int64_t c, Complex x) { store(a_.data() + 2 * (r * n_ + c), x); }

  // Row of largest modulus in column k from row k down, or -1 when that
  // modulus is below the singularity tolerance.
  int64_t pivot(int64_t k) const {
    int64_t best_row = k;
    double best = std::sqrt(norm2(get(k, k)));
    for (int64_t r = k + 1; r < n_; ++r) {
      const double m = std::sqrt(norm2(get(r, k)));
      if (m > best) {
        best = m;
        best_row = r;
      }
    }
    return best < kSingular ? -1 : best_row;
  }

 private:
  F64Array a_;
  int64_t n_;
};

Complex reciprocal(Complex p) {
  const double d = norm2(p);
  return {p.re / d, -p.im / d};
}

}  // namespace

F64Array matrix_det(F64Span matrix, int64_t n) {
  F64Array result(2);
  result[0] = 1.0;
  if (n <= 0) return result;
  complex_matrix_floats(n);  // the index arithmetic below must not overflow
  Work a(matrix, n);
  Complex det{1.0, 0.0};
  InterruptPoll poll;
  for (int64_t k = 0; k < n; ++k) {
    const int64_t p = a.pivot(k);
    if (p < 0) {
      result[0] = 0.0;
      return result;
    }
    if (p != k) {
      for (int64_t j = 0; j < n; ++j) {
        const Complex x = a.get(k, j), y = a.get(p, j);
        a.put(k, j, y);
        a.put(p, j, x);
      }
      det = {-det.re, -det.im};
    }
    poll.tick(n * (n - k));
    const Complex pv = a.get(k, k);
    const Complex inv = reciprocal(pv);
    for (int64_t i = k + 1; i < n; ++i) {
      const Complex lead = a.get(i, k);
      if (is_zero(lead)) continue;
      const Complex f = mul(lead, inv);
      for (int64_t j = k; j < n; ++j) a.put(i, j, sub_mul(a.get(i, j), f, a.get(k, j)));
    }
    det = mul(det, pv);
  }
  result[0] = det.re;
  result[1] = det.im;
  return result;
}

F64Array matrix_inverse(F64Span matrix, int64_t n) {
  Work a(matrix, n);
  F64Array x = complex_identity_flat(n);
  if (n <= 0) return x;
  auto xget = [&](int64_t r, int64_t c) { return load(x.data() + 2 * (r * n + c)); };
  auto xput = [&](int64_t r, int64_t c, Complex v) { store(x.data() + 2 * (r * n + c), v); };
  InterruptPoll poll;
  for (int64_t k = 0; k < n; ++k) {
    poll.tick(2 * n * n);
    const int64_t p = a.pivot(k);
    if (p < 0) return {};
    if (p != k) {
      for (int64_t j = 0; j < n; ++j) {
        const Complex u = a.get(k, j), v = a.get(p, j);
        a.put(k, j, v);
        a.put(p, j, u);
        const Complex xu = xget(k, j), xv = xget(p, j);
        xput(k, j, xv);
        xput(p, j, xu);
      }
    }
    const Complex inv = reciprocal(a.get(k, k));
    for (int64_t j = 0; j < n; ++j) {
      a.put(k, j, mul(a.get(k, j), inv));
      xput(k, j, mul(xget(k, j), inv));
    }
    for (int64_t r = 0; r < n; ++r) {
      if (r == k) continue;
      const Complex f = a.get(r, k);
      if (is_zero(f)) continue;
      for (int64_t j = 0; j < n; ++j) {
        a.put(r, j, sub_mul(a.get(r, j), f, a.get(k, j)));
        xput(r, j, sub_mul(xget(r, j), f, xget(k, j)));
      }
    }
  }
  return x;
}

F64Array solve3(F64Span matrix, F64Span rhs) {
  double w[3][4];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) w[r][c] = matrix.get(3 * r + c);
    w[r][3] = rhs.get(r);
  }
  for (int i = 0; i < 3; ++i) {
    if (i < 2) {
      int best = i;
      for (int r = i + 1; r < 3; ++r)
        if (std::fabs(w[r][i]) > std::fabs(w[best][i])) best = r;
      if (best != i)
        for (int c = 0; c < 4; ++c) std::swap(w[i][c], w[best][c]);
    }
    const double d = 1.0 / w[i][i];
    for (int c = 0; c < 4; ++c) w[i][c] = d * w[i][c];
    for (int r = 0; r < 3; ++r) {
      if (r == i) continue;
      const double g = -w[r][i];
      for (int c = 0; c < 4; ++c) w[r][c] = std::fma(g, w[i][c], w[r][c]);
    }
  }
  F64Array x(3);
  for (int r = 0; r < 3; ++r) x[r] = w[r][3];
  return x;
}

}  // namespace orvane
