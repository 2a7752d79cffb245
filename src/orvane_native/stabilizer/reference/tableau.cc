#include "orvane_native/stabilizer/reference/tableau.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "orvane_native/support/panic.h"

namespace orvane {

Tableau Tableau::zero_state(int64_t num_qubits) {
  const int64_t len = tableau_bits_len(num_qubits);
  Tableau t;
  t.n_ = num_qubits;
  t.own_x_ = I64Array(len);
  t.own_z_ = I64Array(len);
  t.own_r_ = I64Array(2 * num_qubits + 1);
  t.x_ = t.own_x_.mut();
  t.z_ = t.own_z_.mut();
  t.r_ = t.own_r_.mut();
  t.reset();
  return t;
}

void Tableau::reset() {
  std::fill(x_.begin(), x_.end(), 0);
  std::fill(z_.begin(), z_.end(), 0);
  std::fill(r_.begin(), r_.end(), 0);
  const int64_t n = n_;
  for (int64_t k = 0; k < n; ++k) {
    x_[k * (n + 1)] = 1;
    z_[n * n + k * (n + 1)] = 1;
  }
}

Tableau Tableau::view(int64_t num_qubits, Span<int64_t> x, Span<int64_t> z, Span<int64_t> r) {
  if (num_qubits < 0) panic("tableau with negative num_qubits: " + std::to_string(num_qubits));
  const int64_t len = tableau_bits_len(num_qubits);
  if (x.size() != len || z.size() != len || r.size() != 2 * num_qubits + 1) {
    panic("tableau arrays (x " + std::to_string(x.size()) + ", z " + std::to_string(z.size()) +
          ", r " + std::to_string(r.size()) + " entries) do not fit num_qubits " +
          std::to_string(num_qubits));
  }
  Tableau t;
  t.n_ = num_qubits;
  t.x_ = x;
  t.z_ = z;
  t.r_ = r;
  return t;
}

void Tableau::check_qubit(int64_t a) const {
  if (a < 0 || a >= n_) {
    panic("qubit operand out of range: " + std::to_string(a) + " (num_qubits " + std::to_string(n_) +
          ")");
  }
}

void Tableau::check_pair(int64_t a, int64_t b) const {
  check_qubit(a);
  check_qubit(b);
  if (a == b) panic("two-qubit gate on one qubit: " + std::to_string(a));
}

// ---- kernels: one pass over rows 0..2n-1, the scratch row untouched -------

void Tableau::hadamard_rows(int64_t a) {
  const int64_t n = n_;
  for (int64_t i = 0; i < 2 * n; ++i) {
    int64_t& xa = x_[i * n + a];
    int64_t& za = z_[i * n + a];
    r_[i] ^= xa * za;
    std::swap(xa, za);
  }
}

void Tableau::phase_rows(int64_t a) {
  const int64_t n = n_;
  for (int64_t i = 0; i < 2 * n; ++i) {
    const int64_t xa = x_[i * n + a];
    int64_t& za = z_[i * n + a];
    r_[i] ^= xa * za;
    za ^= xa;
  }
}

void Tableau::pauli_x_rows(int64_t a) {
  const int64_t n = n_;
  for (int64_t i = 0; i < 2 * n; ++i) r_[i] ^= z_[i * n + a];
}

void Tableau::pauli_z_rows(int64_t a) {
  const int64_t n = n_;
  for (int64_t i = 0; i < 2 * n; ++i) r_[i] ^= x_[i * n + a];
}

void Tableau::cnot_rows(int64_t a, int64_t b) {
  const int64_t n = n_;
  for (int64_t i = 0; i < 2 * n; ++i) {
    int64_t& xa = x_[i * n + a];
    int64_t& za = z_[i * n + a];
    int64_t& xb = x_[i * n + b];
    int64_t& zb = z_[i * n + b];
    r_[i] ^= xa * zb * (xb ^ za ^ 1);
    xb ^= xa;
    za ^= zb;
  }
}

// ---- gates ------------------------------------------------------------------

void Tableau::hadamard(int64_t a) {
  check_qubit(a);
  hadamard_rows(a);
}

void Tableau::phase(int64_t a) {
  check_qubit(a);
  phase_rows(a);
}

void Tableau::pauli_x(int64_t a) {
  check_qubit(a);
  pauli_x_rows(a);
}

void Tableau::pauli_z(int64_t a) {
  check_qubit(a);
  pauli_z_rows(a);
}

void Tableau::pauli_y(int64_t a) {
  check_qubit(a);
  pauli_x_rows(a);
  pauli_z_rows(a);
}

void Tableau::cnot(int64_t a, int64_t b) {
  check_pair(a, b);
  cnot_rows(a, b);
}

void Tableau::cz(int64_t a, int64_t b) {
  check_pair(a, b);
  hadamard_rows(b);
  cnot_rows(a, b);
  hadamard_rows(b);
}

void Tableau::swap(int64_t a, int64_t b) {
  check_pair(a, b);
  cnot_rows(a, b);
  cnot_rows(b, a);
  cnot_rows(a, b);
}

// ---- row product ------------------------------------------------------------

int64_t g(int64_t x1, int64_t z1, int64_t x2, int64_t z2) {
  if ((x1 | z1) == 0) return 0;
  if (x1 == 1 && z1 == 1) return z2 - x2;
  if (x1 == 1 && z1 == 0) return z2 * (2 * x2 - 1);
  return x2 - 2 * x2 * z2;
}

void Tableau::rowsum_rows(int64_t h, int64_t i) {
  const int64_t n = n_;
  int64_t sum = 2 * r_[h] + 2 * r_[i];
  for (int64_t j = 0; j < n; ++j) sum += g(x_[i * n + j], z_[i * n + j], x_[h * n + j], z_[h * n + j]);
  r_[h] = (sum & 3) == 0 ? 0 : 1;
  for (int64_t j = 0; j < n; ++j) {
    x_[h * n + j] ^= x_[i * n + j];
    z_[h * n + j] ^= z_[i * n + j];
  }
}

void Tableau::rowsum(int64_t h, int64_t i) {
  // Row operands are checked against the sign array, as every row has one.
  if (h < 0 || h >= r_.size()) panic_bounds_get(h, r_.size());
  if (i < 0 || i >= r_.size()) panic_bounds_get(i, r_.size());
  rowsum_rows(h, i);
}

}  // namespace orvane
