#include "orvane_native/stabilizer/reference/clifford_reference.h"

#include <new>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/reference/tableau.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {

I64Array clifford_run_reference(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                int64_t repetitions, int64_t seed) {
  validate_instructions(instructions, num_qubits);
  const int64_t m = count_measurements(instructions);
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  I64Array record(len);  // a negative length is the "negative .len:" failure
  if (repetitions < 1 || m == 0) return record;
  // The tableau's size failures come before the generator is touched.
  Tableau t = new_tableau(num_qubits);
  WyRand& rng = generator();
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    if (rep > 0) t = new_tableau(num_qubits);
    int64_t k = 0;
    for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
      const int64_t code = instructions[s];
      if (!is_measurement(code)) {
        t.apply(code, instructions[s + 1], instructions[s + 2]);
        continue;
      }
      const double u = rng.f64();
      int64_t outcome = t.measure(instructions[s + 1], u);
      if (k < invert_mask.size()) outcome ^= invert_mask[k];
      record[rep * m + k] = outcome;
      ++k;
    }
  }
  return record;
}

I64Array clifford_tableau_reference(I64Span instructions, int64_t num_qubits) {
  validate_instructions(instructions, num_qubits);
  Tableau t = new_tableau(num_qubits);
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    t.apply(instructions[s], instructions[s + 1], instructions[s + 2]);
  }
  return t.to_flat();
}

}  // namespace orvane
