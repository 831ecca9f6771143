// Node blocks and the blocks that give a node its transform, properties and a non-mesh
// object: lights, cameras, dummies and the engine's helpers.
#include <array>
#include <string_view>
#include <variant>

#include "support/log.h"
#include "zef/blocks.h"
#include "zefimport/scene_import.h"

namespace vorlan::zefimport {

namespace {

using support::LogFormat;

void ReadBehind() {
  support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
}

// The fixed part of a block that must hold at least `size` bytes; false (logged) when
// the file or the block is shorter.
bool ReadSized(FixedPart& part, std::size_t size) {
  if (!part.Read()) return false;
  if (part.Size() < size) {
    ReadBehind();
    return false;
  }
  return true;
}

host::Point3 PointAt(support::ByteReader& r, std::size_t offset) {
  r.Seek(offset);
  float x = r.F32().value_or(0), y = r.F32().value_or(0), z = r.F32().value_or(0);
  return {x, y, z};
}

float FloatAt(support::ByteReader& r, std::size_t offset) {
  r.Seek(offset);
  return r.F32().value_or(0);
}

int32_t IntAt(support::ByteReader& r, std::size_t offset) {
  r.Seek(offset);
  return r.I32().value_or(0);
}

// Host light classes by the file's type code.
constexpr std::array<host::ClassId, 5> kLightClasses{
    host::kOmniLightClassId, host::kFreeSpotLightClassId, host::kSpotLightClassId,
    host::kFreeDirectionalLightClassId, host::kDirectionalLightClassId};

bool ImportLight(ImportContext& ctx, host::Node& node) {
  FixedPart part(ctx);
  if (!ReadSized(part, zef::kLightSize)) return false;
  support::ByteReader r = part.Reader();
  const int32_t type = IntAt(r, 8);
  // A code without a light class leaves the node without an object.
  if (type < 1 || type > static_cast<int32_t>(kLightClasses.size())) {
    LogFormat(support::LOG_WARNING, "ImportLight() : unknown light type %d, no light created\n", type);
    return true;
  }
  auto light = ctx.ip.CreateObject(host::kLightClass, kLightClasses[static_cast<std::size_t>(type - 1)]);
  if (!light) return true;
  host::LightState s;
  s.on = IntAt(r, 12) != 0;
  s.shadow = IntAt(r, 16) != 0;
  s.color = PointAt(r, 20);
  s.intensity = FloatAt(r, 32);
  s.attenEnd = FloatAt(r, 36);
  s.hotspot = FloatAt(r, 40);
  s.falloff = FloatAt(r, 44);
  light->SetLightState(s);
  node.SetNodeTM(0, MatrixAt(r, 48));
  node.SetObjectRef(light);
  support::LogWrite("Creating Light", kLogTree);
  return true;
}

bool ImportCamera(ImportContext& ctx, host::Node& node) {
  FixedPart part(ctx);
  if (!ReadSized(part, zef::kCameraSize)) return false;
  support::ByteReader r = part.Reader();
  auto camera = ctx.ip.CreateObject(host::kCameraClass, host::kFreeCameraClassId);
  if (!camera) return true;
  camera->SetCameraState({.fov = FloatAt(r, 8)});
  const host::Point3 pos = PointAt(r, 12), angles = PointAt(r, 24);
  host::Matrix3 tm = host::Matrix3::RotationX(angles.x) * host::Matrix3::RotationY(angles.y) *
                     host::Matrix3::RotationZ(angles.z) * host::Matrix3::Translation(pos);
  node.SetNodeTM(0, tm);
  node.SetObjectRef(camera);
  support::LogWrite("Creating Free camera", kLogTree);
  return true;
}

bool ImportDummy(ImportContext& ctx, host::Node& node) {
  FixedPart part(ctx);
  if (!ReadSized(part, zef::kDummySize)) return false;
  support::ByteReader r = part.Reader();
  const host::Point3 half = PointAt(r, 8) * 0.5f;
  auto dummy = ctx.ip.CreateObject(host::kHelperClass, host::kDummyClassId);
  host::Box3 box;
  box.Include(-half);
  box.Include(half);
  if (!dummy || !dummy->SetDummyBox(box)) {
    support::LogWrite("ImportDummy() : create failed!", support::LOG_ERROR);
    return true;
  }
  node.SetObjectRef(dummy);
  support::LogWrite("Creating Dummy object", kLogTree);
  return true;
}

// ---- Engine helpers: fields set by parameter name -----------------------------------------

enum class FieldKind { Int, Float, Colour };

struct FieldDef {
  const char* name;
  uint32_t offset;
  FieldKind kind;
};

struct HelperKind {
  uint32_t blockId;
  host::SuperClassId superClass;
  host::ClassId classId;
  const char* className;
  uint32_t minSize;
  int matrixOffset;  // -1: the block has no matrix
  std::vector<FieldDef> fields;
};

std::vector<FieldDef> EmitterFields(const char* id, const char* group, const char* what) {
  return {
      {id, 8, FieldKind::Int},         {group, 12, FieldKind::Int},        {what, 16, FieldKind::Int},
      {"impulse", 20, FieldKind::Int}, {"interval", 24, FieldKind::Float}, {"random", 28, FieldKind::Float}};
}

std::vector<FieldDef> JointFields() {
  std::vector<FieldDef> f{{"SPIN_ON", 12, FieldKind::Int},          {"SPIN_MIN_ANGLE", 16, FieldKind::Float},
                          {"SPIN_MAX_ANGLE", 20, FieldKind::Float}, {"FRICTION", 24, FieldKind::Float},
                          {"COLLIDE", 28, FieldKind::Int},          {"CONE_ON", 32, FieldKind::Int},
                          {"CNE_ANG", 36, FieldKind::Float}};
  // The names outlive the table: they are kept in a static list.
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const char* plane : {"PLANE_ZX_A_", "PLANE_ZX_B_", "PLANE_ZY_A_", "PLANE_ZY_B_"})
      for (const char* field : {"ON", "TYPE", "OFFSET", "LEAN", "POINT_X", "POINT_Y"})
        n.push_back(std::string(plane) + field);
    return n;
  }();
  for (std::size_t i = 0; i < names.size(); ++i)
    f.push_back(
        {names[i].c_str(), static_cast<uint32_t>(40 + 4 * i), i % 6 < 2 ? FieldKind::Int : FieldKind::Float});
  return f;
}

