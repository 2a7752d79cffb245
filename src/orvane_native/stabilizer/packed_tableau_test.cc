#include "orvane_native/stabilizer/packed_tableau.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/clifford_reference.h"
#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {

using testing::ints;
using V = std::vector<int64_t>;

// Draws that hit both sides of 0.5, the threshold itself and a NaN.
double draw(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0: return 0.5;
    case 1: return std::nextafter(0.5, 0.0);
    case 2: return std::numeric_limits<double>::quiet_NaN();
    default: return std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  }
}

// Random streams step by step on both forms: identical rows, signs and
// scratch row after every instruction, identical outcomes. Sizes cover one,
// two and three words per half, and their boundaries.
TEST(PackedTableau, StepByStepEqualsTableau) {
  std::mt19937_64 rng(404);
  for (int64_t n : {1, 2, 3, 5, 8, 13, 31, 63, 64, 65, 100, 127, 128, 129}) {
    for (int trial = 0; trial < (n > 64 ? 3 : 10); ++trial) {
      const V s = testing::random_stream(rng, n, static_cast<int>(std::min<int64_t>(6 * n, 300)), 3);
      Tableau ref = new_tableau(n);
      PackedTableau packed(n);
      for (size_t i = 0; i < s.size(); i += 3) {
        if (s[i] == instr_measure) {
          const double u = draw(rng);
          ASSERT_EQ(packed.measure(s[i + 1], u), ref.measure(s[i + 1], u)) << "n " << n << " step " << i / 3;
        } else {
          ref.apply(s[i], s[i + 1], s[i + 2]);
          packed.apply(s[i], s[i + 1], s[i + 2]);
        }
        // Every step for small sizes, after measurements for medium ones,
        // at the end for large ones.
        if (n <= 32 || (n <= 64 && s[i] == instr_measure) || i + 3 == s.size()) {
          ASSERT_EQ(ints(packed.to_flat()), ints(ref.to_flat())) << "n " << n << " step " << i / 3;
        }
      }
      packed.reset();
      EXPECT_EQ(ints(packed.to_flat()), ints(new_tableau(n).to_flat()));
    }
  }
}

// Streams rich in determined outcomes: measure every qubit twice after
// entangling layers, so the second pass is determined throughout.
TEST(PackedTableau, DeterminedOutcomesEqualTableau) {
  std::mt19937_64 rng(505);
  int determined_ones = 0;
  for (int64_t n : {2, 7, 64, 70}) {
    for (int trial = 0; trial < 5; ++trial) {
      V s = testing::random_stream(rng, n, static_cast<int>(4 * n));
      for (int pass = 0; pass < 2; ++pass)
        for (int64_t q = 0; q < n; ++q) s.insert(s.end(), {instr_measure, q, 0});
      Tableau ref = new_tableau(n);
      PackedTableau packed(n);
      for (size_t i = 0; i < s.size(); i += 3) {
        if (s[i] != instr_measure) {
          ref.apply(s[i], s[i + 1], s[i + 2]);
          packed.apply(s[i], s[i + 1], s[i + 2]);
          continue;
        }
        const double u = draw(rng);
        const int64_t outcome = ref.measure(s[i + 1], u);
        ASSERT_EQ(packed.measure(s[i + 1], u), outcome);
        determined_ones += i >= s.size() - 3 * static_cast<size_t>(n) && outcome == 1;
      }
      EXPECT_EQ(ints(packed.to_flat()), ints(ref.to_flat()));
    }
  }
  EXPECT_GT(determined_ones, 20);
}

// After measuring qubit a, gates that commute with Z_a (any gate off a;
// CNOT with control a; CZ, S, Sdg, Z on a) keep the outcome determined
// while they spread Y and X entries over the stabilizers.
TEST(PackedTableau, RemeasureAfterGatesThatKeepZ) {
  std::mt19937_64 rng(707);
  for (int trial = 0; trial < 200; ++trial) {
    const int64_t n = 2 + trial % 40;
    const int depth = static_cast<int>(12 * n);  // deep enough for heavy rows
    V s = testing::random_stream(rng, n, depth);
    const int64_t a = static_cast<int64_t>(rng() % n);
    s.insert(s.end(), {instr_measure, a, 0});
    for (const int64_t g : testing::random_stream(rng, n, depth)) s.push_back(g);
    // Rewrite the second part so that no gate disturbs Z_a.
    for (size_t i = 3 * static_cast<size_t>(depth + 1); i < s.size(); i += 3) {
      const int64_t code = s[i];
      if (s[i + 1] == a && (code == instr_h || code == instr_x || code == instr_y || code == instr_swap)) s[i] = instr_s;
      if (s[i + 2] == a && code >= instr_cnot) s[i] = instr_cz;
    }
    s.insert(s.end(), {instr_measure, a, 0});
    Tableau ref = new_tableau(n);
    PackedTableau packed(n);
    int64_t first = -1;
    for (size_t i = 0; i < s.size(); i += 3) {
      if (s[i] != instr_measure) {
        ref.apply(s[i], s[i + 1], s[i + 2]);
        packed.apply(s[i], s[i + 1], s[i + 2]);
        continue;
      }
      const double u = draw(rng);
      const int64_t outcome = ref.measure(a, u);
      ASSERT_EQ(packed.measure(a, u), outcome) << "trial " << trial;
      if (first < 0) first = outcome;
      else ASSERT_EQ(outcome, first);
    }
    ASSERT_EQ(ints(packed.to_flat()), ints(ref.to_flat()));
  }
}

TEST(PackedTableau, CliffordRunEqualsReference) {
  std::mt19937_64 rng(606);
  for (int trial = 0; trial < 40; ++trial) {
    const int64_t n = 1 + static_cast<int64_t>(rng() % 80);
    const V s = testing::random_stream(rng, n, 120, 4);
    V mask(rng() % 6);
    for (int64_t& v : mask) v = static_cast<int64_t>(rng() % 3);
    const int64_t seed = static_cast<int64_t>(rng());
    const int64_t reps = 1 + static_cast<int64_t>(rng() % 8);
    const I64Span ss(s.data(), static_cast<int64_t>(s.size()));
    const I64Span ms(mask.data(), static_cast<int64_t>(mask.size()));
    EXPECT_EQ(ints(clifford_run(ss, n, ms, reps, seed)), ints(clifford_run_reference(ss, n, ms, reps, seed)))
        << "trial " << trial;
  }
}

TEST(PackedTableau, CliffordRunFailuresEqualReference) {
  const V bad{9, 0, 0, 6, 1, 1};
  const V ok{9, 0, 0};
  // Structured bindings are captured through init-captures: Clang before 16
  // cannot capture them directly.
  for (auto [s, n, reps] : std::vector<std::tuple<V, int64_t, int64_t>>{
           {bad, 2, 1}, {ok, -1, 1}, {ok, -9, 2}, {ok, 1, -3}, {bad, 2, 0}}) {
    const I64Span ss(s.data(), static_cast<int64_t>(s.size()));
    EXPECT_EQ(testing::message_of([&, n = n, reps = reps] { clifford_run(ss, n, {}, reps, 0); }),
              testing::message_of([&, n = n, reps = reps] { clifford_run_reference(ss, n, {}, reps, 0); }));
  }
  const I64Span ok_span(ok.data(), 3);
  EXPECT_THROW(clifford_run(ok_span, int64_t{1} << 40, {}, 1, 0), std::bad_alloc);
  EXPECT_THROW(clifford_run(ok_span, INT64_MAX, {}, 1, 0), std::bad_alloc);
}

}  // namespace
}  // namespace orvane
