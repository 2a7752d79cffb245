#include "orvane_native/stabilizer/state_vector.h"

#include <gtest/gtest.h>

#include <cstring>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/state_vector_dense.h"
#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {

using testing::cd;
using testing::floats;
using testing::message_of;
using V = std::vector<int64_t>;

I64Array flat_of(const V& s, int64_t n) {
  const BitArray bits = clifford_tableau({s.data(), static_cast<int64_t>(s.size())}, n);
  I64Array flat(bits.size());
  for (int64_t i = 0; i < bits.size(); ++i) flat[i] = bits[i];
  return flat;
}

I64Span span_of(const V& v) { return {v.data(), static_cast<int64_t>(v.size())}; }

void expect_bitwise_equal(const F64Array& a, const F64Array& b) {
  ASSERT_EQ(a.size(), b.size());
  for (int64_t i = 0; i < a.size(); ++i) {
    uint64_t ba, bb;
    std::memcpy(&ba, &a[i], 8);
    std::memcpy(&bb, &b[i], 8);
    ASSERT_EQ(ba, bb) << "float " << i << ": " << a[i] << " vs " << b[i];
  }
}

// The state of `psi` scaled so that its lowest-index non-zero amplitude is
// real and positive.
std::vector<cd> canonical(const DenseState& psi) {
  std::vector<cd> v = psi.amp;
  for (const cd& a : v) {
    if (std::abs(a) > 1e-9) {
      const cd phase = std::abs(a) / a;
      for (cd& b : v) b *= phase;
      break;
    }
  }
  return v;
}

const double h = 1.0 / std::sqrt(2.0);

