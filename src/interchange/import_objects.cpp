#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string_view>

#include "interchange/import_parts.h"

namespace vorlan::workbench::interchange {

using host::Matrix3;
using host::Point3;

namespace {

constexpr float kDefaultFov = 0.785398f;  // 45 degrees, the host's default camera
constexpr float kMaxConeDegrees = 179.0f;
constexpr int kMaxMetadataDepth = 8;

// Settings every FBX model carries, which are not what an artist typed as user properties.
constexpr std::array<std::string_view, 40> kFbxModelSettings = {"IsNull",
                                                                "DefaultAttributeIndex",
                                                                "InheritType",
                                                                "RotationActive",
                                                                "ScalingMax",
                                                                "ScalingMin",
                                                                "ScalingActive",
                                                                "RotationMax",
                                                                "RotationMin",
                                                                "TranslationMax",
                                                                "TranslationMin",
                                                                "TranslationActive",
                                                                "RotationOrder",
                                                                "RotationSpaceForLimitOnly",
                                                                "RotationStiffnessX",
                                                                "RotationStiffnessY",
                                                                "RotationStiffnessZ",
                                                                "AxisLen",
                                                                "PreRotation",
                                                                "PostRotation",
                                                                "RotationOffset",
                                                                "RotationPivot",
                                                                "ScalingOffset",
                                                                "ScalingPivot",
                                                                "GeometricTranslation",
                                                                "GeometricRotation",
                                                                "GeometricScaling",
                                                                "LookAtProperty",
                                                                "UpVectorProperty",
                                                                "Show",
                                                                "NegativePercentShapeSupport",
                                                                "Freeze",
                                                                "LODBox",
                                                                "Visibility",
                                                                "Visibility Inheritance",
                                                                "QuaternionInterpolate",
                                                                "currentUVSet",
                                                                "MaxHandle",
                                                                "PreferedAngleX",
                                                                "ManipulationMode"};

bool Finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The placement of an object that sits at `position` and looks along `look` with `up` up,
// as a host transform: the host's cameras and lights look down their -Z axis, +Y up.
Matrix3 Placement(const aiVector3D& position, const aiVector3D& look, const aiVector3D& up) {
  Point3 dir = Finite(look) ? Point3{look.x, look.y, look.z} : Point3{};
  if (host::Length(dir) < 1e-12f) dir = {0, 0, -1};
  const Point3 z = host::Normalize(-dir);
  Point3 u = Finite(up) ? Point3{up.x, up.y, up.z} : Point3{};
  Point3 x = host::Normalize(host::Cross(u, z));
  if (!(host::Length(x) > 0.5f)) {
    // No usable up vector: take whichever axis is least along the view.
    u = std::abs(z.y) < 0.9f ? Point3{0, 1, 0} : Point3{1, 0, 0};
    x = host::Normalize(host::Cross(u, z));
  }
  const Point3 y = host::Cross(z, x);
  const Point3 t = Finite(position) ? Point3{position.x, position.y, position.z} : Point3{};
  return Matrix3(x, y, z, t);
}

float Degrees(float radians) { return radians * 180.0f / std::numbers::pi_v<float>; }

template <typename T>
std::string Number(T v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

// A value may not break the one-property-per-line layout.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

std::string ValueText(const aiMetadataEntry& e) {
  if (!e.mData) return {};
  switch (e.mType) {
    case AI_BOOL:
      return *static_cast<const bool*>(e.mData) ? "true" : "false";
    case AI_INT32:
      return Number(*static_cast<const int32_t*>(e.mData));
    case AI_UINT64:
      return Number(*static_cast<const uint64_t*>(e.mData));
    case AI_FLOAT:
      return Number(*static_cast<const float*>(e.mData));
    case AI_DOUBLE:
      return Number(*static_cast<const double*>(e.mData));
    case AI_AISTRING:
      return OneLine(static_cast<const aiString*>(e.mData)->C_Str());
    case AI_AIVECTOR3D: {
      const auto* v = static_cast<const aiVector3D*>(e.mData);
      return Number(v->x) + "," + Number(v->y) + "," + Number(v->z);
    }
    default:
      return {};
  }
}

void AppendMetadata(const aiMetadata& md, const std::string& prefix, bool fbx, int depth, std::string& out) {
  if (!md.mKeys || !md.mValues || depth > kMaxMetadataDepth) return;
  for (unsigned i = 0; i < md.mNumProperties; ++i) {
    const std::string key = md.mKeys[i].C_Str();
    const aiMetadataEntry& e = md.mValues[i];
    if (depth == 0 && fbx &&
        (key == "UserProperties" || key == "UDP3DSMAX" ||
         std::find(kFbxModelSettings.begin(), kFbxModelSettings.end(), key) != kFbxModelSettings.end()))
      continue;
    if (e.mType == AI_AIMETADATA) {
      // glTF's extensions object is the file's own business, not the artist's.
      if (depth == 0 && key == "extensions") continue;
      if (e.mData)
        AppendMetadata(*static_cast<const aiMetadata*>(e.mData), prefix + key + ".", fbx, depth + 1, out);
      continue;
    }
    if (e.mType != AI_BOOL && e.mType != AI_INT32 && e.mType != AI_UINT64 && e.mType != AI_FLOAT &&
        e.mType != AI_DOUBLE && e.mType != AI_AISTRING && e.mType != AI_AIVECTOR3D)
      continue;
    out += OneLine(prefix + key) + "=" + ValueText(e) + "\n";
  }
}

}  // namespace

PlacedCamera BuildCamera(const aiCamera& camera, bool gltf, WarningSink& warnings) {
  PlacedCamera out;
  out.object = std::make_shared<CameraObject>(false);
  const std::string name = camera.mName.C_Str();
  // Assimp's field of view is the full horizontal angle, as the host keeps it; but from
  // glTF's vertical angle it takes the product with the aspect ratio, which is only near
  // the horizontal angle for narrow views.
  float fov = camera.mHorizontalFOV;
  if (gltf && camera.mAspect > 0.0f && std::isfinite(camera.mAspect) && std::isfinite(fov)) {
    const float yfov = fov / camera.mAspect;
    fov = 2.0f * std::atan(camera.mAspect * std::tan(yfov / 2.0f));
  }
  if (camera.mOrthographicWidth > 0.0f) {
    warnings.Tally("orthographic cameras imported as perspective cameras", 1, name);
    if (!(fov > 0.0f)) fov = kDefaultFov;
  }
  if (!std::isfinite(fov) || fov <= 0.0f || fov >= std::numbers::pi_v<float>) {
    warnings.Tally("cameras without a usable field of view given 45 degrees", 1, name);
    fov = kDefaultFov;
  }
  out.object->fov = fov;
  out.local = Placement(camera.mPosition, camera.mLookAt, camera.mUp);
  return out;
}

PlacedLight BuildLight(const aiLight& light, bool halfAngles, WarningSink& warnings) {
  PlacedLight out;
  const std::string name = light.mName.C_Str();
  host::ClassId id = host::kOmniLightClassId;
  switch (light.mType) {
    case aiLightSource_POINT:
      break;
    case aiLightSource_SPOT:
      id = host::kFreeSpotLightClassId;
      break;
    case aiLightSource_DIRECTIONAL:
      id = host::kFreeDirectionalLightClassId;
      break;
    case aiLightSource_AMBIENT:
      id = host::kAmbientLightClassId;
      break;
    case aiLightSource_AREA:
      warnings.Tally("area lights imported as omni lights", 1, name);
      break;
    default:
      warnings.Tally("lights of an unknown kind imported as omni lights", 1, name);
      break;
  }
  out.object = std::make_shared<LightObject>(id);
  LightObject& l = *out.object;

  // Assimp folds the intensity into the colour; a colour above 1 is split back into a
  // colour and a multiplier.
  Point3 c{light.mColorDiffuse.r, light.mColorDiffuse.g, light.mColorDiffuse.b};
  if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) c = {1, 1, 1};
  c = {std::max(c.x, 0.0f), std::max(c.y, 0.0f), std::max(c.z, 0.0f)};
  const float peak = std::max({c.x, c.y, c.z});
  l.color = peak > 1.0f ? c / peak : c;
  l.multiplier = peak > 1.0f ? peak : 1.0f;

