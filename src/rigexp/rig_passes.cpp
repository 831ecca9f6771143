#include <cstring>

#include "host/control.h"
#include "host/modifier.h"
#include "host/morpher.h"
#include "rigexp/rig_state.h"
#include "support/log.h"

namespace vorlan::rigexp {

using host::Node;
using host::Point3;
using support::LogFormat;
using support::LOG_INFO;

namespace {

constexpr host::TimeValue kT0 = 0;

bool ControllerIs(const Node& node, host::ClassId id) {
  const host::Control* c = node.GetTMController();
  return c && c->GetClassId() == id;
}

// Runs `body` with the log indented two more characters.
template <class F>
void Indented(F&& body) {
  char fill = ' ';
  const int indent = support::LogGetIndent(&fill);
  support::LogSetIndent(indent + 2, fill);
  body();
  support::LogSetIndent(indent, fill);
}

bool StartsWithBang(const std::string& name) { return !name.empty() && name[0] == '!'; }

host::Matrix3 ObjectOffsetMatrix(const Node& node) {
  host::Matrix3 m;
  m.PreTranslate(node.GetObjOffsetPos());
  m.PreRotate(node.GetObjOffsetRot());
  m.ApplyScale(node.GetObjOffsetScale());
  return m;
}

// Bytes of a mesh node as the mesh pass lays it out, before the split.
uint32_t PartBytes(const RigPart& p) {
  uint32_t stride = 4 * p.FloatsPerVertex();
  uint32_t bytes = 12 + 20 + p.NumVertices() * stride + 12 + 12 * static_cast<uint32_t>(p.faces.size());
  if (p.morphTargets) bytes += 16 + 12 * p.NumVertices() * p.morphTargets;
  return bytes;
}

uint32_t UserPropsBytes(const std::string& text) { return 12 + static_cast<uint32_t>(std::strlen(text.c_str())) + 1; }

void ExportMesh(RigState& state, const Node& node) {
  zefexport::FaceList faces;
  if (!zefexport::BuildFaceList(state.ctx, node, kT0, ObjectOffsetMatrix(node), faces)) return;

  RigMesh mesh;
  mesh.name = node.GetName();
  mesh.node = &node;
  if (host::SkeletonExport* sk = node.GetSkeletonExport()) sk->RemoveNonUniformScale(true);
  mesh.transform = node.GetNodeTM(kT0) * state.skeletonOffset;
  mesh.userProps = node.GetUserPropBuffer();
  mesh.parts = BuildParts(faces);
  if (auto* morpher = static_cast<host::MorphModifier*>(host::FindModifier(node, host::kMorpherClassId)))
    for (RigPart& part : mesh.parts) BuildMorphDeltas(*morpher, mesh.name, part);

  uint32_t objBytes = 12 + zefexport::kTransformBlockSize + UserPropsBytes(mesh.userProps);
  for (const RigPart& p : mesh.parts) {
    objBytes += PartBytes(p);
    state.faceTotal += static_cast<uint32_t>(p.faces.size());
  }
  const uint32_t nodeBytes = 16 + static_cast<uint32_t>(mesh.name.size() + 1) + objBytes;

  MeshWeights weights;
  if (auto* skin = static_cast<host::SkinModifier*>(host::FindModifier(node, host::kSkinModifierClassId)))
    weights = ReadMeshWeights(*skin, node);
  state.meshes.push_back(std::move(mesh));
  state.weights.push_back(std::move(weights));
  LogFormat(LOG_INFO, "Mesh name: \"%s\", size: %d\n", node.GetName().c_str(), static_cast<int>(nodeBytes));
}

// Writes the bone record of `node` nested in `parent` (-1: directly in the skeleton data)
// and returns its index.
uint32_t WriteBoneRecord(RigState& state, const Node& node, Point3 accumulated, int parent) {
  state.Progress(++state.nodeCounter);
  RigBone bone;
  bone.name = node.GetName();
  bone.node = &node;
  bone.sceneChildren = static_cast<uint32_t>(node.NumberOfChildren());
  const Node* parentNode = node.GetParentNode();
  const Point3 parentPos = parentNode ? parentNode->GetNodeTM(kT0).GetTrans() : Point3{};
  bone.offset = node.GetNodeTM(kT0).GetTrans() - parentPos;
  bone.position = accumulated + bone.offset;
  const bool bang = StartsWithBang(bone.name);
  if (state.pointCounter == 0 && !bang) {
    bone.pointsA = {state.pointCounter + 1, state.pointCounter + 2, state.pointCounter + 3};
    state.pointCounter += 3;
  }
  if (bone.sceneChildren > 0 && !bang) {
    bone.pointsB = {state.pointCounter + 2, state.pointCounter + 3, state.pointCounter + 1};
    state.pointCounter += 3;
  }

  // A bone carries the weights of the node it hangs from: the joint it turns about.
  const uint32_t index = static_cast<uint32_t>(state.bones.size());
  const Node& weightNode = parentNode && !parentNode->IsRootNode() ? *parentNode : node;
  if (host::SkeletonExport* sk = weightNode.GetSkeletonExport()) sk->RemoveNonUniformScale(false);
  for (uint32_t m = 0; m < state.meshes.size(); ++m) {
    if (!state.weights[m].skinned || !state.weightedPairs.emplace(&weightNode, m).second) continue;
    auto lists = FirstPassLists(state.weights[m], weightNode, m, index, state.meshes[m]);
    LogFormat(LOG_INFO, "Point-lists for \"%s\": %d\n", state.meshes[m].name.c_str(), static_cast<int>(lists.size()));
    bone.firstPassLists += static_cast<uint32_t>(lists.size());
    for (const PointList& l : lists) bone.firstPassBytes += 12 + 8 * static_cast<uint32_t>(l.vertices.size());
  }
  LogFormat(LOG_INFO, "Bone: \"%s\"\n", bone.name.c_str());

  state.bones.push_back(std::move(bone));
  if (parent >= 0)
    state.bones[static_cast<std::size_t>(parent)].children.push_back(index);
  else
    state.topBones.push_back(index);
  return index;
}

bool IsTwistNub(const std::string& name) {
  for (const char* nub : kTwistNubs)
    if (name == nub) return true;
  return false;
}

void BoneTree(RigState& state, const Node& node, Point3 accumulated, int parent) {
  if (state.CheckCancel()) return;
  const bool record = IsBipedBone(node) || (IsTwistNub(node.GetName()) && !IsFootstep(node));
  if (!record) {
    // The records below a node without one hang from the nearest record above, but their
    // positions start afresh.
    for (int i = 0; i < node.NumberOfChildren() && !state.cancelled; ++i)
      if (const Node* c = node.GetChildNode(i)) BoneTree(state, *c, Point3{}, parent);
    return;
  }
  const uint32_t index = WriteBoneRecord(state, node, accumulated, parent);
  const Point3 position = state.bones[index].position;
  Indented([&] {
    for (int i = 0; i < node.NumberOfChildren() && !state.cancelled; ++i)
      if (const Node* c = node.GetChildNode(i)) BoneTree(state, *c, position, static_cast<int>(index));
  });
}

}  // namespace

bool RigState::CheckCancel() {
  if (!cancelled && ip.GetCancel()) cancelled = true;
  return cancelled;
}

void RigState::Progress(uint32_t counter) {
  ip.ProgressUpdate(totalNodes ? static_cast<int>(uint64_t(counter) * 100 / totalNodes) : 0);
}

void RigState::Message(const std::string& text, const std::string& caption, host::Icon icon) {
  ip.UI().MessageBox({text, caption, host::Buttons::Ok, icon});
}

bool IsExcluded(const Node& node) {
  const auto* mark = node.GetAppData(host::kRigExpClassId, host::kSceneExportClass, kExclusionSub);
  if (!mark) return false;
  for (uint8_t b : *mark)
    if (b) return true;
  return false;
}

void MarkExcluded(Node& node) {
  node.RemoveAppData(host::kRigExpClassId, host::kSceneExportClass, kExclusionSub);
  node.SetAppData(host::kRigExpClassId, host::kSceneExportClass, kExclusionSub, {1, 0, 0, 0});
}

bool IsBipedBone(const Node& node) { return ControllerIs(node, host::kBipedSlaveControlClassId); }
bool IsFootstep(const Node& node) { return ControllerIs(node, host::kFootstepControlClassId); }

bool HasBipedDescendant(const Node& node) {
  std::vector<const Node*> stack{&node};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    for (int i = 0; i < n->NumberOfChildren(); ++i)
      if (const Node* c = n->GetChildNode(i)) {
        if (IsBipedBone(*c)) return true;
        stack.push_back(c);
      }
  }
  return false;
}

