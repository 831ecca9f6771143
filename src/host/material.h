// Materials and texture maps as the host holds them.
#pragma once

#include <memory>
#include <string>

#include "host/animatable.h"
#include "host/paramblock.h"

namespace vorlan::host {

// Texture coordinate generator of a bitmap texture.
struct UVGenState {
  int axis = 0;         // 0: XY, 1: YZ, 2: ZX
  int tilingFlags = 3;  // 1 tile U, 2 tile V, 4 mirror U, 8 mirror V
  float mipMap = 0.0f;  // the generator's mip-map (blur) value at time 0
  int mapChannel = 1;
  float uOffset = 0, vOffset = 0, uTiling = 1, vTiling = 1, angle = 0;
};

class Texmap : public Animatable {
 public:
  virtual std::string GetName() const = 0;
  // File path of a bitmap texture; empty for other kinds.
  virtual std::string GetMapFileName() const { return {}; }
  // The coordinate generator; null for textures that have none.
  virtual const UVGenState* GetUVGen() const { return nullptr; }
  // Tiling and mirroring flags (UVGenState::tilingFlags bits); 0 without a generator.
  virtual int GetTextureTiling() const {
    const UVGenState* g = GetUVGen();
    return g ? g->tilingFlags : 0;
  }
  // Import services: a bitmap texture's file and coordinate generator. False for textures
  // that have none.
  virtual bool SetMapFileName(std::string /*path*/) { return false; }
  virtual bool SetUVGen(const UVGenState& /*gen*/) { return false; }
  // A bitmap texture keeps its parameter block as reference 1 (see kBitmapParam*); null for
  // textures without one. The block stays owned by the texture.
  virtual ParamBlock* GetReference1() const { return nullptr; }
};

// Parameter identifiers in a bitmap texture's parameter block (reference 1): the clip
// rectangle in texture space and the switch that applies it.
inline constexpr int kBitmapParamClipU = 0;
inline constexpr int kBitmapParamClipV = 1;
inline constexpr int kBitmapParamClipW = 2;
inline constexpr int kBitmapParamClipH = 3;
inline constexpr int kBitmapParamApplyCrop = 6;

inline constexpr int kNumStdMapSlots = 12;
// The engine material's underlying Standard material has the extra channels 12..19.
inline constexpr int kNumVexaMapSlots = 20;

class Mtl : public Animatable {
 public:
  virtual std::string GetName() const = 0;
  virtual void SetName(std::string /*name*/) {}

  // Sub-materials (Multi/Sub-Object); a slot may be empty (null).
  virtual int NumSubMtls() const { return 0; }
  virtual Mtl* GetSubMtl(int /*i*/) const { return nullptr; }

  // Standard material: shading switches and the twelve map slots.
  virtual bool IsTwoSided() const { return false; }
  virtual bool IsWire() const { return false; }
  virtual int NumSubTexmaps() const { return 0; }
  virtual Texmap* GetSubTexmap(int /*slot*/) const { return nullptr; }
  virtual bool SubTexmapOn(int /*slot*/) const { return false; }
  virtual float GetTexmapAmount(int /*slot*/, TimeValue /*t*/) const { return 1.0f; }
  // Sets a map slot's amount (an animatable value; set at time t). Ignored by materials
  // without map slots.
  virtual void SetTexmapAmount(int /*slot*/, float /*amount*/, TimeValue /*t*/) {}

  // Import services. Shading switches and map slots of a Standard material (an engine
  // material passes them to its reference 0); the slots of a Multi/Sub-Object material.
  // False when the material has no such setting or the index is out of range.
  virtual bool SetShading(bool /*twoSided*/, bool /*wire*/) { return false; }
  virtual bool SetSubTexmap(int /*slot*/, std::shared_ptr<Texmap> /*map*/, bool /*on*/) { return false; }
  virtual bool SetNumSubMtls(int /*count*/) { return false; }
  virtual bool SetSubMtl(int /*i*/, std::shared_ptr<Mtl> /*mtl*/) { return false; }

  // Engine materials keep a Standard material as reference 0.
  virtual Mtl* GetReference0() const { return nullptr; }
};

}  // namespace vorlan::host
