// Dense evaluation of the stabilizer projector product.
#include "orvane_native/stabilizer/reference/state_vector_dense.h"

#include <cmath>
#include <new>

#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/pauli.h"

namespace orvane {
namespace {

// Column c of the dim x dim matrix m scaled to unit norm, or zeros when no
// column has a squared norm above 1e-18.
F64Array first_significant_column(const F64Array& m, int64_t dim) {
  F64Array out(2 * dim);
  for (int64_t c = 0; c < dim; ++c) {
    double norm = 0.0;
    for (int64_t row = 0; row < dim; ++row) {
      const double re = m[2 * (row * dim + c)];
      const double im = m[2 * (row * dim + c) + 1];
      norm = norm + std::fma(re, re, im * im);
    }
    if (norm > 1e-18) {
      const double k = 1.0 / std::sqrt(norm);
      for (int64_t row = 0; row < dim; ++row) {
        out[2 * row] = k * m[2 * (row * dim + c)];
        out[2 * row + 1] = k * m[2 * (row * dim + c) + 1];
      }
      return out;
    }
  }
  return out;
}

}  // namespace

F64Array clifford_state_vector_dense(I64Span tableau, int64_t num_qubits) {
  const int64_t n = num_qubits;
  // 2^n x 2^n complex matrices: far beyond memory well before 32 qubits.
  if (n >= 32) throw std::bad_alloc();
  const int64_t dim = pow2(n);
  F64Array m = complex_identity_flat(dim);
  const int64_t width = 2 * n + 1;
  for (int64_t f = 0; f < n; ++f) {
    const int64_t row = (n + f) * width;
    F64Array s(2);
    s[0] = 1.0;
    int64_t v = 1;
    for (int64_t k = 0; k < n; ++k) {
      const int64_t xb = tableau.get(row + k);
      const int64_t zb = tableau.get(row + n + k);
      const F64Array p = pauli_matrix(xb, zb);
      s = kron(s, v, p, 2);
      v *= 2;
    }
    const double sign = tableau.get(row + 2 * n) == 1 ? -1.0 : 1.0;
    F64Array q(2 * dim * dim);
    for (int64_t j = 0; j < dim; ++j) {
      for (int64_t l = 0; l < dim; ++l) {
        const int64_t e = 2 * (j * dim + l);
        q[e] = (j == l ? 1.0 : 0.0) + sign * s[e];
        q[e + 1] = sign * s[e + 1];
      }
    }
    m = matmul(m, q, dim);
  }
  return first_significant_column(m, dim);
}

}  // namespace orvane
