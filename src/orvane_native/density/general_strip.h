// The arithmetic of the general block algorithm for one row base, shared by
// the scalar and the vector-unit builds (each instantiates its own V, so the
// two never share compiled code). Plain loops over separate real and
// imaginary arrays: every element goes through the same operations in the
// same order whatever the vector width.
//
// The strip holds the d rows of one row base with their columns in
// block-major order: position p = c*nb + b is local column c of column base
// number b. For every operator K (in order) and local row a:
//   T[a][p] = sum_e K[a][e] B[e][p]                       (sum from zero, e increasing)
//   A[a][c*nb + b] += sum_e T[a][e*nb + b] conj(K[c][e])   (inner sum from zero, e increasing)
#pragma once

#include <cstdint>

#include "orvane_native/support/interrupt.h"

namespace orvane {

template <int V>
void general_strip(int64_t d, int64_t dim, int64_t nb, int64_t m, const double* kre, const double* kim,
                   const double* __restrict bre, const double* __restrict bim, double* __restrict are,
                   double* __restrict aim, double* __restrict tre, double* __restrict tim,
                   double* __restrict sre, double* __restrict sim, InterruptPoll& poll) {
  for (int64_t x = 0; x < d * dim; ++x) are[x] = 0.0, aim[x] = 0.0;
  for (int64_t i = 0; i < m; ++i) {
    const double* kr = kre + i * d * d;
    const double* ki = kim + i * d * d;
    for (int64_t a = 0; a < d; ++a) {
      poll.tick(2 * d * dim);
      for (int64_t p = 0; p < dim; ++p) tre[p] = 0.0, tim[p] = 0.0;
      for (int64_t e = 0; e < d; ++e) {
        const double zr = kr[a * d + e], zi = ki[a * d + e];
        const double* xr = bre + e * dim;
        const double* xi = bim + e * dim;
        for (int64_t p = 0; p < dim; ++p) {
          tre[p] += zr * xr[p] - zi * xi[p];
          tim[p] += zr * xi[p] + zi * xr[p];
        }
      }
      double* yr = are + a * dim;
      double* yi = aim + a * dim;
      for (int64_t c = 0; c < d; ++c) {
        for (int64_t b = 0; b < nb; ++b) sre[b] = 0.0, sim[b] = 0.0;
        for (int64_t e = 0; e < d; ++e) {
          const double wr = kr[c * d + e], wi = ki[c * d + e];
          const double* tr = tre + e * nb;
          const double* ti = tim + e * nb;
          for (int64_t b = 0; b < nb; ++b) {
            sre[b] += tr[b] * wr + ti[b] * wi;
            sim[b] += ti[b] * wr - tr[b] * wi;
          }
        }
        double* outr = yr + c * nb;
        double* outi = yi + c * nb;
        for (int64_t b = 0; b < nb; ++b) {
          outr[b] += sre[b];
          outi[b] += sim[b];
        }
      }
    }
  }
}

}  // namespace orvane
