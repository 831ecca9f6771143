// Conversions the interchange importer and exporter share: Assimp's matrices, the change of
// up axis and units, and the host's map slots for Assimp's texture kinds.
#pragma once

#include <assimp/material.h>
#include <assimp/matrix4x4.h>

#include <string>
#include <string_view>

#include "host/math3d.h"
#include "interchange/import.h"

namespace vorlan::workbench::interchange {

// Assimp's matrices act on column vectors; the host's on row vectors. The projective row
// of an Assimp matrix is ignored: every format Assimp reads keeps it 0, 0, 0, 1.
host::Matrix3 FromAssimp(const aiMatrix4x4& m);
aiMatrix4x4 ToAssimp(const host::Matrix3& m);

// The change between an interchange scene (Y-up unless the options say Z, in file units)
// and the host's scene (Z-up, scaled). See interchange_import.h for why it is applied on
// the right of world transforms.
class Frame {
 public:
  Frame(float scale, ImportOptions::UpAxis up);

  float Scale() const { return scale_; }
  // World transform in the file -> world transform in the host, and back.
  host::Matrix3 ToHost(const host::Matrix3& world) const;
  host::Matrix3 FromHost(const host::Matrix3& world) const;

 private:
  float scale_;
  host::Matrix3 axes_, inverseAxes_;
};

// Whether a scale option is usable: finite and above zero.
bool UsableScale(float scale);

// Standard material map slots (the host's numbering).
inline constexpr int kSlotAmbient = 0;
inline constexpr int kSlotDiffuse = 1;
inline constexpr int kSlotSpecular = 2;
inline constexpr int kSlotGlossiness = 4;
inline constexpr int kSlotSelfIllum = 5;
inline constexpr int kSlotOpacity = 6;
inline constexpr int kSlotBump = 8;
inline constexpr int kSlotReflection = 9;
inline constexpr int kSlotDisplacement = 11;

// The Standard map slot for a texture kind, or -1 when the material has none for it
// (metalness, roughness, sheen, ...).
int SlotForTextureType(aiTextureType type);
// A short name of the kind for messages ("metalness", "diffuse roughness", ...).
std::string_view TextureTypeName(aiTextureType type);

// Whether a texture path is Assimp's name of an embedded image ("*0", "*12").
bool IsEmbeddedReference(std::string_view path, unsigned& index);

}  // namespace vorlan::workbench::interchange
