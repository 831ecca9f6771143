// The engine materials' parameters as the record writers read them: every parameter block of
// the material, each parameter matched by its internal name without regard to case, the last
// match winning; a parameter that is not found reads as zero or empty. Texts end at their first
// zero byte. Internal to the MatList writer.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "host/material.h"
#include "zef/material_records.h"

namespace vorlan::zef {

struct VexaMatParams {
  int environment = 0, light = 0, overlay = 0, diff2Tile = 0;
  std::string collision, transparent, grow, grass;
  std::array<int, host::kNumVexaMapSlots> mipmap{};
};

template <class T>
using PerLayer = std::array<T, kLayerSlots>;

struct VexaLayerParams {
  std::string surface, grassType, growType, shaderType, shaderFilename;
  int transparency = 0, twoSided = 0, faceted = 0;
  host::Point3 diffuse{}, ambient{}, specular{}, selfIllum{};
  int opacity = 0, glossiness = 0, specLevel = 0;
  float opacityFalloff = 0;
  int isGlass = 0, isWater = 0;
  float waterEnvBlend = 0, waterAlphaAngle = 0;
  host::Point3 waterSharpness{}, waterShiftingXY{}, waterShiftingUV{};
  int layerCount = 0;           // entries of layerOrder
  std::vector<int> layerOrder;  // at most kLayerSlots of them
  PerLayer<int> mipmap{}, tileU{}, tileV{}, crop{}, move{}, overlay{}, applyLight{}, env{}, moveType{},
      moveSoft{}, channel{};
  PerLayer<host::Point3> moving{}, clipUV{}, clipWH{};
  PerLayer<std::string> filename{};
  PerLayer<float> tilingU{}, tilingV{};
};

// VexaMat: PRM_MIPMAP is read at the entries of the exported channels only.
VexaMatParams ReadVexaMatParams(const host::Mtl& m);

// VexaLayer, by the names of the record style (the skeleton layout reads no water or glass
// parameters and the layer-prefixed names of the last three flag tables). Per-layer tables are
// read for slots 0 to 12; layerOrder for at most 13 of its entries.
VexaLayerParams ReadVexaLayerParams(const host::Mtl& m, RecordStyle style);

}  // namespace vorlan::zef
