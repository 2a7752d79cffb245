// clifford_run (one pass, then the sign replay) against the reference that
// rebuilds and runs the unpacked tableau per repetition: records and the
// generator state after the call must be identical.
#include "orvane_native/stabilizer/sign_program.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/clifford_reference.h"
#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/test_support.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

using testing::ints;
using testing::message_of;
using V = std::vector<int64_t>;

I64Span span(const V& v) { return {v.data(), static_cast<int64_t>(v.size())}; }

// Blocks of random gates followed by measurements of random qubits, some
// measured twice in a row (a determined outcome), or of every qubit twice
// (the second pass determined throughout). Unknown codes and trailing
// integers are mixed in.
V mixed_stream(std::mt19937_64& rng, int64_t n, int blocks) {
  V s;
  for (int b = 0; b < blocks; ++b) {
    const int gates = static_cast<int>(rng() % (3 * n + 5));
    for (const int64_t v : testing::random_stream(rng, n, gates)) s.push_back(v);
    if (rng() % 5 == 0) s.insert(s.end(), {static_cast<int64_t>(rng() % 40) + 10, -7, 99});
    const int kind = static_cast<int>(rng() % 3);
    const int64_t count = kind == 2 ? n : 1 + static_cast<int64_t>(rng() % 6);
    for (int pass = 0; pass < (kind == 0 ? 1 : 2); ++pass) {
      for (int64_t i = 0; i < count; ++i) {
        const int64_t q = kind == 2 ? i : static_cast<int64_t>(rng() % n);
        s.insert(s.end(), {instr_measure, q, static_cast<int64_t>(rng() % 3)});
        if (kind == 1) s.insert(s.end(), {instr_measure, q, 0});
      }
    }
  }
  if (rng() % 3 == 0) s.insert(s.end(), {instr_measure, 0});  // a partial triple
  return s;
}

V random_mask(std::mt19937_64& rng, int64_t m) {
  V mask(rng() % (m + 3));
  for (int64_t& v : mask) {
    switch (rng() % 4) {
      case 0: v = 0; break;
      case 1: v = 1; break;
      case 2: v = static_cast<int64_t>(rng() % 7) - 3; break;
      default: v = static_cast<int64_t>(rng()); break;
    }
  }
  return mask;
}

struct Sampled {
  V record;
  uint64_t state_after;
};

template <class Fn>
Sampled run_with(Fn fn) {
  const std::array<uint32_t, 2> words{0xdeadbeef, 0x12345678};
  generator().seed({words.data(), 2});
  V record = ints(fn());
  return {record, generator().state()};
}

void expect_same_as_reference_with(const V& s, int64_t n, const V& mask, int64_t reps, int64_t seed,
                                   const std::string& what) {
  const Sampled ref = run_with([&] { return clifford_run_reference(span(s), n, span(mask), reps, seed); });
  const Sampled fast = run_with([&] { return clifford_run(span(s), n, span(mask), reps, seed); });
  ASSERT_EQ(fast.record, ref.record) << what;
  ASSERT_EQ(fast.state_after, ref.state_after) << what;
  // The per-repetition path taken when a program would be too large.
  const Sampled each = run_with([&] { return clifford_run_limited(span(s), n, span(mask), reps, seed, 0); });
  ASSERT_EQ(each.record, ref.record) << what;
  ASSERT_EQ(each.state_after, ref.state_after) << what;
}

// With the mask as given (whole integers when an entry is not 0 or 1) and
// with its low bits only (a record of bytes).
void expect_same_as_reference(const V& s, int64_t n, const V& mask, int64_t reps, int64_t seed,
                              const std::string& what) {
  expect_same_as_reference_with(s, n, mask, reps, seed, what);
  V bits = mask;
  for (int64_t& b : bits) b &= 1;
  expect_same_as_reference_with(s, n, bits, reps, seed, what + " (mask bits)");
}

// Sizes around the word boundaries of the packed rows (64 rows per word)
// and of the specialised replays (1 to 4 words of signs, then any).
class SignProgramSizes : public ::testing::TestWithParam<int64_t> {};

