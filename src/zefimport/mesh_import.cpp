// GObj and GBlock blocks: one triangle mesh per GObj, one material part per GBlock.
#include <algorithm>
#include <array>
#include <cassert>

#include "support/append_generated.h"
#include "support/log.h"
#include "support/memmgr.h"
#include "zef/blocks.h"
#include "zefimport/scene_import.h"
#include "zefimport/texture_channels.h"

namespace vorlan::zefimport {

namespace {

using support::LogFormat;

constexpr std::array<uint32_t, 3> kCornerNumbers{0, 1, 2};

// How much the GBlocks of one GObj will add to its mesh, taken from their block heads before
// the first of them is read, so that every array of the mesh is allocated once. Only a
// capacity hint: the blocks are checked again when they are read.
struct MeshPlan {
  uint64_t verts = 0;
  uint64_t faces = 0;
  std::vector<uint64_t> channelVerts;  // by host map channel
};

// What the GBlocks of one GObj build together.
struct MeshBuild {
  host::Node& node;
  std::shared_ptr<host::Object> object;
  host::Mesh* mesh = nullptr;
  std::shared_ptr<host::Mtl> multi;
  int gblocks = 0;
  int pendingInstance = -1;  // instance entry waiting for this node's object
  MeshPlan plan;
};

// One GBlock while it is read.
struct PartBuild {
  int32_t matIndex = -1;
  const MaterialEntry* material = nullptr;
  std::vector<PairTarget> pairs;
  uint32_t vertBase = 0;      // mesh vertices before this GBlock
  uint32_t vertCount = 0;     // vertices this GBlock added
  std::vector<int> channels;  // distinct channels of the pairs, in order
  std::vector<uint32_t> channelBase;
  // The exporter turns the corners of a mirrored node's triangles around so that they face
  // outwards in the world; the host's mesh has them the other way.
  bool mirrored = false;
};

// Corner k of the host face is corner Corner(k) of the file's triangle.
inline std::size_t Corner(const PartBuild& pb, std::size_t k) { return pb.mirrored ? 2 - k : k; }

// The texture-coordinate pairs of a GBlock's vertices: those of its MatList record.
std::vector<PairTarget> PairsOf(const ImportContext& ctx, int32_t matIndex) {
  const MaterialEntry* material = matIndex >= 0 && static_cast<std::size_t>(matIndex) < ctx.materials.size()
                                      ? &ctx.materials[static_cast<std::size_t>(matIndex)]
                                      : nullptr;
  return PairTargets(ctx.version, material ? material->kind : kKindOther, material ? material->mask : 0);
}

// The vertex and face records that a Vertices or Faces block at `at` holds, 0 when the
// block is malformed (the read of it will say why).
uint64_t VertexRecords(std::span<const uint8_t> file, std::size_t at, uint32_t size, uint32_t* stride) {
  if (size < 20 || size > file.size() - at) return 0;
  const uint32_t count = support::LoadU32(file.data() + at + 8),
                 step = support::LoadU32(file.data() + at + 12);
  if (step < 24 || uint64_t{count} * step > size - 20) return 0;
  *stride = step;
  return count;
}
uint64_t FaceRecords(std::span<const uint8_t> file, std::size_t at, uint32_t size) {
  if (size < 12 || size > file.size() - at) return 0;
  const uint32_t count = support::LoadU32(file.data() + at + 8);
  return uint64_t{count} * 12 > size - 12 ? 0 : count;
}

// Walks the GBlocks of the GObj that spans [begin, end) of the file by their heads alone.
// Every counted record lies inside the file, so the plan never asks for more than the file
// can fill.
MeshPlan PlanMesh(const ImportContext& ctx, std::size_t begin, std::size_t end) {
  MeshPlan plan;
  const std::span<const uint8_t> file = ctx.reader.Bytes();
  end = std::min(end, file.size());
  for (std::size_t at = begin; at + zef::kBlockHeadSize <= end;) {
    const uint32_t id = support::LoadU32(file.data() + at), size = support::LoadU32(file.data() + at + 4);
    if (size < zef::kBlockHeadSize || size > end - at) break;
    if (id == zef::kGBlock && size >= zef::kGBlockHeadSize) {
      const std::vector<PairTarget> pairs =
          PairsOf(ctx, static_cast<int32_t>(support::LoadU32(file.data() + at + 8)));
      const std::size_t blockEnd = at + size;
      for (std::size_t in = at + zef::kGBlockHeadSize; in + zef::kBlockHeadSize <= blockEnd;) {
        const uint32_t sub = support::LoadU32(file.data() + in),
                       subSize = support::LoadU32(file.data() + in + 4);
        if (subSize < zef::kBlockHeadSize || subSize > blockEnd - in) break;
        if (sub == zef::kVertices) {
          uint32_t stride = 0;
          const uint64_t n = VertexRecords(file, in, subSize, &stride);
          plan.verts += n;
          const std::size_t available = n ? (stride - 24) / 8 : 0;
          for (std::size_t k = 0; k < pairs.size() && k < available; ++k) {
            const auto ch = static_cast<std::size_t>(pairs[k].channel);
            if (plan.channelVerts.size() <= ch) plan.channelVerts.resize(ch + 1);
            plan.channelVerts[ch] += n;
          }
        } else if (sub == zef::kFaces) {
          plan.faces += FaceRecords(file, in, subSize);
        }
        in += subSize;
      }
    }
    at += size;
  }
  return plan;
}

// Channel `channel` of the mesh; the first time a part touches it, it gets room for what the
// plan expects.
host::MapChannel& PlannedMap(MeshBuild& mb, int channel) {
  host::MapChannel& ch = mb.mesh->Map(channel);
  if (ch.tverts.capacity() == 0 && ch.tfaces.capacity() == 0) {
    const auto c = static_cast<std::size_t>(channel);
    if (c < mb.plan.channelVerts.size()) support::ReserveFresh(ch.tverts, mb.plan.channelVerts[c]);
    support::ReserveFresh(ch.tfaces, mb.plan.faces);
  }
  return ch;
}

bool ReadVertices(ImportContext& ctx, MeshBuild& mb, PartBuild& pb) {
  // Vertex records are decoded straight from the loaded file: a copy of them would cost
  // as much as the decoding.
  auto part = ctx.reader.ViewFixedPart();
  if (!part) return false;
  support::ByteReader r(*part);
  r.Seek(8);
  auto count = r.U32(), stride = r.U32(), format = r.U32();
  (void)format;
  if (!count || !stride) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  LogFormat(kLogTree, "Vertices: %d\n", static_cast<int>(*count));
  // The vertex records must lie inside the block before anything grows by the count.
  if (*stride < 24 || uint64_t{*count} * *stride > part->size() - 20) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  host::Mesh& m = *mb.mesh;
  const std::size_t n = *count, step = *stride;
  const uint8_t* base = part->data() + 20;
  pb.vertBase = static_cast<uint32_t>(m.verts.size());
  pb.vertCount = static_cast<uint32_t>(n);
  // Normals line up with the vertices even when an earlier part was cut short.
  m.explicitNormals.resize(m.verts.size());
  support::AppendGenerated(m.verts, n, [base, step](std::size_t i) VORLAN_INLINE {
    const uint8_t* v = base + i * step;
    return host::Point3{support::LoadF32(v), support::LoadF32(v + 4), support::LoadF32(v + 8)};
  });
  support::AppendGenerated(m.explicitNormals, n, [base, step](std::size_t i) VORLAN_INLINE {
    const uint8_t* v = base + i * step + 12;
    return host::Point3{support::LoadF32(v), support::LoadF32(v + 4), support::LoadF32(v + 8)};
  });
  // Pairs the vertex records do not have room for are not read.
  const std::size_t available = (step - 24) / 8;
  for (std::size_t k = 0; k < pb.pairs.size() && k < available; ++k) {
    const uint8_t* pairs = base + 24 + 8 * k;
    support::AppendGenerated(PlannedMap(mb, pb.pairs[k].channel).tverts, n,
                             [pairs, step](std::size_t i) VORLAN_INLINE {
                               const uint8_t* v = pairs + i * step;
                               return host::Point3{support::LoadF32(v), 1.0f - support::LoadF32(v + 4), 0.0f};
                             });
  }
  return true;
}

// A corner index past its part's vertices would point into another part or past the mesh:
// it becomes the part's first vertex, and the first such face of the part is logged.
// Kept out of line, so that the loop over good faces stays small.
[[gnu::cold]] void RepairCorners(uint32_t (&v)[3], uint32_t vertCount, std::size_t face, bool& reported) {
  for (uint32_t& idx : v) {
    if (idx < vertCount) continue;
    if (!reported)
      LogFormat(support::LOG_ERROR, "ImportGobjBlock() : face index %u out of range, face %d\n", idx,
                static_cast<int>(face));
    reported = true;
    idx = 0;
  }
}

// A map face whose corners lie past the channel's vertices gets the placeholder.
[[gnu::cold]] std::array<uint32_t, 3> MissingMapFace(int channel, uint64_t v0, uint64_t v1, uint64_t v2) {
  LogFormat(kLogTree, "chn %d: v0 = %d;\tv1 = %d;\tv2 = %d\n", channel, static_cast<int>(v0),
            static_cast<int>(v1), static_cast<int>(v2));
  return kCornerNumbers;
}

bool ReadFaces(ImportContext& ctx, MeshBuild& mb, PartBuild& pb) {
  auto part = ctx.reader.ViewFixedPart();
  if (!part) return false;
  support::ByteReader r(*part);
  r.Seek(8);
  auto count = r.U32();
  if (!count) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  LogFormat(kLogTree, "Faces: %d\n", static_cast<int>(*count));
  if (uint64_t{*count} * 12 > part->size() - 12) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  const std::size_t n = *count;
  if (n == 0) return true;
  if (pb.vertCount == 0) {
    support::LogWrite("ImportGobjBlock() : faces without vertices\n", support::LOG_ERROR);
    return false;
  }
  host::Mesh& m = *mb.mesh;
  const std::size_t faceBase = m.faces.size();
  const uint16_t matId = static_cast<uint16_t>(pb.matIndex);
  const uint8_t* src = part->data() + 12;
  const std::size_t c0 = Corner(pb, 0), c1 = Corner(pb, 1), c2 = Corner(pb, 2);
  const uint32_t vertCount = pb.vertCount, vertBase = pb.vertBase;
  bool reported = false;
  support::AppendGenerated(
      m.faces, n, [src, c0, c1, c2, vertCount, vertBase, matId, &reported](std::size_t i) VORLAN_INLINE {
        const uint8_t* t = src + 12 * i;
        uint32_t v[3] = {support::LoadU32(t + 4 * c0), support::LoadU32(t + 4 * c1),
                         support::LoadU32(t + 4 * c2)};
        if (v[0] >= vertCount || v[1] >= vertCount || v[2] >= vertCount) [[unlikely]]
          RepairCorners(v, vertCount, i, reported);
        return host::MeshFace{.v = {v[0] + vertBase, v[1] + vertBase, v[2] + vertBase}, .matId = matId};
      });
  const host::MeshFace* faces = m.faces.data() + faceBase;
  support::AppendGenerated(m.normalFaces, n, [faces](std::size_t i) VORLAN_INLINE { return faces[i].v; });
  for (std::size_t c = 0; c < pb.channels.size(); ++c) {
    host::MapChannel& ch = PlannedMap(mb, pb.channels[c]);
    // Faces of earlier parts without this channel get placeholder map faces, so that map
    // face i stays the map face of mesh face i.
    if (ch.tfaces.size() < faceBase) ch.tfaces.resize(faceBase, kCornerNumbers);
    const std::size_t base = pb.channelBase[c];
    const std::size_t tcount = ch.tverts.size();
    const int channel = pb.channels[c];
    support::AppendGenerated(
        ch.tfaces, n, [src, c0, c1, c2, base, tcount, channel](std::size_t i) VORLAN_INLINE {
          const uint8_t* t = src + 12 * i;
          const uint64_t v0 = base + support::LoadU32(t + 4 * c0), v1 = base + support::LoadU32(t + 4 * c1),
                         v2 = base + support::LoadU32(t + 4 * c2);
          if (v0 >= tcount || v1 >= tcount || v2 >= tcount) [[unlikely]]
            return MissingMapFace(channel, v0, v1, v2);
          return std::array<uint32_t, 3>{static_cast<uint32_t>(v0), static_cast<uint32_t>(v1),
                                         static_cast<uint32_t>(v2)};
        });
  }
  return true;
}

bool ImportGBlock(ImportContext& ctx, MeshBuild& mb) {
  const std::size_t start = ctx.reader.Cursor();
  auto head = ctx.reader.PeekHead();
  if (!head) return false;
  PartBuild pb;
  {
    FixedPart part(ctx);
    if (!part.Read()) return false;
    support::ByteReader r = part.Reader();
    r.Seek(8);
    auto index = r.I32();
    if (!index) return false;
    pb.matIndex = *index;
  }
  LogFormat(kLogTree, "GBlock> MatID: %d\n", pb.matIndex);
  LogIndent indent(1);

  const bool first = mb.gblocks++ == 0;
  if (first) {
    mb.object = ctx.ip.CreateObject(host::kGeomObjectClass, host::kTriObjectClassId);
    mb.mesh = mb.object ? mb.object->GetEditableMesh() : nullptr;
    if (!mb.mesh) {
      support::LogWrite("ImportGobjBlock() : cannot create a mesh object\n", support::LOG_ERROR);
      mb.object.reset();
    } else {
      host::Mesh& m = *mb.mesh;
      support::ReserveFresh(m.verts, m.verts.size() + mb.plan.verts);
      support::ReserveFresh(m.explicitNormals, m.verts.size() + mb.plan.verts);
      support::ReserveFresh(m.faces, m.faces.size() + mb.plan.faces);
      support::ReserveFresh(m.normalFaces, m.faces.size() + mb.plan.faces);
    }
  }
  // Without a mesh to add to, the part is skipped.
  if (!mb.mesh) return SkipBlockFrom(ctx, start, *head);

  if (pb.matIndex >= 0 && static_cast<std::size_t>(pb.matIndex) < ctx.materials.size())
    pb.material = &ctx.materials[static_cast<std::size_t>(pb.matIndex)];
  if (mb.multi && pb.material) {
    // Slots are filled at the MatList index, so the material grows to take the index.
    if (pb.matIndex >= mb.multi->NumSubMtls()) mb.multi->SetNumSubMtls(pb.matIndex + 1);
    mb.multi->SetSubMtl(pb.matIndex, pb.material->mtl);
  }
  pb.mirrored = mb.node.GetNodeTM(0).Mirrors();
  pb.pairs = PairsOf(ctx, pb.matIndex);
  for (const PairTarget& t : pb.pairs)
    if (std::find(pb.channels.begin(), pb.channels.end(), t.channel) == pb.channels.end()) {
      pb.channels.push_back(t.channel);
      pb.channelBase.push_back(static_cast<uint32_t>(PlannedMap(mb, t.channel).tverts.size()));
    }

  const std::size_t end = start + head->size;
  bool ok = ctx.reader.SetPtr(static_cast<int64_t>(start + zef::kGBlockHeadSize), false);
  while (ok && ctx.reader.Cursor() < end) {
    const std::size_t at = ctx.reader.Cursor();
    auto h = ctx.reader.PeekHead();
    if (!h) return false;
    if (h->id == zef::kVertices) {
      ok = ReadVertices(ctx, mb, pb);
    } else if (h->id == zef::kFaces) {
      ok = ReadFaces(ctx, mb, pb);
    } else {
      ctx.unknownBlocks = true;
      LogFormat(support::LOG_ERROR,
                "ImportGobjBlock() : Unknown block found! BlockID: 0x%08X, File offset: %d\n", h->id,
                static_cast<int>(at));
    }
    ok = ok && SkipBlockFrom(ctx, at, *h);
  }
  if (!ok) return false;

  if (first) {
    mb.node.SetObjectRef(mb.object);
    if (mb.pendingInstance >= 0) {
      InstanceEntry& e = ctx.instances[static_cast<std::size_t>(mb.pendingInstance)];
      e.object = mb.object;
      e.nodeName = mb.node.GetName();
    }
  }
  std::shared_ptr<host::Mtl> mtl = mb.multi ? mb.multi : (pb.material ? pb.material->mtl : nullptr);
  mb.node.SetNodeMtl(mtl);
  if (mb.pendingInstance >= 0) ctx.instances[static_cast<std::size_t>(mb.pendingInstance)].mtl = mtl;
  return ctx.reader.SetPtr(static_cast<int64_t>(end), false);
}

bool ImportInstance(ImportContext& ctx, host::Node& node, MeshBuild& mb) {
  FixedPart part(ctx);
  if (!part.Read()) return false;
  support::ByteReader r = part.Reader();
  r.Seek(8);
  auto number = r.U32();
  if (!number) return false;
  for (const InstanceEntry& e : ctx.instances) {
    if (e.number != *number) continue;
    if (e.object) node.SetObjectRef(e.object);
    if (e.mtl) node.SetNodeMtl(e.mtl);
    LogFormat(kLogTree, "This object is an instance of \"%s\"\n", e.nodeName.c_str());
    return true;
  }
  if (ctx.instances.size() == ctx.instances.capacity()) ctx.instances.reserve(ctx.instances.size() + 64);
  ctx.instances.push_back({.number = *number});
  mb.pendingInstance = static_cast<int>(ctx.instances.size()) - 1;
  support::LogWrite("Creating new Instance entry.", support::LOG_INFO);
  return true;
}

// Every channel ends with one map face per mesh face, each pointing at map vertices that
// exist, so that the mesh is valid whatever the file said.
void FinishMesh(host::Mesh& m) {
  const std::size_t faces = m.faces.size();
  for (std::size_t c = 1; c < m.maps.size(); ++c) {
    host::MapChannel& ch = m.maps[c];
    if (ch.tverts.empty() && ch.tfaces.empty()) continue;
    // ReadFaces only writes map faces whose vertices exist or the placeholder 0, 1, 2,
    // and map vertices are never taken away, so what is there stays valid; the rest of
    // the faces get the placeholder, which three map vertices make valid.
    assert(std::all_of(ch.tfaces.begin(), ch.tfaces.end(), [&](const auto& tf) {
      return tf == kCornerNumbers ||
             (tf[0] < ch.tverts.size() && tf[1] < ch.tverts.size() && tf[2] < ch.tverts.size());
    }));
    if (ch.tfaces.size() != faces) ch.tfaces.resize(faces, kCornerNumbers);
    if (ch.tverts.size() < 3) ch.tverts.resize(3);
  }
  m.BuildNormals();
}

}  // namespace

bool ImportGObj(ImportContext& ctx, host::Node& node) {
  const std::size_t start = ctx.reader.Cursor();
  auto head = ctx.reader.PeekHead();
  if (!head) return false;
  uint32_t blocks = 0;
  {
    FixedPart part(ctx);
    if (!part.Read()) return false;
    support::ByteReader r = part.Reader();
    r.Seek(8);
    auto n = r.U32();
    if (!n) return false;
    blocks = *n;
  }
  LogFormat(kLogTree, "gobj> Blocks: %d\n", static_cast<int>(blocks));
  LogIndent indent(1);

  MeshBuild mb{.node = node};
  mb.plan = PlanMesh(ctx, start + zef::kGObjHeadSize, start + head->size);
  if (blocks > 1) {
    mb.multi = ctx.ip.CreateMtl(host::kMultiMtlClassId);
    if (mb.multi) mb.multi->SetNumSubMtls(static_cast<int>(std::min<uint32_t>(blocks, 0x10000)));
  }

  const std::size_t end = start + head->size;
  bool ok = ctx.reader.SetPtr(static_cast<int64_t>(start + zef::kGObjHeadSize), false);
  while (ok && ctx.reader.Cursor() < end) {
    const std::size_t at = ctx.reader.Cursor();
    auto h = ctx.reader.PeekHead();
    if (!h) {
      // The mesh built so far still gets its map faces made whole below.
      ok = false;
      break;
    }
    switch (h->id) {
      case zef::kGBlock:
        ok = ImportGBlock(ctx, mb);
        break;
      case zef::kUserProps:
        ok = ImportUserProps(ctx, node);
        break;
      case zef::kTransform:
        ok = ImportTransform(ctx, node);
        break;
      case zef::kInstance:
        ok = ImportInstance(ctx, node, mb);
        break;
      default:
        ctx.unknownBlocks = true;
        LogFormat(support::LOG_ERROR,
                  "ImportGOBJ() : Unknown block found! BlockID: 0x%08X, File offset: %d\n", h->id,
                  static_cast<int>(at));
        break;
    }
    ok = ok && SkipBlockFrom(ctx, at, *h);
  }
  if (mb.mesh) FinishMesh(*mb.mesh);
  if (!ok) return false;
  return ctx.reader.SetPtr(static_cast<int64_t>(end), false);
}

}  // namespace vorlan::zefimport