const std::vector<HelperKind>& HelperKinds() {
  static const std::vector<HelperKind> kinds{
      {zef::kVexaLight,
       host::kLightClass,
       host::kVexaLightClassId,
       "Vexa Light",
       zef::kVexaLightSize,
       56,
       {{"enabled", 8, FieldKind::Int},
        {"type", 12, FieldKind::Int},
        {"rgb", 16, FieldKind::Colour},
        {"showFarAtten", 28, FieldKind::Int},
        {"castShadows", 32, FieldKind::Int},
        {"castSHMShadows", 36, FieldKind::Int},
        {"farAttenEnd", 40, FieldKind::Float},
        {"multiplier", 44, FieldKind::Float},
        {"hotspot", 48, FieldKind::Float},
        {"falloff", 52, FieldKind::Float}}},
      {zef::kIKJoint, host::kHelperClass, host::kVexaIKJointClassId, "Vexa IK Joint", 138, -1, JointFields()},
      {zef::kSoundEvent, host::kHelperClass, host::kVexaSoundEventClassId, "Vexa SoundEvent", zef::kEventSize,
       32, EmitterFields("soundID", "soundGroup", "sound")},
      {zef::kParticleEvent, host::kHelperClass, host::kVexaParticleEventClassId, "Vexa ParticleEvent",
       zef::kEventSize, 32, EmitterFields("particleID", "particleGroup", "particle")},
  };
  return kinds;
}

