#include "support/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vorlan::support {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "vorlan_log_" + std::to_string(::getpid()) + ".log";
    std::remove(path_.c_str());
    LogSetMessageHandler(
        [this](const std::string& text, const std::string& caption) { shown_.emplace_back(text, caption); });
  }
  void TearDown() override {
    LogClose();
    LogSetMessageHandler(nullptr);
    std::remove(path_.c_str());
  }
  int Open(int32_t mode, const char* header = nullptr, uint32_t flags = kLogEnabled) {
    LogParams p{path_.c_str(), header, mode, flags};
    return LogOpen(&p);
  }

  std::string path_;
  std::vector<std::pair<std::string, std::string>> shown_;
};

TEST_F(LogTest, DisabledLoggingSucceedsWithoutTouchingTheDisk) {
  ASSERT_EQ(Open(kLogCreate, "header", 0), 1);
  EXPECT_EQ(LogWrite("x", LOG_INFO), 1);
  EXPECT_EQ(LogWriteLine("x", LOG_ERROR), 1);
  EXPECT_EQ(LogFormat(LOG_WARNING, "%d", 5), 1);
  EXPECT_EQ(LogWrite("", LOG_INFO), 0) << "an empty text is refused even when disabled";
  EXPECT_EQ(LogClose(), 1);
  EXPECT_EQ(LogClose(), 1);
  EXPECT_FALSE(std::ifstream(path_).good());
  EXPECT_TRUE(shown_.empty());
  // A disabled log needs no file name and accepts any mode.
  LogParams noName{nullptr, nullptr, 9, 0};
  EXPECT_EQ(LogOpen(&noName), 1);
}

TEST_F(LogTest, RefusesBadParameters) {
  EXPECT_EQ(LogOpen(nullptr), 0);
  LogParams noName{nullptr, nullptr, kLogCreate, kLogEnabled};
  EXPECT_EQ(LogOpen(&noName), 0);
  LogParams emptyName{"", nullptr, kLogCreate, kLogEnabled};
  EXPECT_EQ(LogOpen(&emptyName), 0);
  EXPECT_EQ(Open(3), 0);
  EXPECT_EQ(Open(0), 0);
  EXPECT_FALSE(std::ifstream(path_).good());
  EXPECT_TRUE(shown_.empty());
}

TEST_F(LogTest, LevelsWritePrefixesAndIndentation) {
  ASSERT_EQ(Open(kLogCreate, "Log for Test:\n\n"), 1);
  LogSetIndent(4, ' ');
  EXPECT_EQ(LogWrite("a", LOG_CRITICAL), 1);
  EXPECT_EQ(LogWrite("b", LOG_ERROR), 1);
  EXPECT_EQ(LogWrite("c", LOG_WARNING), 1);
  EXPECT_EQ(LogWrite("x", LOG_INFO), 1);
  EXPECT_EQ(LogWrite("x", LOG_RAW), 1);
  EXPECT_EQ(LogWrite("x", 7), 1);
  EXPECT_EQ(LogWrite("y", -5), 1);
  LogSetIndent(2, '.');
  EXPECT_EQ(LogWriteLine("z", LOG_INFO), 1);
  LogSetIndent(0, ' ');
  EXPECT_EQ(LogWrite("w", LOG_INFO), 1);
  EXPECT_EQ(LogClose(), 1);
  EXPECT_EQ(ReadFile(path_),
            "Log for Test:\n\n"
            "Critical ERROR:\t    a"
            "Error:\t    b"
            "Warning:\t    c"
            "Info:\t    x"
            "x"
            "    x"
            "    y"
            "Info:\t..z\n"
            "Info:\tw");
  EXPECT_TRUE(shown_.empty());
}

TEST_F(LogTest, EmptyOrNullTextWritesNothing) {
  ASSERT_EQ(Open(kLogCreate), 1);
  LogSetIndent(3, ' ');
  EXPECT_EQ(LogWrite("", LOG_INFO), 0);
  EXPECT_EQ(LogWrite(nullptr, LOG_ERROR), 0);
  EXPECT_EQ(LogWriteLine("", LOG_INFO), 0);
  LogClose();
  EXPECT_EQ(ReadFile(path_), "\n") << "LogWriteLine still ends the line";
}

