// The MatList writer: host materials to records, shared when identical.
#include "zef/material_records.h"

#include <algorithm>
#include <limits>
#include <new>

#include "zef/blocks.h"
#include "zef/material_records_params.h"

namespace vorlan::zef {

namespace {

constexpr host::TimeValue kTime0 = 0;

void Say(host::UserInterface& ui, std::string text, host::Icon icon, const char* caption = "Error") {
  ui.MessageBox({std::move(text), caption, host::Buttons::Ok, icon});
}

std::string CText(std::string s) {
  std::size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return s;
}

uint8_t FirstChar(const std::string& s) { return s.empty() ? 0 : static_cast<uint8_t>(s[0]); }

// Texts longer than their field are cut to the field, and the artist is told which material
// and which text: one rule for every limited text of every record.
void Limit(std::string& s, std::size_t max, const std::string& mtlName, const std::string& what,
           host::UserInterface& ui) {
  if (s.size() <= max) return;
  s.resize(max);
  Say(ui,
      "Material \"" + mtlName + "\": " + what + " is longer than " + std::to_string(max) +
          " characters and was cut to that length.",
      host::Icon::Warning, "Warning");
}

uint32_t TilingBits(const host::Texmap& t) {
  return static_cast<uint32_t>(t.GetTextureTiling()) & kTexTilingMask;
}

// The crop switch and rectangle of a bitmap texture (its reference 1); zero without one.
CropEntry ReadCrop(const host::Texmap& t) {
  CropEntry c;
  c.u = c.v = c.w = c.h = 0;
  const host::ParamBlock* pb = t.GetReference1();
  if (!pb) return c;
  c.apply = pb->GetInt(host::kBitmapParamApplyCrop, kTime0) != 0;
  c.u = pb->GetFloat(host::kBitmapParamClipU, kTime0);
  c.v = pb->GetFloat(host::kBitmapParamClipV, kTime0);
  c.w = pb->GetFloat(host::kBitmapParamClipW, kTime0);
  c.h = pb->GetFloat(host::kBitmapParamClipH, kTime0);
  return c;
}

uint32_t MtlFlags(const host::Mtl& m) {
  return (m.IsTwoSided() ? kMtlTwoSided : 0) | (m.IsWire() ? kMtlWire : 0);
}

void PublishSurfaceCode(host::Mtl& mtl, Code4 code) {
  // "- " is how artists write "no surface"; the record keeps it as typed.
  if (code == Code4{'-', ' ', 0, 0}) code = Code4{};
  if (Code4Value(code) == 0) {
    mtl.RemoveAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub);
    return;
  }
  mtl.SetAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub,
                 std::vector<uint8_t>(code.begin(), code.end()));
}

int64_t SlotOf(int oneBased) { return static_cast<int64_t>(oneBased) - 1; }

}  // namespace

// ---- Finding identical records ----------------------------------------------------------

namespace {

uint64_t HashBytes(std::span<const uint8_t> b) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool SameCrop(bool hasA, const CropEntry& a, const CropEntry* b) {
  if (!hasA || !b) return !hasA && !b;
  if (!a.apply && !b->apply) return true;  // an unapplied rectangle crops nothing
  return a.apply == b->apply && a.u == b->u && a.v == b->v && a.w == b->w && a.h == b->h;
}

}  // namespace

std::optional<uint32_t> RecordIndex::Find(std::span<const uint8_t> record, const RecordBytes& stored,
                                          const CropEntry* crop) const {
  auto it = buckets_.find(HashBytes(record));
  if (it == buckets_.end()) return std::nullopt;
  for (const Candidate& c : it->second) {
    std::span<const uint8_t> s = stored(c.index);
    if (s.size() == record.size() && std::equal(s.begin(), s.end(), record.begin()) &&
        SameCrop(c.hasCrop, c.crop, crop))
      return c.index;
  }
  return std::nullopt;
}

void RecordIndex::Add(std::span<const uint8_t> record, uint32_t index, const CropEntry* crop) {
  buckets_[HashBytes(record)].push_back(Candidate{index, crop != nullptr, crop ? *crop : CropEntry{}});
}

