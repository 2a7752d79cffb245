// Kraus channels rho -> sum_i K_i rho K_i^dagger on density matrices.
// A density matrix of n qubits is a row-major 2^n x 2^n complex matrix
// (2*4^n floats, (re, im) interleaved). A Kraus operator list is the
// concatenation of row-major d x d complex operators, 2*d*d floats each.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// u * a * u^dagger for dim x dim matrices; empty when dim <= 0. A short `a`
// or `u` fails with the bounds message at the first float the product reads
// (entries of u that are exactly zero skip their row of a).
F64Array sandwich(F64Span a, F64Span u, int64_t dim);

// sum_{i < num_ops} K_i rho K_i^dagger with K_i the i-th dim x dim operator
// of `ops`; 2*dim*dim zeros when num_ops <= 0. An operator past the end of
// `ops` is the "array.slice: slice bounds out of range (end >= length)"
// failure. `rho` is not changed.
F64Array channel(F64Span rho, F64Span ops, int64_t num_ops, int64_t dim);

// The smallest d >= 1 with 2*d*d >= floats.
int64_t op_dimension(int64_t floats);

// The path channel_subspace_into takes.
enum class ChannelKernel { kNone, kPermutation, kSubspace2x2, kDiagonal, kGeneral };

// Validates a channel_subspace_into call and names the kernel it runs (kNone
// for the no-op cases). Rejections are the same as channel_subspace_into's.
ChannelKernel choose_channel_kernel(F64Span rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                                    int64_t num_qubits);

// Applies the channel to `targets` of the n-qubit density matrix in place.
// n <= 0 or no targets: nothing happens. Otherwise the targets must be
// distinct qubits below n, rho must hold 2*4^n floats, d must be
// 2^len(targets) and ops must hold num_ops*2*d*d floats; any violation is
// rejected before rho is touched. A single permutation operator, one-qubit
// operators on one target and diagonal operators take the structured
// kernels; everything else the general block algorithm.
void channel_subspace_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                           int64_t num_qubits);

// The general block algorithm on its own: for every pair of row and column
// bases, the d x d block B becomes sum_i K_i B K_i^dagger. Trusts the sizes
// that channel_subspace_into validates.
void channel_general_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                          int64_t num_qubits);

}  // namespace orvane
