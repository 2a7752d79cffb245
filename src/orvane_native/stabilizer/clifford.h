// The stateless Clifford-circuit functions: sampling measurement records
// over many repetitions, and the tableau reached by a circuit.
#pragma once

#include <cstdint>

#include "orvane_native/stabilizer/measurement_record.h"
#include "orvane_native/support/array.h"

namespace orvane {

// Runs the instruction stream `repetitions` times from |0...0> and returns
// m * repetitions outcomes (m = number of measurement triples), entry
// rep*m + k holding the k-th measurement of repetition rep, xored with
// invert_mask[k] where the mask has such an entry. The draws are those of
// the process-wide generator reseeded from `seed` once per call, one per
// measurement, deterministic outcomes included; they come from a copy, and
// the process generator is left after the last draw only once the record
// is complete. Nothing is run (and the generator is untouched) when
// repetitions < 1 or m = 0. Operands are
// validated over the whole stream before anything runs. The circuit runs
// once on the bit-packed tableau, recording how the signs evolve, and the
// repetitions replay that record (see SignProgram). The record is a byte per
// entry when every mask entry is 0 or 1 (see MeasurementRecord).
MeasurementRecord clifford_run(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                               int64_t repetitions, int64_t seed);

// Programs larger than this many words (8 bytes each) are not built:
// clifford_run then runs the circuit on the bit-packed tableau once per
// repetition.
inline constexpr int64_t kSignProgramMaxWords = int64_t{1} << 23;

// clifford_run with another program size limit (0: always per repetition).
MeasurementRecord clifford_run_limited(I64Span instructions, int64_t num_qubits, I64Span invert_mask,
                                       int64_t repetitions, int64_t seed, int64_t max_program_words);

// The flattened tableau after running the stream once from |0...0>;
// measurement triples are skipped. Runs on the bit-packed tableau.
BitArray clifford_tableau(I64Span instructions, int64_t num_qubits);

}  // namespace orvane
