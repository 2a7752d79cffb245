// Vector-unit variants of the dense one- and two-qubit gate kernels, one
// per instruction set, chosen through the variant table
// (orvane::cpu::variants().gates). They perform exactly the scalar kernels'
// operations (products rounded, then summed in the same order, no fused
// multiply-adds), so every amplitude is bit-identical whichever variant runs.
#pragma once

#include <cstdint>

#include "orvane_native/support/cpu.h"

namespace orvane::simd {

// One-qubit dense gate g (8 floats) on a qubit of stride s (in amplitudes).
using Gate1qKernel = void (*)(double* psi, int64_t dim, int64_t s, const double* g);

// Two-qubit dense gate (separate real/imaginary 4x4 tables) whose local
// index r addresses amplitude base + off[r]; lo and hi are the two target
// strides (lo < hi). Each output is the sum over c = 0..3, in order, from
// zero, as in the scalar kernels.
using Gate2qKernel = void (*)(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi,
                              const double* re, const double* im);

// The variant for an instruction set; null when there is none (the caller
// runs its scalar loop).
Gate1qKernel gate_1q_variant(cpu::Isa isa);
Gate2qKernel gate_2q_variant(cpu::Isa isa);

#if defined(ORVANE_X86_64)
void apply_1q_avx2(double* psi, int64_t dim, int64_t s, const double* g);
void apply_2q_avx2(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im);
#endif

#if defined(ORVANE_AARCH64)
void apply_1q_neon(double* psi, int64_t dim, int64_t s, const double* g);
void apply_2q_neon(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im);
#endif

}  // namespace orvane::simd
