// Buffer-backed fields: fixed-size arrays whose storage sits behind a
// header (live view count, capacity in bytes, where the block starts), so
// the header can be found from the data pointer alone. The data starts on a
// kFieldAlignment boundary. The storage comes from a pluggable
// zero-filling allocator: the extension module installs the host's
// allocator; native unit tests use the C library's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "orvane_native/support/array.h"

namespace orvane {

struct FieldAllocator {
  void* (*calloc)(size_t count, size_t size);
  void (*free)(void* block);
};

// Installs the allocator used by every field created afterwards.
void set_field_allocator(FieldAllocator allocator);
FieldAllocator field_allocator();

struct FieldHeader {
  int64_t views;
  int64_t capacity_bytes;
  int64_t block_offset;  // bytes from the allocated block to the data
};

// Data starts on a pair of cache lines (the pair the hardware fetches
// together): a kernel's runs of amplitudes then fill whole lines, where a
// run that straddled a line boundary would cost a line more of traffic.
constexpr size_t kFieldAlignment = 128;

// buffer_new_backing: a zero-filled block of the header plus `bytes` bytes;
// returns the data part. Throws std::bad_alloc when it cannot be allocated.
void* buffer_new_backing(size_t bytes);
// buffer_free: frees the whole block (header included); null is a no-op.
void buffer_free(void* data);
void buffer_views_incr(void* data);
void buffer_views_decr(void* data);
int64_t buffer_views(const void* data);

template <class T>
class Field {
 public:
  Field() = default;
  // `count` zeroed elements; count <= 0 gives an empty field (no storage).
  explicit Field(int64_t count) {
    if (count <= 0) return;
    data_ = static_cast<T*>(buffer_new_backing(checked_bytes(count, sizeof(T), sizeof(FieldHeader))
                                               - sizeof(FieldHeader)));
    size_ = count;
  }
  Field(Field&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  Field& operator=(Field&& o) noexcept {
    if (this != &o) {
      buffer_free(data_);
      data_ = std::exchange(o.data_, nullptr);
      size_ = std::exchange(o.size_, 0);
    }
    return *this;
  }
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;
  ~Field() { buffer_free(data_); }

  T* data() const { return data_; }
  int64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](int64_t i) const { return data_[i]; }
  Span<T> mut() const { return {data_, size_}; }
  Span<const T> span() const { return {data_, size_}; }

 private:
  T* data_ = nullptr;
  int64_t size_ = 0;
};

}  // namespace orvane
