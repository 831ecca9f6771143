#include "support/page_backer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace vorlan::support {
namespace {

struct Region {
  explicit Region(std::size_t n) : bytes(n) {
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
  }
  ~Region() {
    if (base) ::munmap(base, bytes);
  }
  // Pages of [0, upTo) that are resident.
  std::size_t Resident(std::size_t upTo) const {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((upTo + page - 1) / page);
    if (::mincore(base, upTo, in.data()) != 0) return 0;
    std::size_t n = 0;
    for (unsigned char c : in) n += c & 1;
    return n;
  }
  uint8_t* base = nullptr;
  std::size_t bytes;
};

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(PageBacker, BacksWhatIsAsked) {
  Region r(32 * kMiB);
  ASSERT_NE(r.base, nullptr);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  {
    PageBacker backer(r.base, r.bytes, 0);
    if (!backer.Running()) GTEST_SKIP() << "no thread";
    backer.Ahead(8 * kMiB);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (r.Resident(8 * kMiB) < 8 * kMiB / page && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(r.Resident(8 * kMiB), 8 * kMiB / page);
  }
  EXPECT_LT(r.Resident(r.bytes), r.bytes / page);
  for (std::size_t i = 0; i < 8 * kMiB; i += 4093) ASSERT_EQ(r.base[i], 0) << i;
}

// A writer that runs ahead of the backer, behind it and beside it keeps every byte it wrote;
// asking past the region's end and stopping while a piece is being backed are harmless.
TEST(PageBacker, AWriterKeepsItsBytesWhateverThePace) {
  Region r(48 * kMiB);
  ASSERT_NE(r.base, nullptr);
  auto value = [](std::size_t i) { return static_cast<uint8_t>(i * 131 + (i >> 12)); };
  {
    PageBacker backer(r.base, r.bytes, 0);
    for (std::size_t at = 0; at < 40 * kMiB; at += kMiB / 4) {
      backer.Ahead(at + 2 * kMiB);
      for (std::size_t i = at; i < at + kMiB / 4; ++i) r.base[i] = value(i);
    }
    backer.Ahead(std::numeric_limits<std::size_t>::max());
  }
  for (std::size_t i = 0; i < 40 * kMiB; i += 61) ASSERT_EQ(r.base[i], value(i)) << i;
  for (std::size_t i = 40 * kMiB; i < r.bytes; i += 4093) ASSERT_EQ(r.base[i], 0) << i;
}

}  // namespace
}  // namespace vorlan::support
