#include "support/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace vorlan::support {

namespace {
std::string Describe(const std::string& path, const char* what) {
  return "\"" + path + "\": " + what + " (" + std::strerror(errno) + ")";
}

// Moves `total` bytes with a system call that may move fewer: `call(done)` moves from byte
// `done` on and returns its count or -1 with errno set. An interrupted call is repeated;
// false on an error or an early end, with errno as the failing call left it.
template <class Call>
bool TransferAll(std::size_t total, Call call) {
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = call(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

int OpenForReading(const std::string& path, std::size_t maxBytes, uint64_t& size, FileResult& error) {
  error = {};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = {false, Describe(path, "cannot open")};
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = {false, "\"" + path + "\": not a regular file"};
    return -1;
  }
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    error = {false, "\"" + path + "\": file too large"};
    return -1;
  }
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

FileResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::size_t maxBytes) {
  uint64_t size = 0;
  FileResult refused;
  int fd = OpenForReading(path, maxBytes, size, refused);
  if (fd < 0) return refused;
  out.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (!TransferAll(out.size(), [&](std::size_t done) {
        got = done;
        return ::read(fd, out.data() + done, out.size() - done);
      })) {
    ::close(fd);
    out.resize(got);
    return {false, Describe(path, "read failed")};
  }
  ::close(fd);
  return {true, {}};
}

namespace {

constexpr std::string_view kTempMark = ".tmp";

// Bytes of a large write that the kernel is asked to start writing back at once.
constexpr std::size_t kWriteBehindBytes = std::size_t(8) << 20;

// Asks the kernel to start writing back what a writer has written, each time another
// kWriteBehindBytes have gone into the file since `started` (the end of the previous ask). A
// large file's sync before the rename then waits for its tail only, not for all of it. It
// only asks: the sync at the end is what makes the file durable, and reports the errors.
void WriteBehind(int fd, uint64_t& started, uint64_t end) {
#ifdef SYNC_FILE_RANGE_WRITE
  if (end - started < kWriteBehindBytes) return;
  ::sync_file_range(fd, static_cast<off_t>(started), static_cast<off_t>(end - started),
                    SYNC_FILE_RANGE_WRITE);
  started = end;
#else
  (void)fd, (void)started, (void)end;
#endif
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// "<target>.tmp<pid>_<n>": a later write to the same target can tell which process left it.
std::string TempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + std::string(kTempMark) + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// The process id in a temporary name made by TempName for `base`, or 0.
pid_t TempOwner(std::string_view entry, std::string_view base) {
  if (entry.size() <= base.size() + kTempMark.size() || entry.substr(0, base.size()) != base ||
      entry.substr(base.size(), kTempMark.size()) != kTempMark)
    return 0;
  std::string_view rest = entry.substr(base.size() + kTempMark.size());
  std::size_t underscore = rest.find('_');
  if (underscore == 0 || underscore == std::string_view::npos || underscore + 1 == rest.size()) return 0;
  long long pid = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (i == underscore) continue;
    if (rest[i] < '0' || rest[i] > '9') return 0;
    if (i < underscore && (pid = pid * 10 + (rest[i] - '0')) > 0x7FFFFFFF) return 0;
  }
  return static_cast<pid_t>(pid);
}

// Temporary files that killed writers left beside `path`; those of live processes stay.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string base = FileNamePart(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* e = ::readdir(dir)) {
    pid_t owner = TempOwner(e->d_name, base);
    if (owner <= 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

bool WriteAll(int fd, std::span<const uint8_t> data) {
  // In slices, so that the kernel writes the first ones back while the next are copied and
  // the sync below waits only for the tail.
  uint64_t writingBack = 0;
  for (std::size_t at = 0; at < data.size();) {
    const std::span<const uint8_t> slice = data.subspan(at, std::min(data.size() - at, kWriteBehindBytes));
    if (!TransferAll(slice.size(),
                     [&](std::size_t done) { return ::write(fd, slice.data() + done, slice.size() - done); }))
      return false;
    at += slice.size();
    WriteBehind(fd, writingBack, at);
  }
  return ::fsync(fd) == 0;
}

// An unnamed file in the target's folder, given a temporary name only once it is complete:
// a writer killed while writing leaves nothing behind. Nothing (fd -1) where the file
// system cannot make unnamed files; the caller then writes a named temporary file.
FileResult WriteUnnamed(const std::string& path, std::span<const uint8_t> data, const std::string& tmp,
                        bool& unsupported) {
  int fd = ::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) {
    unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
    return {false, Describe(path, "cannot create")};
  }
  if (!WriteAll(fd, data)) {
    FileResult r{false, Describe(path, "write failed")};
    ::close(fd);
    return r;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    // Without /proc the unnamed file cannot be given a name: write a named one instead.
    unsupported = errno == ENOENT;
    FileResult r{false, Describe(path, "cannot create")};
    ::close(fd);
    return r;
  }
  if (::close(fd) != 0) {
    FileResult r{false, Describe(path, "write failed")};
    ::unlink(tmp.c_str());
    return r;
  }
  return {true, {}};
}

FileResult WriteNamed(const std::string& path, std::span<const uint8_t> data, const std::string& tmp) {
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {false, Describe(path, "cannot create")};
  if (!WriteAll(fd, data)) {
    FileResult r{false, Describe(path, "write failed")};
    ::close(fd);
    ::unlink(tmp.c_str());
    return r;
  }
  if (::close(fd) != 0) {
    FileResult r{false, Describe(path, "write failed")};
    ::unlink(tmp.c_str());
    return r;
  }
  return {true, {}};
}

}  // namespace

FileResult WriteFileAtomic(const std::string& path, std::span<const uint8_t> data) {
  RemoveStaleTemporaries(path);
  const std::string tmp = TempName(path);
  bool unsupported = false;
  FileResult written = WriteUnnamed(path, data, tmp, unsupported);
  if (!written && unsupported) written = WriteNamed(path, data, tmp);
  if (!written) return written;
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    FileResult r{false, Describe(path, "cannot replace")};
    ::unlink(tmp.c_str());
    return r;
  }
  return {true, {}};
}

