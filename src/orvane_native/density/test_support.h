// Reference math for the density-matrix unit tests, written independently of
// the kernels: std::complex matrices, explicit bit extraction for the qubit
// order (qubit q is bit n-1-q; targets[0] the most significant local bit),
// and seeded random inputs.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane::testing {

using cd = std::complex<double>;
using Flat = std::vector<double>;

inline Flat to_flat(const std::vector<cd>& z) {
  Flat f(2 * z.size());
  for (size_t i = 0; i < z.size(); ++i) f[2 * i] = z[i].real(), f[2 * i + 1] = z[i].imag();
  return f;
}

inline std::vector<cd> to_complex(F64Span f) {
  std::vector<cd> z(static_cast<size_t>(f.size() / 2));
  for (size_t i = 0; i < z.size(); ++i) z[i] = {f[2 * i], f[2 * i + 1]};
  return z;
}

inline F64Span span(const Flat& f) { return {f.data(), static_cast<int64_t>(f.size())}; }
inline Span<double> mut(Flat& f) { return {f.data(), static_cast<int64_t>(f.size())}; }
inline I64Span ints(const std::vector<int64_t>& v) { return {v.data(), static_cast<int64_t>(v.size())}; }
inline Flat copy(const F64Array& a) { return Flat(a.begin(), a.end()); }

// Local index of basis index x for `targets` of an n-qubit register.
inline int64_t local_of(int64_t x, const std::vector<int64_t>& targets, int64_t n) {
  int64_t r = 0;
  for (int64_t t : targets) r = (r << 1) | ((x >> (n - 1 - t)) & 1);
  return r;
}

// Basis index x with its non-target bits only.
inline int64_t rest_of(int64_t x, const std::vector<int64_t>& targets, int64_t n) {
  for (int64_t t : targets) x &= ~(int64_t{1} << (n - 1 - t));
  return x;
}

// The d x d operator `op` acting on `targets`, identity elsewhere, as a full
// 2^n x 2^n matrix.
inline std::vector<cd> embed(const std::vector<cd>& op, const std::vector<int64_t>& targets, int64_t n) {
  const int64_t dim = int64_t{1} << n, d = int64_t{1} << targets.size();
  std::vector<cd> full(static_cast<size_t>(dim * dim));
  for (int64_t r = 0; r < dim; ++r)
    for (int64_t c = 0; c < dim; ++c)
      if (rest_of(r, targets, n) == rest_of(c, targets, n))
        full[r * dim + c] = op[local_of(r, targets, n) * d + local_of(c, targets, n)];
  return full;
}

