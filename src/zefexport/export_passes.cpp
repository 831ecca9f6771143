#include "zefexport/export_passes.h"

#include <optional>

#include "zef/blocks.h"
#include "zefexport/mesh_export.h"
#include "zefexport/node_builders.h"
#include "zefexport/physics_export.h"

namespace vorlan::zefexport {

namespace {

constexpr host::TimeValue kT0 = 0;

bool PassesSelection(const ExportContext& ctx, const host::Node& node) {
  return !ctx.options.selectionOnly || node.Selected() || node.IsRootNode();
}

host::Matrix3 ObjectOffsetMatrix(const host::Node& node) {
  host::Matrix3 m;
  m.PreTranslate(node.GetObjOffsetPos());
  m.PreRotate(node.GetObjOffsetRot());
  m.ApplyScale(node.GetObjOffsetScale());
  return m;
}

// The geometric node's own blocks: GObj, then Physics when the node has physical properties.
// Returns false when the node must be skipped with its subtree (no usable mesh).
enum class GeomResult { Written, Skip };

GeomResult BuildGeometryBlocks(ExportContext& ctx, host::Node& node, host::Mesh& mesh, bool ofTheScene) {
  // A mesh of the scene keeps no normals that were built for this export only.
  struct Forget {
    host::Mesh* mesh;
    ~Forget() {
      if (mesh) mesh->ForgetNormals();
    }
  } forget{ofTheScene && !mesh.NormalsBuilt() ? &mesh : nullptr};
  FaceList& faces = ctx.scratch.faces;
  if (!BuildFaceList(ctx, node, kT0, ObjectOffsetMatrix(node), &mesh, faces)) return GeomResult::Skip;
  PhysicsSources physics = GatherPhysics(ctx, node, faces);
  BuildGObj(ctx, node, faces, host::Point3{});
  WritePhysicsBlock(ctx, node, faces, physics);
  return GeomResult::Written;
}

// The object's triangle mesh when it has one with vertices and faces, or null. An editable
// mesh is used where it lies, as converting an object that already is a triangle mesh gives
// that object itself; any other object is converted into `scratch`.
host::Mesh* UsableMesh(host::Object& object, host::Mesh& scratch) {
  if (!object.CanConvertToTriMesh()) return nullptr;
  host::Mesh* mesh = object.GetEditableMesh();
  if (!mesh) {
    auto converted = object.ConvertToTriMesh(kT0);
    if (!converted) return nullptr;
    scratch = std::move(*converted);
    mesh = &scratch;
  }
  return mesh->NumVerts() != 0 && mesh->NumFaces() != 0 ? mesh : nullptr;
}

}  // namespace

bool HasCollisionMark(const host::Node& node) {
  const auto* mark = node.GetAppData(host::kZefExportClassId, host::kSceneExportClass, kCollisionMarkSub);
  if (!mark) return false;
  for (uint8_t b : *mark)
    if (b) return true;
  return false;
}

void RemoveNodeMarks(host::Node& node) {
  node.RemoveAppData(host::kZefExportClassId, host::kSceneExportClass, kCollisionMarkSub);
  for (int i = 0; i < node.NumberOfChildren(); ++i)
    if (host::Node* c = node.GetChildNode(i)) RemoveNodeMarks(*c);
}

uint32_t PrePass(ExportContext& ctx, const host::Node& node) {
  if (!PassesSelection(ctx, node)) return 0;
  uint32_t count = 1;
  ctx.instances.Note(node.GetObjectRef());
  const host::Object* object = node.EvalWorldState(kT0);
  if (object && object->GetSuperClassId() == host::kGeomObjectClass && node.GetMtl())
    ctx.materials.Collect(&node, node.GetMtl());
  for (int i = 0; i < node.NumberOfChildren(); ++i)
    if (const host::Node* c = node.GetChildNode(i)) count += PrePass(ctx, *c);
  return count;
}

uint32_t MainPass(ExportContext& ctx, host::Node& node) {
  if (ctx.options.selectionOnly && !node.Selected()) return 0;

  host::Object* object = node.EvalWorldState(kT0);
  host::Mesh* mesh = nullptr;
  if (object && object->GetSuperClassId() == host::kGeomObjectClass) {
    mesh = UsableMesh(*object, ctx.scratch.mesh);
    if (!mesh) {
      if (node.GetMtl())
        ctx.Message("The object " + node.GetName() + " doesn't have a mesh, but does have a material!",
                    "Max || Artist error");
      return 0;
    }
  }

  zef::SceneBuffer& b = ctx.buffer;
  const bool marked = HasCollisionMark(node);
  const uint32_t head = b.Offset();
  bool dropped = marked;

  if (!marked) {
    std::string name = node.GetName();
    b.U32(zef::kNode);
    b.U32(0);
    b.U32(0);
    b.U32(static_cast<uint32_t>(name.size() + 1));
    b.CString(name);
    ctx.Step(name.c_str(), "Header", static_cast<int>(++ctx.nodeCounter));

    if (object) {
      switch (object->GetSuperClassId()) {
        case host::kGeomObjectClass:
          if (BuildGeometryBlocks(ctx, node, *mesh, mesh != &ctx.scratch.mesh) == GeomResult::Skip) {
            b.SetOffset(head);
            return 0;
          }
          break;
        case host::kCameraClass:
          BuildCameraBlocks(ctx, node, *object);
          break;
        case host::kLightClass:
          dropped = BuildLightBlocks(ctx, node, *object) == 0;
          break;
        case host::kHelperClass:
          dropped = BuildHelperBlocks(ctx, node, *object) == 0;
          break;
        case host::kShapeClass:
          if (!ctx.shapeWarningShown) {
            ctx.shapeWarningShown = true;
            ctx.Message("You have some Shape(s) in the scene. Please delete or convert it.", "User Error",
                        host::Buttons::Ok, host::Icon::Error, true);
          }
          dropped = true;
          break;
        default:
          dropped = true;
          break;
      }
    }
    if (dropped) b.SetOffset(head);
  }

  uint32_t children = 0;
  for (int i = 0; i < node.NumberOfChildren(); ++i)
    if (host::Node* c = node.GetChildNode(i)) children += MainPass(ctx, *c);

  // A dropped or collision node leaves no head: its children stand in its place and are
  // counted by its parent.
  if (dropped) return children;
  b.PatchU32(head + 8, children);
  b.PatchU32(head + 4, b.Offset() - head);
  return 1;
}

}  // namespace vorlan::zefexport
