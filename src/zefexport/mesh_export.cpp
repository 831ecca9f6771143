#include "zefexport/mesh_export.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "geometry/scene_smoothing.h"
#include "host/ids.h"
#include "host/mesh.h"
#include "support/bytes.h"
#include "support/two_halves.h"
#include "zef/flush.h"
#include "zefexport/mesh_export_channels.h"

namespace vorlan::zefexport {

void FaceList::Clear() {
  triangles.clear();
  positions.clear();
  normals.clear();
  hostVerts.clear();
  uvs.clear();
}

namespace {

// Faces whose material a mesh cannot take more than this many of, and keep 3 x count in 32 bits.
constexpr std::size_t kMaxTriangles = 0x50000000;
// Faces from which a face list is filled on two threads.
constexpr std::size_t kFacesForTwoThreads = 1 << 15;

std::string MaterialErrorText(const std::string& mtl, const std::string& node, int face, int matId) {
  return "Material error: data inconsistency found in material '" + mtl + "'.\nNode: '" + node +
         "', Face: " + std::to_string(face) + ", MtlId: " + std::to_string(matId) +
         "\nAssigning default material to this face.";
}

constexpr uint32_t kNoSlot = UINT32_MAX;

// Where a face's material id leads: the MatList index, the host material and, once a face
// has used it, the texture plan bound to this mesh.
struct SlotState {
  int32_t matIndex = -1;
  host::Mtl* mtl = nullptr;
  bool reported = false;  // the material error was shown for this slot
  std::optional<BoundPlan> plan;
};

class FaceListBuilder {
 public:
  FaceListBuilder(ExportContext& ctx, const host::Node& node, host::Mesh& mesh)
      : ctx_(ctx), node_(node), mesh_(mesh) {}

  void Build(const host::Matrix3& toPivot, bool mirrored, FaceList& out);

 private:
  // Resolves the material of face f; returns the slot it uses, or null for the default
  // material without texture coordinates.
  SlotState* Resolve(uint32_t f);
  const BoundPlan& PlanOf(SlotState& slot);