// Every operator of a Kraus list embedded, concatenated in the list layout.
inline Flat embed_all(const std::vector<std::vector<cd>>& ops, const std::vector<int64_t>& targets, int64_t n) {
  Flat out;
  for (const auto& op : ops) {
    const Flat f = to_flat(embed(op, targets, n));
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

inline Flat concat(const std::vector<std::vector<cd>>& ops) {
  Flat out;
  for (const auto& op : ops) {
    const Flat f = to_flat(op);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// sum_i K_i rho K_i^dagger by the textbook triple loops.
inline std::vector<cd> reference_channel(const std::vector<cd>& rho, const std::vector<std::vector<cd>>& full_ops,
                                         int64_t dim) {
  std::vector<cd> out(static_cast<size_t>(dim * dim));
  for (const auto& k : full_ops) {
    std::vector<cd> t(static_cast<size_t>(dim * dim));
    for (int64_t i = 0; i < dim; ++i)
      for (int64_t j = 0; j < dim; ++j)
        for (int64_t l = 0; l < dim; ++l) t[i * dim + j] += k[i * dim + l] * rho[l * dim + j];
    for (int64_t i = 0; i < dim; ++i)
      for (int64_t j = 0; j < dim; ++j)
        for (int64_t l = 0; l < dim; ++l) out[i * dim + j] += t[i * dim + l] * std::conj(k[j * dim + l]);
  }
  return out;
}

inline std::vector<cd> random_matrix(int64_t dim, std::mt19937_64& rng) {
  std::normal_distribution<double> g;
  std::vector<cd> m(static_cast<size_t>(dim * dim));
  for (auto& z : m) z = {g(rng), g(rng)};
  return m;
}

// A random positive matrix of unit trace (a generic mixed state).
inline std::vector<cd> random_density(int64_t n, std::mt19937_64& rng) {
  const int64_t dim = int64_t{1} << n;
  const auto a = random_matrix(dim, rng);
  std::vector<cd> rho(static_cast<size_t>(dim * dim));
  cd trace = 0;
  for (int64_t i = 0; i < dim; ++i)
    for (int64_t j = 0; j < dim; ++j) {
      for (int64_t l = 0; l < dim; ++l) rho[i * dim + j] += a[i * dim + l] * std::conj(a[j * dim + l]);
    }
  for (int64_t i = 0; i < dim; ++i) trace += rho[i * dim + i];
  for (auto& z : rho) z /= trace.real();
  return rho;
}

// m random operators scaled so that sum_i K_i^dagger K_i is close to the
// identity in size (the formulas do not need an exact channel).
inline std::vector<std::vector<cd>> random_kraus(int64_t m, int64_t d, std::mt19937_64& rng) {
  std::vector<std::vector<cd>> ops;
  for (int64_t i = 0; i < m; ++i) {
    auto k = random_matrix(d, rng);
    for (auto& z : k) z /= std::sqrt(2.0 * static_cast<double>(d * m));
    ops.push_back(k);
  }
  return ops;
}

inline void expect_close(F64Span got, const std::vector<cd>& want, double tol = 1e-12) {
  ASSERT_EQ(got.size(), static_cast<int64_t>(2 * want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[2 * i], want[i].real(), tol) << "entry " << i;
    EXPECT_NEAR(got[2 * i + 1], want[i].imag(), tol) << "entry " << i;
  }
}

inline void expect_close(const Flat& got, const Flat& want, double tol = 1e-12) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "float " << i;
}

inline bool same_bytes(const Flat& a, const Flat& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The message of the core failure that `fn` raises, or "" when it returns.
template <class Fn>
std::string panic_of(Fn&& fn) {
  try {
    fn();
  } catch (const Panic& p) {
    return p.what();
  }
  return "";
}

// Common Kraus sets.
inline std::vector<cd> mat2(cd a, cd b, cd c, cd d) { return {a, b, c, d}; }
inline const std::vector<cd> kI = mat2(1, 0, 0, 1);
inline const std::vector<cd> kX = mat2(0, 1, 1, 0);
inline const std::vector<cd> kY = mat2(0, cd(0, -1), cd(0, 1), 0);
inline const std::vector<cd> kZ = mat2(1, 0, 0, -1);

inline std::vector<cd> scaled(std::vector<cd> m, cd s) {
  for (auto& z : m) z *= s;
  return m;
}

inline std::vector<cd> kron(const std::vector<cd>& a, const std::vector<cd>& b) {
  const auto da = static_cast<int64_t>(std::sqrt(static_cast<double>(a.size())));
  const auto db = static_cast<int64_t>(std::sqrt(static_cast<double>(b.size())));
  const int64_t d = da * db;
  std::vector<cd> out(static_cast<size_t>(d * d));
  for (int64_t i = 0; i < d; ++i)
    for (int64_t j = 0; j < d; ++j) out[i * d + j] = a[(i / db) * da + j / db] * b[(i % db) * db + j % db];
  return out;
}

// A d x d matrix with ones at (r, perm[r]).
inline std::vector<cd> permutation_matrix(const std::vector<int64_t>& perm) {
  const auto d = static_cast<int64_t>(perm.size());
  std::vector<cd> m(static_cast<size_t>(d * d));
  for (int64_t r = 0; r < d; ++r) m[r * d + perm[r]] = 1;
  return m;
}

}  // namespace orvane::testing
