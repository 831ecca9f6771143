// Materials and textures of the workbench's scene model.
//
// The host's own classes (Standard, Multi/Sub-Object, bitmap texture) keep their state in
// plain members. The engine's materials, VexaMat and VexaLayer, live in plug-ins outside the
// pipeline; the workbench models them as parameter-block objects created by class id, with
// the parameters the exporters read by internal name (see docs/scene-format.md for the list).
//
// Ownership: materials hold their textures and sub-materials by shared_ptr, so one texture or
// material may sit in several slots. Parameter blocks are owned by their material or texture.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/material.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

// A VexaLayer material has this many layer slots; its per-layer tables have one entry each.
inline constexpr int kVexaLayerSlots = 13;

// Names of the engine materials' parameter blocks.
inline constexpr const char* kVexaMatBlockName = "VexaMatParams";
inline constexpr const char* kVexaLayerBlockName = "VexaLayerParams";

// What every workbench material shares: name, class identity, parameter blocks, app data.
class MaterialBase : public WithAppData<host::Mtl> {
 public:
  MaterialBase(host::ClassId id, std::string className, std::string name)
      : classId_(id), className_(std::move(className)), name_(std::move(name)) {}

  std::string GetName() const override { return name_; }
  void SetName(std::string name) override { name_ = std::move(name); }
  host::ClassId GetClassId() const override { return classId_; }
  host::SuperClassId GetSuperClassId() const override { return host::kMaterialClass; }
  // The name under which the host lists the class ("Standard", "VexaMat", ...).
  const std::string& ClassName() const { return className_; }

  int NumParamBlocks() const override { return static_cast<int>(paramBlocks.size()); }
  host::ParamBlock* GetParamBlock(int i) const override;
  // Appends an empty block and returns it (owned by the material).
  ParamBlockImpl& AddParamBlock(std::string name);

  std::vector<std::unique_ptr<ParamBlockImpl>> paramBlocks;

 private:
  host::ClassId classId_;
  std::string className_;
  std::string name_;
};

// One map slot of a Standard material. `amount` is the host's map amount as a fraction
// (1.0 = 100 %).
struct MapSlot {
  std::shared_ptr<host::Texmap> map;
  bool on = true;
  float amount = 1.0f;
};

// What a physically based (glTF) material says that no slot of the Standard material means.
// Base colour, emission colour and texture, roughness (as glossiness), opacity, and the
// normal, occlusion and base colour textures live in the Standard material's own members and
// slots; these values are kept beside them, for the glTF writer and in scene documents.
struct PbrValues {
  enum class AlphaMode { Opaque, Mask, Blend };

  float metallic = 1.0f;
  // Metalness in its blue channel, roughness in its green one.
  std::shared_ptr<host::Texmap> metallicRoughnessMap;
  float emissiveStrength = 1.0f;  // multiplies the self-illumination colour
  AlphaMode alphaMode = AlphaMode::Opaque;
  float alphaCutoff = 0.5f;
  float normalScale = 1.0f;        // of the bump slot's normal map
  float occlusionStrength = 1.0f;  // of the ambient slot's occlusion map
};

// The host's Standard material: shading switches and its map slots (twelve; the engine's
// VexaMat keeps one with the extra channels up to 19).
class StandardMtl : public MaterialBase {
 public:
  explicit StandardMtl(std::string name = "Material", int numSlots = host::kNumStdMapSlots);

  // Precondition: 0 <= slot < NumSubTexmaps().
  void SetMap(int slot, std::shared_ptr<host::Texmap> map, bool on = true, float amount = 1.0f);
  MapSlot& Map(int slot);
  const MapSlot& Map(int slot) const;

  bool twoSided = false;
  bool wire = false;
  // Shading colour (0..1) and opacity (1 = opaque). No record of the .zef format carries
  // them; they keep what interchange files say about the surface.
  host::Point3 diffuse{0.5f, 0.5f, 0.5f};
  float opacity = 1.0f;
  // Self-illumination colour (0..1, what glTF calls the emissive factor) and glossiness
  // (0..1: 1 - roughness). Like the two above, not carried by .zef records.
  host::Point3 selfIllumColor{0.0f, 0.0f, 0.0f};
  float glossiness = 0.0f;
  // Present for materials that came from a physically based source.
  std::optional<PbrValues> pbr;

  bool IsTwoSided() const override { return twoSided; }
  bool IsWire() const override { return wire; }
  int NumSubTexmaps() const override { return static_cast<int>(maps_.size()); }
  // Out-of-range slots read as empty and switched off; setting them is ignored.
  host::Texmap* GetSubTexmap(int slot) const override;
  bool SubTexmapOn(int slot) const override;
  float GetTexmapAmount(int slot, host::TimeValue t) const override;
  void SetTexmapAmount(int slot, float amount, host::TimeValue t) override;
  bool SetShading(bool twoSided_, bool wire_) override {
    twoSided = twoSided_;
    wire = wire_;
    return true;
  }
  bool SetSubTexmap(int slot, std::shared_ptr<host::Texmap> map, bool on) override;

 private:
  bool InRange(int slot) const { return slot >= 0 && slot < static_cast<int>(maps_.size()); }
  std::vector<MapSlot> maps_;
};

// Multi/Sub-Object: a list of sub-materials, any of which may be missing (null). A face's
// material id is 16 bits, so no more slots than that are ever needed.
inline constexpr int kMaxSubMtls = 0x10000;
class MultiMtl : public MaterialBase {
 public:
  explicit MultiMtl(std::string name = "Multimaterial", int count = 0);

