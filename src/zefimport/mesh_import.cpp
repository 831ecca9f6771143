// GObj and GBlock blocks: one triangle mesh per GObj, one material part per GBlock.
#include <algorithm>
#include <array>

#include "support/log.h"
#include "zef/blocks.h"
#include "zefimport/scene_import.h"
#include "zefimport/texture_channels.h"

namespace vorlan::zefimport {

namespace {

using support::LogFormat;

constexpr std::array<uint32_t, 3> kCornerNumbers{0, 1, 2};

// What the GBlocks of one GObj build together.
struct MeshBuild {
  host::Node& node;
  std::shared_ptr<host::Object> object;
  host::Mesh* mesh = nullptr;
  std::shared_ptr<host::Mtl> multi;
  int gblocks = 0;
  int pendingInstance = -1;  // instance entry waiting for this node's object
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

bool ReadVertices(ImportContext& ctx, MeshBuild& mb, PartBuild& pb) {
  FixedPart part(ctx);
  if (!part.Read()) return false;
  support::ByteReader r = part.Reader();
  r.Seek(8);
  auto count = r.U32(), stride = r.U32(), format = r.U32();
  (void)format;
  if (!count || !stride) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  LogFormat(kLogTree, "Vertices: %d\n", static_cast<int>(*count));
  // The vertex records must lie inside the block before anything grows by the count.
  if (*stride < 24 || uint64_t{*count} * *stride > part.Size() - 20) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  host::Mesh& m = *mb.mesh;
  const std::size_t n = *count, step = *stride;
  const uint8_t* base = part.Bytes().data() + 20;
  pb.vertBase = static_cast<uint32_t>(m.verts.size());
  pb.vertCount = static_cast<uint32_t>(n);
  m.verts.resize(m.verts.size() + n);
  m.explicitNormals.resize(m.verts.size());
  host::Point3* pos = m.verts.data() + pb.vertBase;
  host::Point3* nrm = m.explicitNormals.data() + pb.vertBase;
  for (std::size_t i = 0; i < n; ++i) {
    const uint8_t* v = base + i * step;
    pos[i] = {support::LoadF32(v), support::LoadF32(v + 4), support::LoadF32(v + 8)};
    nrm[i] = {support::LoadF32(v + 12), support::LoadF32(v + 16), support::LoadF32(v + 20)};
  }
  // Pairs the vertex records do not have room for are not read.
  const std::size_t available = (step - 24) / 8;
  for (std::size_t k = 0; k < pb.pairs.size() && k < available; ++k) {
    host::MapChannel& ch = m.Map(pb.pairs[k].channel);
    const std::size_t first = ch.tverts.size();
    ch.tverts.resize(first + n);
    host::Point3* t = ch.tverts.data() + first;
    const std::size_t at = 24 + 8 * k;
    for (std::size_t i = 0; i < n; ++i) {
      const uint8_t* v = base + i * step + at;
      t[i] = {support::LoadF32(v), 1.0f - support::LoadF32(v + 4), 0.0f};
    }
  }
  return true;
}

bool ReadFaces(ImportContext& ctx, MeshBuild& mb, PartBuild& pb) {
  FixedPart part(ctx);
  if (!part.Read()) return false;
  support::ByteReader r = part.Reader();
  r.Seek(8);
  auto count = r.U32();
  if (!count) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  LogFormat(kLogTree, "Faces: %d\n", static_cast<int>(*count));
  if (uint64_t{*count} * 12 > part.Size() - 12) {
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
  const uint8_t* src = part.Bytes().data() + 12;
  m.faces.resize(faceBase + n);
  m.normalFaces.resize(faceBase + n);
  bool reported = false;
  for (std::size_t i = 0; i < n; ++i) {
    host::MeshFace& f = m.faces[faceBase + i];
    for (std::size_t k = 0; k < 3; ++k) {
      uint32_t idx = support::LoadU32(src + 12 * i + 4 * Corner(pb, k));
      // An index past this part's vertices would point into another part or past the mesh.
      if (idx >= pb.vertCount) {
        if (!reported)
          LogFormat(support::LOG_ERROR, "ImportGobjBlock() : face index %u out of range, face %d\n", idx,
                    static_cast<int>(i));
        reported = true;
        idx = 0;
      }
      f.v[k] = pb.vertBase + idx;
    }
    f.matId = matId;
    f.edgeVis = 7;
    f.smGroup = 0;
    m.normalFaces[faceBase + i] = f.v;
  }
  for (std::size_t c = 0; c < pb.channels.size(); ++c) {
    host::MapChannel& ch = m.Map(pb.channels[c]);
    // Faces of earlier parts without this channel get placeholder map faces, so that map
    // face i stays the map face of mesh face i.
    if (ch.tfaces.size() < faceBase) ch.tfaces.resize(faceBase, kCornerNumbers);
    const std::size_t base = pb.channelBase[c];
    const std::size_t tcount = ch.tverts.size();
    ch.tfaces.reserve(faceBase + n);
    for (std::size_t i = 0; i < n; ++i) {
      const uint8_t* t = src + 12 * i;
      const uint64_t v0 = base + support::LoadU32(t + 4 * Corner(pb, 0)),
                     v1 = base + support::LoadU32(t + 4 * Corner(pb, 1)),
                     v2 = base + support::LoadU32(t + 4 * Corner(pb, 2));
      if (v0 >= tcount || v1 >= tcount || v2 >= tcount) {
        LogFormat(kLogTree, "chn %d: v0 = %d;\tv1 = %d;\tv2 = %d\n", pb.channels[c], static_cast<int>(v0),
                  static_cast<int>(v1), static_cast<int>(v2));
        ch.tfaces.push_back(kCornerNumbers);
      } else {
        ch.tfaces.push_back(
            {static_cast<uint32_t>(v0), static_cast<uint32_t>(v1), static_cast<uint32_t>(v2)});
      }
    }
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
  const int kind = pb.material ? pb.material->kind : kKindOther;
  const uint32_t mask = pb.material ? pb.material->mask : 0;
  pb.pairs = PairTargets(ctx.version, kind, mask);
  for (const PairTarget& t : pb.pairs)
    if (std::find(pb.channels.begin(), pb.channels.end(), t.channel) == pb.channels.end()) {
      pb.channels.push_back(t.channel);
      pb.channelBase.push_back(static_cast<uint32_t>(mb.mesh->Map(t.channel).tverts.size()));
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
    if (ch.tfaces.size() == faces) {
      for (auto& tf : ch.tfaces)
        for (std::size_t k = 0; k < 3; ++k)
          if (tf[k] >= ch.tverts.size()) tf[k] = static_cast<uint32_t>(k);
    } else {
      ch.tfaces.resize(faces, kCornerNumbers);
    }
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
