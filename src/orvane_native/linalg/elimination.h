// Elimination with partial pivoting: complex determinant and inverse, and a
// real 3x3 solve. The complex routines pivot on the entry of largest modulus
// in the current column (topmost on ties) and treat a best modulus below
// 1e-14 as singular.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// [re, im] of the determinant of an n x n complex matrix; [1, 0] for
// n <= 0, [0, 0] when singular.
F64Array matrix_det(F64Span matrix, int64_t n);

// Gauss-Jordan inverse of an n x n complex matrix; empty when singular.
// n <= 0 returns complex_identity_flat(n).
F64Array matrix_inverse(F64Span matrix, int64_t n);

// x with matrix * x = rhs for a real 3x3 matrix (row-major); no singularity
// test, a zero pivot gives non-finite values.
F64Array solve3(F64Span matrix, F64Span rhs);

}  // namespace orvane
