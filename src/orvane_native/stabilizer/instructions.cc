#include "orvane_native/stabilizer/instructions.h"

#include "orvane_native/support/panic.h"

namespace orvane {
namespace {

bool is_qubit(int64_t q, int64_t num_qubits) { return q >= 0 && q < num_qubits; }

std::string out_of_range(const char* name, int64_t q, int64_t num_qubits) {
  return std::string("qubit operand ") + name + " out of range: " + std::to_string(q) +
         " (num_qubits " + std::to_string(num_qubits) + ")";
}

}  // namespace

int64_t count_measurements(I64Span instructions) {
  int64_t m = 0;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) m += is_measurement(instructions[s]);
  return m;
}

std::string operand_problem(int64_t code, int64_t a, int64_t b, int64_t num_qubits) {
  const InstrInfo* info = instr_info(code);
  if (info == nullptr) return "";
  if (!is_qubit(a, num_qubits)) return out_of_range("a", a, num_qubits);
  if (!info->uses_b) return "";
  if (!is_qubit(b, num_qubits)) return out_of_range("b", b, num_qubits);
  if (a == b) return "qubit operands a and b are the same qubit: " + std::to_string(a);
  return "";
}

void validate_instructions(I64Span instructions, int64_t num_qubits) {
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    const int64_t code = instructions[s];
    if (operands_fit(code, instructions[s + 1], instructions[s + 2], num_qubits)) continue;
    std::string problem = operand_problem(code, instructions[s + 1], instructions[s + 2], num_qubits);
    if (!problem.empty()) {
      panic("instruction " + std::to_string(s / 3) + " (code " + std::to_string(code) + "): " + problem);
    }
  }
}

}  // namespace orvane
