// Factorisation of a two-qubit operator M = g * (A kron B) with det A =
// det B = 1 and Re g >= 0 (A acts on the more significant index bit).
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// A 2x2 complex matrix divided by the principal square root of its
// determinant; returned unchanged when |det| < 1e-14.
F64Array normalize_det2(F64Span m);

// 18 floats: g (re, im), A (2x2 row-major), B (2x2 row-major), from the
// slices of the 4x4 input through its entry of largest modulus.
F64Array kron_factor(F64Span matrix);

}  // namespace orvane
