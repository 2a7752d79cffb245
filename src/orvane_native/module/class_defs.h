// What each Python class is made of: its names, docstring, constructor,
// representation and exported field (ClassTraits), and its method table,
// built from the ORVANE_METHOD rows of surface.def. classes.cc turns these
// into heap types.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "orvane_native/density/native_density.h"
#include "orvane_native/module/binding.h"
#include "orvane_native/stabilizer/native_tableau.h"
#include "orvane_native/statevector/native_state.h"

namespace orvane::py {

template <class Record>
struct ClassTraits;

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
};

// The methods of one class, in the order of its rows in surface.def. Each
// row's core function is the overload that takes the record and then the
// kinds of the row's signature, so a row that matches no core function does
// not compile.
template <class Record>
std::vector<PyMethodDef> method_table() {
  std::vector<PyMethodDef> table;
#define ORVANE_FUNCTION(signature, fn, summary)
#define ORVANE_NOARGS_FUNCTION(signature, summary)
#define ORVANE_CLASS(Class, buffer, summary, constructor_summary)                                     \
  static_assert(std::string_view(ClassTraits<Class>::short_name) == #Class, "class name differs"); \
  static_assert(ClassTraits<Class>::exports_buffer == (buffer), "buffer export differs");
#define ORVANE_METHOD(Class, signature, fn, doc, summary) \
  if constexpr (std::is_same_v<Record, Class>)           \
    table.push_back(method_def<signature, static_cast<core_pointer_t<signature, Class>>(&fn), doc>());
#include "orvane_native/module/surface.def"
#undef ORVANE_FUNCTION
#undef ORVANE_NOARGS_FUNCTION
#undef ORVANE_CLASS
#undef ORVANE_METHOD
  return table;
}

}  // namespace orvane::py
