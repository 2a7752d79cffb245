// Structure tests on a square complex operator, shared by the gate and the
// channel dispatch so that both simulators see the same structure in the
// same matrix. An entry z is significant when |z|^2 > 1e-18 (strictly); it
// is real when |im| <= 1e-15 and of magnitude one when ||re| - 1| <= 1e-15.
// Entries come from an accessor entry(r, c) -> {re, im}, so the tests run on
// any layout without copying.
#pragma once

#include <cmath>
#include <cstdint>

namespace orvane {

inline bool significant(double re, double im) { return re * re + im * im > 1e-18; }
inline bool real_entry(double im) { return std::fabs(im) <= 1e-15; }
inline bool unit_magnitude(double re) { return std::fabs(std::fabs(re) - 1.0) <= 1e-15; }

// Which unit entries a permutation row may hold: gates move amplitudes times
// +1 or -1; a channel's single operator must hold +1 to be a plain
// relabelling of rho.
enum class UnitEntries { kPlusOne, kPlusOrMinusOne };

// Whether row r of a dim x dim operator holds exactly one significant entry
// and that entry is an allowed unit; on success stores its column and sign.
template <class Entry>
bool permutation_row(int64_t r, int64_t dim, Entry entry, UnitEntries allowed, int64_t* col, double* sign) {
  int64_t count = 0;
  bool all_unit = true;  // every significant entry real and of magnitude one
  for (int64_t c = 0; c < dim; ++c) {
    const auto [re, im] = entry(r, c);
    if (!significant(re, im)) continue;
    ++count;
    all_unit = all_unit && real_entry(im) && unit_magnitude(re) &&
               (allowed == UnitEntries::kPlusOrMinusOne || re > 0.0);
    *col = c;
    *sign = re < 0 ? -1.0 : 1.0;
  }
  return count == 1 && all_unit;
}

// Whether every row passes permutation_row; col and sign receive dim entries
// (filled up to the first row that fails).
template <class Entry>
bool is_permutation(int64_t dim, Entry entry, UnitEntries allowed, int64_t* col, double* sign) {
  for (int64_t r = 0; r < dim; ++r)
    if (!permutation_row(r, dim, entry, allowed, &col[r], &sign[r])) return false;
  return true;
}

// Whether some entry off the diagonal is significant.
template <class Entry>
bool has_significant_off_diagonal(int64_t dim, Entry entry) {
  for (int64_t r = 0; r < dim; ++r) {
    for (int64_t c = 0; c < dim; ++c) {
      if (c == r) continue;
      const auto [re, im] = entry(r, c);
      if (significant(re, im)) return true;
    }
  }
  return false;
}

}  // namespace orvane
