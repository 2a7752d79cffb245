#include "orvane_native/stabilizer/noisy_stream.h"

#include <charconv>
#include <cmath>
#include <string>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/support/panic.h"

namespace orvane {
namespace {

// The shortest text that reads back as the same double ("nan", "-0.5", "inf").
std::string float_text(double v) {
  if (std::isnan(v)) return "nan";
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

bool is_probability(double p) { return p >= 0.0 && p <= 1.0; }  // false for NaN

std::string value_problem(int64_t k, double p) {
  return "probabilities[" + std::to_string(k) + "] is not in [0, 1]: " + float_text(p);
}

std::string qubit_problem(const char* name, int64_t q, int64_t num_qubits) {
  return std::string("qubit operand ") + name + " out of range: " + std::to_string(q) + " (num_qubits " +
         std::to_string(num_qubits) + ")";
}

// What is wrong with one triple, or "" when nothing is. `probability_set`
// tells whether a code 17 came before.
std::string triple_problem(int64_t code, int64_t a, int64_t b, int64_t num_qubits, F64Span probabilities,
                           bool probability_set) {
  if (code < 0 || code >= kNoisyCodeCount) return "unknown instruction code";
  if (code < kInstrCount) return operand_problem(code, a, b, num_qubits);
  if (code != instr_noise_probability && (a < 0 || a >= num_qubits)) return qubit_problem("a", a, num_qubits);
  if (code == instr_depolarize2) {
    if (b < 0 || b >= num_qubits) return qubit_problem("b", b, num_qubits);
    if (a == b) return "qubit operands a and b are the same qubit: " + std::to_string(a);
    if (!probability_set) return "no noise_probability (code 17) before this depolarize2";
    return "";
  }
  if (code == instr_reset || code == instr_measure_reset) return "";
  const int64_t k = probability_index(code, a, b);
  const char* operand = code == instr_noise_probability ? "a" : "b";
  if (k < 0 || k >= probabilities.size()) {
    return std::string("probability index ") + operand + " out of range: " + std::to_string(k) +
           " (len(probabilities) " + std::to_string(probabilities.size()) + ")";
  }
  if (!is_probability(probabilities[k])) return value_problem(k, probabilities[k]);
  return "";
}

}  // namespace

void validate_noisy_stream(I64Span instructions, int64_t num_qubits, F64Span probabilities) {
  bool probability_set = false;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    const int64_t code = instructions[s];
    const std::string problem =
        triple_problem(code, instructions[s + 1], instructions[s + 2], num_qubits, probabilities, probability_set);
    if (!problem.empty()) {
      panic("instruction " + std::to_string(s / 3) + " (code " + std::to_string(code) + "): " + problem);
    }
    probability_set = probability_set || code == instr_noise_probability;
  }
  for (int64_t k = 0; k < probabilities.size(); ++k) {
    if (!is_probability(probabilities[k])) panic(value_problem(k, probabilities[k]));
  }
}

}  // namespace orvane
