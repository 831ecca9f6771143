#include "rigexp/rig_writer.h"

#include <cstring>

#include "support/bytes.h"
#include "support/log.h"
#include "zef/blocks.h"

namespace vorlan::rigexp {

using support::ByteWriter;
using support::LogFormat;
using support::LOG_INFO;

namespace {

constexpr const char* kSkeletonObjName = "SkeletonObj";
constexpr uint32_t kBoneHeadFixed = 184;

uint32_t NameBytes(const std::string& s) { return static_cast<uint32_t>(std::strlen(s.c_str()) + 1); }

uint32_t ObjectHeadBytes(const RigMesh& m) { return 12 + zef::kTransformSize + 12 + NameBytes(m.userProps); }

uint32_t PartBytes(const RigPart& p) {
  uint32_t bytes = 12 + 20 + p.NumVertices() * 4 * p.FloatsPerVertex() + 12 + 12 * static_cast<uint32_t>(p.faces.size());
  if (p.morphTargets) bytes += 16 + 12 * p.NumVertices() * p.morphTargets;
  return bytes;
}

uint32_t MeshNodeBytes(const RigMesh& m, bool split) {
  uint32_t bytes = 16 + NameBytes(m.name) + ObjectHeadBytes(m);
  if (split)
    for (const RigBlock& b : m.blocks) bytes += BlockBytes(m.parts[b.part], b.split);
  else
    for (const RigPart& p : m.parts) bytes += PartBytes(p);
  return bytes;
}

uint32_t ListBytes(const PointList& l) { return 12 + 8 * static_cast<uint32_t>(l.vertices.size()); }

uint32_t BoneBytes(const RigState& s, uint32_t index, bool split) {
  const RigBone& b = s.bones[index];
  uint32_t bytes = kBoneHeadFixed + NameBytes(b.name);
  if (split)
    for (const PointList& l : b.blockLists) bytes += ListBytes(l);
  else
    bytes += b.firstPassBytes;
  for (uint32_t c : b.children) bytes += BoneBytes(s, c, split);
  return bytes;
}

RigSizes Sizes(const RigState& s, uint32_t prefixBytes, uint32_t rootHead, bool split,
               const std::vector<uint32_t>* topSizes) {
  RigSizes out;
  out.skeletonData = 16 + NameBytes(s.skeletonRoot->GetName()) + 8;
  for (std::size_t i = 0; i < s.topBones.size(); ++i)
    out.skeletonData += topSizes ? (*topSizes)[i] : BoneBytes(s, s.topBones[i], split);
  out.skeletonObj = 16 + NameBytes(kSkeletonObjName) + out.skeletonData;
  for (const RigMesh& m : s.meshes) out.skeletonObj += MeshNodeBytes(m, split);
  out.root = prefixBytes - rootHead + out.skeletonObj;
  return out;
}

// The logged walk of the size recomputation: a bone, then its nested records, then the
// change of its size.
uint32_t RecomputeBone(const RigState& s, uint32_t index) {
  const RigBone& b = s.bones[index];
  LogFormat(LOG_INFO, "%d: %s, child: %d\n", static_cast<int>(index), b.name.c_str(), static_cast<int>(b.sceneChildren));
  char fill = ' ';
  const int indent = support::LogGetIndent(&fill);
  support::LogSetIndent(indent + 2, fill);
  uint32_t size = kBoneHeadFixed + NameBytes(b.name);
  for (const PointList& l : b.blockLists) size += ListBytes(l);
  for (uint32_t c : b.children) size += RecomputeBone(s, c);
  support::LogSetIndent(indent, fill);
  const uint32_t old = BoneBytes(s, index, false);
  if (old != size)
    LogFormat(LOG_INFO, "--- %s, old_size: %d, new_size: %d\n", b.name.c_str(), static_cast<int>(old), static_cast<int>(size));
  return size;
}

void AppendPointList(const PointList& l, ByteWriter& w) {
  w.U32(l.mesh);
  w.U32(l.block | kBlockIndexFlag);
  w.U32(static_cast<uint32_t>(l.vertices.size()));
  for (uint32_t v : l.vertices) w.U32(v);
  for (float f : l.weights) w.F32(f);
}

void AppendBone(const RigState& s, uint32_t index, ByteWriter& w) {
  const RigBone& b = s.bones[index];
  w.U32(zef::kBone);
  w.U32(BoneBytes(s, index, true));
  w.U32(b.sceneChildren);
  w.U32(NameBytes(b.name));
  w.CString(b.name.c_str());
  w.U32(static_cast<uint32_t>(b.blockLists.size()));
  for (int a = 0; a < 3; ++a) w.F32(b.offset[a]);
  for (uint32_t v : b.pointsA) w.U32(v);
  for (uint32_t v : b.pointsB) w.U32(v);
  for (int pass = 0; pass < 2; ++pass)
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) {
        float v = r == c ? 1.0f : 0.0f;
        if (pass == 1 && r == 3 && c < 3) v = b.position[c];
        w.F32(v);
      }
  for (const PointList& l : b.blockLists) AppendPointList(l, w);
  for (uint32_t c : b.children) AppendBone(s, c, w);
}

void AppendMesh(const RigMesh& m, ByteWriter& w) {
  uint32_t objBytes = ObjectHeadBytes(m);
  for (const RigBlock& b : m.blocks) objBytes += BlockBytes(m.parts[b.part], b.split);
  w.U32(zef::kNode);
  w.U32(16 + NameBytes(m.name) + objBytes);
  w.U32(0);
  w.U32(NameBytes(m.name));
  w.CString(m.name.c_str());

  w.U32(zef::kGObj);
  w.U32(objBytes);
  w.U32(static_cast<uint32_t>(m.blocks.size()));
  // The Transform block comes from the scene exporter's builder, through a scratch buffer.
  zef::SceneBuffer t(256);
  zefexport::WriteTransformBlock(t, m.transform);
  zefexport::WriteUserPropsBlock(t, m.userProps);
  w.Bytes(t.Written());
}

}  // namespace

