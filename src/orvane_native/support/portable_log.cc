#include "orvane_native/support/portable_log.h"

#include <cmath>
#include <limits>

namespace orvane {
namespace {

constexpr double kSqrtHalf = 0.70710678118654752440;
// ln 2 split so that e * kLn2Hi is exact for every exponent of a double.
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr int kTerms = 12;  // 1/1, 1/3, .., 1/23

}  // namespace

double portable_log(double x) {
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  int e = 0;
  double m = std::frexp(x, &e);  // exact: m in [0.5, 1)
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

double portable_log1m(double p) {
  const double y = 1.0 - p;
  if (y == 1.0) return -p;
  if (y == 0.0) return -std::numeric_limits<double>::infinity();
  return portable_log(y) * (-p / (y - 1.0));
}

}  // namespace orvane
