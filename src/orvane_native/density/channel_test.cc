#include "orvane_native/density/channel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/density/test_support.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/testing.h"

namespace orvane {
namespace {

using namespace orvane::testing;

std::mt19937_64& rng() {
  static std::mt19937_64 r(20261208);
  return r;
}

// ---- sandwich and channel ------------------------------------------------------

TEST(Sandwich, MatchesTextbookProduct) {
  for (int64_t dim : {1, 2, 3, 5}) {
    const auto a = random_matrix(dim, rng());
    const auto u = random_matrix(dim, rng());
    const F64Array got = sandwich(span(to_flat(a)), span(to_flat(u)), dim);
    expect_close(got.span(), reference_channel(a, {u}, dim));
  }
}

TEST(Sandwich, NonPositiveDimensionIsEmpty) {
  EXPECT_TRUE(sandwich(F64Span(), F64Span(), 0).empty());
  EXPECT_TRUE(sandwich(F64Span(), F64Span(), -3).empty());
}

TEST(Sandwich, ShortInputFailsAtFirstMissingRead) {
  // u = identity: row 0 of a is read whole (floats 0..3), entries (0,1) and
  // (1,0) of u are zero, then row 1 of a from float 4 on.
  const Flat id = to_flat(kI);
  const Flat a5 = {1, 2, 3, 4, 5};
  EXPECT_EQ(panic_of([&] { sandwich(span(a5), span(id), 2); }), "array.get: index out of range (i,a.len):5, 5");
  const Flat a3 = {1, 2, 3};
  EXPECT_EQ(panic_of([&] { sandwich(span(a3), span(id), 2); }), "array.get: index out of range (i,a.len):3, 3");
  // u = |1><0| never reads row 1 of a, and a zero u reads no row at all.
  const Flat e10 = to_flat(mat2(0, 0, 1, 0));
  const Flat a4 = {1, 2, 3, 4};
  EXPECT_EQ(panic_of([&] { sandwich(span(a4), span(e10), 2); }), "");
  EXPECT_EQ(panic_of([&] { sandwich(F64Span(), span(to_flat(mat2(0, 0, 0, 0))), 2); }), "");
  const Flat u7(id.begin(), id.begin() + 7);
  EXPECT_EQ(panic_of([&] { sandwich(span(to_flat(kX)), span(u7), 2); }),
            "array.get: index out of range (i,a.len):7, 7");
}

TEST(Sandwich, ExactZeroEntriesOfUKeepNanOut) {
  const Flat a = to_flat(mat2(NAN, 1, 2, 3));
  const Flat u = to_flat(mat2(0, 0, 0, 1));  // reads row 1 of a only
  const F64Array got = sandwich(span(a), span(u), 2);
  EXPECT_EQ(copy(got), Flat({0, 0, 0, 0, 0, 0, 3, 0}));
}

TEST(Channel, MatchesTextbookSum) {
  for (int64_t dim : {1, 2, 4}) {
    for (int64_t m : {1, 3}) {
      const auto r = random_matrix(dim, rng());
      const auto ops = random_kraus(m, dim, rng());
      const F64Array got = channel(span(to_flat(r)), span(concat(ops)), m, dim);
      expect_close(got.span(), reference_channel(r, ops, dim));
    }
  }
}

TEST(Channel, NoOperatorsGivesZeros) {
  EXPECT_EQ(copy(channel(span(to_flat(kX)), F64Span(), 0, 2)), Flat(8, 0.0));
  EXPECT_EQ(copy(channel(span(to_flat(kX)), F64Span(), -2, 2)), Flat(8, 0.0));
  EXPECT_TRUE(channel(F64Span(), F64Span(), 3, 0).empty());
}

TEST(Channel, SliceAndReadFailuresInSumOrder) {
  const Flat rho = to_flat(kI);
  const Flat one_op = to_flat(kX);
  EXPECT_EQ(panic_of([&] { channel(span(rho), span(one_op), 2, 2); }),
            "array.slice: slice bounds out of range (16 >= 8)");
  // With a short rho, the first operator's reads fail before the second
  // operator's slice is taken: X reads row 1 of rho, floats 4 to 7 ...
  const Flat short_rho = {1, 0, 0};
  EXPECT_EQ(panic_of([&] { channel(span(short_rho), span(one_op), 2, 2); }),
            "array.get: index out of range (i,a.len):4, 3");
  // ... while an all-zero operator reads nothing of rho.
  const Flat zero_op(8, 0.0);
  EXPECT_EQ(panic_of([&] { channel(span(short_rho), span(zero_op), 2, 2); }),
            "array.slice: slice bounds out of range (16 >= 8)");
  EXPECT_EQ(copy(channel(span(short_rho), span(zero_op), 1, 2)), Flat(8, 0.0));
}

TEST(OpDimension, SmallestSquareThatHoldsTheFloats) {
  EXPECT_EQ(op_dimension(-5), 1);
  EXPECT_EQ(op_dimension(0), 1);
  EXPECT_EQ(op_dimension(2), 1);
  EXPECT_EQ(op_dimension(3), 2);
  EXPECT_EQ(op_dimension(8), 2);
  EXPECT_EQ(op_dimension(9), 3);
  EXPECT_EQ(op_dimension(32), 4);
  EXPECT_EQ(op_dimension(16), 3);
  for (int64_t f = 1; f < 3000; ++f) {
    const int64_t d = op_dimension(f);
    ASSERT_GE(2 * d * d, f);
    ASSERT_TRUE(d == 1 || 2 * (d - 1) * (d - 1) < f) << f;
  }
  const int64_t big = op_dimension(INT64_MAX);
  EXPECT_EQ(big, int64_t{2147483648});
}

// ---- channel_subspace_into: every path against the embedded full channel ------------

struct Case {
  std::string name;
  int64_t n;
  std::vector<int64_t> targets;
  std::vector<std::vector<cd>> ops;
  ChannelKernel kernel;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> cases() {
  const double p = 0.3, g = 0.4;
  const cd sp = std::sqrt(p), sq = std::sqrt(1 - p);
  const auto cnot = permutation_matrix({0, 1, 3, 2});
  const auto swap = permutation_matrix({0, 2, 1, 3});
  const auto toffoli = permutation_matrix({0, 1, 2, 3, 4, 5, 7, 6});
  const auto id4 = kron(kI, kI);
  auto cz = id4;
  cz[15] = -1;  // a -1 on the diagonal: not a permutation, but diagonal
  std::vector<Case> c = {
      {"bit_flip", 3, {1}, {scaled(kI, sp), scaled(kX, sq)}, ChannelKernel::kSubspace2x2},
      {"amplitude_damping", 3, {2}, {mat2(1, 0, 0, std::sqrt(1 - g)), mat2(0, std::sqrt(g), 0, 0)},
       ChannelKernel::kSubspace2x2},
      {"amplitude_damping_q0", 2, {0}, {mat2(1, 0, 0, std::sqrt(1 - g)), mat2(0, std::sqrt(g), 0, 0)},
       ChannelKernel::kSubspace2x2},
      {"depolarizing", 3, {0},
       {scaled(kI, std::sqrt(1 - 3 * p / 4)), scaled(kX, std::sqrt(p / 4)), scaled(kY, std::sqrt(p / 4)),
        scaled(kZ, std::sqrt(p / 4))},
       ChannelKernel::kSubspace2x2},
      {"dephasing_two_targets", 3, {2, 0}, {scaled(id4, sq), scaled(kron(kZ, kZ), sp)}, ChannelKernel::kDiagonal},
      {"one_qubit_diagonal_takes_2x2", 2, {1}, {scaled(kI, sq), scaled(kZ, sp)}, ChannelKernel::kSubspace2x2},
      {"cz_takes_diagonal", 3, {0, 2}, {cz}, ChannelKernel::kDiagonal},
      {"identity_4x4", 3, {2, 1}, {id4}, ChannelKernel::kPermutation},
      {"x", 3, {1}, {kX}, ChannelKernel::kPermutation},
      {"minus_x_takes_2x2", 3, {1}, {scaled(kX, -1)}, ChannelKernel::kSubspace2x2},
      {"y_takes_2x2", 2, {0}, {kY}, ChannelKernel::kSubspace2x2},
      {"cnot_01", 2, {0, 1}, {cnot}, ChannelKernel::kPermutation},
      {"cnot_10", 3, {1, 0}, {cnot}, ChannelKernel::kPermutation},
      {"cnot_20", 3, {2, 0}, {cnot}, ChannelKernel::kPermutation},
      {"swap", 3, {1, 2}, {swap}, ChannelKernel::kPermutation},
      {"toffoli", 3, {0, 1, 2}, {toffoli}, ChannelKernel::kPermutation},
      {"toffoli_scattered", 4, {2, 0, 3}, {toffoli}, ChannelKernel::kPermutation},
      {"many_to_one_map", 3, {0, 2}, {permutation_matrix({0, 0, 3, 1})}, ChannelKernel::kPermutation},
      {"half_cnot_half_identity", 2, {0, 1}, {scaled(cnot, std::sqrt(0.5)), scaled(id4, std::sqrt(0.5))},
       ChannelKernel::kGeneral},
  };
  // Random Kraus sets on one to three targets.
  c.push_back({"random_1q", 3, {2}, random_kraus(3, 2, rng()), ChannelKernel::kSubspace2x2});
  c.push_back({"random_2q_adjacent", 2, {0, 1}, random_kraus(4, 4, rng()), ChannelKernel::kGeneral});
  c.push_back({"random_2q_reversed", 3, {2, 1}, random_kraus(2, 4, rng()), ChannelKernel::kGeneral});
  c.push_back({"random_2q_apart", 4, {1, 3}, random_kraus(2, 4, rng()), ChannelKernel::kGeneral});
  c.push_back({"random_3q", 4, {2, 0, 3}, random_kraus(2, 8, rng()), ChannelKernel::kGeneral});
  c.push_back({"random_3q_all", 3, {2, 1, 0}, random_kraus(1, 8, rng()), ChannelKernel::kGeneral});
  c.push_back({"random_3q_low", 5, {4, 3, 1}, random_kraus(3, 8, rng()), ChannelKernel::kGeneral});
  // Random diagonal operators on three targets.
  std::vector<std::vector<cd>> diag;
  for (int i = 0; i < 3; ++i) {
    auto k = random_matrix(8, rng());
    for (int64_t r = 0; r < 8; ++r)
      for (int64_t col = 0; col < 8; ++col)
        if (r != col) k[r * 8 + col] = 0;
    diag.push_back(k);
  }
  c.push_back({"random_diagonal_3q", 4, {3, 1, 0}, diag, ChannelKernel::kDiagonal});
  return c;
}

class SubspaceChannel : public ::testing::TestWithParam<Case> {};

TEST_P(SubspaceChannel, MatchesEmbeddedFullChannel) {
  const Case& c = GetParam();
  const int64_t dim = int64_t{1} << c.n, d = int64_t{1} << c.targets.size();
  const auto m = static_cast<int64_t>(c.ops.size());
  const auto rho0 = random_density(c.n, rng());
  const Flat ops = concat(c.ops);
  const Flat full_ops = embed_all(c.ops, c.targets, c.n);
  const Flat want = copy(channel(span(to_flat(rho0)), span(full_ops), m, dim));

  Flat rho = to_flat(rho0);
  EXPECT_EQ(choose_channel_kernel(span(rho), span(ops), m, d, ints(c.targets), c.n), c.kernel);
  channel_subspace_into(mut(rho), span(ops), m, d, ints(c.targets), c.n);
  // A permutation moves entries without arithmetic; the full-size sums with
  // zeros and ones reproduce the same values exactly.
  expect_close(rho, want, c.kernel == ChannelKernel::kPermutation ? 0.0 : 1e-12);

  // The general block algorithm agrees with whichever kernel ran.
  Flat general = to_flat(rho0);
  channel_general_into(mut(general), span(ops), m, d, ints(c.targets), c.n);
  expect_close(general, rho, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Paths, SubspaceChannel, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

TEST(SubspaceChannel, WorkedExamples) {
  // Bit flip on |0><0| gives diag(p, 1-p).
  const double p = 0.25;
  Flat rho = to_flat(mat2(1, 0, 0, 0));
  const Flat ops = concat({scaled(kI, std::sqrt(p)), scaled(kX, std::sqrt(1 - p))});
  const std::vector<int64_t> t0 = {0};
  channel_subspace_into(mut(rho), span(ops), 2, 2, ints(t0), 1);
  expect_close(rho, to_flat(mat2(p, 0, 0, 1 - p)), 1e-15);
  // Amplitude damping on |1><1| gives diag(g, 1-g); coherences scale by sqrt(1-g).
  const double g = 0.36;
  const Flat ad = concat({mat2(1, 0, 0, std::sqrt(1 - g)), mat2(0, std::sqrt(g), 0, 0)});
  Flat one = to_flat(mat2(0, 0, 0, 1));
  channel_subspace_into(mut(one), span(ad), 2, 2, ints(t0), 1);
  expect_close(one, to_flat(mat2(g, 0, 0, 1 - g)), 1e-15);
  Flat plus = to_flat(mat2(0.5, 0.5, 0.5, 0.5));
  channel_subspace_into(mut(plus), span(ad), 2, 2, ints(t0), 1);
  expect_close(plus, to_flat(mat2(0.5 + 0.5 * g, 0.5 * 0.8, 0.5 * 0.8, 0.5 * (1 - g))), 1e-15);
  // CNOT on [0, 1] moves |10><10| to |11><11|; on [1, 0] |01><01| to |11><11|.
  const Flat cnot = to_flat(permutation_matrix({0, 1, 3, 2}));
  auto basis_rho = [](int64_t i) {
    Flat f(32, 0.0);
    f[2 * (i * 4 + i)] = 1.0;
    return f;
  };
  const std::vector<int64_t> t01 = {0, 1}, t10 = {1, 0};
  Flat r2 = basis_rho(2);
  channel_subspace_into(mut(r2), span(cnot), 1, 4, ints(t01), 2);
  EXPECT_EQ(r2, basis_rho(3));
  Flat r1 = basis_rho(1);
  channel_subspace_into(mut(r1), span(cnot), 1, 4, ints(t10), 2);
  EXPECT_EQ(r1, basis_rho(3));
}

// The kernel chosen for `ops` on `targets` of an n-qubit zero matrix.
ChannelKernel kernel_for(const std::vector<std::vector<cd>>& ops, std::vector<int64_t> targets, int64_t n = 3) {
  const Flat rho(static_cast<size_t>(2) << (2 * n), 0.0);
  const Flat flat = concat(ops);
  return choose_channel_kernel(span(rho), span(flat), static_cast<int64_t>(ops.size()),
                               int64_t{1} << targets.size(), ints(targets), n);
}

TEST(Dispatch, ThresholdsOfTheStructureTests) {
  // Permutation entries must be one within 1e-15 in both parts.
  EXPECT_EQ(kernel_for({mat2(0, 1 + 1e-16, 1, 0)}, {0}), ChannelKernel::kPermutation);
  EXPECT_EQ(kernel_for({mat2(0, cd(1, 2e-15), 1, 0)}, {0}), ChannelKernel::kSubspace2x2);
  EXPECT_EQ(kernel_for({mat2(0, cd(0, 1), 1, 0)}, {0}), ChannelKernel::kSubspace2x2);
  // An entry of 1e-10 is not significant (square 1e-20); 1e-8 is (1e-16).
  EXPECT_EQ(kernel_for({mat2(1e-10, 1, 1, 0)}, {0}), ChannelKernel::kPermutation);
  EXPECT_EQ(kernel_for({mat2(1e-8, 1, 1, 0)}, {0}), ChannelKernel::kSubspace2x2);
  auto cnot = permutation_matrix({0, 1, 3, 2});
  cnot[1] = 1e-8;
  EXPECT_EQ(kernel_for({cnot}, {0, 1}), ChannelKernel::kGeneral);
  auto dephase = kron(kZ, kZ);
  dephase[1] = 1e-10;
  EXPECT_EQ(kernel_for({kron(kI, kI), dephase}, {0, 2}), ChannelKernel::kDiagonal);
  dephase[1] = 1e-8;
  EXPECT_EQ(kernel_for({kron(kI, kI), dephase}, {0, 2}), ChannelKernel::kGeneral);
  // Two permutations are not "a single permutation".
  EXPECT_EQ(kernel_for({permutation_matrix({1, 0, 2, 3}), permutation_matrix({0, 1, 3, 2})}, {1, 2}),
            ChannelKernel::kGeneral);
  // No operators: the 2x2 kernel on one target, the diagonal kernel otherwise.
  EXPECT_EQ(kernel_for({}, {1}), ChannelKernel::kSubspace2x2);
  EXPECT_EQ(kernel_for({}, {1, 0}), ChannelKernel::kDiagonal);
  // No targets, or no qubits: nothing to do.
  EXPECT_EQ(kernel_for({{1}}, {}), ChannelKernel::kNone);
  const std::vector<int64_t> none;
  EXPECT_EQ(choose_channel_kernel(F64Span(), F64Span(), 1, 2, ints(none), 0), ChannelKernel::kNone);
}

TEST(Dispatch, TinyOffDiagonalIsDroppedByTheDiagonalKernel) {
  auto dephase = scaled(kron(kZ, kZ), std::sqrt(0.5));
  auto noisy = dephase;
  noisy[1] = 1e-10;
  const std::vector<int64_t> t = {1, 2};
  const auto rho0 = random_density(3, rng());
  Flat got = to_flat(rho0), want = to_flat(rho0);
  const Flat with_noise = concat({scaled(kron(kI, kI), std::sqrt(0.5)), noisy});
  const Flat without = concat({scaled(kron(kI, kI), std::sqrt(0.5)), dephase});
  channel_subspace_into(mut(got), span(with_noise), 2, 4, ints(t), 3);
  channel_subspace_into(mut(want), span(without), 2, 4, ints(t), 3);
  EXPECT_TRUE(same_bytes(got, want));
}

TEST(Dispatch, NoOperatorsClearRho) {
  for (const std::vector<int64_t>& t : {std::vector<int64_t>{1}, std::vector<int64_t>{0, 1}}) {
    for (int64_t m : {0, -2}) {
      Flat rho = to_flat(random_density(2, rng()));
      channel_subspace_into(mut(rho), F64Span(), m, int64_t{1} << t.size(), ints(t), 2);
      EXPECT_EQ(rho, Flat(32, 0.0));
    }
  }
}

TEST(Dispatch, NoTargetsOrNoQubitsLeaveRhoAlone) {
  const Flat before = to_flat(random_density(2, rng()));
  Flat rho = before;
  const std::vector<int64_t> none, dup = {0, 0};
  channel_subspace_into(mut(rho), F64Span(), 5, 99, ints(none), 2);
  channel_subspace_into(mut(rho), F64Span(), 5, 99, ints(dup), 0);
  channel_subspace_into(mut(rho), F64Span(), 5, 99, ints(dup), -4);
  EXPECT_TRUE(same_bytes(rho, before));
}

// ---- rejections -----------------------------------------------------------------

TEST(Rejections, LeaveRhoUntouched) {
  const Flat before = to_flat(random_density(2, rng()));
  const Flat x = to_flat(kX);
  const Flat two_x = concat({kX, kX});
  const Flat cnot = to_flat(permutation_matrix({0, 1, 3, 2}));
  struct Bad {
    Flat rho;
    const Flat* ops;
    int64_t m, d;
    std::vector<int64_t> targets;
    int64_t n;
    std::string message;
  };
  const Flat short_rho(before.begin(), before.end() - 1);
  const std::vector<Bad> bad = {
      {before, &x, 1, 2, {2}, 2, "target out of range: 2 (num_qubits 2)"},
      {before, &x, 1, 2, {-1}, 2, "target out of range: -1 (num_qubits 2)"},
      {before, &cnot, 1, 4, {1, 1}, 2, "duplicate target: 1"},
      {before, &cnot, 1, 4, {0}, 2, "operator dimension 4 does not match 1 target(s): need 2"},
      {before, &x, 1, 2, {0, 1}, 2, "operator dimension 2 does not match 2 target(s): need 4"},
      {before, &x, 2, 2, {0}, 2, "operators too short: 8 floats for 2 operator(s) of dimension 2"},
      {before, &two_x, INT64_MAX / 4, 2, {0}, 2,
       "operators too short: 16 floats for 2305843009213693951 operator(s) of dimension 2"},
      {short_rho, &x, 1, 2, {0}, 2, "rho too short for 2 qubits: 31 floats"},
      {before, &x, 1, 2, {0}, 31, "rho too short for 31 qubits: 32 floats"},
  };
  for (const Bad& b : bad) {
    Flat rho = b.rho;
    EXPECT_EQ(panic_of([&] { channel_subspace_into(mut(rho), span(*b.ops), b.m, b.d, ints(b.targets), b.n); }),
              b.message);
    EXPECT_TRUE(same_bytes(rho, b.rho)) << b.message;
    EXPECT_EQ(panic_of([&] { choose_channel_kernel(span(rho), span(*b.ops), b.m, b.d, ints(b.targets), b.n); }),
              b.message);
  }
}

TEST(Rejections, LongerRhoKeepsItsTail) {
  const auto rho0 = random_density(1, rng());
  Flat rho = to_flat(rho0);
  rho.push_back(7.5);
  const Flat x = to_flat(kX);
  const std::vector<int64_t> t = {0};
  channel_subspace_into(mut(rho), span(x), 1, 2, ints(t), 1);
  EXPECT_EQ(rho.back(), 7.5);
  expect_close(Flat(rho.begin(), rho.end() - 1), to_flat(reference_channel(rho0, {kX}, 2)), 0.0);
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST(Interruption, EveryInPlaceKernelPutsBackWhatItWrote) {
  // Each kernel on a random rho, interrupted at its first, second, middle
  // and last question. The general kernel's cases are long enough as they
  // stand (8 qubits, 32 operators on 4 targets: 16 strips; 9 qubits, 40
  // operators on 2 targets of strides 64 and 8: the vector unit's
  // two-target path where it runs); the 2x2 case too (8 qubits, 200
  // operators). The memory-bound diagonal and permutation sweeps poll from
  // 12 qubits on; here the threshold is lowered to reach them on 11.
  struct Case {
    int64_t n, d, m;
    std::vector<int64_t> targets;
    enum { kRandom, kDiagonal, kPermutation } shape;
    ChannelKernel kernel;
    int64_t long_work;
  };
  // The log's storage outlives a call, so the cases run in an order where it
  // grows and is then taken again by a smaller log.
  const std::vector<Case> cases = {
      {8, 16, 32, {1, 4, 6, 7}, Case::kRandom, ChannelKernel::kGeneral, kLongWork},
      {9, 4, 40, {2, 5}, Case::kRandom, ChannelKernel::kGeneral, kLongWork},
      {8, 2, 200, {5}, Case::kRandom, ChannelKernel::kSubspace2x2, kLongWork},
      {8, 2, 200, {7}, Case::kRandom, ChannelKernel::kSubspace2x2, kLongWork},
      {11, 4, 3, {1, 6}, Case::kDiagonal, ChannelKernel::kDiagonal, 1},
      {11, 4, 1, {6, 1}, Case::kPermutation, ChannelKernel::kPermutation, 1},
      {8, 16, 32, {1, 4, 6, 7}, Case::kRandom, ChannelKernel::kGeneral, kLongWork},
  };
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (const Case& c : cases) {
    const int64_t n = c.n, d = c.d, m = c.m;
    Flat rho(static_cast<size_t>(2 << (2 * n)));
    for (double& x : rho) x = u(rng());
    Flat ops(static_cast<size_t>(2 * m * d * d), 0.0);
    for (int64_t i = 0; i < m; ++i) {
      for (int64_t r = 0; r < d; ++r) {
        for (int64_t col = 0; col < d; ++col) {
          const size_t at = static_cast<size_t>(2 * (i * d * d + r * d + col));
          const bool keep = c.shape == Case::kRandom || (c.shape == Case::kDiagonal && r == col) ||
                            (c.shape == Case::kPermutation && col == (r * 3 + 1) % d);
          if (!keep) continue;
          ops[at] = c.shape == Case::kPermutation ? 1.0 : u(rng()) / 16;
          ops[at + 1] = c.shape == Case::kPermutation ? 0.0 : u(rng()) / 16;
        }
      }
    }
    const I64Span targets(c.targets.data(), static_cast<int64_t>(c.targets.size()));
    ASSERT_EQ(choose_channel_kernel(span(rho), span(ops), m, d, targets, n), c.kernel) << n << " " << d;
    SCOPED_TRACE("kernel " + std::to_string(static_cast<int>(c.kernel)) + ", " + std::to_string(n) + " qubits");
    orvane::testing::expect_interruptions_restore(
        rho, [&](Flat& r) { channel_subspace_into(mut(r), span(ops), m, d, targets, n); }, c.long_work);
  }
}

}  // namespace
}  // namespace orvane
