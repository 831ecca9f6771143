// The workbench's import services: what an importer builds the scene with, and the progress
// display it reports to.
#include "workbench/materials.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {

namespace {

constexpr int kProgressBarId = 1;

// Helper classes the workbench models; others have no plug-in here.
bool IsKnownHelper(host::ClassId id) {
  for (host::ClassId known :
       {host::kDummyClassId, host::kPointHelperClassId, host::kBoneHelperClassId, host::kVexaIKJointClassId,
        host::kVexaSoundEventClassId, host::kVexaParticleEventClassId, host::kExtDummyClassId})
    if (id == known) return true;
  return false;
}

}  // namespace

host::Node* Workbench::CreateNode(const std::string& name, host::Node* parent) {
  SceneNode* p = nullptr;
  if (parent) {
    // Only nodes of this scene can take children; anything else would be another host's.
    p = dynamic_cast<SceneNode*>(parent);
    if (!p || &p->GetScene() != &scene_) return nullptr;
  }
  return &scene_.CreateNode(name, p);
}

std::shared_ptr<host::Object> Workbench::CreateObject(host::SuperClassId sc, host::ClassId id) {
  if (unavailable_.count(id)) return nullptr;
  switch (sc) {
    case host::kGeomObjectClass:
      if (id == host::kTriObjectClassId) return std::make_shared<MeshObject>();
      return nullptr;
    case host::kCameraClass:
      if (id == host::kFreeCameraClassId || id == host::kTargetCameraClassId)
        return std::make_shared<CameraObject>(id == host::kTargetCameraClassId);
      return nullptr;
    case host::kLightClass:
      if (IsHostLightClass(id)) return std::make_shared<LightObject>(id);
      if (id == host::kVexaLightClassId) return HelperObject::Create(id);
      return nullptr;
    case host::kHelperClass:
      if (IsKnownHelper(id)) return HelperObject::Create(id);
      return nullptr;
    default:
      return nullptr;
  }
}

std::shared_ptr<host::Mtl> Workbench::CreateMtl(host::ClassId id) {
  if (unavailable_.count(id)) return nullptr;
  return CreateMaterialByClassId(id);
}

std::shared_ptr<host::Texmap> Workbench::CreateTexmap(host::ClassId id) {
  if (unavailable_.count(id)) return nullptr;
  return CreateTexmapByClassId(id);
}

void Workbench::ProgressStart(const std::string& title, bool cancellable) {
  cancel_ = false;
  host::DialogModel d;
  d.title = title;
  d.controls = {{.id = kProgressBarId, .kind = host::ControlKind::ProgressBar}};
  if (cancellable) d.controls.push_back({.id = 2, .kind = host::ControlKind::Button, .label = "Cancel"});
  progress_ = ui_.OpenModeless(d);
  if (progress_) progress_->Show(true);
}

void Workbench::ProgressUpdate(int percent) {
  if (progress_) progress_->SetPos(kProgressBarId, percent);
  if (progressHook_) progressHook_(*this, percent);
}

void Workbench::ProgressEnd() {
  if (progress_) progress_->Show(false);
  progress_.reset();
}

}  // namespace vorlan::workbench
