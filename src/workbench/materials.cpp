#include "workbench/materials.h"

#include <cassert>

namespace vorlan::workbench {

using host::ParamDef;
using host::ParamType;

host::ParamBlock* MaterialBase::GetParamBlock(int i) const {
  if (i < 0 || i >= static_cast<int>(paramBlocks.size())) return nullptr;
  return paramBlocks[static_cast<std::size_t>(i)].get();
}

ParamBlockImpl& MaterialBase::AddParamBlock(std::string name) {
  paramBlocks.push_back(std::make_unique<ParamBlockImpl>(std::move(name)));
  return *paramBlocks.back();
}

// --- Standard ---------------------------------------------------------------------------

StandardMtl::StandardMtl(std::string name, int numSlots)
    : MaterialBase(host::kStandardMtlClassId, "Standard", std::move(name)),
      maps_(static_cast<std::size_t>(numSlots > 0 ? numSlots : 0)) {}

void StandardMtl::SetMap(int slot, std::shared_ptr<host::Texmap> map, bool on, float amount) {
  assert(InRange(slot));
  if (!InRange(slot)) return;
  maps_[static_cast<std::size_t>(slot)] = MapSlot{std::move(map), on, amount};
}

MapSlot& StandardMtl::Map(int slot) {
  assert(InRange(slot));
  return maps_[static_cast<std::size_t>(slot)];
}

const MapSlot& StandardMtl::Map(int slot) const {
  assert(InRange(slot));
  return maps_[static_cast<std::size_t>(slot)];
}

host::Texmap* StandardMtl::GetSubTexmap(int slot) const {
  return InRange(slot) ? maps_[static_cast<std::size_t>(slot)].map.get() : nullptr;
}

bool StandardMtl::SubTexmapOn(int slot) const {
  return InRange(slot) && maps_[static_cast<std::size_t>(slot)].on;
}

float StandardMtl::GetTexmapAmount(int slot, host::TimeValue) const {
  return InRange(slot) ? maps_[static_cast<std::size_t>(slot)].amount : 0.0f;
}

void StandardMtl::SetTexmapAmount(int slot, float amount, host::TimeValue) {
  if (InRange(slot)) maps_[static_cast<std::size_t>(slot)].amount = amount;
}

bool StandardMtl::SetSubTexmap(int slot, std::shared_ptr<host::Texmap> map, bool on) {
  if (!InRange(slot)) return false;
  MapSlot& m = maps_[static_cast<std::size_t>(slot)];
  m.map = std::move(map);
  m.on = on;
  return true;
}

// --- Multi/Sub-Object -------------------------------------------------------------------

MultiMtl::MultiMtl(std::string name, int count)
    : MaterialBase(host::kMultiMtlClassId, "Multi/Sub-Object", std::move(name)),
      subs(static_cast<std::size_t>(count > 0 ? count : 0)) {}

host::Mtl* MultiMtl::GetSubMtl(int i) const {
  if (i < 0 || i >= static_cast<int>(subs.size())) return nullptr;
  return subs[static_cast<std::size_t>(i)].get();
}

bool MultiMtl::SetNumSubMtls(int count) {
  if (count < 0 || count > kMaxSubMtls) return false;
  subs.resize(static_cast<std::size_t>(count));
  return true;
}

bool MultiMtl::SetSubMtl(int i, std::shared_ptr<host::Mtl> mtl) {
  if (i < 0 || i >= NumSubMtls()) return false;
  subs[static_cast<std::size_t>(i)] = std::move(mtl);
  return true;
}

// --- Bitmap texture ---------------------------------------------------------------------

BitmapTex::BitmapTex(std::string path_, std::string name_)
    : path(std::move(path_)),
      name(std::move(name_)),
      params_(std::make_unique<ParamBlockImpl>("bitmapParams")) {
  // The identifiers are positions, so the order below is what kBitmapParam* refer to.
  params_->AddParam({"clipU", ParamType::Float}, 0.0f);
  params_->AddParam({"clipV", ParamType::Float}, 0.0f);
  params_->AddParam({"clipW", ParamType::Float}, 1.0f);
  params_->AddParam({"clipH", ParamType::Float}, 1.0f);
  params_->AddParam({"jitter", ParamType::Float}, 1.0f);
  params_->AddParam({"useJitter", ParamType::Bool}, 0);
  params_->AddParam({"applyCrop", ParamType::Bool}, 0);
  params_->AddParam({"cropPlace", ParamType::Int}, 0);
  params_->AddParam({"filtering", ParamType::Int}, 0);
}

void BitmapTex::SetCrop(const Crop& crop) {
  params_->SetFloat(host::kBitmapParamClipU, crop.u);
  params_->SetFloat(host::kBitmapParamClipV, crop.v);
  params_->SetFloat(host::kBitmapParamClipW, crop.w);
  params_->SetFloat(host::kBitmapParamClipH, crop.h);
  params_->SetInt(host::kBitmapParamApplyCrop, crop.apply ? 1 : 0);
}

BitmapTex::Crop BitmapTex::GetCrop() const {
  return Crop{params_->GetInt(host::kBitmapParamApplyCrop, 0) != 0,
              params_->GetFloat(host::kBitmapParamClipU, 0), params_->GetFloat(host::kBitmapParamClipV, 0),
              params_->GetFloat(host::kBitmapParamClipW, 0), params_->GetFloat(host::kBitmapParamClipH, 0)};
}

// --- Engine materials -------------------------------------------------------------------

namespace {

void Plain(ParamBlockImpl& b, const char* name, ParamType type) { b.AddParam(ParamDef{name, type, false}); }

// A table with `entries` zero entries.
void Table(ParamBlockImpl& b, const char* name, ParamType type, int entries) {
  int i = b.AddParam(ParamDef{name, type, true});
  b.SetCount(i, entries);
}

}  // namespace

void AddVexaMatParams(ParamBlockImpl& b) {
  Plain(b, "PRM_ENVIRONMENT_TYPE", ParamType::Int);
  Plain(b, "PRM_COLLISION_TYPE", ParamType::String);
  Plain(b, "PRM_TRANSPARENT_TYPE", ParamType::String);
  Plain(b, "PRM_GROW_TYPE", ParamType::String);
  Plain(b, "PRM_GRASS_TYPE", ParamType::String);
  // Indexed by map channel, so it covers channels 0..19.
  Table(b, "PRM_MIPMAP", ParamType::Int, host::kNumVexaMapSlots);
  Plain(b, "PRM_LIGHT", ParamType::Int);
  Plain(b, "PRM_MIPMAP_OVERLAY", ParamType::Int);
  Plain(b, "PRM_DIFF2_TILE", ParamType::Int);
  Table(b, "mapIsUsed", ParamType::Int, host::kNumVexaMapSlots);
  Plain(b, "waterEnvBlend", ParamType::Float);
  Plain(b, "waterAlphaAngle", ParamType::Float);
  Plain(b, "waterSharpness", ParamType::Point);
  Plain(b, "waterShiftingXY", ParamType::Point);
  Plain(b, "waterShiftingUV", ParamType::Point);
}

void AddVexaLayerParams(ParamBlockImpl& b) {
  for (const char* s : {"surface", "grassType", "growType", "shaderType", "shaderFilename"})
    Plain(b, s, ParamType::String);
  for (const char* s : {"transparency", "twoSided", "faceted"}) Plain(b, s, ParamType::Int);
  for (const char* s : {"matDiffuse", "matAmbient", "matSpecular", "matSelfIllum"})
    Plain(b, s, ParamType::Colour);
  for (const char* s : {"matOpacity", "matGlossiness", "matSpecLevel"}) Plain(b, s, ParamType::Int);
  Plain(b, "matOpacityFalloff", ParamType::Float);
  Plain(b, "isGlass", ParamType::Int);
  Plain(b, "isWater", ParamType::Int);
  Plain(b, "waterEnvBlend", ParamType::Float);
  Plain(b, "waterAlphaAngle", ParamType::Float);
  for (const char* s : {"waterSharpness", "waterShiftingXY", "waterShiftingUV"})
    Plain(b, s, ParamType::Point);
  // The number of entries of layerOrder is the number of layers in use.
  Table(b, "layerOrder", ParamType::Int, 0);
  // Both spellings of the last three flag tables exist: the scene exporter reads the short
  // names, the skeleton exporter the layer-prefixed ones.
  for (const char* s :
       {"layerMipmap", "layerTileU", "layerTileV", "layerCrop", "layerMove", "OverlayMultitex",
        "LMApplyLight", "EnvType", "layerOverlayMultitex", "layerLMApplyLight", "layerEnvType",
        "layerMoveType", "layerMoveSoft", "layerChannel"})
    Table(b, s, ParamType::Int, kVexaLayerSlots);
  Table(b, "layerMoving", ParamType::Point, kVexaLayerSlots);
  Table(b, "layerFilename", ParamType::String, kVexaLayerSlots);
  Table(b, "layerTilingU", ParamType::Float, kVexaLayerSlots);
  Table(b, "layerTilingV", ParamType::Float, kVexaLayerSlots);
  Table(b, "layerClipUV", ParamType::Point, kVexaLayerSlots);
  Table(b, "layerClipWH", ParamType::Point, kVexaLayerSlots);
}

std::shared_ptr<host::Mtl> CreateMaterialByClassId(host::ClassId id, std::string name) {
  if (id == host::kStandardMtlClassId) return std::make_shared<StandardMtl>(std::move(name));
  if (id == host::kMultiMtlClassId) return std::make_shared<MultiMtl>(std::move(name));
  if (id == host::kVexaMatClassId) {
    auto m = std::make_shared<ParamMtl>(id, "VexaMat", std::move(name));
    AddVexaMatParams(m->AddParamBlock(kVexaMatBlockName));
    m->reference0 = std::make_shared<StandardMtl>(std::string(), host::kNumVexaMapSlots);
    return m;
  }
  if (id == host::kVexaLayerClassId) {
    auto m = std::make_shared<ParamMtl>(id, "VexaLayer", std::move(name));
    AddVexaLayerParams(m->AddParamBlock(kVexaLayerBlockName));
    return m;
  }
  return nullptr;
}

std::shared_ptr<host::Texmap> CreateTexmapByClassId(host::ClassId id) {
  if (id == host::kBitmapTexClassId) return std::make_shared<BitmapTex>();
  return nullptr;
}

}  // namespace vorlan::workbench