std::span<const uint8_t> MatListBlock::Record(uint32_t i) const {
  if (i >= recordOffsets.size()) return {};
  std::span<const uint8_t> w = buffer.Written();
  const uint64_t end = uint64_t(recordOffsets[i]) + recordSizes[i];
  if (end > w.size()) return {};
  return w.subspan(recordOffsets[i], recordSizes[i]);
}

uint32_t MatListBlock::AppendOrShare(std::span<const uint8_t> record, const CropEntry* crop,
                                     uint32_t tableIndex, uint32_t slotIndex, host::Mtl* mtl) {
  auto stored = [this](uint32_t i) { return Record(i); };
  uint32_t at;
  if (auto found = index.Find(record, stored, crop)) {
    at = *found;
  } else {
    at = RecordCount();
    // Everything that can fail to allocate does so before the buffer changes.
    recordOffsets.reserve(recordOffsets.size() + 1);
    recordSizes.reserve(recordSizes.size() + 1);
    if (crop) table.CropList().reserve(table.CropList().size() + 1);
    const uint32_t offset = buffer.Offset();
    buffer.Bytes(record);
    recordOffsets.push_back(offset);
    recordSizes.push_back(static_cast<uint32_t>(record.size()));
    if (buffer.Fits()) buffer.PatchU32(head + 8, RecordCount());
    index.Add(record, at, crop);
    if (crop) {
      CropEntry e = *crop;
      e.recordIndex = static_cast<int32_t>(at);
      table.CropList().push_back(e);
    }
  }
  MaterialSlotMap& map = table.SlotMaps()[tableIndex];
  ++map.registered;
  map.slots[slotIndex] = MaterialSlot{static_cast<int32_t>(at), mtl};
  return at;
}

// ---- Record writers ---------------------------------------------------------------------

std::string FileNamePart(std::string_view path) {
  // Paths from this workbench separate folders with '/' as well as '\\'; the engine wants
  // only the file name either way.
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos || slash == 0) return std::string(path);
  return std::string(path.substr(slash + 1));
}

uint32_t TextureFileName(const host::Texmap& tex, std::string& out, host::UserInterface& ui) {
  out.clear();
  if (tex.GetClassId() != host::kBitmapTexClassId) {
    Say(ui, "Texture " + tex.GetName() + " is not a bitmap !", host::Icon::Error);
    return 1;
  }
  std::string path = CText(tex.GetMapFileName());
  if (path.empty()) return 1;
  out = FileNamePart(path);
  return static_cast<uint32_t>(out.size() + 1);
}

int DumpStdMaterial(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex) {
  host::UserInterface& ui = block.ip.UI();
  try {
    const std::string name = CText(mtl.GetName());
    StdRecord r;
    r.flags = MtlFlags(mtl);
    r.nameCode = MakeCode4(name);
    CropEntry crop;
    for (const StdMapSlot& slot : kStdMapSlots) {
      host::Texmap* t = mtl.GetSubTexmap(slot.hostMap);
      if (!t || !mtl.SubTexmapOn(slot.hostMap)) continue;
      r.mapMask |= slot.maskBit;
      TextureEntry e;
      TextureFileName(*t, e.fileName, ui);
      Limit(e.fileName, kMaxStdTextureName, name, "the texture name \"" + e.fileName + "\"", ui);
      e.flags = TilingBits(*t);
      const host::UVGenState* g = t->GetUVGen();
      if (g && g->mipMap != 0.0f) e.flags |= kTexMipMap;
      r.textures.push_back(std::move(e));
      if (slot.hostMap == kStdDiffuseMap) crop = ReadCrop(*t);
    }
    std::vector<uint8_t> bytes;
    EncodeRecord(r, bytes);
    block.AppendOrShare(bytes, &crop, tableIndex, slotIndex, &mtl);
    return 0;
  } catch (const std::bad_alloc&) {
    Say(ui, "DumpStdMaterial(): Alloc failed !", host::Icon::Error);
    return 255;
  }
}

