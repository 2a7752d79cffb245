// Helpers shared by the stabilizer unit tests: random instruction streams
// over the whole instruction table and a small dense state-vector simulator
// to check tableaux against.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/measurement_record.h"
#include "orvane_native/stabilizer/reference/tableau.h"
#include "orvane_native/support/array.h"
#include "orvane_native/support/testing.h"

namespace orvane::testing {


inline std::vector<int64_t> ints(const I64Array& a) { return {a.begin(), a.end()}; }
inline std::vector<int64_t> ints(const BitArray& a) { return {a.begin(), a.end()}; }
inline std::vector<int64_t> ints(const MeasurementRecord& r) { return r.wide ? ints(r.integers) : ints(r.bits); }
inline std::vector<double> floats(const F64Array& a) { return {a.begin(), a.end()}; }

// The gate codes of the instruction table, in code order: all of them, or
// only those on one qubit.
inline std::vector<int64_t> gate_codes(bool one_qubit_only) {
  std::vector<int64_t> codes;
  for (const InstrInfo& info : kInstructions)
    if (!info.measurement && !(one_qubit_only && info.uses_b)) codes.push_back(info.code);
  return codes;
}

// A random stream of every gate of the table on n >= 1 qubits; with
// `measure_every` > 0, roughly one triple in measure_every is a measurement.
inline std::vector<int64_t> random_stream(std::mt19937_64& rng, int64_t n, int gates,
                                          int measure_every = 0) {
  static const std::vector<int64_t> all = gate_codes(false);
  static const std::vector<int64_t> one_qubit = gate_codes(true);
  std::vector<int64_t> s;
  std::uniform_int_distribution<int64_t> qubit(0, n - 1);
  for (int i = 0; i < gates; ++i) {
    int64_t code = all[rng() % all.size()];
    if (n == 1 && instr_info(code)->uses_b) code = one_qubit[rng() % one_qubit.size()];
    if (measure_every > 0 && rng() % measure_every == 0) code = instr_measure;
    const int64_t a = qubit(rng);
    int64_t b = qubit(rng);
    if (instr_info(code)->uses_b)
      while (b == a) b = qubit(rng);
    s.insert(s.end(), {code, a, b});
  }
  return s;
}

// Dense state vector, qubit q at bit n-1-q of the basis index.
struct DenseState {
  int64_t n;
  std::vector<cd> amp;

  explicit DenseState(int64_t qubits) : n(qubits), amp(size_t{1} << qubits) { amp[0] = 1.0; }

  uint64_t bit(int64_t q) const { return uint64_t{1} << (n - 1 - q); }

  void one_qubit(int64_t q, cd m00, cd m01, cd m10, cd m11) {
    for (uint64_t i = 0; i < amp.size(); ++i) {
      if (i & bit(q)) continue;
      const cd a0 = amp[i], a1 = amp[i | bit(q)];
      amp[i] = m00 * a0 + m01 * a1;
      amp[i | bit(q)] = m10 * a0 + m11 * a1;
    }
  }

  // Gates of the instruction table; measurement and unknown codes do
  // nothing.
  void gate(int64_t code, int64_t a, int64_t b) {
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

  double prob_one(int64_t q) const {
    double p = 0;
    for (uint64_t k = 0; k < amp.size(); ++k)
      if (k & bit(q)) p += std::norm(amp[k]);
    return p;
  }

  void collapse(int64_t q, int64_t outcome) {
    double norm = 0;
    for (uint64_t k = 0; k < amp.size(); ++k) {
      if (((k & bit(q)) != 0) != (outcome == 1)) amp[k] = 0;
      norm += std::norm(amp[k]);
    }
    for (cd& v : amp) v /= std::sqrt(norm);
  }

  // (-1)^sign P applied to the state, P given by per-qubit (x, z) bits.
  std::vector<cd> pauli(const std::vector<int64_t>& xs, const std::vector<int64_t>& zs,
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
};

// Row k of a Tableau as per-qubit bit vectors.
inline std::vector<int64_t> row_x(const Tableau& t, int64_t k) {
  const int64_t n = t.num_qubits();
  return {t.x().begin() + k * n, t.x().begin() + (k + 1) * n};
}
inline std::vector<int64_t> row_z(const Tableau& t, int64_t k) {
  const int64_t n = t.num_qubits();
  return {t.z().begin() + k * n, t.z().begin() + (k + 1) * n};
}

// Every stabilizer row of `t` fixes `psi`.
inline void expect_stabilizes(const Tableau& t, const DenseState& psi) {
  const int64_t n = t.num_qubits();
  for (int64_t f = 0; f < n; ++f) {
    const std::vector<cd> out = psi.pauli(row_x(t, n + f), row_z(t, n + f), t.r()[n + f]);
    for (size_t k = 0; k < out.size(); ++k) {
      ASSERT_NEAR(out[k].real(), psi.amp[k].real(), 1e-12) << "stabilizer " << f << " entry " << k;
      ASSERT_NEAR(out[k].imag(), psi.amp[k].imag(), 1e-12) << "stabilizer " << f << " entry " << k;
    }
  }
}

// Symplectic product of rows i and j (0: commute, 1: anticommute).
inline int64_t symplectic(const Tableau& t, int64_t i, int64_t j) {
  const int64_t n = t.num_qubits();
  int64_t s = 0;
  for (int64_t q = 0; q < n; ++q) s ^= (t.x()[i * n + q] & t.z()[j * n + q]) ^ (t.z()[i * n + q] & t.x()[j * n + q]);
  return s;
}

// Destabilizer i anticommutes with stabilizer i only; all stabilizers
// commute, and so do all destabilizers.
inline void expect_symplectic_pairs(const Tableau& t) {
  const int64_t n = t.num_qubits();
  for (int64_t i = 0; i < 2 * n; ++i)
    for (int64_t j = 0; j < 2 * n; ++j)
      ASSERT_EQ(symplectic(t, i, j), (i % n == j % n && i != j) ? 1 : 0) << i << ", " << j;
}

}  // namespace orvane::testing
