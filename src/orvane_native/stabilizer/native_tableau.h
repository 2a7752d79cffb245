// The native record behind the Python class NativeTableau: one stabilizer
// tableau kept between calls in three buffer-backed fields (layout of
// Tableau), so a circuit can be applied one instruction at a time. Every
// operation works on a Tableau view of the fields, built anew at each call.
#pragma once

#include <cstdint>

#include "orvane_native/stabilizer/tableau.h"
#include "orvane_native/support/array.h"
#include "orvane_native/support/field.h"

namespace orvane {

struct NativeTableau {
  Field<int64_t> x;  // n*(2n+1) X bits
  Field<int64_t> z;  // n*(2n+1) Z bits
  Field<int64_t> r;  // 2n+1 sign bits
  int64_t num_qubits = 0;
};

// A record holding |0...0> on n qubits. A negative n is rejected; storage
// that cannot be obtained is the allocation failure.
NativeTableau new_native_tableau(int64_t n);

// The Tableau view of the record's fields. num_qubits may have been
// reassigned since construction; a value that does not match the fields is
// rejected before anything is read or written.
Tableau view(NativeTableau& t);

// Back to |0...0>, scratch row cleared, without reallocating.
void reset(NativeTableau& t);
// One instruction (instr_* codes) in place; measurement and unknown codes
// change nothing. Operands are checked as in an instruction stream; a
// rejected instruction leaves the record unchanged.
void apply(NativeTableau& t, int64_t code, int64_t a, int64_t b);
// Measures qubit a with the caller's draw u; returns 0 or 1.
int64_t measure(NativeTableau& t, int64_t a, double u);
// The state vector of the current state (global phase as for
// clifford_state_vector).
F64Array state_vector(NativeTableau& t);
// The flattened tableau, scratch row included.
I64Array stabilizer_tableau(NativeTableau& t);

}  // namespace orvane