uint32_t BlendedFormat(uint32_t format, std::size_t bones) {
  static constexpr uint32_t kCodes[] = {0x2, 0x6, 0x8, 0xA, 0xC, 0xE};
  const uint32_t code = bones >= 1 && bones <= 5 ? kCodes[bones] : 0x2;
  return (format & ~0x400Eu) | code;
}

uint32_t BlockBytes(const RigPart& part, const SplitBlock& block) {
  const uint32_t n = static_cast<uint32_t>(block.vertices.size());
  const uint32_t nb = static_cast<uint32_t>(block.bones.size());
  uint32_t bytes = 12 + 20 + n * (4 * part.FloatsPerVertex() + 4 * nb) + 12 + 12 * static_cast<uint32_t>(block.faces.size());
  if (part.morphTargets) bytes += 16 + 12 * n * part.morphTargets;
  return bytes + 12 + 4 * nb;
}

void AppendBlock(const RigPart& part, const SplitBlock& block, std::vector<uint8_t>& out) {
  ByteWriter w(out);
  const uint32_t n = static_cast<uint32_t>(block.vertices.size());
  const uint32_t nb = static_cast<uint32_t>(block.bones.size());
  const uint32_t fpv = part.FloatsPerVertex();
  const uint32_t stride = 4 * fpv + 4 * nb;
  w.U32(zef::kGBlock);
  w.U32(BlockBytes(part, block));
  w.I32(part.material);

  w.U32(zef::kVertices);
  w.U32(20 + n * stride);
  w.U32(n);
  w.U32(stride);
  w.U32(BlendedFormat(zef::VertexFormat(part.pairs), nb));
  for (uint32_t v : block.vertices) {
    const float* src = part.vertices.data() + std::size_t(v) * fpv;
    for (int a = 0; a < 3; ++a) w.F32(src[a]);
    for (uint32_t bone : block.bones) {
      float weight = 0.0f;
      for (const Influence& i : part.influences[v])
        if (i.bone == bone) {
          weight = i.weight;
          break;
        }
      w.F32(weight);
    }
    for (uint32_t k = 3; k < fpv; ++k) w.F32(src[k]);
  }

  w.U32(zef::kFaces);
  w.U32(12 + 12 * static_cast<uint32_t>(block.faces.size()));
  w.U32(static_cast<uint32_t>(block.faces.size()));
  for (const auto& f : block.faces)
    for (uint32_t i : f) w.U32(i);

  if (part.morphTargets) {
    w.U32(zef::kMorphDeltas);
    w.U32(16 + 12 * n * part.morphTargets);
    w.U32(n);
    w.U32(part.morphTargets);
    for (uint32_t v : block.vertices)
      for (uint32_t t = 0; t < part.morphTargets; ++t) {
        const host::Point3 d = part.morphDeltas[std::size_t(v) * part.morphTargets + t];
        for (int a = 0; a < 3; ++a) w.F32(d[a]);
      }
  }

  w.U32(zef::kBoneList);
  w.U32(12 + 4 * nb);
  w.U32(nb);
  for (uint32_t bone : block.bones) w.U32(bone);
}

