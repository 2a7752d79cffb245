// Vector-unit variants of the dense one- and two-qubit gate kernels, chosen
// at run time (orvane::cpu::use_avx2). They perform exactly the scalar kernels' operations (products
// rounded, then summed in the same order, no fused multiply-adds), so every
// amplitude is bit-identical whichever variant runs.
#pragma once

#include <cstdint>

namespace orvane::simd {

// One-qubit dense gate g (8 floats) on a qubit of stride s (in amplitudes).
void apply_1q_avx2(double* psi, int64_t dim, int64_t s, const double* g);

// Two-qubit dense gate (separate real/imaginary 4x4 tables) whose local
// index r addresses amplitude base + off[r]; lo and hi are the two target
// strides (lo < hi). Each output is the sum over c = 0..3, in order, from
// zero, as in the scalar kernels.
void apply_2q_avx2(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im);

}  // namespace orvane::simd
