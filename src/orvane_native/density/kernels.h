// Structured channel kernels, chosen by channel_subspace_into when the Kraus
// operators have a shape that allows less work than the general block
// algorithm. Each changes the n-qubit density matrix `rho` in place and
// gives sum_i K_i rho K_i^dagger up to rounding. They trust their caller:
// rho holds 2*4^n floats, targets are distinct qubits below n, ops hold
// num_ops*2*d*d floats with d = 2^len(targets), perm entries lie in 0..d-1.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// A single operator K with K[r][perm[r]] = 1 and zeros elsewhere:
// (K rho K^dagger)[j][c] = rho[s(j)][s(c)], where s replaces the target bits
// of an index by those of perm[local index]. Moves entries, bit-exact.
void channel_permutation_into(Span<double> rho, I64Span perm, I64Span targets, int64_t num_qubits);

// One-qubit operators on targets[0] (the only target read): each 2 x 2 block
// of rows and columns {j, j+s} is mapped through every operator, with
// T = K B and the block's accumulator += T K^dagger, operators in order. No
// operators (num_ops < 1) clears every block. An empty target list is a
// bounds failure.
void channel_subspace_2x2_into(Span<double> rho, F64Span ops, int64_t num_ops, I64Span targets,
                               int64_t num_qubits);

// Diagonal operators: entry (x, y) is multiplied by
// W[a][c] = sum_i K_i[a][a] conj(K_i[c][c]) with a, c the local indices of
// x and y. Off-diagonal operator entries are ignored. No operators clears rho.
void channel_diagonal_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                           int64_t num_qubits);

}  // namespace orvane
