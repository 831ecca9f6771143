#include "zefexport/mesh_export_channels.h"

#include <cmath>

#include "host/ids.h"

namespace vorlan::zefexport {
namespace {

// Standard map slots that become texture entries of a material record (opacity, slot 6,
// never does), and the channels of the engine material's underlying Standard material.
constexpr std::array<int, 11> kStandardSlots = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11};
constexpr std::array<int, 5> kVexaMatChannels = {12, 13, 14, 18, 19};

// The map channel a texture's coordinates come from.
int TextureChannel(const host::Texmap& tex) {
  const host::UVGenState* gen = tex.GetUVGen();
  return gen ? gen->mapChannel : 1;
}

struct Entry {
  bool used = false;
  int channel = 0;
  // Per-position crop and tiling of a layer.
  bool layerCrop = false;
  float clipU = 0, clipV = 0, clipW = 1, clipH = 1;
  float tileU = 1, tileV = 1;
};

}  // namespace

int MaterialKind(const host::Mtl* mtl) {
  if (!mtl) return 0;
  host::ClassId id = mtl->GetClassId();
  if (id == host::kVexaMatClassId) return 1;
  if (id == host::kVexaLayerClassId) return 2;
  return 0;
}

TexturePlan PlanTextures(const host::Mtl* mtl, const zef::CropEntry* crop, const zef::LayerTable* layers) {
  TexturePlan plan;
  if (!mtl) return plan;
  plan.kind = MaterialKind(mtl);

  std::array<Entry, kTextureSlots> list{};
  // The material whose map slots hold the textures.
  const host::Mtl* owner = plan.kind == 1 ? mtl->GetReference0() : mtl;
  if (plan.kind == 2) {
    // The water and glass layers feed the material's extras, not a texture of their own;
    // the table marks them unused.
    for (int k = 0; layers && k < zef::kLayerSlots; ++k) {
      const zef::LayerInfo& layer = layers->layers[static_cast<std::size_t>(k)];
      if (!layer.used || k == layers->waterSlot || k == layers->glassSlot) continue;
      Entry& e = list[static_cast<std::size_t>(k)];
      e.used = true;
      e.channel = layer.channel;
      e.layerCrop = layer.crop;
      e.clipU = layer.clipUV.x, e.clipV = layer.clipUV.y, e.clipW = layer.clipWH.x, e.clipH = layer.clipWH.y;
      // A layer without a tiling of its own is not tiled; zero would squeeze it to a point.
      e.tileU = (layer.tilingU != 0.0f && std::isfinite(layer.tilingU)) ? layer.tilingU : 1.0f;
      e.tileV = (layer.tilingV != 0.0f && std::isfinite(layer.tilingV)) ? layer.tilingV : 1.0f;
    }
  } else if (owner) {
    auto take = [&](int slot) {
      host::Texmap* tex = owner->GetSubTexmap(slot);
      if (!tex || !owner->SubTexmapOn(slot)) return;
      list[static_cast<std::size_t>(slot)] = Entry{.used = true, .channel = TextureChannel(*tex)};
    };
    if (plan.kind == 1)
      for (int slot : kVexaMatChannels) take(slot);
    else
      for (int slot : kStandardSlots) take(slot);
  }

  for (const Entry& e : list) plan.wanted += e.used ? 1 : 0;
  if (plan.wanted == 0) return plan;

  if (plan.kind == 0 && owner) {
    host::Texmap* tex = owner->GetSubTexmap(1);
    if (!tex) tex = owner->GetSubTexmap(12);
    const host::UVGenState* gen = tex ? tex->GetUVGen() : nullptr;
    if (gen)
      plan.axis = (gen->axis >= 0 && gen->axis <= 2) ? gen->axis : 0;
    else
      plan.noGenerator = true;
  }

  // The second texture's tiling rides on its map amount; it applies to engine materials and
  // to materials whose first texture is cropped.
  const bool applied = crop && crop->apply;
  const bool scaled = plan.kind == 1 || applied;
  auto amount = [&](int slot) { return owner ? owner->GetTexmapAmount(slot, 0) : 1.0f; };

  for (int slot : kPairOrder) {
    const Entry& e = list[static_cast<std::size_t>(slot)];
    if (!e.used) continue;
    if (plan.pairCount == kMaxTexturePairs) break;
    PairRule r;
    r.slot = slot;
    r.channel = e.channel;
    if (slot == 11 && list[1].used) r.fallback = list[1].channel;
    if (scaled && slot == 11) {
      r.s = amount(11) * 100.0f;
      if (r.s == 0.0f) r.s = 1.0f;
    } else if (scaled && slot == 13) {
      r.s = amount(13);
    }
    if (applied) r.ou = crop->u, r.ov = crop->v, r.tu = crop->w, r.tv = crop->h;
    if (plan.kind == 2) {
      if (e.layerCrop) r.ou = e.clipU, r.ov = e.clipV, r.tu = e.clipW, r.tv = e.clipH;
      r.cu = e.tileU, r.cv = e.tileV;
    }
    plan.rules[plan.pairCount++] = r;
  }
  return plan;
}

BoundPlan BindPlan(const TexturePlan& plan, const host::Mesh& mesh) {
  BoundPlan b;
  b.pairCount = plan.pairCount;
  b.axis = plan.axis;
  b.rules = plan.rules;
  for (uint32_t i = 0; i < plan.pairCount; ++i) {
    const PairRule& r = plan.rules[i];
    const host::MapChannel* m = mesh.FindMap(r.channel);
    if ((!m || m->Empty()) && r.fallback >= 0) m = mesh.FindMap(r.fallback);
    if (!m || m->Empty()) break;
    b.maps[i] = m;
    b.computed = i + 1;
  }
  return b;
}

namespace {

// Tiling about the texture's centre; a factor of 1 leaves the coordinate exactly as it is.
inline float Tile(float c, float x) {
  if (c == 1.0f) return x;
  return c * x - c / 2.0f + 0.5f + std::trunc(c / 2.0f);
}

}  // namespace

void ComputeCornerPairs(const BoundPlan& plan, uint32_t face, int corner, float* out) {
  for (uint32_t i = 0; i < plan.pairCount; ++i) {
    if (i >= plan.computed) {
      out[2 * i] = 0.0f;
      out[2 * i + 1] = 0.0f;
      continue;
    }
    const host::MapChannel& m = *plan.maps[i];
    const host::Point3 p = m.tverts[m.tfaces[face][static_cast<std::size_t>(corner)]];
    float a = p.x, b = p.y;
    if (plan.axis == 1) a = p.y, b = p.z;
    if (plan.axis == 2) a = p.z, b = p.x;
    const PairRule& r = plan.rules[i];
    float x = (r.tu * a + r.ou) * r.s;
    float y = (r.tv * (1.0f - b) + r.ov) * r.s;
    out[2 * i] = Tile(r.cu, x);
    out[2 * i + 1] = Tile(r.cv, y);
  }
}

}  // namespace vorlan::zefexport
