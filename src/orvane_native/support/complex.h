// The complex scalar that every subsystem uses, and the products of the
// simulators' kernels: each product rounded on its own, sums in the order
// written (the matrix toolkit adds its fused-multiply-add products in
// linalg/complex.h).
#pragma once

namespace orvane {

struct Complex {
  double re = 0.0;
  double im = 0.0;
};

// x * u = (xr ur - xi ui) + i (xr ui + xi ur).
inline Complex cmul(Complex x, Complex u) { return {x.re * u.re - x.im * u.im, x.re * u.im + x.im * u.re}; }
// z * conj(w): the same formula with the sign of im(w) flipped.
inline Complex cmul_conj(Complex z, Complex w) { return {z.re * w.re + z.im * w.im, z.im * w.re - z.re * w.im}; }
inline Complex cadd(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }

}  // namespace orvane
