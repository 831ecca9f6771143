// The workbench's scene model: a tree of nodes that reference shared objects and materials.
//
// The scene owns everything. Nodes live as long as the scene (their addresses are stable, so
// parameter blocks and plug-ins may keep `host::Node*`). Objects and materials are held by
// `std::shared_ptr`, so several nodes can reference one object: such nodes are instances and
// report the same `GetObjectRef()`.
//
// Transforms follow the host: a node's transform is its world transform (not relative to its
// parent), and reparenting keeps it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "host/interface.h"
#include "host/material.h"
#include "host/node.h"
#include "host/object.h"
#include "host/paramblock.h"
#include "host/skin.h"

namespace vorlan::workbench {

class Scene;
class SceneNode;
class ControlBase;
class TransformControl;
class DerivedObjectImpl;

// Application data chunks keyed by (owner class, owner super class, sub-ID).
class AppDataStore {
 public:
  struct Key {
    host::ClassId owner;
    host::SuperClassId superClass = 0;
    uint32_t sub = 0;
    friend constexpr auto operator<=>(const Key&, const Key&) = default;
  };

  const std::vector<uint8_t>* Get(host::ClassId owner, host::SuperClassId sc, uint32_t sub) const;
  void Set(host::ClassId owner, host::SuperClassId sc, uint32_t sub, std::vector<uint8_t> data);
  void Remove(host::ClassId owner, host::SuperClassId sc, uint32_t sub);
  const std::map<Key, std::vector<uint8_t>>& All() const { return chunks_; }
  void Clear() { chunks_.clear(); }

 private:
  std::map<Key, std::vector<uint8_t>> chunks_;
};

// Gives a host entity its application data chunks, kept in `appData`.
template <class Base>
class WithAppData : public Base {
 public:
  const std::vector<uint8_t>* GetAppData(host::ClassId owner, host::SuperClassId sc,
                                         uint32_t sub) const override {
    return appData.Get(owner, sc, sub);
  }
  void SetAppData(host::ClassId owner, host::SuperClassId sc, uint32_t sub,
                  std::vector<uint8_t> data) override {
    appData.Set(owner, sc, sub, std::move(data));
  }
  void RemoveAppData(host::ClassId owner, host::SuperClassId sc, uint32_t sub) override {
    appData.Remove(owner, sc, sub);
  }

  AppDataStore appData;
};

// A named block of typed parameters. Every parameter holds a list of values; a plain
// parameter has exactly one, a table any number (including none).
//
// Values are kept in the representation of the parameter's type: Int and Bool as int, Float
// as float, String as text, Point and Colour as Point3, Node as a node pointer that the
// block does not own.
class ParamBlockImpl : public host::ParamBlock {
 public:
  using Value = std::variant<int, float, std::string, host::Point3, host::Node*>;

  explicit ParamBlockImpl(std::string name) : name_(std::move(name)) {}

  // Appends a parameter and returns its index. A plain parameter starts with one zero or
  // empty value, a table with no entries. Precondition: the name is not yet in the block.
  int AddParam(host::ParamDef def);
  // Appends a parameter with its first value (tables: one entry).
  int AddParam(host::ParamDef def, Value initial);

  // Setters by internal name (case-insensitive) for tests and documents. A table grows to
  // hold `tab`. False when there is no such parameter or it does not take the kind.
  bool Set(std::string_view name, int value, int tab = 0);
  bool Set(std::string_view name, float value, int tab = 0);
  bool Set(std::string_view name, double value, int tab = 0) { return Set(name, float(value), tab); }
  bool Set(std::string_view name, host::Point3 value, int tab = 0);
  bool Set(std::string_view name, std::string_view value, int tab = 0);
  bool Set(std::string_view name, const char* value, int tab = 0) {
    return Set(name, std::string_view(value), tab);
  }
  bool Set(std::string_view name, host::Node* value, int tab = 0);

  // The raw value of an entry; null when the parameter or entry does not exist.
  const Value* Raw(int param, int tab = 0) const;

  // host::ParamBlock
  std::string BlockName() const override { return name_; }
  int NumParams() const override { return static_cast<int>(params_.size()); }
  host::ParamDef Def(int param) const override;
  int Count(int param) const override;
  int GetInt(int param, host::TimeValue t, int tab = 0) const override;
  float GetFloat(int param, host::TimeValue t, int tab = 0) const override;
  host::Point3 GetPoint(int param, host::TimeValue t, int tab = 0) const override;
  std::string GetString(int param, host::TimeValue t, int tab = 0) const override;
  host::Node* GetNode(int param, host::TimeValue t, int tab = 0) const override;
  bool SetInt(int param, int value, int tab = 0) override;
  bool SetFloat(int param, float value, int tab = 0) override;
  bool SetPoint(int param, host::Point3 value, int tab = 0) override;
  bool SetString(int param, std::string_view value, int tab = 0) override;
  bool SetNode(int param, host::Node* value, int tab = 0) override;
  bool SetCount(int param, int count) override;

