#include "support/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
}  // namespace

FileResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::size_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {false, Describe(path, "cannot open")};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return {false, "\"" + path + "\": not a regular file"};
  }
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return {false, "\"" + path + "\": file too large"};
  }
  out.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      out.resize(done);
      return {false, Describe(path, "read failed")};
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return {true, {}};
}

FileResult WriteFileAtomic(const std::string& path, std::span<const uint8_t> data) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {false, Describe(path, "cannot create")};
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      FileResult r{false, Describe(path, "write failed")};
      ::close(fd);
      ::unlink(tmp.c_str());
      return r;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    FileResult r{false, Describe(path, "write failed")};
    ::unlink(tmp.c_str());
    return r;
  }
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
