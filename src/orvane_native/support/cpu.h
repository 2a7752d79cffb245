// The vector-kernel layer's variant table: which instruction-set variant
// every kernel family runs.
//
// Each family with vector variants (the state-vector gates, the density
// channels, the matrix toolkit's fused products) has one entry. The CPU
// probe fills the table once per process; every call site that has a
// variant reads its family's entry and runs the scalar kernel when it says
// kScalar. A variant is compiled for its instruction set (simd_avx2.h:
// function attributes that GCC and Clang both honour, the rest of the
// library staying baseline x86-64; simd_neon.h: baseline on aarch64) and
// does exactly the scalar kernel's operations (products rounded, sums in the
// same order, fused multiply-adds only where the scalar kernel calls
// std::fma), so results are bit-identical whichever variant runs.
#pragma once

#include <cstdint>

// The architectures that have variants. Elsewhere only the scalar kernels
// are compiled, and no x86 or Arm header, intrinsic or attribute is seen.
#if defined(__x86_64__)
#define ORVANE_X86_64 1
#elif defined(__aarch64__)
#define ORVANE_AARCH64 1
#endif

namespace orvane::cpu {

// The instruction set a kernel variant is written for.
enum class Isa : uint8_t {
  kScalar,  // plain C++ for the baseline of the target
  kAvx2,    // x86-64 AVX2, no fused multiply-adds
  kFma,     // x86-64 with the FMA instructions (for code that calls std::fma)
  kNeon,    // aarch64 Advanced SIMD, no fused multiply-adds
};

// The variant table: one entry per kernel family.
struct Variants {
  Isa gates = Isa::kScalar;     // state-vector dense gate kernels (statevector/gates_simd.h)
  Isa channels = Isa::kScalar;  // density-matrix channel kernels (density/kernels_simd.h)
  Isa products = Isa::kScalar;  // the matrix toolkit's fused products (linalg/basic.cc)
};

// The table the CPU supports: probed once per process, on first use.
const Variants& supported();
// The table the kernels read: supported() unless the vector variants are
// turned off, then every entry kScalar.
const Variants& variants();
// Turns every vector variant off or on again (tests compare both paths).
void set_vector_variants(bool enabled);

// "scalar", "avx2", "fma" or "neon".
const char* isa_name(Isa isa);

}  // namespace orvane::cpu
