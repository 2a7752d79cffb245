#include "orvane_native/density/channel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "orvane_native/density/general_strip.h"
#include "orvane_native/density/kernels.h"
#include "orvane_native/density/kernels_simd.h"
#include "orvane_native/density/subspace.h"
#include "orvane_native/density/undo_log.h"
#include "orvane_native/support/cpu.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/operator_structure.h"
#include "orvane_native/support/targets.h"

namespace orvane {
namespace {

// 2*dim*dim for a matrix dimension of either sign; std::bad_alloc when the
// count cannot be represented.
int64_t matrix_floats(int64_t dim) {
  const uint64_t m = dim < 0 ? 0 - static_cast<uint64_t>(dim) : static_cast<uint64_t>(dim);
  if (m > (uint64_t{1} << 31)) throw std::bad_alloc();
  const unsigned __int128 f = static_cast<unsigned __int128>(m) * m * 2;
  if (f > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) throw std::bad_alloc();
  return static_cast<int64_t>(f);
}

// sandwich reads u row by row and, for every entry of u that is not exactly
// zero, the matching row of a. When either input is short, this replays that
// read order without arithmetic and fails at the first missing float.
void check_sandwich_reads(F64Span a, F64Span u, int64_t dim, int64_t floats) {
  if (a.size() >= floats && u.size() >= floats) return;
  for (int64_t k = 0; k < dim; ++k) {
    for (int64_t l = 0; l < dim; ++l) {
      const int64_t at = 2 * (k * dim + l);
      const double re = u.get(at), im = u.get(at + 1);
      if (re == 0.0 && im == 0.0) continue;
      const int64_t row_start = 2 * l * dim;
      if (row_start + 2 * dim > a.size()) panic_bounds_get(std::max(row_start, a.size()), a.size());
    }
  }
}

// u a u^dagger with sizes already checked.
F64Array sandwich_unchecked(const double* a, const double* u, int64_t dim, int64_t floats, InterruptPoll& poll) {
  // T = u a: rows of a behind an exactly zero entry of u are skipped.
  F64Array t(floats);
  for (int64_t k = 0; k < dim; ++k) {
    poll.tick(dim * dim + 1);
    double* trow = t.data() + 2 * k * dim;
    for (int64_t l = 0; l < dim; ++l) {
      const double zr = u[2 * (k * dim + l)], zi = u[2 * (k * dim + l) + 1];
      if (zr == 0.0 && zi == 0.0) continue;
      const double* arow = a + 2 * l * dim;
      for (int64_t j = 0; j < dim; ++j) {
        const double xr = arow[2 * j], xi = arow[2 * j + 1];
        trow[2 * j] += zr * xr - zi * xi;
        trow[2 * j + 1] += zr * xi + zi * xr;
      }
    }
  }
  // R = T u^dagger, with u^dagger laid out row-major so the inner loop is
  // contiguous: uh[e][j] = conj(u[j][e]).
  F64Array uh(floats);
  for (int64_t j = 0; j < dim; ++j) {
    for (int64_t e = 0; e < dim; ++e) {
      uh[2 * (e * dim + j)] = u[2 * (j * dim + e)];
      uh[2 * (e * dim + j) + 1] = -u[2 * (j * dim + e) + 1];
    }
  }
  F64Array r(floats);
  for (int64_t i = 0; i < dim; ++i) {
    poll.tick(dim * dim + 1);
    double* rrow = r.data() + 2 * i * dim;
    for (int64_t e = 0; e < dim; ++e) {
      const double wr = t[2 * (i * dim + e)], wi = t[2 * (i * dim + e) + 1];
      if (wr == 0.0 && wi == 0.0) continue;
      const double* hrow = uh.data() + 2 * e * dim;
      for (int64_t j = 0; j < dim; ++j) {
        const double vr = hrow[2 * j], vi = hrow[2 * j + 1];
        rrow[2 * j] += wr * vr - wi * vi;
        rrow[2 * j + 1] += wr * vi + wi * vr;
      }
    }
  }
  return r;
}

}  // namespace

F64Array sandwich(F64Span a, F64Span u, int64_t dim) {
  if (dim <= 0) return F64Array(0);
  const int64_t floats = matrix_floats(dim);
  check_sandwich_reads(a, u, dim, floats);
  InterruptPoll poll;
  return sandwich_unchecked(a.data(), u.data(), dim, floats, poll);
}

F64Array channel(F64Span rho, F64Span ops, int64_t num_ops, int64_t dim) {
  const int64_t floats = matrix_floats(dim);
  F64Array result(floats);
  if (floats == 0) return result;
  // Every operator slice and every read of rho is checked, in the order the
  // sum would reach them, before any arithmetic.
  for (int64_t i = 0; i < num_ops; ++i) {
    const int64_t end = (i + 1) * floats;
    if (end > ops.size()) panic_slice(end, ops.size());
    if (dim > 0) check_sandwich_reads(rho, F64Span(ops.data() + i * floats, floats), dim, floats);
  }
  if (dim <= 0) return result;
  InterruptPoll poll;
  for (int64_t i = 0; i < num_ops; ++i) {
    const F64Array term = sandwich_unchecked(rho.data(), ops.data() + i * floats, dim, floats, poll);
    for (int64_t j = 0; j < floats; ++j) result[j] += term[j];
  }
  return result;
}

int64_t op_dimension(int64_t floats) {
  if (floats <= 2) return 1;
  auto enough = [&](int64_t d) {
    return static_cast<unsigned __int128>(d) * static_cast<unsigned __int128>(d) * 2 >=
           static_cast<unsigned __int128>(floats);
  };
  int64_t d = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(floats) / 2.0)));
  if (d < 1) d = 1;
  while (!enough(d)) ++d;
  while (d > 1 && enough(d - 1)) --d;
  return d;
}