void MarkMorphTargets(Node& root) {
  std::vector<Node*> stack{&root};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (auto* morpher = static_cast<host::MorphModifier*>(host::FindModifier(*n, host::kMorpherClassId)))
      for (int c = 0; c < morpher->NumChannels(); ++c)
        if (const host::MorphChannel* ch = morpher->GetChannel(c); ch && ch->HasPoints() && ch->target)
          MarkExcluded(*ch->target);
    for (int i = n->NumberOfChildren() - 1; i >= 0; --i)
      if (Node* c = n->GetChildNode(i)) stack.push_back(c);
  }
}

const Node* FindSkeletonRoot(const Node& root) {
  std::vector<const Node*> stack{&root};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    const host::Object* o = n->EvalWorldState(kT0);
    if (o && o->GetSuperClassId() == host::kGeomObjectClass && HasBipedDescendant(*n)) return n;
    for (int i = n->NumberOfChildren() - 1; i >= 0; --i)
      if (const Node* c = n->GetChildNode(i)) stack.push_back(c);
  }
  return nullptr;
}

uint32_t CountNodes(const Node& root) {
  uint32_t count = 0;
  std::vector<const Node*> stack{&root};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    ++count;
    for (int i = 0; i < n->NumberOfChildren(); ++i)
      if (const Node* c = n->GetChildNode(i)) stack.push_back(c);
  }
  return count;
}

