// The general channel kernel's undo log: the rows of rho a long channel has
// overwritten, kept so that an interruption can put them back.
#pragma once

#include <cstddef>

namespace orvane {

// Room for `floats` doubles, filled in order. The log is as large as rho and
// written once per call, so its storage is a mapping in 2 MiB pages (where
// the system offers them) that outlives the call: the process keeps one
// spare mapping, and each log takes it when it is free and large enough.
// Mapping a fresh one for every call would have the kernel zero every page
// first, which costs about as much as the channel's arithmetic. When a log
// is done its written pages are released lazily (MADV_FREE): the kernel
// reclaims them if memory runs short, and otherwise the next log writes
// over them without a fault. Off Linux the storage is a plain allocation,
// kept the same way. Not ready (no room) when the memory cannot be had.
class UndoLog {
 public:
  explicit UndoLog(size_t floats);
  UndoLog(const UndoLog&) = delete;
  UndoLog& operator=(const UndoLog&) = delete;
  ~UndoLog();

  bool ready() const { return capacity_ > 0; }
  size_t size() const { return size_; }
  const double* data() const { return data_; }
  // The caller keeps within the capacity. The log is read back only after
  // an interruption, so it is written past the caches: the rows being
  // saved stay cached for the arithmetic that follows.
  void append(const double* src, size_t count);

 private:
  void* map_ = nullptr;
  size_t map_bytes_ = 0;
  double* data_ = nullptr;
  size_t capacity_ = 0, size_ = 0;
};

}  // namespace orvane
