// Streaming a finished scene image into .zef file bytes, welding vertices on the way.
//
// The exporters keep three separate corner vertices per triangle in memory. While the file is
// produced, each GBlock is written with byte-identical vertices merged, which shrinks it; the
// size fields of every enclosing GObj and Node are then corrected in the output. The image
// itself is never changed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/limits.h"
#include "zef/progress.h"

namespace vorlan::zef {

// Produces the file bytes of a scene image (header, Info, root node and everything in it) in
// `out`, which is cleared first; the caller writes them to disk. The image must start with the
// header of a version "0100" file; the walk ends at the root node's end or at a zero block
// head. `progress` may be null; it shows "Whole Scene" / "Optimizing" and the second bar the
// bytes of the GBlock being welded, within a range of the image length.
//
// Safe on any image: a block that runs past the image, a size too small for its own head, a
// face index beyond its Vertices, nesting deeper than kMaxNodeDepth, or counts that the blocks
// do not satisfy stop the flush with false and a message naming the offset in `error` (may be
// null). `out` then holds an unusable partial file and must not be written.
//
// A GBlock that does not hold a Vertices block directly followed by a Faces block is left out
// of the file; the sizes and the GBlock count of its GObj are corrected for it, so that the
// file stays consistent.
bool FlushSceneBuffer(std::span<const uint8_t> image, std::vector<uint8_t>& out, ExportProgress* progress,
                      std::string* error);

// Where a flush can put the file bytes as they are produced, so that the file is never held
// whole beside the image: pieces in order, and later corrections of size fields inside
// pieces already taken. A false return stops the flush (the sink keeps its own error).
class FlushSink {
 public:
  virtual ~FlushSink() = default;
  virtual bool Write(std::span<const uint8_t> bytes) = 0;
  virtual bool Patch(uint64_t at, std::span<const uint8_t> bytes) = 0;
};

// The same bytes as above, handed to `sink` in pieces of about kFlushPiece bytes (a welded
// GBlock may make one piece larger; a GBlock welded before, of half a piece or more, goes as
// a piece of its own, straight from the image). On false the sink holds an unusable partial file; when
// the sink refused a piece, `error` says only that the file could not be written.
//
// `welded`: ascending image offsets of GBlocks that were welded when they were built
// (SceneBuffer::WeldedBlocks). They are checked like every GBlock and copied as they are,
// since welding them again would change nothing; an offset that is no GBlock's is ignored.
bool FlushSceneBuffer(std::span<const uint8_t> image, FlushSink& sink, ExportProgress* progress,
                      std::string* error, std::span<const uint32_t> welded = {});

inline constexpr std::size_t kFlushPiece = std::size_t{1} << 20;

inline constexpr int kMaxNodeDepth = host::kMaxNodeDepth;
// Triangles between two progress reports while welding; the last triangle always reports.
inline constexpr uint32_t kWeldProgressInterval = 4096;

// The parts of a GBlock that welding needs, as views into the GBlock's bytes.
struct GBlockMesh {
  uint32_t size = 0;  // the GBlock's size field
  uint32_t materialIndex = 0;
  uint32_t vertexCount = 0;
  uint32_t stride = 0;
  uint32_t format = 0;
  std::span<const uint8_t> vertices;  // vertexCount * stride bytes
  uint32_t faceCount = 0;
  std::span<const uint8_t> faces;  // faceCount * 12 bytes of little-endian indices
};

enum class GBlockShape {
  kMesh,       // Vertices then Faces, consistent and every index in range
  kNotMesh,    // no Vertices block directly followed by a Faces block: not written
  kMalformed,  // sizes or indices that do not fit: the image is broken
};

// Reads the GBlock at the start of `gblock`, whose size field must not exceed gblock.size().
// On kMalformed `error` (may be null) says why.
GBlockShape ReadGBlockMesh(std::span<const uint8_t> gblock, GBlockMesh& mesh, std::string* error);

// Appends the welded copy of a GBlock read by ReadGBlockMesh to `out` and returns how many
// bytes smaller it is than the original. Corners are welded by comparing all stride bytes, so
// -0.0 and 0.0, or two NaNs with different payloads, stay apart; the kept vertices are in
// order of first use and unused ones disappear. `progress` (may be null) gets the kept bytes
// on its second bar every kWeldProgressInterval triangles and after the last, with the range
// maximum `bar2Max`. Returns false only when memory for the weld cannot be had.
bool WeldGBlock(const GBlockMesh& mesh, std::vector<uint8_t>& out, uint32_t& shrinkage,
                ExportProgress* progress, int bar2Max);

// The weld of WeldGBlock one record at a time, for writers that weld a part while they build
// it instead of holding its unwelded corners: records equal in all `stride` bytes get one
// index, kept records are appended to `out` (from its end at construction) in order of first
// use. Welding the result again changes nothing. May throw std::bad_alloc.
class VertexWelder {
 public:
  // `expected`: distinct records likely to come (the table grows past it). `slots`: storage
  // for the table that the caller keeps from weld to weld (its contents are replaced); null:
  // the welder has its own.
  VertexWelder(std::vector<uint8_t>& out, uint32_t stride, std::size_t expected,
               std::vector<uint64_t>* slots = nullptr);
  VertexWelder(const VertexWelder&) = delete;
  VertexWelder& operator=(const VertexWelder&) = delete;
  // The index of the kept record equal to `record`; `record` must not point into `out`.
  uint32_t Add(const uint8_t* record);
  uint32_t Kept() const { return kept_; }
  // The bytes of kept record `index` (< Kept()), valid until the next Add: a caller that
  // knows which record a corner probably welds to compares it without a lookup.
  const uint8_t* Record(uint32_t index) const {
    return out_.data() + keptStart_ + std::size_t{index} * stride_;
  }

 private:
  void Grow();

  std::vector<uint8_t>& out_;
  std::size_t keptStart_;
  uint32_t stride_;
  uint32_t kept_ = 0;
  // Per slot the record's 32-bit hash above its kept index + 1 (0 = empty). The hash places
  // the slot and ends most mismatches without touching the record; growing needs no record.
  std::vector<uint64_t> ownSlots_;
  std::vector<uint64_t>& slots_;
};

}  // namespace vorlan::zef
