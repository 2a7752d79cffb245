// Pauli operators: single-qubit matrices X^x Z^z and expansion of a matrix
// in the n-qubit Pauli basis. Digits: 0 = I, 1 = X, 2 = Y, 3 = Z. A string
// index reads its digits in base 4 with qubit 0 most significant, so the
// digit at base-4 position b acts on bit b of the basis indices.
#pragma once

#include <cstdint>

#include "orvane_native/linalg/complex.h"
#include "orvane_native/support/array.h"

namespace orvane {

// The 2x2 matrix of the Pauli with bits (x, z): (1,0) X, (0,1) Z, (1,1) Y,
// any other pair I.
F64Array pauli_matrix(int64_t x, int64_t z);

// Entry (a, b) of the single-qubit Pauli with digit p (any p other than
// 0, 1, 2 is Z).
Complex pauli_entry(int64_t p, int64_t a, int64_t b);

// The 4^n coefficients c_j with matrix = sum_j c_j P_j, that is
// c_j = trace(P_j * matrix) / 2^n, interleaved (re, im). Empty for a
// negative n or n >= 32.
F64Array pauli_expansion(F64Span matrix, int64_t num_qubits);

}  // namespace orvane
