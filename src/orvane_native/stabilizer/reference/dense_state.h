// A small dense state-vector simulator of the instruction table's gates, the
// independent model the stabilizer tests check tableaux, measurements and
// state vectors against; part of the test support library, not of the
// module. Qubit q is bit n-1-q of the basis index. Exponential in memory;
// only for small n.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace orvane {

struct DenseState {
  using cd = std::complex<double>;

  int64_t n;
  std::vector<cd> amp;

  // |0...0> on `qubits` qubits.
  explicit DenseState(int64_t qubits);

  uint64_t bit(int64_t q) const { return uint64_t{1} << (n - 1 - q); }

  // The 2 x 2 matrix [[m00, m01], [m10, m11]] on qubit q.
  void one_qubit(int64_t q, cd m00, cd m01, cd m10, cd m11);
  // Gates of the instruction table; measurement and unknown codes do nothing.
  void gate(int64_t code, int64_t a, int64_t b);
  // The probability of outcome 1 on qubit q.
  double prob_one(int64_t q) const;
  // Projects qubit q on `outcome` and renormalises.
  void collapse(int64_t q, int64_t outcome);
  // (-1)^sign P applied to the state, P given by per-qubit (x, z) bits.
  std::vector<cd> pauli(const std::vector<int64_t>& xs, const std::vector<int64_t>& zs, int64_t sign) const;
};

}  // namespace orvane
