#include "zef/flush.h"

#include <algorithm>
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

uint64_t HashBytes(const uint8_t* p, std::size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) h = (h ^ Mix(Load64(p + i))) * 0x100000001B3ull;
  if (i < n) {
    uint64_t tail = 0;
    std::memcpy(&tail, p + i, n - i);
    h = (h ^ Mix(tail ^ 0xA5)) * 0x100000001B3ull;
  }
  return Mix(h);
}

// Open-addressing set of kept vertices. Slots hold kept index + 1 (0 = empty); the kept
// vertices' bytes live in the output, so a probe compares against what is already written.
class WeldTable {
 public:
  explicit WeldTable(std::size_t expected) {
    std::size_t cap = 64;
    while (cap < expected * 2) cap <<= 1;
    slots_.assign(cap, 0);
  }

  // Index of the kept vertex equal to `v`, or appends `v` to `kept` and returns the new index.
  uint32_t FindOrAdd(const uint8_t* v, uint32_t stride, std::vector<uint8_t>& out, std::size_t keptStart) {
    uint64_t h = HashBytes(v, stride);
    uint32_t tag = static_cast<uint32_t>(h >> 32);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
      uint32_t slot = slots_[i];
      if (slot == 0) {
        uint32_t index = static_cast<uint32_t>(tags_.size());
        out.insert(out.end(), v, v + stride);
        tags_.push_back(tag);
        slots_[i] = index + 1;
        if (tags_.size() * 2 > slots_.size()) Grow(out, keptStart, stride);
        return index;
      }
      uint32_t index = slot - 1;
      if (tags_[index] == tag &&
          (stride == 0 || std::memcmp(out.data() + keptStart + std::size_t{index} * stride, v, stride) == 0))
        return index;
    }
  }

  uint32_t Kept() const { return static_cast<uint32_t>(tags_.size()); }

 private:
  void Grow(const std::vector<uint8_t>& out, std::size_t keptStart, uint32_t stride) {
    slots_.assign(slots_.size() * 2, 0);
    std::size_t mask = slots_.size() - 1;
    for (uint32_t index = 0; index < tags_.size(); ++index) {
      uint64_t h = HashBytes(out.data() + keptStart + std::size_t{index} * stride, stride);
      std::size_t i = static_cast<std::size_t>(h) & mask;
      while (slots_[i] != 0) i = (i + 1) & mask;
      slots_[i] = index + 1;
    }
  }

  std::vector<uint32_t> slots_;
  std::vector<uint32_t> tags_;  // high hash bits per kept vertex: most mismatches end here
};

// ---- The walk over the image --------------------------------------------------------------------

struct Head {
  uint32_t id = 0;
  uint32_t size = 0;
};

class Flusher {
 public:
  Flusher(std::span<const uint8_t> image, std::vector<uint8_t>& out, ExportProgress* progress)
      : image_(image), out_(out), progress_(progress), bar2Max_(ClampInt(image.size())) {}

  bool Run();
  const std::string& Error() const { return error_; }

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

  std::span<const uint8_t> image_;
  std::vector<uint8_t>& out_;
  ExportProgress* progress_;
  int bar2Max_;
  std::string error_;
};

bool Flusher::Run() {
  if (progress_) {
    progress_->SetStep("Whole Scene", "Optimizing", -1);
    progress_->SetBar2(0, bar2Max_, 0);
  }
  if (image_.size() < kHeaderSize || LoadU32(image_.data()) != kMagic ||
      LoadU32(image_.data() + 4) != kVersion0100)
    return Fail(0, "the scene image does not start with a ZEF 0100 header");
  // Welding only shrinks, so the file never needs more than the image.
  out_.reserve(image_.size());
  out_.insert(out_.end(), image_.begin(), image_.begin() + kHeaderSize);

  uint64_t at = kHeaderSize;
  Head head = HeadAt(at);
  if (head.id == kInfo && !CopyBlock(at, head)) return false;

  head = HeadAt(at);
  if (head.id != kNode) return Fail(at, "no root node after the header");
  const uint64_t rootAt = at;
  const uint64_t rootStart = out_.size();
  const uint32_t rootSize = head.size;
  uint32_t shrinkage = 0;
  if (!WriteNode(at, 0, shrinkage)) return false;
  // Every block of the scene lies inside the root node, so the root's corrected size must be
  // exactly what was written; anything else means the walk lost or invented blocks.
  if (out_.size() - rootStart != uint64_t{rootSize} - shrinkage)
    return Fail(rootAt,
                "the root node's size " + std::to_string(rootSize) + " does not match the blocks inside it");
  return true;
}

bool Flusher::CopyBlock(uint64_t& at, const Head& head) {
  if (head.size < kBlockHeadSize)
    return Fail(at, "block size " + std::to_string(head.size) + " is too small");
  if (!Fits(at, head.size))
    return Fail(at, "block of size " + std::to_string(head.size) + " runs past the image");
  out_.insert(out_.end(), image_.begin() + at, image_.begin() + at + head.size);
  at += head.size;
  return true;
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

  const std::size_t sizeField = out_.size() + 4;
  out_.insert(out_.end(), image_.begin() + at, image_.begin() + at + headLength);
  at += headLength;

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
  ByteWriter::StoreU32(out_.data() + sizeField, size - shrinkage);
  return true;
}

bool Flusher::WriteGObj(uint64_t& at, uint32_t& shrinkage) {
  const uint64_t start = at;
  if (!Fits(at, kGObjHeadSize)) return Fail(at, "GObj head runs past the image");
  const uint32_t size = LoadU32(image_.data() + at + 4);
  const uint32_t blockCount = LoadU32(image_.data() + at + 8);
  if (size < kGObjHeadSize)
    return Fail(at, "GObj size " + std::to_string(size) + " is smaller than its head");

  const std::size_t headField = out_.size();
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
        case GBlockShape::kMesh: {
          uint32_t weldShrinkage = 0;
          if (!WeldGBlock(mesh, out_, weldShrinkage, progress_, bar2Max_))
            return Fail(at, "no memory to weld the GBlock");
          shrinkage += weldShrinkage;
          break;
        }
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
  ByteWriter::StoreU32(out_.data() + headField + 4, size - shrinkage);
  if (dropped != 0) ByteWriter::StoreU32(out_.data() + headField + 8, written - dropped);
  return true;
}

}  // namespace

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
    const std::size_t keptStart = out.size();

    std::vector<uint32_t> remap(corners);
    // Sized for the common case; it grows when a block has more distinct corners.
    WeldTable table(std::min<std::size_t>(maxKept, std::size_t{1} << 16));
    for (uint32_t f = 0; f < mesh.faceCount; ++f) {
      for (int k = 0; k < 3; ++k) {
        std::size_t corner = std::size_t{f} * 3 + static_cast<std::size_t>(k);
        uint32_t index = LoadU32(mesh.faces.data() + 4 * corner);
        remap[corner] = table.FindOrAdd(mesh.vertices.data() + std::size_t{index} * mesh.stride, mesh.stride,
                                        out, keptStart);
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

bool FlushSceneBuffer(std::span<const uint8_t> image, std::vector<uint8_t>& out, ExportProgress* progress,
                      std::string* error) {
  out.clear();
  try {
    Flusher flusher(image, out, progress);
    if (flusher.Run()) return true;
    SetError(error, flusher.Error());
    return false;
  } catch (const std::bad_alloc&) {
    SetError(error, "not enough memory to write the file");
    return false;
  }
}

}  // namespace vorlan::zef
