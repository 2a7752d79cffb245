#include "orvane_native/statevector/gates_simd.h"

namespace orvane::simd {

Gate1qKernel gate_1q_variant(cpu::Isa isa) {
  switch (isa) {
#if defined(ORVANE_X86_64)
    case cpu::Isa::kAvx2:
      return apply_1q_avx2;
#endif
#if defined(ORVANE_AARCH64)
    case cpu::Isa::kNeon:
      return apply_1q_neon;
#endif
    default:
      return nullptr;
  }
}

Gate2qKernel gate_2q_variant(cpu::Isa isa) {
  switch (isa) {
#if defined(ORVANE_X86_64)
    case cpu::Isa::kAvx2:
      return apply_2q_avx2;
#endif
#if defined(ORVANE_AARCH64)
    case cpu::Isa::kNeon:
      return apply_2q_neon;
#endif
    default:
      return nullptr;
  }
}

}  // namespace orvane::simd
