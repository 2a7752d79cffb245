#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "orvane_native/stabilizer/reference/tableau.h"
#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {


TEST(Measure, AgreesWithDenseSimulation) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  int random_seen = 0, determined_seen = 0;
  for (int trial = 0; trial < 80; ++trial) {
    const int64_t n = 1 + trial % 5;
    Tableau t = new_tableau(n);
    DenseState psi(n);
    const auto s = testing::random_stream(rng, n, 40, 4);
    for (size_t i = 0; i < s.size(); i += 3) {
      const int64_t code = s[i], a = s[i + 1];
      if (code != instr_measure) {
        t.apply(code, a, s[i + 2]);
        psi.gate(code, a, s[i + 2]);
        continue;
      }
      const double p1 = psi.prob_one(a);
      const double u = uniform(rng);
      const int64_t outcome = t.measure(a, u);
      if (p1 < 1e-9) {
        EXPECT_EQ(outcome, 0);
        ++determined_seen;
      } else if (p1 > 1 - 1e-9) {
        EXPECT_EQ(outcome, 1);
        ++determined_seen;
      } else {
        EXPECT_NEAR(p1, 0.5, 1e-9);
        EXPECT_EQ(outcome, u < 0.5 ? 0 : 1);
        ++random_seen;
      }
      psi.collapse(a, outcome);
      testing::expect_stabilizes(t, psi);
      testing::expect_symplectic_pairs(t);
    }
  }
  EXPECT_GT(random_seen, 20);
  EXPECT_GT(determined_seen, 20);
}

TEST(Measure, RandomOutcomeRowStructure) {
  Tableau t = new_tableau(3);
  t.hadamard(1);
  t.cnot(1, 2);
  // Stabilizer 1 (row 4) is XX on qubits 1, 2: the first with an X on 1.
  const auto former_x = testing::row_x(t, 4);
  const auto former_z = testing::row_z(t, 4);
  const int64_t former_r = t.r()[4];
  EXPECT_EQ(t.measure(1, 0.75), 1);
  EXPECT_EQ(testing::row_x(t, 1), former_x);
  EXPECT_EQ(testing::row_z(t, 1), former_z);
  EXPECT_EQ(t.r()[1], former_r);
  EXPECT_EQ(testing::row_x(t, 4), (std::vector<int64_t>{0, 0, 0}));
  EXPECT_EQ(testing::row_z(t, 4), (std::vector<int64_t>{0, 1, 0}));
  EXPECT_EQ(t.r()[4], 1);
  // Qubit 2 now follows deterministically.
  EXPECT_EQ(t.measure(2, 0.0), 1);
}

TEST(Measure, ThresholdAtOneHalf) {
  const double below = std::nextafter(0.5, 0.0);
  for (auto [u, expected] : std::vector<std::pair<double, int64_t>>{
           {0.5, 1}, {below, 0}, {0.0, 0}, {std::numeric_limits<double>::quiet_NaN(), 1}, {-3.0, 0}, {7.0, 1}}) {
    Tableau t = new_tableau(1);
    t.hadamard(0);
    EXPECT_EQ(t.measure(0, u), expected) << u;
  }
}

TEST(Measure, DeterminedOutcomeUsesScratchRowOnly) {
  Tableau t = new_tableau(2);
  const I64Array before = t.to_flat();
  EXPECT_EQ(t.measure(0, 0.9), 0);
  const I64Array after = t.to_flat();
  // Rows 0..3 unchanged; the scratch row (row 4, width 5) holds +Z on qubit 0.
  for (int64_t k = 0; k < 20; ++k) EXPECT_EQ(after[k], before[k]);
  EXPECT_EQ(std::vector<int64_t>(after.begin() + 20, after.end()), (std::vector<int64_t>{0, 0, 1, 0, 0}));

  Tableau flipped = new_tableau(2);
  flipped.pauli_x(1);
  EXPECT_EQ(flipped.measure(1, 0.1), 1);
  EXPECT_EQ(flipped.r()[4], 1);
}

}  // namespace
}  // namespace orvane
