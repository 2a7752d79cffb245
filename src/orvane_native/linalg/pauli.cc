#include "orvane_native/linalg/pauli.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {

F64Array pauli_matrix(int64_t x, int64_t z) {
  F64Array m(8);
  if (x == 1 && z == 0) {
    m[2] = 1.0;
    m[4] = 1.0;
  } else if (x == 1 && z == 1) {
    m[3] = -1.0;
    m[5] = 1.0;
  } else if (x == 0 && z == 1) {
    m[0] = 1.0;
    m[6] = -1.0;
  } else {
    m[0] = 1.0;
    m[6] = 1.0;
  }
  return m;
}

Complex pauli_entry(int64_t p, int64_t a, int64_t b) {
  switch (p) {
    case 0:
      return a == b ? Complex{1.0, 0.0} : Complex{0.0, 0.0};
    case 1:
      return a == b ? Complex{0.0, 0.0} : Complex{1.0, 0.0};
    case 2:
      if (a == 0 && b == 1) return {0.0, -1.0};
      if (a == 1 && b == 0) return {0.0, 1.0};
      return {0.0, 0.0};
    default:
      if (a == 0 && b == 0) return {1.0, 0.0};
      if (a == 1 && b == 1) return {-1.0, 0.0};
      return {0.0, 0.0};
  }
}

F64Array pauli_expansion(F64Span matrix, int64_t num_qubits) {
  const int64_t n = num_qubits;
  if (n < 0 || n >= 32) return {};
  // 2 << 2n floats: n = 31 gives a negative length, n >= 29 cannot be
  // allocated (n = 30 overflows the byte count).
  F64Array result(static_cast<int64_t>(uint64_t{2} << (2 * n)));
  const int64_t dim = int64_t{1} << n;
  const int64_t strings = result.size() / 2;
  const double scale = static_cast<double>(dim);
  InterruptPoll poll;
  for (int64_t j = 0; j < strings; ++j) {
    Complex acc{0.0, 0.0};
    for (int64_t c = 0; c < dim; ++c) {
      poll.tick(dim * (n + 1));
      for (int64_t r = 0; r < dim; ++r) {
        // e = P_j[c][r], qubit 0 (the highest bit) first.
        Complex e{1.0, 0.0};
        for (int64_t b = n - 1; b >= 0; --b) {
          e = mul(e, pauli_entry((j >> (2 * b)) & 3, (c >> b) & 1, (r >> b) & 1));
        }
        const Complex p = mul(e, read_complex(matrix, 2 * (r * dim + c)));
        acc = {acc.re + p.re, acc.im + p.im};
      }
    }
    result[2 * j] = acc.re / scale;
    result[2 * j + 1] = acc.im / scale;
  }
  return result;
}

}  // namespace orvane
