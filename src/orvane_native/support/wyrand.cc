#include "orvane_native/support/wyrand.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace orvane {
namespace {

uint32_t lcg_step(uint32_t c) { return c * 1664525u + 1013904223u; }

// Reference point of the clock seed: when this library's statics were set
// up, which happens as the module is loaded.
const std::chrono::steady_clock::time_point g_load_time = std::chrono::steady_clock::now();

WyRand g_generator;

}  // namespace

void WyRand::seed(Span<const uint32_t> words) {
  if (words.size() != 2) {
    std::fputs("WyRandRNG needs 2 32-bit unsigned integers as the seed.\n", stderr);
    std::exit(1);
  }
  state_ = uint64_t{words[0]} | (uint64_t{words[1]} << 32);
}

uint64_t WyRand::u64() { return wyrand_step(state_); }

double WyRand::f64() {
  const uint64_t v = u64() >> 12;
  return static_cast<double>(v) * 0x1p-52;
}

std::array<uint32_t, 2> seed_words(int64_t seed) {
  const auto bits = static_cast<uint64_t>(seed);
  return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 16)};
}

std::array<uint32_t, 2> clock_seed_words(uint64_t t_ns) {
  uint32_t c = static_cast<uint32_t>(t_ns >> 32) ^ static_cast<uint32_t>(t_ns);
  std::array<uint32_t, 2> words{};
  for (uint32_t& w : words) {
    c = lcg_step(c);
    w = lcg_step(c);
  }
  return words;
}

WyRand& generator() { return g_generator; }

WyRand seeded_generator(int64_t seed) {
  WyRand rng;
  const auto words = seed_words(seed);
  rng.seed({words.data(), 2});
  return rng;
}

void leave_generator_at(uint64_t state) {
  const std::array<uint32_t, 2> words{static_cast<uint32_t>(state), static_cast<uint32_t>(state >> 32)};
  g_generator.seed({words.data(), 2});
}

void seed_generator_from_clock() {
  const auto elapsed = std::chrono::steady_clock::now() - g_load_time;
  const auto t = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
  const std::array<uint32_t, 2> words = clock_seed_words(t);
  g_generator.seed({words.data(), 2});
}

}  // namespace orvane
