#include "orvane_native/stabilizer/packed_tableau.h"

#include <algorithm>
#include <bit>
#include <new>
#include <utility>

#include "orvane_native/stabilizer/bits.h"
#include "orvane_native/stabilizer/tableau.h"

namespace orvane {
namespace {

size_t column_words(int64_t n, int64_t stride) {
  int64_t words = 0;
  if (__builtin_mul_overflow(n, stride, &words)) throw std::bad_alloc();
  return static_cast<size_t>(words);
}

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

}  // namespace

PackedTableau::PackedTableau(int64_t num_qubits)
    : n_(num_qubits), words_(num_qubits / 64 + (num_qubits % 64 != 0)), stride_(2 * words_) {
  const size_t len = column_words(n_, stride_);
  x_.assign(len, 0);
  z_.assign(len, 0);
  r_.assign(static_cast<size_t>(stride_), 0);
  rows_.assign(static_cast<size_t>(stride_), 0);
  lo_.assign(static_cast<size_t>(stride_), 0);
  hi_.assign(static_cast<size_t>(stride_), 0);
  reset();
}

void PackedTableau::reset() {
  std::fill(x_.begin(), x_.end(), 0);
  std::fill(z_.begin(), z_.end(), 0);
  std::fill(r_.begin(), r_.end(), 0);
  for (int64_t k = 0; k < n_; ++k) {
    put(xcol(k), k, true);                // destabilizer k = +X_k
    put(zcol(k), words_ * 64 + k, true);  // stabilizer k = +Z_k
  }
}

void PackedTableau::hadamard(int64_t a) {
  uint64_t* xa = xcol(a);
  uint64_t* za = zcol(a);
  for (int64_t w = 0; w < stride_; ++w) {
    r_[w] ^= xa[w] & za[w];
    std::swap(xa[w], za[w]);
  }
}

void PackedTableau::phase(int64_t a) {
  uint64_t* xa = xcol(a);
  uint64_t* za = zcol(a);
  for (int64_t w = 0; w < stride_; ++w) {
    r_[w] ^= xa[w] & za[w];
    za[w] ^= xa[w];
  }
}

void PackedTableau::cnot(int64_t a, int64_t b) {
  uint64_t* xa = xcol(a);
  uint64_t* za = zcol(a);
  uint64_t* xb = xcol(b);
  uint64_t* zb = zcol(b);
  for (int64_t w = 0; w < stride_; ++w) {
    r_[w] ^= xa[w] & zb[w] & ~(xb[w] ^ za[w]);
    xb[w] ^= xa[w];
    za[w] ^= zb[w];
  }
}

void PackedTableau::apply(int64_t code, int64_t a, int64_t b) {
  switch (code) {
    case instr_h:
      hadamard(a);
      break;
    case instr_s:
      phase(a);
      break;
    case instr_sdg:
      phase(a);
      phase(a);
      phase(a);
      break;
    case instr_x:
    case instr_y:
    case instr_z: {
      const uint64_t* xa = xcol(a);
      const uint64_t* za = zcol(a);
      for (int64_t w = 0; w < stride_; ++w) {
        if (code != instr_z) r_[w] ^= za[w];
        if (code != instr_x) r_[w] ^= xa[w];
      }
      break;
    }
    case instr_cnot:
      cnot(a, b);
      break;
    case instr_cz:
      hadamard(b);
      cnot(a, b);
      hadamard(b);
      break;
    case instr_swap:
      cnot(a, b);
      cnot(b, a);
      cnot(a, b);
      break;
    default:
      break;
  }
}

int64_t PackedTableau::measure(int64_t a, double u) {
  const uint64_t* stab = xcol(a) + words_;
  for (int64_t w = 0; w < words_; ++w) {
    if (stab[w] != 0) return measure_random(a, w * 64 + std::countr_zero(stab[w]), u);
  }
  return measure_determined(a);
}

// Stabilizer f is the first with X or Y on qubit a. Every other row with an
// X bit on a (destabilizer f excepted, which is overwritten next) becomes
// stabilizer f times itself; destabilizer f takes stabilizer f's content
// and stabilizer f becomes (-1)^outcome Z_a.
int64_t PackedTableau::measure_random(int64_t a, int64_t f, double u) {
  const int64_t p = words_ * 64 + f;  // bit position of stabilizer f
  uint64_t* rows = rows_.data();
  uint64_t* lo = lo_.data();
  uint64_t* hi = hi_.data();
  const uint64_t* xa = xcol(a);
  for (int64_t w = 0; w < stride_; ++w) {
    rows[w] = xa[w];
    lo[w] = 0;
    hi[w] = 0;
  }
  put(rows, p, false);
  put(rows, f, false);

  // Sum over qubits of g(row p, row) mod 4, for all rows at once: lo and hi
  // are the two bits of each row's sum. Rows gain +1 on `plus` and -1 (+1
  // then +2) on `minus`.
  const int64_t pw = p >> 6, fw = f >> 6;
  const uint64_t pm = uint64_t{1} << (p & 63), fm = uint64_t{1} << (f & 63);
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
  uint64_t* r = r_.data();
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
// +/-Z_a, so every X parity is 0 and the last term vanishes.
int64_t PackedTableau::measure_determined(int64_t a) {
  const uint64_t* chosen = xcol(a);  // destabilizer half: the chosen f
  // Per row, the count of Y entries mod 4 in two bit planes.
  uint64_t* y_lo = lo_.data();
  uint64_t* y_hi = hi_.data();
  std::fill(y_lo, y_lo + words_, 0);
  std::fill(y_hi, y_hi + words_, 0);
  uint64_t pair_bits = 0;  // xor over qubits of z_m & (x parity below m)
  for (int64_t j = 0; j < n_; ++j) {
    const uint64_t* xs = xcol(j) + words_;
    const uint64_t* zs = zcol(j) + words_;
    uint64_t x_parity = 0;
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
    }
  }
  int64_t e = 2 * static_cast<int64_t>(parity64(pair_bits));
  for (int64_t w = 0; w < words_; ++w) {
    e += popcount64(y_lo[w]) + 2 * popcount64(y_hi[w]) + 2 * popcount64(r_[words_ + w] & chosen[w]);
  }
  return (e & 3) == 0 ? 0 : 1;
}

I64Array PackedTableau::to_flat() const {
  const int64_t n = n_;
  const int64_t width = 2 * n + 1;
  I64Array out(width * width);
  for (int64_t k = 0; k < 2 * n; ++k) {
    const int64_t pos = k < n ? k : words_ * 64 + (k - n);
    for (int64_t j = 0; j < n; ++j) {
      out[k * width + j] = bit(xcol(j), pos);
      out[k * width + n + j] = bit(zcol(j), pos);
    }
    out[k * width + 2 * n] = bit(r_.data(), pos);
  }
  return out;
}

}  // namespace orvane
