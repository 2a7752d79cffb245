// Global operator new and delete of the extension in an AddressSanitizer
// build only.
//
// The core reports sizes that cannot be allocated through std::bad_alloc,
// which the panic guard turns into MemoryError. AddressSanitizer's own
// operator new does not throw: when an allocation fails it prints a report
// and ends the process, even with allocator_may_return_null=1. These
// replacements allocate through malloc, which the sanitizer still tracks
// and bounds-checks (and which returns NULL under allocator_may_return_null),
// and throw std::bad_alloc as the ordinary build does.
//
// These functions cannot be hidden (the compiler declares them with default
// visibility), so the sanitized build links the extension with
// -Bsymbolic-functions (see `./dev sanitize`): the extension's own calls then
// bind here rather than to the preloaded sanitizer runtime. The interpreter
// loads extensions with RTLD_LOCAL, so no other library sees them.
#if defined(__SANITIZE_ADDRESS__)

#include <cstdlib>
#include <new>

namespace {

void* allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

#endif  // __SANITIZE_ADDRESS__
