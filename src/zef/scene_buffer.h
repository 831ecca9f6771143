// The in-memory image of a .zef file that the exporters build front to back.
//
// Block builders append at the write offset; a builder may write a head first and fill its
// size and counts once the content is complete. Everything past the offset reads as zero, so
// a walk over the image ends at a zero block head. The image grows as needed instead of
// overrunning a fixed region; an image that would not fit the format's 32-bit sizes is
// refused (Fits() turns false and further writes are ignored).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "host/math3d.h"
#include "support/page_backer.h"

namespace vorlan::zef {

class SceneBuffer {
 public:
  // The largest image the format's 32-bit size fields can describe.
  static constexpr uint64_t kMaxImage = 0xFFFFFFF0u;

  explicit SceneBuffer(std::size_t initialCapacity = 1 << 20);
  ~SceneBuffer();
  SceneBuffer(const SceneBuffer&) = delete;
  SceneBuffer& operator=(const SceneBuffer&) = delete;
  // A buffer moved from may only be assigned to or destroyed.
  SceneBuffer(SceneBuffer&& other) noexcept;
  SceneBuffer& operator=(SceneBuffer&& other) noexcept;

  uint32_t Offset() const { return offset_; }
  // Moves the offset back (dropping what lay after it, which is zeroed again) or forward
  // (the gap reads as zero).
  void SetOffset(uint32_t offset);
  bool Fits() const { return fits_; }

  // Appending writers: write at the offset and advance it.
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v);
  void Point(host::Point3 p);
  void Bytes(std::span<const uint8_t> b);
  void Bytes(const void* p, std::size_t n);
  void CString(std::string_view s);  // the text and its zero
  void Zeros(std::size_t n);
  // The 4x4 matrix rows of a host matrix: axis rows followed by 0, translation row by 1.
  void Matrix(const host::Matrix3& m);

  // Patching at an absolute position inside the written part.
  void PatchU32(uint32_t at, uint32_t v);
  void PatchF32(uint32_t at, float v);
  uint32_t ReadU32(uint32_t at) const;

  // The written bytes followed by at least eight zero bytes (a terminating block head).
  std::span<uint8_t> Image();
  std::span<const uint8_t> Image() const;
  std::span<const uint8_t> Written() const { return {data_, offset_}; }

  // Offsets of GBlocks whose vertices were welded as they were written, so that the flush
  // need not weld them again. Noted at the offset where the GBlock starts; moving the offset
  // back forgets the notes at or past it, since those blocks are gone. Ascending.
  void NoteWeldedBlock() { welded_.push_back(offset_); }
  std::span<const uint32_t> WeldedBlocks() const { return welded_; }

 private:
  uint8_t* Reserve(std::size_t n);  // room for n bytes at the offset, or null
  // Anonymous memory pages: they come zeroed from the system. Address room for the largest
  // image is taken up front where the system allows, so that the image never moves and its
  // pages can be backed on another thread ahead of the writes; else the pages grow in place
  // or move without a copy, where a vector would zero-fill and copy the whole image at each
  // doubling (a third of a large export's time).
  uint8_t* data_ = nullptr;  // always zero beyond offset_
  std::size_t size_ = 0;
  bool whole_ = false;      // size_ is the room for the largest image
  std::size_t backed_ = 0;  // bytes from data_ whose pages are backed or asked for
  std::unique_ptr<support::PageBacker> backer_;
  uint32_t offset_ = 0;
  bool fits_ = true;
  std::vector<uint32_t> welded_;
};

}  // namespace vorlan::zef
