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

bool FileExists(const std::string& path);
bool IsReadOnly(const std::string& path);
bool ClearReadOnly(const std::string& path);

// Host paths may separate folders with '\' or '/'; on this system both become '/'.
std::string NativePath(std::string path);
// The part after the last '\' or '/'.
std::string FileNamePart(const std::string& path);

}  // namespace vorlan::support
