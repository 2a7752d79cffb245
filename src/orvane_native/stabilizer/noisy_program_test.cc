#include "orvane_native/stabilizer/noisy_program.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/noisy_sampler.h"
#include "orvane_native/stabilizer/noisy_stream.h"
#include "orvane_native/stabilizer/test_support.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

using V = std::vector<int64_t>;

V record_of(const MeasurementRecord& r) { return testing::ints(r); }

// Random gates, with measurements, resets, measure-resets and Pauli errors
// (probability index 0) mixed in.
V random_noisy_stream(std::mt19937_64& rng, int64_t n, int length) {
  V s = testing::random_stream(rng, n, length, 5);
  for (size_t i = 0; i < s.size(); i += 3) {
    const uint64_t x = rng() % 12;
    if (x < 4 && s[i] == instr_measure) s[i] = x < 2 ? instr_reset : instr_measure_reset;
    if (x == 5) s[i] = instr_x_error + static_cast<int64_t>(rng() % 3), s[i + 2] = 0;
  }
  return s;
}

// Each shot on the unpacked reference tableau: the errors (all of
// probability 1) as Pauli gates, each measuring triple taking the next draw
// of the generator seeded from `seed`, a reset applying X after outcome 1.
V per_shot_reference(const V& s, int64_t n, int64_t shots, int64_t seed) {
  WyRand rng;
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});
  V out;
  for (int64_t shot = 0; shot < shots; ++shot) {
    Tableau t = new_tableau(n);
    for (size_t i = 0; i + 2 < s.size(); i += 3) {
      const int64_t code = s[i], a = s[i + 1];
      if (code < instr_measure) {
        t.apply(code, a, s[i + 2]);
      } else if (code >= instr_x_error) {
        t.apply(instr_x + (code - instr_x_error), a, 0);
      } else {
        const int64_t outcome = t.measure(a, rng.f64());
        if (code != instr_measure && outcome == 1) t.apply(instr_x, a, 0);
        if (code != instr_reset) out.push_back(outcome);
      }
    }
  }
  return out;
}

TEST(NoisySampler, CertainErrorsAndResetsMatchTheReferenceTableauShotByShot) {
  std::mt19937_64 rng(2201);
  for (int trial = 0; trial < 24; ++trial) {
    const int64_t n = 1 + trial % 5 + (trial % 6 == 5 ? 64 : 0);
    const V s = random_noisy_stream(rng, n, 60);
    const int64_t seed = static_cast<int64_t>(rng());
    const V got = record_of(clifford_sample_noisy(I64Span(s.data(), static_cast<int64_t>(s.size())), n,
                                                  I64Span(), 9, seed, F64Span(std::vector<double>{1.0}.data(), 1)));
    EXPECT_EQ(got, per_shot_reference(s, n, 9, seed)) << "trial " << trial;
  }
}

TEST(NoisySampler, WithoutNoiseCodesTheRecordIsCliffordRuns) {
  std::mt19937_64 rng(2202);
  for (int64_t n : {1, 2, 7, 64, 65, 130}) {
    const V s = testing::random_stream(rng, n, 4 * static_cast<int>(n) + 20, 4);
    const I64Span stream(s.data(), static_cast<int64_t>(s.size()));
    const V mask{1, 0, 5};
    const I64Span m(mask.data(), 3);
    EXPECT_EQ(record_of(clifford_sample_noisy(stream, n, m, 7, 99, F64Span())),
              testing::ints(clifford_run(stream, n, m, 7, 99)))
        << n;
  }
}

TEST(NoisySampler, ValidationNamesTheTripleAndTheValue) {
  auto message = [](V s, int64_t n, std::vector<double> p) {
    return testing::message_of([&] {
      clifford_sample_noisy(I64Span(s.data(), static_cast<int64_t>(s.size())), n, I64Span(), 1, 0,
                            F64Span(p.data(), static_cast<int64_t>(p.size())));
    });
  };
  EXPECT_EQ(message({0, 0, 0, 99, 0, 0}, 1, {}), "instruction 1 (code 99): unknown instruction code");
  EXPECT_EQ(message({14, 0, 2}, 1, {0.5}), "instruction 0 (code 14): probability index b out of range: 2 "
                                           "(len(probabilities) 1)");
  EXPECT_EQ(message({17, 0, 0, 16, 0, 1}, 2, {-0.5}), "instruction 0 (code 17): probabilities[0] is not in [0, 1]: -0.5");
  EXPECT_EQ(message({10, 3, 0}, 2, {}), "instruction 0 (code 10): qubit operand a out of range: 3 (num_qubits 2)");
  EXPECT_EQ(message({9, 0, 0}, 1, {0.25, 2.0}), "probabilities[1] is not in [0, 1]: 2");
}

}  // namespace
}  // namespace orvane