void SetField(host::ParamBlock& pb, int param, const FieldDef& f, support::ByteReader& r) {
  switch (f.kind) {
    case FieldKind::Int: {
      int32_t v = IntAt(r, f.offset);
      if (!pb.SetInt(param, v)) pb.SetFloat(param, static_cast<float>(v));
      break;
    }
    case FieldKind::Float: {
      float v = FloatAt(r, f.offset);
      if (!pb.SetFloat(param, v)) pb.SetInt(param, static_cast<int>(v));
      break;
    }
    case FieldKind::Colour:
      pb.SetPoint(param, PointAt(r, f.offset));
      break;
  }
}

bool SetNodeParam(host::Object& object, std::string_view name, host::Node* value) {
  host::ParamRef p = object.FindParam(name);
  return p && p.block->SetNode(p.index, value);
}

bool ImportHelper(ImportContext& ctx, host::Node& node, const HelperKind& kind) {
  FixedPart part(ctx);
  if (!ReadSized(part, kind.minSize)) return false;
  support::ByteReader r = part.Reader();
  auto object = ctx.ip.CreateObject(kind.superClass, kind.classId);
  if (!object) {
    LogFormat(support::LOG_ERROR, "Can't create instance of %s. The plugin is probably missing.",
              kind.className);
    return true;
  }
  for (int b = 0; b < object->NumParamBlocks(); ++b) {
    host::ParamBlock* pb = object->GetParamBlock(b);
    if (!pb) continue;
    for (int p = 0; p < pb->NumParams(); ++p) {
      const std::string name = pb->Def(p).internalName;
      for (const FieldDef& f : kind.fields)
        if (host::EqualsNoCase(name, f.name)) SetField(*pb, p, f, r);
    }
  }
  if (kind.matrixOffset >= 0) node.SetNodeTM(0, MatrixAt(r, static_cast<std::size_t>(kind.matrixOffset)));
  if (kind.blockId == zef::kIKJoint) {
    const std::string a = TextAt(part.Bytes(), 136);
    const std::string b = TextAt(part.Bytes(), 136 + a.size() + 1);
    host::Node* na = a.empty() ? nullptr : ctx.ip.GetINodeByName(a);
    host::Node* nb = b.empty() ? nullptr : ctx.ip.GetINodeByName(b);
    if (na) SetNodeParam(*object, "OBJECT_A", na);
    if (nb) SetNodeParam(*object, "OBJECT_B", nb);
    if ((!a.empty() && !na) || (!b.empty() && !nb))
      ctx.pendingJoints.push_back({object, na ? std::string() : a, nb ? std::string() : b});
  }
  node.SetObjectRef(object);
  return true;
}

const HelperKind* FindHelperKind(uint32_t id) {
  for (const HelperKind& k : HelperKinds())
    if (k.blockId == id) return &k;
  return nullptr;
}

}  // namespace

host::Matrix3 MatrixAt(support::ByteReader& r, std::size_t offset) {
  host::Matrix3 m;
  for (int row = 0; row < 4; ++row) m.SetRow(row, PointAt(r, offset + 16 * static_cast<std::size_t>(row)));
  return m;
}

bool SkipBlockFrom(ImportContext& ctx, std::size_t at, const BlockHead& head) {
  if (head.size < zef::kBlockHeadSize) {
    LogFormat(support::LOG_ERROR, "Block 0x%08X at file offset %d has the size %u, smaller than its head\n",
              head.id, static_cast<int>(at), head.size);
    return false;
  }
  return ctx.reader.SetPtr(static_cast<int64_t>(at) + head.size, false);
}

bool ImportTransform(ImportContext& ctx, host::Node& node) {
  FixedPart part(ctx);
  if (!ReadSized(part, zef::kTransformSize)) return false;
  support::ByteReader r = part.Reader();
  node.SetNodeTM(0, MatrixAt(r, 44));
  return true;
}

bool ImportUserProps(ImportContext& ctx, host::Node& node) {
  FixedPart part(ctx);
  if (!ReadSized(part, zef::kUserPropsHeadSize)) return false;
  support::ByteReader r = part.Reader();
  const uint32_t length = static_cast<uint32_t>(IntAt(r, 8));
  node.SetUserPropBuffer(TextAt(part.Bytes(), 12, length));
  return true;
}

