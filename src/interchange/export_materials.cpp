// glTF materials from the host's: the Standard material's colour, opacity, self-illumination,
// glossiness and slots, and the physically based values kept beside them (PbrValues).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "interchange/convert.h"
#include "interchange/export_parts.h"
#include "support/file_io.h"
#include "workbench/materials.h"

namespace vorlan::workbench::interchange {

using nlohmann::json;

namespace {

// Texture files larger than this are not embedded.
constexpr std::size_t kMaxTextureBytes = std::size_t(1) << 28;

// Slots the writer has a glTF texture for.
constexpr int kWrittenSlots[] = {kSlotDiffuse, kSlotBump, kSlotSelfIllum, kSlotAmbient};

std::string ImageMime(const std::vector<uint8_t>& b) {
  if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return "image/png";
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return "image/jpeg";
  return {};
}

float Unit(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback; }

json Color(host::Point3 c, float fallback) {
  return json::array({Unit(c.x, fallback), Unit(c.y, fallback), Unit(c.z, fallback)});
}

// glTF's wrap modes.
constexpr int kRepeat = 10497, kMirroredRepeat = 33648, kClampToEdge = 33071;

int WrapMode(int flags, int wrapBit, int mirrorBit) {
  if (flags & mirrorBit) return kMirroredRepeat;
  return (flags & wrapBit) ? kRepeat : kClampToEdge;
}

// KHR_texture_transform from the host's coordinate generator. The generator holds what the
// importer read, Assimp's form of the transform: rotated about the texture's centre in the
// opposite sense, with v flipped. This undoes that.
std::optional<json> TextureTransform(const host::UVGenState& g) {
  const host::UVGenState d;
  if (g.uOffset == d.uOffset && g.vOffset == d.vOffset && g.uTiling == d.uTiling && g.vTiling == d.vTiling &&
      g.angle == d.angle)
    return std::nullopt;
  const double r = -double(g.angle), sx = g.uTiling, sy = g.vTiling;
  const double c = std::cos(r), s = std::sin(r);
  const double ox = g.uOffset - 0.5 * sx * (-c + s + 1.0);
  const double oy = 0.5 * sy * (s + c - 1.0) + 1.0 - sy - g.vOffset;
  json t = json::object();
  if (ox != 0.0 || oy != 0.0) t["offset"] = json::array({float(ox), float(oy)});
  if (r != 0.0) t["rotation"] = float(r);
  if (sx != 1.0 || sy != 1.0) t["scale"] = json::array({float(sx), float(sy)});
  return t;
}

}  // namespace

int GltfMaterials::Index(const host::Mtl* m) {
  auto [it, fresh] = index_.try_emplace(m, 0);
  if (fresh) it->second = gltf_.Append("materials", Make(m));
  return it->second;
}

json GltfMaterials::Make(const host::Mtl* m) {
  const std::string name = m ? m->GetName() : "Default";
  json out = {{"name", name}};
  json pbr = json::object();
  // The engine material keeps its maps in its underlying Standard material.
  const host::Mtl* maps = m && m->GetReference0() ? m->GetReference0() : m;
  const auto* standard = dynamic_cast<const StandardMtl*>(maps);
  host::Point3 base{0.5f, 0.5f, 0.5f};
  float opacity = 1.0f;
  if (standard) {
    base = standard->diffuse;
    opacity = standard->opacity;
  } else if (m && m->NumParamBlocks() > 0) {
    const host::ParamBlock* pb = m->GetParamBlock(0);
    if (auto p = pb ? pb->Find("matDiffuse") : std::nullopt) base = pb->GetPoint(*p, 0);
  }
  if (m && !standard && m->GetClassId() != host::kVexaMatClassId)
    warnings_.Tally("materials of classes glTF cannot express written as plain colours", 1, name);
  json factor = Color(base, 0.5f);
  factor.push_back(Unit(opacity, 1.0f));
  pbr["baseColorFactor"] = std::move(factor);

  const PbrValues* values = standard && standard->pbr ? &*standard->pbr : nullptr;
  // A Standard material made in the host is a plain dielectric surface.
  pbr["metallicFactor"] = values ? Unit(values->metallic, 1.0f) : 0.0f;
  const float roughness = standard ? Unit(1.0f - standard->glossiness, 1.0f) : 1.0f;
  if (roughness != 1.0f) pbr["roughnessFactor"] = roughness;

  json emissiveTexture;
  if (maps) {
    if (json t = TextureInfo(maps->SubTexmapOn(kSlotDiffuse) ? maps->GetSubTexmap(kSlotDiffuse) : nullptr,
                             name, kSlotDiffuse);
        !t.is_null())
      pbr["baseColorTexture"] = std::move(t);
    if (json t = TextureInfo(maps->SubTexmapOn(kSlotBump) ? maps->GetSubTexmap(kSlotBump) : nullptr, name,
                             kSlotBump);
        !t.is_null()) {
      if (values && values->normalScale != 1.0f) t["scale"] = values->normalScale;
      out["normalTexture"] = std::move(t);
    }
    if (json t = TextureInfo(maps->SubTexmapOn(kSlotAmbient) ? maps->GetSubTexmap(kSlotAmbient) : nullptr,
                             name, kSlotAmbient);
        !t.is_null()) {
      if (values && values->occlusionStrength != 1.0f) t["strength"] = Unit(values->occlusionStrength, 1.0f);
      out["occlusionTexture"] = std::move(t);
    }
    emissiveTexture =
        TextureInfo(maps->SubTexmapOn(kSlotSelfIllum) ? maps->GetSubTexmap(kSlotSelfIllum) : nullptr, name,
                    kSlotSelfIllum);
    for (int slot = 0; slot < maps->NumSubTexmaps(); ++slot) {
      if (std::find(std::begin(kWrittenSlots), std::end(kWrittenSlots), slot) != std::end(kWrittenSlots))
        continue;
      if (maps->GetSubTexmap(slot) && maps->SubTexmapOn(slot))
        warnings_.Tally("maps in slots glTF has no texture for not exported", 1,
                        name + " slot " + std::to_string(slot));
    }
  }
  if (values && values->metallicRoughnessMap) {
    if (json t = TextureInfo(values->metallicRoughnessMap.get(), name, -1); !t.is_null())
      pbr["metallicRoughnessTexture"] = std::move(t);
  }
  out["pbrMetallicRoughness"] = std::move(pbr);

  // Emission: the self-illumination colour, times the strength. A self-illumination map on
  // a host material without a colour shines fully, as the host draws it; glTF would
  // otherwise multiply it by black.
  host::Point3 emissive = standard ? standard->selfIllumColor : host::Point3{};
  if (!emissiveTexture.is_null()) {
    if (!values && emissive == host::Point3{}) emissive = {1, 1, 1};
    out["emissiveTexture"] = std::move(emissiveTexture);
  }
  if (emissive != host::Point3{}) out["emissiveFactor"] = Color(emissive, 0.0f);
  if (values && values->emissiveStrength != 1.0f && std::isfinite(values->emissiveStrength)) {
    out["extensions"]["KHR_materials_emissive_strength"] = {{"emissiveStrength", values->emissiveStrength}};
    gltf_.UseExtension("KHR_materials_emissive_strength");
  }

  // Transparency: what the source said, or the host's opacity and opacity map.
  using Mode = PbrValues::AlphaMode;
  Mode mode = Mode::Opaque;
  if (values)
    mode = values->alphaMode;
  else if (Unit(opacity, 1.0f) < 1.0f ||
           (maps && maps->GetSubTexmap(kSlotOpacity) && maps->SubTexmapOn(kSlotOpacity)))
    mode = Mode::Blend;
  if (mode == Mode::Blend) out["alphaMode"] = "BLEND";
  if (mode == Mode::Mask) {
    out["alphaMode"] = "MASK";
    if (values->alphaCutoff != 0.5f) out["alphaCutoff"] = values->alphaCutoff;
  }
  if (m && m->IsTwoSided()) out["doubleSided"] = true;
  if (m && m->IsWire())
    warnings_.Tally("wire-frame materials written as solid (glTF has no wire frame)", 1, name);
  return out;
}

json GltfMaterials::TextureInfo(const host::Texmap* t, const std::string& mtlName, int slot) {
  if (!t) return nullptr;
  const std::string where = mtlName + (slot >= 0 ? " slot " + std::to_string(slot) : " metallic-roughness");
  const std::string file = support::NativePath(t->GetMapFileName());
  if (file.empty()) {
    warnings_.Tally("maps that are not bitmap files not exported", 1, where);
    return nullptr;
  }
  const int image = Image(file, mtlName);
  if (image < 0) return nullptr;
  const host::UVGenState* gen = t->GetUVGen();
  const host::UVGenState plain;
  if (!gen) gen = &plain;
  const int sampler = Sampler(gen->tilingFlags);
  auto [tex, fresh] = textures_.try_emplace({image, sampler}, 0);
  if (fresh) tex->second = gltf_.Append("textures", {{"source", image}, {"sampler", sampler}});
  json info = {{"index", tex->second}};
  int channel = gen->mapChannel;
  if (channel < 1 || channel > kMaxUvSets) {
    warnings_.Tally("maps using a map channel glTF cannot hold read from channel 1", 1, mtlName);
    channel = 1;
  }
  if (channel > 1) info["texCoord"] = channel - 1;
  if (auto transform = TextureTransform(*gen)) {
    info["extensions"]["KHR_texture_transform"] = std::move(*transform);
    gltf_.UseExtension("KHR_texture_transform");
  }
  if (gen->axis != 0 || gen->mipMap != plain.mipMap)
    warnings_.Tally("map projections and blur not exported (glTF has none)", 1, where);
  if (const auto* b = dynamic_cast<const BitmapTex*>(t); b && b->GetCrop().apply)
    warnings_.Tally("texture crops not exported", 1, where);
  return info;
}

int GltfMaterials::Image(const std::string& file, const std::string& mtlName) {
  auto found = images_.find(file);
  if (found != images_.end()) return found->second;
  int index = -1;
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(file, bytes, kMaxTextureBytes); !r) {
    warnings_.Add("texture \"" + file + "\" of material \"" + mtlName + "\" cannot be read; not exported");
  } else if (const std::string mime = ImageMime(bytes); mime.empty()) {
    warnings_.Add("texture \"" + file + "\" of material \"" + mtlName +
                  "\" is neither PNG nor JPEG, which glTF requires; not exported");
  } else {
    index = gltf_.Append(
        "images",
        {{"bufferView", gltf_.ImageView(bytes)}, {"mimeType", mime}, {"name", support::FileNamePart(file)}});
  }
  images_.emplace(file, index);
  return index;
}

int GltfMaterials::Sampler(int flags) {
  auto [it, fresh] = samplers_.try_emplace(flags, 0);
  if (fresh)
    it->second =
        gltf_.Append("samplers", {{"wrapS", WrapMode(flags, 1, 4)}, {"wrapT", WrapMode(flags, 2, 8)}});
  return it->second;
}

}  // namespace vorlan::workbench::interchange
