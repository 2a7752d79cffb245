#include "orvane_native/support/wyrand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orvane {
namespace {

WyRand seeded(int64_t seed) {
  WyRand g;
  const auto w = seed_words(seed);
  g.seed({w.data(), 2});
  return g;
}

TEST(WyRand, SeedZeroOutputs) {
  WyRand g = seeded(0);
  EXPECT_EQ(g.state(), 0u);
  EXPECT_EQ(g.u64(), 0x9a45cd888d59f0d6ULL);
  EXPECT_EQ(g.u64(), 0x01445b6a189663f5ULL);
  EXPECT_EQ(g.u64(), 0x1842218b97e7a496ULL);

  WyRand f = seeded(0);
  EXPECT_EQ(f.f64(), 0.6026276071910173);
  EXPECT_EQ(f.f64(), 0.0049492963813349);
  EXPECT_EQ(f.f64(), 0.09475907953301865);
}

TEST(WyRand, SeedFortyTwoFloats) {
  WyRand g = seeded(42);
  EXPECT_EQ(g.state(), 0x2aULL);
  EXPECT_EQ(g.f64(), 0.7907996467461949);
  EXPECT_EQ(g.f64(), 0.49358594913977183);
  EXPECT_EQ(g.f64(), 0.8044587307910849);
}

TEST(WyRand, SeedToStateMapping) {
  EXPECT_EQ(seeded(-1).state(), 0xffffffffffffffffULL);
  EXPECT_EQ(seeded(123456789).state(), 0x75b075bcd15ULL);
  // Bits 16..31 of the seed enter both words.
  EXPECT_EQ(seeded(0x10000).state(), 0x0000000100010000ULL);
}

TEST(WyRand, SeedsEqualModulo2To48GiveTheSameStream) {
  for (int64_t base : {int64_t{5}, int64_t{-7}, int64_t{0x123456789abc}}) {
    WyRand a = seeded(base);
    WyRand b = seeded(base + (int64_t{1} << 48));
    WyRand c = seeded(base ^ (int64_t{0x7fff} << 48));
    for (int i = 0; i < 16; ++i) {
      const uint64_t va = a.u64();
      EXPECT_EQ(va, b.u64());
      EXPECT_EQ(va, c.u64());
    }
  }
  // Bit 47 does matter.
  EXPECT_NE(seeded(5).state(), seeded(5 + (int64_t{1} << 47)).state());
}

TEST(WyRand, FloatIsTopFiftyTwoBitsOfOneStep) {
  WyRand a = seeded(99);
  WyRand b = seeded(99);
  for (int i = 0; i < 1000; ++i) {
    const uint64_t v = a.u64();
    const double f = b.f64();
    EXPECT_EQ(f, std::ldexp(static_cast<double>(v >> 12), -52));
    EXPECT_GE(f, 0.0);
    EXPECT_LT(f, 1.0);
  }
}

TEST(WyRand, ClockSeedWords) {
  // Reference values from the two-step 32-bit congruential recurrence.
  EXPECT_EQ(clock_seed_words(0), (std::array<uint32_t, 2>{0x47502932u, 0xd1ccf6e9u}));
  EXPECT_EQ(clock_seed_words(0x123456789abcdef0ULL),
            (std::array<uint32_t, 2>{0x90432afau, 0x8561be11u}));
}

TEST(WyRand, GlobalGeneratorReseeds) {
  seed_generator_from_clock();
  const auto w = seed_words(0);
  generator().seed({w.data(), 2});
  EXPECT_EQ(generator().u64(), 0x9a45cd888d59f0d6ULL);
}

TEST(WyRandDeathTest, WrongWordCountExits) {
  const std::vector<uint32_t> three{1, 2, 3};
  EXPECT_EXIT(
      {
        WyRand g;
        g.seed({three.data(), 3});
      },
      ::testing::ExitedWithCode(1), "WyRandRNG needs 2 32-bit unsigned integers as the seed.");
}

}  // namespace
}  // namespace orvane
