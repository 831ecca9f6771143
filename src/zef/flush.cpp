#include "zef/flush.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "support/bytes.h"
#include "zef/blocks.h"

namespace vorlan::zef {

using support::ByteWriter;
using support::LoadU32;

namespace {

void SetError(std::string* error, std::string message) {
  if (error) *error = std::move(message);
}

std::string At(uint64_t offset) { return "at offset " + std::to_string(offset) + ": "; }

int ClampInt(uint64_t v) { return v > uint64_t{INT_MAX} ? INT_MAX : static_cast<int>(v); }

// ---- Hash welding -------------------------------------------------------------------------------

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // only hashed, so the machine's byte order does not matter
}

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

// One multiply per word and a full mix at the end: vertex records differ mostly in low
// mantissa bits, which the rotations carry into the high bits that place a record.
uint64_t HashBytes(const uint8_t* p, std::size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) h = std::rotl((h ^ Load64(p + i)) * 0xff51afd7ed558ccdull, 29);
  if (i < n) {
    uint64_t tail = 0;
    std::memcpy(&tail, p + i, n - i);
    h = std::rotl((h ^ tail ^ 0xA5) * 0xff51afd7ed558ccdull, 29);
  }
  return Mix(h);
}

// Records are short and mostly whole words: a word loop beats a call to memcmp.
bool SameBytes(const uint8_t* a, const uint8_t* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    if (Load64(a + i) != Load64(b + i)) return false;
  return i == n || std::memcmp(a + i, b + i, n - i) == 0;
}

// ---- The walk over the image --------------------------------------------------------------------

struct Head {
  uint32_t id = 0;
  uint32_t size = 0;
};

// Writes the file into a pending piece that is handed to the sink whenever it has grown past
// kFlushPiece, between blocks. Positions are the file's.
class Flusher {
 public:
  Flusher(std::span<const uint8_t> image, FlushSink& sink, ExportProgress* progress,
          std::span<const uint32_t> welded)
      : image_(image), progress_(progress), sink_(sink), welded_(welded), bar2Max_(ClampInt(image.size())) {}

  bool Run();
  const std::string& Error() const { return error_; }
  bool SinkFailed() const { return sinkFailed_; }

 private:
  // The end of the image reads as the zero head that ends every walk.
  Head HeadAt(uint64_t at) const {
    if (at + kBlockHeadSize > image_.size()) return {};
    return {LoadU32(image_.data() + at), LoadU32(image_.data() + at + 4)};
  }
  bool Fail(uint64_t at, std::string message) {
    error_ = At(at) + std::move(message);
    return false;
  }
  bool Fits(uint64_t at, uint64_t n) const { return n <= image_.size() && at <= image_.size() - n; }
  bool CopyBlock(uint64_t& at, const Head& head);
  bool WriteNode(uint64_t& at, int depth, uint32_t& shrinkage);
  bool WriteGObj(uint64_t& at, uint32_t& shrinkage);
  // Whether the GBlock at `at` was welded when it was built; the walk asks in image order.
  bool WeldedAlready(uint64_t at) {
    while (nextWelded_ < welded_.size() && welded_[nextWelded_] < at) ++nextWelded_;
    return nextWelded_ < welded_.size() && welded_[nextWelded_] == at;
  }

  uint64_t Position() const { return base_ + out_.size(); }
  void PatchU32(uint64_t at, uint32_t v);
  // Hands the pending bytes to the sink once they are many enough (all of them with `all`).
  bool Spill(bool all = false);
  // Appends bytes of the image to the file: a large run goes to the sink as it lies in the
  // image instead of through the pending piece, which saves copying it.
  bool Emit(std::span<const uint8_t> bytes);

  std::span<const uint8_t> image_;
  std::vector<uint8_t> out_;  // the pending piece
  ExportProgress* progress_;
  FlushSink& sink_;
  std::span<const uint32_t> welded_;
  std::size_t nextWelded_ = 0;
  uint64_t base_ = 0;  // bytes already handed to the sink
  bool sinkFailed_ = false;
  int bar2Max_;
  std::string error_;
};

