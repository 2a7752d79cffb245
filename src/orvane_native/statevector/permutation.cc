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

// The base after a stretch of len groups that starts at base.
inline int64_t next_base(int64_t base, int64_t len, int64_t mask) { return (((base + len - 1) | mask) + 1) & ~mask; }

// Copies, negations and exchanges go in blocks of four amplitudes (a cache
// line), a fixed size the compiler keeps in vector registers; a variable
// size would cost a library call or a string instruction, or overlap
// checks and remainder loops, each larger than a short run itself.
constexpr int64_t kBlock = 4;

// How far ahead of a sweep over short runs their lines are asked for: about
// 1 KiB of each row, enough to cover the memory's latency at its bandwidth.
constexpr int64_t kAheadBytes = 1024;

// The rows a loop will write, whose lines it asks for ahead of time.
struct RowsAhead {
  const double* psi;
  const int64_t* off;
  int64_t count;
};

// Asks for the lines of count amplitudes from base in each row (hints only:
// nothing is read). Inlined by force: GCC takes a call that only prefetches
// for one without effect and drops it.
[[gnu::always_inline]] inline void prefetch_rows(const RowsAhead& rows, int64_t base, int64_t count) {
  for (int64_t r = 0; r < rows.count; ++r) {
    const double* p = rows.psi + 2 * (base | rows.off[r]);
    for (int64_t i = 0; i < 2 * count; i += 8) __builtin_prefetch(p + i, 1);
  }
}

inline void copy_amplitudes(double* dst, const double* src, int64_t len) {
  int64_t i = 0;
  for (; i + kBlock <= len; i += kBlock) std::memcpy(dst + 2 * i, src + 2 * i, 2 * kBlock * sizeof(double));
  for (; i < len; ++i) std::memcpy(dst + 2 * i, src + 2 * i, 2 * sizeof(double));
}

// dst = -src, the sign bit flipped (also that of a NaN); dst may be src.
template <int64_t kLen>
[[gnu::always_inline]] inline void negate_block(double* dst, const double* src) {
  if (dst == src) {
    for (int64_t k = 0; k < 2 * kLen; ++k) dst[k] = -dst[k];
  } else {
    double* __restrict d = dst;
    const double* __restrict s = src;
    for (int64_t k = 0; k < 2 * kLen; ++k) d[k] = -s[k];
  }
}

[[gnu::always_inline]] inline void negate_amplitudes(double* dst, const double* src, int64_t len) {
  int64_t i = 0;
  for (; i + kBlock <= len; i += kBlock) negate_block<kBlock>(dst + 2 * i, src + 2 * i);
  for (; i < len; ++i) negate_block<1>(dst + 2 * i, src + 2 * i);
}

// Exchanges kLen amplitudes of a and b (different rows: they never
// overlap), negating what a or b takes when kFlipA or kFlipB.
template <int64_t kLen, bool kFlipA, bool kFlipB>
[[gnu::always_inline]] inline void exchange_block(double* __restrict a, double* __restrict b) {
  for (int64_t k = 0; k < 2 * kLen; ++k) {
    const double x = a[k], y = b[k];
    a[k] = kFlipA ? -y : y;
    b[k] = kFlipB ? -x : x;
  }
}

template <bool kFlipA, bool kFlipB>
[[gnu::always_inline]] inline void exchange_amplitudes(double* a, double* b, int64_t len) {
  int64_t i = 0;
  for (; i + kBlock <= len; i += kBlock) exchange_block<kBlock, kFlipA, kFlipB>(a + 2 * i, b + 2 * i);
  for (; i < len; ++i) exchange_block<1, kFlipA, kFlipB>(a + 2 * i, b + 2 * i);
}

