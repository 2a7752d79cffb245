#include "orvane_native/stabilizer/packed_tableau.h"

#include <algorithm>
#include <bit>
#include <new>
#include <utility>

#include "orvane_native/stabilizer/bits.h"
#include "orvane_native/stabilizer/instructions.h"

namespace orvane {
namespace {

// Parity of the bits of v at or below each position (prefix xor); the top
// bit is the parity of the whole word.
uint64_t prefix_parity(uint64_t v) {
  v ^= v << 1;
  v ^= v << 2;
  v ^= v << 4;
  v ^= v << 8;
  v ^= v << 16;
  v ^= v << 32;
  return v;
}

// Two words (128 rows) as one value: every column has an even number of
// words, so the gates run on pairs without a remainder loop.
typedef uint64_t Pair __attribute__((vector_size(16)));

inline Pair load(const uint64_t* p) {
  Pair v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
inline void store(uint64_t* p, Pair v) { __builtin_memcpy(p, &v, sizeof v); }

// The elementary updates on a word (or pair of words) of rows, in registers.
template <class T>
inline void h_word(T& r, T& x, T& z) {
  r ^= x & z;
  std::swap(x, z);
}
template <class T>
inline void s_word(T& r, T x, T& z) {
  r ^= x & z;
  z ^= x;
}
template <class T>
inline void cnot_word(T& r, T xa, T& za, T& xb, T zb) {
  r ^= xa & zb & ~(xb ^ za);
  xb ^= xa;
  za ^= zb;
}

bool bit_at(const uint64_t* bits, int64_t pos) { return (bits[pos >> 6] >> (pos & 63)) & 1; }
void set_bit(uint64_t* bits, int64_t pos) { bits[pos >> 6] |= uint64_t{1} << (pos & 63); }

}  // namespace

int64_t PackedTableau::bits_words(int64_t n) {
  int64_t words = 0;
  if (__builtin_mul_overflow(n, 4 * half_words(n), &words)) throw std::bad_alloc();
  return words;
}

PackedTableau::PackedTableau(int64_t num_qubits) {
  const int64_t cols = bits_words(num_qubits);
  const int64_t w = half_words(num_qubits);
  // Bits, signs (2W), scratch row (2W + 1), work area (6W).
  int64_t total = 0;
  if (__builtin_add_overflow(cols, 10 * w + 1, &total) || total > static_cast<int64_t>(own_.max_size())) {
    throw std::bad_alloc();
  }
  own_.assign(static_cast<size_t>(total), 0);
  uint64_t* p = own_.data();
  init(num_qubits, p, p + cols, p + cols + 2 * w, p + cols + 4 * w + 1);
  reset();
}

PackedTableau PackedTableau::view(int64_t num_qubits, uint64_t* bits, uint64_t* r, uint64_t* scratch,
                                  uint64_t* work) {
  PackedTableau t;
  t.init(num_qubits, bits, r, scratch, work);
  return t;
}

void PackedTableau::init(int64_t num_qubits, uint64_t* bits, uint64_t* r, uint64_t* scratch, uint64_t* work) {
  n_ = num_qubits;
  words_ = half_words(num_qubits);
  stride_ = 2 * words_;
  bits_ = bits;
  r_ = r;
  scratch_ = scratch;
  work_ = work;
}

void PackedTableau::reset() {
  std::fill(bits_, bits_ + 2 * n_ * stride_, 0);
  std::fill(r_, r_ + stride_, 0);
  std::fill(scratch_, scratch_ + stride_ + 1, 0);
  for (int64_t k = 0; k < n_; ++k) {
    set_bit(xcol(k), k);                // destabilizer k = +X_k
    set_bit(zcol(k), words_ * 64 + k);  // stabilizer k = +Z_k
  }
}

void PackedTableau::apply(int64_t code, int64_t a, int64_t b) {
  // Measurement and unknown codes change nothing, and their operands are not
  // qubits: no column address may be formed from them.
  if (!is_gate(code)) return;
  uint64_t* r = r_;
  uint64_t* xa = xcol(a);
  uint64_t* za = zcol(a);
  const int64_t s = stride_;
  // Each gate visits the pairs of words of its columns once.
  auto one_qubit = [&](auto step) {
    for (int64_t w = 0; w < s; w += 2) {
      Pair rw = load(r + w), x = load(xa + w), z = load(za + w);
      step(rw, x, z);
      store(r + w, rw);
      store(xa + w, x);
      store(za + w, z);
    }
  };
  auto two_qubit = [&](auto step) {
    uint64_t* xb = xcol(b);
    uint64_t* zb = zcol(b);
    for (int64_t w = 0; w < s; w += 2) {
      Pair rw = load(r + w), x0 = load(xa + w), z0 = load(za + w), x1 = load(xb + w), z1 = load(zb + w);
      step(rw, x0, z0, x1, z1);
      store(r + w, rw);
      store(xa + w, x0);
      store(za + w, z0);
      store(xb + w, x1);
      store(zb + w, z1);
    }
  };
  switch (static_cast<Instr>(code)) {
    case instr_h:
      return one_qubit([](Pair& rw, Pair& x, Pair& z) { h_word(rw, x, z); });
    case instr_s:
      return one_qubit([](Pair& rw, Pair& x, Pair& z) { s_word(rw, x, z); });
    case instr_sdg:
      return one_qubit([](Pair& rw, Pair& x, Pair& z) {
        s_word(rw, x, z);
        s_word(rw, x, z);
        s_word(rw, x, z);
      });
    case instr_x:
      return one_qubit([](Pair& rw, Pair&, Pair& z) { rw ^= z; });
    case instr_y:
      return one_qubit([](Pair& rw, Pair& x, Pair& z) { rw ^= z ^ x; });
    case instr_z:
      return one_qubit([](Pair& rw, Pair& x, Pair&) { rw ^= x; });
    case instr_cnot:
      return two_qubit([](Pair& rw, Pair& x0, Pair& z0, Pair& x1, Pair& z1) { cnot_word(rw, x0, z0, x1, z1); });
    case instr_cz:
      return two_qubit([](Pair& rw, Pair& x0, Pair& z0, Pair& x1, Pair& z1) {
        h_word(rw, x1, z1);
        cnot_word(rw, x0, z0, x1, z1);
        h_word(rw, x1, z1);
      });
    case instr_swap:
      return two_qubit([](Pair& rw, Pair& x0, Pair& z0, Pair& x1, Pair& z1) {
        cnot_word(rw, x0, z0, x1, z1);
        cnot_word(rw, x1, z1, x0, z0);
        cnot_word(rw, x0, z0, x1, z1);
      });
    case instr_measure:
      return;
  }
}

int64_t PackedTableau::random_pivot(int64_t a) const {
  const uint64_t* stab = xcol(a) + words_;
  for (int64_t w = 0; w < words_; ++w) {
    if (stab[w] != 0) return w * 64 + std::countr_zero(stab[w]);
  }
  return -1;
}

int64_t PackedTableau::measure(int64_t a, double u) {
  const int64_t f = random_pivot(a);
  return f >= 0 ? measure_random(a, f, u) : measure_determined(a);
}

// Stabilizer f is the first with X or Y on qubit a. Every other row with an
// X bit on a (destabilizer f excepted, which is overwritten next) becomes
// stabilizer f times itself; destabilizer f takes stabilizer f's content
// and stabilizer f becomes (-1)^outcome Z_a.
int64_t PackedTableau::measure_random(int64_t a, int64_t f, double u) {
  const int64_t p = words_ * 64 + f;  // bit position of stabilizer f
  uint64_t* rows = work_;
  uint64_t* lo = work_ + stride_;
  uint64_t* hi = work_ + 2 * stride_;
  const uint64_t* xa = xcol(a);
  for (int64_t w = 0; w < stride_; ++w) {
    rows[w] = xa[w];
    lo[w] = 0;
    hi[w] = 0;
  }
  const int64_t pw = p >> 6, fw = f >> 6;
  const uint64_t pm = uint64_t{1} << (p & 63), fm = uint64_t{1} << (f & 63);
  rows[pw] &= ~pm;
  rows[fw] &= ~fm;

  // Sum over qubits of g(row p, row) mod 4, for all rows at once: lo and hi
  // are the two bits of each row's sum. Rows gain +1 on `plus` and -1 (+1
  // then +2) on `minus`.
  auto accumulate = [&](uint64_t* xj, uint64_t* zj, bool px, bool pz, auto plus_minus) {
    for (int64_t w = 0; w < stride_; ++w) {
      const auto [plus, minus] = plus_minus(xj[w], zj[w]);
      hi[w] ^= lo[w] & plus;
      lo[w] ^= plus;
      hi[w] ^= (lo[w] & minus) ^ minus;
      lo[w] ^= minus;
      if (px) xj[w] ^= rows[w];
      if (pz) zj[w] ^= rows[w];
    }
  };
  for (int64_t j = 0; j < n_; ++j) {
    uint64_t* xj = xcol(j);
    uint64_t* zj = zcol(j);
    const bool px = (xj[pw] & pm) != 0;
    const bool pz = (zj[pw] & pm) != 0;
    if (px && pz) {  // Y: g = z2 - x2
      accumulate(xj, zj, true, true, [](uint64_t x2, uint64_t z2) { return std::pair(z2 & ~x2, x2 & ~z2); });
    } else if (px) {  // X: g = z2 (2 x2 - 1)
      accumulate(xj, zj, true, false, [](uint64_t x2, uint64_t z2) { return std::pair(z2 & x2, z2 & ~x2); });
    } else if (pz) {  // Z: g = x2 (1 - 2 z2)
      accumulate(xj, zj, false, true, [](uint64_t x2, uint64_t z2) { return std::pair(x2 & ~z2, x2 & z2); });
    }
  }
  // Plus 2 r_row + 2 r_p; the new sign is 0 exactly when the sum is 0 mod 4.
  uint64_t* r = r_;
  const uint64_t rp = (r[pw] & pm) != 0 ? ~uint64_t{0} : 0;
  for (int64_t w = 0; w < stride_; ++w) {
    const uint64_t h = hi[w] ^ r[w] ^ rp;
    r[w] = (r[w] & ~rows[w]) | ((lo[w] | h) & rows[w]);
  }

  // Destabilizer f <- stabilizer f; stabilizer f <- Z_a.
  auto move_bit = [&](uint64_t* col, bool keep) {
    const bool v = (col[pw] & pm) != 0;
    col[fw] = v ? col[fw] | fm : col[fw] & ~fm;
    col[pw] = keep ? col[pw] | pm : col[pw] & ~pm;
  };
  for (int64_t j = 0; j < n_; ++j) {
    move_bit(xcol(j), false);
    move_bit(zcol(j), j == a);
  }
  move_bit(r, false);
  const int64_t outcome = u < 0.5 ? 0 : 1;
  if (outcome != 0) r[pw] |= pm;
  return outcome;
}

// The outcome is the sign of the product of the stabilizers whose
// destabilizer partners have an X bit on qubit a. The stabilizers commute,
// so the sign does not depend on the order of the product; in row order
// (later rows to the left) the exponent of i on one qubit is
//   sum_m x_m z_m + 2 sum_{l<m} x_l z_m - X Z   (mod 4),
// X and Z the parities of the x and z bits, from writing each Pauli as
// i^(xz) X^x Z^z and moving the X factors to the left. The product is
// +/-Z_a, so every X parity is 0 and the last term vanishes. The scratch
// row receives the product: the parities of each qubit's bits, and the
// outcome as its sign.
int64_t PackedTableau::determined(int64_t a, bool write_scratch) {
  const uint64_t* chosen = xcol(a);  // destabilizer half: the chosen f
  // Per row, the count of Y entries mod 4 in two bit planes.
  uint64_t* y_lo = work_;
  uint64_t* y_hi = work_ + words_;
  std::fill(y_lo, y_lo + 2 * words_, 0);
  if (write_scratch) std::fill(scratch_, scratch_ + stride_ + 1, 0);
  uint64_t pair_bits = 0;  // xor over qubits of z_m & (x parity below m)
  for (int64_t j = 0; j < n_; ++j) {
    const uint64_t* xs = xcol(j) + words_;
    const uint64_t* zs = zcol(j) + words_;
    uint64_t x_parity = 0;
    uint64_t z_bits = 0;
    for (int64_t w = 0; w < words_; ++w) {
      const uint64_t xw = xs[w] & chosen[w];
      const uint64_t zw = zs[w] & chosen[w];
      const uint64_t y = xw & zw;
      y_hi[w] ^= y_lo[w] & y;
      y_lo[w] ^= y;
      const uint64_t upto = prefix_parity(xw);
      // x parity strictly below each bit, earlier words included
      const uint64_t below = (upto << 1) ^ (x_parity ? ~uint64_t{0} : 0);
      pair_bits ^= zw & below;
      x_parity ^= upto >> 63;
      z_bits ^= zw;
    }
    if (write_scratch) {
      scratch_[j >> 6] |= x_parity << (j & 63);
      scratch_[words_ + (j >> 6)] |= parity64(z_bits) << (j & 63);
    }
  }
  int64_t e = 2 * static_cast<int64_t>(parity64(pair_bits));
  for (int64_t w = 0; w < words_; ++w) e += popcount64(y_lo[w]) + 2 * popcount64(y_hi[w]);
  if (!write_scratch) return e;
  for (int64_t w = 0; w < words_; ++w) e += 2 * popcount64(r_[words_ + w] & chosen[w]);
  const int64_t outcome = (e & 3) == 0 ? 0 : 1;
  scratch_[stride_] = static_cast<uint64_t>(outcome);
  return outcome;
}

int64_t PackedTableau::measure_determined(int64_t a) { return determined(a, true); }

int64_t PackedTableau::determined_phase(int64_t a) const {
  // Only the work area is written.
  return const_cast<PackedTableau*>(this)->determined(a, false);
}

I64Array PackedTableau::flat_array(int64_t num_qubits) {
  int64_t width = 0, len = 0;
  if (__builtin_mul_overflow(num_qubits, 2, &width) || __builtin_add_overflow(width, 1, &width) ||
      __builtin_mul_overflow(width, width, &len)) {
    throw std::bad_alloc();
  }
  return I64Array(len);
}

I64Array PackedTableau::to_flat() const {
  I64Array out = flat_array(n_);
  write_flat(out.data());
  return out;
}

void PackedTableau::write_flat(int64_t* o) const {
  const int64_t n = n_;
  const int64_t width = 2 * n + 1;
  const int64_t step = 2 * stride_;
  // Rows come in blocks of up to 64 that share one word of every column
  // (destabilizers first, then stabilizers): each word is read once and
  // spread over its block's rows, which fill left to right together.
  for (int64_t half = 0; half < 2; ++half) {
    for (int64_t q = 0; q < words_; ++q) {
      const int64_t w = half * words_ + q;
      const int64_t rows = std::min<int64_t>(64, n - q * 64);
      int64_t* first = o + (half * n + q * 64) * width;
      const uint64_t* xw = bits_ + w;
      const uint64_t* zw = bits_ + stride_ + w;
      for (int64_t j = 0; j < n; ++j) {
        const uint64_t x = xw[j * step], z = zw[j * step];
        int64_t* cell = first + j;
        for (int64_t b = 0; b < rows; ++b, cell += width) {
          cell[0] = static_cast<int64_t>((x >> b) & 1);
          cell[n] = static_cast<int64_t>((z >> b) & 1);
        }
      }
      for (int64_t b = 0; b < rows; ++b) first[b * width + 2 * n] = static_cast<int64_t>((r_[w] >> b) & 1);
    }
  }
  int64_t* row = o + 2 * n * width;
  for (int64_t j = 0; j < n; ++j) {
    row[j] = bit_at(scratch_, j);
    row[n + j] = bit_at(scratch_, words_ * 64 + j);
  }
  row[2 * n] = static_cast<int64_t>(scratch_[stride_]);
}

}  // namespace orvane