  if (light.mType == aiLightSource_SPOT) {
    const float factor = halfAngles ? 2.0f : 1.0f;
    float falloff = Degrees(light.mAngleOuterCone) * factor;
    float hotspot = Degrees(light.mAngleInnerCone) * factor;
    if (!std::isfinite(falloff) || falloff <= 0.0f) falloff = 45.0f;
    falloff = std::min(falloff, kMaxConeDegrees);
    if (!std::isfinite(hotspot) || hotspot < 0.0f) hotspot = falloff;
    l.falloff = falloff;
    l.hotspot = std::min(hotspot, falloff);
  }
  const bool aimed = light.mType == aiLightSource_SPOT || light.mType == aiLightSource_DIRECTIONAL;
  out.local = aimed
                  ? Placement(light.mPosition, light.mDirection, light.mUp)
                  : Matrix3::Translation(Finite(light.mPosition)
                                             ? Point3{light.mPosition.x, light.mPosition.y, light.mPosition.z}
                                             : Point3{});
  return out;
}

std::string UserPropsText(const aiMetadata* metadata, bool fbx) {
  if (!metadata) return {};
  std::string out;
  if (fbx && metadata->mKeys && metadata->mValues) {
    for (unsigned i = 0; i < metadata->mNumProperties; ++i) {
      const std::string key = metadata->mKeys[i].C_Str();
      const aiMetadataEntry& e = metadata->mValues[i];
      if ((key == "UserProperties" || key == "UDP3DSMAX") && e.mType == AI_AISTRING && e.mData) {
        std::string text = static_cast<const aiString*>(e.mData)->C_Str();
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (!text.empty()) out += text + "\n";
      }
    }
  }
  AppendMetadata(*metadata, "", fbx, 0, out);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace vorlan::workbench::interchange
