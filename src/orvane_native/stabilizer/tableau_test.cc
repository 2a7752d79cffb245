#include "orvane_native/stabilizer/reference/tableau.h"

#include <gtest/gtest.h>

#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {

using testing::message_of;

std::vector<int64_t> all_bits(const Tableau& t) {
  std::vector<int64_t> v(t.x().begin(), t.x().end());
  v.insert(v.end(), t.z().begin(), t.z().end());
  v.insert(v.end(), t.r().begin(), t.r().end());
  return v;
}

// A tableau reached by a random circuit with random signs everywhere.
Tableau random_tableau(std::mt19937_64& rng, int64_t n) {
  Tableau t = new_tableau(n);
  const auto s = testing::random_stream(rng, n, 40);
  for (size_t i = 0; i < s.size(); i += 3) t.apply(s[i], s[i + 1], s[i + 2]);
  return t;
}

TEST(Tableau, ZeroStateLayout) {
  const Tableau t0 = new_tableau(0);
  EXPECT_TRUE(t0.x().empty());
  EXPECT_TRUE(t0.z().empty());
  EXPECT_EQ(std::vector<int64_t>(t0.r().begin(), t0.r().end()), std::vector<int64_t>{0});

  const Tableau t = new_tableau(2);
  EXPECT_EQ(std::vector<int64_t>(t.x().begin(), t.x().end()), (std::vector<int64_t>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::vector<int64_t>(t.z().begin(), t.z().end()), (std::vector<int64_t>{0, 0, 0, 0, 1, 0, 0, 1, 0, 0}));
  EXPECT_EQ(std::vector<int64_t>(t.r().begin(), t.r().end()), (std::vector<int64_t>{0, 0, 0, 0, 0}));
}

TEST(Tableau, NegativeAndHugeSizes) {
  EXPECT_EQ(message_of([] { new_tableau(-1); }), "negative .len:-1");
  EXPECT_EQ(message_of([] { new_tableau(-3); }), "negative .len:-5");
  EXPECT_THROW(new_tableau(int64_t{1} << 40), std::bad_alloc);
  EXPECT_THROW(new_tableau(INT64_MAX), std::bad_alloc);
  EXPECT_THROW(new_tableau(INT64_MIN), std::bad_alloc);
}

TEST(Tableau, GateIdentitiesOnRandomTableaux) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const int64_t n = 1 + trial % 5;
    Tableau t = random_tableau(rng, n);
    const int64_t a = static_cast<int64_t>(rng() % n);
    const auto before = all_bits(t);

    t.hadamard(a);
    t.hadamard(a);
    EXPECT_EQ(all_bits(t), before) << "H H";

    for (int k = 0; k < 4; ++k) t.phase(a);
    EXPECT_EQ(all_bits(t), before) << "S^4";

    t.phase(a);
    t.phase(a);
    const auto ss = all_bits(t);
    t.phase(a);
    t.phase(a);
    t.pauli_z(a);
    EXPECT_EQ(all_bits(t), ss) << "S S = Z";
    t.pauli_z(a);

    t.apply(instr_s, a, 0);
    t.apply(instr_sdg, a, 0);
    EXPECT_EQ(all_bits(t), before) << "S Sdg";

    t.pauli_x(a);
    t.pauli_z(a);
    const auto xz = all_bits(t);
    t.pauli_z(a);
    t.pauli_x(a);
    t.pauli_y(a);
    EXPECT_EQ(all_bits(t), xz) << "Y = X then Z on signs";
    t.pauli_y(a);
    EXPECT_EQ(all_bits(t), before);

    if (n >= 2) {
      int64_t b = static_cast<int64_t>(rng() % n);
      if (b == a) b = (a + 1) % n;
      t.cnot(a, b);
      t.cnot(a, b);
      EXPECT_EQ(all_bits(t), before) << "CNOT CNOT";
      t.cz(a, b);
      t.cz(a, b);
      EXPECT_EQ(all_bits(t), before) << "CZ CZ";
      t.cz(a, b);
      const auto cz_ab = all_bits(t);
      t.cz(a, b);
      t.cz(b, a);
      EXPECT_EQ(all_bits(t), cz_ab) << "CZ symmetric";
      t.cz(b, a);
      t.swap(a, b);
      t.swap(b, a);
      EXPECT_EQ(all_bits(t), before) << "SWAP SWAP";
    }
  }
}

TEST(Tableau, RandomCircuitsMatchDenseSimulation) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const int64_t n = 1 + trial % 5;
    Tableau t = new_tableau(n);
    DenseState psi(n);
    const auto s = testing::random_stream(rng, n, 30);
    for (size_t i = 0; i < s.size(); i += 3) {
      t.apply(s[i], s[i + 1], s[i + 2]);
      psi.gate(s[i], s[i + 1], s[i + 2]);
    }
    testing::expect_stabilizes(t, psi);
    testing::expect_symplectic_pairs(t);
  }
}

