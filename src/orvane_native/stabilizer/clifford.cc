#include "orvane_native/stabilizer/clifford.h"

#include <optional>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/stabilizer/sign_program.h"
#include "orvane_native/stabilizer/tableau_size.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

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
  MeasurementRecord record = new_measurement_record(m, repetitions, invert_mask);
  if (repetitions < 1 || m == 0) return record;
  require_unpacked_size(num_qubits);  // the unpacked tableau's failures for a negative or huge n
  if (std::optional<SignProgram> program = SignProgram::compile(instructions, num_qubits, max_program_words)) {
    uint64_t state = seeded_generator(seed).state();
    if (record.wide) {
      program->sample(repetitions, invert_mask, state, record.integers.data());
    } else {
      program->sample(repetitions, invert_mask, state, record.bits.data());
    }
    leave_generator_at(state);
    return record;
  }
  PackedTableau t(num_qubits);
  WyRand rng = seeded_generator(seed);
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
