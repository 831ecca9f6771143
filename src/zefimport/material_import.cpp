#include "zefimport/material_import.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "support/log.h"
#include "zef/blocks.h"
#include "zef/material_records.h"
#include "zefimport/texture_channels.h"
#include "zefimport/texture_dialog.h"

namespace vorlan::zefimport {

namespace {

using support::LogFormat;

std::string Code4Text(const zef::Code4& c) {
  std::size_t n = 0;
  while (n < c.size() && c[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(c.data()), n);
}

std::string CharText(uint8_t c) { return c ? std::string(1, static_cast<char>(c)) : std::string(); }

// Sets a parameter of the material by internal name; a name the material lacks is skipped.
class ParamSetter {
 public:
  explicit ParamSetter(host::Mtl& m) : m_(m) {}
  void Int(std::string_view name, int v, int tab = 0) {
    if (host::ParamRef p = m_.FindParam(name); p && !p.block->SetInt(p.index, v, tab))
      p.block->SetFloat(p.index, static_cast<float>(v), tab);
  }
  void Float(std::string_view name, float v, int tab = 0) {
    if (host::ParamRef p = m_.FindParam(name); p && !p.block->SetFloat(p.index, v, tab))
      p.block->SetInt(p.index, static_cast<int>(v), tab);
  }
  void Point(std::string_view name, host::Point3 v, int tab = 0) {
    if (host::ParamRef p = m_.FindParam(name)) p.block->SetPoint(p.index, v, tab);
  }
  void String(std::string_view name, std::string_view v, int tab = 0) {
    if (host::ParamRef p = m_.FindParam(name)) p.block->SetString(p.index, v, tab);
  }
  void Count(std::string_view name, int count) {
    if (host::ParamRef p = m_.FindParam(name)) p.block->SetCount(p.index, count);
  }

 private:
  host::Mtl& m_;
};

// Resolves one texture and logs the outcome. A texture that is not found keeps its stored
// name, so that the material still says which file it wants (and a new export writes it).
std::string FindTexture(ImportContext& ctx, const std::string& fileName, const std::string& materialName) {
  LogFormat(kLogTree, "Texture: name: \"%s\"", fileName.c_str());
  std::optional<std::string> path = ResolveTexture(ctx, fileName, materialName);
  if (path) {
    LogFormat(support::LOG_RAW, ", found at: %s\n", path->c_str());
    return *path;
  }
  support::LogWrite(", not found.\n", support::LOG_RAW);
  return fileName;
}

std::shared_ptr<host::Texmap> MakeBitmap(ImportContext& ctx, const std::string& path, uint32_t flags,
                                         int channel) {
  auto tex = ctx.ip.CreateTexmap(host::kBitmapTexClassId);
  if (!tex) return nullptr;
  tex->SetMapFileName(path);
  host::UVGenState gen;
  gen.tilingFlags = static_cast<int>(flags & zef::kTexTilingMask);
  gen.mipMap = (flags & zef::kTexMipMap) ? 1.0f : 0.0f;
  gen.mapChannel = channel;
  tex->SetUVGen(gen);
  return tex;
}

std::shared_ptr<host::Mtl> CreateOrReport(ImportContext& ctx, host::ClassId id, const char* className) {
  auto mtl = ctx.ip.CreateMtl(id);
  if (!mtl && className) {
    std::string text = std::string("Can't create instance of ") + className + ". Make sure that it's loaded.";
    support::LogWrite(text.c_str(), support::LOG_ERROR);
    ctx.Message(text, "Error");
  }
  return mtl;
}

MaterialEntry ImportStandard(ImportContext& ctx, const zef::StdRecord& r) {
  const std::string name = Code4Text(r.nameCode);
  LogFormat(kLogTree, "Material: exFalgs: \"%s\", texTypes: 0x%08X, numTex: %d\n", name.c_str(), r.mapMask,
            static_cast<int>(r.textures.size()));
  auto mtl = CreateOrReport(ctx, host::kStandardMtlClassId, nullptr);
  if (!mtl) return {};
  mtl->SetName(name);
  mtl->SetShading(r.flags & zef::kMtlTwoSided, r.flags & zef::kMtlWire);
  // Entry k belongs to the k-th set bit of the mask.
  uint32_t bits = r.mapMask;
  for (const zef::TextureEntry& t : r.textures) {
    if (bits == 0) break;
    const uint32_t bit = bits & (~bits + 1);
    bits &= bits - 1;
    const std::string path = FindTexture(ctx, t.fileName, name);
    const int channel = ChannelOfBit(ctx.version, kKindStandard, r.mapMask, bit);
    if (auto tex = MakeBitmap(ctx, path, t.flags, channel))
      mtl->SetSubTexmap(TextureSlotOfBit(bit), tex, true);
  }
  return {mtl, r.mapMask, kKindStandard};
}

// The type bit of a VexaMat texture entry; the entries come in channel order.
uint32_t TypeBitOf(uint32_t flags) {
  const uint32_t types = flags & 0xFF0000u;
  return types & (~types + 1);
}

MaterialEntry ImportVexaMat(ImportContext& ctx, const zef::VexaMatRecord& r) {
  LogFormat(kLogTree, "Material: \"%s\", texTypes: 0x%08X, numTex: %d\n", r.name.c_str(), r.texTypes,
            static_cast<int>(r.textures.size()));
  auto mtl = CreateOrReport(ctx, host::kVexaMatClassId, "VexaMat");
  if (!mtl) return {};
  mtl->SetName(r.name);
  mtl->SetShading(r.flags & zef::kMtlTwoSided, r.flags & zef::kMtlWire);
  ParamSetter p(*mtl);
  p.String("PRM_COLLISION_TYPE", Code4Text(r.collisionType));
  p.String("PRM_TRANSPARENT_TYPE", Code4Text(r.transparentType));
  p.String("PRM_GROW_TYPE", CharText(r.growType));
  p.String("PRM_GRASS_TYPE", CharText(r.grassType));
  p.Int("PRM_ENVIRONMENT_TYPE", (r.texTypes & zef::kTypeChannel18Env) ? 1 : 0);
  p.Int("PRM_LIGHT", (r.texTypes & zef::kTypeChannel19Light) ? 1 : 0);
  p.Int("PRM_MIPMAP_OVERLAY", (r.texTypes & zef::kTypeChannel14Overlay) ? 1 : 0);
  for (const zef::TextureEntry& t : r.textures) {
    const uint32_t bit = TypeBitOf(t.flags);
    const int slot = TextureSlotOfBit(bit);
    if (slot < 0) continue;
    const std::string path = FindTexture(ctx, t.fileName, r.name);
    const int channel = ChannelOfBit(ctx.version, kKindVexaMat, r.texTypes, bit);
    p.Int("PRM_MIPMAP", (t.flags & zef::kTexMipMap) ? 1 : 0, slot);
    p.Int("maps", 1, slot);
    p.Int("mapIsUsed", 1, slot);
    if (auto tex = MakeBitmap(ctx, path, t.flags & ~zef::kTexMipMap, channel))
      mtl->SetSubTexmap(slot, tex, true);
  }
  return {mtl, r.texTypes, kKindVexaMat};
}

MaterialEntry ImportVexaLayer(ImportContext& ctx, const zef::VexaLayerRecord& r) {
  LogFormat(kLogTree, "Material: \"%s\", numTex: %d\n", r.name.c_str(), static_cast<int>(r.layers.size()));
  auto mtl = CreateOrReport(ctx, host::kVexaLayerClassId, "VexaLayer");
  if (!mtl) return {};
  mtl->SetName(r.name);
  ParamSetter p(*mtl);
  p.String("surface", Code4Text(r.surface));
  p.String("grassType", CharText(r.grassType));
  p.String("growType", CharText(r.growType));
  p.String("shaderType", r.shaderType);
  p.String("shaderFilename", r.shaderFilename);
  p.Int("transparency", r.transparency);
  p.Int("twoSided", (r.flags & zef::kMtlTwoSided) ? 1 : 0);
  p.Int("faceted", (r.flags & zef::kMtlFaceted) ? 1 : 0);
  p.Point("matDiffuse", r.diffuse);
  p.Point("matAmbient", r.ambient);
  p.Point("matSpecular", r.specular);
  p.Point("matSelfIllum", r.selfIllum);
  p.Int("matOpacity", r.opacity);
  p.Float("matOpacityFalloff", r.opacityFalloff);
  p.Int("matGlossiness", r.glossiness);
  p.Int("matSpecLevel", r.specLevel);

  uint32_t mask = 0, used = 0;
  p.Count("layerOrder", 0);
  int order = 0;
  for (const zef::LayerEntry& l : r.layers) {
    if (l.slot >= static_cast<uint32_t>(zef::kLayerSlots)) continue;
    const int s = static_cast<int>(l.slot);
    mask |= 1u << s;
    used |= 1u << s;
    p.Int("layerOrder", s + 1, order++);
    const uint32_t f = l.flags;
    p.Int("layerTileU", (f & zef::kLayerTileU) ? 1 : 0, s);
    p.Int("layerTileV", (f & zef::kLayerTileV) ? 1 : 0, s);
    p.Int("layerMipmap", (f & zef::kLayerMipmap) ? 1 : 0, s);
    p.Int("layerCrop", (f & zef::kLayerCrop) ? 1 : 0, s);
    p.Int("layerMove", (f & zef::kLayerMove) ? 1 : 0, s);
    // Both spellings of the last three switches, so that either exporter finds them.
    for (const char* n : {"OverlayMultitex", "layerOverlayMultitex"})
      p.Int(n, (f & zef::kLayerOverlay) ? 1 : 0, s);
    for (const char* n : {"LMApplyLight", "layerLMApplyLight"})
      p.Int(n, (f & zef::kLayerApplyLight) ? 1 : 0, s);
    for (const char* n : {"EnvType", "layerEnvType"}) p.Int(n, (f & zef::kLayerEnv) ? 1 : 0, s);
    p.Int("layerMoveType", l.moveType, s);
    p.Int("layerMoveSoft", l.moveSoft, s);
    p.Point("layerMoving", l.moving, s);
    // The coordinates in the file are already cropped: an identity clip keeps them as they are.
    p.Point("layerClipUV", {0, 0, 0}, s);
    p.Point("layerClipWH", {1, 1, 0}, s);
  }
  for (const zef::LayerEntry& l : r.layers) {
    if (l.slot >= static_cast<uint32_t>(zef::kLayerSlots)) continue;
    const int s = static_cast<int>(l.slot);
    p.String("layerFilename", FindTexture(ctx, l.fileName, r.name), s);
    p.Int("layerChannel", ChannelOfBit(ctx.version, kKindVexaLayer, mask, 1u << s), s);
  }
  if (r.extras != zef::ExtrasKind::None) {
    // The water or glass layer is not among the entries; it takes a slot no entry uses.
    const int freeSlot = std::countr_one(used) + 1;
    p.Int(r.extras == zef::ExtrasKind::Water ? "isWater" : "isGlass", freeSlot);
    p.Float("waterAlphaAngle", r.waterAlphaAngle);
    p.Float("waterEnvBlend", r.waterEnvBlend);
    p.Point("waterSharpness", r.waterSharpness);
    if (r.extras == zef::ExtrasKind::Water) {
      p.Point("waterShiftingXY", {r.waterShiftingXY[0], r.waterShiftingXY[1], 0});
      p.Point("waterShiftingUV", {r.waterShiftingUV[0], r.waterShiftingUV[1], 0});
    }
  }
  return {mtl, mask, kKindVexaLayer};
}

}  // namespace

bool ImportMatList(ImportContext& ctx) {
  const std::size_t start = ctx.reader.Cursor();
  FixedPart part(ctx);
  if (!part.Read()) return false;
  std::span<const uint8_t> bytes = part.Bytes();
  support::ByteReader r = part.Reader();
  r.Seek(8);
  const uint32_t count = r.U32().value_or(0);
  LogFormat(kLogTree, "MatList-> number of materials: %d\n", static_cast<int>(count));
  LogIndent indent(1);

  std::size_t at = zef::kMatListHeadSize;
  for (uint32_t i = 0; i < count && at + 8 <= bytes.size(); ++i) {
    const uint32_t id = support::LoadU32(bytes.data() + at);
    const uint32_t size = support::LoadU32(bytes.data() + at + 4);
    if (size < 8 || size > bytes.size() - at) {
      LogFormat(support::LOG_ERROR, "MatList: record %u at file offset %d has a bad size %u\n", i,
                static_cast<int>(start + at), size);
      break;
    }
    MaterialEntry entry;
    if (id < zef::kMatStandard || id > zef::kMatVexaLayer) {
      LogFormat(support::LOG_ERROR, "Unknown material found! BlockID : 0x%02X", id);
    } else {
      std::string error;
      auto record = zef::DecodeMaterialRecord(bytes.subspan(at, size), &error);
      if (!record) {
        LogFormat(support::LOG_ERROR, "MatList: record %u cannot be read: %s\n", i, error.c_str());
      } else if (auto* s = std::get_if<zef::StdRecord>(&*record)) {
        entry = ImportStandard(ctx, *s);
      } else if (auto* v = std::get_if<zef::VexaMatRecord>(&*record)) {
        entry = ImportVexaMat(ctx, *v);
      } else if (auto* l = std::get_if<zef::VexaLayerRecord>(&*record)) {
        entry = ImportVexaLayer(ctx, *l);
      }
    }
    if (ctx.materials.size() == ctx.materials.capacity()) ctx.materials.reserve(ctx.materials.size() + 64);
    ctx.materials.push_back(std::move(entry));
    at += size;
  }
  return ctx.reader.SetPtr(static_cast<int64_t>(start + part.Size()), false);
}

}  // namespace vorlan::zefimport
