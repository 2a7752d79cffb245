#include "orvane_native/linalg/basic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "orvane_native/linalg/complex.h"
#include "orvane_native/linalg/test_support.h"
#include "orvane_native/support/cpu.h"

namespace orvane {
namespace {

using namespace orvane::testing;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ComplexIdentity, DiagonalOnlyForPositiveSizes) {
  EXPECT_EQ(to_vector(complex_identity_flat(2)), (std::vector<double>{1, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_TRUE(complex_identity_flat(0).empty());
  EXPECT_EQ(to_vector(complex_identity_flat(-2)), std::vector<double>(8, 0.0));
}

TEST(ComplexIdentity, OverflowingSizesAreAllocationFailures) {
  EXPECT_THROW(complex_identity_flat(int64_t{1} << 30), std::bad_alloc);  // byte count overflows
  EXPECT_THROW(complex_identity_flat(int64_t{1} << 32), std::bad_alloc);  // float count overflows
  EXPECT_THROW(complex_identity_flat(-(int64_t{1} << 33)), std::bad_alloc);
}

TEST(Kron, ScalarTimesMatrix) {
  const std::vector<double> a = {2, 0}, b = {1, -2, 3, 4.5, -0.5, 6, 7, -8};
  EXPECT_EQ(to_vector(kron(span_of(a), 1, span_of(b), 2)),
            (std::vector<double>{2, -4, 6, 9, -1, 12, 14, -16}));
}

TEST(Kron, BlocksFollowTheOuterFactor) {
  // a[0][1] * b lands in rows 0-1, columns 2-3.
  const std::vector<double> a = {0, 0, 3, 0, 0, 0, 0, 0}, b = {1, 0, 2, 0, 3, 0, 4, 0};
  const auto r = kron(span_of(a), 2, span_of(b), 2);
  EXPECT_EQ(r[2 * 2], 3.0);
  EXPECT_EQ(r[2 * 3], 6.0);
  EXPECT_EQ(r[2 * 6], 9.0);
  EXPECT_EQ(r[2 * 7], 12.0);
}

TEST(Kron, ProductRoundingUsesFusedMultiplyAdds) {
  // (1+e)(1+i) squared is purely imaginary; the real part xr*yr - (yi*xi)
  // with the second product rounded first keeps the 2^-54 that a plain
  // evaluation loses.
  const double x = 1.0 + std::ldexp(1.0, -27);
  const std::vector<double> a = {x, x};
  const auto r = kron(span_of(a), 1, span_of(a), 1);
  EXPECT_EQ(r[0], std::ldexp(1.0, -54));
  EXPECT_EQ(r[1], x * x + x * x);
}

TEST(Kron, DegenerateSizesReadNothing) {
  EXPECT_TRUE(kron({}, 0, {}, 2).empty());
  EXPECT_TRUE(kron({}, 3, {}, -1).empty());
}

TEST(Kron, ShortInputsNameTheFirstMissingFloat) {
  const std::vector<double> a(7, 1.0), b(8, 1.0), one = {1.0, 0.0};
  EXPECT_EQ(message_of([&] { kron(span_of(a), 2, span_of(one), 1); }),
            "array.get: index out of range (i,a.len):7, 7");
  EXPECT_EQ(message_of([&] { kron(span_of(one), 1, span_of(a), 2); }),
            "array.get: index out of range (i,a.len):7, 7");
  EXPECT_EQ(message_of([&] { kron(span_of(b), 2, span_of(one), 2); }),
            "array.get: index out of range (i,a.len):2, 2");
}

TEST(Kron, OverflowingSizesAreAllocationFailures) {
  const std::vector<double> one = {1.0, 0.0};
  EXPECT_THROW(kron(span_of(one), int64_t{1} << 15, span_of(one), int64_t{1} << 15), std::bad_alloc);
  EXPECT_THROW(kron(span_of(one), int64_t{1} << 40, span_of(one), int64_t{1} << 40), std::bad_alloc);
}

TEST(Matmul, IdentityReturnsTheRightFactorWithZerosMadePositive) {
  const std::vector<double> b = {1.5, -0.0, -0.0, 2.0, 1e300, -3.0, 1e-300, -0.0};
  const auto id = complex_identity_flat(2);
  const auto r = matmul(id, span_of(b), 2);
  for (int64_t f = 0; f < 8; ++f) {
    const double expect = b[f] == 0.0 ? 0.0 : b[f];
    EXPECT_EQ(bits(r[f]), bits(expect)) << f;
  }
}

TEST(Matmul, ZeroEntriesSkipTheirRowOfB) {
  // a = [[1, -0.0 + 0i], [0, 1]]: row 1 of b (NaNs) never reaches row 0.
  const std::vector<double> a = {1, 0, -0.0, 0.0, 0, 0, 1, 0};
  const std::vector<double> b = {2, 1, 3, -1, kNaN, kNaN, kNaN, kNaN};
  const auto r = matmul(span_of(a), span_of(b), 2);
  EXPECT_EQ(r[0], 2.0);
  EXPECT_EQ(r[1], 1.0);
  EXPECT_EQ(r[2], 3.0);
  EXPECT_EQ(r[3], -1.0);
  EXPECT_TRUE(std::isnan(r[4]));
  // A short b passes unnoticed when the rows it lacks are never read.
  const std::vector<double> diag_first = {1, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<double> half = {5, 0, 6, 0};
  EXPECT_EQ(to_vector(matmul(span_of(diag_first), span_of(half), 2)),
            (std::vector<double>{5, 0, 6, 0, 0, 0, 0, 0}));
}

TEST(Matmul, ShortInputsNameTheFirstMissingFloat) {
  const std::vector<double> a(7, 1.0), b(8, 1.0), b5(5, 1.0);
  EXPECT_EQ(message_of([&] { matmul(span_of(a), span_of(b), 2); }),
            "array.get: index out of range (i,a.len):7, 7");
  EXPECT_EQ(message_of([&] { matmul(span_of(b), span_of(b5), 2); }),
            "array.get: index out of range (i,a.len):5, 5");
  EXPECT_EQ(message_of([&] { matmul({}, {}, 1); }), "array.get: index out of range (i,a.len):0, 0");
}

TEST(Matmul, DegenerateAndOverflowingSizes) {
  EXPECT_TRUE(matmul({}, {}, 0).empty());
  EXPECT_TRUE(matmul({}, {}, -3).empty());
  EXPECT_THROW(matmul({}, {}, int64_t{1} << 30), std::bad_alloc);
  EXPECT_THROW(matmul({}, {}, int64_t{1} << 32), std::bad_alloc);
  EXPECT_THROW(matmul({}, {}, std::numeric_limits<int64_t>::max()), std::bad_alloc);
}

TEST(Dagger, ConjugateTransposeFlipsTheSignBit) {
  const double payload = std::bit_cast<double>(uint64_t{0x7ff8000000000123});
  const std::vector<double> a = {1, 0, 2, -3, 4, payload, 5, -0.0};
  const auto r = dagger(span_of(a), 2);
  EXPECT_EQ(r[0], 1.0);
  EXPECT_EQ(bits(r[1]), bits(-0.0));
  EXPECT_EQ(r[2], 4.0);
  EXPECT_EQ(bits(r[3]), bits(payload) ^ (uint64_t{1} << 63));
  EXPECT_EQ(r[4], 2.0);
  EXPECT_EQ(r[5], 3.0);
  EXPECT_EQ(bits(r[7]), bits(0.0));
}

TEST(Dagger, ReadsColumnByColumn) {
  EXPECT_TRUE(dagger({}, 0).empty());
  // Reads entries (0,0), (1,0), (0,1), (1,1): floats 0,1, 4,5, 2,3, 6,7.
  for (auto [len, missing] : {std::pair<int, int>{3, 4}, {4, 4}, {5, 5}, {7, 7}, {1, 1}}) {
    const std::vector<double> a(len, 1.0);
    EXPECT_EQ(message_of([&] { dagger(span_of(a), 2); }),
              "array.get: index out of range (i,a.len):" + std::to_string(missing) + ", " +
                  std::to_string(len));
  }
}

TEST(AddScaled, FusedPerFloat) {
  const std::vector<double> a = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(to_vector(add_scaled(span_of(a), span_of(a), 2, -1.0)), std::vector<double>(8, 0.0));
  // 1 + x*x - 1 with x = 1 + 2^-30 keeps 2^-60 only when fused.
  const double x = 1.0 + std::ldexp(1.0, -30);
  const std::vector<double> one = {-1.0 - std::ldexp(1.0, -29), 0.5}, xs = {x, 2.0};
  const auto r = add_scaled(span_of(one), span_of(xs), 1, x);
  EXPECT_EQ(r[0], std::ldexp(1.0, -60));
  EXPECT_EQ(r[1], 0.5 + 2.0 * x);
  EXPECT_TRUE(add_scaled({}, {}, 0, 1.0).empty());
  EXPECT_EQ(message_of([&] { add_scaled(span_of(a), span_of(one), 2, 1.0); }),
            "array.get: index out of range (i,a.len):2, 2");
}

TEST(Matvec, SingleEntryAndShortInputs) {
  const double x = 1.0 + std::ldexp(1.0, -27);
  const std::vector<double> m = {x, x}, v = {x, x};
  const auto r = matvec(span_of(m), span_of(v), 1);
  EXPECT_EQ(r[0], std::ldexp(1.0, -54));  // m_re*v_re - (v_im*m_im), fused
  EXPECT_TRUE(matvec({}, {}, 0).empty());
  const std::vector<double> m2(8, 1.0), v1 = {1.0, 1.0, 1.0};
  EXPECT_EQ(message_of([&] { matvec(span_of(m2), span_of(v1), 2); }),
            "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { matvec(span_of(v1), span_of(m2), 2); }),
            "array.get: index out of range (i,a.len):3, 3");
  EXPECT_THROW(matvec({}, {}, int64_t{1} << 62), std::bad_alloc);
}

TEST(EmbedOperator, PauliXOnEitherQubit) {
  const std::vector<double> x = {0, 0, 1, 0, 1, 0, 0, 0};
  const auto on0 = embed_operator(span_of(x), 2, span_of(std::vector<int64_t>{0}), 2);
  const auto on1 = embed_operator(span_of(x), 2, span_of(std::vector<int64_t>{1}), 2);
  for (int64_t r = 0; r < 4; ++r) {
    for (int64_t c = 0; c < 4; ++c) {
      EXPECT_EQ(on0[2 * (4 * r + c)], (r ^ 2) == c ? 1.0 : 0.0);
      EXPECT_EQ(on1[2 * (4 * r + c)], (r ^ 1) == c ? 1.0 : 0.0);
    }
  }
}

TEST(EmbedOperator, TargetOrderPicksTheGlobalBits) {
  // 4x4 operator on targets [2, 0] of 3 qubits: local bit 1 is qubit 2
  // (global bit 0), local bit 0 is qubit 0 (global bit 2); qubit 1 (global
  // bit 1) is untouched.
  std::vector<double> op(32);
  for (int64_t e = 0; e < 16; ++e) op[2 * e] = 1.0 + e, op[2 * e + 1] = -(1.0 + e);
  const auto r = embed_operator(span_of(op), 4, span_of(std::vector<int64_t>{2, 0}), 3);
  ASSERT_EQ(r.size(), 128);
  int64_t nonzero = 0;
  for (int64_t row = 0; row < 8; ++row) {
    for (int64_t col = 0; col < 8; ++col) {
      const double re = r[2 * (8 * row + col)], im = r[2 * (8 * row + col) + 1];
      if (re != 0.0) ++nonzero;
      if ((row & 2) != (col & 2)) continue;
      const int64_t lr = ((row & 1) << 1) | (row >> 2), lc = ((col & 1) << 1) | (col >> 2);
      EXPECT_EQ(re, 1.0 + 4 * lr + lc) << row << "," << col;
      EXPECT_EQ(im, -(1.0 + 4 * lr + lc));
    }
  }
  EXPECT_EQ(nonzero, 32);
}

TEST(EmbedOperator, DocumentedDegenerateResults) {
  const std::vector<double> x = {0, 0, 1, 0, 1, 0, 0, 0};
  const std::vector<int64_t> t0 = {0};
  EXPECT_TRUE(embed_operator(span_of(x), 2, span_of(t0), 64).empty());
  EXPECT_TRUE(embed_operator(span_of(x), 2, span_of(t0), -1).empty());
  EXPECT_TRUE(embed_operator({}, 7, span_of(t0), 100).empty());
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), -1, span_of(t0), 2); }), "negative .len:-1");
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), -5, span_of(t0), 64); }), "negative .len:-5");
}

