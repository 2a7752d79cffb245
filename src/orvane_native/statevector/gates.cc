#include "orvane_native/statevector/gates.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "orvane_native/statevector/gates_simd.h"
#include "orvane_native/support/complex.h"
#include "orvane_native/support/cpu.h"
#include "orvane_native/support/operator_structure.h"
#include "orvane_native/support/targets.h"

namespace orvane {
namespace {

// Floats a gate on k targets needs, or -1 when that count is not
// representable (so no list can hold it).
int64_t gate_floats(int64_t k) { return 2 * k + 1 <= 62 ? int64_t{2} << (2 * k) : -1; }

void validate(F64Span state, F64Span gate, int64_t n, I64Span targets) {
  validate_targets(targets, n);
  const int64_t dim = pow2(n);
  if (dim <= 0 || dim > (int64_t{1} << 61) || state.size() < 2 * dim) {
    panic("state too short for " + std::to_string(n) + " qubits: " + std::to_string(state.size()) + " floats");
  }
  const int64_t need = gate_floats(targets.size());
  if (need < 0 || gate.size() < need) panic_bounds_get(gate.size(), gate.size());
}

// Signed-permutation path shared by the two-qubit and general kernels: in
// every group of d amplitudes (base b with no target bit set, offsets off),
// row r takes sign[r] times the amplitude of column col[r]. Rows that keep
// their own amplitude with sign +1 are neither read nor written, so a CNOT
// touches only the half of the state it changes.
void permute_groups(double* psi, int64_t dim, const int64_t* off, int64_t d, int64_t mask, const int64_t* col,
                    const double* sign) {
  std::vector<int64_t> moved;
  for (int64_t r = 0; r < d; ++r)
    if (col[r] != r || sign[r] != 1.0) moved.push_back(r);
  if (moved.empty()) return;
  const int64_t m = static_cast<int64_t>(moved.size());
  std::vector<double> tmp(static_cast<size_t>(2 * m));
  const int64_t groups = dim / d;
  for (int64_t b = 0, i = 0; i < groups; ++i, b = ((b | mask) + 1) & ~mask) {
    for (int64_t x = 0; x < m; ++x) {
      const int64_t src = 2 * (b | off[col[moved[x]]]);
      tmp[2 * x] = psi[src];
      tmp[2 * x + 1] = psi[src + 1];
    }
    for (int64_t x = 0; x < m; ++x) {
      const int64_t dst = 2 * (b | off[moved[x]]);
      psi[dst] = sign[moved[x]] * tmp[2 * x];
      psi[dst + 1] = sign[moved[x]] * tmp[2 * x + 1];
    }
  }
}

}  // namespace

void apply_gate_1q(Span<double> state, F64Span gate, int64_t n, int64_t target) {
  const Complex g00{gate.get(0), gate.get(1)}, g01{gate.get(2), gate.get(3)};
  const Complex g10{gate.get(4), gate.get(5)}, g11{gate.get(6), gate.get(7)};
  const int64_t dim = pow2(n);
  const int64_t s = pow2(n - 1 - target);
  if (dim <= 0 || s <= 0) return;
  double* psi = state.data();
  if (const simd::Gate1qKernel vector = simd::gate_1q_variant(cpu::variants().gates)) {
    const double g[8] = {g00.re, g00.im, g01.re, g01.im, g10.re, g10.im, g11.re, g11.im};
    return vector(psi, dim, s, g);
  }
  for (int64_t b = 0; b < dim; b += 2 * s) {
    for (int64_t j = 0; j < s; ++j) {
      const int64_t i0 = b + j, i1 = i0 + s;
      const Complex a0{psi[2 * i0], psi[2 * i0 + 1]}, a1{psi[2 * i1], psi[2 * i1 + 1]};
      const Complex r0 = cadd(cmul(g00, a0), cmul(g01, a1));
      const Complex r1 = cadd(cmul(g10, a0), cmul(g11, a1));
      psi[2 * i0] = r0.re;
      psi[2 * i0 + 1] = r0.im;
      psi[2 * i1] = r1.re;
      psi[2 * i1 + 1] = r1.im;
    }
  }
}

F64Array swap_2q_basis(F64Span gate) {
  static constexpr int64_t P[4] = {0, 2, 1, 3};
  F64Array out(32);
  for (int64_t r = 0; r < 4; ++r) {
    for (int64_t c = 0; c < 4; ++c) {
      const int64_t from = 2 * (r * 4 + c), to = 2 * (P[r] * 4 + P[c]);
      out[to] = gate.get(from);
      out[to + 1] = gate.get(from + 1);
    }
  }
  return out;
}

namespace {

struct AdjacentGate {
  double re[16], im[16];
  int64_t col[4];
  double sign[4];
  bool permutation;
};

AdjacentGate read_adjacent(F64Span gate) {
  AdjacentGate g{};
  for (int64_t e = 0; e < 16; ++e) {
    g.re[e] = gate.get(2 * e);
    g.im[e] = gate.get(2 * e + 1);
  }
  g.permutation = is_permutation(
      4, [&](int64_t r, int64_t c) { return std::pair{g.re[r * 4 + c], g.im[r * 4 + c]}; },
      UnitEntries::kPlusOrMinusOne, g.col, g.sign);
  return g;
}

}  // namespace

void apply_gate_2q_adjacent(Span<double> state, F64Span gate, int64_t n, int64_t hi) {
  const AdjacentGate g = read_adjacent(gate);
  const int64_t s = pow2(n - 1 - hi);
  const int64_t dim = pow2(n);
  if (dim < 1 || s < 1) return;
  double* psi = state.data();
  if (g.permutation) {
    const int64_t off[4] = {0, s, 2 * s, 3 * s};
    return permute_groups(psi, dim, off, 4, 3 * s, g.col, g.sign);
  }
  if (const simd::Gate2qKernel vector = simd::gate_2q_variant(cpu::variants().gates)) {
    const int64_t off[4] = {0, s, 2 * s, 3 * s};
    return vector(psi, dim, off, s, 2 * s, g.re, g.im);
  }
  for (int64_t b = 0; b < dim; b += 4 * s) {
    for (int64_t j = 0; j < s; ++j) {
      const int64_t i[4] = {b + j, b + j + s, b + j + 2 * s, b + j + 3 * s};
      Complex a[4];
      for (int m = 0; m < 4; ++m) a[m] = {psi[2 * i[m]], psi[2 * i[m] + 1]};
      for (int r = 0; r < 4; ++r) {
        Complex acc{0.0, 0.0};
        for (int c = 0; c < 4; ++c) acc = cadd(acc, cmul(Complex{g.re[r * 4 + c], g.im[r * 4 + c]}, a[c]));
        psi[2 * i[r]] = acc.re;
        psi[2 * i[r] + 1] = acc.im;
      }
    }
  }
}

namespace {

struct GeneralPlan {
  int64_t d = 0;
  std::vector<int64_t> off;
  int64_t mask = 0;
  std::vector<int64_t> col;
  std::vector<double> sign;
  bool permutation = true;
};

GeneralPlan plan_general(F64Span gate, int64_t n, I64Span targets) {
  GeneralPlan p;
  p.d = pow2(targets.size());
  TargetOffsets t = target_offsets(targets, n, p.d);
  p.off = std::move(t.off);
  p.mask = t.mask;
  p.col.assign(static_cast<size_t>(p.d), -1);
  p.sign.assign(static_cast<size_t>(p.d), 1.0);
  const int64_t d = p.d;
  p.permutation = is_permutation(
      d, [&](int64_t r, int64_t c) { return std::pair{gate.get(2 * (r * d + c)), gate.get(2 * (r * d + c) + 1)}; },
      UnitEntries::kPlusOrMinusOne, p.col.data(), p.sign.data());
  return p;
}

}  // namespace

void apply_gate_general(Span<double> state, F64Span gate, int64_t n, I64Span targets) {
  const GeneralPlan p = plan_general(gate, n, targets);
  const int64_t dim = pow2(n);
  const simd::Gate2qKernel vector = p.permutation || p.d != 4 ? nullptr : simd::gate_2q_variant(cpu::variants().gates);
  if (vector != nullptr) {
    double re[16], im[16];
    for (int e = 0; e < 16; ++e) {
      re[e] = gate[2 * e];
      im[e] = gate[2 * e + 1];
    }
    const int64_t off[4] = {p.off[0], p.off[1], p.off[2], p.off[3]};
    const int64_t lo = std::min(p.off[1], p.off[2]), hi = std::max(p.off[1], p.off[2]);
    return vector(state.data(), dim, off, lo, hi, re, im);
  }
  const int64_t d = p.d;
  double* psi = state.data();
  if (p.permutation) return permute_groups(psi, dim, p.off.data(), d, p.mask, p.col.data(), p.sign.data());
  std::vector<double> are(static_cast<size_t>(d)), aim(static_cast<size_t>(d));
  const double* g = gate.data();
  const int64_t groups = dim / d;
  for (int64_t b = 0, i = 0; i < groups; ++i, b = ((b | p.mask) + 1) & ~p.mask) {
    for (int64_t c = 0; c < d; ++c) {
      are[c] = psi[2 * (b | p.off[c])];
      aim[c] = psi[2 * (b | p.off[c]) + 1];
    }
    {
      for (int64_t r = 0; r < d; ++r) {
        Complex acc{0.0, 0.0};
        const double* row = g + 2 * r * d;
        for (int64_t c = 0; c < d; ++c) acc = cadd(acc, cmul(Complex{row[2 * c], row[2 * c + 1]}, Complex{are[c], aim[c]}));
        psi[2 * (b | p.off[r])] = acc.re;
        psi[2 * (b | p.off[r]) + 1] = acc.im;
      }
    }
  }
}

GateKernel choose_gate_kernel(F64Span gate, int64_t n, I64Span targets) {
  if (n <= 0 || targets.empty()) return GateKernel::kNone;
  if (targets.size() == 2 && (targets[0] - targets[1] == 1 || targets[1] - targets[0] == 1)) {
    return read_adjacent(gate).permutation ? GateKernel::kAdjacentPermutation : GateKernel::kAdjacentDense;
  }
  if (targets.size() == 1) return GateKernel::kSingle;
  return plan_general(gate, n, targets).permutation ? GateKernel::kGeneralPermutation : GateKernel::kGeneralDense;
}

void apply_gate_into(Span<double> state, F64Span gate, int64_t n, I64Span targets) {
  if (n <= 0 || targets.empty()) return;
  validate(state, gate, n, targets);
  if (targets.size() == 2) {
    const int64_t t0 = targets[0], t1 = targets[1];
    if (t1 - t0 == 1) return apply_gate_2q_adjacent(state, gate, n, t1);
    if (t0 - t1 == 1) return apply_gate_2q_adjacent(state, swap_2q_basis(gate).span(), n, t0);
  }
  if (targets.size() == 1) return apply_gate_1q(state, gate, n, targets[0]);
  apply_gate_general(state, gate, n, targets);
}

F64Array apply_gate(F64Span state, F64Span gate, int64_t n, I64Span targets) {
  if (n > 0 && !targets.empty()) {
    validate(state, gate, n, targets);  // reject before copying
  }
  F64Array out = F64Array::copy_of(state);
  apply_gate_into(out.mut(), gate, n, targets);
  return out;
}

}  // namespace orvane
