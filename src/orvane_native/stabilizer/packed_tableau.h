// The bit-packed tableau behind clifford_run, clifford_tableau and
// NativeTableau: the rows, signs and scratch row of the unpacked layout
// (one int64 per bit), stored by qubit so that a gate is a few word
// operations per column.
//
// For qubit j, x_j is a bitset over the 2n rows (the first W words hold
// destabilizers 0..n-1, the next W words stabilizers 0..n-1, W =
// ceil(n/64)); z_j likewise, stored right after x_j so that a gate reads
// one contiguous block per qubit; r is one such bitset of signs. The scratch
// row is kept apart, as W words of X bits by qubit, W words of Z bits and one
// sign word. A measurement carries out its row products for all affected
// rows at once, with the phase sums kept mod 4 in two bit planes.
//
// Every update gives exactly the rows that the plain per-entry formulas give
// (signs and scratch row included), which the unit tests check against the
// unpacked reference Tableau. A PackedTableau either owns its storage or
// views storage owned elsewhere (the persistent NativeTableau). Operands are
// not checked: callers validate them first.
#pragma once

#include <cstdint>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

class PackedTableau {
 public:
  // Words of each part for n qubits; a count that does not fit in 64 bits
  // is the allocation failure. n >= 0.
  static int64_t half_words(int64_t n) { return n / 64 + (n % 64 != 0); }
  static int64_t bits_words(int64_t n);  // n blocks of x_j then z_j, 2W words each
  static int64_t sign_words(int64_t n) { return 2 * half_words(n); }
  static int64_t scratch_words(int64_t n) { return 2 * half_words(n) + 1; }
  static int64_t work_words(int64_t n) { return 6 * half_words(n); }

  // |0...0> on num_qubits >= 0 qubits, owning its storage.
  explicit PackedTableau(int64_t num_qubits);
  // A view of storage owned elsewhere, sized as above; the content is taken
  // as it is (call reset() for |0...0>).
  static PackedTableau view(int64_t num_qubits, uint64_t* bits, uint64_t* r, uint64_t* scratch, uint64_t* work);

  PackedTableau(PackedTableau&&) = default;
  PackedTableau& operator=(PackedTableau&&) = default;

  int64_t num_qubits() const { return n_; }
  int64_t words() const { return words_; }
  int64_t stride() const { return stride_; }
  const uint64_t* xcol(int64_t j) const { return bits_ + 2 * j * stride_; }
  const uint64_t* zcol(int64_t j) const { return bits_ + (2 * j + 1) * stride_; }
  const uint64_t* signs() const { return r_; }

  // Every row back to |0...0>, scratch row cleared.
  void reset();
  // One instruction; measurement and unknown codes do nothing.
  void apply(int64_t code, int64_t a, int64_t b);
  // Z-basis measurement of qubit a; a random outcome is 0 when u < 0.5 and
  // 1 otherwise (NaN included).
  int64_t measure(int64_t a, double u);

  // The parts of a measurement, for callers that follow its effect on the
  // signs. random_pivot: the first stabilizer f with an X bit on qubit a,
  // or -1 when the outcome is determined.
  int64_t random_pivot(int64_t a) const;
  // The random branch with pivot f; afterwards rows_touched(), phase_lo()
  // and phase_hi() (2W words each) describe the row products it made: row h
  // in rows_touched() took the sign lo_h | (hi_h ^ r_h ^ r_p) from its old
  // sign r_h and the old sign r_p of stabilizer f.
  int64_t measure_random(int64_t a, int64_t f, double u);
  const uint64_t* rows_touched() const { return work_; }
  const uint64_t* phase_lo() const { return work_ + stride_; }
  const uint64_t* phase_hi() const { return work_ + 2 * stride_; }
  // The determined branch. Its outcome is 1 when e + 2 * |signs of the
  // chosen stabilizers set| is not 0 mod 4, with e = determined_phase(a) and
  // the chosen stabilizers those whose destabilizer partners have an X bit on
  // qubit a (xcol(a), first W words). Writes the scratch row.
  int64_t measure_determined(int64_t a);
  int64_t determined_phase(int64_t a) const;

  // The flattened tableau: 2n+1 rows (destabilizers, stabilizers, scratch)
  // of width 2n+1 (x bits, z bits, sign).
  I64Array to_flat() const;
  // An array of (2n+1)^2 zeros (allocation failure when that cannot be
  // held), and the flattened tableau written into one.
  static I64Array flat_array(int64_t num_qubits);
  void write_flat(int64_t* out) const;

 private:
  PackedTableau() = default;
  uint64_t* xcol(int64_t j) { return bits_ + 2 * j * stride_; }
  uint64_t* zcol(int64_t j) { return bits_ + (2 * j + 1) * stride_; }
  int64_t determined(int64_t a, bool write_scratch);
  void init(int64_t num_qubits, uint64_t* bits, uint64_t* r, uint64_t* scratch, uint64_t* work);

  int64_t n_ = 0;
  int64_t words_ = 0;   // W: words per half
  int64_t stride_ = 0;  // 2W: words per column
  std::vector<uint64_t> own_;
  uint64_t* bits_ = nullptr;  // x_0, z_0, x_1, z_1, ...
  uint64_t* r_ = nullptr;
  uint64_t* scratch_ = nullptr;  // 2W + 1 words
  uint64_t* work_ = nullptr;     // 3 * 2W words
};

}  // namespace orvane
