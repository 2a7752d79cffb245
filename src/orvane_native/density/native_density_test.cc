#include "orvane_native/density/native_density.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "orvane_native/density/channel.h"
#include "orvane_native/density/test_support.h"

namespace orvane {
namespace {

using namespace orvane::testing;

std::mt19937_64& rng() {
  static std::mt19937_64 r(99);
  return r;
}

Flat buffer(const NativeDensity& d) { return Flat(d.rho.data(), d.rho.data() + d.rho.size()); }

void load(NativeDensity& d, const Flat& values) {
  for (size_t i = 0; i < values.size(); ++i) d.rho[static_cast<int64_t>(i)] = values[i];
}

TEST(NativeDensity, ConstructionSizes) {
  const NativeDensity d = new_native_density(1);
  EXPECT_EQ(d.num_qubits, 1);
  EXPECT_EQ(buffer(d), Flat(8, 0.0));
  EXPECT_EQ(new_native_density(0).rho.size(), 2);
  EXPECT_EQ(new_native_density(5).rho.size(), 2048);
  EXPECT_EQ(panic_of([] { new_native_density(-1); }), "num_qubits must not be negative: -1");
  // 2*4^n floats: from n = 30 the byte count no longer fits in 64 bits, and
  // below that such blocks cannot be had either; never a short buffer.
  for (int64_t n : std::vector<int64_t>{29, 30, 31, 32, 40, 62, 63, 64, 1000, INT64_MAX}) {
    EXPECT_THROW(new_native_density(n), std::bad_alloc) << n;
  }
}

TEST(NativeDensity, ResetAndZeroState) {
  NativeDensity d = new_native_density(1);
  set_zero_state(d);
  EXPECT_EQ(buffer(d), Flat({1, 0, 0, 0, 0, 0, 0, 0}));
  load(d, Flat(8, 0.5));
  set_zero_state(d);
  EXPECT_EQ(buffer(d), Flat({1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}));
  reset(d);
  EXPECT_EQ(buffer(d), Flat({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(copy(density_matrix(d)), buffer(d));
}

TEST(NativeDensity, MeasureExample) {
  NativeDensity d = new_native_density(1);
  const double s = 1 / std::sqrt(2.0);
  set_from_amplitudes(d, span(Flat{s, 0, s, 0}));
  expect_close(buffer(d), Flat({0.5, 0, 0.5, 0, 0.5, 0, 0.5, 0}), 1e-15);
  const std::vector<int64_t> t = {0};
  EXPECT_EQ(measure(d, ints(t), 0.7), 1);
  expect_close(buffer(d), to_flat(mat2(0, 0, 0, 1)), 1e-15);
}

TEST(NativeDensity, ApplyChannelExamples) {
  NativeDensity d = new_native_density(1);
  set_zero_state(d);
  const std::vector<int64_t> t = {0};
  apply_channel(d, span(to_flat(kX)), 1, ints(t));
  EXPECT_EQ(buffer(d), to_flat(mat2(0, 0, 0, 1)));
  // 32 floats as two operators are 2x2 (bit flip with p = 1/2).
  apply_channel(d, span(concat({scaled(kI, std::sqrt(0.5)), scaled(kX, std::sqrt(0.5))})), 2, ints(t));
  expect_close(buffer(d), to_flat(mat2(0.5, 0, 0, 0.5)), 1e-15);
}

TEST(NativeDensity, StepByStepMatchesStatelessChannel) {
  const int64_t n = 3, dim = 8;
  NativeDensity d = new_native_density(n);
  const auto rho0 = random_density(n, rng());
  load(d, to_flat(rho0));
  Flat expected = to_flat(rho0);
  const std::vector<std::vector<int64_t>> steps = {{1}, {2, 0}, {0, 1, 2}, {2}};
  for (const auto& t : steps) {
    const auto ops = random_kraus(2, int64_t{1} << t.size(), rng());
    apply_channel(d, span(concat(ops)), 2, ints(t));
    expected = copy(channel(span(expected), span(embed_all(ops, t, n)), 2, dim));
  }
  expect_close(buffer(d), expected, 1e-12);
  const std::vector<int64_t> t = {2, 0};
  const F64Array probs = probabilities(d, ints(t));
  Flat want(4, 0.0);
  for (int64_t j = 0; j < dim; ++j) want[local_of(j, t, n)] += expected[2 * (j * dim + j)];
  expect_close(copy(probs), want, 1e-12);
}

TEST(NativeDensity, NoOpsAndDivisionByZero) {
  NativeDensity d = new_native_density(2);
  load(d, to_flat(random_density(2, rng())));
  const Flat before = buffer(d);
  const std::vector<int64_t> none, t = {0};
  // Division by zero comes before every other check, even the no-op cases.
  EXPECT_EQ(panic_of([&] { apply_channel(d, span(to_flat(kX)), 0, ints(t)); }), "division by zero");
  EXPECT_EQ(panic_of([&] { apply_channel(d, F64Span(), 0, ints(none)); }), "division by zero");
  // No targets: nothing happens, whatever the operators.
  apply_channel(d, F64Span(), 3, ints(none));
  apply_channel(d, F64Span(), -3, ints(none));
  EXPECT_TRUE(same_bytes(buffer(d), before));
  NativeDensity empty = new_native_density(0);
  empty.rho[0] = 0.25;
  apply_channel(empty, span(to_flat(kX)), 1, ints(t));
  EXPECT_EQ(buffer(empty), Flat({0.25, 0}));
}

TEST(NativeDensity, RejectionsLeaveTheBufferUnchanged) {
  NativeDensity d = new_native_density(2);
  load(d, to_flat(random_density(2, rng())));
  const Flat before = buffer(d);
  const Flat x = to_flat(kX), x7(x.begin(), x.end() - 1), two = concat({kX, kI}), id4 = to_flat(kron(kI, kI));
  const std::vector<int64_t> t0 = {0}, t01 = {0, 1}, dup = {1, 1}, high = {5};
  const std::vector<std::pair<std::function<void()>, std::string>> bad = {
      {[&] { apply_channel(d, span(x), -1, ints(t0)); }, "negative num_operators: -1"},
      {[&] { apply_channel(d, span(id4), 1, ints(t0)); }, "operator dimension 4 does not match 1 target(s): need 2"},
      {[&] { apply_channel(d, span(two), 1, ints(t0)); }, "operator dimension 3 does not match 1 target(s): need 2"},
      {[&] { apply_channel(d, span(x), 1, ints(t01)); }, "operator dimension 2 does not match 2 target(s): need 4"},
      {[&] { apply_channel(d, span(x7), 1, ints(t0)); }, "operators too short: 7 floats for 1 operator(s) of dimension 2"},
      {[&] { apply_channel(d, span(x), 1, ints(dup)); }, "duplicate target: 1"},
      {[&] { apply_channel(d, span(x), 1, ints(high)); }, "target out of range: 5 (num_qubits 2)"},
      {[&] { set_from_amplitudes(d, span(Flat(6, 0.5))); }, "set_from_amplitudes needs 8 floats for 2 qubits, got 6"},
      {[&] { set_from_amplitudes(d, span(Flat(10, 0.5))); }, "set_from_amplitudes needs 8 floats for 2 qubits, got 10"},
      {[&] { probabilities(d, ints(high)); }, "target out of range: 5 (num_qubits 2)"},
      {[&] { measure(d, ints(dup), 0.5); }, "duplicate target: 1"},
      {[&] { measure(d, ints(high), 0.5); }, "target out of range: 5 (num_qubits 2)"},
  };
  for (const auto& [call, message] : bad) {
    EXPECT_EQ(panic_of(call), message);
    EXPECT_TRUE(same_bytes(buffer(d), before)) << message;
  }
}

TEST(NativeDensity, BufferMustMatchNumQubits) {
  NativeDensity d = new_native_density(1);
  set_zero_state(d);
  const Flat before = buffer(d);
  const std::vector<int64_t> t = {0};
  const std::string message = "density buffer of 8 floats does not match num_qubits ";
  for (int64_t n : std::vector<int64_t>{2, 0, -1, 31, INT64_MIN}) {
    d.num_qubits = n;
    const std::vector<std::function<void()>> calls = {
        [&] { apply_channel(d, span(to_flat(kX)), 1, ints(t)); },
        [&] { apply_channel(d, span(to_flat(kX)), 0, ints(t)); },
        [&] { set_from_amplitudes(d, span(Flat(8, 0.0))); },
        [&] { probabilities(d, ints(t)); },
        [&] { measure(d, ints(t), 0.5); },
    };
    for (const auto& call : calls) {
      EXPECT_EQ(panic_of(call), message + std::to_string(n));
      EXPECT_TRUE(same_bytes(buffer(d), before));
    }
    // The buffer-only methods keep working on the buffer as it is.
    EXPECT_EQ(copy(density_matrix(d)), before);
    reset(d);
    EXPECT_EQ(buffer(d), before);
  }
}

}  // namespace
}  // namespace orvane
