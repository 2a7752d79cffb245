// Natural logarithms computed from IEEE additions, multiplications and
// divisions only, in a fixed order, so that they give the same bits on every
// machine and with every compiler and C library (the library's log may
// differ in the last bit between platforms). Sampling uses them where a
// logarithm decides a result, such as the length of a geometric skip.
#pragma once

namespace orvane {

// ln(x) for 0 <= x < infinity, within a few units in the last place;
// ln(0) = -infinity. x = m 2^e with m in [sqrt(1/2), sqrt(2)), then
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), as s times a degree-22 even
// polynomial (the atanh series to s^22, by Horner), plus e ln 2 in two parts.
double portable_log(double x);

// ln(1 - p) for 0 <= p <= 1, accurate also for tiny p: with y = 1 - p
// (rounded), -p when y is 1, otherwise portable_log(y) * (-p / (y - 1));
// -infinity for p = 1.
double portable_log1m(double p);

}  // namespace orvane
