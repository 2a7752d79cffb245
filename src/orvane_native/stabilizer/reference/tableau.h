// The unpacked stabilizer tableau of an n-qubit state (Aaronson-Gottesman
// form), the reference that the bit-packed PackedTableau, clifford_run,
// clifford_tableau and NativeTableau are tested against; part of the test
// support library, not of the module. Rows 0..n-1 are the destabilizers,
// rows n..2n-1 the stabilizers (row n+i is the partner of destabilizer i),
// row 2n a scratch row used by deterministic measurement. Row i is
// (-1)^r[i] times the product over qubits j of P(x[i*n+j], z[i*n+j]), with
// P(1,0) = X, P(0,1) = Z, P(1,1) = Y. Every bit is a whole int64 holding 0
// or 1, and every update is the plain per-entry formula.
//
// A Tableau either owns its three arrays or views three arrays owned by the
// caller; in both cases the array lengths match num_qubits, which the
// constructors check once, so the gate kernels index without per-element
// checks. Qubit operands are checked by every operation before anything is
// written.
#pragma once

#include <cstdint>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/tableau_size.h"
#include "orvane_native/support/array.h"

namespace orvane {

class Tableau {
 public:
  // The tableau of |0...0> on n qubits, owning its arrays. Negative n fails
  // with "negative .len:" + (2n+1) (the sign array's length); sizes that
  // cannot be allocated are the allocation failure.
  static Tableau zero_state(int64_t num_qubits);
  // A view of arrays owned elsewhere; fails unless x and z hold n*(2n+1)
  // entries and r holds 2n+1.
  static Tableau view(int64_t num_qubits, Span<int64_t> x, Span<int64_t> z, Span<int64_t> r);

  int64_t num_qubits() const { return n_; }
  Span<const int64_t> x() const { return x_; }
  Span<const int64_t> z() const { return z_; }
  Span<const int64_t> r() const { return r_; }

  // Clifford gates. Qubit operands must satisfy 0 <= a < num_qubits, and the
  // two qubits of a two-qubit gate must differ.
  void hadamard(int64_t a);
  void phase(int64_t a);  // S = diag(1, i)
  void pauli_x(int64_t a);
  void pauli_y(int64_t a);
  void pauli_z(int64_t a);
  void cnot(int64_t a, int64_t b);  // control a, target b
  void cz(int64_t a, int64_t b);
  void swap(int64_t a, int64_t b);

  // Row h becomes row i times row h; rows index 0..2n.
  void rowsum(int64_t h, int64_t i);

  // Z-basis measurement of qubit a; a random outcome is 0 when u < 0.5 and
  // 1 otherwise (NaN included). u is unused when the outcome is determined.
  int64_t measure(int64_t a, double u);

  // Returns every row to the tableau of |0...0> (scratch row cleared),
  // in place.
  void reset();

  // Runs one instruction; measurement and unknown codes change nothing.
  void apply(int64_t code, int64_t a, int64_t b);

  // The flattened tableau: 2n+1 rows of width 2n+1 (x bits, z bits, sign),
  // scratch row included.
  I64Array to_flat() const;

 private:
  Tableau() = default;
  void check_qubit(int64_t a) const;
  void check_pair(int64_t a, int64_t b) const;
  // Unchecked kernels; operands already validated.
  void hadamard_rows(int64_t a);
  void phase_rows(int64_t a);
  void pauli_x_rows(int64_t a);
  void pauli_z_rows(int64_t a);
  void cnot_rows(int64_t a, int64_t b);
  void rowsum_rows(int64_t h, int64_t i);

  int64_t n_ = 0;
  I64Array own_x_, own_z_, own_r_;
  Span<int64_t> x_, z_, r_;
};

// new_tableau: the tableau of |0...0> on num_qubits qubits.
inline Tableau new_tableau(int64_t num_qubits) { return Tableau::zero_state(num_qubits); }

// The exponent of i in P(x1, z1) * P(x2, z2).
int64_t g(int64_t x1, int64_t z1, int64_t x2, int64_t z2);

}  // namespace orvane
