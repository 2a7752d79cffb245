// Index geometry of the density-matrix kernels: the target offsets (see
// support/targets.h) of an operator, applied to the row and column indices
// of the 2^n x 2^n matrix, and the walk over base indices.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "orvane_native/support/array.h"
#include "orvane_native/support/complex.h"
#include "orvane_native/support/targets.h"

namespace orvane {

// Floats of an n-qubit density matrix, 2*4^n, or -1 when no array can hold
// it (negative n, or a count past 64 bits).
inline int64_t density_floats(int64_t n) { return n >= 0 && n <= 30 ? int64_t{2} << (2 * n) : -1; }

struct Subspace {
  std::vector<int64_t> off;  // d offsets
  int64_t mask = 0;          // all target bits
  int64_t run = 0;           // bases come in runs of this many consecutive indices
};

// Offsets of the d = 2^k local indices.
inline Subspace make_subspace(I64Span targets, int64_t n, int64_t d) {
  Subspace s;
  TargetOffsets t = target_offsets(targets, n, d);
  s.off = std::move(t.off);
  s.mask = t.mask;
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

}  // namespace orvane
