// Signed permutations of the amplitudes within groups: the kernel behind the
// gates whose matrix has one entry +1 or -1 in every row and column (CNOT,
// SWAP, X, CZ and other +-1 diagonals, and their products with them).
#pragma once

#include <cstdint>

namespace orvane {

// The groups of a gate on k targets: for each base b (an index with no bit
// of `mask`, the targets' bits, set), the d = 2^k amplitudes b | off[r].
// Group g is the one with the g-th smallest base; there are dim / d.
// Row r of every group takes sign[r] (+1 or -1) times the amplitude of
// column col[r]: a moved amplitude is copied, a negated one changes its sign
// bit only. Rows that keep their own amplitude with sign +1 are neither read
// nor written, so a CNOT touches the half of the state it changes and CZ the
// quarter it negates.
struct GroupPermutation {
  const int64_t* off;
  int64_t d;
  int64_t mask;
  const int64_t* col;
  const double* sign;
};

// Applies the permutation to groups first_group .. end_group - 1 of the
// state psi (interleaved complex), which must hold them all. Calls on
// consecutive ranges give the same amplitudes as one call on their union.
void permute_groups(double* psi, const GroupPermutation& p, int64_t first_group, int64_t end_group);

}  // namespace orvane
