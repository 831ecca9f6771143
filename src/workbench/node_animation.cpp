// Nodes and cameras over time: transforms from the transform controller and the parent,
// a camera's field of view from its float controller, and the intervals over which they hold.
#include "workbench/controllers.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

using host::Interval;
using host::Matrix3;
using host::TimeValue;

namespace {

// The static world transform of a node's parent; the root's is the identity.
Matrix3 ParentRest(const SceneNode* parent) {
  return parent && !parent->IsRootNode() ? parent->StaticTransform() : Matrix3::Identity();
}

}  // namespace

bool SceneNode::IsAnimated() const {
  for (const SceneNode* n = this; n && !n->isRoot_; n = n->parent_) {
    if (n->track_ || n->tmControl_->HasKeys()) return true;
  }
  return false;
}

host::Control* SceneNode::GetTMController() const { return tmControl_.get(); }

Matrix3 SceneNode::GetNodeTM(TimeValue t) const {
  if (track_) return track_(t);
  // A still node keeps its stored transform exactly: no round trip through its parent.
  if (!IsAnimated()) return tm_;
  Matrix3 rest = tm_ * host::Inverse(ParentRest(parent_));
  Matrix3 parentTM = parent_ && !parent_->isRoot_ ? parent_->GetNodeTM(t) : Matrix3::Identity();
  return tmControl_->LocalTM(t, rest, nullptr) * parentTM;
}

Interval SceneNode::NodeTMValidity(TimeValue t) const {
  if (track_) return {t, t};
  if (!IsAnimated()) return Interval::Forever();
  Interval valid = Interval::Forever();
  tmControl_->LocalTM(t, Matrix3::Identity(), &valid);
  if (parent_ && !parent_->isRoot_) valid = valid & parent_->NodeTMValidity(t);
  return valid;
}

std::optional<host::CameraState> CameraObject::EvalCameraState(TimeValue t) const {
  float f = fovControl && fovControl->HasKeys() ? fovControl->GetFloat(t, nullptr) : fov;
  return host::CameraState{.fov = f, .isTarget = IsTarget()};
}

Interval CameraObject::ObjectValidity(TimeValue t) const {
  Interval valid = Interval::Forever();
  if (fovControl && fovControl->HasKeys()) fovControl->GetFloat(t, &valid);
  return valid;
}

host::Control* CameraObject::GetFOVController() const { return fovControl.get(); }

}  // namespace vorlan::workbench