  int NumSubMtls() const override { return static_cast<int>(subs.size()); }
  host::Mtl* GetSubMtl(int i) const override;
  bool SetNumSubMtls(int count) override;
  bool SetSubMtl(int i, std::shared_ptr<host::Mtl> mtl) override;

  std::vector<std::shared_ptr<host::Mtl>> subs;
};

// A material of a class the exporters do not understand (a ray-traced or architectural
// material, say): it only has a name and a class.
class OtherMtl : public MaterialBase {
 public:
  OtherMtl(host::ClassId id, std::string className, std::string name) : MaterialBase(id, className, name) {}
};

// The engine's materials: parameter blocks read by name. A VexaMat keeps its underlying
// Standard material as reference 0 and answers the map and shading questions through it.
class ParamMtl : public MaterialBase {
 public:
  ParamMtl(host::ClassId id, std::string className, std::string name) : MaterialBase(id, className, name) {}

  // The first parameter block. Precondition: the material has one (those made by
  // CreateMaterialByClassId do).
  ParamBlockImpl& Params() { return *paramBlocks.front(); }
  const ParamBlockImpl& Params() const { return *paramBlocks.front(); }

  host::Mtl* GetReference0() const override { return reference0.get(); }
  bool IsTwoSided() const override { return reference0 && reference0->IsTwoSided(); }
  bool IsWire() const override { return reference0 && reference0->IsWire(); }
  int NumSubTexmaps() const override { return reference0 ? reference0->NumSubTexmaps() : 0; }
  host::Texmap* GetSubTexmap(int slot) const override {
    return reference0 ? reference0->GetSubTexmap(slot) : nullptr;
  }
  bool SubTexmapOn(int slot) const override { return reference0 && reference0->SubTexmapOn(slot); }
  float GetTexmapAmount(int slot, host::TimeValue t) const override {
    return reference0 ? reference0->GetTexmapAmount(slot, t) : 1.0f;
  }
  void SetTexmapAmount(int slot, float amount, host::TimeValue t) override {
    if (reference0) reference0->SetTexmapAmount(slot, amount, t);
  }
  bool SetShading(bool twoSided, bool wire) override { return reference0 && reference0->SetShading(twoSided, wire); }
  bool SetSubTexmap(int slot, std::shared_ptr<host::Texmap> map, bool on) override {
    return reference0 && reference0->SetSubTexmap(slot, std::move(map), on);
  }

  std::shared_ptr<host::Mtl> reference0;
};

// The host's bitmap texture: a file path, a coordinate generator and the parameter block
// (reference 1) that holds the crop rectangle and its switch.
class BitmapTex : public WithAppData<host::Texmap> {
 public:
  explicit BitmapTex(std::string path = {}, std::string name = "Map");

  host::ClassId GetClassId() const override { return host::kBitmapTexClassId; }
  host::SuperClassId GetSuperClassId() const override { return host::kTexmapClass; }
  std::string GetName() const override { return name; }
  std::string GetMapFileName() const override { return path; }
  const host::UVGenState* GetUVGen() const override { return &uvGen; }
  host::ParamBlock* GetReference1() const override { return params_.get(); }
  int NumParamBlocks() const override { return 1; }
  host::ParamBlock* GetParamBlock(int i) const override { return i == 0 ? params_.get() : nullptr; }
  bool SetMapFileName(std::string p) override {
    path = std::move(p);
    return true;
  }
  bool SetUVGen(const host::UVGenState& gen) override {
    uvGen = gen;
    return true;
  }

  struct Crop {
    bool apply = false;
    float u = 0, v = 0, w = 1, h = 1;
  };
  void SetCrop(const Crop& crop);
  Crop GetCrop() const;
  ParamBlockImpl& Params() { return *params_; }
  const ParamBlockImpl& Params() const { return *params_; }

  std::string path;
  std::string name;
  host::UVGenState uvGen;

 private:
  std::unique_ptr<ParamBlockImpl> params_;
};

// A procedural texture (checker, noise, ...): no file, optionally a coordinate generator.
class OtherTex : public WithAppData<host::Texmap> {
 public:
  OtherTex(host::ClassId id, std::string name) : classId_(id), name_(std::move(name)) {}

  host::ClassId GetClassId() const override { return classId_; }
  host::SuperClassId GetSuperClassId() const override { return host::kTexmapClass; }
  std::string GetName() const override { return name_; }
  const host::UVGenState* GetUVGen() const override { return hasUVGen ? &uvGen : nullptr; }

  bool hasUVGen = false;
  host::UVGenState uvGen;

 private:
  host::ClassId classId_;
  std::string name_;
};

// A new material of a class the workbench models: Standard, Multi/Sub-Object (no
// sub-materials), VexaMat (its parameter block and a Standard material with 20 map slots as
// reference 0) or VexaLayer (its parameter block; per-layer tables with 13 zero entries,
// `layerOrder` empty). Null for any other class id.
std::shared_ptr<host::Mtl> CreateMaterialByClassId(host::ClassId id, std::string name = {});

// A new bitmap texture for kBitmapTexClassId, null otherwise.
std::shared_ptr<host::Texmap> CreateTexmapByClassId(host::ClassId id);

// The parameters of the engine materials' blocks, appended to `block` with zero values.
void AddVexaMatParams(ParamBlockImpl& block);
void AddVexaLayerParams(ParamBlockImpl& block);

}  // namespace vorlan::workbench
