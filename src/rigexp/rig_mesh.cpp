#include "rigexp/rig_mesh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "support/log.h"

namespace vorlan::rigexp {

using host::Point3;
using support::LogFormat;
using support::LOG_INFO;

namespace {

// A corner's whole record as words, for exact comparison.
struct CornerKey {
  std::array<uint32_t, 8 + 2 * zefexport::kMaxTexturePairs> w{};
  uint32_t n = 0;
  void Add(uint32_t v) { w[n++] = v; }
  void Add(float f) { Add(std::bit_cast<uint32_t>(f)); }
  friend bool operator==(const CornerKey& a, const CornerKey& b) {
    return a.n == b.n && std::memcmp(a.w.data(), b.w.data(), a.n * sizeof(uint32_t)) == 0;
  }
};

struct CornerKeyHash {
  std::size_t operator()(const CornerKey& k) const noexcept {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t i = 0; i < k.n; ++i) h = (h ^ k.w[i]) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

}  // namespace

std::vector<RigPart> BuildParts(const zefexport::FaceList& faces) {
  std::vector<RigPart> parts;
  std::vector<std::unordered_map<CornerKey, uint32_t, CornerKeyHash>> shared;
  std::unordered_map<int32_t, std::size_t> partOf;
  for (std::size_t f = 0; f < faces.NumTriangles(); ++f) {
    const auto& tri = faces.triangles[f];
    auto [it, added] = partOf.emplace(tri.matIndex, parts.size());
    if (added) {
      parts.push_back({});
      parts.back().material = tri.matIndex;
      parts.back().pairs = std::min(tri.pairCount, zefexport::kMaxTexturePairs);
      shared.emplace_back();
    }
    RigPart& part = parts[it->second];
    auto& index = shared[it->second];
    std::array<uint32_t, 3> out{};
    for (std::size_t k = 0; k < 3; ++k) {
      const std::size_t c = 3 * f + k;
      auto uv = faces.CornerUVs(c);
      CornerKey key;
      key.Add(faces.hostVerts[c]);
      key.Add(tri.pairCount);
      for (int a = 0; a < 3; ++a) key.Add(faces.positions[c][a]);
      for (int a = 0; a < 3; ++a) key.Add(faces.normals[c][a]);
      for (std::size_t p = 0; p < uv.size() && p < 2 * zefexport::kMaxTexturePairs; ++p) key.Add(uv[p]);
      auto [slot, fresh] = index.emplace(key, part.NumVertices());
      if (fresh) {
        part.hostVerts.push_back(faces.hostVerts[c]);
        for (int a = 0; a < 3; ++a) part.vertices.push_back(faces.positions[c][a]);
        for (int a = 0; a < 3; ++a) part.vertices.push_back(faces.normals[c][a]);
        // Every vertex of a part carries the part's pair count.
        for (uint32_t p = 0; p < 2 * part.pairs; ++p) part.vertices.push_back(p < uv.size() ? uv[p] : 0.0f);
      }
      out[k] = slot->second;
    }
    part.faces.push_back(out);
  }
  for (RigPart& p : parts) {
    p.influences.resize(p.NumVertices());
    uint32_t hosts = 0;
    for (uint32_t h : p.hostVerts) hosts = std::max(hosts, h + 1);
    p.hostStart.assign(std::size_t(hosts) + 1, 0);
    for (uint32_t h : p.hostVerts) ++p.hostStart[h + 1];
    for (uint32_t h = 0; h < hosts; ++h) p.hostStart[h + 1] += p.hostStart[h];
    p.byHost.resize(p.hostVerts.size());
    std::vector<uint32_t> fill(p.hostStart.begin(), p.hostStart.end() - 1);
    for (uint32_t v = 0; v < p.NumVertices(); ++v) p.byHost[fill[p.hostVerts[v]]++] = v;
  }
  return parts;
}

void BuildMorphDeltas(const host::MorphModifier& morpher, const std::string& nodeName, RigPart& part) {
  std::vector<int> exported;
  for (int c = 0; c < morpher.NumChannels(); ++c)
    if (const host::MorphChannel* ch = morpher.GetChannel(c); ch && ch->HasPoints() && ch->target)
      exported.push_back(c);

  auto scaled = [&](int channel, uint32_t v) { return morpher.GetChannel(channel)->Delta(int(part.hostVerts[v])) * 100.0f; };
  auto moves = [](Point3 d) { return Length(d) > 0.001f; };
  int valid = 0;
  for (int c : exported)
    for (uint32_t v = 0; v < part.NumVertices(); ++v)
      if (moves(scaled(c, v))) {
        ++valid;
        break;
      }
  LogFormat(LOG_INFO, "Morpher deltas for \"%s\":\n", nodeName.c_str());
  LogFormat(LOG_INFO, "Valid TargetsNr: %d\n", valid);
  if (valid == 0) return;

  LogFormat(LOG_INFO, "Exported TargetsNr: %d\n", static_cast<int>(exported.size()));
  char fill = ' ';
  const int indent = support::LogGetIndent(&fill);
  support::LogSetIndent(indent + 2, fill);
  part.morphTargets = static_cast<uint32_t>(exported.size());
  part.morphDeltas.clear();
  part.morphDeltas.reserve(std::size_t(part.NumVertices()) * exported.size());
  for (uint32_t v = 0; v < part.NumVertices(); ++v)
    for (int c : exported) {
      Point3 d = scaled(c, v);
      part.morphDeltas.push_back(d);
      if (moves(d))
        LogFormat(LOG_INFO, "trg: %d, delta %d (%d): %.04f, %.04f, %.04f\n", c, static_cast<int>(v),
                  static_cast<int>(part.hostVerts[v]), double(d.x), double(d.y), double(d.z));
    }
  support::LogSetIndent(indent, fill);
}

MeshWeights ReadMeshWeights(host::SkinModifier& skin, const host::Node& meshNode) {
  MeshWeights out;
  auto ctx = skin.GetExportContext(meshNode);
  if (!ctx) return out;
  out.skinned = true;
  ctx->ConvertToRigid(true);
  ctx->AllowBlending(true);
  auto add = [&](const host::Node* bone, uint32_t v, float w) {
    auto& list = out.byNode[bone];
    if (!list.empty() && list.back().first == v)
      list.back().second += w;
    else
      list.emplace_back(v, w);
  };
  for (int i = 0, n = ctx->GetNumberVertices(); i < n; ++i) {
    auto vertex = ctx->GetVertex(i);
    if (!vertex) continue;
    bool blended = vertex->type == host::SkinVertexType::RigidBlended;
    for (const host::SkinBoneWeight& b : vertex->bones) {
      if (b.bone) add(b.bone, static_cast<uint32_t>(i), blended ? b.weight : 1.0f);
      if (!blended) break;
    }
  }
  return out;
}

std::vector<PointList> FirstPassLists(const MeshWeights& weights, const host::Node& weightNode, uint32_t meshIndex,
                                      uint32_t bone, RigMesh& mesh) {
  std::vector<PointList> lists;
  auto it = weights.byNode.find(&weightNode);
  if (it == weights.byNode.end()) return lists;
  for (uint32_t p = 0; p < mesh.parts.size(); ++p) {
    RigPart& part = mesh.parts[p];
    PointList list{meshIndex, p, {}, {}};
    for (const auto& [hostVertex, w] : it->second) {
      if (std::size_t(hostVertex) + 1 >= part.hostStart.size()) continue;
      for (uint32_t k = part.hostStart[hostVertex]; k < part.hostStart[hostVertex + 1]; ++k) {
        const uint32_t v = part.byHost[k];
        list.vertices.push_back(v);
        list.weights.push_back(w);
        if (part.influences[v].size() < kMaxInfluences) part.influences[v].push_back({bone, w});
      }
    }
    if (!list.vertices.empty()) lists.push_back(std::move(list));
  }
  return lists;
}

}  // namespace vorlan::rigexp
