// The record behind NativeState: a state vector of 2^n amplitudes in one
// fixed buffer-backed field, changed in place by every method so that
// exported views always show the current amplitudes.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"
#include "orvane_native/support/field.h"

namespace orvane {

struct NativeState {
  Field<double> state;
  int64_t num_qubits = 0;
};

// A zero-filled buffer of 2^(n+1) floats (not yet a valid state). A negative
// n is rejected; a size that cannot be allocated or represented is the
// allocation failure.
NativeState new_native_state(int64_t num_qubits);

namespace state_methods {

void set_amplitudes(NativeState& s, F64Span values);
void apply_gate(NativeState& s, F64Span gate, I64Span targets);
void reset(NativeState& s);
void set_zero_state(NativeState& s);
F64Array amplitudes(NativeState& s);
F64Array probabilities(NativeState& s, I64Span targets);
int64_t measure(NativeState& s, I64Span targets, double u);

}  // namespace state_methods

}  // namespace orvane