  ExportContext& ctx_;
  const host::Node& node_;
  host::Mesh& mesh_;
  const zef::MaterialSlotMap* slotMap_ = nullptr;
  std::vector<SlotState> slots_;
  BoundPlan none_;
  bool warnedPairs_ = false;
};

SlotState* FaceListBuilder::Resolve(uint32_t f) {
  if (slots_.empty()) return nullptr;
  const uint32_t matId = mesh_.faces[f].matId;
  SlotState& s = slots_[matId % slots_.size()];
  if (s.mtl) return &s;
  if (!s.reported) {
    // Shown once per slot: a broken multi-material would otherwise raise one box per face.
    s.reported = true;
    host::Mtl* nodeMtl = node_.GetMtl();
    ctx_.Message(MaterialErrorText(nodeMtl ? nodeMtl->GetName() : std::string(), node_.GetName(),
                                   static_cast<int>(f), static_cast<int>(matId)),
                 "Error", host::Buttons::Ok, host::Icon::Error);
  }
  return nullptr;
}

const BoundPlan& FaceListBuilder::PlanOf(SlotState& slot) {
  if (slot.plan) return *slot.plan;
  TexturePlan plan =
      PlanTextures(slot.mtl, ctx_.materials.CropFor(slot.matIndex), ctx_.materials.LayersFor(slot.mtl));
  if (plan.noGenerator) ctx_.Message("Something is wrong", "Error");
  if (plan.wanted > plan.pairCount && !warnedPairs_) {
    warnedPairs_ = true;
    ctx_.Message("Node '" + node_.GetName() + "': material '" + slot.mtl->GetName() + "' uses " +
                     std::to_string(plan.wanted) + " texture channels; a vertex carries at most " +
                     std::to_string(kMaxTexturePairs) + ", the others are left out.",
                 "Warning", host::Buttons::Ok, host::Icon::Warning);
  }
  slot.plan = BindPlan(plan, mesh_);
  return *slot.plan;
}

void FaceListBuilder::Build(const host::Matrix3& toPivot, bool mirrored, FaceList& out) {
  // Slot table of the node's material; a node without one, or with an empty slot map,
  // leaves every face on the default material.
  if (node_.GetMtl()) {
    slotMap_ = ctx_.materials.SlotMapFor(&node_);
    if (slotMap_ && slotMap_->slotCount > 0) {
      slots_.resize(slotMap_->slotCount);
      for (std::size_t i = 0; i < slots_.size() && i < slotMap_->slots.size(); ++i) {
        slots_[i].matIndex = slotMap_->slots[i].mtl ? slotMap_->slots[i].recordIndex : -1;
        slots_[i].mtl = slotMap_->slots[i].mtl;
      }
    }
  }

  const uint32_t numFaces = static_cast<uint32_t>(mesh_.faces.size());
  // First pass: every face's slot, so that the texture coordinates can be sized at once.
  // Kept as slot numbers in storage that the next node reuses.
  std::vector<uint32_t>& slotOf = ctx_.scratch.faceSlots;
  slotOf.resize(numFaces);
  auto faceSlot = [&](uint32_t f) { return slotOf[f] == kNoSlot ? nullptr : &slots_[slotOf[f]]; };
  std::size_t uvFloats = 0;
  for (uint32_t f = 0; f < numFaces; ++f) {
    SlotState* s = Resolve(f);
    slotOf[f] = s ? static_cast<uint32_t>(s - slots_.data()) : kNoSlot;
    if (s) uvFloats += 6 * static_cast<std::size_t>(PlanOf(*s).pairCount);
  }

  // Sized without clearing first: storage kept from an earlier node is overwritten, not
  // zeroed and then overwritten. Every element below is written.
  out.triangles.resize(numFaces);
  out.positions.resize(3 * std::size_t(numFaces));
  out.normals.resize(3 * std::size_t(numFaces));
  out.hostVerts.resize(3 * std::size_t(numFaces));
  out.uvs.assign(uvFloats, 0.0f);

  std::size_t uv = 0;
  for (uint32_t f = 0; f < numFaces; ++f) {
    FaceList::Triangle& tri = out.triangles[f];
    SlotState* s = faceSlot(f);
    tri.smGroups = mesh_.faces[f].smGroup;
    tri.matIndex = s ? s->matIndex : -1;
    tri.mtl = s ? s->mtl : nullptr;
    tri.pairCount = s ? s->plan->pairCount : 0;
    tri.uvStart = static_cast<uint32_t>(uv);
    uv += 6 * std::size_t{tri.pairCount};
  }

  // A vertex is shared by several corners, and so is a hand-set normal: each is moved into
  // pivot space once. The corners of each face then depend on that face alone, so a large
  // mesh fills them on two threads.
  const host::Mesh& mesh = mesh_;
  const std::span<const host::Point3> unitNormals = mesh.UnitNormals();
  std::vector<host::Point3>& pivotVerts = ctx_.scratch.pivotVerts;
  std::vector<host::Point3>& pivotNormals = ctx_.scratch.pivotNormals;
  pivotVerts.resize(mesh.verts.size());
  pivotNormals.resize(unitNormals.size());
  const std::size_t shared = pivotVerts.size() + pivotNormals.size();
  support::RunInTwoHalves(shared, support::WorthTwoThreads(shared, kFacesForTwoThreads),
                          [&](std::size_t begin, std::size_t end) {
                            for (std::size_t i = begin; i < end; ++i) {
                              if (i < pivotVerts.size()) {
                                pivotVerts[i] = toPivot.PointTransform(mesh.verts[i]);
                              } else {
                                const std::size_t n = i - pivotVerts.size();
                                pivotNormals[n] = host::Normalize(toPivot.VectorTransform(unitNormals[n]));
                              }
                            }
                          });
  // A corner's normal in pivot space, as CornerNormal gives it.
  auto pivotNormal = [&](std::size_t f, int c) {
    const uint32_t n = mesh.UnitNormalIndex(f, static_cast<std::size_t>(c));
    if (n != host::Mesh::kOwnNormal) return pivotNormals[n];
    return host::Normalize(toPivot.VectorTransform(mesh.CornerNormal(static_cast<int>(f), c)));
  };
  const std::array<int, 3> order = mirrored ? std::array<int, 3>{2, 1, 0} : std::array<int, 3>{0, 1, 2};
  support::RunInTwoHalves(numFaces, support::WorthTwoThreads(numFaces, kFacesForTwoThreads),
                          [&](std::size_t begin, std::size_t end) {
                            for (std::size_t f = begin; f < end; ++f) {
                              const host::MeshFace& face = mesh.faces[f];
                              const SlotState* s = faceSlot(static_cast<uint32_t>(f));
                              const BoundPlan& plan = s ? *s->plan : none_;
                              float* uvs = out.uvs.data() + out.triangles[f].uvStart;
                              for (int k = 0; k < 3; ++k) {
                                const int c = order[static_cast<std::size_t>(k)];
                                const uint32_t v = face.v[static_cast<std::size_t>(c)];
                                const std::size_t corner = 3 * f + static_cast<std::size_t>(k);
                                out.hostVerts[corner] = v;
                                out.positions[corner] = pivotVerts[v];
                                out.normals[corner] = pivotNormal(f, c);
                                if (plan.pairCount) {
                                  ComputeCornerPairs(plan, static_cast<uint32_t>(f), c, uvs);
                                  uvs += 2 * plan.pairCount;
                                }
                              }
                            }
                          });
}

}  // namespace

bool BuildFaceList(ExportContext& ctx, const host::Node& node, host::TimeValue t,
                   const host::Matrix3& objectOffset, FaceList& out) {
  std::optional<host::Mesh> mesh;
  host::Object* obj = node.EvalWorldState(t);
  if (obj && obj->GetSuperClassId() == host::kGeomObjectClass && obj->CanConvertToTriMesh()) {
    try {
      mesh = obj->ConvertToTriMesh(t);
    } catch (const std::bad_alloc&) {
      out.Clear();
      ctx.Message("ExportFaceList() - cannot create vertex storage !!!", "Error");
      return false;
    }
  }
  return BuildFaceList(ctx, node, t, objectOffset, mesh ? &*mesh : nullptr, out);
}

bool BuildFaceList(ExportContext& ctx, const host::Node& node, host::TimeValue t,
                   const host::Matrix3& objectOffset, host::Mesh* mesh, FaceList& out) {
  ctx.Step(nullptr, "Mesh");
  if (!mesh || !mesh->IsValid() || mesh->faces.size() > kMaxTriangles) {
    out.Clear();
    ctx.Message("Convert...() - bad object pObj", "Error");
    return false;
  }

  try {
    mesh->BuildNormals();
    // Vertex -> world after world-space modifiers -> the object's own space -> pivot space.
    const host::Matrix3 objTM = node.GetObjTMAfterWSM(t);
    const host::Matrix3 toPivot = objTM * host::Inverse(node.GetObjectTM(t)) * objectOffset;
    FaceListBuilder builder(ctx, node, *mesh);
    builder.Build(toPivot, objTM.Mirrors(), out);
  } catch (const std::bad_alloc&) {
    out.Clear();
    ctx.Message("ExportFaceList() - cannot create vertex storage !!!", "Error");
    return false;
  }

  if (ctx.options.resmoothSingleObjects) {
    ctx.Step(nullptr, "Smooth");
    ResmoothFaceList(out, ctx.progress);
  }
  return true;
}

uint32_t WriteTransformBlock(zef::SceneBuffer& buffer, const host::Node& node) {
  return WriteTransformBlock(buffer, node.GetNodeTM(0));
}

uint32_t WriteTransformBlock(zef::SceneBuffer& buffer, const host::Matrix3& tm) {
  const host::AffineParts parts = host::DecompAffine(tm);
  host::Point3 euler = host::QuatToEulerXYZ(host::Normalize(parts.q));
  // A zero angle is written as +0 whichever way the decomposition rounded.
  euler = {euler.x + 0.0f, euler.y + 0.0f, euler.z + 0.0f};
  buffer.U32(kTransformId);
  buffer.U32(kTransformBlockSize);
  buffer.Point(parts.t);
  buffer.Point(euler);
  buffer.Point(parts.k);
  buffer.Matrix(tm);
  return kTransformBlockSize;
}

uint32_t WriteUserPropsBlock(zef::SceneBuffer& buffer, const host::Node& node) {
  return WriteUserPropsBlock(buffer, node.GetUserPropBuffer());
}

uint32_t WriteUserPropsBlock(zef::SceneBuffer& buffer, const std::string& text) {
  // The host keeps the text as a C string: it ends at the first zero.
  const std::size_t len = std::strlen(text.c_str());
  const uint32_t size = static_cast<uint32_t>(12 + len + 1);
  buffer.U32(kUserPropsId);
  buffer.U32(size);
  buffer.U32(static_cast<uint32_t>(len + 1));
  buffer.CString(std::string_view(text.data(), len));
  return size;
}

namespace {

// The vertex record of one corner at `w`: position moved by -offset, normal and the corner's
// pairs, padded with zeros to `pairs` (a material sharing this record but not its channels).
// Returns the end of the record.
uint8_t* PutCorner(uint8_t* w, const FaceList& faces, std::size_t corner, uint32_t pairs,
                   host::Point3 offset) {
  const host::Point3 p = faces.positions[corner] - offset;
  const std::span<const float> uv = faces.CornerUVs(corner);
  const std::size_t padding = 2 * (pairs - faces.triangles[corner / 3].pairCount);
  if constexpr (std::endian::native == std::endian::little) {
    // The record's layout is the floats' own: copied whole, where storing them one byte at
    // a time made this the exporter's busiest loop. The normal goes straight from the face
    // list: gathered into one array with the position first, it was stored and read back in
    // pieces of other widths, which stalled every corner.
    static_assert(sizeof(host::Point3) == 3 * sizeof(float));
    std::memcpy(w, &p, sizeof p);
    std::memcpy(w + sizeof p, &faces.normals[corner], sizeof p);
    w += 2 * sizeof p;
    if (!uv.empty()) std::memcpy(w, uv.data(), uv.size_bytes());
    w += uv.size_bytes();
    std::memset(w, 0, padding * sizeof(float));
    return w + padding * sizeof(float);
  } else {
    auto put = [&w](float v) {
      support::ByteWriter::StoreU32(w, std::bit_cast<uint32_t>(v));
      w += 4;
    };
    const host::Point3 n = faces.normals[corner];
    for (float f : {p.x, p.y, p.z, n.x, n.y, n.z}) put(f);
    for (float f : uv) put(f);
    for (std::size_t i = 0; i < padding; ++i) put(0.0f);
    return w;
  }
}

// Whether `record` holds the bytes PutCorner would write for this corner. Compared a value
// at a time in registers: a record just written in pieces and read back in words of other
// widths stalls on every corner.
bool SameCorner(const uint8_t* record, const FaceList& faces, std::size_t corner, uint32_t pairs,
                host::Point3 offset) {
  const host::Point3 p = faces.positions[corner] - offset;
  const host::Point3& n = faces.normals[corner];
  auto same = [&record](float v) {
    const bool equal = support::LoadU32(record) == std::bit_cast<uint32_t>(v);
    record += 4;
    return equal;
  };
  if (!same(p.x) || !same(p.y) || !same(p.z) || !same(n.x) || !same(n.y) || !same(n.z)) return false;
  const std::span<const float> uv = faces.CornerUVs(corner);
  for (float f : uv)
    if (!same(f)) return false;
  for (std::size_t i = uv.size(); i < 2 * std::size_t{pairs}; ++i)
    if (!same(0.0f)) return false;
  return true;
}

// Welds the corners of `tris` into scratch.weld.kept and their indices into scratch.remap;
// returns the number of kept records.
uint32_t WeldPart(ExportContext::Scratch& scratch, const FaceList& faces, std::span<const uint32_t> tris,
                  uint32_t pairs, uint64_t stride, host::Point3 offset) {
  // On one thread: split in two halves on two cores, the weld took longer than on one, as
  // each half ran slower beside the other and a thread was started for every part.
  ExportContext::WeldStorage& store = scratch.weld;
  const std::size_t corners = 3 * tris.size();
  std::vector<uint32_t>& remap = scratch.remap;
  remap.resize(corners);
  store.kept.clear();
  // Room for every corner up front: the records never move while they are compared, and
  // pages that no record reaches are never touched.
  store.kept.reserve(corners * stride);
  // A smooth mesh keeps about one record for every six corners; a table sized for all of
  // them was mostly empty and missed the cache on every lookup. It grows where more come.
  zef::VertexWelder welder(store.kept, static_cast<uint32_t>(stride),
                           std::min<std::size_t>(corners / 4, 1 << 16), &store.slots);

  // Corners made from one mesh vertex mostly weld to the same record: the record that
  // vertex last welded to is tried first, which spares most corners the hash lookup.
  // Only an equal record is taken, so the result is what the lookup would give.
  std::vector<uint64_t>& last = store.lastWeld;
  if (++store.part == 0) {
    std::fill(last.begin(), last.end(), 0);
    store.part = 1;
  }
  const uint64_t part = uint64_t{store.part} << 32;
  // A corner's pairs come from one material's plan, which carries at most kMaxTexturePairs.
  assert(pairs <= kMaxTexturePairs);
  std::array<uint8_t, 24 + 8 * kMaxTexturePairs> staged;
  uint8_t* record = staged.data();
  std::size_t c = 0;
  for (uint32_t t : tris)
    for (std::size_t k = 0; k < 3; ++k, ++c) {
      const std::size_t corner = 3 * std::size_t(t) + k;
      const uint32_t v = faces.hostVerts[corner];
      if (v >= last.size()) last.resize(std::size_t{v} + 1, 0);
      const uint64_t hint = last[v];
      const uint32_t hinted = static_cast<uint32_t>(hint);
      if ((hint & ~uint64_t{0xFFFFFFFF}) == part &&
          SameCorner(welder.Record(hinted), faces, corner, pairs, offset)) {
        remap[c] = hinted;
      } else {
        PutCorner(record, faces, corner, pairs, offset);
        remap[c] = welder.Add(record);
        last[v] = part | remap[c];
      }
    }
  return welder.Kept();
}

// Writes the GBlock of the triangles `tris` (indices into `faces`), all of MatList index
// `matIndex`, with their corners in order and moved by -offset. With `weld` the corners are
// welded on the way, giving the bytes the flush to the file would make of the unwelded block.
void WriteGBlock(zef::SceneBuffer& buf, ExportContext::Scratch& scratch, const FaceList& faces,
                 std::span<const uint32_t> tris, int32_t matIndex, host::Point3 offset, bool weld) {
  uint32_t pairs = 0;
  for (uint32_t t : tris) pairs = std::max(pairs, faces.triangles[t].pairCount);
  const uint64_t stride = 24 + 8 * uint64_t(pairs);
  const uint64_t corners = 3 * uint64_t(tris.size());

  // Unwelded vertices go through a small staging area.
  constexpr std::size_t kChunkTriangles = 2048;
  std::vector<uint8_t>& staging = scratch.staging;
  const std::vector<uint32_t>& remap = scratch.remap;
  std::vector<uint8_t>& kept = scratch.weld.kept;
  staging.resize(std::max(staging.size(), kChunkTriangles * 3 * std::max<std::size_t>(stride, 12)));
  const uint64_t count = weld ? WeldPart(scratch, faces, tris, pairs, stride, offset) : corners;

  const uint64_t vertsSize = 20 + count * stride;
  const uint64_t facesSize = 12 + 12 * uint64_t(tris.size());
  // Sizes past 32 bits never reach the file: the buffer refuses the image long before.
  if (weld) buf.NoteWeldedBlock();
  buf.U32(kGBlockId);
  buf.U32(static_cast<uint32_t>(12 + vertsSize + facesSize));
  buf.I32(matIndex);

  buf.U32(kVerticesId);
  buf.U32(static_cast<uint32_t>(vertsSize));
  buf.U32(static_cast<uint32_t>(count));
  buf.U32(static_cast<uint32_t>(stride));
  buf.U32(kVertexFormatPosNormal | (pairs << 8));
  uint8_t* w = staging.data();
  auto flush = [&] {
    buf.Bytes(staging.data(), static_cast<std::size_t>(w - staging.data()));
    w = staging.data();
  };
  std::size_t inChunk = 0;
  if (weld) {
    buf.Bytes(kept.data(), kept.size());
    kept.clear();
  } else {
    for (uint32_t t : tris) {
      for (std::size_t k = 0; k < 3; ++k) w = PutCorner(w, faces, 3 * std::size_t(t) + k, pairs, offset);
      if (++inChunk == kChunkTriangles) flush(), inChunk = 0;
    }
    flush();
  }

  buf.U32(kFacesId);
  buf.U32(static_cast<uint32_t>(facesSize));
  buf.U32(static_cast<uint32_t>(tris.size()));
  inChunk = 0;
  for (uint32_t i = 0; i < tris.size(); ++i) {
    for (uint32_t k = 0; k < 3; ++k, w += 4)
      support::ByteWriter::StoreU32(w, weld ? remap[3 * std::size_t(i) + k] : 3 * i + k);
    if (++inChunk == kChunkTriangles) flush(), inChunk = 0;
  }
  flush();
}

// One GBlock per MatList index in order of first use; each part's triangles in their own
// order. Returns the number of GBlocks and adds their triangles to `triangles`.
uint32_t WriteParts(zef::SceneBuffer& buf, ExportContext::Scratch& scratch, const host::Node& node,
                    const FaceList& faces, host::Point3 offset, bool weld, uint32_t& triangles) {
  const uint32_t numTris = static_cast<uint32_t>(faces.NumTriangles());
  std::vector<int32_t> partIndex;
  std::vector<uint32_t>& partOf = scratch.partOf;
  std::vector<uint32_t> partCount;
  partOf.resize(numTris);
  std::unordered_map<int32_t, uint32_t> lookup;
  int32_t lastIndex = 0;
  uint32_t lastPart = UINT32_MAX;
  for (uint32_t t = 0; t < numTris; ++t) {
    const int32_t idx = faces.triangles[t].matIndex;
    if (lastPart == UINT32_MAX || idx != lastIndex) {
      auto [it, added] = lookup.try_emplace(idx, static_cast<uint32_t>(partIndex.size()));
      if (added) partIndex.push_back(idx), partCount.push_back(0);
      lastIndex = idx;
      lastPart = it->second;
    }
    partOf[t] = lastPart;
    ++partCount[lastPart];
  }
  // A node without any triangle still gets one part when it has no material.
  if (partIndex.empty() && !node.GetMtl()) partIndex.push_back(-1), partCount.push_back(0);

  std::vector<uint32_t> first(partIndex.size() + 1, 0);
  std::vector<uint32_t>& sorted = scratch.sorted;
  sorted.resize(numTris);
  for (std::size_t p = 0; p < partIndex.size(); ++p) first[p + 1] = first[p] + partCount[p];
  std::vector<uint32_t> fill(first.begin(), first.end() - 1);
  for (uint32_t t = 0; t < numTris; ++t) sorted[fill[partOf[t]]++] = t;

  for (std::size_t p = 0; p < partIndex.size(); ++p) {
    WriteGBlock(buf, scratch, faces, std::span<const uint32_t>(sorted).subspan(first[p], partCount[p]),
                partIndex[p], offset, weld);
    triangles += partCount[p];
  }
  return static_cast<uint32_t>(partIndex.size());
}

// Whole-scene smoothing reads the vertices of nodes with a SMOOTH= entry one by one, and a
// welded vertex would count once where its corners counted each.
bool WeldsParts(const ExportContext& ctx, const host::Node& node) {
  if (!ctx.weldParts) return false;
  if (!ctx.options.smoothWholeScene) return true;
  const std::string& text = node.GetUserPropBuffer();
  return !geometry::ParseSmoothInfo(std::string_view(text.data(), std::strlen(text.c_str()))).HasEntry();
}

}  // namespace

uint32_t BuildGObj(ExportContext& ctx, const host::Node& node, const FaceList& faces, host::Point3 offset) {
  ctx.Step(nullptr, "Converting");
  zef::SceneBuffer& buf = ctx.buffer;
  const uint32_t start = buf.Offset();

  InstanceEntry* shared = ctx.instances.Find(node.GetObjectRef());
  const uint32_t number = shared ? shared->number : 0;
  const bool repeat = number != 0 && shared->written;

  buf.U32(kGObjId);
  buf.U32(0);
  buf.U32(0);
  WriteTransformBlock(buf, node);
  WriteUserPropsBlock(buf, node);
  if (number != 0) {
    buf.U32(kInstanceId);
    buf.U32(12);
    buf.U32(number);
  }

  uint32_t blocks = 0, triangles = 0;
  if (!repeat) {
    try {
      blocks = WriteParts(buf, ctx.scratch, node, faces, offset, WeldsParts(ctx, node), triangles);
    } catch (const std::bad_alloc&) {
      // Nothing of the object stays behind: a later user of a shared object carries it instead.
      buf.SetOffset(start);
      ctx.Message("Not enough memory to write the mesh of node '" + node.GetName() + "'.", "Error",
                  host::Buttons::Ok, host::Icon::Error);
      return 0;
    }
  }
  if (!buf.Fits()) return 0;
  if (number != 0) shared->written = true;
  ctx.triangleTotal += triangles;
  const uint32_t size = buf.Offset() - start;
  buf.PatchU32(start + 4, size);
  buf.PatchU32(start + 8, blocks);
  return size;
}

}  // namespace vorlan::zefexport