namespace {

// Work (complex multiply-adds) above which the general kernel keeps what it
// overwrites so that it can be interrupted: a few tens of milliseconds.
constexpr double kLongChannelWork = double(int64_t{1} << 25);

void validate_channel(F64Span rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets, int64_t n) {
  validate_targets(targets, n);
  const int64_t rho_floats = density_floats(n);
  if (rho_floats < 0 || rho.size() < rho_floats) {
    panic("rho too short for " + std::to_string(n) + " qubits: " + std::to_string(rho.size()) + " floats");
  }
  const int64_t k = targets.size();
  if (d != pow2(k)) {
    panic("operator dimension " + std::to_string(d) + " does not match " + std::to_string(k) +
          " target(s): need " + std::to_string(pow2(k)));
  }
  // d <= 2^30 here, so 2*d*d fits; the product with num_ops may not.
  int64_t need = 0;
  if (num_ops > 0 && (__builtin_mul_overflow(num_ops, 2 * d * d, &need) || ops.size() < need)) {
    panic("operators too short: " + std::to_string(ops.size()) + " floats for " + std::to_string(num_ops) +
          " operator(s) of dimension " + std::to_string(d));
  }
}

struct ChannelPlan {
  ChannelKernel kernel = ChannelKernel::kNone;
  std::vector<int64_t> perm;
};

// Structure tests in dispatch order, on validated input.
ChannelPlan plan_channel(F64Span rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets, int64_t n) {
  ChannelPlan plan;
  if (n <= 0 || targets.empty()) return plan;
  validate_channel(rho, ops, num_ops, d, targets, n);
  const double* k = ops.data();
  auto entry_of = [&](const double* op) {
    return [op, d](int64_t r, int64_t c) { return std::pair{op[2 * (r * d + c)], op[2 * (r * d + c) + 1]}; };
  };
  // A single operator whose every row holds exactly one significant entry,
  // equal to one.
  if (num_ops == 1) {
    plan.perm.assign(static_cast<size_t>(d), 0);
    std::vector<double> sign(static_cast<size_t>(d));
    if (is_permutation(d, entry_of(k), UnitEntries::kPlusOne, plan.perm.data(), sign.data())) {
      plan.kernel = ChannelKernel::kPermutation;
      return plan;
    }
    plan.perm.clear();
  }
  if (d == 2 && targets.size() == 1) {
    plan.kernel = ChannelKernel::kSubspace2x2;
    return plan;
  }
  plan.kernel = ChannelKernel::kDiagonal;
  if (num_ops < 1 || d < 1) return plan;
  for (int64_t i = 0; i < num_ops; ++i) {
    if (has_significant_off_diagonal(d, entry_of(k + i * 2 * d * d))) {
      plan.kernel = ChannelKernel::kGeneral;
      return plan;
    }
  }
  return plan;
}

}  // namespace