void Flusher::PatchU32(uint64_t at, uint32_t v) {
  uint8_t bytes[4];
  ByteWriter::StoreU32(bytes, v);
  if (at >= base_) {
    std::memcpy(out_.data() + (at - base_), bytes, 4);
    return;
  }
  // A size field in a piece the sink already took; one cut by the piece boundary goes in two.
  const std::size_t before = static_cast<std::size_t>(std::min<uint64_t>(4, base_ - at));
  if (!sink_.Patch(at, std::span<const uint8_t>(bytes, before))) sinkFailed_ = true;
  if (before < 4) std::memcpy(out_.data(), bytes + before, 4 - before);
}

bool Flusher::Spill(bool all) {
  if (out_.empty() || (!all && out_.size() < kFlushPiece)) return true;
  if (sinkFailed_ || !sink_.Write(out_)) {
    sinkFailed_ = true;
    return Fail(Position(), "the file could not be written");
  }
  base_ += out_.size();
  out_.clear();
  return true;
}

bool Flusher::Emit(std::span<const uint8_t> bytes) {
  if (bytes.size() < kFlushPiece / 2) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return Spill();
  }
  if (!Spill(true)) return false;
  if (sinkFailed_ || !sink_.Write(bytes)) {
    sinkFailed_ = true;
    return Fail(Position(), "the file could not be written");
  }
  base_ += bytes.size();
  return true;
}

bool Flusher::Run() {
  if (progress_) {
    progress_->SetStep("Whole Scene", "Optimizing", -1);
    progress_->SetBar2(0, bar2Max_, 0);
  }
  if (image_.size() < kHeaderSize || LoadU32(image_.data()) != kMagic ||
      LoadU32(image_.data() + 4) != kVersion0100)
    return Fail(0, "the scene image does not start with a ZEF 0100 header");
  // A piece is handed on once it passes kFlushPiece; a welded GBlock may make it larger.
  out_.reserve(std::min<std::size_t>(image_.size(), 2 * kFlushPiece));
  out_.insert(out_.end(), image_.begin(), image_.begin() + kHeaderSize);

  uint64_t at = kHeaderSize;
  Head head = HeadAt(at);
  if (head.id == kInfo && !CopyBlock(at, head)) return false;

  head = HeadAt(at);
  if (head.id != kNode) return Fail(at, "no root node after the header");
  const uint64_t rootAt = at;
  const uint64_t rootStart = Position();
  const uint32_t rootSize = head.size;
  uint32_t shrinkage = 0;
  if (!WriteNode(at, 0, shrinkage)) return false;
  // Every block of the scene lies inside the root node, so the root's corrected size must be
  // exactly what was written; anything else means the walk lost or invented blocks.
  if (Position() - rootStart != uint64_t{rootSize} - shrinkage)
    return Fail(rootAt,
                "the root node's size " + std::to_string(rootSize) + " does not match the blocks inside it");
  if (!Spill(true)) return false;
  return !sinkFailed_ || Fail(rootAt, "the file could not be written");
}

bool Flusher::CopyBlock(uint64_t& at, const Head& head) {
  if (head.size < kBlockHeadSize)
    return Fail(at, "block size " + std::to_string(head.size) + " is too small");
  if (!Fits(at, head.size))
    return Fail(at, "block of size " + std::to_string(head.size) + " runs past the image");
  out_.insert(out_.end(), image_.begin() + at, image_.begin() + at + head.size);
  at += head.size;
  return Spill();
}

