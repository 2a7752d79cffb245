// Run-time CPU feature detection for the kernels' vector-unit variants.
//
// A variant is compiled for its instruction set with ORVANE_TARGET_AVX2 (a
// function attribute that GCC and Clang both honour), while the rest of the
// library stays baseline x86-64; callers run it only when use_avx2() says so.
// The variants do exactly the scalar kernels' operations (products rounded,
// sums in the same order, no fused multiply-adds), so results are
// bit-identical whichever variant runs.
#pragma once

// Every function that uses AVX2 intrinsics or vector types carries this,
// helpers included (Clang refuses intrinsics outside such functions). FMA is
// deliberately not enabled: nothing may be fused.
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2")))

namespace orvane::cpu {

// True when the CPU has AVX2 and the operating system saves its registers.
bool supports_avx2();
// True when the AVX2 variants should run: supported and not turned off.
bool use_avx2();
// Turns the vector variants off or on (tests compare both paths).
void set_vector_variants(bool enabled);

}  // namespace orvane::cpu
