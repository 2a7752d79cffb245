#include "orvane_native/support/undo_log.h"

#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <mutex>

#include "orvane_native/support/huge_pages.h"

namespace orvane {
namespace {

constexpr size_t kHuge = kHugePageBytes;
constexpr size_t kPage = size_t{1} << 12;

// The spare mapping, free for the next log (null when a log holds it or
// none was made yet). Calls are serialised by the interpreter lock; the
// mutex keeps native callers on several threads safe too.
std::mutex g_spare_mutex;
void* g_spare = nullptr;
size_t g_spare_bytes = 0;

double* aligned_start(void* map) {
  return reinterpret_cast<double*>((reinterpret_cast<uintptr_t>(map) + kHuge - 1) & ~(uintptr_t{kHuge} - 1));
}

}  // namespace

UndoLog::UndoLog(size_t floats) {
  if (floats == 0 || floats > (SIZE_MAX - kHuge) / sizeof(double)) return;
  const size_t bytes = floats * sizeof(double) + kHuge;  // room to start on a 2 MiB boundary
  {
    const std::lock_guard<std::mutex> lock(g_spare_mutex);
    if (g_spare != nullptr && g_spare_bytes >= bytes) {
      map_ = g_spare;
      map_bytes_ = g_spare_bytes;
      g_spare = nullptr;
      g_spare_bytes = 0;
    } else if (g_spare != nullptr) {
      // Too small for this log: give it back before mapping a larger one.
      munmap(g_spare, g_spare_bytes);
      g_spare = nullptr;
      g_spare_bytes = 0;
    }
  }
  if (map_ == nullptr) {
    void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return;
    map_ = m;
    map_bytes_ = bytes;
    advise_huge_pages(aligned_start(m), floats * sizeof(double));
  }
  data_ = aligned_start(map_);
  capacity_ = floats;
}

UndoLog::~UndoLog() {
  if (map_ == nullptr) return;
  if (size_ > 0) {
    const size_t used = (size_ * sizeof(double) + kPage - 1) & ~(kPage - 1);
#ifdef MADV_FREE
    if (madvise(data_, used, MADV_FREE) != 0) madvise(data_, used, MADV_DONTNEED);
#else
    madvise(data_, used, MADV_DONTNEED);
#endif
  }
  const std::lock_guard<std::mutex> lock(g_spare_mutex);
  if (g_spare == nullptr) {
    g_spare = map_;
    g_spare_bytes = map_bytes_;
  } else {
    munmap(map_, map_bytes_);  // another log returned one first; keep that
  }
}

void UndoLog::append(const double* src, size_t count) {
  double* dst = data_ + size_;
  size_t i = 0;
#if defined(__SSE2__)
  if (size_ % 2 == 0) {  // dst is then 16-byte aligned
    for (; i + 2 <= count; i += 2) _mm_stream_pd(dst + i, _mm_loadu_pd(src + i));
    _mm_sfence();
  }
#endif
  for (; i < count; ++i) dst[i] = src[i];
  size_ += count;
}

}  // namespace orvane
