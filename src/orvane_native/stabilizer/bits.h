// Bit counting on 64-bit words without relying on a population-count
// instruction (the build targets baseline x86-64, where std::popcount is a
// library call).
#pragma once

#include <cstdint>

namespace orvane {

inline int64_t popcount64(uint64_t v) {
  v = v - ((v >> 1) & 0x5555555555555555ULL);
  v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
  v = (v + (v >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<int64_t>((v * 0x0101010101010101ULL) >> 56);
}

// 1 when v has an odd number of set bits.
inline uint64_t parity64(uint64_t v) {
  v ^= v >> 32;
  v ^= v >> 16;
  v ^= v >> 8;
  v ^= v >> 4;
  return (0x6996u >> (v & 0xf)) & 1;
}

}  // namespace orvane