int DumpVexaMat(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex, host::Mtl*) {
  host::UserInterface& ui = block.ip.UI();
  try {
    const std::string name = CText(mtl.GetName());
    const VexaMatParams p = ReadVexaMatParams(mtl);
    VexaMatRecord r;
    CropEntry crop;
    // Without its underlying Standard material the record has no flags and no textures.
    if (host::Mtl* base = mtl.GetReference0()) {
      r.flags = MtlFlags(*base);
      for (int ch : kVexaMatChannels) {
        host::Texmap* t = base->GetSubTexmap(ch);
        if (!t || !base->SubTexmapOn(ch)) continue;
        uint32_t type = 0;
        switch (ch) {
          case 12:
            type = kTypeChannel12;
            break;
          case 13:
            type = kTypeChannel13;
            break;
          case 14:
            type = p.overlay == 0 ? kTypeChannel14 : kTypeChannel14Overlay;
            break;
          case 18:
            type = p.environment != 0 ? kTypeChannel18Env : kTypeChannel18;
            break;
          case 19:
            type = p.light != 0 ? kTypeChannel19Light : kTypeChannel19;
            break;
        }
        TextureEntry e;
        TextureFileName(*t, e.fileName, ui);
        Limit(e.fileName, kMaxVexaTextureName, name, "the texture name \"" + e.fileName + "\"", ui);
        e.flags = TilingBits(*t) | (p.mipmap[static_cast<std::size_t>(ch)] != 0 ? kTexMipMap : 0) | type;
        r.texTypes |= type;
        r.textures.push_back(std::move(e));
        if (ch == 12) crop = ReadCrop(*t);
        // The engine takes the second texture's tiling from this amount.
        if (ch == 13 && p.diff2Tile != 0) base->SetTexmapAmount(13, static_cast<float>(p.diff2Tile), kTime0);
      }
    }
    r.collisionType = MakeCode4(p.collision);
    r.transparentType = MakeCode4(p.transparent);
    r.growType = FirstChar(p.grow);
    r.grassType = FirstChar(p.grass);
    r.name = name;
    if (block.style == RecordStyle::Scene) PublishSurfaceCode(mtl, r.collisionType);
    std::vector<uint8_t> bytes;
    EncodeRecord(r, bytes);
    block.AppendOrShare(bytes, &crop, tableIndex, slotIndex, &mtl);
    return 0;
  } catch (const std::bad_alloc&) {
    Say(ui, "DumpVexaMat(): Alloc failed !", host::Icon::Error);
    return 255;
  }
}

