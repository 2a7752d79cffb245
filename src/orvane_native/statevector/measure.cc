#include "orvane_native/statevector/measure.h"

#include <cmath>
#include <string>

#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/targets.h"

namespace orvane {

int64_t sample_outcome(F64Span probabilities, double u) {
  const int64_t count = probabilities.size();
  if (count == 0) return -1;
  double sum = 0.0;
  for (int64_t i = 0; i < count; ++i) {
    sum += probabilities[i];
    if (u < sum) return i;
  }
  // The walk ran out (u at or past the total, by rounding or because u >= 1
  // or is NaN): take the last outcome that can happen, so that a collapse
  // never lands on a branch of probability zero.
  for (int64_t i = count - 1; i >= 0; --i)
    if (probabilities[i] > 0.0) return i;
  return count - 1;
}

int64_t measurement_outcome(F64Span probabilities, double u) {
  const int64_t outcome = sample_outcome(probabilities, u);
  if (outcome < 0 || probabilities[outcome] > 0.0) return outcome;
  for (int64_t i = 0; i < probabilities.size(); ++i)
    if (probabilities[i] > 0.0) return i;
  return outcome;  // no outcome can happen: the collapse gives zeros whichever is taken
}

namespace {

// Validates what every measurement function needs before reading: distinct
// targets in range and a state of at least 2^(n+1) floats.
int64_t checked_dimension(F64Span state, I64Span targets, int64_t num_qubits) {
  const int64_t dim = pow2(num_qubits);
  validate_targets(targets, num_qubits);
  // 2^(n+1) floats; from n = 62 on that count is not representable, so no
  // state can be long enough (even where the shifted size wraps or is 0).
  if (num_qubits >= 62) {
    panic("state too short for " + std::to_string(num_qubits) + " qubits: " + std::to_string(state.size()) +
          " floats");
  }
  if (dim > 0) require_length("state", state.size(), 2 * dim);
  return dim;
}


// Amplitudes between two polls of these read-only passes (which can take a
// few hundred milliseconds on large states with many targets).
constexpr int64_t kPollBlock = int64_t{1} << 12;

}  // namespace

F64Array state_probabilities(F64Span state, I64Span targets, int64_t num_qubits) {
  const int64_t dim = checked_dimension(state, targets, num_qubits);
  F64Array probs(pow2(targets.size()));
  if (dim <= 0) return probs;
  InterruptPoll poll;
  for (int64_t i = 0; i < dim; ++i) {
    if (i % kPollBlock == 0) poll.tick(kPollBlock * (targets.size() + 1));
    const double re = state[2 * i], im = state[2 * i + 1];
    probs[outcome_index(i, targets, num_qubits)] += re * re + im * im;
  }
  return probs;
}

F64Array collapse_state(F64Span state, I64Span targets, int64_t outcome, int64_t num_qubits) {
  const int64_t dim = checked_dimension(state, targets, num_qubits);
  InterruptPoll poll;
  double sum = 0.0;
  for (int64_t i = 0; i < dim; ++i) {
    if (i % kPollBlock == 0) poll.tick(kPollBlock * (targets.size() + 1));
    if (outcome_index(i, targets, num_qubits) != outcome) continue;
    const double re = state[2 * i], im = state[2 * i + 1];
    sum += re * re + im * im;
  }
  const double scale = sum > 0.0 ? 1.0 / std::sqrt(sum) : 0.0;
  F64Array result(2 * dim);
  for (int64_t i = 0; i < dim; ++i) {
    if (i % kPollBlock == 0) poll.tick(kPollBlock * (targets.size() + 1));
    if (outcome_index(i, targets, num_qubits) != outcome) continue;
    result[2 * i] = scale * state[2 * i];
    result[2 * i + 1] = scale * state[2 * i + 1];
  }
  return result;
}

}  // namespace orvane