TEST(CliffordStateVector, WorkedExamples) {
  EXPECT_EQ(floats(clifford_state_vector(span_of({0}), 0)), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(floats(clifford_state_vector(span_of({}), 0)), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(floats(clifford_state_vector(flat_of({}, 2), 2)), (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(floats(clifford_state_vector(flat_of({3, 0, 0}, 2), 2)), (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(floats(clifford_state_vector(flat_of({0, 0, 0, 6, 0, 1}, 2), 2)),
            (std::vector<double>{h, 0, 0, 0, 0, 0, h, 0}));
  EXPECT_EQ(floats(clifford_state_vector(flat_of({0, 0, 0, 1, 0, 0}, 1), 1)), (std::vector<double>{h, 0, 0, h}));
  EXPECT_EQ(floats(clifford_state_vector(flat_of({0, 1, 0, 4, 1, 0}, 2), 2)),
            (std::vector<double>{h, 0, -h, 0, 0, 0, 0, 0}));
  // Stabilizer rows all identity with sign +: M = 2^n I, basis state 0.
  EXPECT_EQ(floats(clifford_state_vector(span_of(V(20, 0)), 2)), (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(clifford_state_vector(span_of({1, 2, 3}), -1).empty());
  EXPECT_TRUE(clifford_state_vector(span_of({}), INT64_MIN).empty());
}

TEST(CliffordStateVector, FastEqualsDenseBitForBit) {
  std::mt19937_64 rng(101);
  int checked = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int64_t n = 1 + trial % 6;
    Tableau t = new_tableau(n);
    const V s = testing::random_stream(rng, n, 8 * static_cast<int>(n), trial % 3 == 0 ? 5 : 0);
    for (size_t i = 0; i < s.size(); i += 3) {
      if (s[i] == instr_measure) t.measure(s[i + 1], static_cast<double>(rng() % 2));
      else t.apply(s[i], s[i + 1], s[i + 2]);
    }
    // Multiplying stabilizer rows together keeps a valid generator set with
    // different rows and signs.
    if (trial % 2 == 1 && n >= 2) {
      const int64_t target = static_cast<int64_t>(rng() % n);
      t.rowsum(n + target, n + (target + 1 + static_cast<int64_t>(rng() % (n - 1))) % n);
    }
    const I64Array flat = t.to_flat();
    ASSERT_TRUE(stabilizer_rows_form_generator_set(flat, n));
    expect_bitwise_equal(clifford_state_vector(flat, n), clifford_state_vector_dense(flat, n));
    ++checked;
  }
  EXPECT_EQ(checked, 400);
}

TEST(CliffordStateVector, MatchesDenseSimulationUpToGlobalPhase) {
  std::mt19937_64 rng(202);
  for (int trial = 0; trial < 40; ++trial) {
    const int64_t n = 1 + trial % 12;  // past the dense limit: only the one-vector method works there
    const V s = testing::random_stream(rng, n, 6 * static_cast<int>(n));
    DenseState psi(n);
    for (size_t i = 0; i < s.size(); i += 3) psi.gate(s[i], s[i + 1], s[i + 2]);
    const F64Array got = clifford_state_vector(flat_of(s, n), n);
    const std::vector<cd> want = canonical(psi);
    ASSERT_EQ(got.size(), static_cast<int64_t>(2 * want.size()));
    for (size_t k = 0; k < want.size(); ++k) {
      ASSERT_NEAR(got[2 * k], want[k].real(), 1e-12) << "n " << n << " index " << k;
      ASSERT_NEAR(got[2 * k + 1], want[k].imag(), 1e-12) << "n " << n << " index " << k;
    }
  }
}

TEST(CliffordStateVector, OddEntriesActAsIdentityAndPlus) {
  // |+> on qubit 0, |1> on qubit 1; stabilizer rows 2 (+X on 0) and 3 (-Z on 1).
  const V s{0, 0, 0, 3, 1, 0};
  I64Array flat = flat_of(s, 2);
  const F64Array plain = clifford_state_vector(flat, 2);
  // Row 2 is [1, 0, 0, 0, r]; qubit 1's (x, z) = (0, 0) becomes (2, 0) or (0, 7).
  flat[2 * 5 + 1] = 2;
  expect_bitwise_equal(clifford_state_vector(flat, 2), plain);
  flat[2 * 5 + 1] = 0;
  flat[2 * 5 + 3] = 7;
  expect_bitwise_equal(clifford_state_vector(flat, 2), plain);
  expect_bitwise_equal(clifford_state_vector_dense(flat, 2), plain);
  // A sign entry of 5 counts as +; the X row's sign was 0 already, so only
  // the -Z row shows it: the state becomes |+0>.
  flat[3 * 5 + 4] = 5;
  EXPECT_EQ(floats(clifford_state_vector(flat, 2)), (std::vector<double>{h, 0, 0, 0, h, 0, 0, 0}));
}

TEST(CliffordStateVector, InvalidRowsEqualDenseBitForBit) {
  // Anticommuting rows +X0 and -Z0 (n = 2, rows 2 and 3): M e_0 = M e_1 = 0,
  // so the first non-zero column is 2.
  V anti(20, 0);
  anti[10 + 0] = 1;      // row 2: X on qubit 0
  anti[15 + 2 + 0] = 1;  // row 3: Z on qubit 0
  anti[15 + 4] = 1;      //        with sign -
  EXPECT_FALSE(stabilizer_rows_form_generator_set(span_of(anti), 2));
  expect_bitwise_equal(clifford_state_vector(span_of(anti), 2), clifford_state_vector_dense(span_of(anti), 2));
  EXPECT_EQ(floats(clifford_state_vector(span_of(anti), 2)), (std::vector<double>{h, 0, 0, 0, h, 0, 0, 0}));

  // Contradictory rows +Z0 and -Z0: M = 0, all zeros.
  V contra(20, 0);
  contra[10 + 2] = 1;
  contra[15 + 2] = 1;
  contra[15 + 4] = 1;
  EXPECT_FALSE(stabilizer_rows_form_generator_set(span_of(contra), 2));
  EXPECT_EQ(floats(clifford_state_vector(span_of(contra), 2)), std::vector<double>(8, 0.0));

  // Random rows, entries 0, 1 and 2: mostly anticommuting or dependent.
  std::mt19937_64 rng(303);
  int invalid = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int64_t n = 1 + trial % 6;
    V flat(static_cast<size_t>((2 * n + 1) * (2 * n + 1)));
    for (int64_t& e : flat) e = static_cast<int64_t>(rng() % 7 == 0 ? 2 : rng() % 2);
    invalid += !stabilizer_rows_form_generator_set(span_of(flat), n);
    expect_bitwise_equal(clifford_state_vector(span_of(flat), n), clifford_state_vector_dense(span_of(flat), n));
  }
  EXPECT_GT(invalid, 200);

  // Beyond the search limit: the allocation failure.
  const int64_t n = kColumnSearchMaxQubits + 1;
  const V zeros(static_cast<size_t>(2 * n * (2 * n + 1)), 0);
  EXPECT_THROW(clifford_state_vector(span_of(zeros), n), std::bad_alloc);
}

TEST(CliffordStateVector, ShortTableauFailsLikeTheRowByRowReading) {
  const I64Array full = flat_of({0, 0, 0, 6, 0, 1}, 2);
  for (int64_t len = 0; len < 20; ++len) {
    const I64Span cut(full.data(), len);
    const std::string fast = message_of([&] { clifford_state_vector(cut, 2); });
    EXPECT_EQ(fast, message_of([&] { clifford_state_vector_dense(cut, 2); })) << len;
    EXPECT_EQ(fast.rfind("array.get: index out of range (i,a.len):", 0), 0u) << len;
  }
  EXPECT_EQ(message_of([&] { clifford_state_vector(I64Span(full.data(), 12), 2); }),
            "array.get: index out of range (i,a.len):12, 12");
  // 2n*(2n+1) entries are enough: the scratch row is never read.
  EXPECT_EQ(clifford_state_vector(I64Span(full.data(), 20), 2).size(), 8);
  EXPECT_EQ(message_of([] { clifford_state_vector(I64Span(), 64); }), "array.get: index out of range (i,a.len):8256, 0");
}

TEST(CliffordStateVector, HugeSizesAreTheAllocationFailure) {
  for (int64_t n : {62, 64, 100}) {
    const V zeros(static_cast<size_t>(2 * n * (2 * n + 1)), 0);
    EXPECT_THROW(clifford_state_vector(span_of(zeros), n), std::bad_alloc) << n;
  }
  const I64Array valid = flat_of({}, 50);
  EXPECT_THROW(clifford_state_vector(valid, 50), std::bad_alloc);
}

TEST(CliffordStateVector, TwentyQubitGhz) {
  V s{0, 0, 0};
  for (int64_t q = 1; q < 20; ++q) s.insert(s.end(), {6, 0, q});
  const F64Array v = clifford_state_vector(flat_of(s, 20), 20);
  ASSERT_EQ(v.size(), int64_t{2} << 20);
  for (int64_t k = 0; k < (int64_t{1} << 20); ++k) {
    const double expect = (k == 0 || k == (int64_t{1} << 20) - 1) ? h : 0.0;
    ASSERT_EQ(v[2 * k], expect) << k;
    ASSERT_EQ(v[2 * k + 1], 0.0) << k;
  }
}

}  // namespace
}  // namespace orvane
