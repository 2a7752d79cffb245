// The dense evaluation of the state-vector definition of
// clifford_state_vector (see state_vector.h), with 2^n x 2^n complex
// matrices from the matrix toolkit (identity, Kronecker chains, products):
// the reference the module's one-vector method is checked against, bit for
// bit. Exponential in memory; only for small num_qubits.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

F64Array clifford_state_vector_dense(I64Span tableau, int64_t num_qubits);

}  // namespace orvane
