// The plug-ins' own memory: a private heap for an import's many small blocks, an output
// arena in which an exporter builds its whole file, and page blocks taken straight from the
// operating system for large tables and file images.
//
// Everything here keeps the memory of one operation apart from the host's heap and gives
// it back in one step at the operation's end. Log lines and failure messages go through the
// log writer (support/log.h) and its message handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlan::support {

// A growable heap of its own, one per importer object. Blocks come from anonymous
// mappings, never from the process heap, so a stray write in the plug-in stays inside the
// plug-in's memory and ReleaseMemMgr returns everything at once. Not thread-safe: one
// operation on one thread uses it.
class MemMgr {
 public:
  MemMgr() = default;
  ~MemMgr();  // releases silently what is still held
  MemMgr(const MemMgr&) = delete;
  MemMgr& operator=(const MemMgr&) = delete;

  // Creates the heap (1 MiB to begin with, growing without limit). Logs "MemMgr: Init OK"
  // at Info and returns 1; on failure logs "<pluginName>::InitMemMgr() failed!" at Error,
  // shows it with the caption "Error" and returns 0. A heap that already exists is released
  // first.
  int InitMemMgr(const std::string& pluginName);
  // A zero-filled block of `bytes`, 16-byte aligned; null for 0 bytes, when the heap does
  // not exist or when it is exhausted.
  void* MemAlloc(std::size_t bytes);
  // Returns a block of this heap; null is ignored. The block must come from MemAlloc of
  // this heap and not have been freed since.
  void MemFree(void* block);
  // Destroys the heap with every block still in it. Logs "MemMgr: Release OK" at Info, or
  // "MemMgr: Release Failed!\n" at Error when the memory could not be returned (0).
  int ReleaseMemMgr();

  bool Exists() const { return exists_; }
  // Bytes in use by live blocks (their requested sizes rounded up to the size class).
  std::size_t BytesInUse() const { return inUse_; }

 private:
  struct Chunk;
  struct LargeBlock;
  static constexpr int kClasses = 13;  // 16 B .. 64 KiB; larger blocks get mappings of their own

  bool ReleaseAll();
  void* CarveFromChunk(std::size_t total);

  bool exists_ = false;
  Chunk* chunks_ = nullptr;      // newest first; the newest is carved from
  LargeBlock* large_ = nullptr;  // doubly linked, so a free unlinks in constant time
  void* freeLists_[kClasses] = {};
  std::size_t inUse_ = 0;
};

// The exporter's output file, built front to back at a running offset.
//
// The arena reserves address space for the largest file the format's 32-bit sizes allow
// and commits it as the offset grows, starting with 16 MiB. Its base therefore never
// moves: a pointer taken into the written part stays valid until Release.
//
// The rule for writers: before filling n bytes at the cursor, call ArenaReserve(n) and
// write through the pointer it returns (null means the file would not fit; the export
// then fails). ArenaAdvance(n) also commits the n bytes it passes over, so a record written
// after its advance is safe too. Nothing is ever written past the committed part.
class OutputArena {
 public:
  static constexpr uint32_t kInitialCommit = 0x1000000;  // 16 MiB

  OutputArena() = default;
  ~OutputArena();
  OutputArena(const OutputArena&) = delete;
  OutputArena& operator=(const OutputArena&) = delete;

  // Reserves and commits the first 16 MiB (zero-filled) and sets the offset to 0. On
  // failure logs "MemMgr: Init Failed!\n" at Critical and returns false; the caller closes
  // its log and fails the export.
  bool Init();
  // base + offset: where the next record goes. Null before Init.
  uint8_t* ArenaCursor() const;
  // Makes n bytes at the cursor writable and returns the cursor; null when the arena
  // cannot grow that far (logged once at Error, and Failed() turns true).
  uint8_t* ArenaReserve(std::size_t n);
  // Adds n to the offset and returns the new cursor; null (offset unchanged) when the
  // arena cannot grow that far.
  uint8_t* ArenaAdvance(std::size_t n);

  uint32_t Offset() const { return offset_; }
  uint8_t* Base() const { return base_; }
  bool Failed() const { return failed_; }
  std::span<const uint8_t> Written() const { return {base_, offset_}; }
  std::size_t Committed() const { return committed_; }

  // Returns the memory. Logs "MemMgr: Release Failed!\n" at Error when that fails.
  bool Release();

 private:
  bool CommitUpTo(std::size_t end);

  uint8_t* base_ = nullptr;
  std::size_t reserved_ = 0;
  std::size_t committed_ = 0;
  uint32_t offset_ = 0;
  bool failed_ = false;
};

// Page blocks: whole-page regions mapped read/write, zero-filled. Safe to use from any
// thread.

// A fresh region of at least `size` bytes; null for 0 bytes or on failure.
void* PageAlloc(std::size_t size);
// The committed size of a block from PageAlloc (whole pages); 0 for null or an unknown
// pointer.
std::size_t PageSize(const void* block);
// Returns the region to the system; non-zero on success, 0 for null or an unknown pointer.
int PageFree(void* block);
// A fresh region of `newSize` holding the first min(newSize, PageSize(block)) bytes of the
// old one, which is then freed. Null when the new region cannot be had (the old one stays
// as it was) or the old one cannot be freed (the new one is given back and the old one
// stays valid). A null block behaves as PageAlloc.
void* PageRealloc(void* block, std::size_t newSize);
// Makes a whole block read-only (true) or writable again (false); false on failure.
bool PageProtect(void* block, bool readOnly);

// Backs the whole pages inside [begin, begin + bytes) of writable memory now, in one call,
// instead of one fault at a time as they are first written (a large table filled front to
// back otherwise pays a fault per 4 KiB). Only advice: contents never change, the bytes
// at either end that share a page with other data are left alone, and systems without the
// call do nothing.
void PrefaultForWrite(void* begin, std::size_t bytes);

// Room for `n` elements of `v`, whose pages are backed at once: the arrays of a large mesh
// are otherwise filled one page fault at a time, which costs more than decoding them.
template <class T>
void ReserveFresh(std::vector<T>& v, std::size_t n) {
  v.reserve(n);
  PrefaultForWrite(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(T));
}

}  // namespace vorlan::support
