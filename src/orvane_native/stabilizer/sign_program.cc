#include "orvane_native/stabilizer/sign_program.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "orvane_native/stabilizer/bits.h"
#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {
namespace {

// The wyrand step of the process generator, inlined here because sampling
// draws once per measurement per repetition.
constexpr uint64_t kIncrement = 0x2d358dccaa6c78a5ULL;
constexpr uint64_t kMix = 0x8bb84b93962eacc9ULL;

inline uint64_t wyrand_next(uint64_t& state) {
  state += kIncrement;
  const unsigned __int128 product =
      static_cast<unsigned __int128>(state ^ kMix) * static_cast<unsigned __int128>(state);
  return static_cast<uint64_t>(product >> 64) ^ static_cast<uint64_t>(product);
}

// The outcome of a random measurement from its draw v: u = (v >> 12) * 2^-52
// is below 0.5 exactly when the top bit of v is 0.
inline uint64_t random_outcome(uint64_t v) { return v >> 63; }

}  // namespace

int64_t SignProgram::words_bound(int64_t num_qubits, int64_t measurements) {
  const int64_t half = PackedTableau::half_words(num_qubits);
  int64_t per = 0, total = 0;
  if (__builtin_mul_overflow(half, 2, &per) || __builtin_mul_overflow(per, measurements, &total) ||
      __builtin_add_overflow(total, half, &total)) {
    return std::numeric_limits<int64_t>::max();
  }
  return total;
}

std::optional<SignProgram> SignProgram::compile(I64Span instructions, int64_t num_qubits, int64_t max_words) {
  const int64_t m = count_measurements(instructions);
  const int64_t bound = words_bound(num_qubits, m);
  if (bound > max_words) return std::nullopt;

  PackedTableau t(num_qubits);
  SignProgram prog;
  const int64_t half = t.words();
  prog.half_ = half;
  prog.words_.reserve(static_cast<size_t>(bound));
  prog.words_.assign(static_cast<size_t>(half), 0);
  prog.steps_.reserve(static_cast<size_t>(m));
  std::vector<uint64_t>& words = prog.words_;

  // Stabilizer signs right after the previous measurement; what the gates
  // since then xored into them is the difference, whatever the signs were.
  std::vector<uint64_t> previous(static_cast<size_t>(half), 0);
  const uint64_t* stab_signs = t.signs() + half;
  auto attach_gate_flips = [&] {
    uint64_t* post = prog.steps_.empty() ? words.data() : words.data() + prog.steps_.back().offset + half;
    for (int64_t w = 0; w < half; ++w) post[w] ^= stab_signs[w] ^ previous[w];
    if (!prog.steps_.empty() && prog.steps_.back().random) {
      Step& last = prog.steps_.back();
      last.flip = ((stab_signs[last.word] ^ previous[last.word]) >> last.shift) & 1;
    }
  };

  InterruptPoll poll;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    const int64_t code = instructions[s];
    poll.tick(half + 1);
    if (!is_measurement(code)) {
      t.apply(code, instructions[s + 1], instructions[s + 2]);
      continue;
    }
    poll.tick(half * num_qubits);
    attach_gate_flips();
    const int64_t a = instructions[s + 1];
    Step step;
    step.offset = static_cast<int64_t>(words.size());
    const int64_t f = t.random_pivot(a);
    if (f >= 0) {
      // The outcome chosen here does not matter: only the updates are kept.
      t.measure_random(a, f, 0.0);
      const uint64_t* rows = t.rows_touched();
      const uint64_t* lo = t.phase_lo();
      const uint64_t* hi = t.phase_hi();
      // A row that anticommutes with stabilizer f would take the sign 1
      // whatever the signs were; in a tableau reached from |0...0> only
      // destabilizer f does, and it is overwritten. Should another ever do,
      // the repetitions are run one by one instead.
      for (int64_t w = 0; w < 2 * half; ++w) {
        if ((rows[w] & lo[w]) != 0) return std::nullopt;
      }
      step.random = true;
      words.insert(words.end(), rows + half, rows + 2 * half);
      for (int64_t w = half; w < 2 * half; ++w) words.push_back(rows[w] & hi[w]);
      step.word = f >> 6;
      step.shift = static_cast<int>(f & 63);
    } else {
      // Outcome: (e + 2 |chosen signs set|) != 0 mod 4, which is bit 1 of
      // e xor the parity of the chosen signs. The product of commuting
      // stabilizers has an even e; should it ever be odd (outcome 1 whatever
      // the signs), the repetitions are run one by one instead.
      const int64_t e = t.determined_phase(a);
      if ((e & 1) != 0) return std::nullopt;
      step.constant = static_cast<uint64_t>((e >> 1) & 1);
      const uint64_t* chosen = std::as_const(t).xcol(a);
      words.insert(words.end(), chosen, chosen + half);
      words.insert(words.end(), static_cast<size_t>(half), 0);
    }
    prog.steps_.push_back(step);
    std::copy(stab_signs, stab_signs + half, previous.begin());
  }
  return prog;
}

