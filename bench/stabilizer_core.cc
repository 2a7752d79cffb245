// Timing hooks for bench/stabilizer_targets.py: the stabilizer functions
// and their step-by-step reference paths (the test-support library
// orvane_stabilizer_reference), called on native arrays (no Python lists),
// so that the core of each can be timed and compared in one process. Built
// by the script into a temporary shared library.
#include <chrono>
#include <cstdint>
#include <cstring>

#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/clifford_reference.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

extern "C" {

// Runs clifford_run (fast != 0) or clifford_run_reference into out
// (m * repetitions entries) and returns the seconds taken.
double bench_run(const int64_t* instructions, int64_t len, int64_t num_qubits, int64_t repetitions, int64_t seed,
                 int fast, int64_t* out) {
  const orvane::I64Span s(instructions, len);
  const auto start = std::chrono::steady_clock::now();
  const orvane::I64Array record = fast ? orvane::clifford_run(s, num_qubits, {}, repetitions, seed)
                                       : orvane::clifford_run_reference(s, num_qubits, {}, repetitions, seed);
  const double t = seconds_since(start);
  std::memcpy(out, record.data(), static_cast<size_t>(record.size()) * sizeof(int64_t));
  return t;
}

// The same for clifford_tableau / clifford_tableau_reference; out holds
// (2n+1)^2 entries.
double bench_tableau(const int64_t* instructions, int64_t len, int64_t num_qubits, int fast, int64_t* out) {
  const orvane::I64Span s(instructions, len);
  const auto start = std::chrono::steady_clock::now();
  const orvane::I64Array flat = fast ? orvane::clifford_tableau(s, num_qubits)
                                     : orvane::clifford_tableau_reference(s, num_qubits);
  const double t = seconds_since(start);
  std::memcpy(out, flat.data(), static_cast<size_t>(flat.size()) * sizeof(int64_t));
  return t;
}

}  // extern "C"
