// Validation of qubit target lists, shared by every simulator: each target
// must name a qubit 0 <= t < num_qubits and no qubit may appear twice.
// Failures are core panics naming the offending value.
#pragma once

#include <cstdint>
#include <string>

#include "orvane_native/support/array.h"

namespace orvane {

// Throws Panic("target out of range: T (num_qubits N)") or
// Panic("duplicate target: T").
void validate_targets(I64Span targets, int64_t num_qubits);

// Throws Panic(what + " too short: L floats, need N") when len < need.
void require_length(const char* what, int64_t len, int64_t need);

}  // namespace orvane
