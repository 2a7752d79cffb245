#include "orvane_native/density/kernels.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/density/channel.h"
#include "orvane_native/density/test_support.h"
#include "orvane_native/support/cpu.h"

namespace orvane {
namespace {

using namespace orvane::testing;

std::mt19937_64& rng() {
  static std::mt19937_64 r(777);
  return r;
}

TEST(PermutationKernel, XOnOneQubit) {
  // [[p, q], [q*, 1-p]] becomes [[1-p, q*], [q, p]].
  const cd q(0.2, -0.1);
  Flat rho = to_flat(mat2(0.3, q, std::conj(q), 0.7));
  const std::vector<int64_t> perm = {1, 0}, t = {0};
  channel_permutation_into(mut(rho), ints(perm), ints(t), 1);
  EXPECT_EQ(rho, to_flat(mat2(0.7, std::conj(q), q, 0.3)));
}

TEST(PermutationKernel, MatchesEmbeddedOperatorForEveryMap) {
  struct P {
    int64_t n;
    std::vector<int64_t> targets, perm;
  };
  const std::vector<P> maps = {
      {3, {1}, {1, 0}},          {3, {2, 0}, {0, 1, 3, 2}},     {4, {3, 1}, {2, 3, 0, 1}},
      {3, {0, 1, 2}, {0, 1, 2, 3, 4, 5, 7, 6}},                 {4, {1, 3, 0}, {7, 6, 5, 4, 3, 2, 1, 0}},
      {3, {1, 2}, {3, 3, 0, 0}},  {2, {0, 1}, {1, 2, 3, 0}},
  };
  for (const P& p : maps) {
    const auto rho0 = random_density(p.n, rng());
    Flat rho = to_flat(rho0);
    channel_permutation_into(mut(rho), ints(p.perm), ints(p.targets), p.n);
    const auto full = embed(permutation_matrix(p.perm), p.targets, p.n);
    expect_close(rho, to_flat(reference_channel(rho0, {full}, int64_t{1} << p.n)), 0.0);
  }
}

TEST(Subspace2x2Kernel, EveryTargetAgainstEmbeddedChannel) {
  for (int64_t n : {1, 2, 3, 5}) {
    for (int64_t t = 0; t < n; ++t) {
      for (int64_t m : {1, 2, 4}) {
        const auto rho0 = random_density(n, rng());
        const auto ops = random_kraus(m, 2, rng());
        const std::vector<int64_t> targets = {t};
        Flat rho = to_flat(rho0);
        channel_subspace_2x2_into(mut(rho), span(concat(ops)), m, ints(targets), n);
        std::vector<std::vector<cd>> full;
        for (const auto& k : ops) full.push_back(embed(k, targets, n));
        expect_close(rho, to_flat(reference_channel(rho0, full, int64_t{1} << n)), 1e-12);
        Flat general = to_flat(rho0);
        channel_general_into(mut(general), span(concat(ops)), m, 2, ints(targets), n);
        expect_close(general, rho, 1e-13);
      }
    }
  }
}

TEST(Subspace2x2Kernel, VectorAndScalarPathsAgreeBitForBit) {
  if (cpu::supported().channels == cpu::Isa::kScalar) GTEST_SKIP() << "no vector variant of the channel kernels runs here";
  // Every stride (including 1, where a block's columns are neighbours) and
  // operator counts from none to several.
  for (int64_t t = 0; t < 4; ++t) {
    for (int64_t m : {0, 1, 3}) {
      const auto rho0 = random_density(4, rng());
      const Flat ops = concat(random_kraus(m, 2, rng()));
      const std::vector<int64_t> targets = {t};
      Flat vec = to_flat(rho0), scalar = to_flat(rho0);
      channel_subspace_2x2_into(mut(vec), span(ops), m, ints(targets), 4);
      cpu::set_vector_variants(false);
      channel_subspace_2x2_into(mut(scalar), span(ops), m, ints(targets), 4);
      cpu::set_vector_variants(true);
      EXPECT_TRUE(same_bytes(vec, scalar)) << "target " << t << ", " << m << " operators";
    }
  }
}

TEST(Subspace2x2Kernel, PairsSitAtTheTargetStride) {
  // X on qubit 1 of 2 qubits exchanges rows/columns at distance 1; on qubit
  // 0 at distance 2. rho = |0><0| (index 0) goes to index 1 or index 2.
  for (int64_t t : {0, 1}) {
    Flat rho(32, 0.0);
    rho[0] = 1.0;
    const std::vector<int64_t> targets = {t};
    channel_subspace_2x2_into(mut(rho), span(to_flat(scaled(kX, -1))), 1, ints(targets), 2);
    const int64_t moved = t == 1 ? 1 : 2;
    Flat want(32, 0.0);
    want[2 * (moved * 4 + moved)] = 1.0;
    EXPECT_EQ(rho, want);
  }
}

TEST(Subspace2x2Kernel, NoOperatorsClearEveryBlock) {
  Flat rho = to_flat(random_density(3, rng()));
  const std::vector<int64_t> t = {1};
  channel_subspace_2x2_into(mut(rho), F64Span(), 0, ints(t), 3);
  EXPECT_EQ(rho, Flat(128, 0.0));
}

TEST(Subspace2x2Kernel, EmptyTargetsAreABoundsFailure) {
  Flat rho = to_flat(mat2(1, 0, 0, 0));
  const Flat before = rho;
  const std::vector<int64_t> none;
  EXPECT_EQ(panic_of([&] { channel_subspace_2x2_into(mut(rho), span(to_flat(kX)), 1, ints(none), 1); }),
            "array.get: index out of range (i,a.len):0, 0");
  EXPECT_TRUE(same_bytes(rho, before));
}

TEST(DiagonalKernel, DephasingScalesCoherencesByZZ) {
  // Entry (x, y) is multiplied by (1-p) + p z(x) z(y), z the ZZ eigenvalue
  // of the two targets' bits.
  const double p = 0.35;
  const int64_t n = 3;
  const std::vector<int64_t> t = {0, 2};
  const auto rho0 = random_density(n, rng());
  Flat rho = to_flat(rho0);
  const Flat ops = concat({scaled(kron(kI, kI), std::sqrt(1 - p)), scaled(kron(kZ, kZ), std::sqrt(p))});
  channel_diagonal_into(mut(rho), span(ops), 2, 4, ints(t), n);
  auto zz = [&](int64_t x) { return (((x >> 2) ^ x) & 1) ? -1.0 : 1.0; };
  std::vector<cd> want = rho0;
  for (int64_t x = 0; x < 8; ++x)
    for (int64_t y = 0; y < 8; ++y) want[x * 8 + y] *= (1 - p) + p * zz(x) * zz(y);
  expect_close(span(rho), want, 1e-15);
  for (int64_t x = 0; x < 8; ++x) EXPECT_NEAR(rho[2 * (x * 8 + x)], rho0[x * 8 + x].real(), 1e-15);
}

TEST(DiagonalKernel, IgnoresOffDiagonalEntries) {
  auto k = random_kraus(2, 4, rng());
  auto diag_only = k;
  for (auto& op : diag_only)
    for (int64_t r = 0; r < 4; ++r)
      for (int64_t c = 0; c < 4; ++c)
        if (r != c) op[r * 4 + c] = 0;
  const std::vector<int64_t> t = {2, 1};
  const auto rho0 = random_density(3, rng());
  Flat got = to_flat(rho0), want = to_flat(rho0);
  channel_diagonal_into(mut(got), span(concat(k)), 2, 4, ints(t), 3);
  channel_general_into(mut(want), span(concat(diag_only)), 2, 4, ints(t), 3);
  expect_close(got, want, 1e-13);
}

TEST(DiagonalKernel, NoOperatorsClearRho) {
  Flat rho = to_flat(random_density(2, rng()));
  const std::vector<int64_t> t = {0, 1};
  channel_diagonal_into(mut(rho), F64Span(), 0, 4, ints(t), 2);
  EXPECT_EQ(rho, Flat(32, 0.0));
}

TEST(GeneralKernel, VectorAndScalarPathsAgreeBitForBit) {
  if (cpu::supported().channels == cpu::Isa::kScalar) GTEST_SKIP() << "no vector variant of the channel kernels runs here";
  // Runs of one column base, and two targets whose lower stride is 4 or 8
  // (the two-target vector path), in both orders.
  for (const std::vector<int64_t>& t : {std::vector<int64_t>{4, 0}, std::vector<int64_t>{1, 3, 2},
                                        std::vector<int64_t>{0, 2}, std::vector<int64_t>{1, 0}}) {
    const int64_t d = int64_t{1} << t.size();
    const auto rho0 = random_density(5, rng());
    const Flat ops = concat(random_kraus(3, d, rng()));
    Flat vec = to_flat(rho0), scalar = to_flat(rho0);
    channel_general_into(mut(vec), span(ops), 3, d, ints(t), 5);
    cpu::set_vector_variants(false);
    channel_general_into(mut(scalar), span(ops), 3, d, ints(t), 5);
    cpu::set_vector_variants(true);
    EXPECT_TRUE(same_bytes(vec, scalar));
  }
}

TEST(GeneralKernel, LargerRegisterAgainstEmbeddedChannel) {
  // Six qubits, targets whose lowest bit is not the last qubit (runs of
  // several bases) and one that is (runs of one).
  for (const std::vector<int64_t>& t : {std::vector<int64_t>{3, 1}, std::vector<int64_t>{5, 0, 2}}) {
    const int64_t n = 6, dim = 64;
    const auto rho0 = random_density(n, rng());
    const auto ops = random_kraus(3, int64_t{1} << t.size(), rng());
    Flat rho = to_flat(rho0);
    channel_subspace_into(mut(rho), span(concat(ops)), 3, int64_t{1} << t.size(), ints(t), n);
    const Flat full = embed_all(ops, t, n);
    expect_close(rho, copy(channel(span(to_flat(rho0)), span(full), 3, dim)), 1e-12);
  }
}

}  // namespace
}  // namespace orvane