TEST(EmbedOperator, RejectsInvalidTargetsAndSizes) {
  const std::vector<double> x = {0, 0, 1, 0, 1, 0, 0, 0}, x4(32, 0.0);
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), 2, span_of(std::vector<int64_t>{2}), 2); }),
            "target out of range: 2 (num_qubits 2)");
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), 2, span_of(std::vector<int64_t>{-1}), 2); }),
            "target out of range: -1 (num_qubits 2)");
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x4), 4, span_of(std::vector<int64_t>{1, 1}), 2); }),
            "duplicate target: 1");
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x4), 4, span_of(std::vector<int64_t>{1}), 2); }),
            "embed_operator: op_dim must be 2^len(targets): op_dim 4, 1 targets");
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), 0, span_of(std::vector<int64_t>{}), 2); }),
            "embed_operator: op_dim must be 2^len(targets): op_dim 0, 0 targets");
}

TEST(EmbedOperator, ShortOperatorFailsInColumnOrder) {
  // Entries are read (0,0), (1,0), (0,1), (1,1): floats 0,1, 4,5, 2,3, 6,7.
  const std::vector<int64_t> t0 = {0};
  for (auto [len, missing] : {std::pair<int, int>{0, 0}, {3, 4}, {4, 4}, {6, 6}, {7, 7}}) {
    const std::vector<double> op(len, 1.0);
    EXPECT_EQ(message_of([&] { embed_operator(span_of(op), 2, span_of(t0), 1); }),
              "array.get: index out of range (i,a.len):" + std::to_string(missing) + ", " +
                  std::to_string(len));
  }
}

