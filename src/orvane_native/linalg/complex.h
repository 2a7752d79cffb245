// Complex arithmetic of the matrix toolkit and the sizes of flat matrices.
// A complex product x * y is formed with fused multiply-adds so that its
// last-bit rounding is fixed: real part xr*yr - (yi*xi), imaginary part
// xr*yi + (xi*yr), the parenthesised product rounded first. `x` is always
// the left-hand factor of the matrix expression being evaluated.
#pragma once

#include <cmath>
#include <cstdint>
#include <new>

#include "orvane_native/support/array.h"
#include "orvane_native/support/complex.h"

namespace orvane {

inline Complex mul(Complex x, Complex y) {
  return {std::fma(x.re, y.re, -(y.im * x.im)), std::fma(x.re, y.im, x.im * y.re)};
}

// x - y * z with the product formed as in `mul` (y the left factor).
inline Complex sub_mul(Complex x, Complex y, Complex z) {
  const Complex p = mul(y, z);
  return {x.re - p.re, x.im - p.im};
}

// re*re + im*im with im*im rounded first.
inline double norm2(Complex x) { return std::fma(x.re, x.re, x.im * x.im); }

inline bool is_zero(Complex x) { return x.re == 0.0 && x.im == 0.0; }

// Reads the complex number at float index f (real part, then imaginary
// part), each bounds-checked.
inline Complex read_complex(F64Span s, int64_t f) {
  const double re = s.get(f);
  const double im = s.get(f + 1);
  return {re, im};
}

inline Complex load(const double* p) { return {p[0], p[1]}; }
inline void store(double* p, Complex x) {
  p[0] = x.re;
  p[1] = x.im;
}

// a * b, or std::bad_alloc when the product does not fit in 64 bits: a size
// that cannot even be counted cannot be allocated.
inline int64_t checked_product(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) throw std::bad_alloc();
  return r;
}

// Floats of a dim x dim complex matrix, 2*dim*dim (also for a negative dim).
inline int64_t complex_matrix_floats(int64_t dim) {
  return checked_product(checked_product(dim, dim), 2);
}

}  // namespace orvane
