#include "orvane_native/stabilizer/clifford.h"

#include <new>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/stabilizer/tableau.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

// The sampling loop shared by both tableau representations. `make` builds
// the |0...0> tableau (failing for a negative or unrepresentable size).
template <class Make>
I64Array sample(I64Span instructions, int64_t num_qubits, I64Span invert_mask, int64_t repetitions,
                int64_t seed, Make make) {
  const int64_t m = count_measurements(instructions);
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  I64Array record(len);  // a negative length is the "negative .len:" failure
  if (repetitions < 1 || m == 0) return record;

  auto t = make(num_qubits);
  validate_instructions(instructions, num_qubits);

  WyRand& rng = generator();
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});

  const int64_t mask_len = invert_mask.size();
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    // A fresh |0...0> each repetition; the storage is reused.
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
  return record;
}

}  // namespace

I64Array clifford_run(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                      int64_t repetitions, int64_t seed) {
  return sample(instructions, num_qubits, invert_mask, repetitions, seed, [](int64_t n) {
    tableau_bits_len(n);  // the unpacked tableau's failures for a negative or huge n
    return PackedTableau(n);
  });
}

I64Array clifford_run_reference(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                int64_t repetitions, int64_t seed) {
  return sample(instructions, num_qubits, invert_mask, repetitions, seed,
                [](int64_t n) { return new_tableau(n); });
}

I64Array clifford_tableau(I64Span instructions, int64_t num_qubits) {
  Tableau t = new_tableau(num_qubits);
  validate_instructions(instructions, num_qubits);
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    t.apply(instructions[s], instructions[s + 1], instructions[s + 2]);
  }
  return t.to_flat();
}

}  // namespace orvane
