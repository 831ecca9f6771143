#include "workbench/scene.h"

#include "workbench/controllers.h"
#include "workbench/character.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace vorlan::workbench {

using host::ClassId;
using host::ParamType;
using host::Point3;

// ---------------------------------------------------------------------------------------
// AppDataStore

const std::vector<uint8_t>* AppDataStore::Get(ClassId owner, host::SuperClassId sc, uint32_t sub) const {
  auto it = chunks_.find(Key{owner, sc, sub});
  return it == chunks_.end() ? nullptr : &it->second;
}

void AppDataStore::Set(ClassId owner, host::SuperClassId sc, uint32_t sub, std::vector<uint8_t> data) {
  chunks_[Key{owner, sc, sub}] = std::move(data);
}

void AppDataStore::Remove(ClassId owner, host::SuperClassId sc, uint32_t sub) {
  chunks_.erase(Key{owner, sc, sub});
}

// ---------------------------------------------------------------------------------------
// ParamBlockImpl

namespace {

// Tables larger than this are refused rather than allocated: a count from a file or a
// plug-in must not be able to exhaust memory.
constexpr int kMaxTableCount = 1 << 20;

// Float to int without the undefined behaviour of converting NaN or out-of-range values.
int SafeToInt(float f) {
  if (!std::isfinite(f)) return 0;
  if (f >= 2147483647.0f) return std::numeric_limits<int>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int>::min();
  return static_cast<int>(f);
}

bool IsIntType(ParamType t) { return t == ParamType::Int || t == ParamType::Bool; }
bool IsPointType(ParamType t) { return t == ParamType::Point || t == ParamType::Colour; }

}  // namespace

ParamBlockImpl::Value ZeroValue(ParamType type) {
  switch (type) {
    case ParamType::Int:
    case ParamType::Bool:
      return 0;
    case ParamType::Float:
      return 0.0f;
    case ParamType::String:
      return std::string();
    case ParamType::Colour:
    case ParamType::Point:
      return Point3{};
    case ParamType::Node:
      return static_cast<host::Node*>(nullptr);
  }
  return 0;
}

int ParamBlockImpl::AddParam(host::ParamDef def) {
  assert(!Find(def.internalName) && "parameter names are unique within a block");
  Param p{std::move(def), {}};
  if (!p.def.isTable) p.values.push_back(ZeroValue(p.def.type));
  params_.push_back(std::move(p));
  return static_cast<int>(params_.size()) - 1;
}

int ParamBlockImpl::AddParam(host::ParamDef def, Value initial) {
  int i = AddParam(std::move(def));
  Param& p = params_.back();
  // The initial value is stored in the parameter's own representation.
  Value zero = ZeroValue(p.def.type);
  if (initial.index() == zero.index()) {
    if (p.values.empty())
      p.values.push_back(std::move(initial));
    else
      p.values[0] = std::move(initial);
  } else if (std::holds_alternative<int>(initial) && p.def.type == ParamType::Float) {
    p.values.assign(1, float(std::get<int>(initial)));
  } else {
    assert(false && "initial value of the wrong kind");
  }
  return i;
}

ParamBlockImpl::Value* ParamBlockImpl::Slot(int param, int tab) {
  if (param < 0 || param >= NumParams() || tab < 0) return nullptr;
  Param& p = params_[static_cast<std::size_t>(param)];
  if (!p.def.isTable) return tab == 0 ? &p.values[0] : nullptr;
  if (tab >= kMaxTableCount) return nullptr;
  if (static_cast<std::size_t>(tab) >= p.values.size())
    p.values.resize(static_cast<std::size_t>(tab) + 1, ZeroValue(p.def.type));
  return &p.values[static_cast<std::size_t>(tab)];
}

const ParamBlockImpl::Value* ParamBlockImpl::Raw(int param, int tab) const {
  if (param < 0 || param >= NumParams() || tab < 0) return nullptr;
  const Param& p = params_[static_cast<std::size_t>(param)];
  if (static_cast<std::size_t>(tab) >= p.values.size()) return nullptr;
  return &p.values[static_cast<std::size_t>(tab)];
}

host::ParamDef ParamBlockImpl::Def(int param) const {
  if (param < 0 || param >= NumParams()) return {};
  return params_[static_cast<std::size_t>(param)].def;
}

int ParamBlockImpl::Count(int param) const {
  if (param < 0 || param >= NumParams()) return 0;
  return static_cast<int>(params_[static_cast<std::size_t>(param)].values.size());
}

