#include "orvane_native/linalg/elimination.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/linalg/test_support.h"

namespace orvane {
namespace {

using namespace orvane::testing;

TEST(MatrixDet, DegenerateSizes) {
  EXPECT_EQ(to_vector(matrix_det({}, 0)), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(to_vector(matrix_det({}, -3)), (std::vector<double>{1.0, 0.0}));
}

TEST(MatrixDet, DocumentedExamples) {
  const auto swap = matrix_det(span_of(flat({0, 1, 1, 0})), 2);
  EXPECT_EQ(swap[0], -1.0);
  EXPECT_EQ(bits(swap[1]), bits(-0.0));
  const auto d = matrix_det(span_of(flat({1, 2, 3, 4})), 2);
  EXPECT_NEAR(d[0], -2.0, 1e-15);
  EXPECT_EQ(d[1], 0.0);
  // Equal moduli in column 0: the top row stays the pivot, so no swap
  // negates the zero imaginary part (a swap would leave it -0.0).
  const auto tie = matrix_det(span_of(flat({-1, 1, 1, 1})), 2);
  EXPECT_EQ(tie[0], -2.0);
  EXPECT_EQ(bits(tie[1]), bits(0.0));
  EXPECT_EQ(to_vector(matrix_det(span_of(flat({1e-15, 0, 0, 1e-15})), 2)), (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(to_vector(matrix_det(span_of(flat({1, 1, 1, 1})), 2)), (std::vector<double>{0.0, 0.0}));
}

TEST(MatrixDet, ShortInputNamesTheFirstMissingFloat) {
  // Column 0 is scanned first (floats 0,1 and 4,5), then row 0 and row 1.
  const std::vector<double> six = {1, 0, 2, 0, 3, 0}, three = {1, 0, 2};
  EXPECT_EQ(message_of([&] { matrix_det(span_of(six), 2); }), "array.get: index out of range (i,a.len):6, 6");
  EXPECT_EQ(message_of([&] { matrix_det(span_of(three), 2); }), "array.get: index out of range (i,a.len):4, 3");
  EXPECT_THROW(matrix_det({}, int64_t{1} << 32), std::bad_alloc);
}

TEST(MatrixInverse, DegenerateAndSingular) {
  EXPECT_TRUE(matrix_inverse({}, 0).empty());
  const std::vector<double> anything = {3, 4, 5};
  EXPECT_EQ(to_vector(matrix_inverse(span_of(anything), -1)), std::vector<double>(2, 0.0));
  EXPECT_EQ(to_vector(matrix_inverse(span_of(anything), -2)), std::vector<double>(8, 0.0));
  EXPECT_TRUE(matrix_inverse(span_of(flat({1, 1, 1, 1})), 2).empty());
  EXPECT_TRUE(matrix_inverse(span_of(flat({1e-15, 0, 0, 1e-15})), 2).empty());
}

TEST(MatrixInverse, DiagonalExample) {
  const auto r = matrix_inverse(span_of(flat({2, 0, 0, cd(0, 4)})), 2);
  EXPECT_EQ(to_vector(r), flat({0.5, 0, 0, cd(0, -0.25)}));
}

TEST(MatrixInverse, ShortInput) {
  const std::vector<double> six = {1, 0, 2, 0, 3, 0};
  EXPECT_EQ(message_of([&] { matrix_inverse(span_of(six), 2); }),
            "array.get: index out of range (i,a.len):6, 6");
  EXPECT_THROW(matrix_inverse({}, int64_t{1} << 30), std::bad_alloc);
}

TEST(Solve3, Examples) {
  const std::vector<double> id = {1, 0, 0, 0, 1, 0, 0, 0, 1}, rhs = {1, 2, 3};
  EXPECT_EQ(to_vector(solve3(span_of(id), span_of(rhs))), rhs);
  const std::vector<double> swapped = {0, 1, 0, 2, 0, 0, 0, 0, 4};
  EXPECT_EQ(to_vector(solve3(span_of(swapped), span_of(rhs))), (std::vector<double>{1.0, 1.0, 0.75}));
  const std::vector<double> zero_col = {0, 1, 2, 0, 3, 4, 0, 5, 7};
  for (double v : solve3(span_of(zero_col), span_of(rhs))) EXPECT_FALSE(std::isfinite(v));
}

TEST(Solve3, ShortInputsInReadOrder) {
  const std::vector<double> two = {1, 2}, nine(9, 1.0), three = {1, 2, 3}, five(5, 1.0);
  EXPECT_EQ(message_of([&] { solve3(span_of(two), span_of(three)); }),
            "array.get: index out of range (i,a.len):2, 2");
  EXPECT_EQ(message_of([&] { solve3(span_of(nine), {}); }), "array.get: index out of range (i,a.len):0, 0");
  // Row 0 and rhs[0] come before matrix[3].
  EXPECT_EQ(message_of([&] { solve3(span_of(five), span_of(two)); }),
            "array.get: index out of range (i,a.len):5, 5");
  EXPECT_EQ(message_of([&] { solve3(span_of(three), {}); }), "array.get: index out of range (i,a.len):0, 0");
}

}  // namespace
}  // namespace orvane
