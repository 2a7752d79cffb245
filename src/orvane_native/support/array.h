// Flat arrays of the core: Span (a borrowed view) and Array (an owned,
// zero-filled, fixed-size block). get/set are bounds-checked and fail with
// the runtime's exact messages; operator[] is unchecked and is only used by
// kernels whose sizes were validated up front.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "orvane_native/support/panic.h"

namespace orvane {

template <class T>
class Span {
 public:
  Span() = default;
  Span(T* data, int64_t size) : data_(data), size_(size) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Span(Span<U> other) : data_(other.data()), size_(other.size()) {}

  T* data() const { return data_; }
  int64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](int64_t i) const { return data_[i]; }
  T* begin() const { return data_; }
  T* end() const { return data_ + size_; }

  std::remove_const_t<T> get(int64_t i) const {
    if (i < 0 || i >= size_) panic_bounds_get(i, size_);
    return data_[i];
  }
  void set(int64_t i, std::remove_const_t<T> v) const {
    static_assert(!std::is_const_v<T>, "cannot write through a read-only span");
    if (i < 0 || i >= size_) panic_bounds_set(i, size_);
    data_[i] = v;
  }

 private:
  T* data_ = nullptr;
  int64_t size_ = 0;
};

using F64Span = Span<const double>;
using I64Span = Span<const int64_t>;

// Bytes needed for `count` elements of `size` bytes plus `extra`, or throws
// std::bad_alloc when the product cannot be represented.
inline size_t checked_bytes(int64_t count, size_t size, size_t extra = 0) {
  const auto limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (count < 0 || static_cast<uint64_t>(count) > (limit - extra) / size) throw std::bad_alloc();
  return static_cast<size_t>(count) * size + extra;
}

template <class T>
class Array {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Array() = default;
  // A zero-filled array of n elements; n < 0 is the "negative .len:" failure.
  explicit Array(int64_t n) {
    if (n < 0) panic_negative_length(n);
    if (n == 0) return;
    const size_t bytes = checked_bytes(n, sizeof(T));
    // glibc's calloc bypasses the per-thread cache that malloc serves small
    // blocks from; small results (the small-matrix calls') come from that
    // cache and are cleared here. Large ones keep calloc's fresh zero pages.
    if (bytes <= kCachedBytes) {
      data_ = static_cast<T*>(std::malloc(bytes));
      if (data_ != nullptr) std::memset(data_, 0, bytes);
    } else {
      data_ = static_cast<T*>(std::calloc(1, bytes));
    }
    if (data_ == nullptr) throw std::bad_alloc();
    size_ = n;
  }
  static Array copy_of(Span<const T> s) {
    Array a(s.size());
    if (s.size() > 0) std::memcpy(a.data_, s.data(), static_cast<size_t>(s.size()) * sizeof(T));
    return a;
  }
  Array(Array&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  Array& operator=(Array&& o) noexcept {
    if (this != &o) {
      std::free(data_);
      data_ = std::exchange(o.data_, nullptr);
      size_ = std::exchange(o.size_, 0);
    }
    return *this;
  }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  ~Array() { std::free(data_); }

  T* data() { return data_; }
  const T* data() const { return data_; }
  int64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](int64_t i) { return data_[i]; }
  const T& operator[](int64_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  T get(int64_t i) const { return span().get(i); }
  void set(int64_t i, T v) { mut().set(i, v); }

  Span<const T> span() const { return {data_, size_}; }
  Span<T> mut() { return {data_, size_}; }
  operator Span<const T>() const { return span(); }

 private:
  static constexpr size_t kCachedBytes = 1024;
  T* data_ = nullptr;
  int64_t size_ = 0;
};

using F64Array = Array<double>;
using I64Array = Array<int64_t>;
// Integer results whose every entry is 0 or 1 (flat tableaux), a byte each:
// an eighth of the memory to fill and to read back.
using BitArray = Array<uint8_t>;

// 2^n in 64-bit arithmetic: a shift count outside 0..63 (negative n
// included) gives 0; n = 63 gives the wrapped (negative) value.
inline int64_t pow2(int64_t n) {
  if (n < 0 || n > 63) return 0;
  return static_cast<int64_t>(uint64_t{1} << n);
}

// x << n with the same rule for the shift count.
inline int64_t shl(int64_t x, int64_t n) {
  if (n < 0 || n > 63) return 0;
  return static_cast<int64_t>(static_cast<uint64_t>(x) << n);
}

}  // namespace orvane
