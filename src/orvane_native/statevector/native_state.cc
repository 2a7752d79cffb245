#include "orvane_native/statevector/native_state.h"

#include <cstring>

#include "orvane_native/statevector/gates.h"
#include "orvane_native/statevector/measure.h"

namespace orvane {
namespace {

// Floats of a state of n qubits, or -1 when n is outside what a buffer can
// hold (negative, or a byte count beyond 64 bits).
int64_t state_floats(int64_t n) { return n >= 0 && n <= 59 ? int64_t{2} << n : -1; }

// Methods that index the buffer with num_qubits first make sure the two
// agree: the attribute can be reassigned from Python. A record without
// storage (its construction failed) never agrees.
void require_consistent(const NativeState& s) {
  if (s.state.empty() || state_floats(s.num_qubits) != s.state.size()) {
    panic("state buffer of " + std::to_string(s.state.size()) + " floats does not match num_qubits " +
          std::to_string(s.num_qubits));
  }
}

void copy_into(const Field<double>& dst, const F64Array& src) {
  std::memcpy(dst.data(), src.data(), static_cast<size_t>(dst.size()) * sizeof(double));
}

}  // namespace

NativeState new_native_state(int64_t n) {
  if (n < 0) panic("num_qubits must not be negative: " + std::to_string(n));
  const int64_t count = state_floats(n);
  if (count < 0) throw std::bad_alloc();
  NativeState s;
  s.state = Field<double>(count);
  s.num_qubits = n;
  return s;
}

namespace state_methods {

void set_amplitudes(NativeState& s, F64Span values) {
  const int64_t len = s.state.size();
  for (int64_t i = 0; i < len; ++i) s.state[i] = i < values.size() ? values[i] : 0.0;
}

void apply_gate(NativeState& s, F64Span gate, I64Span targets) {
  require_consistent(s);
  apply_gate_into(s.state.mut(), gate, s.num_qubits, targets);
}

void reset(NativeState& s) {
  if (s.state.empty()) return;
  std::memset(s.state.data(), 0, static_cast<size_t>(s.state.size()) * sizeof(double));
  s.state[0] = 1.0;
}

void set_zero_state(NativeState& s) {
  if (!s.state.empty()) s.state[0] = 1.0;
}

F64Array amplitudes(NativeState& s) { return F64Array::copy_of(s.state.span()); }

F64Array probabilities(NativeState& s, I64Span targets) {
  require_consistent(s);
  return state_probabilities(s.state.span(), targets, s.num_qubits);
}

int64_t measure(NativeState& s, I64Span targets, double u) {
  require_consistent(s);
  const F64Array probs = state_probabilities(s.state.span(), targets, s.num_qubits);
  const int64_t outcome = measurement_outcome(probs.span(), u);
  const F64Array collapsed = collapse_state(s.state.span(), targets, outcome, s.num_qubits);
  copy_into(s.state, collapsed);
  return outcome;
}

}  // namespace state_methods

}  // namespace orvane
