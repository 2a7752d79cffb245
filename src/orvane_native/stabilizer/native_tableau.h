// The native record behind the Python class NativeTableau: one stabilizer
// tableau kept between calls in buffer-backed fields, so a circuit can be
// applied one instruction at a time. The fields hold the bit-packed layout
// of PackedTableau (columns by qubit, signs, the scratch row, and a work
// area for measurement); every operation works on a PackedTableau view of
// them, built anew at each call. What the methods return is exactly what
// the plain per-entry tableau gives for the same calls (the unit tests
// compare them with the unpacked reference Tableau).
#pragma once

#include <cstdint>

#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/support/array.h"
#include "orvane_native/support/field.h"

namespace orvane {

struct NativeTableau {
  Field<uint64_t> bits;     // X then Z bits of each qubit, 2W words each (W = ceil(n/64))
  Field<uint64_t> r;        // signs, 2W words
  Field<uint64_t> scratch;  // scratch row: W words of X bits, W of Z bits, the sign
  Field<uint64_t> work;     // measurement work area
  int64_t num_qubits = 0;
  // The num_qubits the fields were sized for; -1 while no storage was made
  // (a record whose construction failed), which no num_qubits matches.
  int64_t made_for = -1;
};

// A record holding |0...0> on n qubits. A negative n is rejected; storage
// that cannot be obtained is the allocation failure.
NativeTableau new_native_tableau(int64_t n);

// The PackedTableau view of the record's fields. num_qubits may have been
// reassigned since construction; a value that does not match the fields, or
// a record without storage, is rejected before anything is read or written.
PackedTableau view(NativeTableau& t);

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
