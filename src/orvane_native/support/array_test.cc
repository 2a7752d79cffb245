#include "orvane_native/support/array.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvane_native/support/field.h"
#include "orvane_native/support/testing.h"

namespace orvane {
namespace {

using testing::message_of;

TEST(Array, ZeroFilledAndChecked) {
  F64Array a(3);
  EXPECT_EQ(a.size(), 3);
  for (double v : a) EXPECT_EQ(v, 0.0);
  a.set(2, 1.5);
  EXPECT_EQ(a.get(2), 1.5);
  EXPECT_EQ(message_of([&] { a.get(3); }), "array.get: index out of range (i,a.len):3, 3");
  EXPECT_EQ(message_of([&] { a.set(-1, 0.0); }), "array.set: index out of range (i,a.len):-1, 3");
}

TEST(Array, NegativeAndHugeLengths) {
  EXPECT_EQ(message_of([] { F64Array a(-4); }), "negative .len:-4");
  EXPECT_THROW(F64Array(int64_t{1} << 61), std::bad_alloc);
  EXPECT_TRUE(F64Array(0).empty());
}

TEST(Pow2, ShiftCountsOutsideRangeGiveZero) {
  EXPECT_EQ(pow2(0), 1);
  EXPECT_EQ(pow2(62), int64_t{1} << 62);
  EXPECT_LT(pow2(63), 0);
  EXPECT_EQ(pow2(64), 0);
  EXPECT_EQ(pow2(-1), 0);
  EXPECT_EQ(shl(2, 62), 0 - 0 + static_cast<int64_t>(uint64_t{2} << 62));
}

TEST(Field, HeaderCountsViews) {
  Field<double> f(4);
  ASSERT_EQ(f.size(), 4);
  EXPECT_EQ(buffer_views(f.data()), 0);
  buffer_views_incr(f.data());
  buffer_views_incr(f.data());
  buffer_views_decr(f.data());
  EXPECT_EQ(buffer_views(f.data()), 1);
  buffer_views_decr(f.data());
  buffer_views_decr(f.data());
  EXPECT_EQ(buffer_views(f.data()), 0);
  EXPECT_TRUE(Field<double>(0).empty());
  EXPECT_TRUE(Field<double>(-3).empty());
  EXPECT_THROW(Field<double>(int64_t{1} << 61), std::bad_alloc);
}

// Blocks handed out and taken back by the recording allocator below.
std::vector<void*> g_allocated, g_freed;

void* recording_calloc(size_t count, size_t size) {
  void* p = std::calloc(count, size);
  g_allocated.push_back(p);
  return p;
}

void recording_free(void* p) {
  g_freed.push_back(p);
  std::free(p);
}

TEST(Field, DataAlignedAndWholeBlockFreed) {
  const FieldAllocator before = field_allocator();
  set_field_allocator({&recording_calloc, &recording_free});
  g_allocated.clear();
  g_freed.clear();
  for (const int64_t n : {1, 3, 16, 1000, 1 << 20}) {
    Field<double> f(n);
    ASSERT_EQ(f.size(), n);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f.data()) % kFieldAlignment, 0u) << n;
    for (int64_t i = 0; i < n; i += 97) ASSERT_EQ(f[i], 0.0);
    f[n - 1] = 1.0;  // the last element lies inside the block
    buffer_views_incr(f.data());
    EXPECT_EQ(buffer_views(f.data()), 1);
    buffer_views_decr(f.data());
  }
  set_field_allocator(before);
  // Every block went back to the allocator as the pointer it gave out.
  EXPECT_EQ(g_allocated.size(), 5u);
  EXPECT_EQ(g_freed, g_allocated);
}

// The VmFlags of the mapping that holds `p`, from /proc/self/smaps; empty
// when there is no such file or mapping.
std::string vm_flags_at(const void* p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(p);
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    uintptr_t lo = 0, hi = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> lo >> dash >> hi && dash == '-' && line.find(':') > line.find(' ')) {
      inside = lo <= at && at < hi;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

// Whether huge-page advice reaches the kernel here: a user-mode emulator
// (qemu-user) accepts madvise but does not pass it on.
bool advice_shows_in_smaps() {
  constexpr size_t kBytes = size_t{8} << 20, kHuge = size_t{2} << 20;
  void* m = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return false;
  const uintptr_t inner = (reinterpret_cast<uintptr_t>(m) + kHuge - 1) & ~(uintptr_t{kHuge} - 1);
  const bool shown = madvise(reinterpret_cast<void*>(inner), kHuge, MADV_HUGEPAGE) == 0 &&
                     vm_flags_at(reinterpret_cast<const void*>(inner)).find(" hg") != std::string::npos;
  munmap(m, kBytes);
  return shown;
}

TEST(Field, LargeBlocksAskForHugePages) {
  if (!std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) GTEST_SKIP() << "no transparent huge pages";
  if (!advice_shows_in_smaps()) GTEST_SKIP() << "huge-page advice does not reach the kernel here (an emulator?)";
  // 8 MiB: the whole 2 MiB pages inside it are advised, and still read as zeros.
  Field<double> big(int64_t{1} << 20);
  const uintptr_t inner = (reinterpret_cast<uintptr_t>(big.data()) + (uintptr_t{2} << 20)) & ~((uintptr_t{2} << 20) - 1);
  const std::string flags = vm_flags_at(reinterpret_cast<const void*>(inner));
  ASSERT_FALSE(flags.empty());
  EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
  for (int64_t i = 0; i < big.size(); i += 4096) ASSERT_EQ(big[i], 0.0);
  // A small block is left alone.
  Field<double> small(64);
  EXPECT_EQ(vm_flags_at(small.data()).find(" hg"), std::string::npos);
}

}  // namespace
}  // namespace orvane
