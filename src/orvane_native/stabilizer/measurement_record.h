// The measurement record that clifford_run returns. Outcomes are 0 or 1, and
// stay so after the invert mask whenever every mask entry is 0 or 1; such a
// record is kept a byte per entry (an eighth of the memory to fill, to read
// back and to leave to the allocator), any other one as whole integers.
#pragma once

#include <cstdint>
#include <new>

#include "orvane_native/support/array.h"

namespace orvane {

struct MeasurementRecord {
  bool wide = false;  // the entries are in `integers`, else in `bits`
  BitArray bits;
  I64Array integers;

  int64_t size() const { return wide ? integers.size() : bits.size(); }
  int64_t operator[](int64_t i) const { return wide ? integers[i] : int64_t{bits[i]}; }
};

// True when xoring 0 or 1 with every entry of the mask gives 0 or 1.
inline bool mask_keeps_bits(I64Span invert_mask) {
  for (int64_t k = 0; k < invert_mask.size(); ++k) {
    if ((invert_mask[k] & ~int64_t{1}) != 0) return false;
  }
  return true;
}

// The record of m * repetitions zeros for a sampler (negative lengths are
// the "negative .len:" failure, unrepresentable ones std::bad_alloc; a
// record of bytes fails at the same sizes as one of whole integers).
inline MeasurementRecord new_measurement_record(int64_t m, int64_t repetitions, I64Span invert_mask) {
  int64_t len = 0;
  if (__builtin_mul_overflow(m, repetitions, &len)) throw std::bad_alloc();
  MeasurementRecord record;
  record.wide = !mask_keeps_bits(invert_mask);
  if (record.wide) {
    record.integers = I64Array(len);
  } else {
    if (len > 0) checked_bytes(len, sizeof(int64_t));
    record.bits = BitArray(len);
  }
  return record;
}

}  // namespace orvane
