#include "orvane_native/linalg/kron_factor.h"

#include <cmath>

#include "orvane_native/linalg/complex.h"
#include "orvane_native/linalg/elimination.h"

namespace orvane {
namespace {

constexpr double kSingular = 1e-14;

// x / y as (x * conj y) / |y|^2, numerators by fused multiply-add.
Complex divide(Complex x, Complex y) {
  const double q = norm2(y);
  return {std::fma(x.re, y.re, y.im * x.im) / q, std::fma(x.im, y.re, -(y.im * x.re)) / q};
}

}  // namespace

F64Array normalize_det2(F64Span m) {
  F64Array r = F64Array::copy_of(m);
  const F64Array det = matrix_det(m, 2);
  const Complex d{det[0], det[1]};
  const double mod = std::sqrt(norm2(d));
  if (mod < kSingular) return r;
  Complex s{std::sqrt((d.re + mod) * 0.5), std::sqrt((mod - d.re) * 0.5)};
  if (d.im < 0.0) s.im = -s.im;
  const double q = norm2(s);
  for (int64_t e = 0; e < 4; ++e) {
    const Complex x = load(r.data() + 2 * e);
    store(r.data() + 2 * e,
          {std::fma(x.re, s.re, s.im * x.im) / q, std::fma(x.im, s.re, x.re * (-s.im)) / q});
  }
  return r;
}

F64Array kron_factor(F64Span matrix) {
  // All 32 floats are read up front, so a short input fails at its length.
  Complex m[4][4];
  for (int64_t r = 0; r < 4; ++r)
    for (int64_t c = 0; c < 4; ++c) m[r][c] = read_complex(matrix, 2 * (4 * r + c));

  // Entry of largest |x|^2, earliest on ties; a NaN is never chosen over a number.
  const double first = norm2(m[0][0]);
  double best = first > -1.0 ? first : -1.0;
  int64_t at = 0;
  for (int64_t e = 1; e < 16; ++e) {
    const double v = norm2(m[e / 4][e % 4]);
    if (v > best) {
      best = v;
      at = e;
    }
  }
  const int64_t row = at / 4, col = at % 4;
  const int64_t i = row / 2, k = row % 2, j = col / 2, l = col % 2;

  // Slices through the pivot: the first factor scaled by B[k][l], and the
  // second scaled by A[i][j].
  F64Array a1(8), b1(8);
  for (int64_t x = 0; x < 2; ++x) {
    for (int64_t y = 0; y < 2; ++y) {
      store(a1.data() + 2 * (2 * x + y), m[2 * x + k][2 * y + l]);
      store(b1.data() + 2 * (2 * x + y), m[2 * i + x][2 * j + y]);
    }
  }
  F64Array a2 = normalize_det2(a1);
  const F64Array b2 = normalize_det2(b1);

  const Complex p = mul(load(a2.data() + 2 * (2 * i + j)), load(b2.data() + 2 * (2 * k + l)));
  Complex g = divide(m[row][col], p);
  if (g.re < 0.0) {
    for (double& v : a2) v = -v;
    g = {-g.re, -g.im};
  }

  F64Array result(18);
  store(result.data(), g);
  for (int64_t e = 0; e < 8; ++e) {
    result[2 + e] = a2[e];
    result[10 + e] = b2[e];
  }
  return result;
}

}  // namespace orvane
