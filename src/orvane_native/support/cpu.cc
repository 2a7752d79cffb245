#include "orvane_native/support/cpu.h"

#include <atomic>

#if defined(ORVANE_X86_64)
#include <cpuid.h>
#endif

namespace orvane::cpu {
namespace {

#if defined(ORVANE_X86_64)
// ECX of CPUID leaf 1 when the CPU has AVX and the operating system saves
// the XMM and YMM state (XCR0 bits 1 and 2); 0 otherwise.
unsigned avx_leaf1_ecx() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  const bool osxsave = (ecx & (1u << 27)) != 0, avx = (ecx & (1u << 28)) != 0;
  if (!osxsave || !avx) return 0;
  uint32_t xcr0_lo = 0, xcr0_hi = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
  return (xcr0_lo & 0x6u) == 0x6u ? ecx : 0;
}

bool has_avx2() {
  if (avx_leaf1_ecx() == 0) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & (1u << 5)) != 0;
}

bool has_fma() { return (avx_leaf1_ecx() & (1u << 12)) != 0; }
#endif

Variants probe() {
  Variants v;
#if defined(ORVANE_X86_64)
  if (has_avx2()) v.gates = v.channels = Isa::kAvx2;
  if (has_fma()) v.products = Isa::kFma;
#elif defined(ORVANE_AARCH64)
  // Advanced SIMD is part of the aarch64 baseline. The products need no
  // variant: std::fma is an instruction there already.
  v.gates = v.channels = Isa::kNeon;
#endif
  return v;
}

const Variants kScalarOnly{};
std::atomic<bool> g_enabled{true};

}  // namespace

const Variants& supported() {
  static const Variants table = probe();
  return table;
}

const Variants& variants() { return g_enabled.load(std::memory_order_relaxed) ? supported() : kScalarOnly; }

void set_vector_variants(bool enabled) { g_enabled.store(enabled, std::memory_order_relaxed); }

const char* isa_name(Isa isa) {
  switch (isa) {
    case Isa::kScalar:
      return "scalar";
    case Isa::kAvx2:
      return "avx2";
    case Isa::kFma:
      return "fma";
    case Isa::kNeon:
      return "neon";
  }
  return "scalar";
}

}  // namespace orvane::cpu
