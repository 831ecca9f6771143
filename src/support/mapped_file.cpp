#include "support/mapped_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace vorlan::support {

namespace {
#ifdef MAP_POPULATE
// Backing every page in the mapping call costs one system call instead of a page fault per
// page when the reader walks the file.
constexpr int kPopulate = MAP_POPULATE;
#else
constexpr int kPopulate = 0;
#endif
}  // namespace

MappedFile::~MappedFile() { Release(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    copy_ = std::move(other.copy_);
  }
  return *this;
}

void MappedFile::Release() {
  if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
  copy_.clear();
  copy_.shrink_to_fit();
}

FileResult MappedFile::Open(const std::string& path, std::size_t maxBytes) {
  Release();
  // The same refusals and messages as ReadWholeFile, which readers used before and whose
  // errors users already see.
  uint64_t fileSize = 0;
  FileResult refused;
  int fd = OpenForReading(path, maxBytes, fileSize, refused);
  if (fd < 0) return refused;
  const auto size = static_cast<std::size_t>(fileSize);
  void* pages = size == 0 ? MAP_FAILED : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | kPopulate, fd, 0);
  ::close(fd);  // a mapping outlives its descriptor
  if (pages != MAP_FAILED) {
    data_ = static_cast<const uint8_t*>(pages);
    size_ = size;
    mapped_ = true;
    return {true, {}};
  }
  if (size == 0) return {true, {}};
  // A file system that cannot map files still reads them.
  FileResult read = ReadWholeFile(path, copy_, maxBytes);
  if (!read) copy_.clear();
  data_ = copy_.data();
  size_ = copy_.size();
  return read;
}

}  // namespace vorlan::support