  // A deep copy whose node references are mapped through `remap` (identity when empty).
  std::unique_ptr<ParamBlockImpl> Clone(const std::function<host::Node*(host::Node*)>& remap = {}) const;

 private:
  struct Param {
    host::ParamDef def;
    std::vector<Value> values;
  };
  // The entry to write, growing a table; null for a bad index.
  Value* Slot(int param, int tab);

  std::string name_;
  std::vector<Param> params_;
};

// The zero value of a parameter type in its stored representation.
ParamBlockImpl::Value ZeroValue(host::ParamType type);

// Base of every object the workbench creates: class identity, parameter blocks, app data.
class SceneObject : public WithAppData<host::Object> {
 public:
  SceneObject(host::ClassId id, host::SuperClassId sc, std::string className)
      : classId_(id), superClass_(sc), className_(std::move(className)) {}

  host::ClassId GetClassId() const override { return classId_; }
  host::SuperClassId GetSuperClassId() const override { return superClass_; }
  std::string ClassName() const override { return className_; }
  host::Box3 GetBoundingBox(host::TimeValue) const override { return {}; }

  int NumParamBlocks() const override { return static_cast<int>(paramBlocks.size()); }
  host::ParamBlock* GetParamBlock(int i) const override;
  // Appends a block and returns it (owned by the object).
  ParamBlockImpl& AddParamBlock(std::string name);

  std::vector<std::unique_ptr<ParamBlockImpl>> paramBlocks;

 private:
  host::ClassId classId_;
  host::SuperClassId superClass_;
  std::string className_;
};

// An editable triangle mesh: converts to a copy of itself.
class MeshObject : public SceneObject {
 public:
  MeshObject() : SceneObject(host::kTriObjectClassId, host::kGeomObjectClass, "Editable Mesh") {}
  explicit MeshObject(host::Mesh m) : MeshObject() { mesh = std::move(m); }

  bool CanConvertToTriMesh() const override { return true; }
  std::optional<host::Mesh> ConvertToTriMesh(host::TimeValue) const override { return mesh; }
  host::Box3 GetBoundingBox(host::TimeValue) const override { return mesh.Bounds(); }
  host::Mesh* GetEditableMesh() override { return &mesh; }

  host::Mesh mesh;
  // Tangents for normal maps as interchange files carry them: direction x, y, z and in w
  // the handedness (+1 or -1) of the bitangent. Corner k of face f uses
  // tangents[tangentFaces[f][k]]. Empty when the mesh has none; only glTF output uses them.
  std::vector<std::array<float, 4>> tangents;
  std::vector<std::array<uint32_t, 3>> tangentFaces;
};

// Geometry the host cannot turn into triangles (a particle system, a NURBS surface that
// failed to tessellate): the exporter's "no mesh" path.
class UnconvertibleGeomObject : public SceneObject {
 public:
  explicit UnconvertibleGeomObject(host::ClassId id = {0x7E0, 0}, std::string className = "Unconvertible")
      : SceneObject(id, host::kGeomObjectClass, std::move(className)) {}
};

class CameraObject : public SceneObject {
 public:
  explicit CameraObject(bool target = false);

  // The field of view comes from `fovControl` when it has keys, otherwise from `fov`.
  std::optional<host::CameraState> EvalCameraState(host::TimeValue t) const override;
  host::Interval ObjectValidity(host::TimeValue t) const override;
  host::Control* GetFOVController() const override;
  host::Box3 GetBoundingBox(host::TimeValue) const override;
  bool SetCameraState(const host::CameraState& state) override {
    fov = state.fov;
    return true;
  }
  bool IsTarget() const { return GetClassId() == host::kTargetCameraClassId; }

  float fov = 0.785398f;  // horizontal, radians
  std::shared_ptr<ControlBase> fovControl;  // a float controller, or null
};

class LightObject : public SceneObject {
 public:
  // Precondition: `id` is one of the host's light classes (omni, target/free spot, target/free
  // directional, ambient); the kind follows from it.
  explicit LightObject(host::ClassId id = host::kOmniLightClassId);

  std::optional<host::LightState> EvalLightState(host::TimeValue) const override;
  host::Box3 GetBoundingBox(host::TimeValue) const override;
  bool SetLightState(const host::LightState& state) override;
  host::LightKind Kind() const;
  bool IsTarget() const;

