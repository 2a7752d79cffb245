#include "orvane_native/density/undo_log.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "orvane_native/support/huge_pages.h"

namespace orvane {
namespace {

constexpr size_t kHuge = kHugePageBytes;

#if defined(__linux__)
constexpr size_t kPage = size_t{1} << 12;

// Anonymous memory straight from the kernel: huge pages can be asked for,
// and written pages handed back without giving up the mapping.
void* map_block(size_t bytes) {
  void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return m == MAP_FAILED ? nullptr : m;
}
void unmap_block(void* map, size_t bytes) { munmap(map, bytes); }
void release_written(double* data, size_t floats) {
  const size_t used = (floats * sizeof(double) + kPage - 1) & ~(kPage - 1);
#ifdef MADV_FREE
  if (madvise(data, used, MADV_FREE) != 0) madvise(data, used, MADV_DONTNEED);
#else
  madvise(data, used, MADV_DONTNEED);
#endif
}
#else
// Elsewhere a plain allocation: the pages stay with the process.
void* map_block(size_t bytes) { return std::malloc(bytes); }
void unmap_block(void* map, size_t) { std::free(map); }
void release_written(double*, size_t) {}
#endif

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
      unmap_block(g_spare, g_spare_bytes);
      g_spare = nullptr;
      g_spare_bytes = 0;
    }
  }
  if (map_ == nullptr) {
    void* m = map_block(bytes);
    if (m == nullptr) return;
    map_ = m;
    map_bytes_ = bytes;
    advise_huge_pages(aligned_start(m), floats * sizeof(double));
  }
  data_ = aligned_start(map_);
  capacity_ = floats;
}

UndoLog::~UndoLog() {
  if (map_ == nullptr) return;
  if (size_ > 0) release_written(data_, size_);
  const std::lock_guard<std::mutex> lock(g_spare_mutex);
  if (g_spare == nullptr) {
    g_spare = map_;
    g_spare_bytes = map_bytes_;
  } else {
    unmap_block(map_, map_bytes_);  // another log returned one first; keep that
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