int DumpVexaLayer(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex, host::Mtl*) {
  host::UserInterface& ui = block.ip.UI();
  const bool scene = block.style == RecordStyle::Scene;
  try {
    const std::string name = CText(mtl.GetName());
    VexaLayerParams p = ReadVexaLayerParams(mtl, block.style);

    VexaLayerRecord r;
    r.sceneLayout = scene;
    r.flags = (p.twoSided != 0 ? kMtlTwoSided : 0) | (p.faceted != 0 ? kMtlFaceted : 0);
    r.surface = MakeCode4(p.surface);
    r.transparency = p.transparency;
    r.growType = FirstChar(p.growType);
    r.grassType = FirstChar(p.grassType);
    r.diffuse = p.diffuse;
    r.ambient = p.ambient;
    r.specular = p.specular;
    r.selfIllum = p.selfIllum;
    r.opacity = p.opacity;
    r.opacityFalloff = p.opacityFalloff;
    r.glossiness = p.glossiness;
    r.specLevel = p.specLevel;
    Limit(p.shaderType, kMaxLayerText, name, "shaderType", ui);
    Limit(p.shaderFilename, kMaxLayerText, name, "shaderFilename", ui);
    r.shaderType = p.shaderType;
    r.shaderFilename = p.shaderFilename;
    r.name = name;
    if (scene) {
      r.extras = p.isWater != 0 ? ExtrasKind::Water : p.isGlass != 0 ? ExtrasKind::Glass : ExtrasKind::None;
      r.waterAlphaAngle = p.waterAlphaAngle;
      r.waterEnvBlend = p.waterEnvBlend;
      r.waterSharpness = p.waterSharpness;
      r.waterShiftingXY[0] = p.waterShiftingXY.x;
      r.waterShiftingXY[1] = p.waterShiftingXY.y;
      r.waterShiftingUV[0] = p.waterShiftingUV.x;
      r.waterShiftingUV[1] = p.waterShiftingUV.y;
    }

    // Thirteen slots are all a layered material has; positions beyond them, and positions
    // naming no slot, are left out rather than read from outside the tables.
    if (p.layerCount > kLayerSlots)
      Say(ui,
          "Material \"" + name + "\" has " + std::to_string(p.layerCount) + " layers; only the first " +
              std::to_string(kLayerSlots) + " are exported.",
          host::Icon::Warning, "Warning");
    LayerTable layers;
    if (scene) {
      if (p.isWater >= 1 && p.isWater <= kLayerSlots) layers.waterSlot = p.isWater - 1;
      if (p.isGlass >= 1 && p.isGlass <= kLayerSlots) layers.glassSlot = p.isGlass - 1;
    }
    for (int order : p.layerOrder) {
      const int64_t slot = SlotOf(order);
      if (scene && (slot == SlotOf(p.isWater) || slot == SlotOf(p.isGlass))) continue;
      if (slot < 0 || slot >= kLayerSlots) {
        Say(ui,
            "Material \"" + name + "\": layer order value " + std::to_string(order) +
                " is not a layer from 1 to " + std::to_string(kLayerSlots) + "; it is left out.",
            host::Icon::Warning, "Warning");
        continue;
      }
      const auto s = static_cast<std::size_t>(slot);
      LayerEntry e;
      e.slot = static_cast<uint32_t>(slot);
      e.flags = (p.tileU[s] ? kLayerTileU : 0) | (p.tileV[s] ? kLayerTileV : 0) |
                (p.mipmap[s] ? kLayerMipmap : 0) | (p.crop[s] ? kLayerCrop : 0) |
                (p.move[s] ? kLayerMove : 0) | (p.applyLight[s] ? kLayerApplyLight : 0) |
                (p.overlay[s] ? kLayerOverlay : 0);
      if (p.env[s] != 0)
        e.flags |= kLayerEnv;
      else if (!scene)
        e.flags |= kLayerNoEnv;
      e.moveType = p.moveType[s];
      e.moveSoft = p.moveSoft[s];
      e.moving = p.moving[s];
      e.fileName = FileNamePart(p.filename[s]);
      Limit(e.fileName, kMaxLayerText, name, "the file name of layer " + std::to_string(slot + 1), ui);
      r.layers.push_back(std::move(e));

      LayerInfo& info = layers.layers[s];
      info.used = true;
      info.channel = p.channel[s];
      info.crop = p.crop[s] != 0;
      info.tilingU = p.tilingU[s];
      info.tilingV = p.tilingV[s];
      info.clipUV = p.clipUV[s];
      info.clipWH = p.clipWH[s];
    }

    if (scene) PublishSurfaceCode(mtl, r.surface);
    std::vector<uint8_t> bytes;
    EncodeRecord(r, bytes);
    block.table.LayerTables()[&mtl] = layers;
    block.AppendOrShare(bytes, nullptr, tableIndex, slotIndex, &mtl);
    return 0;
  } catch (const std::bad_alloc&) {
    Say(ui, "DumpVexaLayer(): Alloc failed !", host::Icon::Error);
    return 255;
  }
}

int DumpMaterial(MatListBlock& block, host::Mtl* mtl, uint32_t tableIndex, uint32_t slotIndex,
                 host::Mtl* parent) {
  if (!mtl) return 0;
  const host::ClassId id = mtl->GetClassId();
  if (id == host::kStandardMtlClassId)
    DumpStdMaterial(block, *mtl, tableIndex, slotIndex);
  else if (id == host::kVexaMatClassId)
    DumpVexaMat(block, *mtl, tableIndex, slotIndex, parent);
  else if (id == host::kVexaLayerClassId)
    DumpVexaLayer(block, *mtl, tableIndex, slotIndex, parent);
  else
    Say(block.ip.UI(),
        "Material \"" + CText(mtl->GetName()) + "\" has not 'Standart', 'VexaMat' or 'VexaLayer' type.",
        host::Icon::Warning);
  return 0;
}

