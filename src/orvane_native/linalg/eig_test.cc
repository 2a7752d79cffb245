#include "orvane_native/linalg/eig.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/linalg/test_support.h"

namespace orvane {
namespace {

using namespace orvane::testing;

TEST(JacobiEig, ScalarAndDiagonalInputsNeedNoSweep) {
  const std::vector<double> five = {5.0};
  EXPECT_EQ(to_vector(jacobi_eig(span_of(five), 1)), (std::vector<double>{5.0, 1.0}));
  const std::vector<double> diag = {3, 0, 0, 0, -1, 0, 0, 0, 2};
  EXPECT_EQ(to_vector(jacobi_eig(span_of(diag), 3)),
            (std::vector<double>{3, -1, 2, 1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_TRUE(jacobi_eig({}, 0).empty());
}

TEST(JacobiEig, TwoByTwoRotation) {
  const std::vector<double> m = {0, 1, 1, 0};
  const auto r = jacobi_eig(span_of(m), 2);
  const double c = 1 / std::sqrt(2.0);
  const std::vector<double> expect = {-1, 1, c, c, -c, c};
  ASSERT_EQ(r.size(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(r[i], expect[i], 1e-15) << i;
}

TEST(JacobiEig, TinyOffDiagonalEntriesAreNeverRotated) {
  // Row 0 couples by 5e-15 only; the (1,2) rotation runs, (0,1) and (0,2) never.
  const std::vector<double> m = {1, 5e-15, 0, 5e-15, 2, 1, 0, 1, 3};
  const auto r = jacobi_eig(span_of(m), 3);
  EXPECT_EQ(r[0], 1.0);
  EXPECT_EQ(r[3], 1.0);
  EXPECT_EQ(r[4], 0.0);
  EXPECT_EQ(r[6], 0.0);
  EXPECT_NEAR(r[1] + r[2], 5.0, 1e-13);
}

TEST(JacobiEig, ShortAndNegativeSizes) {
  const std::vector<double> one = {1.0}, three = {0, 0, 0};
  EXPECT_EQ(message_of([&] { jacobi_eig(span_of(one), 2); }), "array.get: index out of range (i,a.len):1, 1");
  EXPECT_EQ(message_of([&] { jacobi_eig(span_of(three), 2); }), "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { jacobi_eig({}, 1); }), "array.get: index out of range (i,a.len):0, 0");
  EXPECT_EQ(message_of([&] { jacobi_eig({}, -1); }), "array.set: index out of range (i,a.len):-1, 0");
  EXPECT_EQ(message_of([&] { jacobi_eig({}, -2); }), "array.set: index out of range (i,a.len):-2, 2");
  EXPECT_THROW(jacobi_eig({}, int64_t{1} << 31), std::bad_alloc);
  EXPECT_THROW(jacobi_eig({}, int64_t{1} << 40), std::bad_alloc);
}

TEST(SimultaneousDiag, IdentityRealPartIsOneGroup) {
  const std::vector<double> a = {1, 0, 0, 1}, b = {0, 2, 2, 0};
  const auto r = simultaneous_diag(span_of(a), span_of(b), 2);
  ASSERT_EQ(r.size(), 8);
  EXPECT_NEAR(r[0], 1.0, 1e-15);
  EXPECT_NEAR(r[2], 1.0, 1e-15);
  EXPECT_NEAR(std::min(r[1], r[3]), -2.0, 1e-14);
  EXPECT_NEAR(std::max(r[1], r[3]), 2.0, 1e-14);
  EXPECT_NEAR(std::fabs(r[4]), 1 / std::sqrt(2.0), 1e-15);
}

TEST(SimultaneousDiag, GroupsAreMeasuredFromTheirFirstMember) {
  const std::vector<double> a = {0, 0, 0, 0, 0.6e-9, 0, 0, 0, 1.2e-9};
  // Coupling 0-1 in imag: the group {0, 1} mixes those columns.
  const std::vector<double> b01 = {0, 1, 0, 1, 0, 0, 0, 0, 5};
  const auto r01 = simultaneous_diag(span_of(a), span_of(b01), 3);
  EXPECT_NEAR(std::fabs(r01[6 + 0]), 1 / std::sqrt(2.0), 1e-15);
  EXPECT_EQ(r01[6 + 8], 1.0);
  // Coupling 1-2 only: 1.2e-9 is not within 1e-9 of 0, so nothing rotates.
  const std::vector<double> b12 = {5, 0, 0, 0, 0, 1, 0, 1, 0};
  const auto r12 = simultaneous_diag(span_of(a), span_of(b12), 3);
  EXPECT_EQ(std::vector<double>(r12.begin() + 6, r12.end()),
            (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(r12[3], 0.0);  // imag part of eigenvalue 1: w1' b w1 = b[1][1]
}

TEST(SimultaneousDiag, Failures) {
  EXPECT_EQ(message_of([] { simultaneous_diag({}, {}, 0); }), "array.get: index out of range (i,a.len):0, 0");
  EXPECT_EQ(message_of([] { simultaneous_diag({}, {}, -1); }),
            "array.set: index out of range (i,a.len):-1, 0");
  const std::vector<double> a = {1, 0, 0, 2}, short_b = {0, 0, 0};
  EXPECT_EQ(message_of([&] { simultaneous_diag(span_of(a), span_of(short_b), 2); }),
            "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { simultaneous_diag(span_of(short_b), span_of(a), 2); }),
            "array.get: index out of range (i,a.len):3, 3");
}

}  // namespace
}  // namespace orvane
