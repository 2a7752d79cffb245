// Pauli operators: single-qubit matrices X^x Z^z and expansion of a
// matrix in the n-qubit Pauli basis.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// The 2x2 matrix of the Pauli with bits (x, z) (flat complex layout).
F64Array pauli_matrix(int64_t x, int64_t z);

}  // namespace orvane
