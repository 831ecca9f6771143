#include "support/memmgr.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "support/address_limit.h"
#include "support/log.h"

namespace vorlan::support {
namespace {

using vorlan::testing::LimitAddressSpace;

bool AllZero(const void* p, std::size_t n) {
  auto* b = static_cast<const uint8_t*>(p);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void MessagesToStderr() {
  LogSetMessageHandler([](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  });
}

// Run in death-test children: each returns the child's exit code, 0 when the failure
// behaved as expected.
int HeapInitUnderLimit() {
  MessagesToStderr();
  LogParams disabled{nullptr, nullptr, kLogCreate, 0};
  LogOpen(&disabled);
  LimitAddressSpace(64 * 1024);
  MemMgr heap;
  return heap.InitMemMgr("KeyImport") == 0 && !heap.Exists() ? 0 : 1;
}

int ArenaInitUnderLimit(const std::string& path) {
  LogParams params{path.c_str(), nullptr, kLogCreate, kLogEnabled};
  if (LogOpen(&params) != 1) return 2;
  LimitAddressSpace(1 << 20);
  OutputArena arena;
  bool failed = !arena.Init() && arena.ArenaCursor() == nullptr;
  LogClose();
  return failed ? 0 : 1;
}

TEST(MemMgr, BlocksAreZeroAlignedAndDisjoint) {
  MemMgr heap;
  EXPECT_EQ(heap.MemAlloc(16), nullptr) << "no heap yet";
  ASSERT_EQ(heap.InitMemMgr("KeyImport"), 1);
  EXPECT_EQ(heap.MemAlloc(0), nullptr);
  EXPECT_EQ(heap.BytesInUse(), 0u);

  std::mt19937 rng(7);
  struct Live {
    uint8_t* p;
    std::size_t n;
    uint8_t fill;
  };
  std::vector<Live> live;
  for (int round = 0; round < 3000; ++round) {
    if (!live.empty() && rng() % 3 == 0) {
      // Free a random block, dirty as it is, so later allocations reuse it.
      std::size_t i = rng() % live.size();
      heap.MemFree(live[i].p);
      live[i] = live.back();
      live.pop_back();
      continue;
    }
    std::size_t n = rng() % 8 == 0 ? 1 + rng() % 200000 : 1 + rng() % 3000;
    auto* p = static_cast<uint8_t*>(heap.MemAlloc(n));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    ASSERT_TRUE(AllZero(p, n)) << "block " << round << " of " << n << " bytes";
    uint8_t fill = static_cast<uint8_t>(1 + round % 255);
    std::memset(p, fill, n);
    live.push_back({p, n, fill});
  }
  for (const Live& b : live)
    for (std::size_t i = 0; i < b.n; ++i) ASSERT_EQ(b.p[i], b.fill) << "blocks overlap";
  heap.MemFree(nullptr);
  EXPECT_EQ(heap.ReleaseMemMgr(), 1);
}

TEST(MemMgr, ReleaseFreesEverythingAndLogs) {
  std::string path = ::testing::TempDir() + "vorlan_memmgr_" + std::to_string(::getpid()) + ".log";
  LogParams params{path.c_str(), nullptr, kLogCreate, kLogEnabled};
  ASSERT_EQ(LogOpen(&params), 1);
  {
    MemMgr heap;
    ASSERT_EQ(heap.InitMemMgr("ZefImport"), 1);
    for (int i = 0; i < 100; ++i) ASSERT_NE(heap.MemAlloc(100 + 1000 * i), nullptr);
    EXPECT_GT(heap.BytesInUse(), 0u);
    EXPECT_EQ(heap.ReleaseMemMgr(), 1);
    EXPECT_EQ(heap.BytesInUse(), 0u);
    EXPECT_FALSE(heap.Exists());
    EXPECT_EQ(heap.MemAlloc(8), nullptr);
    EXPECT_EQ(heap.ReleaseMemMgr(), 0) << "there is no heap left to release";
  }
  LogClose();
  EXPECT_EQ(ReadFile(path),
            "Info:\tMemMgr: Init OK\n"
            "Info:\tMemMgr: Release OK\n"
            "Error:\tMemMgr: Release Failed!\n");
  std::remove(path.c_str());
}

TEST(MemMgrDeathTest, InitFailureIsLoggedAndShown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(HeapInitUnderLimit()), ::testing::ExitedWithCode(0),
              "\\[Error\\] KeyImport::InitMemMgr\\(\\) failed!");
}

TEST(OutputArena, GrowsInPlaceAndKeepsEarlierPointers) {
  OutputArena arena;
  EXPECT_EQ(arena.ArenaCursor(), nullptr);
  ASSERT_TRUE(arena.Init());
  uint8_t* base = arena.ArenaCursor();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(arena.Committed(), OutputArena::kInitialCommit);

  // A record head written first and patched later, as the exporters do.
  uint8_t* head = arena.ArenaReserve(8);
  ASSERT_EQ(head, base);
  std::memcpy(head, "HEAD", 4);
  EXPECT_EQ(arena.ArenaAdvance(8), base + 8);

  // Fill well past the first 16 MiB in records of 1 MiB.
  for (int i = 0; i < 40; ++i) {
    uint8_t* rec = arena.ArenaReserve(1 << 20);
    ASSERT_NE(rec, nullptr);
    ASSERT_TRUE(AllZero(rec, 1 << 20));
    std::memset(rec, i + 1, 1 << 20);
    ASSERT_EQ(arena.ArenaAdvance(1 << 20), rec + (1 << 20));
  }
  EXPECT_EQ(arena.Offset(), 8u + 40u * (1u << 20));
  EXPECT_GE(arena.Committed(), arena.Offset());
  EXPECT_EQ(arena.Base(), base) << "growth never moves the arena";
  EXPECT_EQ(std::memcmp(head, "HEAD", 4), 0);
  EXPECT_EQ(arena.Written().size(), arena.Offset());
  EXPECT_EQ(arena.Written()[8 + (39u << 20)], 40);

  // A size that cannot fit is refused without moving the offset.
  uint32_t before = arena.Offset();
  EXPECT_EQ(arena.ArenaReserve(std::size_t(1) << 33), nullptr);
  EXPECT_EQ(arena.ArenaAdvance(std::size_t(1) << 33), nullptr);
  EXPECT_EQ(arena.Offset(), before);
  EXPECT_TRUE(arena.Failed());

  EXPECT_TRUE(arena.Release());
  EXPECT_EQ(arena.ArenaCursor(), nullptr);
  EXPECT_TRUE(arena.Release());
}

TEST(OutputArenaDeathTest, InitFailureIsLoggedAtCritical) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Not named after the pid: the threadsafe death-test child is a new process.
  std::string path = ::testing::TempDir() + "vorlan_arena_init_failure.log";
  EXPECT_EXIT(std::_Exit(ArenaInitUnderLimit(path)), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(path), "Critical ERROR:\tMemMgr: Init Failed!\n");
  std::remove(path.c_str());
}

TEST(PageBlocks, SizesAreWholePages) {
  std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  EXPECT_EQ(PageAlloc(0), nullptr);
  void* a = PageAlloc(1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(PageSize(a), page);
  EXPECT_TRUE(AllZero(a, page));
  void* b = PageAlloc(page + 1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PageSize(b), 2 * page);
  int local = 0;
  EXPECT_EQ(PageSize(&local), 0u);
  EXPECT_EQ(PageSize(nullptr), 0u);
  EXPECT_EQ(PageFree(&local), 0);
  EXPECT_EQ(PageFree(nullptr), 0);
  EXPECT_NE(PageFree(a), 0);
  EXPECT_EQ(PageFree(a), 0) << "a freed block is unknown";
  EXPECT_NE(PageFree(b), 0);
}

TEST(PageBlocks, ReallocCopiesWholePagesWhenGrowingAndOnlyTheNewSizeWhenShrinking) {
  std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  auto* a = static_cast<uint8_t*>(PageAlloc(100));
  ASSERT_NE(a, nullptr);
  // The whole committed page belongs to the block, not just the 100 bytes asked for.
  for (std::size_t i = 0; i < page; ++i) a[i] = static_cast<uint8_t>(i * 7 + 1);

  auto* grown = static_cast<uint8_t*>(PageRealloc(a, 3 * page));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(PageSize(a), 0u) << "the old block is freed";
  EXPECT_EQ(PageSize(grown), 3 * page);
  for (std::size_t i = 0; i < page; ++i) ASSERT_EQ(grown[i], static_cast<uint8_t>(i * 7 + 1)) << i;
  EXPECT_TRUE(AllZero(grown + page, 2 * page));

  for (std::size_t i = 0; i < 3 * page; ++i) grown[i] = 0xAB;
  auto* shrunk = static_cast<uint8_t*>(PageRealloc(grown, 10));
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(PageSize(shrunk), page);
  for (std::size_t i = 0; i < 10; ++i) ASSERT_EQ(shrunk[i], 0xAB);
  EXPECT_TRUE(AllZero(shrunk + 10, page - 10)) << "only the new size is copied";

  EXPECT_EQ(PageRealloc(shrunk, 0), nullptr);
  EXPECT_EQ(PageSize(shrunk), page) << "a failed realloc leaves the old block alone";
  int local = 0;
  EXPECT_EQ(PageRealloc(&local, 10), nullptr) << "an unknown block cannot be freed";
  void* fresh = PageRealloc(nullptr, 10);
  EXPECT_EQ(PageSize(fresh), page);
  EXPECT_NE(PageFree(fresh), 0);
  EXPECT_NE(PageFree(shrunk), 0);
}

TEST(PageBlocksDeathTest, ReadOnlyBlocksRefuseWrites) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto* p = static_cast<volatile uint8_t*>(PageAlloc(64));
  ASSERT_NE(p, nullptr);
  p[0] = 5;
  ASSERT_TRUE(PageProtect(const_cast<uint8_t*>(p), true));
  EXPECT_EQ(p[0], 5) << "still readable";
  EXPECT_DEATH(p[1] = 1, "");
  ASSERT_TRUE(PageProtect(const_cast<uint8_t*>(p), false));
  p[1] = 1;
  EXPECT_FALSE(PageProtect(nullptr, true));
  EXPECT_NE(PageFree(const_cast<uint8_t*>(p)), 0);
}

}  // namespace
}  // namespace vorlan::support
