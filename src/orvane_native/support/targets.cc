#include "orvane_native/support/targets.h"

#include <algorithm>
#include <vector>

namespace orvane {

void validate_targets(I64Span targets, int64_t num_qubits) {
  for (int64_t t : targets) {
    if (t < 0 || t >= num_qubits) {
      panic("target out of range: " + std::to_string(t) + " (num_qubits " +
            std::to_string(num_qubits) + ")");
    }
  }
  // Targets are distinct qubits below num_qubits; a small list is checked
  // pairwise, a long one through a sorted copy.
  const int64_t k = targets.size();
  if (k <= 16) {
    for (int64_t i = 1; i < k; ++i)
      for (int64_t j = 0; j < i; ++j)
        if (targets[i] == targets[j]) panic("duplicate target: " + std::to_string(targets[i]));
    return;
  }
  std::vector<int64_t> sorted(targets.begin(), targets.end());
  std::sort(sorted.begin(), sorted.end());
  auto dup = std::adjacent_find(sorted.begin(), sorted.end());
  if (dup != sorted.end()) panic("duplicate target: " + std::to_string(*dup));
}

TargetOffsets target_offsets(I64Span targets, int64_t n, int64_t d) {
  TargetOffsets t;
  const int64_t k = targets.size();
  t.off.assign(static_cast<size_t>(d > 0 ? d : 0), 0);
  for (int64_t r = 0; r < d; ++r) {
    int64_t o = 0;
    for (int64_t m = 0; m < k; ++m)
      if ((r >> (k - 1 - m)) & 1) o |= pow2(n - 1 - targets[m]);
    t.off[static_cast<size_t>(r)] = o;
    t.mask |= o;
  }
  return t;
}

void require_length(const char* what, int64_t len, int64_t need) {
  if (len < need) {
    panic(std::string(what) + " too short: " + std::to_string(len) + " floats, need " +
          std::to_string(need));
  }
}

}  // namespace orvane
