#include "interchange/convert.h"

#include <cmath>

namespace vorlan::workbench::interchange {

using host::Matrix3;
using host::Point3;

Matrix3 FromAssimp(const aiMatrix4x4& m) {
  return Matrix3({m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3}, {m.a4, m.b4, m.c4});
}

aiMatrix4x4 ToAssimp(const Matrix3& m) {
  const Point3 x = m.GetRow(0), y = m.GetRow(1), z = m.GetRow(2), t = m.GetRow(3);
  return aiMatrix4x4(x.x, y.x, z.x, t.x,  //
                     x.y, y.y, z.y, t.y,  //
                     x.z, y.z, z.z, t.z,  //
                     0.0f, 0.0f, 0.0f, 1.0f);
}

Frame::Frame(float scale, ImportOptions::UpAxis up) : scale_(UsableScale(scale) ? scale : 1.0f) {
  if (up == ImportOptions::Y) {
    // +Y up becomes +Z up; the file's front (+Z) faces the host's -Y, as a front view shows it.
    axes_ = Matrix3({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 0});
    inverseAxes_ = Matrix3({1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, 0, 0});
  }
}

Matrix3 Frame::ToHost(const Matrix3& world) const {
  Matrix3 m = world * axes_;
  m.SetTrans(m.GetTrans() * scale_);
  return m;
}

Matrix3 Frame::FromHost(const Matrix3& world) const {
  Matrix3 m = world * inverseAxes_;
  m.SetTrans(m.GetTrans() / scale_);
  return m;
}

bool UsableScale(float scale) { return std::isfinite(scale) && scale > 0.0f; }

int SlotForTextureType(aiTextureType type) {
  switch (type) {
    case aiTextureType_DIFFUSE:
    case aiTextureType_BASE_COLOR:
      return kSlotDiffuse;
    case aiTextureType_SPECULAR:
      return kSlotSpecular;
    case aiTextureType_AMBIENT:
    case aiTextureType_AMBIENT_OCCLUSION:
    case aiTextureType_LIGHTMAP:
      return kSlotAmbient;
    case aiTextureType_EMISSIVE:
    case aiTextureType_EMISSION_COLOR:
      return kSlotSelfIllum;
    case aiTextureType_HEIGHT:
    case aiTextureType_NORMALS:
    case aiTextureType_NORMAL_CAMERA:
      return kSlotBump;
    case aiTextureType_SHININESS:
      return kSlotGlossiness;
    case aiTextureType_OPACITY:
      return kSlotOpacity;
    case aiTextureType_DISPLACEMENT:
      return kSlotDisplacement;
    case aiTextureType_REFLECTION:
      return kSlotReflection;
    default:
      return -1;
  }
}

std::string_view TextureTypeName(aiTextureType type) {
  switch (type) {
    case aiTextureType_DIFFUSE:
      return "diffuse";
    case aiTextureType_SPECULAR:
      return "specular";
    case aiTextureType_AMBIENT:
      return "ambient";
    case aiTextureType_EMISSIVE:
      return "emissive";
    case aiTextureType_HEIGHT:
      return "height";
    case aiTextureType_NORMALS:
      return "normal";
    case aiTextureType_SHININESS:
      return "shininess";
    case aiTextureType_OPACITY:
      return "opacity";
    case aiTextureType_DISPLACEMENT:
      return "displacement";
    case aiTextureType_LIGHTMAP:
      return "light map";
    case aiTextureType_REFLECTION:
      return "reflection";
    case aiTextureType_BASE_COLOR:
      return "base colour";
    case aiTextureType_NORMAL_CAMERA:
      return "camera normal";
    case aiTextureType_EMISSION_COLOR:
      return "emission colour";
    case aiTextureType_METALNESS:
      return "metalness";
    case aiTextureType_DIFFUSE_ROUGHNESS:
      return "roughness";
    case aiTextureType_AMBIENT_OCCLUSION:
      return "ambient occlusion";
    case aiTextureType_SHEEN:
      return "sheen";
    case aiTextureType_CLEARCOAT:
      return "clearcoat";
    case aiTextureType_TRANSMISSION:
      return "transmission";
    default:
      return "other";
  }
}

bool IsEmbeddedReference(std::string_view path, unsigned& index) {
  if (path.size() < 2 || path.size() > 10 || path[0] != '*') return false;
  uint64_t value = 0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return false;
    value = value * 10 + static_cast<uint64_t>(path[i] - '0');
  }
  if (value > 0xFFFFFFFFu) return false;
  index = static_cast<unsigned>(value);
  return true;
}

}  // namespace vorlan::workbench::interchange
