#include "orvane_native/stabilizer/native_tableau.h"

#include <string>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/state_vector.h"
#include "orvane_native/support/panic.h"

namespace orvane {

NativeTableau new_native_tableau(int64_t n) {
  if (n < 0) panic("num_qubits must not be negative: " + std::to_string(n));
  const int64_t bits = tableau_bits_len(n);
  NativeTableau t;
  t.x = Field<int64_t>(bits);
  t.z = Field<int64_t>(bits);
  t.r = Field<int64_t>(2 * n + 1);
  t.num_qubits = n;
  reset(t);
  return t;
}

Tableau view(NativeTableau& t) {
  // The fields were sized for (len(r) - 1) / 2 qubits at construction.
  const int64_t made_for = (t.r.size() - 1) / 2;
  if (t.num_qubits != made_for) {
    panic("num_qubits " + std::to_string(t.num_qubits) + " does not match the tableau's " +
          std::to_string(made_for) + " qubits");
  }
  return Tableau::view(t.num_qubits, t.x.mut(), t.z.mut(), t.r.mut());
}

void reset(NativeTableau& t) { view(t).reset(); }

void apply(NativeTableau& t, int64_t code, int64_t a, int64_t b) {
  Tableau v = view(t);
  const std::string problem = operand_problem(code, a, b, t.num_qubits);
  if (!problem.empty()) panic(problem);
  v.apply(code, a, b);
}

int64_t measure(NativeTableau& t, int64_t a, double u) { return view(t).measure(a, u); }

F64Array state_vector(NativeTableau& t) {
  const I64Array flat = view(t).to_flat();
  return clifford_state_vector(flat, t.num_qubits);
}

I64Array stabilizer_tableau(NativeTableau& t) { return view(t).to_flat(); }

}  // namespace orvane
