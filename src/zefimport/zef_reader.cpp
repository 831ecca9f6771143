#include "zefimport/zef_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/bytes.h"
#include "support/log.h"
#include "zef/blocks.h"

namespace vorlan::zefimport {

namespace {

// Reads all of `n` bytes, resuming after partial reads and signals.
bool ReadAll(int fd, uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// An empty file still gets a region of its own, so that every later read fails the same
// way as on a short file.
std::size_t RegionSize(std::size_t size) { return size ? size : 1; }

}  // namespace

LoadStatus ZefReader::Load(const std::string& path) {
  Release();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LoadStatus::kCannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return LoadStatus::kCannotOpen;
  }
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  // Plain pages, not large ones: on virtual machines that hand freed memory back to their
  // host, a large page taken again can cost many milliseconds, so the first import of a
  // session took up to 0.8 s longer than with plain pages.
  auto* region = static_cast<uint8_t*>(support::PageAlloc(RegionSize(size)));
  if (!region) {
    ::close(fd);
    return LoadStatus::kNoMemory;
  }
  if (!ReadAll(fd, region, size)) {
    support::PageFree(region);
    ::close(fd);
    return LoadStatus::kCannotOpen;
  }
  ::close(fd);
  support::PageProtect(region, true);
  data_ = region;
  size_ = size;
  cursor_ = 0;
  support::LogFormat(support::LOG_INFO, "Importing file: %s, size: %d", path.c_str(), static_cast<int>(size));
  return LoadStatus::kOk;
}

LoadStatus ZefReader::LoadBytes(std::span<const uint8_t> bytes) {
  Release();
  auto* region = static_cast<uint8_t*>(support::PageAlloc(RegionSize(bytes.size())));
  if (!region) return LoadStatus::kNoMemory;
  if (!bytes.empty()) std::memcpy(region, bytes.data(), bytes.size());
  support::PageProtect(region, true);
  data_ = region;
  size_ = bytes.size();
  cursor_ = 0;
  return LoadStatus::kOk;
}

void ZefReader::Release() {
  if (data_) {
    support::PageProtect(data_, false);
    support::PageFree(data_);
  }
  data_ = nullptr;
  size_ = 0;
  cursor_ = 0;
}

bool ZefReader::Read(void* dst, std::size_t n) {
  if (!dst || n == 0) return false;
  if (n > size_ - cursor_) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  std::memcpy(dst, data_ + cursor_, n);
  cursor_ += n;
  return true;
}

bool ZefReader::SetPtr(int64_t pos, bool relative) {
  int64_t target = pos;
  if (relative) {
    // Checked so that a huge relative step cannot wrap around to a valid-looking position.
    if (pos > 0 && static_cast<uint64_t>(pos) > size_ - cursor_)
      target = -1;
    else
      target = static_cast<int64_t>(cursor_) + pos;
  }
  if (target < 0 || static_cast<uint64_t>(target) > size_) {
    support::LogWrite("ZefImport::SetZefPtr(): trying to set ptr behind end of buffer!\n",
                      support::LOG_ERROR);
    return false;
  }
  cursor_ = static_cast<std::size_t>(target);
  return true;
}

std::optional<BlockHead> ZefReader::PeekHead() {
  std::size_t at = cursor_;
  uint8_t head[8];
  if (!Read(head, sizeof head)) return std::nullopt;
  cursor_ = at;
  return BlockHead{support::LoadU32(head), support::LoadU32(head + 4)};
}

std::optional<uint64_t> ZefReader::FixedPartSize() {
  support::ByteReader r(Bytes());
  r.Seek(cursor_);
  auto part = zef::FixedPartSize(r);
  if (!part) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return std::nullopt;
  }
  if (!part->known) {
    support::LogWrite("ZefImport::GetBlockHdr() : Unknown Block Header!\n", support::LOG_ERROR);
    support::LogShowMessage("ZefImport::GetBlockHdr() : Unknown Block Header!", "Error");
  }
  return part->size;
}

std::optional<std::span<const uint8_t>> ZefReader::ViewFixedPart() {
  auto size = FixedPartSize();
  if (!size) return std::nullopt;
  if (*size == 0 || *size > size_ - cursor_) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return std::nullopt;
  }
  std::span<const uint8_t> part(data_ + cursor_, static_cast<std::size_t>(*size));
  cursor_ += part.size();
  return part;
}

}  // namespace vorlan::zefimport
