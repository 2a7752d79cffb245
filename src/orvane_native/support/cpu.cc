#include "orvane_native/support/cpu.h"

#include <atomic>
#include <cstdint>

#if defined(ORVANE_X86_64)
#include <cpuid.h>
#endif

namespace orvane::cpu {
namespace {

std::atomic<bool> g_enabled{true};

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
#endif

bool detect_avx2() {
#if defined(ORVANE_X86_64)
  if (avx_leaf1_ecx() == 0) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & (1u << 5)) != 0;
#else
  return false;
#endif
}

bool detect_fma() {
#if defined(ORVANE_X86_64)
  return (avx_leaf1_ecx() & (1u << 12)) != 0;
#else
  return false;
#endif
}

}  // namespace

bool supports_fma() {
  static const bool supported = detect_fma();
  return supported;
}

bool use_fma() { return supports_fma() && g_enabled.load(std::memory_order_relaxed); }

bool supports_avx2() {
  static const bool supported = detect_avx2();
  return supported;
}

bool use_avx2() { return supports_avx2() && g_enabled.load(std::memory_order_relaxed); }

void set_vector_variants(bool enabled) { g_enabled.store(enabled, std::memory_order_relaxed); }

}  // namespace orvane::cpu