TEST_P(SignProgramSizes, RecordsAndDrawsEqualReference) {
  const int64_t n = GetParam();
  std::mt19937_64 rng(1000 + static_cast<uint64_t>(n));
  const int trials = n <= 65 ? 12 : 3;
  for (int trial = 0; trial < trials; ++trial) {
    const V s = mixed_stream(rng, n, n <= 65 ? 1 + trial % 4 : 2);
    const int64_t m = count_measurements(span(s));
    const V mask = random_mask(rng, m);
    const int64_t reps = trial % 4 == 0 ? 1 : 1 + static_cast<int64_t>(rng() % (n <= 65 ? 40 : 4));
    const int64_t seed = static_cast<int64_t>(rng());
    expect_same_as_reference(s, n, mask, reps, seed, "n " + std::to_string(n) + " trial " + std::to_string(trial));
  }
}

INSTANTIATE_TEST_SUITE_P(WordBoundaries, SignProgramSizes,
                         ::testing::Values(1, 2, 3, 7, 31, 63, 64, 65, 127, 128, 129, 192, 193, 256, 257, 300));

// Many short circuits on few qubits with measurements every few gates: rich
// in row products whose phase adds a sign, in determined outcomes that
// depend on earlier random ones, and in gates that flip a measured sign.
// Both replays, the register one and the general one, are checked.
TEST(SignProgram, DenseMeasurementsBothReplays) {
  std::mt19937_64 rng(2024);
  for (int trial = 0; trial < 600; ++trial) {
    const int64_t n = 1 + trial % 7;
    const V s = testing::random_stream(rng, n, 40 + static_cast<int>(rng() % 40), 2 + trial % 5);
    const int64_t m = count_measurements(span(s));
    const V mask = random_mask(rng, m);
    const int64_t reps = 1 + static_cast<int64_t>(rng() % 6);
    const int64_t seed = static_cast<int64_t>(rng());
    const Sampled ref = run_with([&] { return clifford_run_reference(span(s), n, span(mask), reps, seed); });
    const Sampled fast = run_with([&] { return clifford_run(span(s), n, span(mask), reps, seed); });
    ASSERT_EQ(fast.record, ref.record) << "trial " << trial;
    ASSERT_EQ(fast.state_after, ref.state_after) << "trial " << trial;
    if (m == 0) continue;
    const auto program = SignProgram::compile(span(s), n, kSignProgramMaxWords);
    ASSERT_TRUE(program.has_value());
    const auto w = seed_words(seed);
    uint64_t state = uint64_t{w[0]} | (uint64_t{w[1]} << 32);
    V general(static_cast<size_t>(m * reps));
    program->sample(reps, span(mask), state, general.data(), true);
    ASSERT_EQ(general, ref.record) << "trial " << trial;
    ASSERT_EQ(state, ref.state_after) << "trial " << trial;
  }
}

TEST(SignProgram, ManyRepetitionsOfOneCircuit) {
  std::mt19937_64 rng(77);
  const V s = mixed_stream(rng, 12, 6);
  expect_same_as_reference(s, 12, {1, 0, -1, 5}, 3000, 99, "3000 repetitions");
}

TEST(SignProgram, NothingToSampleLeavesGeneratorAlone) {
  // No repetition, or no measurement: an empty record, no draw, no seeding.
  // Structured bindings are captured through init-captures: Clang before 16
  // cannot capture them directly.
  for (const auto& [s, reps] : std::vector<std::tuple<V, int64_t>>{
           {{0, 0, 0, 9, 0, 0}, 0}, {{0, 0, 0, 6, 0, 1}, -4}, {{0, 0, 0, 6, 0, 1}, 5}, {{9, 0}, 3}}) {
    const Sampled ref = run_with([&s = s, reps = reps] { return clifford_run_reference(span(s), 2, {}, reps, 1); });
    const Sampled fast = run_with([&s = s, reps = reps] { return clifford_run(span(s), 2, {}, reps, 1); });
    EXPECT_TRUE(fast.record.empty());
    EXPECT_EQ(fast.state_after, ref.state_after);
  }
}

