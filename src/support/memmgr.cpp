#include "support/memmgr.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cassert>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "support/log.h"

namespace vorlan::support {
namespace {

std::size_t PageBytes() {
  static const std::size_t page = [] {
    long p = ::sysconf(_SC_PAGESIZE);
    return p > 0 ? static_cast<std::size_t>(p) : std::size_t(4096);
  }();
  return page;
}

// Rounds up to whole pages; 0 when that would overflow.
std::size_t RoundToPages(std::size_t n) {
  std::size_t page = PageBytes();
  if (n > SIZE_MAX - (page - 1)) return 0;
  return (n + page - 1) / page * page;
}

void* MapReadWrite(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// Every heap block carries this tag in the 8 bytes before its payload, so MemFree can tell
// a live block of this heap from anything else and find its size class.
struct Tag {
  uint32_t magic;
  uint32_t sizeClass;
};
constexpr uint32_t kLiveMagic = 0x4D4D4C56;
constexpr uint32_t kFreeMagic = 0x4D4D4652;
constexpr uint32_t kLargeClass = 0xFFFFFFFF;
constexpr std::size_t kSmallHeader = 16;  // keeps payloads 16-byte aligned
constexpr std::size_t kInitialHeap = 0x100000;
constexpr std::size_t kMinClassBytes = 16;

Tag* TagOf(void* payload) { return reinterpret_cast<Tag*>(static_cast<uint8_t*>(payload) - sizeof(Tag)); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Private heap

struct MemMgr::Chunk {
  Chunk* next;
  std::size_t size;  // whole mapping, this head included
  std::size_t used;  // bytes carved so far, this head included
  std::size_t pad;   // keeps the carved area 16-byte aligned
};

struct MemMgr::LargeBlock {
  LargeBlock* prev;
  LargeBlock* next;
  std::size_t mapSize;
  std::size_t bytes;  // what the caller asked for
  uint64_t pad;
  Tag tag;  // directly before the payload, as for small blocks
};
MemMgr::~MemMgr() {
  if (exists_) ReleaseAll();
}

int MemMgr::InitMemMgr(const std::string& pluginName) {
  if (exists_) ReleaseAll();
  void* first = MapReadWrite(kInitialHeap);
  if (!first) {
    std::string text = pluginName + "::InitMemMgr() failed!";
    LogWrite(text.c_str(), LOG_ERROR);
    LogShowMessage(text, "Error");
    return 0;
  }
  chunks_ = static_cast<Chunk*>(first);
  chunks_->next = nullptr;
  chunks_->size = kInitialHeap;
  chunks_->used = sizeof(Chunk);
  exists_ = true;
  LogWriteLine("MemMgr: Init OK", LOG_INFO);
  return 1;
}

void* MemMgr::CarveFromChunk(std::size_t total) {
  if (!chunks_ || chunks_->size - chunks_->used < total) {
    // Each new chunk doubles the last, so an import of many blocks maps few regions.
    std::size_t want = chunks_ ? chunks_->size * 2 : kInitialHeap;
    if (want < total + sizeof(Chunk)) want = RoundToPages(total + sizeof(Chunk));
    void* mem = want ? MapReadWrite(want) : nullptr;
    if (!mem) return nullptr;
    auto* chunk = static_cast<Chunk*>(mem);
    chunk->next = chunks_;
    chunk->size = want;
    chunk->used = sizeof(Chunk);
    chunks_ = chunk;
  }
  uint8_t* p = reinterpret_cast<uint8_t*>(chunks_) + chunks_->used;
  chunks_->used += total;
  return p;
}

void* MemMgr::MemAlloc(std::size_t bytes) {
  static_assert(sizeof(LargeBlock) % 16 == 0, "payloads stay 16-byte aligned");
  if (!exists_ || bytes == 0) return nullptr;

  std::size_t classBytes = kMinClassBytes;
  int k = 0;
  while (k < kClasses && classBytes < bytes) {
    classBytes <<= 1;
    ++k;
  }
  if (k == kClasses) {
    if (bytes > SIZE_MAX - sizeof(LargeBlock)) return nullptr;
    std::size_t mapSize = RoundToPages(sizeof(LargeBlock) + bytes);
    void* mem = mapSize ? MapReadWrite(mapSize) : nullptr;
    if (!mem) return nullptr;
    auto* block = static_cast<LargeBlock*>(mem);
    block->prev = nullptr;
    block->next = large_;
    if (large_) large_->prev = block;
    large_ = block;
    block->mapSize = mapSize;
    block->bytes = bytes;
    block->tag = {kLiveMagic, kLargeClass};
    inUse_ += bytes;
    return block + 1;
  }

  void* payload;
  if (freeLists_[k]) {
    payload = freeLists_[k];
    std::memcpy(&freeLists_[k], payload, sizeof(void*));
    std::memset(payload, 0, classBytes);
  } else {
    // Fresh mappings are zero and carved space is never handed out twice, so no clearing.
    auto* raw = static_cast<uint8_t*>(CarveFromChunk(kSmallHeader + classBytes));
    if (!raw) return nullptr;
    payload = raw + kSmallHeader;
  }
  *TagOf(payload) = {kLiveMagic, static_cast<uint32_t>(k)};
  inUse_ += classBytes;
  return payload;
}

void MemMgr::MemFree(void* block) {
  if (!block || !exists_) return;
  Tag* tag = TagOf(block);
  assert(tag->magic == kLiveMagic && "MemFree of a block that is not live in this heap");
  if (tag->magic != kLiveMagic) return;
  if (tag->sizeClass == kLargeClass) {
    auto* large = reinterpret_cast<LargeBlock*>(static_cast<uint8_t*>(block) - sizeof(LargeBlock));
    if (large->prev)
      large->prev->next = large->next;
    else
      large_ = large->next;
    if (large->next) large->next->prev = large->prev;
    inUse_ -= large->bytes;
    ::munmap(large, large->mapSize);
    return;
  }
  assert(tag->sizeClass < static_cast<uint32_t>(kClasses));
  if (tag->sizeClass >= static_cast<uint32_t>(kClasses)) return;
  tag->magic = kFreeMagic;
  inUse_ -= kMinClassBytes << tag->sizeClass;
  std::memcpy(block, &freeLists_[tag->sizeClass], sizeof(void*));
  freeLists_[tag->sizeClass] = block;
}

bool MemMgr::ReleaseAll() {
  bool ok = true;
  while (large_) {
    LargeBlock* next = large_->next;
    ok = ::munmap(large_, large_->mapSize) == 0 && ok;
    large_ = next;
  }
  while (chunks_) {
    Chunk* next = chunks_->next;
    ok = ::munmap(chunks_, chunks_->size) == 0 && ok;
    chunks_ = next;
  }
  for (auto& list : freeLists_) list = nullptr;
  inUse_ = 0;
  exists_ = false;
  return ok;
}

int MemMgr::ReleaseMemMgr() {
  if (!exists_ || !ReleaseAll()) {
    LogWrite("MemMgr: Release Failed!\n", LOG_ERROR);
    return 0;
  }
  LogWriteLine("MemMgr: Release OK", LOG_INFO);
  return 1;
}

// ---------------------------------------------------------------------------------------
// Output arena

namespace {
// The largest page-aligned span whose offsets fit the 32-bit offset.
constexpr std::size_t kArenaMaxReserve = 0xFFFFF000u;
}  // namespace

OutputArena::~OutputArena() {
  if (base_) ::munmap(base_, reserved_);
}

bool OutputArena::Init() {
  if (base_) ::munmap(base_, reserved_);
  base_ = nullptr;
  reserved_ = committed_ = 0;
  offset_ = 0;
  failed_ = false;

  // Address space only; pages cost nothing until committed. Smaller reservations are
  // tried when the process's address space is limited.
  for (std::size_t want = kArenaMaxReserve; want >= kInitialCommit; want /= 2) {
    want = RoundToPages(want);
    void* p = ::mmap(nullptr, want, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p != MAP_FAILED) {
      base_ = static_cast<uint8_t*>(p);
      reserved_ = want;
      break;
    }
  }
  if (!base_ || !CommitUpTo(kInitialCommit)) {
    if (base_) ::munmap(base_, reserved_);
    base_ = nullptr;
    reserved_ = committed_ = 0;
    failed_ = true;
    LogWrite("MemMgr: Init Failed!\n", LOG_CRITICAL);
    return false;
  }
  return true;
}

bool OutputArena::CommitUpTo(std::size_t end) {
  if (end <= committed_) return true;
  if (!base_ || end > reserved_) return false;
  // Grow by doubling so that a file written record by record commits few times.
  std::size_t target = committed_ * 2;
  if (target < end) target = end;
  target = RoundToPages(target);
  if (target == 0 || target > reserved_) target = reserved_;
  if (::mprotect(base_ + committed_, target - committed_, PROT_READ | PROT_WRITE) != 0) {
    // Under memory pressure commit exactly what is needed.
    target = RoundToPages(end);
    if (::mprotect(base_ + committed_, target - committed_, PROT_READ | PROT_WRITE) != 0) return false;
  }
  committed_ = target;
  return true;
}

uint8_t* OutputArena::ArenaCursor() const { return base_ ? base_ + offset_ : nullptr; }

uint8_t* OutputArena::ArenaReserve(std::size_t n) {
  if (!base_) return nullptr;
  if (n > reserved_ - offset_ || !CommitUpTo(offset_ + n)) {
    if (!failed_) LogWrite("MemMgr: Output arena full!\n", LOG_ERROR);
    failed_ = true;
    return nullptr;
  }
  return base_ + offset_;
}

uint8_t* OutputArena::ArenaAdvance(std::size_t n) {
  // The bytes passed over and the cursor's own position must be committed.
  if (!ArenaReserve(n)) return nullptr;
  offset_ += static_cast<uint32_t>(n);
  return base_ + offset_;
}

bool OutputArena::Release() {
  if (!base_) return true;
  bool ok = ::munmap(base_, reserved_) == 0;
  base_ = nullptr;
  reserved_ = committed_ = 0;
  offset_ = 0;
  if (!ok) LogWrite("MemMgr: Release Failed!\n", LOG_ERROR);
  return ok;
}

// ---------------------------------------------------------------------------------------
// Page blocks

namespace {

// Linux does not report a mapping's size back, so the committed sizes are kept here.
struct PageRegistry {
  std::mutex mutex;
  std::unordered_map<const void*, std::size_t> sizes;
};

PageRegistry& Registry() {
  static PageRegistry registry;
  return registry;
}

}  // namespace

void* PageAlloc(std::size_t size) {
  if (size == 0) return nullptr;
  std::size_t bytes = RoundToPages(size);
  void* p = bytes ? MapReadWrite(bytes) : nullptr;
  if (!p) return nullptr;
  PageRegistry& r = Registry();
  try {
    std::lock_guard lock(r.mutex);
    r.sizes[p] = bytes;
  } catch (const std::bad_alloc&) {
    ::munmap(p, bytes);
    return nullptr;
  }
  return p;
}

std::size_t PageSize(const void* block) {
  if (!block) return 0;
  PageRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  auto it = r.sizes.find(block);
  return it == r.sizes.end() ? 0 : it->second;
}

int PageFree(void* block) {
  if (!block) return 0;
  PageRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  auto it = r.sizes.find(block);
  if (it == r.sizes.end()) return 0;
  if (::munmap(block, it->second) != 0) return 0;
  r.sizes.erase(it);
  return 1;
}

void* PageRealloc(void* block, std::size_t newSize) {
  void* fresh = PageAlloc(newSize);
  if (!fresh) return nullptr;
  if (!block) return fresh;
  std::size_t oldSize = PageSize(block);
  std::memcpy(fresh, block, newSize < oldSize ? newSize : oldSize);
  if (!PageFree(block)) {
    PageFree(fresh);
    return nullptr;
  }
  return fresh;
}

bool PageProtect(void* block, bool readOnly) {
  std::size_t size = PageSize(block);
  if (size == 0) return false;
  return ::mprotect(block, size, readOnly ? PROT_READ : PROT_READ | PROT_WRITE) == 0;
}

void PrefaultForWrite(void* begin, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  // Small ranges are not worth a system call.
  if (!begin || bytes < 16 * page) return;
  const auto at = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t first = (at + page - 1) & ~(page - 1), last = (at + bytes) & ~(page - 1);
  if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
}

}  // namespace vorlan::support