TEST_F(LogTest, IndentIsClampedAndResetByOpen) {
  LogSetIndent(500, '-');
  char fill = 0;
  EXPECT_EQ(LogGetIndent(&fill), 160);
  EXPECT_EQ(fill, '-');
  LogSetIndent(-3, ' ');
  EXPECT_EQ(LogGetIndent(nullptr), 0);

  LogSetIndent(500, '-');
  ASSERT_EQ(Open(kLogCreate), 1);
  EXPECT_EQ(LogGetIndent(&fill), 0);
  EXPECT_EQ(fill, ' ');
  LogSetIndent(500, '-');
  LogWrite("x", 9);
  LogClose();
  EXPECT_EQ(ReadFile(path_), std::string(160, '-') + "x");
}

TEST_F(LogTest, CreateEmptiesAndAppendKeepsExistingContents) {
  { std::ofstream(path_) << "old contents\n"; }
  ASSERT_EQ(Open(kLogAppend, "header\n"), 1);
  LogWrite("more", LOG_RAW);
  LogClose();
  EXPECT_EQ(ReadFile(path_), "old contents\nheader\nmore");

  ASSERT_EQ(Open(kLogCreate, "fresh\n"), 1);
  LogClose();
  EXPECT_EQ(ReadFile(path_), "fresh\n");

  std::remove(path_.c_str());
  ASSERT_EQ(Open(kLogAppend), 1) << "append creates a missing file";
  LogWrite("new", LOG_RAW);
  LogClose();
  EXPECT_EQ(ReadFile(path_), "new");
}

TEST_F(LogTest, ReopeningClosesTheEarlierFile) {
  ASSERT_EQ(Open(kLogCreate, "one"), 1);
  ASSERT_EQ(Open(kLogAppend, "two"), 1);
  LogClose();
  EXPECT_EQ(LogClose(), 0) << "nothing left open";
  EXPECT_EQ(ReadFile(path_), "onetwo");
}

TEST_F(LogTest, OpenFailureIsShownOnceAndLaterWritesFail) {
  std::string bad = ::testing::TempDir() + "no_such_dir_vorlan/x.log";
  LogParams p{bad.c_str(), "h", kLogCreate, kLogEnabled};
  EXPECT_EQ(LogOpen(&p), 0);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].first, "qLog: Can't create/open log file! (" + bad + ")");
  EXPECT_EQ(shown_[0].second, "Error");
  EXPECT_EQ(LogWrite("x", LOG_INFO), 0);
  EXPECT_EQ(LogWriteLine("x", LOG_INFO), 0);
  EXPECT_EQ(shown_.size(), 1u);
  EXPECT_EQ(LogClose(), 0);
}

TEST_F(LogTest, FailedWritesAreReported) {
  if (!std::ifstream("/dev/full").good()) GTEST_SKIP() << "no /dev/full";
  LogParams p{"/dev/full", "header", kLogAppend, kLogEnabled};
  EXPECT_EQ(LogOpen(&p), 1) << "a failed header write does not fail the open";
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].first, "qLog: Output to log file failed!");
  EXPECT_EQ(shown_[0].second, "Error");
  EXPECT_EQ(LogWrite("x", LOG_INFO), 0);
  EXPECT_EQ(shown_.size(), 2u) << "the prefix failure is not reported, the text failure is";
  EXPECT_EQ(LogClose(), 1);
}

TEST_F(LogTest, FormattedMessagesAreCutAtTheBuffer) {
  ASSERT_EQ(Open(kLogCreate), 1);
  EXPECT_EQ(LogInfoFormat("%s has %d bones\n", "Bip01", 22), 1);
  std::string longText(6000, 'q');
  EXPECT_EQ(LogFormat(LOG_RAW, "%s", longText.c_str()), 1);
  EXPECT_EQ(LogFormat(LOG_RAW, "%s", ""), 0) << "an empty result is an empty text";
  LogClose();
  EXPECT_EQ(ReadFile(path_), "Info:\tBip01 has 22 bones\n" + std::string(kLogFormatBuffer - 1, 'q'));
}

}  // namespace
}  // namespace vorlan::support