TEST(SignProgram, DrawsOnePerMeasurementRandomOrNot) {
  // Three measurements, the last two determined, 25 repetitions: the
  // generator ends 75 steps past the seed.
  const V s{0, 0, 0, 9, 0, 0, 9, 0, 0, 6, 0, 1, 9, 1, 0};
  const Sampled fast = run_with([&] { return clifford_run(span(s), 2, {}, 25, 4242); });
  WyRand g;
  const auto w = seed_words(4242);
  g.seed({w.data(), 2});
  V expected;
  for (int rep = 0; rep < 25; ++rep) {
    const int64_t first = g.f64() < 0.5 ? 0 : 1;
    g.f64();
    g.f64();
    expected.insert(expected.end(), {first, first, first});
  }
  EXPECT_EQ(fast.record, expected);
  EXPECT_EQ(fast.state_after, g.state());
}

TEST(SignProgram, MaskEntriesAreXoredWhole) {
  const V s{3, 0, 0, 9, 0, 0, 9, 1, 0, 0, 1, 0, 9, 1, 0};
  const V mask{std::numeric_limits<int64_t>::min(), -2, 6};
  expect_same_as_reference(s, 2, mask, 40, 3, "mask");
  const V record = ints(clifford_run(span(s), 2, span(mask), 1, 3));
  EXPECT_EQ(record[0], std::numeric_limits<int64_t>::min() + 1);
  EXPECT_EQ(record[1], -2);
}

TEST(SignProgram, WordsBoundAndLimit) {
  // One word of stabilizer signs for 50 qubits, two per measurement; three
  // for 129 qubits.
  EXPECT_EQ(SignProgram::words_bound(50, 100), 1 + 100 * 2);
  EXPECT_EQ(SignProgram::words_bound(129, 10), 3 + 10 * 6);
  EXPECT_EQ(SignProgram::words_bound(50, std::numeric_limits<int64_t>::max() / 2),
            std::numeric_limits<int64_t>::max());
  const V s{0, 0, 0, 9, 0, 0, 9, 1, 0};
  EXPECT_FALSE(SignProgram::compile(span(s), 2, SignProgram::words_bound(2, 2) - 1).has_value());
  const auto program = SignProgram::compile(span(s), 2, SignProgram::words_bound(2, 2));
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(program->measurements(), 2);
}

TEST(SignProgram, FailuresEqualReference) {
  const V bad{9, 0, 0, 6, 1, 1};
  const V ok{9, 0, 0};
  // Structured bindings are captured through init-captures: Clang before 16
  // cannot capture them directly.
  for (auto [s, n, reps] : std::vector<std::tuple<V, int64_t, int64_t>>{
           {bad, 2, 1}, {ok, -1, 1}, {ok, -9, 2}, {ok, 1, -3}, {bad, 2, 0}, {V{9, 5, 0}, 3, 2}}) {
    const std::string expected =
        message_of([&s = s, n = n, reps = reps] { clifford_run_reference(span(s), n, {}, reps, 0); });
    EXPECT_EQ(message_of([&s = s, n = n, reps = reps] { clifford_run(span(s), n, {}, reps, 0); }), expected);
    EXPECT_EQ(message_of([&s = s, n = n, reps = reps] { clifford_run_limited(span(s), n, {}, reps, 0, 0); }),
              expected);
  }
  // Sizes whose unpacked tableau cannot be represented fail as the
  // reference does, after the operands are checked.
  for (const int64_t n : {int64_t{1} << 40, int64_t{1} << 31, int64_t{1'000'000'000}, INT64_MAX}) {
    EXPECT_THROW(clifford_run(span(ok), n, {}, 1, 0), std::bad_alloc) << n;
    EXPECT_THROW(clifford_run_reference(span(ok), n, {}, 1, 0), std::bad_alloc) << n;
    EXPECT_EQ(message_of([&] { clifford_run(span(bad), n, {}, 1, 0); }),
              message_of([&] { clifford_run_reference(span(bad), n, {}, 1, 0); }));
  }
}

}  // namespace
}  // namespace orvane
