// Natural logarithms computed from IEEE additions, multiplications and
// divisions only, in a fixed order, so that they give the same bits on every
// machine and with every compiler and C library (the library's log may
// differ in the last bit between platforms). Sampling uses them where a
// logarithm decides a result, such as the length of a geometric skip.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace orvane {

namespace portable_log_detail {
inline constexpr double kSqrtHalf = 0.70710678118654752440;
// ln 2 split so that e * kLn2Hi is exact for every exponent of a double.
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;
inline constexpr int kTerms = 12;  // 1/1, 1/3, .., 1/23
}  // namespace portable_log_detail

// ln(x) for 0 <= x < infinity, within a few units in the last place;
// ln(0) = -infinity. x = m 2^e with m in [sqrt(1/2), sqrt(2)), then
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), as 2s times the atanh series
// 1 + s^2/3 + .. + s^22/23 (by Horner in s^2, from the 1/23 end), then
// e * ln2_hi + (ln m + e * ln2_lo).
inline double portable_log(double x) {
  using namespace portable_log_detail;
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  int e = 0;
  if (x < 0x1p-1022) {  // subnormal: scaled exactly into the normal range
    x *= 0x1p54;
    e = -54;
  }
  // x = m 2^e exactly, m in [0.5, 1): the exponent field read from the bits.
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  e += static_cast<int>((bits >> 52) & 0x7ff) - 1022;
  double m = std::bit_cast<double>((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1022} << 52));
  if (m < kSqrtHalf) {
    m *= 2.0;
    e -= 1;
  }
  const double f = m - 1.0;  // exact
  const double s = f / (2.0 + f);
  const double s2 = s * s;
  double poly = 1.0 / (2 * (kTerms - 1) + 1);
  for (int k = kTerms - 2; k >= 0; --k) poly = poly * s2 + 1.0 / (2 * k + 1);
  const double log_m = (2.0 * s) * poly;
  const double de = static_cast<double>(e);
  return de * kLn2Hi + (log_m + de * kLn2Lo);
}

// ln(1 - p) for 0 <= p <= 1, accurate also for tiny p: with y = 1 - p
// (rounded), -p when y is 1, otherwise portable_log(y) * (-p / (y - 1));
// -infinity for p = 1.
inline double portable_log1m(double p) {
  const double y = 1.0 - p;
  if (y == 1.0) return -p;
  if (y == 0.0) return -std::numeric_limits<double>::infinity();
  return portable_log(y) * (-p / (y - 1.0));
}

}  // namespace orvane