bool Flusher::WriteNode(uint64_t& at, int depth, uint32_t& shrinkage) {
  // The root is depth 0, so the deepest allowed chain below it still fits.
  if (depth > kMaxNodeDepth) return Fail(at, "nodes nested deeper than " + std::to_string(kMaxNodeDepth));
  const uint64_t start = at;
  if (!Fits(at, kNodeHeadSize)) return Fail(at, "node head runs past the image");
  const uint32_t size = LoadU32(image_.data() + at + 4);
  const uint32_t childCount = LoadU32(image_.data() + at + 8);
  const uint64_t headLength = kNodeHeadSize + uint64_t{LoadU32(image_.data() + at + 12)};
  if (!Fits(at, headLength)) return Fail(at, "node name runs past the image");
  if (size < headLength) return Fail(at, "node size " + std::to_string(size) + " is smaller than its head");

  const uint64_t sizeField = Position() + 4;
  out_.insert(out_.end(), image_.begin() + at, image_.begin() + at + headLength);
  at += headLength;
  if (!Spill()) return false;

  uint32_t children = 0;
  bool end = false;
  shrinkage = 0;
  while (children < childCount || !end) {
    const Head head = HeadAt(at);
    switch (head.id) {
      case kNode:
        if (children < childCount) {
          uint32_t childShrinkage = 0;
          if (!WriteNode(at, depth + 1, childShrinkage)) return false;
          shrinkage += childShrinkage;
          ++children;
        } else {
          end = true;  // a sibling or an ancestor's child: left for the ancestor
        }
        break;
      case kGObj: {
        uint32_t objectShrinkage = 0;
        if (!WriteGObj(at, objectShrinkage)) return false;
        shrinkage += objectShrinkage;
        break;
      }
      case kDummy:
        if (!CopyBlock(at, head)) return false;
        end = true;
        break;
      case kLight:
      case kVexaLight:
      case kUserProps:
      case kTransform:
      case kCamera:
      case kIKJoint:
      case kSoundEvent:
      case kParticleEvent:
      case kInfo:
      case kPhysData:
      case kMatList:
        if (!CopyBlock(at, head)) return false;
        break;
      default:
        end = true;
        if (head.size != 0) {
          if (!CopyBlock(at, head)) return false;
        } else if (children < childCount) {
          // The walk would stand still on this head for ever.
          return Fail(start, "node counts " + std::to_string(childCount) + " children but holds " +
                                 std::to_string(children));
        }
        break;
    }
  }
  if (shrinkage > size) return Fail(start, "welding removed more than the node's size");
  PatchU32(sizeField, size - shrinkage);
  return true;
}

bool Flusher::WriteGObj(uint64_t& at, uint32_t& shrinkage) {
  const uint64_t start = at;
  if (!Fits(at, kGObjHeadSize)) return Fail(at, "GObj head runs past the image");
  const uint32_t size = LoadU32(image_.data() + at + 4);
  const uint32_t blockCount = LoadU32(image_.data() + at + 8);
  if (size < kGObjHeadSize)
    return Fail(at, "GObj size " + std::to_string(size) + " is smaller than its head");

  const uint64_t headField = Position();
  out_.insert(out_.end(), image_.begin() + at, image_.begin() + at + kGObjHeadSize);
  at += kGObjHeadSize;

  uint32_t written = 0;  // GBlocks met, as the count at +8 counts them
  uint32_t dropped = 0;
  bool end = false;
  shrinkage = 0;
  while (written < blockCount || !end) {
    const Head head = HeadAt(at);
    if (head.id == kGBlock) {
      if (head.size < kGBlockHeadSize || !Fits(at, head.size))
        return Fail(at, "GBlock of size " + std::to_string(head.size) + " does not fit the image");
      GBlockMesh mesh;
      std::string why;
      switch (ReadGBlockMesh(image_.subspan(at, head.size), mesh, &why)) {
        case GBlockShape::kMalformed:
          return Fail(at, why);
        case GBlockShape::kNotMesh:
          // Left out of the file: the whole block counts as removed so the sizes still match.
          shrinkage += head.size;
          ++dropped;
          break;
        case GBlockShape::kMesh:
          if (WeldedAlready(at)) {
            if (!Emit(image_.subspan(at, head.size))) return false;
            if (progress_)
              progress_->SetBar2(-1, bar2Max_, ClampInt(uint64_t{mesh.vertexCount} * mesh.stride));
          } else {
            uint32_t weldShrinkage = 0;
            if (!WeldGBlock(mesh, out_, weldShrinkage, progress_, bar2Max_))
              return Fail(at, "no memory to weld the GBlock");
            shrinkage += weldShrinkage;
          }
          if (!Spill()) return false;
          break;
      }
      ++written;
      at += head.size;
    } else if (head.id >= kUserProps && head.id <= kDummy) {
      if (!CopyBlock(at, head)) return false;
    } else {
      end = true;  // left for the enclosing node
      if (written < blockCount)
        return Fail(start, "GObj counts " + std::to_string(blockCount) + " GBlocks but holds " +
                               std::to_string(written));
    }
  }
  if (shrinkage > size) return Fail(start, "welding removed more than the GObj's size");
  PatchU32(headField + 4, size - shrinkage);
  if (dropped != 0) PatchU32(headField + 8, written - dropped);
  return true;
}

}  // namespace

