// Index geometry shared by the density-matrix kernels. An operator on k
// target qubits has a local index of k bits, targets[0] the most significant;
// qubit q is bit n-1-q of a row or column index of the 2^n x 2^n matrix.
// off[r] is the index offset of local index r, the mask is the OR of all
// offsets, and a base index is one with every target bit clear.
#pragma once

#include <cstdint>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

// Floats of an n-qubit density matrix, 2*4^n, or -1 when no array can hold
// it (negative n, or a count past 64 bits).
inline int64_t density_floats(int64_t n) { return n >= 0 && n <= 30 ? int64_t{2} << (2 * n) : -1; }

struct Subspace {
  std::vector<int64_t> off;  // d offsets
  int64_t mask = 0;          // all target bits
  int64_t run = 0;           // bases come in runs of this many consecutive indices
};

// Offsets of the d = 2^k local indices; a shift count outside 0..63
// contributes no bit.
inline Subspace make_subspace(I64Span targets, int64_t n, int64_t d) {
  Subspace s;
  const int64_t k = targets.size();
  s.off.assign(static_cast<size_t>(d > 0 ? d : 0), 0);
  for (int64_t r = 0; r < d; ++r) {
    int64_t o = 0;
    for (int64_t m = 0; m < k; ++m)
      if ((r >> (k - 1 - m)) & 1) o |= pow2(n - 1 - targets[m]);
    s.off[static_cast<size_t>(r)] = o;
    s.mask |= o;
  }
  // The bits below the lowest target bit are free, so bases form runs.
  s.run = s.mask == 0 ? pow2(n) : (s.mask & -s.mask);
  return s;
}

// The next index after b whose `mask` bits are all clear.
inline int64_t next_clear(int64_t b, int64_t mask) { return ((b | mask) + 1) & ~mask; }

// Calls f(start, length) for each run of consecutive base indices below dim,
// in increasing order.
template <class F>
void for_each_base_run(int64_t dim, const Subspace& s, F&& f) {
  const int64_t outer = s.mask | (s.run - 1);
  for (int64_t b = 0; b < dim; b = next_clear(b, outer)) f(b, s.run);
}

// Calls f(b) for each base index below dim, in increasing order.
template <class F>
void for_each_base(int64_t dim, int64_t mask, F&& f) {
  for (int64_t b = 0; b < dim; b = next_clear(b, mask)) f(b);
}

// Complex helpers: (x + iy)(u + iv) = (xu - yv) + i(xv + yu), and the product
// with a conjugate, z * conj(w), which is the same formula with v = -im(w).
struct Cx {
  double re, im;
};
inline Cx cmul(Cx x, Cx u) { return {x.re * u.re - x.im * u.im, x.re * u.im + x.im * u.re}; }
inline Cx cmul_conj(Cx z, Cx w) { return {z.re * w.re + z.im * w.im, z.im * w.re - z.re * w.im}; }
inline Cx cadd(Cx a, Cx b) { return {a.re + b.re, a.im + b.im}; }

}  // namespace orvane
