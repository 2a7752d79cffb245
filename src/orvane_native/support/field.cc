#include "orvane_native/support/field.h"

#include <cstdint>

#include "orvane_native/support/huge_pages.h"

namespace orvane {
namespace {

FieldAllocator g_allocator{&std::calloc, &std::free};

FieldHeader* header_of(const void* data) {
  return reinterpret_cast<FieldHeader*>(const_cast<char*>(static_cast<const char*>(data)) -
                                        sizeof(FieldHeader));
}

}  // namespace

void set_field_allocator(FieldAllocator allocator) { g_allocator = allocator; }
FieldAllocator field_allocator() { return g_allocator; }

void* buffer_new_backing(size_t bytes) {
  constexpr size_t kExtra = sizeof(FieldHeader) + kFieldAlignment;
  if (bytes > SIZE_MAX - kExtra) throw std::bad_alloc();
  void* block = g_allocator.calloc(1, bytes + kExtra);
  if (block == nullptr) throw std::bad_alloc();
  // Before the kernels first touch the pages: a large zero-filled block is
  // fresh from the system and not yet backed.
  advise_huge_pages(block, bytes + kExtra);
  const auto start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t data = (start + sizeof(FieldHeader) + kFieldAlignment - 1) & ~uintptr_t{kFieldAlignment - 1};
  auto* header = reinterpret_cast<FieldHeader*>(data - sizeof(FieldHeader));
  header->views = 0;
  header->capacity_bytes = static_cast<int64_t>(bytes);
  header->block_offset = static_cast<int64_t>(data - start);
  return reinterpret_cast<void*>(data);
}

void buffer_free(void* data) {
  if (data != nullptr) g_allocator.free(static_cast<char*>(data) - header_of(data)->block_offset);
}

void buffer_views_incr(void* data) {
  if (data != nullptr) header_of(data)->views += 1;
}

void buffer_views_decr(void* data) {
  if (data != nullptr && header_of(data)->views > 0) header_of(data)->views -= 1;
}

int64_t buffer_views(const void* data) { return data == nullptr ? 0 : header_of(data)->views; }

}  // namespace orvane
