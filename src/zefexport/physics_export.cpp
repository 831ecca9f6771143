#include "zefexport/physics_export.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/material_records.h"

namespace vorlan::zefexport {

namespace {

constexpr host::TimeValue kT0 = 0;
constexpr int kSamplingResolution = 20;
constexpr std::size_t kMaxSphereHelpers = 256;
constexpr float kGlassShrink = 0.03f;
constexpr uint32_t kManyFaces = 50;
constexpr float kLowFaceRatio = 0.7f;
constexpr float kMovableSkin = 0.025f;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

void SetCollisionMark(host::Node& node) {
  node.SetAppData(host::kZefExportClassId, host::kSceneExportClass, kCollisionMarkSub, {1, 0, 0, 0});
}

uint32_t SurfaceOf(const host::Mtl* mtl) { return mtl ? zef::Code4Value(zef::GetSurfaceCode(*mtl)) : 0; }

// The material a face's id selects on a node: a sub-material of a multi-material.
const host::Mtl* FaceMaterial(const host::Mtl* mtl, uint16_t matId) {
  if (!mtl || mtl->NumSubMtls() == 0) return mtl;
  return mtl->GetSubMtl(matId % mtl->NumSubMtls());
}

bool HasSurfaceCode(const host::Mtl* mtl) {
  if (!mtl) return false;
  if (SurfaceOf(mtl)) return true;
  for (int i = 0; i < mtl->NumSubMtls(); ++i)
    if (SurfaceOf(mtl->GetSubMtl(i))) return true;
  return false;
}

// Position of `other`'s pivot in `owner`'s space.
host::Point3 RelativePosition(const host::Node& owner, const host::Node& other) {
  return host::Point3{} * owner.RelativeTM(other, kT0);
}

// `other`'s object space to `owner`'s pivot space.
host::Matrix3 ObjectToOwner(const host::Node& owner, const host::Node& other) {
  return other.GetObjTMAfterWSM(kT0) * host::Inverse(owner.GetNodeTM(kT0));
}

struct Sphere {
  host::Point3 center;
  float radius;
  uint32_t surface;
};

bool IsSphereHelper(const host::Node& n) {
  const host::Object* o = n.EvalWorldState(kT0);
  return o && o->GetSuperClassId() == host::kHelperClass && o->GetClassId() == host::kExtDummyClassId;
}

Sphere MakeSphere(const host::Node& owner, const host::Node& helper) {
  Sphere s{RelativePosition(owner, helper), 0.0f, 0};
  if (const host::Object* o = helper.EvalWorldState(kT0)) {
    host::ParamBlock* pb = o->FindParamBlock("ExtDummyObjParams");
    if (auto i = pb ? pb->Find("Radius") : std::nullopt) s.radius = pb->GetFloat(*i, kT0);
  }
  if (auto mat = UserPropertyValue(helper.GetUserPropBuffer(), "Phy_defmat"))
    s.surface = zef::Code4Value(zef::MakeCode4(*mat));
  return s;
}

// The first "^B" node below `n`: its direct children first, then each child's subtree.
host::Node* FindCollisionMeshNode(const host::Node& n) {
  for (int i = 0; i < n.NumberOfChildren(); ++i)
    if (host::Node* c = n.GetChildNode(i); c && StartsWith(c->GetName(), "^B")) return c;
  for (int i = 0; i < n.NumberOfChildren(); ++i)
    if (host::Node* c = n.GetChildNode(i))
      if (host::Node* deeper = FindCollisionMeshNode(*c)) return deeper;
  return nullptr;
}

// The twelve triangles of a box, outward facing.
void AddBox(geometry::PhysicsShape& shape, const host::Box3& box, uint32_t surface) {
  const host::Point3 a = box.min, b = box.max;
  host::Point3 p[8] = {{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, b.y, a.z}, {a.x, b.y, a.z},
                       {a.x, a.y, b.z}, {b.x, a.y, b.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}};
  static constexpr int kQuads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
  for (const auto& q : kQuads) {
    shape.AddTriangle(p[q[0]], p[q[1]], p[q[2]], surface);
    shape.AddTriangle(p[q[0]], p[q[2]], p[q[3]], surface);
  }
}

void AskForCollisionObject(ExportContext& ctx, const host::Node& node, std::size_t faces) {
  std::string question = "Hey man, make a special collision object (\"^K\") for the object \"" +
                         node.GetName() + "\".\nIt has " + std::to_string(faces) +
                         " faces now and it's not good for physics.\nNOT good! Do you understand?";
  if (ctx.Message(question, "Warning", host::Buttons::YesNo, host::Icon::Warning) != host::Answer::No) return;
  std::string login = ctx.ip.GetUserName().substr(0, 32);
  ctx.Message(
      "Mily " + login +
          ",\ncemu ty nerozumet? Dyt to byt uplne jednoduche, ty jiste chapat, ze fyzika potrebovat "
          "jednoducha kollizni tvar a presto ty ho neudelat a chtit pouzivat renderovaci. \nTak ty to sup "
          "sup spravit nebo ja ti neco smazat ;-)",
      "Error - intelligence not found", host::Buttons::Ok, host::Icon::Error);
}

}  // namespace

std::optional<float> ParsePhysicsWeight(std::string_view props) {
  std::size_t key = props.find("Phy_weight");
  if (key == std::string_view::npos) return std::nullopt;
  std::size_t eq = props.find('=', key);
  if (eq == std::string_view::npos) return std::nullopt;
  std::size_t start = eq + 1;
  while (start < props.size() && (props[start] == ' ' || props[start] == '\t')) ++start;
  std::size_t end = props.find_first_of("\r\n", start);
  std::string value(
      props.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
  return static_cast<float>(std::strtod(value.c_str(), nullptr));
}

std::optional<std::string> UserPropertyValue(std::string_view props, std::string_view key) {
  std::size_t at = props.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t lineEnd = props.find_first_of("\r\n", at);
  std::string_view line =
      props.substr(at + key.size(),
                   lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - at - key.size());
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  line.remove_prefix(eq + 1);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
  return std::string(line);
}

bool HasUserProperty(std::string_view props, std::string_view key) {
  for (std::size_t at = props.find(key); at != std::string_view::npos; at = props.find(key, at + 1)) {
    bool lineStart = at == 0 || props[at - 1] == '\n' || props[at - 1] == '\r';
    std::size_t after = at + key.size();
    bool wordEnd = after == props.size() || !std::isalnum(static_cast<unsigned char>(props[after]));
    if (lineStart && wordEnd) return true;
  }
  return false;
}

std::vector<uint8_t> MakeCollisionMeshRecord(const host::Node& owner, const host::Node& meshNode) {
  std::vector<uint8_t> record;
  const host::Object* o = meshNode.EvalWorldState(kT0);
  std::optional<host::Mesh> mesh = o && o->CanConvertToTriMesh() ? o->ConvertToTriMesh(kT0) : std::nullopt;
  if (!mesh || !mesh->IsValid()) mesh = host::Mesh{};
  host::Matrix3 tm = ObjectToOwner(owner, meshNode);
  support::ByteWriter w(record);
  w.U32(static_cast<uint32_t>(12 + 12 * mesh->faces.size() + 12 * mesh->verts.size()));
  w.U32(static_cast<uint32_t>(mesh->faces.size()));
  w.U32(static_cast<uint32_t>(mesh->verts.size()));
  for (const host::MeshFace& f : mesh->faces)
    for (uint32_t v : f.v) w.U32(v);
  for (host::Point3 p : mesh->verts) {
    host::Point3 q = p * tm;
    w.F32(q.x), w.F32(q.y), w.F32(q.z);
  }
  return record;
}

PhysicsSources GatherPhysics(ExportContext& ctx, host::Node& node, const FaceList& faces) {
  PhysicsSources src;
  const std::string props = node.GetUserPropBuffer();
  std::optional<float> weight = ParsePhysicsWeight(props);
  if (!weight) return src;
  src.hasWeight = true;
  src.weight = *weight;

  const std::string name = node.GetName();
  std::vector<Sphere> spheres;
  if (IsSphereHelper(node)) spheres.push_back(MakeSphere(node, node));
  host::Node* collision = nullptr;
  host::Node* centre = nullptr;
  bool ownNameIsCollision = StartsWith(name, "^K") || StartsWith(name, "!");
  for (int i = 0; i < node.NumberOfChildren(); ++i) {
    host::Node* c = node.GetChildNode(i);
    if (!c) continue;
    std::string cn = c->GetName();
    if (IsSphereHelper(*c) && spheres.size() < kMaxSphereHelpers) spheres.push_back(MakeSphere(node, *c));
    if (!collision && !ownNameIsCollision && (StartsWith(cn, "^K") || StartsWith(cn, "!"))) collision = c;
    if (!centre && StartsWith(cn, "^T")) {
      const host::Object* o = c->EvalWorldState(kT0);
      if (o && o->GetClassId() == host::kPointHelperClassId) centre = c;
    }
  }
  const host::Mtl* mtl = node.GetMtl();
  const bool surfaceMaterial = HasSurfaceCode(mtl);

  if (!collision && spheres.empty() && !surfaceMaterial) {
    ctx.Message("Object " + name +
                    " does have physical properties set, but there's no collision object linked (\"^K\", "
                    "ExtDummy) or collision material set :-(",
                "Warning");
    src.hasWeight = false;
    return src;
  }

  auto shape = std::make_unique<geometry::PhysicsShape>();
  shape->Begin(kSamplingResolution, kSamplingResolution, kSamplingResolution);
  auto addSpheres = [&] {
    for (const Sphere& s : spheres) shape->AddSphere(s.center, s.radius, s.surface);
  };

  if (!collision) {
    if (centre) shape->SetCenterOfMass(RelativePosition(node, *centre));
    if (surfaceMaterial && spheres.empty()) {
      if (props.find("glass") == std::string::npos) {
        for (std::size_t f = 0; f < faces.NumTriangles(); ++f)
          shape->AddTriangle(faces.positions[3 * f], faces.positions[3 * f + 1], faces.positions[3 * f + 2],
                             SurfaceOf(faces.triangles[f].mtl));
      } else if (faces.NumTriangles() > 0) {
        host::Box3 box;
        for (host::Point3 p : faces.positions) box.Include(p);
        const host::Point3 shrink{kGlassShrink, kGlassShrink, kGlassShrink};
        box.min += shrink;
        box.max -= shrink;
        AddBox(*shape, box, SurfaceOf(faces.triangles[0].mtl));
      }
    }
    addSpheres();
    if (surfaceMaterial && spheres.empty() && faces.NumTriangles() > kManyFaces)
      AskForCollisionObject(ctx, node, faces.NumTriangles());
  } else {
    const std::string cn = collision->GetName();
    if (!StartsWith(cn, "!")) SetCollisionMark(*collision);
    const host::Object* o = collision->EvalWorldState(kT0);
    std::optional<host::Mesh> mesh = o && o->CanConvertToTriMesh() ? o->ConvertToTriMesh(kT0) : std::nullopt;
    if (!mesh || mesh->faces.empty() || !mesh->IsValid()) {
      ctx.Message("Object \"" + cn + "\" doesn't have MESH!", "Error", host::Buttons::Ok, host::Icon::Error);
    } else {
      if (centre) shape->SetCenterOfMass(RelativePosition(node, *centre));
      host::Matrix3 tm = ObjectToOwner(node, *collision);
      const bool mirrored = collision->GetObjTMAfterWSM(kT0).Mirrors();
      const host::Mtl* cmtl = collision->GetMtl();
      for (const host::MeshFace& f : mesh->faces) {
        host::Point3 c[3];
        for (int k = 0; k < 3; ++k)
          c[k] = mesh->verts[f.v[static_cast<std::size_t>(mirrored ? 2 - k : k)]] * tm;
        shape->AddTriangle(c[0], c[1], c[2], SurfaceOf(FaceMaterial(cmtl, f.matId)));
      }
      addSpheres();
      std::size_t n = mesh->faces.size();
      if (n > kManyFaces && static_cast<float>(n) > kLowFaceRatio * static_cast<float>(faces.NumTriangles()))
        ctx.Message(
            "Hey dude, your nice \"" + cn +
                "\" does have a collision object linked, but the object should be more low-face. \nPlease "
                "make it more simple, it's for physics and if you'll do it, it will be faster. \nAnd you "
                "will never see this annoying message again ;-)",
            "Warning", host::Buttons::Ok, host::Icon::Warning);
    }
  }
  shape->Finish(src.weight > 0.0f ? kMovableSkin : 0.0f);

  if (!StartsWith(name, "^B")) {
    if (host::Node* meshNode = FindCollisionMeshNode(node)) {
      SetCollisionMark(*meshNode);
      src.collisionMesh = MakeCollisionMeshRecord(node, *meshNode);
    }
  }

  if (HasUserProperty(props, "hydro") && shape->HasModel()) {
    auto design = std::make_unique<geometry::CollisionDesign>();
    design->build(shape->Model(), shape->Volume());
    // A design that fails would leave the body without buoyancy and nobody would know why.
    if (design->failed())
      ctx.Message(
          "Object " + name + ": the buoyancy design (\"hydro\") could not be built.\n" + design->error_text(),
          "Warning", host::Buttons::Ok, host::Icon::Warning);
    src.design = std::move(design);
  }
  src.shape = std::move(shape);
  return src;
}

uint32_t WritePhysicsBlock(ExportContext& ctx, host::Node&, const FaceList&, const PhysicsSources& src) {
  if (!src.hasWeight || !src.shape) return 0;
  std::span<const uint8_t> a = src.collisionMesh.empty()
                                   ? std::span<const uint8_t>{}
                                   : std::span<const uint8_t>(src.collisionMesh).subspan(4);
  std::span<const uint8_t> b = src.shape->Buffer();
  std::span<const uint8_t> c = src.design ? src.design->save_buffer() : std::span<const uint8_t>{};
  zef::SceneBuffer& buf = ctx.buffer;
  uint32_t start = buf.Offset();
  buf.U32(zef::kPhysics);
  buf.U32(static_cast<uint32_t>(39 + a.size() + b.size() + c.size()));
  buf.U32(2);
  buf.U32(static_cast<uint32_t>(a.size()));
  buf.U32(static_cast<uint32_t>(b.size()));
  buf.U32(static_cast<uint32_t>(c.size()));
  buf.Point(src.shape->CenterOfMass());
  buf.Bytes(a);
  buf.Bytes(b);
  buf.Bytes(c);
  buf.Zeros(3);
  return buf.Offset() - start;
}

}  // namespace vorlan::zefexport