FileResult WriteFileAtomic(const std::string& path, const std::string& text) {
  return WriteFileAtomic(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
  RemoveStaleTemporaries(path_);
  // Unnamed while it is written, as WriteFileAtomic's, so that a killed writer leaves nothing
  // behind; named only where the file system (or a missing /proc) cannot give it a name later.
  if (::access("/proc/self/fd", F_OK) == 0) {
    fd_ = ::open(FolderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      unnamed_ = true;
      return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      error_ = Describe(path_, "cannot create");
      return;
    }
  }
  tmp_ = TempName(path_);
  fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) error_ = Describe(path_, "cannot create");
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    if (!unnamed_) ::unlink(tmp_.c_str());
  }
}

bool AtomicFileWriter::Write(std::span<const uint8_t> data) {
  if (!Ok()) return false;
  if (!TransferAll(data.size(),
                   [&](std::size_t done) { return ::write(fd_, data.data() + done, data.size() - done); })) {
    error_ = Describe(path_, "write failed");
    return false;
  }
  written_ += data.size();
  WriteBehind(fd_, writingBack_, written_);
  return true;
}

bool AtomicFileWriter::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  if (!Ok()) return false;
  if (offset > written_ || data.size() > written_ - offset) {
    error_ = "\"" + path_ + "\": write past the end of what was written";
    return false;
  }
  if (!TransferAll(data.size(), [&](std::size_t done) {
        return ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
      })) {
    error_ = Describe(path_, "write failed");
    return false;
  }
  return true;
}

FileResult AtomicFileWriter::Commit() {
  if (!Ok()) return {false, error_};
  int fd = fd_;
  fd_ = -1;
  auto fail = [&](const char* what) {
    error_ = Describe(path_, what);
    if (!tmp_.empty()) ::unlink(tmp_.c_str());
    return FileResult{false, error_};
  };
  if (::fsync(fd) != 0) {
    ::close(fd);
    if (unnamed_) tmp_.clear();
    return fail("write failed");
  }
  if (unnamed_) {
    tmp_ = TempName(path_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      ::close(fd);
      tmp_.clear();
      return fail("cannot create");
    }
  }
  if (::close(fd) != 0) return fail("write failed");
  if (::rename(tmp_.c_str(), path_.c_str()) != 0) return fail("cannot replace");
  return {true, {}};
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

FileResult FileReader::Open(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return {false, Describe(path, "cannot open")};
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return {false, "\"" + path + "\": not a regular file"};
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return {true, {}};
}

bool FileReader::ReadAt(uint64_t offset, std::span<uint8_t> out, std::string& error) const {
  if (fd_ < 0 || offset > size_ || out.size() > size_ - offset) {
    error = "\"" + path_ + "\": ends before byte " + std::to_string(offset + out.size());
    return false;
  }
  if (!TransferAll(out.size(), [&](std::size_t done) {
        return ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      })) {
    error = Describe(path_, "read failed");
    return false;
  }
  return true;
}

uint64_t PhysicalMemoryBytes() {
  long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool IsReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool ClearReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), st.st_mode | S_IWUSR) == 0;
}

std::string NativePath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string FileNamePart(const std::string& path) {
  std::size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}

}  // namespace vorlan::support
