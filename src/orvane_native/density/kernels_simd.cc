#include "orvane_native/density/kernels_simd.h"

namespace orvane::simd {

Channel2x2Kernel channel_2x2_variant(cpu::Isa isa) {
  switch (isa) {
#if defined(ORVANE_X86_64)
    case cpu::Isa::kAvx2:
      return channel_2x2_avx2;
#endif
#if defined(ORVANE_AARCH64)
    case cpu::Isa::kNeon:
      return channel_2x2_neon;
#endif
    default:
      return nullptr;
  }
}

GeneralStripKernel general_strip_variant(cpu::Isa isa) {
  switch (isa) {
#if defined(ORVANE_X86_64)
    case cpu::Isa::kAvx2:
      return general_strip_avx2;
#endif
    default:
      return nullptr;
  }
}

GeneralRows4x4Kernel general_rows_4x4_variant(cpu::Isa isa) {
  switch (isa) {
#if defined(ORVANE_X86_64)
    case cpu::Isa::kAvx2:
      return general_rows_4x4_avx2;
#endif
#if defined(ORVANE_AARCH64)
    case cpu::Isa::kNeon:
      return general_rows_4x4_neon;
#endif
    default:
      return nullptr;
  }
}

}  // namespace orvane::simd