// Calls body(at, count) for the groups first_group .. end_group - 1 in
// order, as stretches of at most `stretch` groups with consecutive bases
// (at, at + 1, ..., at + count - 1) inside one run of `run` amplitudes (the
// index bits below the lowest target bit). Where runs are short it also
// asks for the lines of `rows` that it will reach a little later.
template <class Body>
inline void for_each_stretch(int64_t first_group, int64_t end_group, int64_t mask, int64_t stretch,
                             const RowsAhead& rows, Body body) {
  const int64_t run = mask & -mask;
  // The next target bit above the lowest: whole runs between the two lie
  // 2 * run apart, and short ones go through a tight loop of their own (a
  // CNOT on qubits 2 and 20 of 24 has runs of eight amplitudes).
  const int64_t above = (mask & ~run) & -(mask & ~run);
  int64_t g = first_group;
  int64_t base = group_base(g, mask);
  while (g < end_group) {
    if (run < stretch && (base & (run - 1)) == 0) {
      const int64_t room = above == 0 ? end_group : (above - (base & (above - 1))) / (2 * run);
      const int64_t runs = std::min(room, (end_group - g) / run);
      if (runs > 0) {
        // Rows this short lie 2 * run apart, a gap the hardware prefetchers
        // fill with lines nobody reads; asking for the rows themselves some
        // way ahead keeps the memory busy with the lines that are used.
        const int64_t ahead = std::max<int64_t>(1, kAheadBytes / (32 * run));
        for (int64_t k = 0; k < runs; ++k) {
          if (k + ahead < runs) prefetch_rows(rows, base + 2 * run * (k + ahead), run);
          body(base + 2 * run * k, run);
        }
        g += runs * run;
        base = next_base(base + 2 * run * (runs - 1), run, mask);
        continue;
      }
    }
    const int64_t len = std::min(run - (base & (run - 1)), end_group - g);
    for (int64_t j = 0; j < len; j += stretch) body(base + j, std::min(stretch, len - j));
    g += len;
    base = next_base(base, len, mask);
  }
}

// One pair of rows exchanging their amplitudes (CNOT, SWAP, X on a target
// and their signed forms), the rest of the group left alone.
template <bool kFlipA, bool kFlipB>
void exchange_pair(double* psi, int64_t first_group, int64_t end_group, int64_t mask, int64_t a, int64_t b) {
  const int64_t rows[2] = {a, b};
  for_each_stretch(first_group, end_group, mask, kStretch, RowsAhead{psi, rows, 2}, [&](int64_t at, int64_t count) {
    exchange_amplitudes<kFlipA, kFlipB>(psi + 2 * (at | a), psi + 2 * (at | b), count);
  });
}

// Rows negated in place and nothing moved: the +-1 diagonals (CZ, Z on a
// target, Z x Z, ...).
void negate_rows(double* psi, int64_t first_group, int64_t end_group, int64_t mask, const std::vector<int64_t>& rows) {
  const RowsAhead ahead{psi, rows.data(), static_cast<int64_t>(rows.size())};
  for_each_stretch(first_group, end_group, mask, kStretch, ahead, [&](int64_t at, int64_t count) {
    for (const int64_t r : rows) {
      double* row = psi + 2 * (at | r);
      negate_amplitudes(row, row, count);
    }
  });
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
  // The common two-qubit gates, each with a loop of its own.
  if (copies.size() == 2 && negated.empty()) {
    const int64_t r = copies[0], c = copies[1];
    const bool fr = p.sign[r] != 1.0, fc = p.sign[c] != 1.0;
    const int64_t a = p.off[r], b = p.off[c];
    if (fr && fc) return exchange_pair<true, true>(psi, first_group, end_group, p.mask, a, b);
    if (fr) return exchange_pair<true, false>(psi, first_group, end_group, p.mask, a, b);
    if (fc) return exchange_pair<false, true>(psi, first_group, end_group, p.mask, a, b);
    return exchange_pair<false, false>(psi, first_group, end_group, p.mask, a, b);
  }
  if (copies.empty()) {
    std::vector<int64_t> rows;
    for (const int64_t r : negated) rows.push_back(p.off[r]);
    if (!rows.empty()) negate_rows(psi, first_group, end_group, p.mask, rows);
    return;
  }
  // Any other signed permutation: the moved rows of a stretch are staged
  // (a cycle of rows can then be written back in any order), then written
  // with their signs; negated rows change in place.
  const int64_t nc = static_cast<int64_t>(copies.size());
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
  // Every row the stretch writes: the moved ones, then the negated ones.
  std::vector<int64_t> written(dst_off);
  for (const int64_t r : negated) written.push_back(p.off[r]);
  const RowsAhead rows{psi, written.data(), static_cast<int64_t>(written.size())};
  for_each_stretch(first_group, end_group, p.mask, stretch, rows, [&](int64_t at, int64_t count) {
    for (int64_t x = 0; x < nc; ++x) {
      copy_amplitudes(stage.data() + 2 * stretch * x, psi + 2 * (at | src_off[x]), count);
    }
    for (int64_t x = 0; x < nc; ++x) {
      double* dst = psi + 2 * (at | dst_off[x]);
      const double* from = stage.data() + 2 * stretch * x;
      if (flip[x]) {
        negate_amplitudes(dst, from, count);
      } else {
        copy_amplitudes(dst, from, count);
      }
    }
    for (const int64_t r : negated) {
      double* row = psi + 2 * (at | p.off[r]);
      negate_amplitudes(row, row, count);
    }
  });
}

}  // namespace orvane