// The replay on signs in memory, for any width. T: the record's entry type.
template <class T>
void SignProgram::replay_any(int64_t repetitions, const T* mask, uint64_t& state, T* out) const {
  const int64_t m = measurements();
  const int64_t half = half_;
  std::vector<uint64_t> signs(static_cast<size_t>(half), 0);
  uint64_t* s = signs.data();
  const uint64_t* base = words_.data();
  const Step* steps = steps_.data();
  uint64_t st = state;
  InterruptPoll poll;
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    poll.tick(m * (half + 1) + 1);
    std::copy(base, base + half, s);
    T* record = out + rep * m;
    for (int64_t k = 0; k < m; ++k) {
      const Step& step = steps[k];
      const uint64_t v = wyrand_next(st);
      const uint64_t* e = base + step.offset;
      const uint64_t* post = e + half;
      uint64_t outcome;
      if (step.random) {
        outcome = random_outcome(v);
        const uint64_t take = uint64_t{0} - ((s[step.word] >> step.shift) & 1);
        for (int64_t w = 0; w < half; ++w) s[w] ^= post[w] ^ (e[w] & take);
        s[step.word] = (s[step.word] & ~(uint64_t{1} << step.shift)) | ((outcome ^ step.flip) << step.shift);
      } else {
        uint64_t acc = 0;
        for (int64_t w = 0; w < half; ++w) acc ^= s[w] & e[w];
        outcome = step.constant ^ parity64(acc);
        for (int64_t w = 0; w < half; ++w) s[w] ^= post[w];
      }
      record[k] = static_cast<T>(outcome) ^ mask[k];
    }
  }
  state = st;
}

// The same replay for a width known at compile time: the signs live in
// registers, and the single-bit update becomes masked word operations, so
// that one measurement does not wait on the store of the previous one.
template <int64_t kWords, class T>
void SignProgram::replay_fixed(int64_t repetitions, const T* mask, uint64_t& state, T* out) const {
  const int64_t m = measurements();
  const uint64_t* base = words_.data();
  const Step* steps = steps_.data();
  uint64_t st = state;
  InterruptPoll poll;
  for (int64_t rep = 0; rep < repetitions; ++rep) {
    poll.tick(m * (kWords + 1) + 1);
    uint64_t s[kWords];
    for (int64_t w = 0; w < kWords; ++w) s[w] = base[w];
    T* record = out + rep * m;
    for (int64_t k = 0; k < m; ++k) {
      const Step& step = steps[k];
      const uint64_t v = wyrand_next(st);
      const uint64_t* e = base + step.offset;
      const uint64_t* post = e + kWords;
      uint64_t outcome;
      if (step.random) {
        outcome = random_outcome(v);
        const uint64_t bit = uint64_t{1} << step.shift;
        uint64_t sp_bits = 0;
        for (int64_t w = 0; w < kWords; ++w) sp_bits |= s[w] & (w == step.word ? bit : 0);
        const uint64_t take = sp_bits != 0 ? ~uint64_t{0} : 0;
        const uint64_t value = uint64_t{0} - (outcome ^ step.flip);
        for (int64_t w = 0; w < kWords; ++w) {
          const uint64_t pm = w == step.word ? bit : 0;
          const uint64_t x = s[w] ^ post[w] ^ (e[w] & take);
          s[w] = (x & ~pm) | (value & pm);
        }
      } else {
        uint64_t acc = 0;
        for (int64_t w = 0; w < kWords; ++w) acc ^= s[w] & e[w];
        outcome = step.constant ^ parity64(acc);
        for (int64_t w = 0; w < kWords; ++w) s[w] ^= post[w];
      }
      record[k] = static_cast<T>(outcome) ^ mask[k];
    }
  }
  state = st;
}

template <class T>
void SignProgram::sample_into(int64_t repetitions, I64Span invert_mask, uint64_t& state, T* out,
                              bool any_width) const {
  const int64_t m = measurements();
  std::vector<T> mask(static_cast<size_t>(m), 0);
  for (int64_t k = 0; k < m && k < invert_mask.size(); ++k) {
    mask[k] = static_cast<T>(sizeof(T) == 1 ? invert_mask[k] & 1 : invert_mask[k]);
  }
  switch (any_width ? 0 : half_) {
    case 1: return replay_fixed<1>(repetitions, mask.data(), state, out);
    case 2: return replay_fixed<2>(repetitions, mask.data(), state, out);
    case 3: return replay_fixed<3>(repetitions, mask.data(), state, out);
    case 4: return replay_fixed<4>(repetitions, mask.data(), state, out);
    default: return replay_any(repetitions, mask.data(), state, out);
  }
}

void SignProgram::sample(int64_t repetitions, I64Span invert_mask, uint64_t& state, int64_t* out,
                         bool any_width) const {
  sample_into(repetitions, invert_mask, state, out, any_width);
}

void SignProgram::sample(int64_t repetitions, I64Span invert_mask, uint64_t& state, uint8_t* out,
                         bool any_width) const {
  sample_into(repetitions, invert_mask, state, out, any_width);
}

}  // namespace orvane
