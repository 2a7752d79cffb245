#include "orvane_native/support/cpu.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace orvane {
namespace {

// On x86-64 the kernel lists the features it found (and lets programs use)
// among the "flags" of /proc/cpuinfo; the probe must agree with it. (Under
// an emulator /proc/cpuinfo describes the host, so other targets do not
// read it.)
TEST(Cpu, ProbeAgreesWithTheKernel) {
#if defined(ORVANE_X86_64)
  std::ifstream in("/proc/cpuinfo");
  if (!in) GTEST_SKIP() << "no /proc/cpuinfo to compare with";
  std::string line;
  bool found_flags = false, avx2 = false, fma = false;
  while (std::getline(in, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    found_flags = true;
    std::istringstream words(line.substr(line.find(':') + 1));
    for (std::string w; words >> w;) {
      avx2 = avx2 || w == "avx2";
      fma = fma || w == "fma";
    }
    break;
  }
  if (!found_flags) GTEST_SKIP() << "/proc/cpuinfo lists no flags";
  EXPECT_EQ(cpu::supported().gates, avx2 ? cpu::Isa::kAvx2 : cpu::Isa::kScalar);
  EXPECT_EQ(cpu::supported().channels, avx2 ? cpu::Isa::kAvx2 : cpu::Isa::kScalar);
  EXPECT_EQ(cpu::supported().products, fma ? cpu::Isa::kFma : cpu::Isa::kScalar);
#elif defined(ORVANE_AARCH64)
  // Advanced SIMD is part of the baseline.
  EXPECT_EQ(cpu::supported().gates, cpu::Isa::kNeon);
  EXPECT_EQ(cpu::supported().channels, cpu::Isa::kNeon);
  EXPECT_EQ(cpu::supported().products, cpu::Isa::kScalar);
#else
  EXPECT_EQ(cpu::supported().gates, cpu::Isa::kScalar);
  EXPECT_EQ(cpu::supported().channels, cpu::Isa::kScalar);
  EXPECT_EQ(cpu::supported().products, cpu::Isa::kScalar);
#endif
}

TEST(Cpu, VectorVariantsCanBeTurnedOff) {
  cpu::set_vector_variants(false);
  EXPECT_EQ(cpu::variants().gates, cpu::Isa::kScalar);
  EXPECT_EQ(cpu::variants().channels, cpu::Isa::kScalar);
  EXPECT_EQ(cpu::variants().products, cpu::Isa::kScalar);
  cpu::set_vector_variants(true);
  EXPECT_EQ(cpu::variants().gates, cpu::supported().gates);
  EXPECT_EQ(cpu::variants().channels, cpu::supported().channels);
  EXPECT_EQ(cpu::variants().products, cpu::supported().products);
}

}  // namespace
}  // namespace orvane
