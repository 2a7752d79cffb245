#include "orvane_native/statevector/gates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "orvane_native/statevector/native_state.h"
#include "orvane_native/support/cpu.h"

namespace orvane {
namespace {

std::vector<double> diag(std::vector<double> d) {
  const size_t n = d.size();
  std::vector<double> g(2 * n * n, 0.0);
  for (size_t i = 0; i < n; ++i) g[2 * (i * n + i)] = d[i];
  return g;
}

F64Span span(const std::vector<double>& v) { return {v.data(), static_cast<int64_t>(v.size())}; }
I64Span span(const std::vector<int64_t>& v) { return {v.data(), static_cast<int64_t>(v.size())}; }

TEST(GateDispatch, DocumentedPaths) {
  const std::vector<int64_t> t01{0, 1}, t10{1, 0}, t13{1, 3}, t0{0}, none{};
  EXPECT_EQ(choose_gate_kernel(span(diag({1, -1})), 2, span(t0)), GateKernel::kSingle);
  EXPECT_EQ(choose_gate_kernel(span(diag({1, 1, 1, -1})), 2, span(t01)), GateKernel::kAdjacentPermutation);
  EXPECT_EQ(choose_gate_kernel(span(diag({1, 1, 1, -1})), 2, span(t10)), GateKernel::kAdjacentPermutation);
  EXPECT_EQ(choose_gate_kernel(span(diag({1, 1, 1, -1})), 4, span(t13)), GateKernel::kGeneralPermutation);
  EXPECT_EQ(choose_gate_kernel(span(diag({1, 1, 1, -1})), 0, span(t01)), GateKernel::kNone);
  EXPECT_EQ(choose_gate_kernel(span(diag({1, 1})), 3, span(none)), GateKernel::kNone);

  std::vector<double> near = diag({1, 1, 1, 1});
  near[2] = 1e-8;  // entry (0, 1): significant, the row has two entries
  EXPECT_EQ(choose_gate_kernel(span(near), 2, span(t01)), GateKernel::kAdjacentDense);
  EXPECT_EQ(choose_gate_kernel(span(near), 4, span(t13)), GateKernel::kGeneralDense);
  near[2] = 1e-10;  // not significant
  EXPECT_EQ(choose_gate_kernel(span(near), 2, span(t01)), GateKernel::kAdjacentPermutation);
  std::vector<double> imaginary = diag({1, 1, 1, 1});
  imaginary[1] = 2e-15;  // entry (0, 0) is 1 + 2e-15 i: not real
  EXPECT_EQ(choose_gate_kernel(span(imaginary), 4, span(t13)), GateKernel::kGeneralDense);
}

TEST(SwapBasis, ExchangesTheQubitRoles) {
  std::vector<double> g(32);
  for (int i = 0; i < 32; ++i) g[i] = i;
  const F64Array s = swap_2q_basis(span(g));
  const int P[4] = {0, 2, 1, 3};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(s[2 * (P[r] * 4 + P[c])], g[2 * (r * 4 + c)]);
      EXPECT_EQ(s[2 * (P[r] * 4 + P[c]) + 1], g[2 * (r * 4 + c) + 1]);
    }
  const F64Array twice = swap_2q_basis(s.span());
  for (int i = 0; i < 32; ++i) EXPECT_EQ(twice[i], g[i]);
}

// A dense gate that happens to be a signed permutation must give the same
// amplitudes through the permutation path and the dense path.
TEST(GateKernels, PermutationPathAgreesWithDenseArithmetic) {
  std::mt19937_64 rng(3);
  std::normal_distribution<double> normal;
  const int64_t n = 4;
  std::vector<double> psi(2 << n);
  for (double& v : psi) v = normal(rng);
  std::vector<int64_t> perm{2, 0, 3, 1};
  std::vector<double> g(32, 0.0);
  for (int r = 0; r < 4; ++r) g[2 * (r * 4 + perm[r])] = (r % 2) ? -1.0 : 1.0;
  const std::vector<int64_t> targets{3, 1};
  F64Array via_perm = F64Array::copy_of(span(psi));
  apply_gate_general(via_perm.mut(), span(g), n, span(targets));
  // Reference: explicit matrix-vector product on each group of four amplitudes.
  for (int64_t b = 0; b < 16; ++b) {
    if (b & 0b0101) continue;
    const int64_t off[4] = {0, 0b0100, 0b0001, 0b0101};  // targets[0] = qubit 3 is the MSB of the local index
    for (int r = 0; r < 4; ++r) {
      const int64_t src = b | off[perm[r]];
      const double sign = (r % 2) ? -1.0 : 1.0;
      EXPECT_EQ(via_perm[2 * (b | off[r])], sign * psi[2 * src]);
      EXPECT_EQ(via_perm[2 * (b | off[r]) + 1], sign * psi[2 * src + 1]);
    }
  }
}

TEST(NativeStateRecord, SizesAndRejections) {
  EXPECT_EQ(new_native_state(0).state.size(), 2);
  EXPECT_EQ(new_native_state(3).state.size(), 16);
  EXPECT_THROW(new_native_state(-1), Panic);
  EXPECT_THROW(new_native_state(60), std::bad_alloc);
  EXPECT_THROW(new_native_state(62), std::bad_alloc);
  NativeState s = new_native_state(2);
  state_methods::set_zero_state(s);
  s.num_qubits = 3;
  const std::vector<int64_t> t{0};
  EXPECT_THROW(state_methods::probabilities(s, span(t)), Panic);
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The vector kernels must reproduce the scalar kernels bit for bit.
TEST(GateKernels, VectorVariantsAreBitIdenticalToScalar) {
  const cpu::Isa isa = cpu::supported().gates;
  if (isa == cpu::Isa::kScalar) GTEST_SKIP() << "no vector variant of the gate kernels runs on this CPU";
  std::mt19937_64 rng(11);
  std::normal_distribution<double> normal;
  // Five qubits, every shape; one qubit (a lone pair at stride 1); eleven
  // qubits, where the loops ask for lines ahead (short and long runs, the
  // last chunks, both target orders).
  const std::vector<std::pair<int64_t, std::vector<int64_t>>> cases = {
      {5, {0}},     {5, {4}},     {5, {3}},    {5, {2}},    {5, {0, 1}},  {5, {3, 4}},  {5, {4, 3}},
      {5, {1, 0}},  {5, {0, 4}},  {5, {4, 0}}, {5, {1, 3}}, {5, {3, 1}},  {5, {2, 4}},  {5, {4, 1}},
      {1, {0}},     {11, {10}},   {11, {0}},   {11, {5}},   {11, {0, 1}}, {11, {1, 7}}, {11, {9, 2}},
      {11, {3, 10}}, {11, {10, 0}}, {11, {9, 10}}};
  for (const auto& [n, targets] : cases) {
    const int64_t k = static_cast<int64_t>(targets.size());
    std::vector<double> psi(2 << n), gate(2 << (2 * k));
    for (double& v : psi) v = normal(rng);
    for (double& v : gate) v = normal(rng);
    F64Array scalar = F64Array::copy_of(span(psi)), vector = F64Array::copy_of(span(psi));
    cpu::set_vector_variants(false);
    apply_gate_into(scalar.mut(), span(gate), n, span(targets));
    cpu::set_vector_variants(true);
    apply_gate_into(vector.mut(), span(gate), n, span(targets));
    for (int64_t i = 0; i < scalar.size(); ++i) {
      ASSERT_EQ(std::signbit(scalar[i]), std::signbit(vector[i])) << i;
      ASSERT_EQ(scalar[i], vector[i]) << cpu::isa_name(isa) << ", targets[0]=" << targets[0] << " index " << i;
    }
  }
}

}  // namespace
}  // namespace orvane
