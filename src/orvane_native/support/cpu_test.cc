#include "orvane_native/support/cpu.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace orvane {
namespace {

// The kernel lists the features it found (and lets programs use) among the
// "flags" of /proc/cpuinfo; the detection must agree with it.
TEST(Cpu, Avx2DetectionAgreesWithTheKernel) {
  std::ifstream in("/proc/cpuinfo");
  if (!in) GTEST_SKIP() << "no /proc/cpuinfo to compare with";
  std::string line;
  bool found_flags = false, listed = false;
  while (std::getline(in, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    found_flags = true;
    std::istringstream words(line.substr(line.find(':') + 1));
    for (std::string w; words >> w;) listed = listed || w == "avx2";
    break;
  }
  if (!found_flags) GTEST_SKIP() << "/proc/cpuinfo lists no flags";
  EXPECT_EQ(cpu::supports_avx2(), listed);
}

TEST(Cpu, VectorVariantsCanBeTurnedOff) {
  cpu::set_vector_variants(false);
  EXPECT_FALSE(cpu::use_avx2());
  cpu::set_vector_variants(true);
  EXPECT_EQ(cpu::use_avx2(), cpu::supports_avx2());
}

}  // namespace
}  // namespace orvane
