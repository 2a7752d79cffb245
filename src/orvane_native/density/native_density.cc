#include "orvane_native/density/native_density.h"

#include <new>
#include <string>

#include "orvane_native/density/channel.h"
#include "orvane_native/density/measure.h"
#include "orvane_native/density/subspace.h"
#include "orvane_native/statevector/measure.h"

namespace orvane {
namespace {

// The buffer must be exactly the 2*4^n floats that num_qubits implies; a
// record without storage (its construction failed) never matches.
void check_buffer(const NativeDensity& d) {
  const int64_t need = density_floats(d.num_qubits);
  if (need <= 0 || d.rho.empty() || d.rho.size() != need) {
    panic("density buffer of " + std::to_string(d.rho.size()) + " floats does not match num_qubits " +
          std::to_string(d.num_qubits));
  }
}

}  // namespace

NativeDensity new_native_density(int64_t num_qubits) {
  if (num_qubits < 0) panic("num_qubits must not be negative: " + std::to_string(num_qubits));
  // 2*4^n floats; from n = 30 on the byte count no longer fits in 64 bits.
  const int64_t floats = density_floats(num_qubits);
  if (floats < 0) throw std::bad_alloc();
  return NativeDensity{Field<double>(floats), num_qubits};
}

void set_from_amplitudes(NativeDensity& d, F64Span values) {
  check_buffer(d);
  const int64_t need = pow2(d.num_qubits + 1);
  if (values.size() != need) {
    panic("set_from_amplitudes needs " + std::to_string(need) + " floats for " + std::to_string(d.num_qubits) +
          " qubits, got " + std::to_string(values.size()));
  }
  InterruptPoll whole = InterruptPoll::never();  // one sweep, in place: it runs through
  state_to_density_into(d.rho.mut(), values, whole);
}

void apply_channel(NativeDensity& d, F64Span operators, int64_t num_operators, I64Span targets) {
  check_buffer(d);
  if (num_operators == 0) panic("division by zero");
  if (d.num_qubits <= 0 || targets.empty()) return;
  if (num_operators < 0) panic("negative num_operators: " + std::to_string(num_operators));
  const int64_t op_dim = op_dimension(operators.size() / num_operators);
  // channel_subspace_into checks the targets, the dimension against them and
  // the operator count against the list.
  channel_subspace_into(d.rho.mut(), operators, num_operators, op_dim, targets, d.num_qubits);
}

// reset, set_zero_state and density_matrix do not depend on num_qubits: they
// work on the buffer as it is, whatever the attribute says.
void reset(NativeDensity& d) {
  for (int64_t i = 0; i < d.rho.size(); ++i) d.rho[i] = 0.0;
  if (!d.rho.empty()) d.rho[0] = 1.0;
}

void set_zero_state(NativeDensity& d) {
  if (!d.rho.empty()) d.rho[0] = 1.0;
}

F64Array density_matrix(NativeDensity& d) {
  return F64Array::copy_of(d.rho.span());
}

F64Array probabilities(NativeDensity& d, I64Span targets) {
  check_buffer(d);
  return density_probabilities(d.rho.span(), targets, d.num_qubits);
}

int64_t measure(NativeDensity& d, I64Span targets, double u) {
  check_buffer(d);
  // density_probabilities validates the targets; after it nothing can fail,
  // and the collapse runs in place on the buffer.
  const F64Array probs = density_probabilities(d.rho.span(), targets, d.num_qubits);
  const int64_t outcome = measurement_outcome(probs.span(), u);
  density_collapse_into(d.rho.mut(), targets, outcome, d.num_qubits);
  return outcome;
}

}  // namespace orvane
