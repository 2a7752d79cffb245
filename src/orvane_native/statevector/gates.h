// Dense gates on chosen target qubits of a state vector. A gate on k targets
// is a row-major 2^k x 2^k complex matrix whose local index has targets[0] as
// its most significant bit; qubit q is bit n-1-q of a basis index.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {

// A new state: `state` with the gate applied.
F64Array apply_gate(F64Span state, F64Span gate, int64_t num_qubits, I64Span targets);

// Applies the gate in place. Nothing happens for num_qubits <= 0 or no
// targets; otherwise targets must be distinct qubits below num_qubits, the
// state must hold 2^(n+1) floats and the gate 2*4^k floats, or the call is
// rejected before anything is written. A long dense gate on three or more
// targets polls for interruption: with kRestore it keeps the groups it
// overwrites and puts them back when interrupted (running through
// uninterrupted when that log's memory cannot be had); with kDiscard it
// leaves the state half-written, for a caller that drops it.
void apply_gate_into(Span<double> state, F64Span gate, int64_t num_qubits, I64Span targets,
                     OnInterrupt on_interrupt = OnInterrupt::kRestore);

// The gate with the roles of its two qubits exchanged (reads 32 floats).
F64Array swap_2q_basis(F64Span gate);

// The kernels behind apply_gate_into; they trust their caller's sizes.
void apply_gate_1q(Span<double> state, F64Span gate, int64_t num_qubits, int64_t target);
void apply_gate_2q_adjacent(Span<double> state, F64Span gate, int64_t num_qubits, int64_t hi);
void apply_gate_general(Span<double> state, F64Span gate, int64_t num_qubits, I64Span targets,
                        OnInterrupt on_interrupt = OnInterrupt::kRestore);

// Which path a gate takes: the dispatcher's choice, for tests and tools.
enum class GateKernel { kNone, kSingle, kAdjacentDense, kAdjacentPermutation, kGeneralDense, kGeneralPermutation };
GateKernel choose_gate_kernel(F64Span gate, int64_t num_qubits, I64Span targets);

}  // namespace orvane
