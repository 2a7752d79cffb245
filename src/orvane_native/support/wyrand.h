// The process-wide pseudo-random source used to sample measurement records:
// the wyrand generator (one 64-bit word of state, an additive step and a
// 64x64->128-bit multiply-fold per draw). A given seed fixes every draw, so
// sampled records are reproducible.
#pragma once

#include <array>
#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

class WyRand {
 public:
  // Sets the state from exactly two 32-bit words: words[0] | words[1] << 32.
  // Any other count is a programming error: the message
  // "WyRandRNG needs 2 32-bit unsigned integers as the seed." goes to
  // standard error and the process exits with status 1.
  void seed(Span<const uint32_t> words);
  // Advances the state and returns the next 64-bit output.
  uint64_t u64();
  // The next float in [0, 1): the top 52 bits of one u64() times 2^-52.
  double f64();

  uint64_t state() const { return state_; }

 private:
  uint64_t state_ = 0;
};

// One step of the generator on a bare state word, as WyRand::u64 makes it:
// for samplers that keep their own states (or index draws directly, since
// draw i from state s is the output of state s + i * increment).
inline constexpr uint64_t kWyRandIncrement = 0x2d358dccaa6c78a5ULL;

inline uint64_t wyrand_step(uint64_t& state) {
  state += kWyRandIncrement;
  const unsigned __int128 product =
      static_cast<unsigned __int128>(state ^ 0x8bb84b93962eacc9ULL) * static_cast<unsigned __int128>(state);
  return static_cast<uint64_t>(product >> 64) ^ static_cast<uint64_t>(product);
}

// The two seed words for an integer seed: its low 32 bits, and bits 16..47
// (the seed shifted right by 16). Bits 48..63 are not used.
std::array<uint32_t, 2> seed_words(int64_t seed);

// The two seed words derived from a clock reading in nanoseconds: the two
// halves of t are folded by xor, then each word is one step of the 32-bit
// linear congruential generator past a further step of it.
std::array<uint32_t, 2> clock_seed_words(uint64_t t_ns);

// The one generator of the process. Callers hold the interpreter lock, which
// serialises every use.
WyRand& generator();

// A generator seeded from `seed` (seed_words), as the process generator
// would be. Samplers draw from such a copy and hand the state their draws
// leave back to the process generator with leave_generator_at only once
// their result is complete, so that a call interrupted midway (or a signal
// handler that samples while it runs) cannot disturb the other.
WyRand seeded_generator(int64_t seed);
void leave_generator_at(uint64_t state);

// Gives the process-wide generator an arbitrary state from the monotonic
// clock (nanoseconds since this library was loaded). Called once when the
// module loads; every sampling call reseeds it anyway.
void seed_generator_from_clock();

}  // namespace orvane
