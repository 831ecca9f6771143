// A whole file seen as read-only bytes, without copying it into memory of our own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "support/file_io.h"

namespace vorlan::support {

// Maps the file's pages read-only and backs them in one call, so that reading back a file
// just written costs neither zeroing a buffer of its size nor copying it. Where a mapping is
// not possible (a file system without it) the bytes are read into memory instead; callers
// see no difference.
//
// A mapping shows the file as it is, not as it was when opened: another process that
// truncates the file while it is mapped makes the pages past the new end unreadable, and a
// read there ends the process (SIGBUS); one that rewrites it in place changes the bytes under
// the reader. Use it for files this process has just written or that nothing else changes
// meanwhile; ReadWholeFile takes a private copy.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Refuses what is not a regular file and files larger than `maxBytes`, as ReadWholeFile
  // does; the error names the file. Whatever was open before is released first.
  FileResult Open(const std::string& path, std::size_t maxBytes = std::size_t(1) << 31);

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  std::size_t Size() const { return size_; }
  // True when the bytes are the file's own pages rather than a copy.
  bool Mapped() const { return mapped_; }

 private:
  void Release();

  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
  std::vector<uint8_t> copy_;  // the bytes when they could not be mapped
};

}  // namespace vorlan::support
