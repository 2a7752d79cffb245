// clifford_run and clifford_tableau on the unpacked reference Tableau, step
// for step as documented: a fresh tableau per repetition, one instruction
// after another, one draw of the process generator per measurement. The
// module's bit-packed functions must return the same results, fail with the
// same messages and leave the generator in the same state for every input.
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

I64Array clifford_run_reference(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                int64_t repetitions, int64_t seed);

I64Array clifford_tableau_reference(I64Span instructions, int64_t num_qubits);

}  // namespace orvane
