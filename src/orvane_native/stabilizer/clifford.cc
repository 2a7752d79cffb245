#include "orvane_native/stabilizer/clifford.h"

#include <array>
#include <new>
#include <optional>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/stabilizer/sign_program.h"
#include "orvane_native/stabilizer/tableau_size.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

// The record of m * repetitions zeros (negative or unrepresentable lengths
// fail), sampling having nothing to do when repetitions < 1 or m = 0.
MeasurementRecord new_record(int64_t m, int64_t repetitions, I64Span invert_mask) {
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  // A negative length is the "negative .len:" failure.
  MeasurementRecord record;
  record.wide = !mask_keeps_bits(invert_mask);
  if (record.wide) {
    record.integers = I64Array(len);
  } else {
    if (len > 0) checked_bytes(len, sizeof(int64_t));  // the same sizes fail as for whole integers
    record.bits = BitArray(len);
  }
  return record;
}

// A generator seeded from `seed`, as the process generator would be. The
// draws come from this copy and the process generator is left where they
// leave it only once the whole record is made: a call interrupted midway (or
// a signal handler that samples while it runs) cannot disturb the other.
WyRand seeded_copy(int64_t seed) {
  WyRand rng;
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});
  return rng;
}

void leave_generator_at(uint64_t state) {
  const std::array<uint32_t, 2> words{static_cast<uint32_t>(state), static_cast<uint32_t>(state >> 32)};
  generator().seed({words.data(), 2});
}

// One repetition after another on the bit-packed tableau, reset in place
// for each. T: the record's entry type.
template <class T>
void run_each_repetition(PackedTableau& t, T* record, int64_t m, I64Span instructions, I64Span invert_mask,
                         int64_t repetitions, WyRand& rng) {
  const int64_t mask_len = invert_mask.size();
  const int64_t words = t.num_qubits() / 64 + 1;
  InterruptPoll poll;
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    if (rep > 0) t.reset();
    T* out = record + rep * m;
    int64_t k = 0;
    for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
      const int64_t code = instructions[s];
      poll.tick(is_measurement(code) ? words * t.num_qubits() : words);
      if (!is_measurement(code)) {
        t.apply(code, instructions[s + 1], instructions[s + 2]);
        continue;
      }
      const double u = rng.f64();
      int64_t outcome = t.measure(instructions[s + 1], u);
      if (k < mask_len) outcome ^= invert_mask[k];
      out[k] = static_cast<T>(outcome);
      ++k;
    }
  }
}

}  // namespace

// The checks run in this order: the operands of the whole stream (on every
// call, before any allocation that depends on a size), the record, nothing
// to sample, the tableau (negative or unrepresentable num_qubits); then the
// generator is seeded and the repetitions run.
MeasurementRecord clifford_run_limited(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                       int64_t repetitions, int64_t seed, int64_t max_program_words) {
  validate_instructions(instructions, num_qubits);
  const int64_t m = count_measurements(instructions);
  MeasurementRecord record = new_record(m, repetitions, invert_mask);
  if (repetitions < 1 || m == 0) return record;
  require_unpacked_size(num_qubits);  // the unpacked tableau's failures for a negative or huge n
  if (std::optional<SignProgram> program = SignProgram::compile(instructions, num_qubits, max_program_words)) {
    uint64_t state = seeded_copy(seed).state();
    if (record.wide) {
      program->sample(repetitions, invert_mask, state, record.integers.data());
    } else {
      program->sample(repetitions, invert_mask, state, record.bits.data());
    }
    leave_generator_at(state);
    return record;
  }
  PackedTableau t(num_qubits);
  WyRand rng = seeded_copy(seed);
  if (record.wide) {
    run_each_repetition(t, record.integers.data(), m, instructions, invert_mask, repetitions, rng);
  } else {
    run_each_repetition(t, record.bits.data(), m, instructions, invert_mask, repetitions, rng);
  }
  leave_generator_at(rng.state());
  return record;
}

MeasurementRecord clifford_run(I64Span instructions, int64_t num_qubits, I64Span invert_mask, int64_t repetitions,
                               int64_t seed) {
  return clifford_run_limited(instructions, num_qubits, invert_mask, repetitions, seed, kSignProgramMaxWords);
}

BitArray clifford_tableau(I64Span instructions, int64_t num_qubits) {
  validate_instructions(instructions, num_qubits);  // before any size-dependent allocation
  require_unpacked_size(num_qubits);  // the unpacked tableau's failures for a negative or huge n
  // The result first: it is by far the largest allocation.
  BitArray out(PackedTableau::flat_length(num_qubits));
  PackedTableau t(num_qubits);
  InterruptPoll poll;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    poll.tick(num_qubits / 64 + 1);
    t.apply(instructions[s], instructions[s + 1], instructions[s + 2]);
  }
  t.write_flat(out.data());
  return out;
}

}  // namespace orvane