RigSizes FirstPassSizes(const RigState& state, uint32_t prefixBytes, uint32_t rootHead) {
  return Sizes(state, prefixBytes, rootHead, false, nullptr);
}

void SplitMeshes(RigState& state) {
  for (uint32_t m = 0; m < state.meshes.size(); ++m) {
    RigMesh& mesh = state.meshes[m];
    LogFormat(LOG_INFO, "\n");
    LogFormat(LOG_INFO, "PrepareNode: %d\n", static_cast<int>(m));
    mesh.blocks.clear();
    for (uint32_t p = 0; p < mesh.parts.size() && !mesh.splitFailed; ++p) {
      RigPart& part = mesh.parts[p];
      SplitResult split = SplitPart(SplitInput{part.influences, part.faces});
      mesh.cuts.reducedFaces += split.cuts.reducedFaces;
      mesh.cuts.largestCut = std::max(mesh.cuts.largestCut, split.cuts.largestCut);
      for (SplitBlock& b : split.blocks) {
        const uint32_t blockIndex = static_cast<uint32_t>(mesh.blocks.size());
        // Each bone of the block lists the block's vertices it moves, in vertex order.
        for (uint32_t bone : b.bones) {
          PointList list{m, blockIndex, {}, {}};
          for (uint32_t local = 0; local < b.vertices.size(); ++local)
            for (const Influence& i : part.influences[b.vertices[local]])
              if (i.bone == bone) {
                list.vertices.push_back(local);
                list.weights.push_back(i.weight);
                break;
              }
          if (!list.vertices.empty()) state.bones[bone].blockLists.push_back(std::move(list));
        }
        mesh.blocks.push_back({p, std::move(b)});
      }
      if (split.failed) {
        mesh.splitFailed = true;
        state.Message("Can't split block: too many bones per face found!", "Error", host::Icon::Error);
      }
    }
    LogFormat(LOG_INFO, "Number of blocks (before/now): %d/%d\n", static_cast<int>(mesh.parts.size()),
              static_cast<int>(mesh.blocks.size()));
  }
}

RigSizes RecomputeSizes(RigState& state, uint32_t prefixBytes, uint32_t rootHead) {
  std::vector<uint32_t> top;
  for (uint32_t b : state.topBones) top.push_back(RecomputeBone(state, b));
  return Sizes(state, prefixBytes, rootHead, true, &top);
}

void AppendSkeleton(const RigState& state, const RigSizes& sizes, std::vector<uint8_t>& out) {
  ByteWriter w(out);
  w.U32(zef::kSkeletonObj);
  w.U32(sizes.skeletonObj);
  w.U32(state.skeletonChildren);
  w.U32(NameBytes(kSkeletonObjName));
  w.CString(kSkeletonObjName);
  for (const RigMesh& m : state.meshes) {
    AppendMesh(m, w);
    for (const RigBlock& b : m.blocks) AppendBlock(m.parts[b.part], b.split, out);
  }
  const std::string rootName = state.skeletonRoot->GetName();
  w.U32(zef::kSkeletonData);
  w.U32(sizes.skeletonData);
  w.U32(1);
  w.U32(NameBytes(rootName));
  w.CString(rootName.c_str());
  w.F32(1.0f);
  w.U32(state.pointCounter);
  for (uint32_t b : state.topBones) AppendBone(state, b, w);
}

}  // namespace vorlan::rigexp
