#include "orvane_native/statevector/permutation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orvane {
namespace {

// The base of group g: the bits of g spread over the positions that are not
// target bits (a zero inserted at each target bit, lowest first).
int64_t group_base(int64_t g, int64_t mask) {
  int64_t b = g;
  for (int64_t m = mask; m != 0; m &= m - 1) {
    const int64_t below = (m & -m) - 1;
    b = (b & below) | ((b & ~below) << 1);
  }
  return b;
}

// The copies are staged through a buffer of this many bytes at most, a
// stretch of each moved row at a time (so that a cycle of rows can be
// written back in any order); 32 KiB stays in the first-level cache.
constexpr int64_t kStageBytes = 32 * 1024;
// Amplitudes per row per stretch at most: 64 (1 KiB, sixteen cache lines).
constexpr int64_t kStretch = 64;

// Copies and negations in blocks of eight amplitudes (two cache lines), a
// size the compiler turns into vector moves; a variable-size memcpy would
// become a string instruction whose start-up costs more than a short run.
constexpr int64_t kBlock = 8;

inline void copy_amplitudes(double* dst, const double* src, int64_t len) {
  int64_t i = 0;
  for (; i + kBlock <= len; i += kBlock) std::memcpy(dst + 2 * i, src + 2 * i, 2 * kBlock * sizeof(double));
  for (; i < len; ++i) std::memcpy(dst + 2 * i, src + 2 * i, 2 * sizeof(double));
}

// dst = -src, the sign bit flipped (also that of a NaN); dst may be src.
inline void negate_amplitudes(double* dst, const double* src, int64_t len) {
  int64_t i = 0;
  for (; i + kBlock <= len; i += kBlock) {
    double block[2 * kBlock];
    for (int64_t k = 0; k < 2 * kBlock; ++k) block[k] = -src[2 * i + k];
    std::memcpy(dst + 2 * i, block, sizeof block);
  }
  for (; i < len; ++i) {
    const double re = -src[2 * i], im = -src[2 * i + 1];
    dst[2 * i] = re;
    dst[2 * i + 1] = im;
  }
}

}  // namespace

void permute_groups(double* psi, const GroupPermutation& p, int64_t first_group, int64_t end_group) {
  if (first_group >= end_group) return;
  // Rows whose amplitude comes from another row, and rows negated in place.
  std::vector<int64_t> copies, negated;
  for (int64_t r = 0; r < p.d; ++r) {
    if (p.col[r] != r) {
      copies.push_back(r);
    } else if (p.sign[r] != 1.0) {
      negated.push_back(r);
    }
  }
  if (copies.empty() && negated.empty()) return;
  const int64_t nc = static_cast<int64_t>(copies.size());
  // Groups with consecutive bases form runs of `run` amplitudes (the index
  // bits below the lowest target bit), which each row walks in stretches.
  const int64_t run = p.mask & -p.mask;
  const int64_t stretch =
      std::max<int64_t>(1, std::min<int64_t>(kStretch, kStageBytes / (16 * std::max<int64_t>(1, nc))));
  std::vector<double> stage(static_cast<size_t>(2 * stretch * nc));
  std::vector<int64_t> src_off(static_cast<size_t>(nc)), dst_off(static_cast<size_t>(nc));
  std::vector<uint8_t> flip(static_cast<size_t>(nc));
  for (int64_t x = 0; x < nc; ++x) {
    src_off[x] = p.off[p.col[copies[x]]];
    dst_off[x] = p.off[copies[x]];
    flip[x] = p.sign[copies[x]] != 1.0;
  }
  int64_t g = first_group;
  int64_t base = group_base(g, p.mask);
  while (g < end_group) {
    // The rest of this run within the range: groups g .. g + len - 1.
    const int64_t len = std::min(run - (base & (run - 1)), end_group - g);
    for (int64_t j = 0; j < len; j += stretch) {
      const int64_t count = std::min(stretch, len - j);
      const int64_t at = base + j;
      for (int64_t x = 0; x < nc; ++x) {
        copy_amplitudes(stage.data() + 2 * stretch * x, psi + 2 * (at | src_off[x]), count);
      }
      for (int64_t x = 0; x < nc; ++x) {
        double* dst = psi + 2 * (at | dst_off[x]);
        const double* src = stage.data() + 2 * stretch * x;
        if (flip[x]) {
          negate_amplitudes(dst, src, count);
        } else {
          copy_amplitudes(dst, src, count);
        }
      }
      for (const int64_t r : negated) {
        double* a = psi + 2 * (at | p.off[r]);
        negate_amplitudes(a, a, count);
      }
    }
    g += len;
    // The next base after the last group of this stretch of the run.
    base = (((base + len - 1) | p.mask) + 1) & ~p.mask;
  }
}

}  // namespace orvane
