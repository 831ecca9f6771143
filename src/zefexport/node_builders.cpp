#include "zefexport/node_builders.h"

#include <optional>
#include <string>
#include <string_view>

#include "geometry/glass_adjacency.h"
#include "zef/blocks.h"
#include "zefexport/mesh_export.h"

namespace vorlan::zefexport {

namespace {
constexpr host::TimeValue kT0 = 0;
}

uint32_t BuildCameraBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  auto state = object.EvalCameraState(kT0);
  host::AffineParts parts = host::DecompAffine(node.GetNodeTM(kT0));
  host::Point3 euler = host::QuatToEulerXYZ(host::Normalize(parts.q));
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  b.U32(zef::kCamera);
  b.U32(36);
  b.F32(state ? state->fov : 0.0f);
  b.Point(parts.t);
  b.Point(euler);
  return b.Offset() - start;
}

namespace {
uint32_t BuildVexaLight(ExportContext& ctx, const host::Node& node, const host::Object& object);
}

uint32_t BuildLightBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  host::ClassId id = object.GetClassId();
  if (id == host::kVexaLightClassId) return BuildVexaLight(ctx, node, object);
  if (id.b != 0 || id.a < 0x1011 || id.a > 0x1015) return 0;
  auto state = object.EvalLightState(kT0);
  if (!state) return 0;
  uint32_t type = 1;
  switch (state->kind) {
    case host::LightKind::Omni:
      type = 1;
      break;
    case host::LightKind::Ambient:
      type = 2;
      break;
    case host::LightKind::Spot:
      type = 3;
      break;
    case host::LightKind::Directional:
      type = 4;
      break;
  }
  bool hasCone = state->kind == host::LightKind::Spot || state->kind == host::LightKind::Directional;
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  b.U32(zef::kLight);
  b.U32(112);
  b.U32(type);
  b.U32(state->on ? 1 : 0);
  b.U32(state->shadow ? 1 : 0);
  b.Point(state->color);
  b.F32(state->intensity);
  b.F32(state->attenEnd);
  b.F32(hasCone ? state->hotspot : 0.0f);
  b.F32(hasCone ? state->falloff : 0.0f);
  b.Matrix(node.GetNodeTM(kT0));
  return b.Offset() - start;
}

namespace {

// The panes are the dummy's children; only faces of the material id of the first face met
// take part, each in world space with its facing kept for mirrored children.
uint32_t BuildGlassBlock(ExportContext& ctx, const host::Node& dummy) {
  geometry::GlassAdjacency glass;
  std::optional<uint16_t> glassMatId;
  for (int i = 0; i < dummy.NumberOfChildren(); ++i) {
    const host::Node* child = dummy.GetChildNode(i);
    const host::Object* object = child ? child->EvalWorldState(kT0) : nullptr;
    if (!object || !object->CanConvertToTriMesh()) continue;
    auto mesh = object->ConvertToTriMesh(kT0);
    if (!mesh || !mesh->IsValid()) continue;
    host::Matrix3 tm = child->GetObjTMAfterWSM(kT0);
    bool mirrored = tm.Mirrors();
    for (const host::MeshFace& f : mesh->faces) {
      if (!glassMatId) glassMatId = f.matId;
      if (f.matId != *glassMatId) continue;
      host::Point3 c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = mesh->verts[f.v[static_cast<std::size_t>(mirrored ? 2 - k : k)]] * tm;
      glass.AddTriangle(static_cast<uint32_t>(i), c[0], c[1], c[2]);
    }
  }
  glass.Build();
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  b.U32(zef::kGlass);
  b.U32(static_cast<uint32_t>(8 + glass.PayloadSize()));
  b.Bytes(glass.Payload());
  return b.Offset() - start;
}

uint32_t BuildDummyBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  WriteTransformBlock(b, node);
  WriteUserPropsBlock(b, node);
  host::Point3 size = object.GetBoundingBox(kT0).Width();
  b.U32(zef::kDummy);
  b.U32(20);
  b.Point(size);
  if (node.GetUserPropBuffer().find("glass_dummy") != std::string::npos) BuildGlassBlock(ctx, node);
  return b.Offset() - start;
}

