#include "orvane_native/support/array.h"

#include <gtest/gtest.h>

#include "orvane_native/support/field.h"
#include "orvane_native/support/testing.h"

namespace orvane {
namespace {

using testing::message_of;

TEST(Array, ZeroFilledAndChecked) {
  F64Array a(3);
  EXPECT_EQ(a.size(), 3);
  for (double v : a) EXPECT_EQ(v, 0.0);
  a.set(2, 1.5);
  EXPECT_EQ(a.get(2), 1.5);
  EXPECT_EQ(message_of([&] { a.get(3); }), "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { a.set(-1, 0.0); }), "array.set: index out of range (i,a.len):-1, 3");
}

TEST(Array, NegativeAndHugeLengths) {
  EXPECT_EQ(message_of([] { F64Array a(-4); }), "negative .len:-4");
  EXPECT_THROW(F64Array(int64_t{1} << 61), std::bad_alloc);
  EXPECT_TRUE(F64Array(0).empty());
}

TEST(Pow2, ShiftCountsOutsideRangeGiveZero) {
  EXPECT_EQ(pow2(0), 1);
  EXPECT_EQ(pow2(62), int64_t{1} << 62);
  EXPECT_LT(pow2(63), 0);
  EXPECT_EQ(pow2(64), 0);
  EXPECT_EQ(pow2(-1), 0);
  EXPECT_EQ(shl(2, 62), 0 - 0 + static_cast<int64_t>(uint64_t{2} << 62));
}

TEST(Field, HeaderCountsViews) {
  Field<double> f(4);
  ASSERT_EQ(f.size(), 4);
  EXPECT_EQ(buffer_views(f.data()), 0);
  buffer_views_incr(f.data());
  buffer_views_incr(f.data());
  buffer_views_decr(f.data());
  EXPECT_EQ(buffer_views(f.data()), 1);
  buffer_views_decr(f.data());
  buffer_views_decr(f.data());
  EXPECT_EQ(buffer_views(f.data()), 0);
  EXPECT_TRUE(Field<double>(0).empty());
  EXPECT_TRUE(Field<double>(-3).empty());
  EXPECT_THROW(Field<double>(int64_t{1} << 61), std::bad_alloc);
}

}  // namespace
}  // namespace orvane
