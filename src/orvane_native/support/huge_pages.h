// Large arrays swept end to end (state vectors, density matrices) run
// faster on 2 MiB pages: fewer TLB misses, and the hardware prefetchers
// are not stopped at every 4 KiB boundary.
#pragma once

#include <cstddef>

namespace orvane {

// The size of a huge page on Linux with 4 KiB base pages (x86-64, most
// aarch64 systems).
inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// Asks the kernel for huge pages over the whole 2 MiB pages inside
// [data, data + bytes) where it supports that (Linux transparent huge
// pages); a no-op elsewhere, for small blocks, or when the advice is refused.
// Best used before the pages are first touched.
void advise_huge_pages(void* data, size_t bytes);

}  // namespace orvane
