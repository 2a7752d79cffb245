#include "orvane_native/stabilizer/native_tableau.h"

#include <gtest/gtest.h>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/test_support.h"

namespace orvane {
namespace {

using testing::floats;
using testing::ints;
using testing::message_of;
using V = std::vector<int64_t>;

V fields(const NativeTableau& t) {
  V v(t.x.data(), t.x.data() + t.x.size());
  v.insert(v.end(), t.z.data(), t.z.data() + t.z.size());
  v.insert(v.end(), t.r.data(), t.r.data() + t.r.size());
  return v;
}

V fresh_flat(int64_t n) { return ints(clifford_tableau({}, n)); }

TEST(NativeTableau, FreshObject) {
  NativeTableau t = new_native_tableau(2);
  EXPECT_EQ(t.num_qubits, 2);
  EXPECT_EQ(t.x.size(), 10);
  EXPECT_EQ(t.r.size(), 5);
  EXPECT_EQ(ints(stabilizer_tableau(t)), fresh_flat(2));
  EXPECT_EQ(floats(state_vector(t)), (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0}));

  NativeTableau zero = new_native_tableau(0);
  EXPECT_TRUE(zero.x.empty());
  EXPECT_EQ(zero.r.size(), 1);
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
  const V before = fields(t);
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
  const V before = fields(t);
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

}  // namespace
}  // namespace orvane
