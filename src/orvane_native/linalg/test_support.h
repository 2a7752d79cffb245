// Helpers shared by the linalg unit tests.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "orvane_native/support/array.h"
#include "orvane_native/support/testing.h"

namespace orvane::testing {


inline std::vector<double> to_vector(const F64Array& a) { return {a.begin(), a.end()}; }

inline F64Span span_of(const std::vector<double>& v) {
  return {v.data(), static_cast<int64_t>(v.size())};
}

inline I64Span span_of(const std::vector<int64_t>& v) {
  return {v.data(), static_cast<int64_t>(v.size())};
}

inline uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// Flat interleaved form of a row-major complex matrix or vector.
inline std::vector<double> flat(const std::vector<cd>& m) {
  std::vector<double> f;
  for (cd z : m) {
    f.push_back(z.real());
    f.push_back(z.imag());
  }
  return f;
}

inline std::vector<cd> unflat(const F64Array& a) {
  std::vector<cd> m;
  for (int64_t i = 0; i + 1 < a.size(); i += 2) m.emplace_back(a[i], a[i + 1]);
  return m;
}

inline double max_distance(const std::vector<cd>& a, const std::vector<cd>& b) {
  EXPECT_EQ(a.size(), b.size());
  double d = 0.0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) d = std::max(d, std::abs(a[i] - b[i]));
  return d;
}

}  // namespace orvane::testing
