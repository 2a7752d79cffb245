// A bit-packed copy of the Tableau algorithms for repeated sampling.
//
// Storage is by qubit: for qubit j, x_j is a bitset over the 2n rows (the
// first W words hold destabilizers 0..n-1, the next W words stabilizers
// 0..n-1, W = ceil(n/64)); z_j likewise, and r is one bitset. A gate is then
// a few word operations per qubit column, and the row products of a
// measurement are carried out for all affected rows at once, with the phase
// sums kept mod 4 in two bit planes.
//
// Every update gives exactly the rows that Tableau gives (signs included)
// for the same operations; the scratch row is not kept, since only the
// outcome of a determined measurement is needed here.
// Operands are not checked: callers validate the instruction stream first.
#pragma once

#include <cstdint>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

class PackedTableau {
 public:
  // |0...0> on num_qubits >= 0 qubits.
  explicit PackedTableau(int64_t num_qubits);

  int64_t num_qubits() const { return n_; }
  void reset();
  // One instruction; measurement and unknown codes do nothing.
  void apply(int64_t code, int64_t a, int64_t b);
  // Z-basis measurement of qubit a, outcome 0 when u < 0.5 if random.
  int64_t measure(int64_t a, double u);
  // The flattened tableau (layout of Tableau::to_flat) with a zero scratch
  // row.
  I64Array to_flat() const;

 private:
  uint64_t* xcol(int64_t j) { return x_.data() + j * stride_; }
  uint64_t* zcol(int64_t j) { return z_.data() + j * stride_; }
  const uint64_t* xcol(int64_t j) const { return x_.data() + j * stride_; }
  const uint64_t* zcol(int64_t j) const { return z_.data() + j * stride_; }
  // Bit position of destabilizer f (stabilizer f: add words_ * 64).
  bool bit(const uint64_t* col, int64_t pos) const { return (col[pos >> 6] >> (pos & 63)) & 1; }
  void put(uint64_t* col, int64_t pos, bool v) {
    const uint64_t m = uint64_t{1} << (pos & 63);
    col[pos >> 6] = v ? col[pos >> 6] | m : col[pos >> 6] & ~m;
  }

  void hadamard(int64_t a);
  void phase(int64_t a);
  void cnot(int64_t a, int64_t b);
  int64_t measure_random(int64_t a, int64_t f, double u);
  int64_t measure_determined(int64_t a);

  int64_t n_;
  int64_t words_;   // W: words per half
  int64_t stride_;  // 2W: words per column
  std::vector<uint64_t> x_, z_, r_;
  std::vector<uint64_t> rows_, lo_, hi_;  // scratch bitsets for measurement
};

}  // namespace orvane
