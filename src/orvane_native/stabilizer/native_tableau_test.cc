#include "orvane_native/stabilizer/native_tableau.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/tableau.h"
#include "orvane_native/stabilizer/state_vector.h"
#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {

using testing::floats;
using testing::ints;
using testing::message_of;
using V = std::vector<int64_t>;

// Everything the record holds but its measurement work area.
std::vector<uint64_t> fields(const NativeTableau& t) {
  std::vector<uint64_t> v;
  for (const Field<uint64_t>* f : {&t.bits, &t.r, &t.scratch}) v.insert(v.end(), f->data(), f->data() + f->size());
  return v;
}

V fresh_flat(int64_t n) { return ints(clifford_tableau({}, n)); }

TEST(NativeTableau, FreshObject) {
  NativeTableau t = new_native_tableau(2);
  EXPECT_EQ(t.num_qubits, 2);
  EXPECT_EQ(ints(stabilizer_tableau(t)), fresh_flat(2));
  EXPECT_EQ(floats(state_vector(t)), (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0}));

  NativeTableau zero = new_native_tableau(0);
  EXPECT_EQ(ints(stabilizer_tableau(zero)), V{0});
  EXPECT_EQ(floats(state_vector(zero)), (std::vector<double>{1.0, 0.0}));
}

TEST(NativeTableau, ConstructorRejections) {
  EXPECT_EQ(message_of([] { new_native_tableau(-1); }), "num_qubits must not be negative: -1");
  EXPECT_THROW(new_native_tableau(int64_t{1} << 40), std::bad_alloc);
  EXPECT_THROW(new_native_tableau(INT64_MAX), std::bad_alloc);
}

TEST(NativeTableau, BellThenMeasure) {
  NativeTableau t = new_native_tableau(2);
  apply(t, 0, 0, 0);
  apply(t, 6, 0, 1);
  EXPECT_EQ(measure(t, 0, 0.9), 1);
  EXPECT_EQ(measure(t, 1, 0.1), 1);
  EXPECT_EQ(floats(state_vector(t)), (std::vector<double>{0, 0, 0, 0, 0, 0, 1, 0}));
}

TEST(NativeTableau, DeterminedMeasureTouchesOnlyTheScratchRow) {
  NativeTableau t = new_native_tableau(2);
  EXPECT_EQ(measure(t, 0, 0.9), 0);
  V expected = fresh_flat(2);
  expected[4 * 5 + 2] = 1;  // scratch row: +Z on qubit 0
  EXPECT_EQ(ints(stabilizer_tableau(t)), expected);
  reset(t);
  EXPECT_EQ(ints(stabilizer_tableau(t)), fresh_flat(2));
}

TEST(NativeTableau, NoOpCodes) {
  NativeTableau t = new_native_tableau(2);
  apply(t, 0, 1, 0);
  const auto before = fields(t);
  apply(t, 9, 0, 0);
  apply(t, 42, 0, 0);
  apply(t, -1, 99, 99);
  EXPECT_EQ(fields(t), before);
}

TEST(NativeTableau, StepByStepMatchesCliffordTableau) {
  std::mt19937_64 rng(3);
  for (int trial = 0; trial < 20; ++trial) {
    const int64_t n = 1 + trial % 5;
    const V s = testing::random_stream(rng, n, 30);
    NativeTableau t = new_native_tableau(n);
    for (size_t i = 0; i < s.size(); i += 3) apply(t, s[i], s[i + 1], s[i + 2]);
    EXPECT_EQ(ints(stabilizer_tableau(t)), ints(clifford_tableau({s.data(), static_cast<int64_t>(s.size())}, n)));
    reset(t);
    EXPECT_EQ(ints(stabilizer_tableau(t)), fresh_flat(n));
  }
}

TEST(NativeTableau, RejectionsLeaveTheRecordUnchanged) {
  NativeTableau t = new_native_tableau(3);
  apply(t, 0, 0, 0);
  apply(t, 6, 0, 2);
  const auto before = fields(t);
  EXPECT_EQ(message_of([&] { apply(t, 0, 3, 0); }), "qubit operand a out of range: 3 (num_qubits 3)");
  EXPECT_EQ(message_of([&] { apply(t, 6, 1, 1); }), "qubit operands a and b are the same qubit: 1");
  EXPECT_EQ(message_of([&] { apply(t, 8, 0, -1); }), "qubit operand b out of range: -1 (num_qubits 3)");
  EXPECT_EQ(message_of([&] { apply(t, 9, 4, 0); }), "qubit operand a out of range: 4 (num_qubits 3)");
  EXPECT_EQ(message_of([&] { measure(t, 3, 0.2); }), "qubit operand out of range: 3 (num_qubits 3)");
  EXPECT_EQ(fields(t), before);

  // num_qubits reassigned: every method refuses before touching the fields.
  for (int64_t wrong : {2, 4, -1, 0}) {
    t.num_qubits = wrong;
    const std::string msg = "num_qubits " + std::to_string(wrong) + " does not match the tableau's 3 qubits";
    EXPECT_EQ(message_of([&] { reset(t); }), msg);
    EXPECT_EQ(message_of([&] { apply(t, 0, 0, 0); }), msg);
    EXPECT_EQ(message_of([&] { measure(t, 0, 0.2); }), msg);
    EXPECT_EQ(message_of([&] { state_vector(t); }), msg);
    EXPECT_EQ(message_of([&] { stabilizer_tableau(t); }), msg);
    EXPECT_EQ(fields(t), before);
  }
  t.num_qubits = 3;
  EXPECT_EQ(fields(t), before);
  EXPECT_EQ(measure(t, 2, 0.7), 1);
}

// The record step by step against the unpacked Tableau: gates, random and
// determined measurements with the same draws (NaN and 0.5 included), the
// flattened tableau (scratch row included) after every step, resets, and
// state vectors for small sizes.
TEST(NativeTableau, StepByStepEqualsUnpackedTableau) {
  std::mt19937_64 rng(99);
  const double draws[] = {0.5, std::nextafter(0.5, 0.0), std::nan(""), 0.0, 0.99, 0.25};
  for (int64_t n : {1, 2, 3, 9, 63, 64, 65, 128, 129}) {
    NativeTableau t = new_native_tableau(n);
    for (int round = 0; round < 2; ++round) {
      Tableau ref = new_tableau(n);
      V s = testing::random_stream(rng, n, static_cast<int>(std::min<int64_t>(5 * n + 20, 260)), 4);
      for (int64_t q = 0; q < n; q += 1 + n / 8) s.insert(s.end(), {instr_measure, q, 0, instr_measure, q, 0});
      for (size_t i = 0; i < s.size(); i += 3) {
        if (s[i] == instr_measure) {
          const double u = draws[rng() % 6];
          ASSERT_EQ(measure(t, s[i + 1], u), ref.measure(s[i + 1], u)) << "n " << n << " step " << i / 3;
        } else {
          apply(t, s[i], s[i + 1], s[i + 2]);
          ref.apply(s[i], s[i + 1], s[i + 2]);
        }
        if (n <= 9 || s[i] == instr_measure || i + 3 == s.size()) {
          ASSERT_EQ(ints(stabilizer_tableau(t)), ints(ref.to_flat())) << "n " << n << " step " << i / 3;
        }
      }
      if (n <= 9) {
        EXPECT_EQ(floats(state_vector(t)), floats(clifford_state_vector(ref.to_flat(), n)));
      }
      reset(t);
      ASSERT_EQ(ints(stabilizer_tableau(t)), fresh_flat(n));
    }
  }
}

}  // namespace
}  // namespace orvane
