#include "orvane_native/support/portable_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <limits>

#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

// Distance in units in the last place between two finite doubles of the same sign.
int64_t ulps(double a, double b) {
  int64_t ia = 0, ib = 0;
  std::memcpy(&ia, &a, 8);
  std::memcpy(&ib, &b, 8);
  return ia > ib ? ia - ib : ib - ia;
}

TEST(PortableLog, AgreesWithTheLibraryLogWithinFewUlps) {
  uint64_t state = 12345;
  int64_t worst = 0;
  for (int i = 0; i < 200000; ++i) {
    // Uniform draws in (0, 1] as the samplers make them, and wider magnitudes.
    const uint64_t v = wyrand_step(state);
    const double u = static_cast<double>((v >> 11) + 1) * 0x1p-53;
    const double x = i % 2 == 0 ? u : std::ldexp(u, static_cast<int>(v % 200) - 100);
    if (x == 1.0) continue;
    worst = std::max(worst, ulps(portable_log(x), std::log(x)));
  }
  EXPECT_LE(worst, 4);
}

TEST(PortableLog, SpecialValues) {
  EXPECT_EQ(portable_log(1.0), 0.0);
  EXPECT_EQ(portable_log(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(portable_log(std::ldexp(1.0, -53)), -53 * std::log(2.0));
  EXPECT_EQ(portable_log1m(0.0), 0.0);
  EXPECT_EQ(portable_log1m(1.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(portable_log1m(1e-300), -1e-300);  // 1 - p rounds to 1
}

TEST(PortableLog, Log1mKeepsTheRelativeAccuracyOfSmallProbabilities) {
  for (double p : {1e-12, 3e-9, 1e-6, 0.001, 0.01, 0.1, 0.5, 0.9, 0.999999}) {
    EXPECT_LE(ulps(portable_log1m(p), std::log1p(-p)), 8) << p;
  }
}

}  // namespace
}  // namespace orvane
