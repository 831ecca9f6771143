#include "zef/scene_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>

#include "support/bytes.h"
#include "support/memmgr.h"

namespace vorlan::zef {

namespace {
// The zero head that ends every walk over the image always lies inside the storage.
constexpr std::size_t kTail = 8;
// Pages ahead of the offset are backed this many bytes at a time.
constexpr std::size_t kBackAhead = std::size_t{1} << 20;
// An image past this size has its pages backed on another thread; a small one is not worth
// a thread.
constexpr std::size_t kBackerFrom = std::size_t{4} << 20;
// How far ahead of the offset that thread is asked to keep the pages backed.
constexpr std::size_t kBackerAhead = std::size_t{4} << 20;
constexpr std::size_t kRoom = std::size_t{SceneBuffer::kMaxImage} + kTail;

// Zeroed pages of `bytes`, or the pages at `old` (of `oldBytes`) grown to `bytes` with the
// new part zeroed; null when the system has no room (then `old` stays as it was).
uint8_t* ZeroPages(uint8_t* old, std::size_t oldBytes, std::size_t bytes) {
  void* p = old ? ::mremap(old, oldBytes, bytes, MREMAP_MAYMOVE)
                : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}
}  // namespace

SceneBuffer::SceneBuffer(std::size_t initialCapacity) {
  // Address room costs nothing until it is written; a system that counts it against its
  // memory may refuse, and the image then grows as it is written.
  void* room =
      ::mmap(nullptr, kRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room != MAP_FAILED) {
    data_ = static_cast<uint8_t*>(room);
    size_ = kRoom;
    whole_ = true;
    return;
  }
  size_ = std::max(initialCapacity, kTail);
  data_ = ZeroPages(nullptr, 0, size_);
  if (!data_) throw std::bad_alloc();
}

SceneBuffer::~SceneBuffer() {
  backer_.reset();  // before the pages it backs go
  if (data_) ::munmap(data_, size_);
}

SceneBuffer::SceneBuffer(SceneBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      whole_(std::exchange(other.whole_, false)),
      backed_(std::exchange(other.backed_, 0)),
      backer_(std::move(other.backer_)),
      offset_(std::exchange(other.offset_, 0)),
      fits_(std::exchange(other.fits_, true)),
      welded_(std::move(other.welded_)) {}

SceneBuffer& SceneBuffer::operator=(SceneBuffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(whole_, other.whole_);
  std::swap(backed_, other.backed_);
  std::swap(backer_, other.backer_);
  std::swap(offset_, other.offset_);
  std::swap(fits_, other.fits_);
  std::swap(welded_, other.welded_);
  return *this;
}

uint8_t* SceneBuffer::Reserve(std::size_t n) {
  if (!fits_) return nullptr;
  uint64_t end = uint64_t{offset_} + n;
  if (end > kMaxImage) {
    fits_ = false;
    return nullptr;
  }
  if (end + kTail <= backed_) return data_ + offset_;
  if (end + kTail > size_) {
    // Doubling keeps appends amortised constant; the new pages come zeroed, which keeps
    // everything past the offset zero.
    uint64_t want = std::min<uint64_t>(uint64_t{size_} * 2, kMaxImage + kTail);
    want = std::max<uint64_t>(want, end + kTail);
    uint8_t* grown = ZeroPages(data_, size_, static_cast<std::size_t>(want));
    if (!grown) {
      fits_ = false;  // refused like an image too large for the format
      return nullptr;
    }
    data_ = grown;
    size_ = static_cast<std::size_t>(want);
  }
  if (whole_ && end + kTail > kBackerFrom) {
    if (!backer_) backer_ = std::make_unique<support::PageBacker>(data_, size_, backed_);
    if (backer_->Running()) {
      backer_->Ahead(end + kTail + kBackerAhead);
      backed_ = std::min(size_, static_cast<std::size_t>(end + kTail + kBackAhead));
      return data_ + offset_;
    }
  }
  // Backed in one call ahead of the writes instead of one fault per page as each is first
  // written: a large image is hundreds of megabytes of fresh pages.
  const std::size_t ahead = std::min(size_, std::max<std::size_t>(end + kTail, backed_ + kBackAhead));
  support::PrefaultForWrite(data_ + backed_, ahead - backed_);
  backed_ = ahead;
  return data_ + offset_;
}

void SceneBuffer::SetOffset(uint32_t offset) {
  if (offset < offset_) {
    // A dropped block must not leave its head behind: the next walk would find it.
    std::fill(data_ + offset, data_ + offset_, uint8_t{0});
    offset_ = offset;
    welded_.erase(std::lower_bound(welded_.begin(), welded_.end(), offset), welded_.end());
    return;
  }
  if (offset == offset_) return;
  if (Reserve(offset - offset_) == nullptr) return;
  offset_ = offset;
}

void SceneBuffer::U32(uint32_t v) {
  uint8_t* p = Reserve(4);
  if (!p) return;
  support::ByteWriter::StoreU32(p, v);
  offset_ += 4;
}

void SceneBuffer::F32(float v) { U32(std::bit_cast<uint32_t>(v)); }

void SceneBuffer::Point(host::Point3 p) {
  F32(p.x);
  F32(p.y);
  F32(p.z);
}

void SceneBuffer::Bytes(std::span<const uint8_t> b) { Bytes(b.data(), b.size()); }

void SceneBuffer::Bytes(const void* p, std::size_t n) {
  if (n == 0) return;
  uint8_t* dst = Reserve(n);
  if (!dst) return;
  std::memcpy(dst, p, n);
  offset_ += static_cast<uint32_t>(n);
}

void SceneBuffer::CString(std::string_view s) {
  // One reservation for text and zero so that a refused string leaves nothing half-written.
  uint8_t* dst = Reserve(s.size() + 1);
  if (!dst) return;
  if (!s.empty()) std::memcpy(dst, s.data(), s.size());
  dst[s.size()] = 0;
  offset_ += static_cast<uint32_t>(s.size() + 1);
}

void SceneBuffer::Zeros(std::size_t n) {
  // The storage past the offset is already zero.
  if (n == 0 || Reserve(n) == nullptr) return;
  offset_ += static_cast<uint32_t>(n);
}

void SceneBuffer::Matrix(const host::Matrix3& m) {
  for (int row = 0; row < 4; ++row) {
    Point(m.GetRow(row));
    F32(row == 3 ? 1.0f : 0.0f);
  }
}

void SceneBuffer::PatchU32(uint32_t at, uint32_t v) {
  assert(uint64_t{at} + 4 <= offset_);
  if (uint64_t{at} + 4 > offset_) return;
  support::ByteWriter::StoreU32(data_ + at, v);
}

void SceneBuffer::PatchF32(uint32_t at, float v) { PatchU32(at, std::bit_cast<uint32_t>(v)); }

uint32_t SceneBuffer::ReadU32(uint32_t at) const {
  assert(uint64_t{at} + 4 <= offset_);
  if (uint64_t{at} + 4 > offset_) return 0;
  return support::LoadU32(data_ + at);
}

std::span<uint8_t> SceneBuffer::Image() { return {data_, offset_ + kTail}; }

std::span<const uint8_t> SceneBuffer::Image() const { return {data_, offset_ + kTail}; }

}  // namespace vorlan::zef
