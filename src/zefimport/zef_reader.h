// The importer's view of a loaded .zef file: the whole file in one read-only region, a
// cursor, and bounded reads that refuse (and log) anything past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "support/memmgr.h"

namespace vorlan::zefimport {

struct BlockHead {
  uint32_t id = 0;
  uint32_t size = 0;
};

// Why loading failed, so the caller can show the right message.
enum class LoadStatus { kOk, kCannotOpen, kNoMemory };

class ZefReader {
 public:
  ZefReader() = default;
  ~ZefReader() { Release(); }
  ZefReader(const ZefReader&) = delete;
  ZefReader& operator=(const ZefReader&) = delete;

  // Reads the whole file into a fresh region that is then made read-only; the cursor goes
  // to 0. Logs "Importing file: ..." on success; the caller reports failures.
  LoadStatus Load(const std::string& path);
  // Takes a copy of bytes already in memory (tests, the fuzz target).
  LoadStatus LoadBytes(std::span<const uint8_t> bytes);
  // Gives the region back; size and cursor become 0.
  void Release();

  std::size_t Size() const { return size_; }
  std::size_t Cursor() const { return cursor_; }
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

  // Copies n bytes at the cursor and advances it. Refuses a null destination and n = 0;
  // a read past the end is logged and nothing is copied.
  bool Read(void* dst, std::size_t n);
  // Sets the cursor to `pos`, or to cursor + pos when relative. A position past the end is
  // logged and refused; the end itself is allowed.
  bool SetPtr(int64_t pos, bool relative);
  // The 8-byte head at the cursor; the cursor does not move.
  std::optional<BlockHead> PeekHead();

  // How many bytes the handler of the block at the cursor reads as its fixed part. A block
  // kind without a handler is reported (log and message) and counts as a whole block.
  std::optional<uint64_t> FixedPartSize();
  // The fixed part of the block at the cursor as a view into the loaded file, with the same
  // checks as a copy of it; the cursor moves past it. The view lives as long as the region.
  // Large blocks (vertex and face records) are decoded from here instead of being copied.
  std::optional<std::span<const uint8_t>> ViewFixedPart();

 private:
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t cursor_ = 0;
};

}  // namespace vorlan::zefimport
