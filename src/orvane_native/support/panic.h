// Core failures. Every fatal problem inside the core is a thrown Panic
// carrying the exact message that the binding layer shows to Python
// ("panic in Kelvo code: " + message). std::bad_alloc stands for
// "memory allocation failure".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvane {

inline constexpr const char* kAllocationFailure = "memory allocation failure";

class Panic : public std::runtime_error {
 public:
  explicit Panic(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] inline void panic(const std::string& message) { throw Panic(message); }

[[noreturn]] inline void panic_bounds_get(int64_t index, int64_t length) {
  panic("array.get: index out of range (i,a.len):" + std::to_string(index) + ", " +
        std::to_string(length));
}

[[noreturn]] inline void panic_bounds_set(int64_t index, int64_t length) {
  panic("array.set: index out of range (i,a.len):" + std::to_string(index) + ", " +
        std::to_string(length));
}

[[noreturn]] inline void panic_negative_length(int64_t length) {
  panic("negative .len:" + std::to_string(length));
}

[[noreturn]] inline void panic_slice(int64_t end, int64_t length) {
  panic("array.slice: slice bounds out of range (" + std::to_string(end) + " >= " +
        std::to_string(length) + ")");
}

}  // namespace orvane
