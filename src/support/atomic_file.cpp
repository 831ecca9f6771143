#include "support/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace vorlan::support {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Open(const std::string& path) {
  Abandon();
  static std::atomic<unsigned> counter{0};
  path_ = path;
  tmp_ = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  failed_ = fd_ < 0;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return fd_ >= 0;
}

bool AtomicFile::Flush() {
  std::size_t done = 0;
  while (!failed_ && done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      failed_ = true;
    else
      done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return !failed_;
}

bool AtomicFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0 || failed_) return false;
  if (buffer_.size() + bytes.size() > kBufferSize && !Flush()) return false;
  if (bytes.size() >= kBufferSize) {
    buffer_.assign(bytes.begin(), bytes.end());
    return Flush();
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush() && ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok && ::rename(tmp_.c_str(), path_.c_str()) == 0) return true;
  ::unlink(tmp_.c_str());
  return false;
}

void AtomicFile::Abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(tmp_.c_str());
  fd_ = -1;
}

}  // namespace vorlan::support
