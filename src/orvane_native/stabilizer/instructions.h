// The instruction stream of a Clifford circuit: consecutive triples
// (code, a, b) of a flat int64 array; one or two trailing integers are
// ignored. Operands are validated over the whole stream before anything
// runs, so a bad circuit never leaves a half-run result.
//
// The codes are listed once, in kInstructions below: validation, the
// bit-packed tableau, NativeTableau's checks, the samplers, and on the test
// side the unpacked reference tableau, the random streams and the check of
// the documentation's code tables all read it. A code outside the table is
// ignored everywhere (its operands are not checked either). The gate
// updates switch on Instr without a default case, so the compiler names
// every switch that lacks a newly added code.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "orvane_native/support/array.h"

namespace orvane {

// Instruction codes. The instr_* names are the ones the NativeTableau.apply
// docstring refers to; they convert to the int64 codes of a stream.
enum Instr : int64_t {
  instr_h = 0,
  instr_s = 1,
  instr_sdg = 2,  // S dagger
  instr_x = 3,
  instr_y = 4,
  instr_z = 5,
  instr_cnot = 6,  // control a, target b
  instr_cz = 7,
  instr_swap = 8,
  instr_measure = 9,  // Z basis; run by the samplers, not by apply
};

struct InstrInfo {
  Instr code;
  const char* name;  // as the documentation's code tables begin the row
  bool uses_b;       // every code uses qubit a; these use b too, distinct from a
  bool measurement;
};

inline constexpr InstrInfo kInstructions[] = {
    {instr_h, "H", false, false},
    {instr_s, "S", false, false},
    {instr_sdg, "S dagger", false, false},
    {instr_x, "X", false, false},
    {instr_y, "Y", false, false},
    {instr_z, "Z", false, false},
    {instr_cnot, "CNOT", true, false},
    {instr_cz, "CZ", true, false},
    {instr_swap, "SWAP", true, false},
    {instr_measure, "measure", false, true},
};

inline constexpr int64_t kInstrCount = static_cast<int64_t>(std::size(kInstructions));

// Entry c of the table describes code c.
static_assert([] {
  for (int64_t c = 0; c < kInstrCount; ++c)
    if (kInstructions[c].code != c) return false;
  return true;
}());

// The table entry of a code, or nullptr for a code outside the table.
constexpr const InstrInfo* instr_info(int64_t code) {
  return code >= 0 && code < kInstrCount ? &kInstructions[code] : nullptr;
}

// Whether the code is a measurement.
constexpr bool is_measurement(int64_t code) {
  const InstrInfo* info = instr_info(code);
  return info != nullptr && info->measurement;
}

// Whether the code changes a tableau through apply: known and not a
// measurement.
constexpr bool is_gate(int64_t code) {
  const InstrInfo* info = instr_info(code);
  return info != nullptr && !info->measurement;
}

// Whether (code, a, b) may run on num_qubits qubits: a (and b where the code
// uses it) in 0 .. num_qubits-1, and b different from a. Codes outside the
// table always may. The common case of operand_problem, without a message.
constexpr bool operands_fit(int64_t code, int64_t a, int64_t b, int64_t num_qubits) {
  const InstrInfo* info = instr_info(code);
  if (info == nullptr) return true;
  if (a < 0 || a >= num_qubits) return false;
  return !info->uses_b || (b >= 0 && b < num_qubits && a != b);
}

// Number of complete triples whose code is a measurement.
int64_t count_measurements(I64Span instructions);

// What is wrong with the operands of one instruction on num_qubits qubits,
// or "" when nothing is (see operands_fit).
std::string operand_problem(int64_t code, int64_t a, int64_t b, int64_t num_qubits);

// Fails with "instruction K (code C): " + the problem, for the first
// instruction K whose operands are not valid.
void validate_instructions(I64Span instructions, int64_t num_qubits);

}  // namespace orvane