VertexWelder::VertexWelder(std::vector<uint8_t>& out, uint32_t stride, std::size_t expected,
                           std::vector<uint64_t>* slots)
    : out_(out), keptStart_(out.size()), stride_(stride), slots_(slots ? *slots : ownSlots_) {
  std::size_t cap = 64;
  while (cap < expected * 2) cap <<= 1;
  slots_.assign(cap, 0);
}

uint32_t VertexWelder::Add(const uint8_t* record) {
  const uint64_t tag = HashBytes(record, stride_) >> 32;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(tag) & mask;; i = (i + 1) & mask) {
    const uint64_t slot = slots_[i];
    if (slot == 0) {
      const uint32_t index = kept_++;
      out_.insert(out_.end(), record, record + stride_);
      slots_[i] = tag << 32 | (uint64_t{index} + 1);
      if (std::size_t{kept_} * 2 > slots_.size()) Grow();
      return index;
    }
    if ((slot >> 32) != tag) continue;
    const uint32_t index = static_cast<uint32_t>(slot) - 1;
    // The kept records are compared where they lie in `out`, which may have moved since.
    if (SameBytes(out_.data() + keptStart_ + std::size_t{index} * stride_, record, stride_)) return index;
  }
}

void VertexWelder::Grow() {
  std::vector<uint64_t> old(slots_.size() * 2, 0);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::size_t>(slot >> 32) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

GBlockShape ReadGBlockMesh(std::span<const uint8_t> gblock, GBlockMesh& mesh, std::string* error) {
  auto malformed = [&](std::string why) {
    SetError(error, std::move(why));
    return GBlockShape::kMalformed;
  };
  if (gblock.size() < kGBlockHeadSize) return malformed("GBlock head is truncated");
  mesh.size = LoadU32(gblock.data() + 4);
  if (mesh.size < kGBlockHeadSize || mesh.size > gblock.size())
    return malformed("GBlock size " + std::to_string(mesh.size) + " does not fit");
  mesh.materialIndex = LoadU32(gblock.data() + 8);
  const uint64_t end = mesh.size;

  uint64_t at = kGBlockHeadSize;
  if (at + kBlockHeadSize > end || LoadU32(gblock.data() + at) != kVertices) return GBlockShape::kNotMesh;
  const uint32_t verticesSize = LoadU32(gblock.data() + at + 4);
  if (verticesSize < kVerticesHeadSize || at + verticesSize > end)
    return malformed("Vertices size " + std::to_string(verticesSize) + " does not fit its GBlock");
  mesh.vertexCount = LoadU32(gblock.data() + at + 8);
  mesh.stride = LoadU32(gblock.data() + at + 12);
  mesh.format = LoadU32(gblock.data() + at + 16);
  if (uint64_t{kVerticesHeadSize} + uint64_t{mesh.vertexCount} * mesh.stride != verticesSize)
    return malformed("Vertices size " + std::to_string(verticesSize) + " is not 20 + " +
                     std::to_string(mesh.vertexCount) + " x " + std::to_string(mesh.stride));
  mesh.vertices = gblock.subspan(at + kVerticesHeadSize, verticesSize - kVerticesHeadSize);

  at += verticesSize;
  if (at + kBlockHeadSize > end || LoadU32(gblock.data() + at) != kFaces) return GBlockShape::kNotMesh;
  const uint32_t facesSize = LoadU32(gblock.data() + at + 4);
  if (facesSize < kFacesHeadSize || at + facesSize > end)
    return malformed("Faces size " + std::to_string(facesSize) + " does not fit its GBlock");
  mesh.faceCount = LoadU32(gblock.data() + at + 8);
  if (uint64_t{kFacesHeadSize} + uint64_t{mesh.faceCount} * 12 != facesSize)
    return malformed("Faces size " + std::to_string(facesSize) + " is not 12 + 12 x " +
                     std::to_string(mesh.faceCount));
  mesh.faces = gblock.subspan(at + kFacesHeadSize, facesSize - kFacesHeadSize);

  // Checked once here so that neither weld has to guard its reads.
  const std::size_t corners = std::size_t{mesh.faceCount} * 3;
  for (std::size_t k = 0; k < corners; ++k) {
    uint32_t index = LoadU32(mesh.faces.data() + 4 * k);
    if (index >= mesh.vertexCount)
      return malformed("triangle " + std::to_string(k / 3) + " uses vertex " + std::to_string(index) +
                       " of " + std::to_string(mesh.vertexCount));
  }
  return GBlockShape::kMesh;
}

bool WeldGBlock(const GBlockMesh& mesh, std::vector<uint8_t>& out, uint32_t& shrinkage,
                ExportProgress* progress, int bar2Max) {
  try {
    const std::size_t corners = std::size_t{mesh.faceCount} * 3;
    const std::size_t maxKept = std::min<std::size_t>(mesh.vertexCount, corners);
    const std::size_t gblockStart = out.size();
    // At most this much is appended, so kept vertices never move while they are compared.
    out.reserve(gblockStart + kGBlockHeadSize + kVerticesHeadSize + maxKept * mesh.stride + kFacesHeadSize +
                corners * 4);
    ByteWriter w(out);
    w.U32(kGBlock);
    w.U32(0);  // size once the kept count is known
    w.U32(mesh.materialIndex);
    w.U32(kVertices);
    w.U32(0);
    w.U32(0);
    w.U32(mesh.stride);
    w.U32(mesh.format);

    std::vector<uint32_t> remap(corners);
    // Sized for the common case; it grows when a block has more distinct corners.
    VertexWelder table(out, mesh.stride, std::min<std::size_t>(maxKept, std::size_t{1} << 16));
    for (uint32_t f = 0; f < mesh.faceCount; ++f) {
      for (int k = 0; k < 3; ++k) {
        std::size_t corner = std::size_t{f} * 3 + static_cast<std::size_t>(k);
        uint32_t index = LoadU32(mesh.faces.data() + 4 * corner);
        remap[corner] = table.Add(mesh.vertices.data() + std::size_t{index} * mesh.stride);
      }
      if (progress && ((f + 1) % kWeldProgressInterval == 0 || f + 1 == mesh.faceCount))
        progress->SetBar2(-1, bar2Max, ClampInt(uint64_t{table.Kept()} * mesh.stride));
    }

    const uint32_t kept = table.Kept();
    const uint32_t verticesSize = kVerticesHeadSize + kept * mesh.stride;  // <= the old size
    const uint32_t facesSize = kFacesHeadSize + mesh.faceCount * 12;
    const uint32_t newSize = kGBlockHeadSize + verticesSize + facesSize;
    w.U32(kFaces);
    w.U32(facesSize);
    w.U32(mesh.faceCount);
    for (uint32_t index : remap) w.U32(index);
    w.PatchU32(gblockStart + 4, newSize);
    w.PatchU32(gblockStart + 16, verticesSize);
    w.PatchU32(gblockStart + 20, kept);
    shrinkage = mesh.size - newSize;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

namespace {

// The whole file in one vector: pieces appended, late size fields written in place.
struct VectorSink : FlushSink {
  explicit VectorSink(std::vector<uint8_t>& o) : out(o) {}
  bool Write(std::span<const uint8_t> bytes) override {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
  }
  bool Patch(uint64_t at, std::span<const uint8_t> bytes) override {
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
  }
  std::vector<uint8_t>& out;
};

}  // namespace

bool FlushSceneBuffer(std::span<const uint8_t> image, std::vector<uint8_t>& out, ExportProgress* progress,
                      std::string* error) {
  out.clear();
  VectorSink sink(out);
  return FlushSceneBuffer(image, sink, progress, error);
}

bool FlushSceneBuffer(std::span<const uint8_t> image, FlushSink& sink, ExportProgress* progress,
                      std::string* error, std::span<const uint32_t> welded) {
  try {
    Flusher flusher(image, sink, progress, welded);
    if (flusher.Run()) return true;
    SetError(error, flusher.SinkFailed() ? "the file could not be written" : flusher.Error());
    return false;
  } catch (const std::bad_alloc&) {
    SetError(error, "not enough memory to write the file");
    return false;
  }
}

}  // namespace vorlan::zef
