// Whole-file reads and atomic writes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlan::support {

struct FileResult {
  bool ok = false;
  std::string error;  // names the file and the cause
  explicit operator bool() const { return ok; }
};

// Opens `path` for reading when it is a regular file of at most `maxBytes` bytes: the
// descriptor (the caller closes it) and the file's size, or -1 and the error that names the
// file and the cause.
int OpenForReading(const std::string& path, std::size_t maxBytes, uint64_t& size, FileResult& error);

// Reads a whole file; refuses files larger than `maxBytes`.
FileResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& out,
                         std::size_t maxBytes = std::size_t(1) << 31);

// Writes `data` to a temporary file beside `path` and renames it over `path` once it is
// complete and flushed, so a failed write never destroys the previous file. The temporary
// file has no name while it is written where the file system allows it, so a killed writer
// leaves nothing behind; elsewhere it is "<path>.tmp<pid>_<n>", and the next write to `path`
// removes those whose process is gone.
FileResult WriteFileAtomic(const std::string& path, std::span<const uint8_t> data);
FileResult WriteFileAtomic(const std::string& path, const std::string& text);

// Writes a file piece by piece into a temporary file beside `path` (unnamed while it is
// written, as WriteFileAtomic's); Commit() renames it over `path`. Destroyed without a commit
// (a failure, a cancel), it removes the temporary file and the previous file stays as it was.
// For files too large to assemble in memory first.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // False once anything failed; Error() then names the file and the cause.
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  uint64_t Written() const { return written_; }
  bool Write(std::span<const uint8_t> data);
  // Overwrites bytes already written (a size known only once what follows is written).
  bool WriteAt(uint64_t offset, std::span<const uint8_t> data);
  // Flushes, closes and renames into place.
  FileResult Commit();

 private:
  std::string path_, tmp_;
  int fd_ = -1;
  uint64_t written_ = 0;
  bool unnamed_ = false;      // no name in the folder until Commit
  uint64_t writingBack_ = 0;  // bytes the kernel was asked to write back
  std::string error_;
};

// A file opened for reads at any offset, for files larger than memory allows to hold whole.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  FileResult Open(const std::string& path);
  uint64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }
  // Exactly out.size() bytes from `offset`; false (with `error`) on a short file or an error.
  bool ReadAt(uint64_t offset, std::span<uint8_t> out, std::string& error) const;

 private:
  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The machine's physical memory in bytes (0 when unknown).
uint64_t PhysicalMemoryBytes();

bool FileExists(const std::string& path);
bool IsReadOnly(const std::string& path);
bool ClearReadOnly(const std::string& path);

// Host paths may separate folders with '\' or '/'; on this system both become '/'.
std::string NativePath(std::string path);
// The part after the last '\' or '/'.
std::string FileNamePart(const std::string& path);

}  // namespace vorlan::support
