#include "orvane_native/support/field.h"

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
  if (bytes > SIZE_MAX - sizeof(FieldHeader)) throw std::bad_alloc();
  void* block = g_allocator.calloc(1, bytes + sizeof(FieldHeader));
  if (block == nullptr) throw std::bad_alloc();
  // Before the kernels first touch the pages: a large zero-filled block is
  // fresh from the system and not yet backed.
  advise_huge_pages(block, bytes + sizeof(FieldHeader));
  auto* header = static_cast<FieldHeader*>(block);
  header->views = 0;
  header->capacity_bytes = static_cast<int64_t>(bytes);
  return static_cast<char*>(block) + sizeof(FieldHeader);
}

void buffer_free(void* data) {
  if (data != nullptr) g_allocator.free(header_of(data));
}

void buffer_views_incr(void* data) {
  if (data != nullptr) header_of(data)->views += 1;
}

void buffer_views_decr(void* data) {
  if (data != nullptr && header_of(data)->views > 0) header_of(data)->views -= 1;
}

int64_t buffer_views(const void* data) { return data == nullptr ? 0 : header_of(data)->views; }

}  // namespace orvane
