// Repeated sampling of a Clifford circuit from one pass over the tableau.
//
// The X and Z bits of the tableau evolve the same way in every repetition;
// only the signs depend on the random outcomes. Every sign update is affine
// over GF(2) in the signs: a gate xors a fixed bit into some rows; a row
// product of a random measurement sets r_h to r_h ^ r_p ^ c_h (c_h bit 1 of
// the phase sum, the same in every repetition) and the measured stabilizer
// takes the outcome as its sign; a determined outcome is a fixed bit xor the
// parity of the signs of some stabilizers. Only stabilizer signs ever reach
// an outcome (a stabilizer's new sign depends on its own and on another
// stabilizer's), so destabilizer signs are not followed at all.
//
// SignProgram records these updates, measurement by measurement, from one
// run of the circuit on a PackedTableau; sampling then replays them on the
// n stabilizer signs of each repetition: O(m n / 64) word operations per
// repetition instead of the whole circuit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

class SignProgram {
 public:
  // The program of a validated instruction stream on num_qubits >= 0 qubits,
  // or nothing (the caller then runs the circuit per repetition) when it
  // would hold more than max_words words, or when a row product would give
  // a sign that is not of the affine form above (an anticommuting pair of
  // rows, which a tableau reached from |0...0> never has).
  static std::optional<SignProgram> compile(I64Span instructions, int64_t num_qubits, int64_t max_words);

  // Upper bound of the words a program of m measurements on n qubits holds.
  static int64_t words_bound(int64_t num_qubits, int64_t measurements);

  int64_t measurements() const { return static_cast<int64_t>(steps_.size()); }

  // Samples `repetitions` records into out (repetitions * m entries, entry
  // rep*m + k), the k-th outcome xored with invert_mask[k] where the mask
  // has such an entry. The draws are those of a wyrand generator in
  // `state`, one per measurement in stream order, random or not, exactly
  // as WyRand::f64 would give them; `state` is left after the last draw.
  // Up to 4 words of signs the replay keeps them in registers; any_width
  // asks for the general replay whatever the size (both give the same).
  void sample(int64_t repetitions, I64Span invert_mask, uint64_t& state, int64_t* out,
              bool any_width = false) const;
  // The same into a record of bytes, for masks whose every entry is 0 or 1
  // (the entries are then 0 or 1 too; only bit 0 of an entry is read).
  void sample(int64_t repetitions, I64Span invert_mask, uint64_t& state, uint8_t* out,
              bool any_width = false) const;

 private:
  // One measurement. Random: the rows that took stabilizer f's sign (E),
  // then E & c xor the gate flips up to the next measurement; stabilizer
  // f's sign then becomes the outcome xor `flip`. Determined: the chosen
  // stabilizers, then the gate flips up to the next measurement.
  struct Step {
    bool random = false;
    int64_t offset = 0;  // into words_
    int64_t word = 0;    // random: stabilizer f's sign bit
    int shift = 0;
    uint64_t flip = 0;
    uint64_t constant = 0;  // determined: the fixed bit
  };

  template <class T>
  void sample_into(int64_t repetitions, I64Span invert_mask, uint64_t& state, T* out, bool any_width) const;
  template <class T>
  void replay_any(int64_t repetitions, const T* mask, uint64_t& state, T* out) const;
  template <int64_t kWords, class T>
  void replay_fixed(int64_t repetitions, const T* mask, uint64_t& state, T* out) const;

  int64_t half_ = 0;  // W: words of stabilizer signs
  // The signs before the first measurement, then each step's words.
  std::vector<uint64_t> words_;
  std::vector<Step> steps_;
};

}  // namespace orvane
