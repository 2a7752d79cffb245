// One instruction at a time on the reference Tableau, and its flattened
// form.
#include "orvane_native/stabilizer/reference/tableau.h"

#include <new>

namespace orvane {

void Tableau::apply(int64_t code, int64_t a, int64_t b) {
  if (!is_gate(code)) return;  // measurement is the sampler's business; unknown codes do nothing
  switch (static_cast<Instr>(code)) {
    case instr_h:
      hadamard(a);
      break;
    case instr_s:
      phase(a);
      break;
    case instr_sdg:
      check_qubit(a);
      phase_rows(a);
      phase_rows(a);
      phase_rows(a);
      break;
    case instr_x:
      pauli_x(a);
      break;
    case instr_y:
      pauli_y(a);
      break;
    case instr_z:
      pauli_z(a);
      break;
    case instr_cnot:
      cnot(a, b);
      break;
    case instr_cz:
      cz(a, b);
      break;
    case instr_swap:
      swap(a, b);
      break;
    case instr_measure:
      break;
  }
}

I64Array Tableau::to_flat() const {
  const int64_t n = n_;
  const int64_t w = 2 * n + 1;
  int64_t len = 0;
  if (__builtin_mul_overflow(w, w, &len)) throw std::bad_alloc();
  I64Array out(len);
  for (int64_t k = 0; k < w; ++k) {
    int64_t* row = out.data() + k * w;
    for (int64_t j = 0; j < n; ++j) {
      row[j] = x_[k * n + j];
      row[n + j] = z_[k * n + j];
    }
    row[2 * n] = r_[k];
  }
  return out;
}

}  // namespace orvane