  bool on = true;
  bool shadow = false;
  host::Point3 color{1, 1, 1};
  float multiplier = 1.0f;
  float attenEnd = 0.0f;
  float hotspot = 43.0f;  // degrees
  float falloff = 45.0f;
};

// Whether a class id is one of the host's light classes LightObject models.
bool IsHostLightClass(host::ClassId id);

// Helpers of any class: the host's dummy (with its box), point and bone helpers, and the
// engine's helpers, which plug-ins know only through their parameter blocks.
class HelperObject : public SceneObject {
 public:
  HelperObject(host::ClassId id, std::string className, host::SuperClassId sc = host::kHelperClass)
      : SceneObject(id, sc, std::move(className)) {}

  // The host's dummy: its bounding box is the box.
  static std::shared_ptr<HelperObject> Dummy(host::Box3 box);
  static std::shared_ptr<HelperObject> Point();
  static std::shared_ptr<HelperObject> Bone();
  // A helper of the given class with the parameter blocks the class is known to have (the
  // engine's light, joint, sound and particle helpers and the collision sphere); other
  // classes get none and the class name "Helper".
  static std::shared_ptr<HelperObject> Create(host::ClassId id);

  host::Box3 GetBoundingBox(host::TimeValue) const override;
  // Only the host's dummy takes a box.
  bool SetDummyBox(const host::Box3& b) override {
    if (GetClassId() != host::kDummyClassId) return false;
    box = b;
    return true;
  }

  // The dummy box; other helpers report a small box around their origin unless one is set.
  std::optional<host::Box3> box;
};

// Spline shapes: the exporter refuses them, so only the class matters.
class ShapeObject : public SceneObject {
 public:
  ShapeObject() : SceneObject(host::kSplineShapeClassId, host::kShapeClass, "Line") {}
};

// A source of a node's transform over time; set on a node, it overrides the static transform.
using TransformTrack = std::function<host::Matrix3(host::TimeValue)>;

class SceneNode : public WithAppData<host::Node> {
 public:
  // Nodes are created by the scene only.
  SceneNode(Scene& scene, std::string name, SceneNode* parent, bool isRoot);
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  // Setters.
  void SetName(std::string name) { name_ = std::move(name); }
  void SetSelected(bool selected) { selected_ = selected; }
  // The world transform of the node's pivot.
  void SetTransform(const host::Matrix3& tm) { tm_ = tm; }
  // Animation hook: when set, GetNodeTM(t) comes from the track.
  void SetTransformTrack(TransformTrack track) { track_ = std::move(track); }
  const TransformTrack& GetTransformTrack() const { return track_; }
  // The transform controller (never null for nodes other than the root). While neither the
  // node nor an ancestor has keys, the node stays at its static transform; otherwise its
  // transform is the controller's local transform times the parent's, the channels without
  // keys taking their part of the static transform relative to the parent's.
  TransformControl* TMControl() const { return tmControl_.get(); }
  // Whether the node's transform changes over time (keys or a track on it or an ancestor).
  bool IsAnimated() const;
  void SetObjectOffset(host::Point3 pos, host::Quat rot, host::Point3 scale);
  void SetObject(std::shared_ptr<SceneObject> object) { object_ = std::move(object); }
  void SetMtl(std::shared_ptr<host::Mtl> mtl) { mtl_ = std::move(mtl); }
  void SetUserProps(std::string text) { userProps_ = std::move(text); }
  // Puts a modifier on top of the node's stack (it may be shared with other nodes).
  void AddModifier(std::shared_ptr<host::Modifier> modifier);
  // The stack, top first; empty without modifiers.
  const std::vector<std::shared_ptr<host::Modifier>>& Modifiers() const;
  // Moves the node (with its subtree) to the end of `newParent`'s children; null means the
  // root. Refused (false) for the root and when `newParent` lies in the node's own subtree.
  bool Reparent(SceneNode* newParent);

  // Typed access for the workbench.
  Scene& GetScene() const { return scene_; }
  SceneNode* Parent() const { return parent_; }
  const std::vector<SceneNode*>& Children() const { return children_; }
  const std::shared_ptr<SceneObject>& ObjectPtr() const { return object_; }
  const std::shared_ptr<host::Mtl>& MtlPtr() const { return mtl_; }
  const host::Matrix3& StaticTransform() const { return tm_; }
  // Scale(s) * Rotation(q) * Translation(p): the object offset as one matrix.
  host::Matrix3 ObjectOffsetMatrix() const;

