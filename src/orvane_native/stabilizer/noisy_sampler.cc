#include "orvane_native/stabilizer/noisy_sampler.h"

#include "orvane_native/stabilizer/noisy_program.h"
#include "orvane_native/stabilizer/noisy_stream.h"
#include "orvane_native/stabilizer/tableau_size.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {

// The checks run in the order of clifford_run's: the stream (and here the
// probabilities), the record, nothing to sample, the tableau's size.
MeasurementRecord clifford_sample_noisy(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                        int64_t repetitions, int64_t seed, F64Span probabilities) {
  validate_noisy_stream(instructions, num_qubits, probabilities);
  int64_t m = 0;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) m += records_outcome(instructions[s]);
  MeasurementRecord record = new_measurement_record(m, repetitions, invert_mask);
  if (repetitions < 1 || m == 0) return record;
  require_unpacked_size(num_qubits);

  const NoisyProgram program = NoisyProgram::compile(instructions, num_qubits, probabilities);
  const uint64_t state = seeded_generator(seed).state();
  if (record.wide) {
    program.sample(repetitions, invert_mask, state, state ^ kNoiseDomain, record.integers.data());
  } else {
    program.sample(repetitions, invert_mask, state, state ^ kNoiseDomain, record.bits.data());
  }

  // Where the measurement draws of every repetition leave the generator.
  const uint64_t used = static_cast<uint64_t>(repetitions) * static_cast<uint64_t>(program.draws());
  leave_generator_at(state + used * kWyRandIncrement);
  return record;
}

}  // namespace orvane