int ParamBlockImpl::GetInt(int param, host::TimeValue, int tab) const {
  const Value* v = Raw(param, tab);
  if (!v) return 0;
  if (auto* i = std::get_if<int>(v)) return *i;
  if (auto* f = std::get_if<float>(v)) return SafeToInt(*f);
  return 0;
}

float ParamBlockImpl::GetFloat(int param, host::TimeValue, int tab) const {
  const Value* v = Raw(param, tab);
  if (!v) return 0.0f;
  if (auto* f = std::get_if<float>(v)) return *f;
  if (auto* i = std::get_if<int>(v)) return static_cast<float>(*i);
  return 0.0f;
}

Point3 ParamBlockImpl::GetPoint(int param, host::TimeValue, int tab) const {
  const Value* v = Raw(param, tab);
  if (auto* p = v ? std::get_if<Point3>(v) : nullptr) return *p;
  return {};
}

std::string ParamBlockImpl::GetString(int param, host::TimeValue, int tab) const {
  const Value* v = Raw(param, tab);
  if (auto* s = v ? std::get_if<std::string>(v) : nullptr) return *s;
  return {};
}

host::Node* ParamBlockImpl::GetNode(int param, host::TimeValue, int tab) const {
  const Value* v = Raw(param, tab);
  if (auto* n = v ? std::get_if<host::Node*>(v) : nullptr) return *n;
  return nullptr;
}

bool ParamBlockImpl::SetInt(int param, int value, int tab) {
  ParamType t = Def(param).type;
  if (!IsIntType(t) && t != ParamType::Float) return false;
  Value* v = Slot(param, tab);
  if (!v) return false;
  if (t == ParamType::Float)
    *v = static_cast<float>(value);
  else
    *v = t == ParamType::Bool ? int(value != 0) : value;
  return true;
}

bool ParamBlockImpl::SetFloat(int param, float value, int tab) {
  if (Def(param).type != ParamType::Float) return false;
  Value* v = Slot(param, tab);
  if (!v) return false;
  *v = value;
  return true;
}

bool ParamBlockImpl::SetPoint(int param, Point3 value, int tab) {
  if (!IsPointType(Def(param).type)) return false;
  Value* v = Slot(param, tab);
  if (!v) return false;
  *v = value;
  return true;
}

bool ParamBlockImpl::SetString(int param, std::string_view value, int tab) {
  if (Def(param).type != ParamType::String) return false;
  Value* v = Slot(param, tab);
  if (!v) return false;
  *v = std::string(value);
  return true;
}

bool ParamBlockImpl::SetNode(int param, host::Node* value, int tab) {
  if (Def(param).type != ParamType::Node) return false;
  Value* v = Slot(param, tab);
  if (!v) return false;
  *v = value;
  return true;
}

bool ParamBlockImpl::SetCount(int param, int count) {
  if (param < 0 || param >= NumParams() || count < 0 || count > kMaxTableCount) return false;
  Param& p = params_[static_cast<std::size_t>(param)];
  if (!p.def.isTable) return count == 1;
  p.values.resize(static_cast<std::size_t>(count), ZeroValue(p.def.type));
  return true;
}

bool ParamBlockImpl::Set(std::string_view name, int value, int tab) {
  auto i = Find(name);
  return i && SetInt(*i, value, tab);
}
bool ParamBlockImpl::Set(std::string_view name, float value, int tab) {
  auto i = Find(name);
  return i && SetFloat(*i, value, tab);
}
bool ParamBlockImpl::Set(std::string_view name, Point3 value, int tab) {
  auto i = Find(name);
  return i && SetPoint(*i, value, tab);
}
bool ParamBlockImpl::Set(std::string_view name, std::string_view value, int tab) {
  auto i = Find(name);
  return i && SetString(*i, value, tab);
}
bool ParamBlockImpl::Set(std::string_view name, host::Node* value, int tab) {
  auto i = Find(name);
  return i && SetNode(*i, value, tab);
}

std::unique_ptr<ParamBlockImpl> ParamBlockImpl::Clone(
    const std::function<host::Node*(host::Node*)>& remap) const {
  auto copy = std::make_unique<ParamBlockImpl>(name_);
  copy->params_ = params_;
  if (remap)
    for (Param& p : copy->params_)
      for (Value& v : p.values)
        if (auto* n = std::get_if<host::Node*>(&v)) *n = *n ? remap(*n) : nullptr;
  return copy;
}

// ---------------------------------------------------------------------------------------
// Objects

host::ParamBlock* SceneObject::GetParamBlock(int i) const {
  if (i < 0 || i >= NumParamBlocks()) return nullptr;
  return paramBlocks[static_cast<std::size_t>(i)].get();
}

