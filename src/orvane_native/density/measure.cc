#include "orvane_native/density/measure.h"

#include <limits>
#include <string>

#include "orvane_native/density/subspace.h"
#include "orvane_native/statevector/measure.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/targets.h"

namespace orvane {

void validate_density_measurement(F64Span rho, I64Span targets, int64_t n) {
  validate_targets(targets, n);
  // A negative register has no entries; any other size needs its 2*4^n
  // floats, which no array holds from n = 31 on.
  if (n < 0) return;
  const int64_t need = density_floats(n);
  if (need < 0 || rho.size() < need) {
    panic("rho too short for " + std::to_string(n) + " qubits: " + std::to_string(rho.size()) + " floats");
  }
}

F64Array density_probabilities(F64Span rho, I64Span targets, int64_t n) {
  validate_density_measurement(rho, targets, n);
  F64Array probs(pow2(targets.size()));
  const int64_t dim = pow2(n);
  if (dim <= 0) return probs;
  for (int64_t j = 0; j < dim; ++j) probs[outcome_index(j, targets, n)] += rho[2 * (j * dim + j)];
  return probs;
}

namespace {

// The indices whose outcome is `outcome` are those with
// (index AND mask) == pattern; `possible` is false when no index has it.
struct OutcomeSet {
  int64_t mask = 0;
  int64_t pattern = 0;
  bool possible = true;
};

OutcomeSet outcome_set(I64Span targets, int64_t outcome, int64_t n) {
  OutcomeSet set;
  const int64_t k = targets.size();  // validated: k <= n, and n < 63 here
  if (outcome < 0 || outcome >= pow2(k)) {
    set.possible = false;
    return set;
  }
  for (int64_t m = 0; m < k; ++m) {
    const int64_t bit = pow2(n - 1 - targets[m]);
    set.mask |= bit;
    if ((outcome >> (k - 1 - m)) & 1) set.pattern |= bit;
  }
  return set;
}

// 1/p for the branch probability p = sum of re rho[j][j] over matching j, in
// increasing j; 0 when p is not positive.
double collapse_scale(const double* rho, const OutcomeSet& set, int64_t dim) {
  double p = 0.0;
  for (int64_t j = set.pattern; j < dim; j = next_clear(j, set.mask) | set.pattern) {
    p += rho[2 * (j * dim + j)];
  }
  return p > 0.0 ? 1.0 / p : 0.0;
}

}  // namespace

F64Array density_collapse(F64Span rho, I64Span targets, int64_t outcome, int64_t n) {
  validate_density_measurement(rho, targets, n);
  const int64_t dim = pow2(n);
  F64Array result(dim > 0 ? density_floats(n) : 0);
  if (dim <= 0) return result;
  const OutcomeSet set = outcome_set(targets, outcome, n);
  if (!set.possible) return result;
  const double scale = collapse_scale(rho.data(), set, dim);
  InterruptPoll poll;  // a pure function: an interruption drops the result
  for (int64_t j = set.pattern; j < dim; j = next_clear(j, set.mask) | set.pattern) {
    poll.tick(dim);
    for (int64_t c = set.pattern; c < dim; c = next_clear(c, set.mask) | set.pattern) {
      const int64_t at = 2 * (j * dim + c);
      result[at] = scale * rho[at];
      result[at + 1] = scale * rho[at + 1];
    }
  }
  return result;
}

void density_collapse_into(Span<double> rho, I64Span targets, int64_t outcome, int64_t n) {
  const int64_t dim = pow2(n);
  if (dim <= 0) return;
  const OutcomeSet set = outcome_set(targets, outcome, n);
  const double scale = set.possible ? collapse_scale(rho.data(), set, dim) : 0.0;
  double* p = rho.data();
  for (int64_t j = 0; j < dim; ++j) {
    double* row = p + 2 * j * dim;
    const bool row_kept = set.possible && (j & set.mask) == set.pattern;
    for (int64_t c = 0; c < dim; ++c) {
      if (row_kept && (c & set.mask) == set.pattern) {
        row[2 * c] = scale * row[2 * c];
        row[2 * c + 1] = scale * row[2 * c + 1];
      } else {
        row[2 * c] = 0.0;
        row[2 * c + 1] = 0.0;
      }
    }
  }
}

void state_to_density_into(Span<double> out, F64Span state, InterruptPoll& poll) {
  const int64_t m = state.size() / 2;
  const double* psi = state.data();
  double* p = out.data();
  for (int64_t g = 0; g < m; ++g) {
    poll.tick(m);
    const double gr = psi[2 * g], gi = psi[2 * g + 1];
    double* row = p + 2 * g * m;
    for (int64_t j = 0; j < m; ++j) {
      const double jr = psi[2 * j], ji = psi[2 * j + 1];
      row[2 * j] = gr * jr + gi * ji;
      row[2 * j + 1] = gi * jr - gr * ji;
    }
  }
}

F64Array state_to_density(F64Span state) {
  const int64_t m = state.size() / 2;
  // 2*m*m floats; a count past 64 bits is an allocation failure.
  const unsigned __int128 floats = static_cast<unsigned __int128>(m) * static_cast<unsigned __int128>(m) * 2;
  if (floats > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) throw std::bad_alloc();
  F64Array result(static_cast<int64_t>(floats));
  if (m < 1) return result;
  InterruptPoll poll;  // an interruption drops the result
  state_to_density_into(result.mut(), state, poll);
  return result;
}

}  // namespace orvane
