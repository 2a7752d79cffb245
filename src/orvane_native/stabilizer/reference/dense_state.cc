#include "orvane_native/stabilizer/reference/dense_state.h"

#include <cmath>
#include <utility>

#include "orvane_native/stabilizer/instructions.h"

namespace orvane {

DenseState::DenseState(int64_t qubits) : n(qubits), amp(size_t{1} << qubits) { amp[0] = 1.0; }

void DenseState::one_qubit(int64_t q, cd m00, cd m01, cd m10, cd m11) {
  for (uint64_t i = 0; i < amp.size(); ++i) {
    if (i & bit(q)) continue;
    const cd a0 = amp[i], a1 = amp[i | bit(q)];
    amp[i] = m00 * a0 + m01 * a1;
    amp[i | bit(q)] = m10 * a0 + m11 * a1;
  }
}

void DenseState::gate(int64_t code, int64_t a, int64_t b) {
  const double h = 1.0 / std::sqrt(2.0);
  const cd i(0, 1);
  if (!is_gate(code)) return;
  switch (static_cast<Instr>(code)) {
    case instr_h: one_qubit(a, h, h, h, -h); break;
    case instr_s: one_qubit(a, 1, 0, 0, i); break;
    case instr_sdg: one_qubit(a, 1, 0, 0, -i); break;
    case instr_x: one_qubit(a, 0, 1, 1, 0); break;
    case instr_y: one_qubit(a, 0, -i, i, 0); break;
    case instr_z: one_qubit(a, 1, 0, 0, -1); break;
    case instr_cnot:
      for (uint64_t k = 0; k < amp.size(); ++k)
        if ((k & bit(a)) && !(k & bit(b))) std::swap(amp[k], amp[k | bit(b)]);
      break;
    case instr_cz:
      for (uint64_t k = 0; k < amp.size(); ++k)
        if ((k & bit(a)) && (k & bit(b))) amp[k] = -amp[k];
      break;
    case instr_swap:
      for (uint64_t k = 0; k < amp.size(); ++k)
        if ((k & bit(a)) && !(k & bit(b))) std::swap(amp[k], amp[(k ^ bit(a)) | bit(b)]);
      break;
    case instr_measure: break;
  }
}

double DenseState::prob_one(int64_t q) const {
  double p = 0;
  for (uint64_t k = 0; k < amp.size(); ++k)
    if (k & bit(q)) p += std::norm(amp[k]);
  return p;
}

void DenseState::collapse(int64_t q, int64_t outcome) {
  double norm = 0;
  for (uint64_t k = 0; k < amp.size(); ++k) {
    if (((k & bit(q)) != 0) != (outcome == 1)) amp[k] = 0;
    norm += std::norm(amp[k]);
  }
  for (cd& v : amp) v /= std::sqrt(norm);
}

std::vector<DenseState::cd> DenseState::pauli(const std::vector<int64_t>& xs, const std::vector<int64_t>& zs,
                                              int64_t sign) const {
  std::vector<cd> out(amp.size());
  for (uint64_t k = 0; k < amp.size(); ++k) {
    cd v = amp[k];
    uint64_t target = k;
    for (int64_t q = 0; q < n; ++q) {
      const bool one = (k & bit(q)) != 0;
      if (xs[q] && zs[q]) v *= one ? cd(0, -1) : cd(0, 1);  // Y|0> = i|1>, Y|1> = -i|0>
      else if (zs[q] && one) v = -v;
      if (xs[q]) target ^= bit(q);
    }
    out[target] += sign ? -v : v;
  }
  return out;
}

}  // namespace orvane
