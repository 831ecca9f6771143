// A mapped file shows exactly the file's bytes, whatever its size, and refuses what a whole-
// file read refuses, with the same messages.
#include "support/mapped_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

namespace vorlan::support {
namespace {

namespace fs = std::filesystem;

class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_mapped_XXXXXX";
    dir = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::vector<uint8_t> Noise(std::size_t n, unsigned seed) const {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  }
  std::string dir;
};

TEST_F(MappedFileTest, ShowsEveryByteOfFilesOfAnySize) {
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::size_t sizes[] = {0,
                               1,
                               std::size_t(page) - 1,
                               std::size_t(page),
                               std::size_t(page) + 1,
                               5 * std::size_t(page) + 17,
                               (std::size_t(3) << 20) + 3};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string path = dir + "/f" + std::to_string(size);
    const std::vector<uint8_t> bytes = Noise(size, static_cast<unsigned>(size));
    ASSERT_TRUE(WriteFileAtomic(path, bytes));
    MappedFile file;
    FileResult r = file.Open(path);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(file.Size(), size);
    EXPECT_TRUE(std::equal(file.Bytes().begin(), file.Bytes().end(), bytes.begin(), bytes.end()));
    EXPECT_EQ(file.Mapped(), size > 0);
  }
}

TEST_F(MappedFileTest, RefusesWhatAWholeFileReadRefusesWithItsMessages) {
  const std::string missing = dir + "/missing.zef";
  const std::string big = dir + "/big.bin";
  ASSERT_TRUE(WriteFileAtomic(big, Noise(4097, 1)));
  struct Case {
    std::string path;
    std::size_t maxBytes;
  } cases[] = {{missing, std::size_t(1) << 31}, {dir, std::size_t(1) << 31}, {big, 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MappedFile file;
    FileResult mapped = file.Open(c.path, c.maxBytes);
    std::vector<uint8_t> bytes;
    FileResult read = ReadWholeFile(c.path, bytes, c.maxBytes);
    EXPECT_FALSE(mapped);
    EXPECT_EQ(mapped.error, read.error);
    EXPECT_NE(mapped.error.find(c.path), std::string::npos) << mapped.error;
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_TRUE(file.Bytes().empty());
  }
  // Exactly at the limit is allowed.
  MappedFile file;
  EXPECT_TRUE(file.Open(big, 4097));
  EXPECT_EQ(file.Size(), 4097u);
}

TEST_F(MappedFileTest, KeepsItsBytesWhenMovedAndReleasesThemWhenReopened) {
  const std::string a = dir + "/a", b = dir + "/b";
  const std::vector<uint8_t> bytesA = Noise(10000, 2), bytesB = Noise(3, 3);
  ASSERT_TRUE(WriteFileAtomic(a, bytesA));
  ASSERT_TRUE(WriteFileAtomic(b, bytesB));

  MappedFile first;
  ASSERT_TRUE(first.Open(a));
  MappedFile second(std::move(first));
  EXPECT_TRUE(first.Bytes().empty());
  ASSERT_EQ(second.Size(), bytesA.size());
  EXPECT_TRUE(std::equal(bytesA.begin(), bytesA.end(), second.Bytes().begin()));

  // The file may go away once mapped: the bytes stay readable until released.
  fs::remove(a);
  EXPECT_TRUE(std::equal(bytesA.begin(), bytesA.end(), second.Bytes().begin()));

  MappedFile third;
  ASSERT_TRUE(third.Open(b));
  third = std::move(second);
  EXPECT_EQ(third.Size(), bytesA.size());
  ASSERT_TRUE(third.Open(b));
  EXPECT_TRUE(std::equal(bytesB.begin(), bytesB.end(), third.Bytes().begin(), third.Bytes().end()));
  EXPECT_FALSE(third.Open(a));
  EXPECT_TRUE(third.Bytes().empty()) << "a failed open leaves nothing of the previous file";
}

}  // namespace
}  // namespace vorlan::support
