// Reading the engine materials' parameters by internal name.
#include "zef/material_records_params.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <unordered_map>
#include <vector>

namespace vorlan::zef {

namespace {

constexpr host::TimeValue kTime0 = 0;

// A host text as a C string sees it: up to its first zero byte.
std::string CText(std::string s) {
  std::size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return s;
}

std::string Lower(std::string_view s) {
  std::string l(s);
  for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return l;
}

// Visits every parameter of every block of `m` whose internal name is in `names` (compared
// without regard to case) as visit(block, param, position in names). A name found in several
// blocks is visited each time, so the last one read wins.
template <class Visit>
void ForEachNamedParam(const host::Animatable& m, const std::unordered_map<std::string, int>& names,
                       Visit&& visit) {
  for (int b = 0, nb = m.NumParamBlocks(); b < nb; ++b) {
    const host::ParamBlock* pb = m.GetParamBlock(b);
    if (!pb) continue;
    for (int p = 0, np = pb->NumParams(); p < np; ++p) {
      auto it = names.find(Lower(pb->Def(p).internalName));
      if (it != names.end()) visit(*pb, p, it->second);
    }
  }
}

using NameList = std::vector<std::pair<const char*, int>>;

std::unordered_map<std::string, int> NameTable(const NameList& list) {
  std::unordered_map<std::string, int> t;
  for (auto& [name, field] : list) t.emplace(Lower(name), field);
  return t;
}

enum VexaMatField { kEnv, kCollision, kTransparent, kGrow, kGrass, kMipmap, kLight, kOverlay, kDiff2Tile };

}  // namespace

VexaMatParams ReadVexaMatParams(const host::Mtl& m) {
  static const auto names = NameTable({{"PRM_ENVIRONMENT_TYPE", kEnv},
                                       {"PRM_COLLISION_TYPE", kCollision},
                                       {"PRM_TRANSPARENT_TYPE", kTransparent},
                                       {"PRM_GROW_TYPE", kGrow},
                                       {"PRM_GRASS_TYPE", kGrass},
                                       {"PRM_MIPMAP", kMipmap},
                                       {"PRM_LIGHT", kLight},
                                       {"PRM_MIPMAP_OVERLAY", kOverlay},
                                       {"PRM_DIFF2_TILE", kDiff2Tile}});
  VexaMatParams v;
  ForEachNamedParam(m, names, [&](const host::ParamBlock& pb, int p, int field) {
    switch (field) {
      case kEnv:
        v.environment = pb.GetInt(p, kTime0);
        break;
      case kCollision:
        v.collision = CText(pb.GetString(p, kTime0));
        break;
      case kTransparent:
        v.transparent = CText(pb.GetString(p, kTime0));
        break;
      case kGrow:
        v.grow = CText(pb.GetString(p, kTime0));
        break;
      case kGrass:
        v.grass = CText(pb.GetString(p, kTime0));
        break;
      case kMipmap:
        for (int ch : kVexaMatChannels) v.mipmap[static_cast<std::size_t>(ch)] = pb.GetInt(p, kTime0, ch);
        break;
      case kLight:
        v.light = pb.GetInt(p, kTime0);
        break;
      case kOverlay:
        v.overlay = pb.GetInt(p, kTime0);
        break;
      case kDiff2Tile:
        v.diff2Tile = pb.GetInt(p, kTime0);
        break;
    }
  });
  return v;
}

namespace {

enum VexaLayerField {
  kPSurface,
  kPGrassType,
  kPGrowType,
  kPShaderType,
  kPShaderFilename,
  kPTransparency,
  kPTwoSided,
  kPFaceted,
  kPMatDiffuse,
  kPMatAmbient,
  kPMatSpecular,
  kPMatSelfIllum,
  kPMatOpacity,
  kPMatGlossiness,
  kPMatSpecLevel,
  kPMatOpacityFalloff,
  kPIsGlass,
  kPIsWater,
  kPWaterEnvBlend,
  kPWaterAlphaAngle,
  kPWaterSharpness,
  kPWaterShiftingXY,
  kPWaterShiftingUV,
  kPLayerOrder,
  kPLayerMipmap,
  kPLayerTileU,
  kPLayerTileV,
  kPLayerCropF,
  kPLayerMoveF,
  kPLayerOverlayF,
  kPLayerApplyLightF,
  kPLayerEnvF,
  kPLayerMoveType,
  kPLayerMoveSoft,
  kPLayerMoving,
  kPLayerFilename,
  kPLayerTilingU,
  kPLayerTilingV,
  kPLayerClipUV,
  kPLayerClipWH,
  kPLayerChannel
};

const std::unordered_map<std::string, int>& LayerNames(RecordStyle style) {
  // Names both exporters read.
  static const NameList common = {
      {"surface", kPSurface},
      {"grassType", kPGrassType},
      {"growType", kPGrowType},
      {"shaderType", kPShaderType},
      {"shaderFilename", kPShaderFilename},
      {"transparency", kPTransparency},
      {"twoSided", kPTwoSided},
      {"faceted", kPFaceted},
      {"matDiffuse", kPMatDiffuse},
      {"matAmbient", kPMatAmbient},
      {"matSpecular", kPMatSpecular},
      {"matSelfIllum", kPMatSelfIllum},
      {"matOpacity", kPMatOpacity},
      {"matGlossiness", kPMatGlossiness},
      {"matSpecLevel", kPMatSpecLevel},
      {"matOpacityFalloff", kPMatOpacityFalloff},
      {"layerOrder", kPLayerOrder},
      {"layerMipmap", kPLayerMipmap},
      {"layerTileU", kPLayerTileU},
      {"layerTileV", kPLayerTileV},
      {"layerCrop", kPLayerCropF},
      {"layerMove", kPLayerMoveF},
      {"layerMoveType", kPLayerMoveType},
      {"layerMoveSoft", kPLayerMoveSoft},
      {"layerMoving", kPLayerMoving},
      {"layerFilename", kPLayerFilename},
      {"layerTilingU", kPLayerTilingU},
      {"layerTilingV", kPLayerTilingV},
      {"layerClipUV", kPLayerClipUV},
      {"layerClipWH", kPLayerClipWH},
      {"layerChannel", kPLayerChannel},
  };
  auto with = [](NameList extra) {
    extra.insert(extra.end(), common.begin(), common.end());
    return NameTable(extra);
  };
  static const auto scene = with({{"isGlass", kPIsGlass},
                                  {"isWater", kPIsWater},
                                  {"waterEnvBlend", kPWaterEnvBlend},
                                  {"waterAlphaAngle", kPWaterAlphaAngle},
                                  {"waterSharpness", kPWaterSharpness},
                                  {"waterShiftingXY", kPWaterShiftingXY},
                                  {"waterShiftingUV", kPWaterShiftingUV},
                                  {"OverlayMultitex", kPLayerOverlayF},
                                  {"LMApplyLight", kPLayerApplyLightF},
                                  {"EnvType", kPLayerEnvF}});
  // The skeleton exporter reads no water or glass parameters and uses the layer-prefixed
  // names of the last three flag tables.
  static const auto skeleton = with({{"layerOverlayMultitex", kPLayerOverlayF},
                                     {"layerLMApplyLight", kPLayerApplyLightF},
                                     {"layerEnvType", kPLayerEnvF}});
  return style == RecordStyle::Scene ? scene : skeleton;
}

}  // namespace

VexaLayerParams ReadVexaLayerParams(const host::Mtl& m, RecordStyle style) {
  VexaLayerParams v;
  ForEachNamedParam(m, LayerNames(style), [&](const host::ParamBlock& pb, int p, int field) {
    auto ints = [&](PerLayer<int>& a) {
      for (int s = 0; s < kLayerSlots; ++s) a[static_cast<std::size_t>(s)] = pb.GetInt(p, kTime0, s);
    };
    auto floats = [&](PerLayer<float>& a) {
      for (int s = 0; s < kLayerSlots; ++s) a[static_cast<std::size_t>(s)] = pb.GetFloat(p, kTime0, s);
    };
    auto points = [&](PerLayer<host::Point3>& a) {
      for (int s = 0; s < kLayerSlots; ++s) a[static_cast<std::size_t>(s)] = pb.GetPoint(p, kTime0, s);
    };
    switch (field) {
      case kPSurface:
        v.surface = CText(pb.GetString(p, kTime0));
        break;
      case kPGrassType:
        v.grassType = CText(pb.GetString(p, kTime0));
        break;
      case kPGrowType:
        v.growType = CText(pb.GetString(p, kTime0));
        break;
      case kPShaderType:
        v.shaderType = CText(pb.GetString(p, kTime0));
        break;
      case kPShaderFilename:
        v.shaderFilename = CText(pb.GetString(p, kTime0));
        break;
      case kPTransparency:
        v.transparency = pb.GetInt(p, kTime0);
        break;
      case kPTwoSided:
        v.twoSided = pb.GetInt(p, kTime0);
        break;
      case kPFaceted:
        v.faceted = pb.GetInt(p, kTime0);
        break;
      case kPMatDiffuse:
        v.diffuse = pb.GetPoint(p, kTime0);
        break;
      case kPMatAmbient:
        v.ambient = pb.GetPoint(p, kTime0);
        break;
      case kPMatSpecular:
        v.specular = pb.GetPoint(p, kTime0);
        break;
      case kPMatSelfIllum:
        v.selfIllum = pb.GetPoint(p, kTime0);
        break;
      case kPMatOpacity:
        v.opacity = pb.GetInt(p, kTime0);
        break;
      case kPMatGlossiness:
        v.glossiness = pb.GetInt(p, kTime0);
        break;
      case kPMatSpecLevel:
        v.specLevel = pb.GetInt(p, kTime0);
        break;
      case kPMatOpacityFalloff:
        v.opacityFalloff = pb.GetFloat(p, kTime0);
        break;
      case kPIsGlass:
        v.isGlass = pb.GetInt(p, kTime0);
        break;
      case kPIsWater:
        v.isWater = pb.GetInt(p, kTime0);
        break;
      case kPWaterEnvBlend:
        v.waterEnvBlend = pb.GetFloat(p, kTime0);
        break;
      case kPWaterAlphaAngle:
        v.waterAlphaAngle = pb.GetFloat(p, kTime0);
        break;
      case kPWaterSharpness:
        v.waterSharpness = pb.GetPoint(p, kTime0);
        break;
      case kPWaterShiftingXY:
        v.waterShiftingXY = pb.GetPoint(p, kTime0);
        break;
      case kPWaterShiftingUV:
        v.waterShiftingUV = pb.GetPoint(p, kTime0);
        break;
      case kPLayerOrder: {
        // Only as many positions as there are slots are read, whatever the table's size.
        v.layerCount = std::max(0, pb.Count(p));
        const int n = std::min(v.layerCount, kLayerSlots);
        v.layerOrder.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) v.layerOrder[static_cast<std::size_t>(i)] = pb.GetInt(p, kTime0, i);
        break;
      }
      case kPLayerMipmap:
        ints(v.mipmap);
        break;
      case kPLayerTileU:
        ints(v.tileU);
        break;
      case kPLayerTileV:
        ints(v.tileV);
        break;
      case kPLayerCropF:
        ints(v.crop);
        break;
      case kPLayerMoveF:
        ints(v.move);
        break;
      case kPLayerOverlayF:
        ints(v.overlay);
        break;
      case kPLayerApplyLightF:
        ints(v.applyLight);
        break;
      case kPLayerEnvF:
        ints(v.env);
        break;
      case kPLayerMoveType:
        ints(v.moveType);
        break;
      case kPLayerMoveSoft:
        ints(v.moveSoft);
        break;
      case kPLayerMoving:
        points(v.moving);
        break;
      case kPLayerFilename:
        for (int s = 0; s < kLayerSlots; ++s)
          v.filename[static_cast<std::size_t>(s)] = CText(pb.GetString(p, kTime0, s));
        break;
      case kPLayerTilingU:
        floats(v.tilingU);
        break;
      case kPLayerTilingV:
        floats(v.tilingV);
        break;
      case kPLayerClipUV:
        points(v.clipUV);
        break;
      case kPLayerClipWH:
        points(v.clipWH);
        break;
      case kPLayerChannel:
        ints(v.channel);
        break;
    }
  });
  return v;
}

}  // namespace vorlan::zef
