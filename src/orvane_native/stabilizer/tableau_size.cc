#include "orvane_native/stabilizer/tableau_size.h"

#include <new>

#include "orvane_native/support/panic.h"

namespace orvane {

int64_t tableau_bits_len(int64_t num_qubits) {
  if (num_qubits < 0) {
    // The sign array of 2n+1 entries is the first with a negative length.
    if (num_qubits < -(int64_t{1} << 61)) throw std::bad_alloc();
    panic_negative_length(2 * num_qubits + 1);
  }
  int64_t rows = 0;
  int64_t len = 0;
  if (__builtin_mul_overflow(num_qubits, 2, &rows) ||
      __builtin_add_overflow(rows, 1, &rows) || __builtin_mul_overflow(num_qubits, rows, &len)) {
    throw std::bad_alloc();
  }
  return len;
}

void require_unpacked_size(int64_t num_qubits) {
  if (tableau_bits_len(num_qubits) > INT64_MAX / 8) throw std::bad_alloc();
}

}  // namespace orvane
