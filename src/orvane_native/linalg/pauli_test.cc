#include "orvane_native/linalg/pauli.h"

#include <gtest/gtest.h>

#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/test_support.h"

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
