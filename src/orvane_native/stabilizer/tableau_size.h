// Sizes of the unpacked tableau layout (one int64 per bit: n*(2n+1) X bits,
// as many Z bits, 2n+1 signs). The bit-packed paths store far less, but
// fail for the same num_qubits as that layout does, and check it here.
#pragma once

#include <cstdint>

namespace orvane {

// Number of entries of each bit array, n*(2n+1). A negative n fails with
// "negative .len:" + (2n+1), the length of the sign array (the first array
// with a negative length); a count that does not fit in 64 bits is the
// allocation failure.
int64_t tableau_bits_len(int64_t num_qubits);

// tableau_bits_len, also failing with the allocation failure when the
// entries' byte count cannot be represented.
void require_unpacked_size(int64_t num_qubits);

}  // namespace orvane
