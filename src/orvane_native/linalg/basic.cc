#include "orvane_native/linalg/basic.h"

#include <bit>
#include <cmath>
#include <string>

#include "orvane_native/linalg/complex.h"
#include "orvane_native/support/cpu.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/targets.h"

#if defined(ORVANE_X86_64)
#include "orvane_native/support/simd_avx2.h"
#endif

namespace orvane {

F64Array complex_identity_flat(int64_t dim) {
  F64Array r(complex_matrix_floats(dim));
  for (int64_t k = 0; k < dim; ++k) r[k * (2 * dim + 2)] = 1.0;
  return r;
}

namespace {

[[gnu::always_inline]] inline F64Array kron_body(F64Span a, int64_t a_dim, F64Span b, int64_t b_dim) {
  if (a_dim <= 0 || b_dim <= 0) return {};
  const int64_t dim = checked_product(a_dim, b_dim);
  F64Array r(complex_matrix_floats(dim));
  InterruptPoll poll;
  for (int64_t i = 0; i < a_dim; ++i) {
    for (int64_t j = 0; j < a_dim; ++j) {
      poll.tick(b_dim * b_dim);
      const Complex x = read_complex(a, 2 * (i * a_dim + j));
      for (int64_t k = 0; k < b_dim; ++k) {
        double* out = r.data() + 2 * ((i * b_dim + k) * dim + j * b_dim);
        for (int64_t l = 0; l < b_dim; ++l) {
          store(out + 2 * l, mul(x, read_complex(b, 2 * (k * b_dim + l))));
        }
      }
    }
  }
  return r;
}

// Whole inputs of a small size D: each row's sums stay in registers and no
// read is checked. The same operations in the same order as the loop below.
template <int D>
[[gnu::always_inline]] inline void matmul_small(const double* a, const double* b, double* r) {
  for (int i = 0; i < D; ++i) {
    double acc[2 * D] = {};
    for (int k = 0; k < D; ++k) {
      const Complex x = load(a + 2 * (i * D + k));
      if (is_zero(x)) continue;
      for (int j = 0; j < D; ++j) {
        const Complex p = mul(x, load(b + 2 * (k * D + j)));
        acc[2 * j] = p.re + acc[2 * j];
        acc[2 * j + 1] = p.im + acc[2 * j + 1];
      }
    }
    for (int f = 0; f < 2 * D; ++f) r[2 * i * D + f] = acc[f];
  }
}

#if defined(ORVANE_X86_64)
// The small path for an even D on 256-bit registers, two complex entries of
// a row per register. fmaddsub forms xr*yr - (yi*xi) in the real lanes and
// xr*yi + (yr*xi) in the imaginary ones, the bracketed product rounded first
// as in `mul`; the sums run in the same order from +0.0, so the bits are
// those of matmul_small (a NaN's payload aside).
template <int D>
ORVANE_TARGET_FMA void matmul_small_fma(const double* a, const double* b, double* r) {
  static_assert(D % 2 == 0);
  constexpr int kRegs = D / 2;
  for (int i = 0; i < D; ++i) {
    __m256d acc[kRegs];
    for (int v = 0; v < kRegs; ++v) acc[v] = _mm256_setzero_pd();
    for (int k = 0; k < D; ++k) {
      const Complex x = load(a + 2 * (i * D + k));
      if (is_zero(x)) continue;
      const __m256d xr = _mm256_set1_pd(x.re), xi = _mm256_set1_pd(x.im);
      for (int v = 0; v < kRegs; ++v) {
        const __m256d y = _mm256_loadu_pd(b + 2 * k * D + 4 * v);
        const __m256d swapped_times_xi = _mm256_mul_pd(_mm256_permute_pd(y, 0b0101), xi);
        acc[v] = _mm256_add_pd(_mm256_fmaddsub_pd(xr, y, swapped_times_xi), acc[v]);
      }
    }
    for (int v = 0; v < kRegs; ++v) _mm256_storeu_pd(r + 2 * i * D + 4 * v, acc[v]);
  }
}
#else
// Only x86-64 has the FMA variant; matmul_body<true> is not instantiated
// elsewhere.
template <int D>
void matmul_small_fma(const double* a, const double* b, double* r);
#endif

// kVector: the FMA variant, which runs the even small sizes on registers.
template <bool kVector>
[[gnu::always_inline]] inline F64Array matmul_body(F64Span a, F64Span b, int64_t dim) {
  if (dim <= 0) return {};
  F64Array r(complex_matrix_floats(dim));
  if (dim <= 4 && a.size() >= r.size() && b.size() >= r.size()) {
    const double *x = a.data(), *y = b.data();
    switch (dim) {
      case 1: matmul_small<1>(x, y, r.data()); break;
      case 2:
        if constexpr (kVector) matmul_small_fma<2>(x, y, r.data());
        else matmul_small<2>(x, y, r.data());
        break;
      case 3: matmul_small<3>(x, y, r.data()); break;
      default:
        if constexpr (kVector) matmul_small_fma<4>(x, y, r.data());
        else matmul_small<4>(x, y, r.data());
    }
    return r;
  }
  const int64_t row = 2 * dim;
  InterruptPoll poll;
  for (int64_t i = 0; i < dim; ++i) {
    double* out = r.data() + i * row;
    poll.tick(dim * dim);
    for (int64_t k = 0; k < dim; ++k) {
      const Complex x = read_complex(a, i * row + 2 * k);
      if (is_zero(x)) continue;
      const int64_t start = k * row;
      const bool whole_row = b.size() - start >= row;
      for (int64_t j = 0; j < dim; ++j) {
        const Complex y = whole_row ? load(b.data() + start + 2 * j) : read_complex(b, start + 2 * j);
        const Complex p = mul(x, y);
        out[2 * j] = p.re + out[2 * j];
        out[2 * j + 1] = p.im + out[2 * j + 1];
      }
    }
  }
  return r;
}

}  // namespace

F64Array dagger(F64Span a, int64_t dim) {
  if (dim <= 0) return {};
  F64Array r(complex_matrix_floats(dim));
  constexpr uint64_t kSignBit = uint64_t{1} << 63;
  for (int64_t i = 0; i < dim; ++i) {
    for (int64_t j = 0; j < dim; ++j) {
      const Complex x = read_complex(a, 2 * (j * dim + i));
      r[2 * (i * dim + j)] = x.re;
      r[2 * (i * dim + j) + 1] = std::bit_cast<double>(std::bit_cast<uint64_t>(x.im) ^ kSignBit);
    }
  }
  return r;
}

namespace {

[[gnu::always_inline]] inline F64Array add_scaled_body(F64Span a, F64Span b, int64_t dim, double scale) {
  if (dim <= 0) return {};
  F64Array r(complex_matrix_floats(dim));
  if (a.size() >= r.size() && b.size() >= r.size()) {
    for (int64_t f = 0; f < r.size(); ++f) r[f] = std::fma(scale, b[f], a[f]);
    return r;
  }
  for (int64_t f = 0; f < r.size(); ++f) {
    const double x = a.get(f);
    r[f] = std::fma(scale, b.get(f), x);
  }
  return r;
}

[[gnu::always_inline]] inline F64Array matvec_body(F64Span matrix, F64Span vector, int64_t dim) {
  if (dim <= 0) return {};
  F64Array r(checked_product(dim, 2));
  int64_t f = 0;  // float index of matrix entry (i, k), read in row-major order
  for (int64_t i = 0; i < dim; ++i) {
    Complex acc{0.0, 0.0};
    for (int64_t k = 0; k < dim; ++k, f += 2) {
      const Complex m = read_complex(matrix, f);
      const Complex p = mul(m, read_complex(vector, 2 * k));
      acc = {acc.re + p.re, acc.im + p.im};
    }
    store(r.data() + 2 * i, acc);
  }
  return r;
}

#if defined(ORVANE_X86_64)
// Each fused computation above, also compiled for the FMA instruction (see simd_avx2.h).
ORVANE_TARGET_FMA F64Array kron_fma(F64Span a, int64_t a_dim, F64Span b, int64_t b_dim) {
  return kron_body(a, a_dim, b, b_dim);
}
ORVANE_TARGET_FMA F64Array matmul_fma(F64Span a, F64Span b, int64_t dim) { return matmul_body<true>(a, b, dim); }
ORVANE_TARGET_FMA F64Array add_scaled_fma(F64Span a, F64Span b, int64_t dim, double scale) {
  return add_scaled_body(a, b, dim, scale);
}
ORVANE_TARGET_FMA F64Array matvec_fma(F64Span matrix, F64Span vector, int64_t dim) {
  return matvec_body(matrix, vector, dim);
}
#endif

}  // namespace

// The products' variants: the FMA-compiled one where the table says so (on
// x86-64 only), the baseline build otherwise (on aarch64 std::fma is an
// instruction there already).
#if defined(ORVANE_X86_64)
#define ORVANE_PRODUCTS(fma_call, baseline_call) \
  (cpu::variants().products == cpu::Isa::kFma ? (fma_call) : (baseline_call))
#else
#define ORVANE_PRODUCTS(fma_call, baseline_call) (baseline_call)
#endif

F64Array kron(F64Span a, int64_t a_dim, F64Span b, int64_t b_dim) {
  return ORVANE_PRODUCTS(kron_fma(a, a_dim, b, b_dim), kron_body(a, a_dim, b, b_dim));
}
F64Array matmul(F64Span a, F64Span b, int64_t dim) {
  return ORVANE_PRODUCTS(matmul_fma(a, b, dim), matmul_body<false>(a, b, dim));
}
F64Array add_scaled(F64Span a, F64Span b, int64_t dim, double scale) {
  return ORVANE_PRODUCTS(add_scaled_fma(a, b, dim, scale), add_scaled_body(a, b, dim, scale));
}
F64Array matvec(F64Span matrix, F64Span vector, int64_t dim) {
  return ORVANE_PRODUCTS(matvec_fma(matrix, vector, dim), matvec_body(matrix, vector, dim));
}
#undef ORVANE_PRODUCTS

int64_t is_identity_matrix(F64Span matrix, int64_t dim, double atol) {
  int64_t f = 0;
  for (int64_t r = 0; r < dim; ++r) {
    for (int64_t c = 0; c < dim; ++c, f += 2) {
      const Complex x = read_complex(matrix, f);
      const double d = r == c ? 1.0 : 0.0;
      if (std::fabs(x.re - d) > atol || std::fabs(x.im) > atol) return 0;
    }
  }
  return 1;
}

int64_t matrix_allclose(F64Span a, F64Span b, int64_t dim, double atol) {
  int64_t f = 0;
  for (int64_t r = 0; r < dim; ++r) {
    for (int64_t c = 0; c < dim; ++c) {
      for (int part = 0; part < 2; ++part, ++f) {
        const double x = a.get(f);
        if (std::fabs(x - b.get(f)) > atol) return 0;
      }
    }
  }
  return 1;
}

namespace {

// The operator is read column by column (row inner) for the first base
// index; fails like that read would on the first float it lacks.
void require_operator(F64Span op, int64_t op_dim) {
  const int64_t len = op.size();
  if (len >= complex_matrix_floats(op_dim)) return;
  for (int64_t c = 0; c < op_dim; ++c) {
    for (int64_t r = 0; r < op_dim; ++r) {
      const int64_t f = 2 * (r * op_dim + c);
      if (f >= len) panic_bounds_get(f, len);
      if (f + 1 >= len) panic_bounds_get(f + 1, len);
    }
  }
}

}  // namespace

F64Array embed_operator(F64Span op, int64_t op_dim, I64Span targets, int64_t num_qubits) {
  if (op_dim < 0) panic_negative_length(op_dim);
  if (num_qubits < 0 || num_qubits > 63) return {};
  validate_targets(targets, num_qubits);
  const int64_t t = targets.size();
  if (t > 62 || op_dim != int64_t{1} << t) {
    panic("embed_operator: op_dim must be 2^len(targets): op_dim " + std::to_string(op_dim) + ", " +
          std::to_string(t) + " targets");
  }

  // 2*N*N floats in wrapping 64-bit arithmetic: num_qubits = 30 overflows the
  // byte count (allocation failure), 31 gives a negative length, and 32..63
  // wrap to an empty result whose first write, entry (0, 0), fails.
  const uint64_t n = uint64_t{1} << num_qubits;
  F64Array result(static_cast<int64_t>(2 * n * n));
  if (result.empty()) {
    read_complex(op, 0);
    panic_bounds_set(0, 0);
  }
  const int64_t dim = static_cast<int64_t>(n);

  // masks[i]: the global bits of local index i; targets[0] is local bit t-1.
  const TargetOffsets offsets = target_offsets(targets, num_qubits, op_dim);
  const int64_t* masks = offsets.off.data();
  const int64_t all = offsets.mask;

  require_operator(op, op_dim);
  InterruptPoll poll;
  for (int64_t l = 0; l < dim; ++l) {
    poll.tick(1);
    if (l & all) continue;
    poll.tick(op_dim * op_dim);
    for (int64_t c = 0; c < op_dim; ++c) {
      const int64_t col = l | masks[c];
      for (int64_t r = 0; r < op_dim; ++r) {
        const int64_t f = 2 * ((l | masks[r]) * dim + col);
        result[f] = op[2 * (r * op_dim + c)];
        result[f + 1] = op[2 * (r * op_dim + c) + 1];
      }
    }
  }
  return result;
}

}  // namespace orvane
