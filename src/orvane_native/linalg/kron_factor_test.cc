#include "orvane_native/linalg/kron_factor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/test_support.h"

namespace orvane {
namespace {

using namespace orvane::testing;

const cd kI1(0, 1);

std::vector<cd> part(const F64Array& r, int64_t start, int64_t count) {
  std::vector<cd> v;
  for (int64_t i = 0; i < count; ++i) v.emplace_back(r[start + 2 * i], r[start + 2 * i + 1]);
  return v;
}

TEST(NormalizeDet2, Examples) {
  EXPECT_EQ(unflat(normalize_det2(span_of(flat({4, 0, 0, 1})))), (std::vector<cd>{2, 0, 0, 0.5}));
  const auto r = unflat(normalize_det2(span_of(flat({-1, 0, 0, 1}))));
  EXPECT_LT(max_distance(r, {kI1, 0, 0, -kI1}), 1e-16);
  const std::vector<double> singular = flat({1, 2, 2, 4});
  EXPECT_EQ(to_vector(normalize_det2(span_of(singular))), singular);
}

TEST(NormalizeDet2, NegativeImaginaryDeterminantTakesTheLowerRoot) {
  // det = -i: s = (1 - i)/sqrt(2), so the entries become e^{+-i pi/4}.
  const auto r = unflat(normalize_det2(span_of(flat({1, 0, 0, -kI1}))));
  const cd w = std::polar(1.0, M_PI / 4);
  EXPECT_LT(max_distance(r, {w, 0, 0, std::conj(w)}), 1e-15);
}

TEST(KronFactor, IdentityAndMinusIdentity) {
  std::vector<cd> id(16);
  for (int i = 0; i < 4; ++i) id[5 * i] = 1;
  const auto r = kron_factor(span_of(flat(id)));
  EXPECT_EQ(to_vector(r), flat({1, 1, 0, 0, 1, 1, 0, 0, 1}));
  for (auto& z : id) z = -z;
  const auto m = kron_factor(span_of(flat(id)));
  EXPECT_EQ(to_vector(m), flat({1, 1, 0, 0, 1, -1, 0, 0, -1}));
}

TEST(KronFactor, XKronZ) {
  const auto xz = kron(span_of(flat({0, 1, 1, 0})), 2, span_of(flat({1, 0, 0, -1})), 2);
  const auto r = kron_factor(xz);
  ASSERT_EQ(r.size(), 18);
  EXPECT_LT(std::abs(cd(r[0], r[1]) - 1.0), 1e-15);
  EXPECT_LT(max_distance(part(r, 2, 4), {0, kI1, kI1, 0}), 1e-15);
  EXPECT_LT(max_distance(part(r, 10, 4), {-kI1, 0, 0, kI1}), 1e-15);
}

TEST(KronFactor, ZeroMatrixGivesNaNFactor) {
  const auto r = kron_factor(span_of(std::vector<double>(32, 0.0)));
  EXPECT_TRUE(std::isnan(r[0]));
  EXPECT_TRUE(std::isnan(r[1]));
  for (int i = 2; i < 18; ++i) EXPECT_EQ(r[i], 0.0);
}

TEST(KronFactor, NaNEntriesAreNeverThePivot) {
  // A NaN at (0,0) is passed over: the pivot becomes (1,1), whose slice
  // through the low bits gives the exact identity for A, while the NaN block
  // makes B and g NaN. A NaN pivot would have made A NaN too.
  std::vector<cd> id(16);
  for (int i = 0; i < 4; ++i) id[5 * i] = 1;
  id[0] = cd(std::nan(""), 0);
  const auto r = kron_factor(span_of(flat(id)));
  EXPECT_EQ(std::vector<double>(r.begin() + 2, r.begin() + 10), flat({1, 0, 0, 1}));
  EXPECT_TRUE(std::isnan(r[0]));
  EXPECT_TRUE(std::isnan(r[10]));
}

TEST(KronFactor, ShortInputFailsAtItsLength) {
  for (int len : {0, 5, 31}) {
    const std::vector<double> m(len, 1.0);
    EXPECT_EQ(message_of([&] { kron_factor(span_of(m)); }),
              "array.get: index out of range (i,a.len):" + std::to_string(len) + ", " + std::to_string(len));
  }
}

}  // namespace
}  // namespace orvane