TEST(EmbedOperator, OverflowingRegisters) {
  const std::vector<double> x = {0, 0, 1, 0, 1, 0, 0, 0};
  const std::vector<int64_t> t0 = {0};
  EXPECT_THROW(embed_operator(span_of(x), 2, span_of(t0), 30), std::bad_alloc);
  EXPECT_EQ(message_of([&] { embed_operator(span_of(x), 2, span_of(t0), 31); }),
            "negative .len:-9223372036854775808");
  for (int64_t n : {32, 40, 63}) {
    EXPECT_EQ(message_of([&] { embed_operator(span_of(x), 2, span_of(t0), n); }),
              "array.set: index out of range (i,a.len):0, 0");
  }
  EXPECT_EQ(message_of([&] { embed_operator({}, 2, span_of(t0), 40); }),
            "array.get: index out of range (i,a.len):0, 0");
}

TEST(Predicates, PerComponentAbsoluteTolerance) {
  const double atol = 0.25;
  const std::vector<double> at_tol = {1.25, -0.25, 0.25, 0.25, -0.25, 0, 0.75, 0.25};
  EXPECT_EQ(is_identity_matrix(span_of(at_tol), 2, atol), 1);
  std::vector<double> over = at_tol;
  over[3] = std::nextafter(0.25, 1.0);
  EXPECT_EQ(is_identity_matrix(span_of(over), 2, atol), 0);
  const std::vector<double> nan_entry = {kNaN, kNaN, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(is_identity_matrix(span_of(nan_entry), 2, atol), 1);
  const std::vector<double> id = {1, 0};
  EXPECT_EQ(is_identity_matrix(span_of(id), 1, 0.0), 1);
  EXPECT_EQ(is_identity_matrix(span_of(id), 1, -1e-300), 0);
  EXPECT_EQ(is_identity_matrix({}, 0, -1.0), 1);

  const std::vector<double> a = {0, 0}, b = {0.5, 0.5};  // modulus distance 0.707
  EXPECT_EQ(matrix_allclose(span_of(a), span_of(b), 1, 0.5), 1);
  EXPECT_EQ(matrix_allclose(span_of(a), span_of(b), 1, 0.4999), 0);
  EXPECT_EQ(matrix_allclose(span_of(a), span_of(a), 1, -1.0), 0);
  EXPECT_EQ(matrix_allclose(span_of(nan_entry), span_of(at_tol), 1, 0.0), 1);
  EXPECT_EQ(matrix_allclose({}, {}, -2, 0.0), 1);
}

TEST(Predicates, ShortInputsFailOnlyWhenReached) {
  const std::vector<double> far = {5, 0, 0};  // fails the tolerance before the end
  EXPECT_EQ(is_identity_matrix(span_of(far), 2, 0.1), 0);
  const std::vector<double> near = {1, 0, 0};
  EXPECT_EQ(message_of([&] { is_identity_matrix(span_of(near), 2, 0.1); }),
            "array.get: index out of range (i,a.len):3, 3");
  const std::vector<double> b = {1, 0, 0, 0, 0};
  const std::vector<double> differs = {1, 0, 9};
  EXPECT_EQ(matrix_allclose(span_of(differs), span_of(b), 2, 0.1), 0);
  EXPECT_EQ(message_of([&] { matrix_allclose(span_of(b), span_of(near), 2, 0.1); }),
            "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { matrix_allclose(span_of(near), span_of(b), 2, 0.1); }),
            "array.get: index out of range (i,a.len):3, 3");
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The products compiled for the FMA instruction give the library call's bits
// (on random values, signed zeros, huge and tiny values), and NaN where it
// gives NaN: a NaN's sign bit, which IEEE 754 leaves open for arithmetic, may
// differ (fma(a, b, -c) may run as a fused subtraction).
TEST(FusedVariants, SameBitsWithAndWithoutTheFmaInstruction) {
  if (cpu::supported().products == cpu::Isa::kScalar) GTEST_SKIP() << "the products have one variant on this CPU";
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double specials[] = {0.0, -0.0, 1e308, -1e-308, 5e-324, 1.0 / 3.0, std::nan("")};
  auto matrix = [&](int64_t dim) {
    std::vector<double> m(static_cast<size_t>(2 * dim * dim));
    for (double& x : m) x = rng() % 8 == 0 ? specials[rng() % 7] : u(rng);
    return m;
  };
  auto bits = [](const F64Array& a) {
    std::vector<uint64_t> out(static_cast<size_t>(a.size()));
    std::memcpy(out.data(), a.data(), out.size() * sizeof(double));
    for (size_t i = 0; i < out.size(); ++i)
      if (std::isnan(a[static_cast<int64_t>(i)])) out[i] = 0x7ff8000000000000u;
    return out;
  };
  // The product as written: row by row, each sum from +0.0 in increasing k,
  // skipping exact-zero entries of a (the small sizes have their own path).
  auto written_matmul = [](const std::vector<double>& a, const std::vector<double>& b, int64_t dim) {
    F64Array r(2 * dim * dim);
    for (int64_t i = 0; i < dim; ++i)
      for (int64_t k = 0; k < dim; ++k) {
        const Complex x{a[2 * (i * dim + k)], a[2 * (i * dim + k) + 1]};
        if (x.re == 0.0 && x.im == 0.0) continue;
        for (int64_t j = 0; j < dim; ++j) {
          const Complex p = mul(x, Complex{b[2 * (k * dim + j)], b[2 * (k * dim + j) + 1]});
          r[2 * (i * dim + j)] = p.re + r[2 * (i * dim + j)];
          r[2 * (i * dim + j) + 1] = p.im + r[2 * (i * dim + j) + 1];
        }
      }
    return r;
  };
  // Several draws per size, so that the specials meet each other and the
  // vector paths' lanes in many arrangements.
  for (int64_t dim : {1, 2, 3, 4, 5, 7}) for (int draw = 0; draw < 16; ++draw) {
    auto a = matrix(dim), b = matrix(dim);
    // An exact zero of a meets a NaN of b: the product skips that term.
    a[0] = a[1] = 0.0;
    b[2 * (dim - 1)] = std::nan("");
    const auto run = [&] {
      std::vector<double> vec(static_cast<size_t>(2 * dim));
      for (size_t i = 0; i < vec.size(); ++i) vec[i] = a[(i * 7) % a.size()];
      return std::vector<std::vector<uint64_t>>{bits(matmul(span_of(a), span_of(b), dim)),
                                                bits(kron(span_of(a), dim, span_of(b), dim)),
                                                bits(matvec(span_of(a), span_of(vec), dim)),
                                                bits(add_scaled(span_of(a), span_of(b), dim, vec[0]))};
    };
    cpu::set_vector_variants(false);
    const auto plain = run();
    EXPECT_EQ(plain[0], bits(written_matmul(a, b, dim))) << "dim " << dim << ", draw " << draw;
    cpu::set_vector_variants(true);
    EXPECT_EQ(run(), plain) << "dim " << dim << ", draw " << draw;
  }
}

}  // namespace
}  // namespace orvane
