// Helpers shared by the stabilizer unit tests: random instruction streams
// over the whole instruction table and the checks of a tableau against the
// dense state-vector simulator (reference/dense_state.h).
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
#include "orvane_native/stabilizer/reference/dense_state.h"
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
