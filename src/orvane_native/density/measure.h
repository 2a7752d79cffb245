// Measurement of density matrices and conversion from state vectors. The
// outcome of targets t[0..k-1] is a k-bit integer whose most significant bit
// is the value of qubit t[0]; qubit q is bit n-1-q of a row or column index.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {

// 2^k outcome probabilities read off the real part of the diagonal
// (unnormalised, not clipped). Targets must be distinct qubits below n and
// rho must hold 2*4^n floats (extra floats are ignored); for n >= 63 there is
// no diagonal to read and the result is all zeros.
F64Array density_probabilities(F64Span rho, I64Span targets, int64_t num_qubits);

// P rho P / tr(P rho) for the projector P on `outcome`: a new matrix of
// 2*4^n floats, all zero when the outcome cannot occur or its probability is
// not positive. Same checks as density_probabilities.
F64Array density_collapse(F64Span rho, I64Span targets, int64_t outcome, int64_t num_qubits);

// The same projection in place, on a density matrix that has passed the
// checks of density_collapse.
void density_collapse_into(Span<double> rho, I64Span targets, int64_t outcome, int64_t num_qubits);

// |psi><psi| of the m = len(state)/2 amplitudes (an odd trailing float is
// ignored): 2*m*m floats, not normalised.
F64Array state_to_density(F64Span state);

// Writes |psi><psi| of `state` into the first 2*m*m floats of `out`, which
// must hold them, ticking `poll` per row (an interruption leaves `out` half
// written: a caller that keeps it passes InterruptPoll::never()).
void state_to_density_into(Span<double> out, F64Span state, InterruptPoll& poll);

// Checks shared by the density measurements: distinct targets below n and a
// matrix of 2*4^n floats when 2^n is positive.
void validate_density_measurement(F64Span rho, I64Span targets, int64_t num_qubits);

}  // namespace orvane
