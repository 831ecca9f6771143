// A file written piece by piece into a temporary file beside its target, which replaces
// the target only when Commit succeeds: a failed or abandoned write leaves the previous
// file as it was.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlan::support {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // abandons an uncommitted file
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false when it cannot be created.
  bool Open(const std::string& path);
  // Appends bytes (buffered); false once any write has failed.
  bool Write(std::span<const uint8_t> bytes);
  // Flushes, syncs and renames over the target; false (and nothing replaced) on failure.
  bool Commit();
  // Removes the temporary file.
  void Abandon();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  bool Flush();

  std::string path_, tmp_;
  int fd_ = -1;
  bool failed_ = false;
  std::vector<uint8_t> buffer_;
};

}  // namespace vorlan::support