bool EnumerateNode(RigState& state, const Node& node) {
  if (state.selectedOnly && !node.Selected()) return false;
  state.Progress(state.nodeCounter);
  if (state.CheckCancel()) return false;
  if (IsExcluded(node)) return false;
  if (!IsBipedBone(node) && !IsFootstep(node)) {
    const host::Object* object = node.EvalWorldState(kT0);
    if (!object) return false;
    const host::SuperClassId sc = object->GetSuperClassId();
    if (sc == host::kGeomObjectClass) {
      if (HasBipedDescendant(node)) return false;
      ExportMesh(state, node);
    } else if (sc == host::kHelperClass) {
      if (object->GetClassId() != host::kBoneHelperClassId) return false;
      state.Message("nodeEnum(): BONE_CLASS_ID", "");
      WriteBoneRecord(state, node, Point3{}, -1);
    }
  }
  Indented([&] {
    for (int i = 0; i < node.NumberOfChildren() && !state.cancelled; ++i)
      if (const Node* c = node.GetChildNode(i)) EnumerateNode(state, *c);
  });
  return true;
}

void ExportBones(RigState& state) {
  const Node& root = *state.skeletonRoot;
  for (int i = 0; i < root.NumberOfChildren() && !state.cancelled; ++i)
    if (const Node* c = root.GetChildNode(i)) BoneTree(state, *c, Point3{}, -1);
}

}  // namespace vorlan::rigexp
