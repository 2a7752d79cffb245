// What each Python class is made of: its names, docstring, constructor,
// method table and exported field. classes.cc turns these into heap types.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "orvane_native/density/native_density.h"
#include "orvane_native/module/binding.h"
#include "orvane_native/stabilizer/native_tableau.h"
#include "orvane_native/statevector/native_state.h"

namespace orvane::py {

template <class Record>
struct ClassTraits;

// The core's method functions share names across records (reset, measure,
// ...); these casts pick the overload for one record type.
template <class R, class... A>
constexpr auto pick(R (*f)(A...)) {
  return f;
}

template <>
struct ClassTraits<NativeTableau> {
  static constexpr const char* short_name = "NativeTableau";
  static constexpr const char* qualified_name = "orvane_native.NativeTableau";
  static constexpr const char* doc =
      "NativeTableau is a stabilizer state whose tableau lives in `@[ts_buffer]`\n"
      "fields for the object's lifetime, so a circuit can be applied one gate at a\n"
      "time without rebuilding the state.";
  static constexpr bool exports_buffer = false;
  static NativeTableau make(int64_t n) { return new_native_tableau(n); }
  static std::string repr(const NativeTableau& t) {
    return "NativeTableau(num_qubits: " + std::to_string(t.num_qubits) + ")";
  }
  static std::vector<PyMethodDef> methods() {
    using T = NativeTableau;
    static constexpr auto reset_fn = pick<void, T&>(&reset);
    static constexpr auto apply_fn = pick<void, T&, int64_t, int64_t, int64_t>(&apply);
    static constexpr auto measure_fn = pick<int64_t, T&, int64_t, double>(&measure);
    static constexpr auto state_vector_fn = pick<F64Array, T&>(&state_vector);
    static constexpr auto tableau_fn = pick<I64Array, T&>(&stabilizer_tableau);
    return {
        method_def<"reset() -> None", reset_fn>("reset returns the tableau to `|0...0>`."),
        method_def<"apply(code: int, a: int, b: int) -> None", apply_fn>(
            "apply runs one instruction (see the `instr_*` codes) in place."),
        method_def<"measure(a: int, u: float) -> int", measure_fn>(
            "measure measures qubit `a` with a random outcome drawn from `u` in [0, 1)."),
        method_def<"state_vector() -> Sequence[float]", state_vector_fn>(
            "state_vector reconstructs the state, up to a global phase."),
        method_def<"stabilizer_tableau() -> Sequence[int]", tableau_fn>(
            "stabilizer_tableau returns the flattened tableau, for inspection."),
    };
  }
};

template <>
struct ClassTraits<NativeDensity> {
  static constexpr const char* short_name = "NativeDensity";
  static constexpr const char* qualified_name = "orvane_native.NativeDensity";
  static constexpr const char* doc =
      "NativeDensity is the density matrix of a circuit, as a flat interleaved\n"
      "complex buffer of `dim` by `dim` entries.";
  static constexpr bool exports_buffer = true;
  static NativeDensity make(int64_t n) { return new_native_density(n); }
  static std::string repr(const NativeDensity& d) {
    return "NativeDensity(rho: buffer(" + std::to_string(d.rho.size()) + "), num_qubits: " +
           std::to_string(d.num_qubits) + ")";
  }
  static const Field<double>& field(const NativeDensity& d) { return d.rho; }
  static std::vector<PyMethodDef> methods() {
    using D = NativeDensity;
    static constexpr auto set_fn = pick<void, D&, F64Span>(&set_from_amplitudes);
    static constexpr auto channel_fn = pick<void, D&, F64Span, int64_t, I64Span>(&apply_channel);
    static constexpr auto reset_fn = pick<void, D&>(&reset);
    static constexpr auto zero_fn = pick<void, D&>(&set_zero_state);
    static constexpr auto matrix_fn = pick<F64Array, D&>(&density_matrix);
    static constexpr auto probs_fn = pick<F64Array, D&, I64Span>(&probabilities);
    static constexpr auto measure_fn = pick<int64_t, D&, I64Span, double>(&measure);
    return {
        method_def<"set_from_amplitudes(values: Sequence[float]) -> None", set_fn>(
            "set_from_amplitudes sets the density matrix to `|psi><psi|` of `values`."),
        method_def<"apply_channel(operators: Sequence[float], num_operators: int, targets: Sequence[int]) -> None",
                   channel_fn>("apply_channel applies the Kraus operators in `operators` (concatenated) to\n"
                               "`targets`: `rho -> sum_i K_i rho K_i^dagger`."),
        method_def<"reset() -> None", reset_fn>(
            "reset sets the density matrix to `|0...0><0...0|` without a Python list."),
        method_def<"set_zero_state() -> None", zero_fn>(
            "set_zero_state sets a freshly created (zeroed) density matrix to `|0><0|`."),
        method_def<"density_matrix() -> Sequence[float]", matrix_fn>(
            "density_matrix returns the density matrix as an interleaved complex buffer."),
        method_def<"probabilities(targets: Sequence[int]) -> Sequence[float]", probs_fn>(
            "probabilities returns the probability of each outcome of measuring `targets`."),
        method_def<"measure(targets: Sequence[int], u: float) -> int", measure_fn>(
            "measure samples `targets` with a uniform draw `u` in [0, 1), collapses the\nstate and returns the "
            "outcome."),
    };
  }
};

template <>
struct ClassTraits<NativeState> {
  static constexpr const char* short_name = "NativeState";
  static constexpr const char* qualified_name = "orvane_native.NativeState";
  static constexpr const char* doc =
      "NativeState is the state vector of a circuit, as a flat interleaved complex\n"
      "buffer (`[re0, im0, re1, im1, ...]`).";
  static constexpr bool exports_buffer = true;
  static NativeState make(int64_t n) { return new_native_state(n); }
  static std::string repr(const NativeState& s) {
    return "NativeState(state: buffer(" + std::to_string(s.state.size()) + "), num_qubits: " +
           std::to_string(s.num_qubits) + ")";
  }
  static const Field<double>& field(const NativeState& s) { return s.state; }
  static std::vector<PyMethodDef> methods() {
    using S = NativeState;
    static constexpr auto set_fn = pick<void, S&, F64Span>(&state_methods::set_amplitudes);
    static constexpr auto gate_fn = pick<void, S&, F64Span, I64Span>(&state_methods::apply_gate);
    static constexpr auto reset_fn = pick<void, S&>(&state_methods::reset);
    static constexpr auto zero_fn = pick<void, S&>(&state_methods::set_zero_state);
    static constexpr auto amplitudes_fn = pick<F64Array, S&>(&state_methods::amplitudes);
    static constexpr auto probs_fn = pick<F64Array, S&, I64Span>(&state_methods::probabilities);
    static constexpr auto measure_fn = pick<int64_t, S&, I64Span, double>(&state_methods::measure);
    return {
        method_def<"set_amplitudes(values: Sequence[float]) -> None", set_fn>(
            "set_amplitudes overwrites the state with `values` (interleaved complex)."),
        method_def<"apply_gate(gate: Sequence[float], targets: Sequence[int]) -> None", gate_fn>(
            "apply_gate applies a gate matrix to `targets`, in place."),
        method_def<"reset() -> None", reset_fn>("reset sets the state to `|0...0>` without building a Python list."),
        method_def<"set_zero_state() -> None", zero_fn>(
            "set_zero_state sets a freshly created (zeroed) state to `|0...0>`."),
        method_def<"amplitudes() -> Sequence[float]", amplitudes_fn>(
            "amplitudes returns the state as an interleaved complex buffer."),
        method_def<"probabilities(targets: Sequence[int]) -> Sequence[float]", probs_fn>(
            "probabilities returns the probability of each outcome of measuring `targets`."),
        method_def<"measure(targets: Sequence[int], u: float) -> int", measure_fn>(
            "measure samples `targets` with a uniform draw `u` in [0, 1), collapses the\nstate and returns the "
            "outcome."),
    };
  }
};

}  // namespace orvane::py
