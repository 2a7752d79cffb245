// Run-time CPU feature detection for the kernels' vector-unit variants.
//
// A variant is compiled for its instruction set with ORVANE_TARGET_AVX2 (a
// function attribute that GCC and Clang both honour), while the rest of the
// library stays baseline x86-64; callers run it only when use_avx2() says so.
// The variants do exactly the scalar kernels' operations (products rounded,
// sums in the same order, no fused multiply-adds), so results are
// bit-identical whichever variant runs.
#pragma once

// The instruction-set families the library has variants for. On any other
// target only the scalar kernels are compiled.
#if defined(__x86_64__)
#define ORVANE_X86_64 1
#endif

#if defined(ORVANE_X86_64)
// Every function that uses AVX2 intrinsics or vector types carries this,
// helpers included (Clang refuses intrinsics outside such functions). FMA is
// deliberately not enabled: nothing may be fused.
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2")))

// The matrix toolkit's products are explicit fused multiply-adds (std::fma).
// Compiled for baseline x86-64 each one is a library call; functions marked
// with this are also compiled for the FMA instruction, which rounds exactly
// as the library call does, and run where use_fma() says so. Contraction
// stays off (-ffp-contract=off), so only the written std::fma calls fuse.
// The one freedom left is the sign bit of a NaN result, which IEEE 754 does
// not fix for arithmetic (fma(a, b, -c) may run as a fused subtraction).
#define ORVANE_TARGET_FMA __attribute__((target("fma")))
#endif

namespace orvane::cpu {

// True when the CPU has AVX2 and the operating system saves its registers.
bool supports_avx2();
// True when the AVX2 variants should run: supported and not turned off.
bool use_avx2();
// True when the CPU has the FMA instructions (and the operating system saves
// the registers they use); use_fma() when they should run.
bool supports_fma();
bool use_fma();
// Turns the vector and FMA variants off or on (tests compare both paths).
void set_vector_variants(bool enabled);

}  // namespace orvane::cpu
