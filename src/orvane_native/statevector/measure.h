// Measurement of a state vector: outcome probabilities of a target list,
// sampling an outcome from a caller's uniform draw, and collapse.
// The outcome of targets t[0..k-1] is a k-bit integer whose most significant
// bit is the value of qubit t[0]; qubit q is bit n-1-q of a basis index.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// Outcome of basis index `index` for `targets` (a bit whose shift falls
// outside 0..63 reads 0).
inline int64_t outcome_index(int64_t index, I64Span targets, int64_t num_qubits) {
  uint64_t o = 0;
  for (int64_t t : targets) {
    const uint64_t s = static_cast<uint64_t>(num_qubits - 1 - t);
    const uint64_t bit = s >= 64 ? 0 : (static_cast<uint64_t>(index) >> s) & 1u;
    o = (o << 1) | bit;
  }
  return static_cast<int64_t>(o);
}

// First index whose running sum exceeds u strictly; the last index when none
// does (u >= total, NaN u); -1 for an empty list.
int64_t sample_outcome(F64Span probabilities, double u);

// The outcome a measurement collapses onto: sample_outcome's choice, unless
// that outcome's probability is not positive (zero, negative or NaN) while
// another one's is. A draw that selects such an outcome below the range
// (u < 0, -inf) takes the first outcome of positive probability, as a draw
// past the total takes the last one. -1 for an empty list.
int64_t measurement_outcome(F64Span probabilities, double u);

// 2^k probabilities of measuring `targets` (unnormalised: they sum to the
// squared norm).
F64Array state_probabilities(F64Span state, I64Span targets, int64_t num_qubits);

// A new state, projected on `outcome` and renormalised; all zeros when the
// branch has zero norm or the outcome cannot occur.
F64Array collapse_state(F64Span state, I64Span targets, int64_t outcome, int64_t num_qubits);

}  // namespace orvane