ChannelKernel choose_channel_kernel(F64Span rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                                    int64_t n) {
  return plan_channel(rho, ops, num_ops, d, targets, n).kernel;
}

void channel_subspace_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                           int64_t n) {
  const ChannelPlan plan = plan_channel(rho, ops, num_ops, d, targets, n);
  switch (plan.kernel) {
    case ChannelKernel::kNone:
      return;
    case ChannelKernel::kPermutation:
      return channel_permutation_into(rho, I64Span(plan.perm.data(), d), targets, n);
    case ChannelKernel::kSubspace2x2:
      return channel_subspace_2x2_into(rho, ops, num_ops, targets, n);
    case ChannelKernel::kDiagonal:
      return channel_diagonal_into(rho, ops, num_ops, d, targets, n);
    case ChannelKernel::kGeneral:
      return channel_general_into(rho, ops, num_ops, d, targets, n);
  }
}

void channel_general_into(Span<double> rho, F64Span ops, int64_t num_ops, int64_t d, I64Span targets,
                          int64_t n) {
  const int64_t dim = pow2(n);
  if (dim <= 0 || d <= 0) return;
  const Subspace s = make_subspace(targets, n, d);
  const int64_t dd = d * d;
  const int64_t m = num_ops > 0 ? num_ops : 0;
  // Operators split into real and imaginary tables, in list order.
  std::vector<double> kre(static_cast<size_t>(m * dd)), kim(static_cast<size_t>(m * dd));
  for (int64_t x = 0; x < m * dd; ++x) {
    kre[x] = ops[2 * x];
    kim[x] = ops[2 * x + 1];
  }
  std::vector<int64_t> bases;
  for_each_base(dim, s.mask, [&](int64_t b) { bases.push_back(b); });
  const auto nb = static_cast<int64_t>(bases.size());
  const int64_t width = d * nb;  // = dim for distinct targets
  const cpu::Isa isa = cpu::variants().channels;
  double* p = rho.data();
  // A long channel can be interrupted: the original strips already
  // overwritten are kept, so that an interruption puts them back and leaves
  // rho as it was. Short channels (or ones whose copy cannot be had) run
  // through without asking.
  const bool long_run = 2.0 * static_cast<double>(m) * static_cast<double>(d) * static_cast<double>(dim) *
                            static_cast<double>(dim) > kLongChannelWork;
  UndoLog undo(long_run ? static_cast<size_t>(2 * d * width * nb) : 0);
  const bool interruptible = long_run && undo.ready();
  InterruptPoll poll = interruptible ? InterruptPoll() : InterruptPoll::never();
  const simd::GeneralRows4x4Kernel rows_4x4 =
      d == 4 && targets.size() == 2 && __builtin_popcountll(static_cast<uint64_t>(s.mask)) == 2 && s.run >= 4
          ? simd::general_rows_4x4_variant(isa)
          : nullptr;
  if (rows_4x4 != nullptr) {
    // Two targets, the lower of stride 4 or more: the blocks go straight
    // from rho through the vector unit and back, several column bases at a
    // time. The undo log keeps each row base's four rows as they were.
    const int64_t off4[4] = {s.off[0], s.off[1], s.off[2], s.off[3]};
    const int64_t outer = s.mask | (s.run - 1);
    const auto row_floats = static_cast<size_t>(2 * dim);
    try {
      for (int64_t i = 0; i < nb; ++i) {
        if (interruptible) {
          for (int64_t a = 0; a < 4; ++a) {
            undo.append(p + 2 * (bases[i] + off4[a]) * dim, row_floats);
          }
        }
        rows_4x4(p, dim, bases[i], off4, outer, s.run, m, kre.data(), kim.data(), poll);
      }
    } catch (const Interrupted&) {
      // Every saved row goes back, those of the row base in progress included.
      const size_t saved = undo.size() / (4 * row_floats);
      for (size_t j = 0; j < saved; ++j) {
        for (int64_t a = 0; a < 4; ++a) {
          std::memcpy(p + 2 * (bases[j] + off4[a]) * dim, undo.data() + (4 * j + a) * row_floats,
                      sizeof(double) * row_floats);
        }
      }
      throw;
    }
    return;
  }
  // Column order inside a strip: local column c of column base number b sits
  // at position c*nb + b, so the block-wise right multiplication runs over
  // contiguous positions.
  std::vector<int64_t> column(static_cast<size_t>(d * nb));
  for (int64_t c = 0; c < d; ++c)
    for (int64_t b = 0; b < nb; ++b) column[c * nb + b] = bases[b] + s.off[c];
  // Per row base: its d rows (B), their accumulators (A), one row of K B (T)
  // and one set of block sums (S), each as real and imaginary parts. A row
  // base's d rows hold whole blocks for every column base, so each strip is
  // written back as soon as it is done.
  const auto strip = static_cast<size_t>(d * width);
  std::vector<double> bre(strip), bim(strip), are(strip), aim(strip);
  std::vector<double> tre(static_cast<size_t>(width)), tim(static_cast<size_t>(width));
  std::vector<double> sre(static_cast<size_t>(nb)), sim(static_cast<size_t>(nb));
  const simd::GeneralStripKernel strip_variant = simd::general_strip_variant(isa);
  // Writes strip rows (d rows of base r0, in strip order) back into rho.
  auto scatter = [&](int64_t r0, const double* sre_rows, const double* sim_rows) {
    for (int64_t a = 0; a < d; ++a) {
      double* dst = p + 2 * (r0 + s.off[a]) * dim;
      for (int64_t x = 0; x < width; ++x) {
        dst[2 * column[x]] = sre_rows[a * width + x];
        dst[2 * column[x] + 1] = sim_rows[a * width + x];
      }
    }
  };
  for (int64_t i = 0; i < nb; ++i) {
    const int64_t r0 = bases[i];
    for (int64_t e = 0; e < d; ++e) {
      const double* src = p + 2 * (r0 + s.off[e]) * dim;
      for (int64_t x = 0; x < width; ++x) {
        bre[e * width + x] = src[2 * column[x]];
        bim[e * width + x] = src[2 * column[x] + 1];
      }
    }
    try {
      if (strip_variant != nullptr) {
        strip_variant(d, width, nb, m, kre.data(), kim.data(), bre.data(), bim.data(), are.data(), aim.data(),
                      tre.data(), tim.data(), sre.data(), sim.data(), poll);
      } else {
        general_strip<0>(d, width, nb, m, kre.data(), kim.data(), bre.data(), bim.data(), are.data(),
                         aim.data(), tre.data(), tim.data(), sre.data(), sim.data(), poll);
      }
    } catch (const Interrupted&) {
      for (int64_t j = 0; j < i; ++j) {
        const double* saved = undo.data() + 2 * j * d * width;
        scatter(bases[j], saved, saved + d * width);
      }
      throw;
    }
    if (interruptible) {
      undo.append(bre.data(), bre.size());
      undo.append(bim.data(), bim.size());
    }
    scatter(r0, are.data(), aim.data());
  }
}

}  // namespace orvane
