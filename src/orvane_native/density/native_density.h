// NativeDensity: a persistent n-qubit density matrix held in one fixed
// buffer-backed field of 2*4^n floats, changed in place by channels and
// measurements. Every method that relies on num_qubits (which Python can
// reassign) first checks that the buffer still matches it and rejects the
// call otherwise; every rejection happens before the buffer is written.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"
#include "orvane_native/support/field.h"

namespace orvane {

struct NativeDensity {
  Field<double> rho;
  int64_t num_qubits = 0;
};

// A zero-filled record (not yet a state). A negative num_qubits is rejected;
// a size whose storage cannot be allocated or whose byte count cannot be
// represented (n >= 30) throws std::bad_alloc.
NativeDensity new_native_density(int64_t num_qubits);

// rho = |psi><psi| of `values`, which must hold exactly 2^(n+1) floats.
void set_from_amplitudes(NativeDensity& d, F64Span values);

// rho -> sum_i K_i rho K_i^dagger on `targets`. num_operators == 0 is the
// "division by zero" failure; with no targets or n <= 0 nothing else happens.
// Otherwise num_operators must be positive, the operator dimension derived
// from len(operators) / num_operators must be 2^len(targets) and the list
// must hold num_operators*2*d*d floats.
void apply_channel(NativeDensity& d, F64Span operators, int64_t num_operators, I64Span targets);

// rho = |0...0><0...0| (on the buffer as it is; num_qubits is not used).
void reset(NativeDensity& d);

// Sets the real part of entry (0, 0) to 1 and touches nothing else.
void set_zero_state(NativeDensity& d);

// A copy of the whole buffer.
F64Array density_matrix(NativeDensity& d);

// Outcome probabilities of measuring `targets`.
F64Array probabilities(NativeDensity& d, I64Span targets);

// Samples an outcome of `targets` with the draw u, collapses rho onto it in
// place and returns it.
int64_t measure(NativeDensity& d, I64Span targets, double u);

}  // namespace orvane
