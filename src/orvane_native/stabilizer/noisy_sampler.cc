#include "orvane_native/stabilizer/noisy_sampler.h"

#include <array>
#include <new>

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
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  MeasurementRecord record;
  for (int64_t k = 0; k < m && k < invert_mask.size(); ++k) {
    record.wide = record.wide || (invert_mask[k] != 0 && invert_mask[k] != 1);
  }
  // A negative length is the "negative .len:" failure.
  if (record.wide) {
    record.integers = I64Array(len);
  } else {
    record.bits = BitArray(len);
  }
  if (repetitions < 1 || m == 0) return record;
  require_unpacked_size(num_qubits);

  const NoisyProgram program = NoisyProgram::compile(instructions, num_qubits, probabilities);
  const auto words = seed_words(seed);
  const uint64_t state = uint64_t{words[0]} | (uint64_t{words[1]} << 32);
  if (record.wide) {
    program.sample(repetitions, invert_mask, state, state ^ kNoiseDomain, record.integers.data());
  } else {
    program.sample(repetitions, invert_mask, state, state ^ kNoiseDomain, record.bits.data());
  }

  // Where the measurement draws of every repetition leave the generator.
  const uint64_t used = static_cast<uint64_t>(repetitions) * static_cast<uint64_t>(program.draws());
  const uint64_t end = state + used * kWyRandIncrement;
  const std::array<uint32_t, 2> end_words{static_cast<uint32_t>(end), static_cast<uint32_t>(end >> 32)};
  generator().seed({end_words.data(), 2});
  return record;
}

}  // namespace orvane