bool ImportNode(ImportContext& ctx, host::Node* parent) {
  const std::size_t start = ctx.reader.Cursor();
  auto head = ctx.reader.PeekHead();
  if (!head) return false;
  if (head->size < zef::kBlockHeadSize) return SkipBlockFrom(ctx, start, *head);
  if (ctx.depth >= kMaxNodeDepth) {
    LogFormat(support::LOG_ERROR, "ImportNode() : nodes nested deeper than %d, File offset: %d\n",
              kMaxNodeDepth, static_cast<int>(start));
    return false;
  }
  std::string name;
  uint32_t children = 0;
  std::size_t fixedSize = 0;
  {
    FixedPart part(ctx);
    if (!ReadSized(part, zef::kNodeHeadSize)) return false;
    support::ByteReader r = part.Reader();
    children = static_cast<uint32_t>(IntAt(r, 8));
    name = TextAt(part.Bytes(), zef::kNodeHeadSize);
    fixedSize = part.Size();
  }
  LogFormat(kLogTree, "Node-> name: \"%s\", numChildren: %d\n", name.c_str(), static_cast<int>(children));
  LogIndent indent(2);
  host::Node* node = ctx.ip.CreateNode(name, parent);
  if (!node) {
    support::LogWrite("ImportNode() : cannot create a node\n", support::LOG_ERROR);
    return SkipBlockFrom(ctx, start, *head);
  }

  ++ctx.depth;
  const std::size_t end = start + head->size;
  bool ok = ctx.reader.SetPtr(static_cast<int64_t>(start + fixedSize), false);
  while (ok && ctx.reader.Cursor() < end) {
    const std::size_t at = ctx.reader.Cursor();
    auto h = ctx.reader.PeekHead();
    if (!h) {
      ok = false;
      break;
    }
    const HelperKind* helper = FindHelperKind(h->id);
    switch (h->id) {
      case zef::kNode:
      case zef::kSkeletonObj:
        ok = ImportNode(ctx, node);
        break;
      case zef::kLight:
        ok = ImportLight(ctx, *node);
        break;
      case zef::kGObj:
        ok = ImportGObj(ctx, *node);
        break;
      case zef::kUserProps:
        ok = ImportUserProps(ctx, *node);
        break;
      case zef::kTransform:
        ok = ImportTransform(ctx, *node);
        break;
      case zef::kDummy:
        ok = ImportDummy(ctx, *node);
        break;
      case zef::kCamera:
        ok = ImportCamera(ctx, *node);
        break;
      case zef::kPhysData:
        LogFormat(support::LOG_INFO, "ImportNode() : PHYS_DATA found for %s, File offset: %d\n", name.c_str(),
                  static_cast<int>(at));
        break;
      default:
        if (helper) {
          ok = ImportHelper(ctx, *node, *helper);
        } else {
          ctx.unknownBlocks = true;
          LogFormat(support::LOG_ERROR,
                    "ImportNode() : Unknown block found! BlockID: 0x%08X, File offset: %d\n", h->id,
                    static_cast<int>(at));
        }
        break;
    }
    ok = ok && SkipBlockFrom(ctx, at, *h);
  }
  --ctx.depth;
  return ok && ctx.reader.SetPtr(static_cast<int64_t>(end), false);
}

void ResolvePendingJoints(ImportContext& ctx) {
  for (const PendingJointNodes& p : ctx.pendingJoints) {
    if (!p.objectA.empty())
      if (host::Node* n = ctx.ip.GetINodeByName(p.objectA)) SetNodeParam(*p.joint, "OBJECT_A", n);
    if (!p.objectB.empty())
      if (host::Node* n = ctx.ip.GetINodeByName(p.objectB)) SetNodeParam(*p.joint, "OBJECT_B", n);
  }
  ctx.pendingJoints.clear();
}

}  // namespace vorlan::zefimport
