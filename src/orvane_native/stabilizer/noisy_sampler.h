// clifford_sample_noisy: records of a Clifford circuit with resets and
// Pauli noise, sampled from one compiled program (see NoisyProgram).
#pragma once

#include <cstdint>

#include "orvane_native/stabilizer/measurement_record.h"
#include "orvane_native/support/array.h"

namespace orvane {

// The first draw state of the noise generators is the measurement state
// xored with this word (output j of a generator in that state seeds noise
// location j).
inline constexpr uint64_t kNoiseDomain = 0x6a09e667f3bcc908ULL;

// Runs the noisy stream (codes 0-17, noisy_stream.h) `repetitions` times from
// |0...0> and returns m * repetitions outcomes (m = triples of codes 9 and
// 11), entry rep*m + k the k-th of repetition rep, xored with invert_mask[k]
// where the mask has such an entry. Shot rep is the run of the stream on a
// tableau in which every drawn error is inserted as a Pauli gate, the
// triples of codes 9, 10 and 11 taking draws rep*d .. rep*d + d-1 (d = their
// count) of the generator seeded from `seed` as clifford_run seeds it (a
// reset measures with its draw, then applies X when the outcome is 1). So
// with no code above 9 the record is clifford_run's. The process generator
// is left after the repetitions' draws (as clifford_run leaves it), and only
// once the record is complete; nothing is run when repetitions < 1 or m = 0.
// The stream and the probabilities are validated first, on every call.
MeasurementRecord clifford_sample_noisy(I64Span instructions, int64_t num_qubits, I64Span invert_mask, int64_t repetitions,
                                        int64_t seed, F64Span probabilities);

}  // namespace orvane
