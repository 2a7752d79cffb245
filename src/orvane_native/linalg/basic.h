// Dense complex matrices stored flat: a dim x dim matrix is 2*dim*dim
// doubles, row-major, each entry an adjacent (re, im) pair.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// The dim x dim identity.
F64Array complex_identity_flat(int64_t dim);

// Kronecker product of an a_dim x a_dim and a b_dim x b_dim matrix.
F64Array kron(F64Span a, int64_t a_dim, F64Span b, int64_t b_dim);

// Product a * b of two dim x dim matrices.
F64Array matmul(F64Span a, F64Span b, int64_t dim);

}  // namespace orvane
