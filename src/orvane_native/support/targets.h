// Validation of qubit target lists, shared by every simulator: each target
// must name a qubit 0 <= t < num_qubits and no qubit may appear twice.
// Failures are core panics naming the offending value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orvane_native/support/array.h"

namespace orvane {

// Throws Panic("target out of range: T (num_qubits N)") or
// Panic("duplicate target: T").
void validate_targets(I64Span targets, int64_t num_qubits);

// Index geometry of an operator on k targets of an n-qubit register: its
// local index has k bits, targets[0] the most significant, and qubit q is
// bit n-1-q of a global index. off[r] is the global offset of local index r
// (d = 2^k of them), mask the OR of all offsets; a base index is one with
// every target bit clear. A shift count outside 0..63 contributes no bit.
struct TargetOffsets {
  std::vector<int64_t> off;
  int64_t mask = 0;
};
TargetOffsets target_offsets(I64Span targets, int64_t n, int64_t d);

// Throws Panic(what + " too short: L floats, need N") when len < need.
void require_length(const char* what, int64_t len, int64_t need);

}  // namespace orvane