int ExportMaterialList(SceneBuffer& buffer, MaterialTable& table, host::Interface& ip, RecordStyle style) {
  host::UserInterface& ui = ip.UI();
  MatListBlock block(buffer, table, ip, style);
  block.head = buffer.Offset();
  buffer.U32(kMatList);
  buffer.U32(0);
  buffer.U32(0);
  if (!buffer.Fits()) {
    Say(ui, "ExportMaterialList(): Allocation error !", host::Icon::Error);
    return kMatListAllocFailed;
  }

  const auto& entries = table.Entries();
  table.CropList().clear();
  table.LayerTables().clear();
  table.SlotMaps().clear();
  try {
    table.SlotMaps().resize(entries.size());
  } catch (const std::bad_alloc&) {
    Say(ui, "ExportMaterialList(): Allocation error !", host::Icon::Error);
    return kMatListAllocFailed;
  }

  uint64_t total = entries.size();
  for (const MaterialTable::Entry& e : entries) {
    if (!e.mtl) {
      Say(ui, "ExportMaterialList() - pMtl = NULL !", host::Icon::Error);
      return kMatListEmptyEntry;
    }
    const int subs = std::max(0, e.mtl->NumSubMtls());
    try {
      table.SlotMaps()[static_cast<std::size_t>(&e - entries.data())].slots.resize(
          static_cast<std::size_t>(std::max(subs, 1)));
    } catch (const std::bad_alloc&) {
      Say(ui, "ExportMaterialList(): Allocation error !!", host::Icon::Error);
      return kMatListAllocFailed;
    }
    total += static_cast<uint64_t>(subs);
  }
  table.SetTotalSlotCount(
      static_cast<uint32_t>(std::min<uint64_t>(total, std::numeric_limits<uint32_t>::max())));

  for (uint32_t i = 0; i < entries.size(); ++i) {
    host::Mtl* mtl = entries[i].mtl;
    MaterialSlotMap& map = table.SlotMaps()[i];
    const int subs = std::max(0, mtl->NumSubMtls());
    if (subs == 0) {
      DumpMaterial(block, mtl, i, 0, mtl);
      map.slotCount = map.registered;
    } else {
      for (int j = 0; j < subs; ++j)
        if (host::Mtl* sub = mtl->GetSubMtl(j)) DumpMaterial(block, sub, i, static_cast<uint32_t>(j), mtl);
      map.slotCount = static_cast<uint32_t>(subs);
    }
  }

  if (!buffer.Fits()) {
    Say(ui, "ExportMaterialList(): Allocation error !", host::Icon::Error);
    return kMatListAllocFailed;
  }
  buffer.PatchU32(block.head + 4, buffer.Offset() - block.head);
  table.Index();
  return kMatListOk;
}

// ---- Application data -------------------------------------------------------------------

Code4 GetSurfaceCode(const host::Animatable& mtl) {
  Code4 c{};
  const std::vector<uint8_t>* d =
      mtl.GetAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub);
  if (d && d->size() >= 4) std::copy_n(d->begin(), 4, c.begin());
  return c;
}

void RemoveMaterialMarks(const MaterialTable& table) {
  auto strip = [](host::Mtl& m) {
    m.RemoveAppData(host::kZefExportClassId, host::kSceneExportClass, kMaterialMarkSub);
    m.RemoveAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub);
  };
  for (const MaterialTable::Entry& e : table.Entries()) {
    if (!e.mtl) continue;
    strip(*e.mtl);
    for (int j = 0, n = e.mtl->NumSubMtls(); j < n; ++j)
      if (host::Mtl* sub = e.mtl->GetSubMtl(j)) strip(*sub);
  }
}

}  // namespace vorlan::zef
