#include "orvane_native/statevector/permutation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "orvane_native/statevector/gates.h"
#include "orvane_native/support/targets.h"

namespace orvane {
namespace {

// Every group in turn: read the d amplitudes, write row r from column
// col[r], negated (the sign bit flipped) where sign[r] is -1.
std::vector<double> group_by_group(std::vector<double> psi, int64_t n, const std::vector<int64_t>& targets,
                                   const std::vector<int64_t>& col, const std::vector<double>& sign) {
  const int64_t dim = int64_t{1} << n, d = static_cast<int64_t>(col.size());
  const TargetOffsets t = target_offsets({targets.data(), static_cast<int64_t>(targets.size())}, n, d);
  std::vector<double> tmp(static_cast<size_t>(2 * d));
  for (int64_t b = 0; b < dim; ++b) {
    if ((b & t.mask) != 0) continue;
    for (int64_t c = 0; c < d; ++c) {
      tmp[2 * c] = psi[2 * (b | t.off[c])];
      tmp[2 * c + 1] = psi[2 * (b | t.off[c]) + 1];
    }
    for (int64_t r = 0; r < d; ++r) {
      for (int part = 0; part < 2; ++part) {
        const double v = tmp[2 * col[r] + part];
        const uint64_t flip = sign[r] < 0 ? uint64_t{1} << 63 : 0;
        psi[2 * (b | t.off[r]) + part] = std::bit_cast<double>(std::bit_cast<uint64_t>(v) ^ flip);
      }
    }
  }
  return psi;
}

// Amplitudes with every kind of value a copy or a negation could disturb:
// signed zeros, infinities, subnormals, NaNs of both signs with payloads
// (quiet and signalling), and ordinary numbers.
std::vector<double> awkward_state(std::mt19937_64& rng, int64_t n) {
  const double specials[] = {0.0,
                             -0.0,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             5e-324,
                             -2.5e-310,
                             std::bit_cast<double>(uint64_t{0x7ff8000000000123}),
                             std::bit_cast<double>(uint64_t{0xfff0000000000042}),
                             1e308};
  std::normal_distribution<double> normal;
  std::vector<double> psi(static_cast<size_t>(2) << n);
  for (double& v : psi) {
    const uint64_t pick = rng() % 24;
    v = pick < 9 ? specials[pick] : normal(rng);
  }
  return psi;
}

bool same_bits(const std::vector<double>& a, const double* b) {
  return std::memcmp(a.data(), b, a.size() * sizeof(double)) == 0;
}

// The kernel on the whole state and on a few consecutive ranges of groups,
// against the group-by-group loop, bit for bit; and the same gate as a
// matrix through apply_gate_into (which chooses this kernel for two or more
// targets).
void check(std::mt19937_64& rng, int64_t n, const std::vector<int64_t>& targets, const std::vector<int64_t>& col,
           const std::vector<double>& sign) {
  const int64_t d = static_cast<int64_t>(col.size()), groups = (int64_t{1} << n) / d;
  const std::vector<double> psi = awkward_state(rng, n);
  const std::vector<double> want = group_by_group(psi, n, targets, col, sign);
  const TargetOffsets t = target_offsets({targets.data(), static_cast<int64_t>(targets.size())}, n, d);
  const GroupPermutation p{t.off.data(), d, t.mask, col.data(), sign.data()};

  std::vector<double> whole = psi;
  permute_groups(whole.data(), p, 0, groups);
  ASSERT_TRUE(same_bits(want, whole.data())) << "n " << n << " targets[0] " << targets[0] << " d " << d;

  std::vector<int64_t> cuts{0, groups};
  for (int i = 0; i < 3; ++i) cuts.push_back(static_cast<int64_t>(rng() % static_cast<uint64_t>(groups + 1)));
  std::sort(cuts.begin(), cuts.end());
  std::vector<double> pieces = psi;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) permute_groups(pieces.data(), p, cuts[i], cuts[i + 1]);
  ASSERT_TRUE(same_bits(want, pieces.data())) << "ranges, n " << n << " targets[0] " << targets[0];

  if (d == 2) return;  // one target: the dense single-qubit kernel runs instead
  std::vector<double> gate(static_cast<size_t>(2 * d * d), 0.0);
  for (int64_t r = 0; r < d; ++r) gate[2 * (r * d + col[r])] = sign[r];
  std::vector<double> via_gate = psi;
  apply_gate_into({via_gate.data(), static_cast<int64_t>(via_gate.size())},
                  {gate.data(), static_cast<int64_t>(gate.size())}, n,
                  {targets.data(), static_cast<int64_t>(targets.size())});
  ASSERT_TRUE(same_bits(want, via_gate.data())) << "apply_gate_into, n " << n << " targets[0] " << targets[0];
}

TEST(GroupPermutation, NamedGatesCopyAndNegateBitForBit) {
  std::mt19937_64 rng(21);
  const std::vector<int64_t> cnot{0, 1, 3, 2}, swap{0, 2, 1, 3}, same{0, 1, 2, 3};
  const std::vector<double> plus(4, 1.0), cz{1.0, 1.0, 1.0, -1.0}, zz{1.0, -1.0, -1.0, 1.0};
  // Neighbouring and distant targets, either order, the lowest and highest
  // qubit (runs of one amplitude, runs of half the state), as on 24 qubits
  // at a smaller size.
  const std::vector<std::vector<int64_t>> pairs{{5, 6}, {6, 5}, {2, 10}, {10, 2}, {0, 11}, {11, 0},
                                                {10, 11}, {0, 1}, {3, 9}};
  for (const auto& targets : pairs) {
    check(rng, 12, targets, cnot, plus);
    check(rng, 12, targets, swap, plus);
    check(rng, 12, targets, same, cz);
    check(rng, 12, targets, same, zz);
  }
}

TEST(GroupPermutation, RandomSignedPermutationsBitForBit) {
  std::mt19937_64 rng(22);
  for (int trial = 0; trial < 120; ++trial) {
    const int64_t n = 1 + static_cast<int64_t>(rng() % 11);
    const int64_t k = 1 + static_cast<int64_t>(rng() % std::min<int64_t>(n, 4));
    std::vector<int64_t> qubits(static_cast<size_t>(n));
    std::iota(qubits.begin(), qubits.end(), 0);
    std::shuffle(qubits.begin(), qubits.end(), rng);
    const std::vector<int64_t> targets(qubits.begin(), qubits.begin() + k);
    const int64_t d = int64_t{1} << k;
    std::vector<int64_t> col(static_cast<size_t>(d));
    std::iota(col.begin(), col.end(), 0);
    // Some trials move nothing and only negate, some only move.
    if (trial % 5 != 0) std::shuffle(col.begin(), col.end(), rng);
    std::vector<double> sign(static_cast<size_t>(d));
    for (double& s : sign) s = (trial % 5 != 1 && rng() % 3 == 0) ? -1.0 : 1.0;
    check(rng, n, targets, col, sign);
  }
}

}  // namespace
}  // namespace orvane
