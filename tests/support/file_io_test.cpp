// Atomic writes: the previous file survives a failure, and no temporary file outlives its
// writer for long.
#include "support/file_io.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

namespace vorlan::support {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_file_io_XXXXXX";
    dir = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  }
  std::string Read(const std::string& path) const {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes));
    return std::string(bytes.begin(), bytes.end());
  }
  std::string dir;
};

// A process id that belonged to a process that has ended.
pid_t DeadPid() {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST_F(FileIoTest, ReplacesTheTargetAndLeavesNothingElse) {
  const std::string target = dir + "/out.bin";
  ASSERT_TRUE(WriteFileAtomic(target, std::string("first")));
  ASSERT_TRUE(WriteFileAtomic(target, std::string("second, longer")));
  EXPECT_EQ(Read(target), "second, longer");
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});

  // A missing folder is an error that names the target and creates nothing.
  FileResult r = WriteFileAtomic(dir + "/no/such/out.bin", std::string("x"));
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("no/such/out.bin"), std::string::npos) << r.error;
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
}

TEST_F(FileIoTest, APieceWriterCorrectsBytesItWroteButNoneBeyond) {
  const std::string target = dir + "/out.bin";
  {
    AtomicFileWriter w(target);
    const std::string head = "size=????;", body = "payload";
    ASSERT_TRUE(w.Write({reinterpret_cast<const uint8_t*>(head.data()), head.size()}));
    ASSERT_TRUE(w.Write({reinterpret_cast<const uint8_t*>(body.data()), body.size()}));
    const std::string size = "0017";
    EXPECT_TRUE(w.WriteAt(5, {reinterpret_cast<const uint8_t*>(size.data()), size.size()}));
    EXPECT_EQ(w.Written(), 17u);
    ASSERT_TRUE(w.Commit());
  }
  EXPECT_EQ(Read(target), "size=0017;payload");

  {
    AtomicFileWriter w(target);
    const uint8_t two[2] = {'x', 'y'};
    ASSERT_TRUE(w.Write({two, 1}));
    EXPECT_FALSE(w.WriteAt(0, two));  // one byte past what was written
    EXPECT_FALSE(w.Ok());
    EXPECT_FALSE(w.Commit());
  }
  EXPECT_EQ(Read(target), "size=0017;payload") << "a failed writer leaves the previous file";
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
}

// Large writes go to disk in slices while they are written; every byte and every late patch
// must still land, across the slices' edges.
TEST_F(FileIoTest, LargeWritesKeepEveryByteAndLatePatches) {
  std::vector<uint8_t> data((std::size_t(8) << 20) * 2 + 12345);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  auto bytesOf = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };

  for (std::size_t size : {std::size_t(8) << 20, (std::size_t(8) << 20) + 1, data.size()}) {
    SCOPED_TRACE(size);
    const std::string whole = dir + "/whole.bin";
    ASSERT_TRUE(WriteFileAtomic(whole, std::span<const uint8_t>(data.data(), size)));
    EXPECT_TRUE(bytesOf(Read(whole)) == std::vector<uint8_t>(data.begin(), data.begin() + size));
  }

  // Pieces of uneven sizes, then patches into the first slice, which the kernel may already
  // be writing back, and across the edge between the first two slices.
  const std::string pieces = dir + "/pieces.bin";
  std::vector<uint8_t> expected = data;
  {
    AtomicFileWriter w(pieces);
    for (std::size_t at = 0, n = 1; at < data.size(); at += n, n = n * 3 + 7) {
      n = std::min(n, data.size() - at);
      ASSERT_TRUE(w.Write({data.data() + at, n}));
    }
    const uint8_t patch[8] = {'p', 'a', 't', 'c', 'h', 'e', 'd', '!'};
    for (uint64_t at :
         {uint64_t(0), uint64_t(4096 - 3), (uint64_t(8) << 20) - 4, uint64_t(data.size() - 8)}) {
      ASSERT_TRUE(w.WriteAt(at, patch));
      std::copy(std::begin(patch), std::end(patch), expected.begin() + static_cast<std::ptrdiff_t>(at));
    }
    EXPECT_EQ(w.Written(), data.size());
    ASSERT_TRUE(w.Commit());
  }
  EXPECT_TRUE(bytesOf(Read(pieces)) == expected);
  EXPECT_EQ(Entries(), (std::set<std::string>{"pieces.bin", "whole.bin"}));
}

TEST_F(FileIoTest, RemovesTemporariesOfDeadWritersOnly) {
  const std::string target = dir + "/scene.zef";
  const std::string dead = "scene.zef.tmp" + std::to_string(DeadPid()) + "_3";
  const std::string live = "scene.zef.tmp" + std::to_string(::getppid()) + "_0";
  // Names that only look alike belong to someone else and stay.
  const std::set<std::string> others = {"scene.zef.tmp",     "scene.zef.tmpx_1", "other.zef.tmp1_1",
                                        "scene.zef.tmp12_",  "scene.zef.tmp_12", "scene.zef.tmp99999999999_1",
                                        "scene.zef.tmp1_1x", "xscene.zef.tmp1_1"};
  for (const std::string& name : others) ASSERT_TRUE(WriteFileAtomic(dir + "/" + name, std::string("keep")));
  ASSERT_TRUE(WriteFileAtomic(dir + "/" + dead, std::string("stale")));
  ASSERT_TRUE(WriteFileAtomic(dir + "/" + live, std::string("busy")));

  ASSERT_TRUE(WriteFileAtomic(target, std::string("new")));
  std::set<std::string> expected = others;
  expected.insert(live);
  expected.insert("scene.zef");
  EXPECT_EQ(Entries(), expected);
}

}  // namespace
}  // namespace vorlan::support
