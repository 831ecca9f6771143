#include "zef/skeleton_check.h"

#include "support/bytes.h"

namespace vorlan::zef {

namespace {

using support::ByteReader;
using support::LoadU32;

std::string At(uint64_t offset) { return "offset " + std::to_string(offset); }

struct BlockShape {
  uint64_t offset = 0;
  uint32_t vertices = 0;
  bool hasVertices = false;
};

const BlockInfo* Child(const BlockInfo& b, uint32_t id) {
  for (const BlockInfo& c : b.children)
    if (c.id == id) return &c;
  return nullptr;
}

class SkeletonChecker {
 public:
  SkeletonChecker(std::span<const uint8_t> data, std::vector<std::string>& out) : data_(data), out_(out) {}

  void Run(const BlockInfo& skeletonObj) {
    for (const BlockInfo& c : skeletonObj.children)
      if (c.id == kNode) Mesh(c);
    for (const BlockInfo& c : skeletonObj.children)
      if (c.id == kSkeletonData) CountBones(c);
    for (const BlockInfo& c : skeletonObj.children)
      if (c.id == kNode)
        for (const BlockInfo& g : c.children)
          if (g.id == kGObj)
            for (const BlockInfo& b : g.children)
              if (b.id == kGBlock) Block(b);
    for (const BlockInfo& c : skeletonObj.children)
      if (c.id == kSkeletonData) Bones(c);
  }

 private:
  uint32_t U32(uint64_t at) const { return LoadU32(data_.data() + at); }
  bool Whole(const BlockInfo& b, uint64_t need) const { return !b.Truncated() && b.size >= need; }

  void Mesh(const BlockInfo& node) {
    std::vector<BlockShape> blocks;
    for (const BlockInfo& g : node.children)
      if (g.id == kGObj)
        for (const BlockInfo& b : g.children)
          if (b.id == kGBlock) {
            BlockShape s{b.offset, 0, false};
            if (const BlockInfo* v = Child(b, kVertices); v && Whole(*v, kVerticesHeadSize)) {
              s.vertices = U32(v->offset + 8);
              s.hasVertices = true;
            }
            blocks.push_back(s);
          }
    meshes_.push_back(std::move(blocks));
  }

  void CountBones(const BlockInfo& b) {
    if (b.id == kBone) ++bones_;
    for (const BlockInfo& c : b.children) CountBones(c);
  }

  void Block(const BlockInfo& g) {
    const BlockInfo* list = Child(g, kBoneList);
    const BlockInfo* verts = Child(g, kVertices);
    if (!list || !Whole(*list, 12)) return;
    const uint32_t n = U32(list->offset + 8);
    const std::string where = "GBlock at " + At(g.offset);
    if (list->size != 12 + uint64_t{n} * 4)
      out_.push_back(where + ": BoneList size " + std::to_string(list->size) + ", expected 12 + 4 x " + std::to_string(n));
    if (n > kMaxBonesPerBlock)
      out_.push_back(where + ": uses " + std::to_string(n) + " bones, more than " + std::to_string(kMaxBonesPerBlock));
    for (uint32_t i = 0; i < n && 12 + uint64_t{i} * 4 + 4 <= list->size; ++i)
      if (uint32_t bone = U32(list->offset + 12 + i * 4); bone >= bones_)
        out_.push_back(where + ": bone " + std::to_string(bone) + " of " + std::to_string(bones_) + " bone records");
    if (verts && Whole(*verts, kVerticesHeadSize)) {
      const uint32_t stride = U32(verts->offset + 12), format = U32(verts->offset + 16);
      const uint64_t expected = VertexStride(TexturePairsOfFormat(format)) + uint64_t{n} * 4;
      if (stride != expected)
        out_.push_back(where + ": vertex stride " + std::to_string(stride) + ", expected " + std::to_string(expected) +
                       " for " + std::to_string(n) + " bone weights");
      if (const BlockInfo* morph = Child(g, kMorphDeltas); morph && Whole(*morph, 16)) {
        const uint32_t count = U32(morph->offset + 8), targets = U32(morph->offset + 12);
        if (count != U32(verts->offset + 8))
          out_.push_back(where + ": MorphDeltas for " + std::to_string(count) + " vertices, the block has " +
                         std::to_string(U32(verts->offset + 8)));
        if (morph->size != 16 + uint64_t{count} * targets * 12)
          out_.push_back(where + ": MorphDeltas size " + std::to_string(morph->size) + ", expected 16 + 12 x " +
                         std::to_string(count) + " x " + std::to_string(targets));
      }
    }
  }

  // Each bone's point lists, read from its head without trusting any count beyond its bytes.
  void Bones(const BlockInfo& b) {
    if (b.id == kBone && !b.Truncated()) PointLists(b);
    for (const BlockInfo& c : b.children) Bones(c);
  }

  void PointLists(const BlockInfo& bone) {
    ByteReader r(data_.subspan(bone.offset, bone.size));
    if (!r.Seek(12)) return;
    auto length = r.U32();
    if (!length || !r.Skip(*length)) return;
    auto lists = r.U32();
    if (!lists || !r.Skip(164)) return;
    const std::string where = "Bone at " + At(bone.offset);
    for (uint32_t l = 0; l < *lists; ++l) {
      auto mesh = r.U32(), block = r.U32(), n = r.U32();
      if (!mesh || !block || !n || r.Remaining() / 8 < *n) {
        out_.push_back(where + ": point list " + std::to_string(l) + " runs past the record");
        return;
      }
      const uint32_t index = *block & ~kPointListBlockFlag;
      const BlockShape* shape = nullptr;
      if (!(*block & kPointListBlockFlag))
        out_.push_back(where + ": point list " + std::to_string(l) + " has no block flag");
      else if (*mesh >= meshes_.size() || index >= meshes_[*mesh].size())
        out_.push_back(where + ": point list " + std::to_string(l) + " names mesh " + std::to_string(*mesh) +
                       " block " + std::to_string(index) + ", which does not exist");
      else
        shape = &meshes_[*mesh][index];
      uint32_t outside = 0;
      for (uint32_t k = 0; k < *n; ++k) {
        uint32_t v = *r.U32();
        if (shape && shape->hasVertices && v >= shape->vertices) ++outside;
      }
      r.Skip(uint64_t{*n} * 4);
      if (outside)
        out_.push_back(where + ": point list " + std::to_string(l) + " has " + std::to_string(outside) +
                       " vertex indices outside its block of " + std::to_string(shape->vertices) + " vertices");
    }
  }

  std::span<const uint8_t> data_;
  std::vector<std::string>& out_;
  std::vector<std::vector<BlockShape>> meshes_;
  uint32_t bones_ = 0;
};

void Find(std::span<const uint8_t> data, const std::vector<BlockInfo>& blocks, std::vector<std::string>& out) {
  for (const BlockInfo& b : blocks) {
    if (b.id == kSkeletonObj)
      SkeletonChecker(data, out).Run(b);
    else
      Find(data, b.children, out);
  }
}

}  // namespace

void ValidateSkeleton(std::span<const uint8_t> data, const ZefFile& file, std::vector<std::string>& findings) {
  Find(data, file.blocks, findings);
}

}  // namespace vorlan::zef
