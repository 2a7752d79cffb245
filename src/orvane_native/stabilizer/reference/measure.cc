// Z-basis measurement of one qubit of a Tableau.
#include "orvane_native/stabilizer/reference/tableau.h"

namespace orvane {

int64_t Tableau::measure(int64_t a, double u) {
  check_qubit(a);
  const int64_t n = n_;
  int64_t p = -1;
  for (int64_t k = n; k < 2 * n; ++k) {
    if (x_[k * n + a] == 1) {
      p = k;
      break;
    }
  }
  if (p >= 0) {
    // Random outcome: every other row that anticommutes with Z_a absorbs
    // stabilizer p, the destabilizer partner takes p's old content, and p
    // becomes +/-Z_a.
    for (int64_t l = 0; l < 2 * n; ++l) {
      if (l != p && x_[l * n + a] == 1) rowsum_rows(l, p);
    }
    for (int64_t j = 0; j < n; ++j) {
      x_[(p - n) * n + j] = x_[p * n + j];
      z_[(p - n) * n + j] = z_[p * n + j];
    }
    r_[p - n] = r_[p];
    for (int64_t j = 0; j < n; ++j) {
      x_[p * n + j] = 0;
      z_[p * n + j] = 0;
    }
    z_[p * n + a] = 1;
    r_[p] = u < 0.5 ? 0 : 1;
    return r_[p];
  }
  // Determined outcome: the scratch row collects the product of the
  // stabilizers whose destabilizer partners anticommute with Z_a.
  const int64_t s = 2 * n;
  for (int64_t j = 0; j < n; ++j) {
    x_[s * n + j] = 0;
    z_[s * n + j] = 0;
  }
  r_[s] = 0;
  for (int64_t j = 0; j < n; ++j) {
    if (x_[j * n + a] == 1) rowsum_rows(s, n + j);
  }
  return r_[s];
}

}  // namespace orvane
