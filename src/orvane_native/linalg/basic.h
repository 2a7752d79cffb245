// Dense complex matrices stored flat: a dim x dim matrix is 2*dim*dim
// doubles, row-major, each entry an adjacent (re, im) pair. Inputs are read
// through bounds-checked accesses, so a short input fails at the first
// missing float; surplus floats are ignored. Results are fresh arrays.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// The dim x dim identity (2*dim*dim floats; no diagonal for dim <= 0).
F64Array complex_identity_flat(int64_t dim);

// Kronecker product of an a_dim x a_dim and a b_dim x b_dim matrix; `a` is
// the outer (more significant) factor. Empty when either size is <= 0.
F64Array kron(F64Span a, int64_t a_dim, F64Span b, int64_t b_dim);

// Product a * b of two dim x dim matrices; rows of `b` behind an exactly
// zero entry of `a` are skipped. Empty when dim <= 0.
F64Array matmul(F64Span a, F64Span b, int64_t dim);

// Conjugate transpose; imaginary parts have their sign bit flipped.
F64Array dagger(F64Span a, int64_t dim);

// a + scale * b, float by float, each a fused multiply-add.
F64Array add_scaled(F64Span a, F64Span b, int64_t dim, double scale);

// matrix * vector for a dim x dim matrix; 2*dim floats.
F64Array matvec(F64Span matrix, F64Span vector, int64_t dim);

// The op_dim x op_dim operator acting on `targets` (targets[0] the most
// significant local bit), identity elsewhere, in the 2^num_qubits space.
// num_qubits outside 0..63 gives an empty result; a negative op_dim fails
// with "negative .len:"; targets must be distinct qubits below num_qubits
// and op_dim must be 2^len(targets).
F64Array embed_operator(F64Span op, int64_t op_dim, I64Span targets, int64_t num_qubits);

// 1 when every entry is within atol of the identity, per component.
int64_t is_identity_matrix(F64Span matrix, int64_t dim, double atol);

// 1 when every float of `a` is within atol of the same float of `b`.
int64_t matrix_allclose(F64Span a, F64Span b, int64_t dim, double atol);

}  // namespace orvane
