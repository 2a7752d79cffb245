#include "orvane_native/stabilizer/clifford.h"

#include <array>
#include <new>
#include <optional>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/stabilizer/sign_program.h"
#include "orvane_native/stabilizer/tableau.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

// The record of m * repetitions zeros (negative or unrepresentable lengths
// fail), sampling having nothing to do when repetitions < 1 or m = 0.
I64Array new_record(int64_t m, int64_t repetitions) {
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  return I64Array(len);  // a negative length is the "negative .len:" failure
}

// The process generator, reseeded from `seed`: the last step before the
// draws, after everything that can fail.
WyRand& seeded_generator(int64_t seed) {
  WyRand& rng = generator();
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});
  return rng;
}

// One repetition after another on a tableau of type T, rebuilt (reset in
// place) for each.
template <class T>
void run_each_repetition(T& t, I64Array& record, int64_t m, I64Span instructions, I64Span invert_mask,
                         int64_t repetitions, WyRand& rng) {
  const int64_t mask_len = invert_mask.size();
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    if (rep > 0) t.reset();
    int64_t* out = record.data() + rep * m;
    int64_t k = 0;
    for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
      const int64_t code = instructions[s];
      if (code != instr_measure) {
        t.apply(code, instructions[s + 1], instructions[s + 2]);
        continue;
      }
      const double u = rng.f64();
      int64_t outcome = t.measure(instructions[s + 1], u);
      if (k < mask_len) outcome ^= invert_mask[k];
      out[k] = outcome;
      ++k;
    }
  }
}

}  // namespace

// The checks run in the documented order: the record, nothing to sample,
// the tableau (negative or unrepresentable num_qubits), the operands; then
// the generator is seeded and the repetitions run.
I64Array clifford_run_limited(I64Span instructions, int64_t num_qubits, I64Span invert_mask, int64_t repetitions,
                              int64_t seed, int64_t max_program_words) {
  const int64_t m = count_measurements(instructions);
  I64Array record = new_record(m, repetitions);
  if (repetitions < 1 || m == 0) return record;
  require_unpacked_size(num_qubits);  // the unpacked tableau's failures for a negative or huge n
  validate_instructions(instructions, num_qubits);
  if (std::optional<SignProgram> program = SignProgram::compile(instructions, num_qubits, max_program_words)) {
    // The draws come from a copy of the seeded state; the process generator
    // is then left where they leave it, as if it had made them.
    WyRand seeded;
    const auto seed_data = seed_words(seed);
    seeded.seed({seed_data.data(), 2});
    uint64_t state = seeded.state();
    program->sample(repetitions, invert_mask, state, record.data());
    const std::array<uint32_t, 2> words{static_cast<uint32_t>(state), static_cast<uint32_t>(state >> 32)};
    generator().seed({words.data(), 2});
    return record;
  }
  PackedTableau t(num_qubits);
  run_each_repetition(t, record, m, instructions, invert_mask, repetitions, seeded_generator(seed));
  return record;
}

I64Array clifford_run(I64Span instructions, int64_t num_qubits, I64Span invert_mask, int64_t repetitions,
                      int64_t seed) {
  return clifford_run_limited(instructions, num_qubits, invert_mask, repetitions, seed, kSignProgramMaxWords);
}

I64Array clifford_run_reference(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                int64_t repetitions, int64_t seed) {
  const int64_t m = count_measurements(instructions);
  I64Array record = new_record(m, repetitions);
  if (repetitions < 1 || m == 0) return record;
  Tableau t = new_tableau(num_qubits);
  validate_instructions(instructions, num_qubits);
  run_each_repetition(t, record, m, instructions, invert_mask, repetitions, seeded_generator(seed));
  return record;
}

I64Array clifford_tableau(I64Span instructions, int64_t num_qubits) {
  require_unpacked_size(num_qubits);  // the unpacked tableau's failures for a negative or huge n
  // The result first: it is by far the largest allocation.
  I64Array out = PackedTableau::flat_array(num_qubits);
  PackedTableau t(num_qubits);
  validate_instructions(instructions, num_qubits);
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    t.apply(instructions[s], instructions[s + 1], instructions[s + 2]);
  }
  t.write_flat(out.data());
  return out;
}

I64Array clifford_tableau_reference(I64Span instructions, int64_t num_qubits) {
  Tableau t = new_tableau(num_qubits);
  validate_instructions(instructions, num_qubits);
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    t.apply(instructions[s], instructions[s + 1], instructions[s + 2]);
  }
  return t.to_flat();
}

}  // namespace orvane