// Parameters of the engine's helpers, read by internal name without regard to case. A name
// the helper does not have leaves its field zero; `found` tells the keep rules which exist.
class HelperParams {
 public:
  explicit HelperParams(const host::Object& object) : object_(object) {}
  bool Has(std::string_view name) const { return static_cast<bool>(object_.FindParam(name)); }
  int Int(std::string_view name) const {
    host::ParamRef p = object_.FindParam(name);
    return p ? p.block->GetInt(p.index, kT0) : 0;
  }
  float Float(std::string_view name) const {
    host::ParamRef p = object_.FindParam(name);
    return p ? p.block->GetFloat(p.index, kT0) : 0.0f;
  }
  host::Point3 Colour(std::string_view name) const {
    host::ParamRef p = object_.FindParam(name);
    return p ? p.block->GetPoint(p.index, kT0) : host::Point3{};
  }
  std::string NodeName(std::string_view name) const {
    host::ParamRef p = object_.FindParam(name);
    host::Node* n = p ? p.block->GetNode(p.index, kT0) : nullptr;
    return n ? n->GetName() : std::string();
  }

 private:
  const host::Object& object_;
};

uint32_t BuildVexaLight(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  HelperParams p(object);
  if (!p.Has("enabled")) return 0;
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  b.U32(zef::kVexaLight);
  b.U32(120);
  b.I32(p.Int("enabled"));
  b.I32(p.Int("type"));
  b.Point(p.Colour("rgb"));
  b.I32(p.Int("showFarAtten"));
  b.I32(p.Int("castShadows"));
  b.I32(p.Int("castSHMShadows"));
  b.F32(p.Float("farAttenEnd"));
  b.F32(p.Float("multiplier"));
  b.F32(p.Float("hotspot"));
  b.F32(p.Float("falloff"));
  b.Matrix(node.GetNodeTM(kT0));
  return b.Offset() - start;
}

// Sound and particle emitters share one layout under their own parameter names.
uint32_t BuildEmitter(ExportContext& ctx, const host::Node& node, const host::Object& object,
                      uint32_t blockId, const char* id, const char* group, const char* what) {
  HelperParams p(object);
  if (!p.Has(id)) return 0;
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  b.U32(blockId);
  b.U32(96);
  b.I32(p.Int(id));
  b.I32(p.Int(group));
  b.I32(p.Int(what));
  b.I32(p.Int("impulse"));
  b.F32(p.Float("interval"));
  b.F32(p.Float("random"));
  b.Matrix(node.GetNodeTM(kT0));
  return b.Offset() - start;
}

uint32_t BuildIKJoint(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  HelperParams p(object);
  zef::SceneBuffer& b = ctx.buffer;
  uint32_t start = b.Offset();
  WriteTransformBlock(b, node);
  std::string a = p.NodeName("OBJECT_A"), bName = p.NodeName("OBJECT_B");
  b.U32(zef::kIKJoint);
  b.U32(static_cast<uint32_t>(136 + a.size() + 1 + bName.size() + 1));
  b.U32(2);
  b.I32(p.Int("SPIN_ON"));
  b.F32(p.Float("SPIN_MIN_ANGLE"));
  b.F32(p.Float("SPIN_MAX_ANGLE"));
  b.F32(p.Float("FRICTION"));
  b.I32(p.Int("COLLIDE"));
  b.I32(p.Int("CONE_ON"));
  b.F32(p.Float("CNE_ANG"));
  for (const char* plane : {"PLANE_ZX_A_", "PLANE_ZX_B_", "PLANE_ZY_A_", "PLANE_ZY_B_"}) {
    std::string prefix = plane;
    b.I32(p.Int(prefix + "ON"));
    b.I32(p.Int(prefix + "TYPE"));
    b.F32(p.Float(prefix + "OFFSET"));
    b.F32(p.Float(prefix + "LEAN"));
    b.F32(p.Float(prefix + "POINT_X"));
    b.F32(p.Float(prefix + "POINT_Y"));
  }
  b.CString(a);
  b.CString(bName);
  return b.Offset() - start;
}

}  // namespace

uint32_t BuildHelperBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object) {
  host::ClassId id = object.GetClassId();
  if (id == host::kDummyClassId) return BuildDummyBlocks(ctx, node, object);
  if (id == host::kVexaIKJointClassId) return BuildIKJoint(ctx, node, object);
  if (id == host::kVexaSoundEventClassId)
    return BuildEmitter(ctx, node, object, zef::kSoundEvent, "soundID", "soundGroup", "sound");
  if (id == host::kVexaParticleEventClassId)
    return BuildEmitter(ctx, node, object, zef::kParticleEvent, "particleID", "particleGroup", "particle");
  return 0;
}

}  // namespace vorlan::zefexport
