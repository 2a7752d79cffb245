// The state vector of a stabilizer state given as a flattened tableau (only
// the stabilizer rows n..2n-1 are read). The result is 2^n amplitudes,
// qubit 0 the most significant bit of the basis index, with the global
// phase that makes the lowest-index non-zero amplitude real and positive.
//
// Definition: M = Q_0 Q_1 ... Q_{n-1} with Q_f = I + s_f S_f (S_f the Pauli
// string of stabilizer f, s_f its sign); the first column c of M whose
// squared norm N exceeds 1e-18 (rows summed in order, each term
// fma(re, re, im*im)) is scaled by K = 1/sqrt(N). Pairs other than the three
// Pauli (x, z) pairs act as the identity, signs other than 1 as +1.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// Rows that are not a commuting, independent generator set need a search
// for the first non-zero column, up to 2^n columns of 2^n entries; beyond
// this many qubits they are the allocation failure.
inline constexpr int64_t kColumnSearchMaxQubits = 12;

// The state vector, built on one vector of 2^n amplitudes, equal bit for bit
// to the dense evaluation of the definition with 2^n x 2^n matrices. A
// negative num_qubits gives an empty result; a tableau too short for its
// stabilizer rows is the bounds failure naming the first missing index.
F64Array clifford_state_vector(I64Span tableau, int64_t num_qubits);

// Whether the stabilizer rows (read as above) commute pairwise and are
// independent, so that they fix exactly one state. The rows must be present.
bool stabilizer_rows_form_generator_set(I64Span tableau, int64_t num_qubits);

}  // namespace orvane
