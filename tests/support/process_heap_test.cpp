// Memory a large scene frees goes back to the system even after a very large block was freed
// earlier (which raises the C library's own limits).
#include "support/process_heap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLAN_HEAP_REPLACED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VORLAN_HEAP_REPLACED 1
#endif

namespace vorlan::support {
namespace {

TEST(ProcessHeap, FreedSmallBlocksLeaveAfterALargeBlockWasFreed) {
#if !defined(__GLIBC__) || defined(VORLAN_HEAP_REPLACED)
  GTEST_SKIP() << "the C library's own heap is not in use";
#else
  ReturnFreedHeapPromptly();
  // A file's lists freed before the output is built: first one large block...
  void* large = std::malloc(std::size_t{16} << 20);
  ASSERT_NE(large, nullptr);
  static_cast<volatile char*>(large)[0] = 1;
  std::free(large);
  // ...then many small ones, freed together.
  std::vector<void*> blocks;
  for (int i = 0; i < 8192; ++i) {
    blocks.push_back(std::malloc(2000));
    static_cast<volatile char*>(blocks.back())[0] = 1;
  }
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) std::free(*it);
  // What the heap keeps at its top, unused, stays near the 1 MiB limit instead of the 16 MB.
  EXPECT_LT(mallinfo2().keepcost, std::size_t{2} << 20);
#endif
}

}  // namespace
}  // namespace vorlan::support
