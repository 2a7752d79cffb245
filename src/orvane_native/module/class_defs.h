// What each Python class is made of: its names, docstring, constructor,
// method table and exported field. classes.cc turns these into heap types.
#pragma once

#include <string_view>
#include <vector>

#include "orvane_native/module/binding.h"
#include "orvane_native/statevector/native_state.h"

namespace orvane::py {

template <class Record>
struct ClassTraits;

template <>
struct ClassTraits<NativeState> {
  static constexpr const char* short_name = "NativeState";
  static constexpr const char* qualified_name = "orvane_native.NativeState";
  static constexpr const char* doc =
      "NativeState is the state vector of a circuit, as a flat interleaved complex\n"
      "buffer (`[re0, im0, re1, im1, ...]`).";
  static constexpr bool exports_buffer = true;
  static NativeState make(int64_t n) { return new_native_state(n); }
  static const Field<double>& field(const NativeState& s) { return s.state; }
  static std::vector<PyMethodDef> methods() {
    using namespace state_methods;
    return {
        method_def<"set_amplitudes(values: Sequence[float]) -> None", &set_amplitudes>(
            "set_amplitudes overwrites the state with `values` (interleaved complex)."),
        method_def<"apply_gate(gate: Sequence[float], targets: Sequence[int]) -> None", &apply_gate>(
            "apply_gate applies a gate matrix to `targets`, in place."),
        method_def<"reset() -> None", &reset>("reset sets the state to `|0...0>` without building a Python list."),
        method_def<"set_zero_state() -> None", &set_zero_state>(
            "set_zero_state sets a freshly created (zeroed) state to `|0...0>`."),
        method_def<"amplitudes() -> Sequence[float]", &amplitudes>(
            "amplitudes returns the state as an interleaved complex buffer."),
        method_def<"probabilities(targets: Sequence[int]) -> Sequence[float]", &probabilities>(
            "probabilities returns the probability of each outcome of measuring `targets`."),
        method_def<"measure(targets: Sequence[int], u: float) -> int", &measure>(
            "measure samples `targets` with a uniform draw `u` in [0, 1), collapses the\nstate and returns the "
            "outcome."),
    };
  }
};

}  // namespace orvane::py
