// Sampling of noisy Clifford circuits from one compiled program.
//
// The X and Z bits of a tableau do not depend on measurement outcomes nor on
// Pauli gates, so every shot of a circuit sees the same random and
// determined measurements and the same stabilizer pivots; only signs differ.
// The record of a shot is then an affine function over GF(2) of its random
// outcomes (the coins) and of the Pauli errors it drew:
//
//   record = reference ^ (xor over coins that are 1 of the coin's pattern)
//                      ^ (xor over drawn errors of the error's pattern)
//
// where reference is the record with every coin 0 and no error, and a
// pattern lists the record entries that one coin or one Pauli flips. The
// patterns come from Pauli frames propagated through the circuit, 64 at a
// time as the bits of a word: gates conjugate a frame; a determined
// measurement flips its entry when the frame has X on the qubit; a random
// one never flips its entry (the coin decides it), and a frame with X on the
// qubit is multiplied by the pivot stabilizer (the frame then describes the
// same state, with the outcome's branch exchanged); a reset clears the qubit
// from the frame. A coin's own pattern is its entry plus the pivot
// stabilizer injected right after the measurement (a flipped coin selects
// the other branch, which is the pivot applied to this one).
#pragma once

#include <cstdint>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

class NoisyProgram {
 public:
  // The program of a validated noisy stream (validate_noisy_stream) on
  // num_qubits >= 0 qubits.
  static NoisyProgram compile(I64Span instructions, int64_t num_qubits, F64Span probabilities);

  int64_t measurements() const { return m_; }  // record entries per shot (codes 9, 11)
  int64_t draws() const { return draws_; }      // measurement draws per shot (codes 9, 10, 11)

  // Writes shots * m entries into out, shot after shot. Draw i of the
  // measurement generator (state measurement_state, i = shot * draws() +
  // ordinal of the triple among codes 9-11) decides a random outcome (1 when
  // its top bit is set, as u >= 0.5 does in clifford_run). Noise location j
  // (ordinal among codes 12-16) draws from its own generator, whose state is
  // output j of a generator in state noise_state: per event, a gap draw v
  // gives u = ((v >> 11) + 1) 2^-53 and the next shot is the previous one
  // (-1 at first) + 1 + floor(ln u * (1 / ln(1 - p))); an event inside the shots
  // then takes one choice draw c for depolarize1 ((c * 3) >> 64: X, Y, Z)
  // and depolarize2 ((c * 15) >> 64 = i: Paulis (i+1) >> 2 on a and
  // (i+1) & 3 on b, 0 I, 1 X, 2 Y, 3 Z). Logarithms are portable_log's.
  // out is int64_t or uint8_t (when every mask entry is 0 or 1).
  template <class T>
  void sample(int64_t shots, I64Span invert_mask, uint64_t measurement_state, uint64_t noise_state,
              T* out) const;

 private:
  struct Range {
    int64_t begin = 0;
    int64_t end = 0;
  };
  struct Coin {
    int64_t draw = 0;  // ordinal among the drawing triples of a shot
    Range pattern;
  };
  struct Location {
    int64_t ordinal = 0;  // among the noise triples
    int64_t code = 0;
    double skip_scale = 0;  // 1 / ln(1 - p)
    Range pattern[4];     // X then Z on a, then on b (12-14: one pattern)
  };

  template <class T>
  void apply_event(const Location& loc, uint64_t choice, T* row) const;
  template <class T>
  void xor_pattern(Range r, T* row) const {
    for (int64_t i = r.begin; i < r.end; ++i) row[entries_[i]] ^= 1;
  }

  int64_t m_ = 0;
  int64_t draws_ = 0;
  std::vector<int64_t> reference_;  // the record with every coin 0 and no error
  std::vector<Coin> coins_;
  std::vector<Location> locations_;  // probability > 0 only
  std::vector<int64_t> entries_;     // the patterns' record entries
};

}  // namespace orvane
