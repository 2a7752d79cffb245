// The instruction stream of clifford_sample_noisy: the codes of
// instructions.h (0-9, same meaning) plus resets and Pauli noise, 10-17.
// Unlike the other stream readers, this one refuses a code it does not
// know: noisy streams are new, and nothing relies on skipping.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

enum NoisyInstr : int64_t {
  instr_reset = 10,            // qubit a to |0>, no record entry
  instr_measure_reset = 11,    // measure a (one record entry), then reset it
  instr_x_error = 12,          // X on a with probability probabilities[b]
  instr_y_error = 13,          // Y on a with probability probabilities[b]
  instr_z_error = 14,          // Z on a with probability probabilities[b]
  instr_depolarize1 = 15,      // X, Y or Z on a (each 1/3) with probability probabilities[b]
  instr_depolarize2 = 16,      // one of the 15 non-identity Paulis on (a, b), each 1/15,
                               // with the probability set by the latest code 17
  instr_noise_probability = 17,  // probabilities[a] for the code-16 triples after it
};

inline constexpr int64_t kNoisyCodeCount = 18;

// Codes that record an outcome (9, 11), that draw from the measurement
// stream (9, 10, 11), and that are noise locations (12-16).
constexpr bool records_outcome(int64_t code) { return code == 9 || code == instr_measure_reset; }
constexpr bool draws_outcome(int64_t code) { return code == 9 || code == instr_reset || code == instr_measure_reset; }
constexpr bool is_noise(int64_t code) { return code >= instr_x_error && code <= instr_depolarize2; }

// Checks the whole stream and the probabilities before anything runs, and
// fails with "instruction K (code C): " + the problem for the first bad
// triple (unknown code, qubit operand, probability index or value, a code 16
// with no code 17 before it), then with "probabilities[k] is not in [0, 1]: "
// + the value for an entry that no triple refers to.
void validate_noisy_stream(I64Span instructions, int64_t num_qubits, F64Span probabilities);

// The probability index of a noise triple (b for 12-15, a for 17).
constexpr int64_t probability_index(int64_t code, int64_t a, int64_t b) {
  return code == instr_noise_probability ? a : b;
}

}  // namespace orvane
