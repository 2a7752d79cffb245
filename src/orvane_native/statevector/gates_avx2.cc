// The AVX2 variants of the dense one- and two-qubit gate kernels.
#include "orvane_native/support/cpu.h"

#if defined(ORVANE_X86_64)
#include <algorithm>

#include "orvane_native/statevector/gates_simd.h"
#include "orvane_native/support/simd_avx2.h"

namespace orvane::simd {
namespace {

using avx2::cmul;
using avx2::high_twice;
using avx2::low_twice;
using avx2::pair;
using avx2::prefetch;

// The kernels stream the state through the cache in runs that the hardware
// prefetchers follow poorly when they are short or far apart, so each loop
// asks for the line it will reach about kAhead amplitudes later.
constexpr int64_t kAhead = 512;

// For a loop over the pairs (b + j, b + s + j), j = 0 .. s-1, in blocks
// b = 0, 2s, 4s, ..., called every four values of j (a line of each
// stream): asks for the lines about kAhead amplitudes ahead of both streams.
inline void prefetch_pair(const double* psi, int64_t dim, int64_t b, int64_t j, int64_t s) {
  if (s >= kAhead) {
    // Long runs: ahead in each run; the start of the next block is left to
    // the hardware.
    if (j + kAhead < s) {
      prefetch(psi + 2 * (b + j + kAhead));
      prefetch(psi + 2 * (b + s + j + kAhead));
    }
  } else {
    // Short runs: the two streams sweep the array together, two lines per
    // step, so ask for the two lines that far ahead of the sweep.
    const int64_t at = b + 2 * j + kAhead;
    if (at + 4 < dim) {
      prefetch(psi + 2 * at);
      prefetch(psi + 2 * (at + 4));
    }
  }
}

}  // namespace

ORVANE_TARGET_AVX2 void apply_1q_avx2(double* psi, int64_t dim, int64_t s, const double* g) {
  const __m256d g00r = _mm256_set1_pd(g[0]), g00i = _mm256_set1_pd(g[1]);
  const __m256d g01r = _mm256_set1_pd(g[2]), g01i = _mm256_set1_pd(g[3]);
  const __m256d g10r = _mm256_set1_pd(g[4]), g10i = _mm256_set1_pd(g[5]);
  const __m256d g11r = _mm256_set1_pd(g[6]), g11i = _mm256_set1_pd(g[7]);
  if (s == 1) {
    // Two neighbouring pairs per step, transposed in registers: a0 holds
    // both pairs' first amplitudes, a1 their second ones.
    int64_t b = 0;
    for (; b + 4 <= dim; b += 4) {
      if (b + kAhead < dim) prefetch(psi + 2 * (b + kAhead));
      const __m256d v0 = _mm256_loadu_pd(psi + 2 * b), v1 = _mm256_loadu_pd(psi + 2 * b + 4);
      const __m256d a0 = _mm256_permute2f128_pd(v0, v1, 0x20), a1 = _mm256_permute2f128_pd(v0, v1, 0x31);
      const __m256d r0 = _mm256_add_pd(cmul(g00r, g00i, a0), cmul(g01r, g01i, a1));
      const __m256d r1 = _mm256_add_pd(cmul(g10r, g10i, a0), cmul(g11r, g11i, a1));
      _mm256_storeu_pd(psi + 2 * b, _mm256_permute2f128_pd(r0, r1, 0x20));
      _mm256_storeu_pd(psi + 2 * b + 4, _mm256_permute2f128_pd(r0, r1, 0x31));
    }
    if (b < dim) {
      // One pair left (a single qubit): its lanes hold rows 0 and 1.
      const __m256d v = _mm256_loadu_pd(psi + 2 * b);
      const __m256d out = _mm256_add_pd(cmul(pair(g[0], g[4]), pair(g[1], g[5]), low_twice(v)),
                                        cmul(pair(g[2], g[6]), pair(g[3], g[7]), high_twice(v)));
      _mm256_storeu_pd(psi + 2 * b, out);
    }
    return;
  }
  if (s == 2) {
    // One step per block: a single loop over the array.
    for (int64_t b = 0; b < dim; b += 4) {
      if (b + kAhead < dim) prefetch(psi + 2 * (b + kAhead));
      const __m256d a0 = _mm256_loadu_pd(psi + 2 * b), a1 = _mm256_loadu_pd(psi + 2 * b + 4);
      _mm256_storeu_pd(psi + 2 * b, _mm256_add_pd(cmul(g00r, g00i, a0), cmul(g01r, g01i, a1)));
      _mm256_storeu_pd(psi + 2 * b + 4, _mm256_add_pd(cmul(g10r, g10i, a0), cmul(g11r, g11i, a1)));
    }
    return;
  }
  // s >= 4: a whole line (four amplitudes, two registers) of each stream
  // per step, every load before any store. Storing half a line and then
  // loading the other half runs at about half the speed for strides of 32
  // to 256 amplitudes.
  for (int64_t b = 0; b < dim; b += 2 * s) {
    double* p0 = psi + 2 * b;
    double* p1 = p0 + 2 * s;
    for (int64_t j = 0; j < s; j += 4) {
      if (s <= kAhead) {
        // Short runs: the two streams sweep the array together, two lines
        // per step; ask for the two lines that far ahead of the sweep (the
        // last ones again near the end).
        prefetch(psi + 2 * std::min(b + 2 * j + kAhead, dim - 4));
        prefetch(psi + 2 * std::min(b + 2 * j + kAhead + 4, dim - 4));
      } else if (j + kAhead < s) {
        // Long runs: ahead in each run; the next block's start is left to
        // the hardware.
        prefetch(p0 + 2 * (j + kAhead));
        prefetch(p1 + 2 * (j + kAhead));
      }
      const __m256d a0 = _mm256_loadu_pd(p0 + 2 * j), c0 = _mm256_loadu_pd(p0 + 2 * j + 4);
      const __m256d a1 = _mm256_loadu_pd(p1 + 2 * j), c1 = _mm256_loadu_pd(p1 + 2 * j + 4);
      const __m256d r0 = _mm256_add_pd(cmul(g00r, g00i, a0), cmul(g01r, g01i, a1));
      const __m256d r1 = _mm256_add_pd(cmul(g10r, g10i, a0), cmul(g11r, g11i, a1));
      const __m256d q0 = _mm256_add_pd(cmul(g00r, g00i, c0), cmul(g01r, g01i, c1));
      const __m256d q1 = _mm256_add_pd(cmul(g10r, g10i, c0), cmul(g11r, g11i, c1));
      _mm256_storeu_pd(p0 + 2 * j, r0);
      _mm256_storeu_pd(p0 + 2 * j + 4, q0);
      _mm256_storeu_pd(p1 + 2 * j, r1);
      _mm256_storeu_pd(p1 + 2 * j + 4, q1);
    }
  }
}

namespace {

// Two targets, the smaller stride at least 2: runs of `lo` consecutive bases,
// two bases per register.
ORVANE_TARGET_AVX2
void apply_2q_wide(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im) {
  __m256d gr[16], gi[16];
  for (int e = 0; e < 16; ++e) {
    gr[e] = _mm256_set1_pd(re[e]);
    gi[e] = _mm256_set1_pd(im[e]);
  }
  // A chunk is the four runs of lo amplitudes at j, j + lo, j + hi and
  // j + hi + lo (j = i, i + 2lo, ... below i + hi in each block i of 2hi).
  // Runs shorter than kAhead are prefetched `runs_ahead` chunks later;
  // longer ones the hardware follows well enough. `later` walks the chunks
  // runs_ahead places ahead of j, in the same order, until it reaches dim.
  const int64_t runs_ahead = lo < kAhead ? std::max<int64_t>(1, kAhead / (2 * lo)) : 0;
  auto next_chunk = [&](int64_t x) { return ((x + 2 * lo) & (hi - 1)) == 0 ? x + 2 * lo + hi : x + 2 * lo; };
  int64_t later = 0;
  for (int64_t c = 0; c < runs_ahead && later < dim; ++c) later = next_chunk(later);
  for (int64_t i = 0; i < dim; i += 2 * hi) {
    for (int64_t j = i; j < i + hi; j += 2 * lo) {
      double* p[4] = {psi + 2 * (j + off[0]), psi + 2 * (j + off[1]), psi + 2 * (j + off[2]),
                      psi + 2 * (j + off[3])};
      // Distance in floats from this chunk's runs to the later chunk's; -1
      // when there is none.
      int64_t later_run = -1;
      if (runs_ahead > 0 && later < dim) {
        later_run = 2 * (later - j);
        later = next_chunk(later);
      }
      for (int64_t k = 0; k < lo; k += 2) {
        if ((k & 2) == 0 && later_run >= 0)
          for (int m = 0; m < 4; ++m) prefetch(p[m] + 2 * k + later_run);
        __m256d a[4];
        for (int m = 0; m < 4; ++m) a[m] = _mm256_loadu_pd(p[m] + 2 * k);
        for (int r = 0; r < 4; ++r) {
          __m256d acc = _mm256_setzero_pd();
          for (int c = 0; c < 4; ++c) acc = _mm256_add_pd(acc, cmul(gr[r * 4 + c], gi[r * 4 + c], a[c]));
          _mm256_storeu_pd(p[r] + 2 * k, acc);
        }
      }
    }
  }
}

// Two targets, one of stride 1: each register holds the pair of amplitudes
// that differ in that target; the two registers differ in the other target.
ORVANE_TARGET_AVX2
void apply_2q_narrow(double* psi, int64_t dim, const int64_t off[4], int64_t hi, const double* re,
                     const double* im) {
  // Local index of register h, lane l.
  int idx[2][2];
  for (int r = 0; r < 4; ++r) idx[off[r] >= hi ? 1 : 0][off[r] & 1] = r;
  __m256d gr[2][4], gi[2][4];
  for (int h = 0; h < 2; ++h)
    for (int c = 0; c < 4; ++c) {
      gr[h][c] = pair(re[idx[h][0] * 4 + c], re[idx[h][1] * 4 + c]);
      gi[h][c] = pair(im[idx[h][0] * 4 + c], im[idx[h][1] * 4 + c]);
    }
  // Which register and lane hold local index c.
  int reg[4], lane[4];
  for (int h = 0; h < 2; ++h)
    for (int l = 0; l < 2; ++l) {
      reg[idx[h][l]] = h;
      lane[idx[h][l]] = l;
    }
  for (int64_t i = 0; i < dim; i += 2 * hi) {
    for (int64_t b = i; b < i + hi; b += 2) {
      if (((b - i) & 2) == 0) prefetch_pair(psi, dim, i, b - i, hi);
      const __m256d v[2] = {_mm256_loadu_pd(psi + 2 * b), _mm256_loadu_pd(psi + 2 * (b + hi))};
      __m256d a[4];
      for (int c = 0; c < 4; ++c) a[c] = lane[c] == 0 ? low_twice(v[reg[c]]) : high_twice(v[reg[c]]);
      for (int h = 0; h < 2; ++h) {
        __m256d acc = _mm256_setzero_pd();
        for (int c = 0; c < 4; ++c) acc = _mm256_add_pd(acc, cmul(gr[h][c], gi[h][c], a[c]));
        _mm256_storeu_pd(psi + 2 * (b + h * hi), acc);
      }
    }
  }
}

}  // namespace

ORVANE_TARGET_AVX2
void apply_2q_avx2(double* psi, int64_t dim, const int64_t off[4], int64_t lo, int64_t hi, const double* re,
                   const double* im) {
  if (lo >= 2) return apply_2q_wide(psi, dim, off, lo, hi, re, im);
  apply_2q_narrow(psi, dim, off, hi, re, im);
}

}  // namespace orvane::simd

#endif  // ORVANE_X86_64
