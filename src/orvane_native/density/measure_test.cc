#include "orvane_native/density/measure.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/density/test_support.h"

namespace orvane {
namespace {

using namespace orvane::testing;

std::mt19937_64& rng() {
  static std::mt19937_64 r(4242);
  return r;
}

const std::vector<std::vector<int64_t>> kTargetLists = {{}, {0}, {2}, {1, 0}, {0, 2}, {2, 1, 0}};

TEST(DensityProbabilities, WorkedExamples) {
  const std::vector<int64_t> t0 = {0}, t10 = {1, 0};
  EXPECT_EQ(copy(density_probabilities(span(to_flat(mat2(0.5, 0.5, 0.5, 0.5))), ints(t0), 1)), Flat({0.5, 0.5}));
  Flat r01(32, 0.0);
  r01[2 * (1 * 4 + 1)] = 1.0;
  EXPECT_EQ(copy(density_probabilities(span(r01), ints(t10), 2)), Flat({0, 0, 1, 0}));
}

TEST(DensityProbabilities, DiagonalSumsPerOutcome) {
  const int64_t n = 3;
  for (const auto& t : kTargetLists) {
    const auto rho = random_density(n, rng());
    std::vector<double> want(size_t{1} << t.size(), 0.0);
    for (int64_t j = 0; j < 8; ++j) want[local_of(j, t, n)] += rho[j * 8 + j].real();
    const F64Array got = density_probabilities(span(to_flat(rho)), ints(t), n);
    expect_close(copy(got), want, 1e-15);
  }
}

TEST(DensityProbabilities, UsesTheRealDiagonalUnclipped) {
  // Diagonal (-0.25 + 3i, 1.25): nothing is normalised or clipped, and an
  // extra trailing float is ignored.
  Flat rho = to_flat(mat2(cd(-0.25, 3), 9, 9, 1.25));
  rho.push_back(100.0);
  const std::vector<int64_t> t = {0}, none;
  EXPECT_EQ(copy(density_probabilities(span(rho), ints(t), 1)), Flat({-0.25, 1.25}));
  const Flat scalar = {0.7, 0.1};
  EXPECT_EQ(copy(density_probabilities(span(scalar), ints(none), 0)), Flat({0.7}));
}

TEST(DensityCollapse, WorkedExamples) {
  const Flat plus = to_flat(mat2(0.5, 0.5, 0.5, 0.5));
  const std::vector<int64_t> t0 = {0};
  EXPECT_EQ(copy(density_collapse(span(plus), ints(t0), 1, 1)), to_flat(mat2(0, 0, 0, 1)));
  EXPECT_EQ(copy(density_collapse(span(plus), ints(t0), 5, 1)), Flat(8, 0.0));
  EXPECT_EQ(copy(density_collapse(span(plus), ints(t0), -1, 1)), Flat(8, 0.0));
}

TEST(DensityCollapse, ProjectsAndRenormalisesByTheTrace) {
  const int64_t n = 3;
  for (const auto& t : kTargetLists) {
    for (int64_t outcome = 0; outcome < (int64_t{1} << t.size()); ++outcome) {
      const auto rho = random_density(n, rng());
      std::vector<cd> want(64);
      double p = 0;
      for (int64_t j = 0; j < 8; ++j)
        if (local_of(j, t, n) == outcome) p += rho[j * 8 + j].real();
      for (int64_t j = 0; j < 8; ++j)
        for (int64_t c = 0; c < 8; ++c)
          if (local_of(j, t, n) == outcome && local_of(c, t, n) == outcome) want[j * 8 + c] = rho[j * 8 + c] / p;
      const Flat flat = to_flat(rho);
      const F64Array got = density_collapse(span(flat), ints(t), outcome, n);
      expect_close(got.span(), want, 1e-13);
      // The in-place variant writes the same floats.
      Flat in_place = flat;
      density_collapse_into(mut(in_place), ints(t), outcome, n);
      EXPECT_TRUE(same_bytes(in_place, copy(got)));
    }
  }
}

TEST(DensityCollapse, EmptyTargetsAndZeroBranches) {
  const auto rho = random_density(2, rng());
  Flat scaled_rho = to_flat(rho);
  for (double& x : scaled_rho) x *= 4.0;
  const std::vector<int64_t> none, t1 = {1};
  expect_close(density_collapse(span(scaled_rho), ints(none), 0, 2).span(), rho, 1e-14);
  EXPECT_EQ(copy(density_collapse(span(scaled_rho), ints(none), 1, 2)), Flat(32, 0.0));
  // |00><00| has no weight on qubit 1 = 1.
  Flat zero(32, 0.0);
  zero[0] = 1.0;
  EXPECT_EQ(copy(density_collapse(span(zero), ints(t1), 1, 2)), Flat(32, 0.0));
}

TEST(StateToDensity, WorkedExamples) {
  EXPECT_EQ(copy(state_to_density(span(Flat{0, 1}))), Flat({1, 0}));
  EXPECT_EQ(copy(state_to_density(span(Flat{1, 0, 0, 1}))), Flat({1, 0, 0, -1, 0, 1, 1, 0}));
  EXPECT_EQ(copy(state_to_density(span(Flat{2, 1, 7}))), Flat({5, 0}));
  EXPECT_TRUE(state_to_density(span(Flat{})).empty());
  EXPECT_TRUE(state_to_density(span(Flat{3})).empty());
}

TEST(StateToDensity, OuterProduct) {
  std::normal_distribution<double> g;
  for (int64_t m : {1, 3, 8}) {
    std::vector<cd> psi(static_cast<size_t>(m));
    for (auto& z : psi) z = {g(rng()), g(rng())};
    std::vector<cd> want(static_cast<size_t>(m * m));
    for (int64_t i = 0; i < m; ++i)
      for (int64_t j = 0; j < m; ++j) want[i * m + j] = psi[i] * std::conj(psi[j]);
    expect_close(state_to_density(span(to_flat(psi))).span(), want, 1e-14);
  }
}

TEST(DensityMeasurement, Rejections) {
  const Flat rho = to_flat(random_density(2, rng()));
  const std::vector<int64_t> dup = {1, 1}, high = {2}, neg = {-1}, ok = {0};
  EXPECT_EQ(panic_of([&] { density_probabilities(span(rho), ints(dup), 2); }), "duplicate target: 1");
  EXPECT_EQ(panic_of([&] { density_probabilities(span(rho), ints(high), 2); }),
            "target out of range: 2 (num_qubits 2)");
  EXPECT_EQ(panic_of([&] { density_collapse(span(rho), ints(neg), 0, 2); }),
            "target out of range: -1 (num_qubits 2)");
  const Flat short_rho(rho.begin(), rho.end() - 2);
  EXPECT_EQ(panic_of([&] { density_probabilities(span(short_rho), ints(ok), 2); }),
            "rho too short for 2 qubits: 30 floats");
  EXPECT_EQ(panic_of([&] { density_collapse(span(short_rho), ints(ok), 0, 2); }),
            "rho too short for 2 qubits: 30 floats");
  EXPECT_EQ(panic_of([&] { density_collapse(span(rho), ints(ok), 0, 40); }),
            "rho too short for 40 qubits: 32 floats");
}

}  // namespace
}  // namespace orvane