ParamBlockImpl& SceneObject::AddParamBlock(std::string name) {
  paramBlocks.push_back(std::make_unique<ParamBlockImpl>(std::move(name)));
  return *paramBlocks.back();
}

namespace {

// Objects without geometry still have a small box, so that a viewport can frame them.
host::Box3 UnitBox(float half) {
  host::Box3 b;
  b.Include({-half, -half, -half});
  b.Include({half, half, half});
  return b;
}

}  // namespace

CameraObject::CameraObject(bool target)
    : SceneObject(target ? host::kTargetCameraClassId : host::kFreeCameraClassId, host::kCameraClass,
                  target ? "Target Camera" : "Free Camera") {}

host::Box3 CameraObject::GetBoundingBox(host::TimeValue) const { return UnitBox(0.5f); }

namespace {

struct LightClassInfo {
  ClassId id;
  host::LightKind kind;
  bool target;
  const char* name;
};

constexpr LightClassInfo kLightClasses[] = {
    {host::kOmniLightClassId, host::LightKind::Omni, false, "Omni Light"},
    {host::kSpotLightClassId, host::LightKind::Spot, true, "Target Spot Light"},
    {host::kDirectionalLightClassId, host::LightKind::Directional, true, "Target Directional Light"},
    {host::kFreeSpotLightClassId, host::LightKind::Spot, false, "Free Spot Light"},
    {host::kFreeDirectionalLightClassId, host::LightKind::Directional, false, "Free Directional Light"},
    {host::kAmbientLightClassId, host::LightKind::Ambient, false, "Ambient Light"},
};

const LightClassInfo* FindLightClass(ClassId id) {
  for (const auto& c : kLightClasses)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace

bool IsHostLightClass(ClassId id) { return FindLightClass(id) != nullptr; }

LightObject::LightObject(ClassId id)
    : SceneObject(id, host::kLightClass, FindLightClass(id) ? FindLightClass(id)->name : "Light") {
  assert(IsHostLightClass(id));
}

host::LightKind LightObject::Kind() const {
  const LightClassInfo* c = FindLightClass(GetClassId());
  return c ? c->kind : host::LightKind::Omni;
}

bool LightObject::IsTarget() const {
  const LightClassInfo* c = FindLightClass(GetClassId());
  return c && c->target;
}

std::optional<host::LightState> LightObject::EvalLightState(host::TimeValue) const {
  return host::LightState{.kind = Kind(),
                          .on = on,
                          .shadow = shadow,
                          .color = color,
                          .intensity = multiplier,
                          .attenEnd = attenEnd,
                          .hotspot = hotspot,
                          .falloff = falloff};
}

bool LightObject::SetLightState(const host::LightState& state) {
  on = state.on;
  shadow = state.shadow;
  color = state.color;
  multiplier = state.intensity;
  attenEnd = state.attenEnd;
  hotspot = state.hotspot;
  falloff = state.falloff;
  return true;
}

host::Box3 LightObject::GetBoundingBox(host::TimeValue) const { return UnitBox(0.5f); }

std::shared_ptr<HelperObject> HelperObject::Dummy(host::Box3 box) {
  auto h = std::make_shared<HelperObject>(host::kDummyClassId, "Dummy");
  h->box = box;
  return h;
}

std::shared_ptr<HelperObject> HelperObject::Point() {
  return std::make_shared<HelperObject>(host::kPointHelperClassId, "Point");
}

std::shared_ptr<HelperObject> HelperObject::Bone() {
  return std::make_shared<HelperObject>(host::kBoneHelperClassId, "Bone");
}

namespace {

void AddParams(ParamBlockImpl& pb, std::initializer_list<std::pair<const char*, ParamType>> defs) {
  for (const auto& [name, type] : defs) pb.AddParam({.internalName = name, .type = type});
}

}  // namespace

std::shared_ptr<HelperObject> HelperObject::Create(ClassId id) {
  using enum ParamType;
  if (id == host::kVexaLightClassId) {
    // The engine's light is a light by super class, although it keeps all its state in
    // a parameter block like the engine's helpers.
    auto h = std::make_shared<HelperObject>(id, "Vexa Light", host::kLightClass);
    auto& pb = h->AddParamBlock("VexaLightParams");
    AddParams(pb, {{"enabled", Bool},
                   {"type", Int},
                   {"rgb", Colour},
                   {"showFarAtten", Bool},
                   {"castShadows", Bool},
                   {"castSHMShadows", Bool},
                   {"farAttenEnd", Float},
                   {"multiplier", Float},
                   {"hotspot", Float},
                   {"falloff", Float}});
    pb.Set("enabled", 1);
    pb.Set("rgb", Point3{1, 1, 1});
    pb.Set("multiplier", 1.0f);
    return h;
  }
  if (id == host::kVexaIKJointClassId) {
    auto h = std::make_shared<HelperObject>(id, "Vexa IK Joint");
    auto& pb = h->AddParamBlock("VexaIKJointParams");
    AddParams(pb, {{"SPIN_ON", Bool},
                   {"SPIN_MIN_ANGLE", Float},
                   {"SPIN_MAX_ANGLE", Float},
                   {"FRICTION", Float},
                   {"COLLIDE", Bool},
                   {"CONE_ON", Bool},
                   {"CNE_ANG", Float}});
    for (const char* plane : {"ZX_A", "ZX_B", "ZY_A", "ZY_B"}) {
      std::string p = std::string("PLANE_") + plane;
      AddParams(pb, {{(p + "_ON").c_str(), Bool}});
      AddParams(pb, {{(p + "_TYPE").c_str(), Int}});
      AddParams(pb, {{(p + "_OFFSET").c_str(), Float}});
      AddParams(pb, {{(p + "_LEAN").c_str(), Float}});
      AddParams(pb, {{(p + "_POINT_X").c_str(), Float}});
      AddParams(pb, {{(p + "_POINT_Y").c_str(), Float}});
    }
    AddParams(pb, {{"OBJECT_A", Node}, {"OBJECT_B", Node}});
    return h;
  }
  if (id == host::kVexaSoundEventClassId || id == host::kVexaParticleEventClassId) {
    bool sound = id == host::kVexaSoundEventClassId;
    auto h = std::make_shared<HelperObject>(id, sound ? "Vexa SoundEvent" : "Vexa ParticleEvent");
    auto& pb = h->AddParamBlock(sound ? "VexaSoundEventParams" : "VexaParticleEventParams");
    std::string what = sound ? "sound" : "particle";
    pb.AddParam({.internalName = what + "ID", .type = Int});
    pb.AddParam({.internalName = what + "Group", .type = Int});
    pb.AddParam({.internalName = what, .type = Int});
    AddParams(pb, {{"impulse", Int}, {"interval", Float}, {"random", Float}});
    return h;
  }
  if (id == host::kExtDummyClassId) {
    auto h = std::make_shared<HelperObject>(id, "ExtDummy");
    auto& pb = h->AddParamBlock("ExtDummyObjParams");
    pb.AddParam({.internalName = "Radius", .type = Float}, 1.0f);
    return h;
  }
  if (id == host::kDummyClassId) return Dummy(UnitBox(0.5f));
  if (id == host::kPointHelperClassId) return HelperObject::Point();
  if (id == host::kBoneHelperClassId) return Bone();
  return std::make_shared<HelperObject>(id, "Helper");
}

host::Box3 HelperObject::GetBoundingBox(host::TimeValue) const { return box ? *box : UnitBox(0.5f); }

// ---------------------------------------------------------------------------------------
// SceneNode

SceneNode::SceneNode(Scene& scene, std::string name, SceneNode* parent, bool isRoot)
    : scene_(scene), name_(std::move(name)), parent_(parent), isRoot_(isRoot) {
  if (!isRoot_) tmControl_ = std::make_shared<TransformControl>();
}

void SceneNode::SetObjectOffset(Point3 pos, host::Quat rot, Point3 scale) {
  offsetPos_ = pos;
  offsetRot_ = rot;
  offsetScale_ = scale;
}

host::Matrix3 SceneNode::ObjectOffsetMatrix() const {
  return host::Matrix3::Scale(offsetScale_) * host::Matrix3::Rotation(offsetRot_) *
         host::Matrix3::Translation(offsetPos_);
}

bool SceneNode::SetObjectRef(std::shared_ptr<host::Object> object) {
  if (!object) {
    object_.reset();
    return true;
  }
  auto own = std::dynamic_pointer_cast<SceneObject>(object);
  if (!own) return false;
  object_ = std::move(own);
  return true;
}

host::Node* SceneNode::GetChildNode(int i) const {
  if (i < 0 || i >= NumberOfChildren()) return nullptr;
  return children_[static_cast<std::size_t>(i)];
}

bool SceneNode::Reparent(SceneNode* newParent) {
  if (isRoot_) return false;
  if (!newParent) newParent = &scene_.Root();
  for (SceneNode* p = newParent; p; p = p->parent_)
    if (p == this) return false;
  auto& siblings = parent_->children_;
  siblings.erase(std::find(siblings.begin(), siblings.end(), this));
  parent_ = newParent;
  newParent->children_.push_back(this);
  return true;
}

// ---------------------------------------------------------------------------------------
// Scene

Scene::Scene() {
  nodes_.push_back(std::make_unique<SceneNode>(*this, "Scene Root", nullptr, true));
  root_ = nodes_.back().get();
}

SceneNode& Scene::CreateNode(std::string name, SceneNode* parent) {
  if (!parent) parent = root_;
  assert(&parent->GetScene() == this);
  nodes_.push_back(std::make_unique<SceneNode>(*this, std::move(name), parent, false));
  SceneNode* n = nodes_.back().get();
  parent->children_.push_back(n);
  return *n;
}

void Scene::DeleteNode(SceneNode& node) {
  assert(!node.IsRootNode() && &node.GetScene() == this);
  std::vector<SceneNode*> subtree{&node};
  for (std::size_t i = 0; i < subtree.size(); ++i)
    for (SceneNode* c : subtree[i]->children_) subtree.push_back(c);
  std::unordered_set<const host::Node*> doomed(subtree.begin(), subtree.end());
  auto isDoomed = [&](const host::Node* n) { return doomed.count(n) != 0; };

  // Parameters that point at a deleted node would dangle; they become unset instead.
  for (const auto& n : nodes_) {
    if (isDoomed(n.get()) || !n->object_) continue;
    for (auto& pb : n->object_->paramBlocks)
      for (int p = 0; p < pb->NumParams(); ++p)
        if (pb->Def(p).type == ParamType::Node)
          for (int k = 0; k < pb->Count(p); ++k)
            if (isDoomed(pb->GetNode(p, 0, k))) pb->SetNode(p, nullptr, k);
  }
  // So do the bones of skins and the targets of morph channels.
  for (const auto& n : nodes_)
    for (const auto& m : n->Modifiers()) {
      if (auto* skin = dynamic_cast<SkinModifierImpl*>(m.get())) skin->ForgetNodes(isDoomed);
      if (auto* morph = dynamic_cast<MorpherImpl*>(m.get())) morph->ForgetNodes(isDoomed);
    }
  auto& siblings = node.parent_->children_;
  siblings.erase(std::find(siblings.begin(), siblings.end(), &node));
  std::erase_if(nodes_, [&](const std::unique_ptr<SceneNode>& n) { return isDoomed(n.get()); });
}

void Scene::Clear() {
  while (!root_->children_.empty()) DeleteNode(*root_->children_.back());
  root_->appData.Clear();
  properties.clear();
  fileName.clear();
  hostVersion = 100;
  animStart = 0;
  animEnd = 100 * 160;
  frameRate = 30;
  ticksPerFrame = 160;
  currentTime = 0;
  activeViewCamera.clear();
}

SceneNode* Scene::FindNode(std::string_view name) {
  if (root_->GetName() == name) return root_;
  SceneNode* found = nullptr;
  // Iterative so that a deep chain of nodes cannot exhaust the stack.
  std::vector<SceneNode*> stack(root_->children_.rbegin(), root_->children_.rend());
  while (!stack.empty() && !found) {
    SceneNode* n = stack.back();
    stack.pop_back();
    if (n->name_ == name) found = n;
    stack.insert(stack.end(), n->children_.rbegin(), n->children_.rend());
  }
  return found;
}

const SceneNode* Scene::FindNode(std::string_view name) const {
  return const_cast<Scene*>(this)->FindNode(name);
}

std::vector<SceneNode*> Scene::AllNodes() {
  std::vector<SceneNode*> out;
  out.reserve(nodes_.size());
  std::vector<SceneNode*> stack(root_->children_.rbegin(), root_->children_.rend());
  while (!stack.empty()) {
    SceneNode* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    stack.insert(stack.end(), n->children_.rbegin(), n->children_.rend());
  }
  return out;
}

std::vector<const SceneNode*> Scene::AllNodes() const {
  auto nodes = const_cast<Scene*>(this)->AllNodes();
  return {nodes.begin(), nodes.end()};
}

std::vector<SceneObject*> Scene::AllObjects() const {
  std::vector<SceneObject*> out;
  std::unordered_set<const SceneObject*> seen;
  for (const SceneNode* n : AllNodes()) {
    SceneObject* o = n->ObjectPtr().get();
    if (o && seen.insert(o).second) out.push_back(o);
  }
  return out;
}

}  // namespace vorlan::workbench
