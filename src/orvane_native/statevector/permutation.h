// The signed-permutation test shared by the two-qubit and general gate
// kernels: a gate qualifies when every row has exactly one significant entry
// (|z|^2 > 1e-18) and that entry is real (|im| <= 1e-15) of magnitude one
// (||re| - 1| <= 1e-15). Such a gate moves amplitudes (times +-1) instead of
// multiplying; any other gate, 0.5*I or a damping diagonal say, is dense.
#pragma once

#include <cmath>
#include <cstdint>

namespace orvane {

inline bool significant(double re, double im) { return re * re + im * im > 1e-18; }
inline bool real_entry(double im) { return std::fabs(im) <= 1e-15; }
inline bool unit_magnitude(double re) { return std::fabs(std::fabs(re) - 1.0) <= 1e-15; }

// Tests row r of a dim x dim gate given as separate real/imaginary accessors;
// on success stores the column and sign of its single entry.
template <class Entry>
bool permutation_row(int64_t r, int64_t dim, Entry entry, int64_t* col, double* sign) {
  int64_t count = 0;
  bool all_unit = true;  // every significant entry real and of magnitude one
  for (int64_t c = 0; c < dim; ++c) {
    const auto [re, im] = entry(r, c);
    if (!significant(re, im)) continue;
    ++count;
    all_unit = all_unit && real_entry(im) && unit_magnitude(re);
    *col = c;
    *sign = re < 0 ? -1.0 : 1.0;
  }
  return count == 1 && all_unit;
}

}  // namespace orvane
