// The instruction stream of a Clifford circuit: consecutive triples
// (code, a, b) of a flat int64 array; one or two trailing integers are
// ignored. Operands are validated over the whole stream before anything
// runs, so a bad circuit never leaves a half-run result.
#pragma once

#include <cstdint>
#include <string>

#include "orvane_native/support/array.h"

namespace orvane {

// Number of complete triples whose code is instr_measure.
int64_t count_measurements(I64Span instructions);

// What is wrong with the operands of one instruction on num_qubits qubits,
// or "" when nothing is. One-qubit codes and measurement use a; cnot, cz
// and swap use a and b, which must differ; unknown codes use nothing.
std::string operand_problem(int64_t code, int64_t a, int64_t b, int64_t num_qubits);

// Fails with "instruction K (code C): " + the problem, for the first
// instruction K whose operands are not valid.
void validate_instructions(I64Span instructions, int64_t num_qubits);

}  // namespace orvane