TEST(Tableau, SingleGateExamples) {
  Tableau t = new_tableau(2);
  t.pauli_x(0);
  EXPECT_EQ(std::vector<int64_t>(t.r().begin(), t.r().end()), (std::vector<int64_t>{0, 0, 1, 0, 0}));
  Tableau u = new_tableau(2);
  u.pauli_z(0);
  EXPECT_EQ(std::vector<int64_t>(u.r().begin(), u.r().end()), (std::vector<int64_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ(testing::row_x(u, 0), (std::vector<int64_t>{1, 0}));

  Tableau bell = new_tableau(2);
  bell.hadamard(0);
  bell.cnot(0, 1);
  EXPECT_EQ(testing::row_x(bell, 2), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(testing::row_z(bell, 2), (std::vector<int64_t>{0, 0}));
  EXPECT_EQ(testing::row_x(bell, 3), (std::vector<int64_t>{0, 0}));
  EXPECT_EQ(testing::row_z(bell, 3), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(bell.r()[2], 0);
  EXPECT_EQ(bell.r()[3], 0);
}

TEST(Tableau, GFunction) {
  for (int64_t x2 : {0, 1})
    for (int64_t z2 : {0, 1}) EXPECT_EQ(g(0, 0, x2, z2), 0);
  EXPECT_EQ(g(1, 1, 1, 1), 0);
  EXPECT_EQ(g(1, 0, 1, 1), 1);
  EXPECT_EQ(g(0, 1, 1, 1), -1);
  // Against the products of the Pauli matrices: P1 P2 = i^g P3.
  const testing::cd i(0, 1);
  const testing::cd m[4][2][2] = {{{1, 0}, {0, 1}}, {{0, 1}, {1, 0}}, {{1, 0}, {0, -1}}, {{0, -i}, {i, 0}}};
  auto index = [](int64_t x, int64_t z) { return x && z ? 3 : x ? 1 : z ? 2 : 0; };
  for (int64_t x1 : {0, 1})
    for (int64_t z1 : {0, 1})
      for (int64_t x2 : {0, 1})
        for (int64_t z2 : {0, 1}) {
          const auto& a = m[index(x1, z1)];
          const auto& b = m[index(x2, z2)];
          const auto& c = m[index(x1 ^ x2, z1 ^ z2)];
          const testing::cd phase = std::pow(i, static_cast<int>(g(x1, z1, x2, z2)));
          for (int r = 0; r < 2; ++r)
            for (int col = 0; col < 2; ++col) {
              const testing::cd prod = a[r][0] * b[0][col] + a[r][1] * b[1][col];
              EXPECT_NEAR(std::abs(prod - phase * c[r][col]), 0.0, 1e-12);
            }
        }
}

TEST(Tableau, RowsumExamples) {
  // Row i = +XX, row h = +ZZ: the product is -YY.
  Tableau t = new_tableau(2);
  t.hadamard(0);
  t.cnot(0, 1);  // rows 2 = +XX, 3 = +ZZ
  t.rowsum(3, 2);
  EXPECT_EQ(testing::row_x(t, 3), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(testing::row_z(t, 3), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(t.r()[3], 1);

  // Two equal rows of sign +: product is +I.
  Tableau u = new_tableau(2);
  u.rowsum(4, 2);  // scratch row = Z0
  u.rowsum(4, 2);
  EXPECT_EQ(testing::row_x(u, 4), (std::vector<int64_t>{0, 0}));
  EXPECT_EQ(testing::row_z(u, 4), (std::vector<int64_t>{0, 0}));
  EXPECT_EQ(u.r()[4], 0);

  EXPECT_EQ(message_of([&] { u.rowsum(5, 0); }), "array.get: index out of range (i,a.len):5, 5");
  EXPECT_EQ(message_of([&] { u.rowsum(0, -1); }), "array.get: index out of range (i,a.len):-1, 5");
}

TEST(Tableau, OperandsAreCheckedBeforeAnyWrite) {
  Tableau t = new_tableau(2);
  t.hadamard(1);
  const auto before = all_bits(t);
  EXPECT_EQ(message_of([&] { t.hadamard(2); }), "qubit operand out of range: 2 (num_qubits 2)");
  EXPECT_EQ(message_of([&] { t.phase(-1); }), "qubit operand out of range: -1 (num_qubits 2)");
  EXPECT_EQ(message_of([&] { t.cnot(0, 3); }), "qubit operand out of range: 3 (num_qubits 2)");
  EXPECT_EQ(message_of([&] { t.cnot(1, 1); }), "two-qubit gate on one qubit: 1");
  EXPECT_EQ(message_of([&] { t.swap(0, 0); }), "two-qubit gate on one qubit: 0");
  EXPECT_EQ(message_of([&] { t.measure(2, 0.1); }), "qubit operand out of range: 2 (num_qubits 2)");
  EXPECT_EQ(all_bits(t), before);

  Tableau empty = new_tableau(0);
  EXPECT_EQ(message_of([&] { empty.hadamard(0); }), "qubit operand out of range: 0 (num_qubits 0)");
}

TEST(Tableau, ViewChecksSizesAndSharesStorage) {
  std::vector<int64_t> x(10), z(10), r(5);
  EXPECT_EQ(message_of([&] { Tableau::view(2, {x.data(), 10}, {z.data(), 10}, {r.data(), 4}); }),
            "tableau arrays (x 10, z 10, r 4 entries) do not fit num_qubits 2");
  EXPECT_EQ(message_of([&] { Tableau::view(3, {x.data(), 10}, {z.data(), 10}, {r.data(), 5}); }),
            "tableau arrays (x 10, z 10, r 5 entries) do not fit num_qubits 3");
  Tableau v = Tableau::view(2, {x.data(), 10}, {z.data(), 10}, {r.data(), 5});
  v.reset();
  v.pauli_x(1);
  EXPECT_EQ(x, (std::vector<int64_t>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r, (std::vector<int64_t>{0, 0, 0, 1, 0}));
}

TEST(Tableau, ToFlatLayout) {
  Tableau t = new_tableau(1);
  t.hadamard(0);
  EXPECT_EQ(testing::ints(t.to_flat()), (std::vector<int64_t>{0, 1, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(testing::ints(new_tableau(0).to_flat()), std::vector<int64_t>{0});
}

}  // namespace
}  // namespace orvane
