#include "orvane_native/stabilizer/native_tableau.h"

#include <string>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/state_vector.h"
#include "orvane_native/stabilizer/tableau_size.h"
#include "orvane_native/support/panic.h"

namespace orvane {

NativeTableau new_native_tableau(int64_t n) {
  if (n < 0) panic("num_qubits must not be negative: " + std::to_string(n));
  // The unpacked layout's size limits still apply: n*(2n+1) entries whose
  // byte count cannot be represented are the allocation failure.
  require_unpacked_size(n);
  NativeTableau t;
  t.bits = Field<uint64_t>(PackedTableau::bits_words(n));
  t.r = Field<uint64_t>(PackedTableau::sign_words(n));
  t.scratch = Field<uint64_t>(PackedTableau::scratch_words(n));
  t.work = Field<uint64_t>(PackedTableau::work_words(n));
  t.num_qubits = n;
  t.made_for = n;
  reset(t);
  return t;
}

PackedTableau view(NativeTableau& t) {
  if (t.made_for < 0 || t.scratch.empty()) {
    panic("num_qubits " + std::to_string(t.num_qubits) + " does not match the tableau: it has no storage");
  }
  if (t.num_qubits != t.made_for) {
    panic("num_qubits " + std::to_string(t.num_qubits) + " does not match the tableau's " +
          std::to_string(t.made_for) + " qubits");
  }
  return PackedTableau::view(t.made_for, t.bits.data(), t.r.data(), t.scratch.data(), t.work.data());
}

void reset(NativeTableau& t) { view(t).reset(); }

void apply(NativeTableau& t, int64_t code, int64_t a, int64_t b) {
  PackedTableau v = view(t);
  if (!operands_fit(code, a, b, t.num_qubits)) panic(operand_problem(code, a, b, t.num_qubits));
  v.apply(code, a, b);
}

int64_t measure(NativeTableau& t, int64_t a, double u) {
  PackedTableau v = view(t);
  if (a < 0 || a >= t.num_qubits) {
    panic("qubit operand out of range: " + std::to_string(a) + " (num_qubits " + std::to_string(t.num_qubits) +
          ")");
  }
  return v.measure(a, u);
}

F64Array state_vector(NativeTableau& t) {
  const I64Array flat = view(t).to_flat();
  return clifford_state_vector(flat, t.num_qubits);
}

I64Array stabilizer_tableau(NativeTableau& t) { return view(t).to_flat(); }

}  // namespace orvane
