#include "orvane_native/linalg/pauli.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/test_support.h"
#include "orvane_native/support/cpu.h"

namespace orvane {
namespace {

using namespace orvane::testing;

const std::vector<cd> kI = {1, 0, 0, 1}, kX = {0, 1, 1, 0}, kY = {0, cd(0, -1), cd(0, 1), 0},
                      kZ = {1, 0, 0, -1};

TEST(PauliMatrix, BitsSelectTheMatrix) {
  EXPECT_EQ(to_vector(pauli_matrix(1, 0)), flat(kX));
  EXPECT_EQ(to_vector(pauli_matrix(0, 1)), flat(kZ));
  EXPECT_EQ(to_vector(pauli_matrix(1, 1)), flat(kY));
  for (auto [x, z] : {std::pair<int64_t, int64_t>{0, 0}, {2, 0}, {1, 2}, {-1, 1}}) {
    EXPECT_EQ(to_vector(pauli_matrix(x, z)), flat(kI)) << x << "," << z;
  }
}

TEST(PauliEntry, AgreesWithTheMatrices) {
  const std::vector<cd>* mats[4] = {&kI, &kX, &kY, &kZ};
  for (int64_t p = 0; p < 4; ++p) {
    for (int64_t a = 0; a < 2; ++a) {
      for (int64_t b = 0; b < 2; ++b) {
        const Complex e = pauli_entry(p, a, b);
        EXPECT_EQ(cd(e.re, e.im), (*mats[p])[2 * a + b]) << p << a << b;
      }
    }
  }
  // Bits are compared as integers: the identity's diagonal test is a == b,
  // and digits beyond 2 act as Z.
  EXPECT_EQ(pauli_entry(0, 5, 5).re, 1.0);
  EXPECT_EQ(pauli_entry(1, 5, 5).re, 0.0);
  EXPECT_EQ(pauli_entry(7, 1, 1).re, -1.0);
  EXPECT_EQ(pauli_entry(2, 1, 2).im, 0.0);
}

TEST(PauliExpansion, DocumentedExamples) {
  EXPECT_EQ(to_vector(pauli_expansion(span_of(flat(kI)), 1)),
            (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(to_vector(pauli_expansion(span_of(flat(kY)), 1)),
            (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(to_vector(pauli_expansion(span_of(flat({1, 0, 0, 0})), 1)),
            (std::vector<double>{0.5, 0, 0, 0, 0, 0, 0.5, 0}));
  EXPECT_EQ(to_vector(pauli_expansion(span_of(flat({0, 1, 0, 0})), 1)),
            (std::vector<double>{0, 0, 0.5, 0, 0, 0.5, 0, 0}));
  const std::vector<double> n0 = {-2.5, 0.75};
  EXPECT_EQ(to_vector(pauli_expansion(span_of(n0), 0)), n0);
}

// Term (r, c) of string j: entry (r, c) of P_j times entry (r, c) of the
// matrix, with the toolkit's fused products.
Complex string_term(const std::vector<double>& m, int64_t n, int64_t j, int64_t r, int64_t c) {
  const int64_t dim = int64_t{1} << n;
  Complex e{1.0, 0.0};
  for (int64_t b = n - 1; b >= 0; --b) e = mul(e, pauli_entry((j >> (2 * b)) & 3, (c >> b) & 1, (r >> b) & 1));
  return mul(e, Complex{m[2 * (r * dim + c)], m[2 * (r * dim + c) + 1]});
}

// The expansion as written: every term, columns outer, rows inner.
std::vector<double> written_expansion(const std::vector<double>& m, int64_t n) {
  const int64_t dim = int64_t{1} << n;
  std::vector<double> out(static_cast<size_t>(2 << (2 * n)));
  for (int64_t j = 0; j < (int64_t{1} << (2 * n)); ++j) {
    Complex acc{0.0, 0.0};
    for (int64_t c = 0; c < dim; ++c) {
      for (int64_t r = 0; r < dim; ++r) {
        const Complex p = string_term(m, n, j, r, c);
        acc = {acc.re + p.re, acc.im + p.im};
      }
    }
    out[2 * j] = acc.re / static_cast<double>(dim);
    out[2 * j + 1] = acc.im / static_cast<double>(dim);
  }
  return out;
}

TEST(PauliExpansion, EqualsTheWrittenSumBitForBit) {
  std::mt19937_64 rng(97);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  // Entries that make exact cancellations, signed zeros, overflowing sums,
  // subnormals, and (last) values that send the call through every entry.
  const double specials[] = {0.0, -0.0, 1.0, -1.0, 1e308, -1e308, 5e-324, 0.5,
                             INFINITY, NAN};
  for (int64_t n = 0; n <= 4; ++n) {
    for (int trial = 0; trial < 12; ++trial) {
      std::vector<double> m(static_cast<size_t>(2 << (2 * n)));
      for (double& x : m) {
        const int pick = static_cast<int>(rng() % 16);
        const int limit = trial < 10 ? 8 : 10;  // infinities and NaN in the last trials only
        x = pick < limit ? specials[pick] : u(rng);
      }
      const auto got = to_vector(pauli_expansion(span_of(m), n));
      const auto want = written_expansion(m, n);
      ASSERT_EQ(got.size(), want.size());
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(std::memcmp(&got[i], &want[i], sizeof(double)) == 0 || (std::isnan(got[i]) && std::isnan(want[i])))
            << "n " << n << " trial " << trial << " float " << i << ": " << got[i] << " vs " << want[i];
      }
    }
  }
}

// The same sums over the one non-zero entry of each column, string after
// string, in the written order (columns ascending): the order the expansion
// must keep, at sizes where the written sum above takes too long.
std::vector<double> ordered_expansion(const std::vector<double>& m, int64_t n) {
  const int64_t dim = int64_t{1} << n;
  std::vector<double> out(static_cast<size_t>(2 << (2 * n)));
  for (int64_t j = 0; j < (int64_t{1} << (2 * n)); ++j) {
    int64_t x = 0;
    for (int64_t b = 0; b < n; ++b) {
      const int64_t digit = (j >> (2 * b)) & 3;
      if (digit == 1 || digit == 2) x |= int64_t{1} << b;
    }
    Complex acc{0.0, 0.0};
    for (int64_t c = 0; c < dim; ++c) {
      const Complex p = string_term(m, n, j, c ^ x, c);
      acc = {acc.re + p.re, acc.im + p.im};
    }
    out[2 * j] = acc.re / static_cast<double>(dim);
    out[2 * j + 1] = acc.im / static_cast<double>(dim);
  }
  return out;
}

TEST(PauliExpansion, KeepsTheOrderOfEverySumUpToSevenQubits) {
  // Any change of the order of a string's terms shows on these inputs:
  // sums that cancel exactly, that overflow and come back (1e308 then its
  // negation), and that lose low bits (1 + 2^-53 and 2^-53 + 1 differ).
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double specials[] = {0.0, -0.0, 1.0, -1.0, 1e308, -1e308, 0x1p-53, -0x1p-53, 5e-324, 0.1, -0.1, 3.0};
  for (bool vector : {true, false}) {
    cpu::set_vector_variants(vector);
    for (int64_t n = 2; n <= 7; ++n) {
      for (int trial = 0; trial < (n < 7 ? 4 : 2); ++trial) {
        std::vector<double> m(static_cast<size_t>(2 << (2 * n)));
        for (double& x : m) {
          const int pick = static_cast<int>(rng() % 24);
          x = pick < 12 ? specials[pick] : u(rng);
        }
        const auto got = to_vector(pauli_expansion(span_of(m), n));
        const auto want = ordered_expansion(m, n);
        ASSERT_EQ(got.size(), want.size());
        int wrong = 0;
        for (size_t i = 0; i < got.size(); ++i) wrong += std::memcmp(&got[i], &want[i], sizeof(double)) != 0;
        EXPECT_EQ(wrong, 0) << "vector " << vector << " n " << n << " trial " << trial;
      }
    }
  }
  cpu::set_vector_variants(true);
}

TEST(PauliExpansion, KronOfXAndZIsStringSeven) {
  const auto xz = kron(span_of(flat(kX)), 2, span_of(flat(kZ)), 2);
  const auto c = pauli_expansion(xz, 2);
  ASSERT_EQ(c.size(), 32);
  for (int64_t j = 0; j < 16; ++j) {
    EXPECT_EQ(c[2 * j], j == 7 ? 1.0 : 0.0) << j;
    EXPECT_EQ(c[2 * j + 1], 0.0) << j;
  }
}

TEST(PauliExpansion, SizesOutsideTheRange) {
  for (int64_t n : std::initializer_list<int64_t>{32, 64, -1, std::numeric_limits<int64_t>::min() + 16}) {
    EXPECT_TRUE(pauli_expansion({}, n).empty()) << n;
  }
  EXPECT_EQ(message_of([] { pauli_expansion({}, 31); }), "negative .len:-9223372036854775808");
  EXPECT_THROW(pauli_expansion({}, 30), std::bad_alloc);
  EXPECT_THROW(pauli_expansion({}, 29), std::bad_alloc);
}

TEST(PauliExpansion, ShortInputFailsInColumnOrder) {
  // Column 0 is read first: entry (1, 0) is float 4.
  const std::vector<double> four(4, 0.0), six(6, 0.0);
  EXPECT_EQ(message_of([&] { pauli_expansion(span_of(four), 1); }),
            "array.get: index out of range (i,a.len):4, 4");
  EXPECT_EQ(message_of([&] { pauli_expansion(span_of(six), 1); }),
            "array.get: index out of range (i,a.len):6, 6");
  EXPECT_EQ(message_of([&] { pauli_expansion({}, 0); }), "array.get: index out of range (i,a.len):0, 0");
}

}  // namespace
}  // namespace orvane