  // host::Node
  std::string GetName() const override { return name_; }
  host::Node* GetParentNode() const override { return parent_; }
  int NumberOfChildren() const override { return static_cast<int>(children_.size()); }
  host::Node* GetChildNode(int i) const override;
  bool IsRootNode() const override { return isRoot_; }
  bool Selected() const override { return selected_; }
  host::Matrix3 GetNodeTM(host::TimeValue t) const override;
  host::Matrix3 GetObjTMAfterWSM(host::TimeValue t) const override { return GetObjectTM(t); }
  host::Matrix3 GetObjectTM(host::TimeValue t) const override { return ObjectOffsetMatrix() * GetNodeTM(t); }
  host::Point3 GetObjOffsetPos() const override { return offsetPos_; }
  host::Quat GetObjOffsetRot() const override { return offsetRot_; }
  host::Point3 GetObjOffsetScale() const override { return offsetScale_; }
  host::Control* GetTMController() const override;
  host::Interval NodeTMValidity(host::TimeValue t) const override;
  host::Object* EvalWorldState(host::TimeValue) const override { return object_.get(); }
  const void* GetObjectRef() const override { return object_.get(); }
  host::Object* GetObjectReference() const override;
  host::SkeletonExport* GetSkeletonExport() const override;
  host::Mtl* GetMtl() const override { return mtl_.get(); }
  std::string GetUserPropBuffer() const override { return userProps_; }
  void SetUserPropBuffer(std::string text) override { userProps_ = std::move(text); }
  bool SetNodeTM(host::TimeValue, const host::Matrix3& tm) override {
    tm_ = tm;
    return true;
  }
  // Only objects the workbench made can be given to its nodes.
  bool SetObjectRef(std::shared_ptr<host::Object> object) override;
  bool SetNodeMtl(std::shared_ptr<host::Mtl> mtl) override {
    mtl_ = std::move(mtl);
    return true;
  }
  std::shared_ptr<host::Object> GetObjectShared() const override { return object_; }

  host::ClassId GetClassId() const override { return {1, 0}; }

 private:
  friend class Scene;

  Scene& scene_;
  std::string name_;
  SceneNode* parent_ = nullptr;
  std::vector<SceneNode*> children_;
  bool isRoot_ = false;
  bool selected_ = false;
  host::Matrix3 tm_;
  TransformTrack track_;
  std::shared_ptr<TransformControl> tmControl_;
  host::Point3 offsetPos_{};
  host::Quat offsetRot_{};
  host::Point3 offsetScale_{1, 1, 1};
  std::shared_ptr<SceneObject> object_;
  std::shared_ptr<DerivedObjectImpl> derived_;  // null until a modifier is added
  std::shared_ptr<host::Mtl> mtl_;
  std::string userProps_;
};

// The skeleton's export switches; one set per scene, shared by all its skeletons.
class SkeletonSwitches : public host::SkeletonExport {
 public:
  void RemoveNonUniformScale(bool remove) override { removeNonUniformScale_ = remove; }
  bool NonUniformScaleRemoved() const override { return removeNonUniformScale_; }

 private:
  bool removeNonUniformScale_ = false;
};

class Scene {
 public:
  // An empty scene: only the root node "Scene Root".
  Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  SceneNode& Root() { return *root_; }
  const SceneNode& Root() const { return *root_; }
  // A new node appended as the last child of `parent` (null: the root). Precondition:
  // `parent` belongs to this scene. Names need not be unique.
  SceneNode& CreateNode(std::string name, SceneNode* parent = nullptr);
  // Deletes a node and its subtree. Parameter references to deleted nodes are cleared.
  // Precondition: `node` belongs to this scene and is not the root.
  void DeleteNode(SceneNode& node);
  // The first node of that exact name in depth-first order (the root included), or null.
  SceneNode* FindNode(std::string_view name);
  const SceneNode* FindNode(std::string_view name) const;
  // Every node but the root, depth first, children in order.
  std::vector<SceneNode*> AllNodes();
  std::vector<const SceneNode*> AllNodes() const;
  // Deletes every node but the root and puts the properties, the animation settings and the
  // active view back to those of a new scene.
  void Clear();
  // Number of nodes, the root included.
  std::size_t NodeCount() const { return nodes_.size(); }
  // Every distinct object referenced by a node, in AllNodes() order of first reference.
  std::vector<SceneObject*> AllObjects() const;

  std::map<std::string, host::SceneProperty> properties;
  // Where the scene was loaded from or saved to, as the host names it; empty: never saved.
  std::string fileName;
  uint32_t hostVersion = 100;
  // Animation range in ticks and frames per second; the active view's camera node name
  // (empty: the default 3/4 view).
  host::TimeValue animStart = 0, animEnd = 100 * 160;
  int frameRate = 30;
  // Ticks per frame, normally kTicksPerSecond / frameRate, but an importer may set it alone.
  int ticksPerFrame = 160;
  host::TimeValue currentTime = 0;
  std::string activeViewCamera;
  SkeletonSwitches skeletonSwitches;

 private:
  std::vector<std::unique_ptr<SceneNode>> nodes_;
  SceneNode* root_ = nullptr;
};

}  // namespace vorlan::workbench
