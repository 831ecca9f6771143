#include "workbench/controllers.h"

#include <functional>
#include <unordered_map>

namespace vorlan::workbench {

using host::ClassId;
using host::Interval;
using host::SuperClassId;
using host::TimeValue;

namespace {

struct ControlClass {
  SuperClassId superClass;
  std::function<std::unique_ptr<ControlBase>(ClassId, SuperClassId)> make;
};

template <class C>
std::unique_ptr<ControlBase> Make(ClassId id, SuperClassId sc) {
  return std::make_unique<C>(id, sc);
}

const std::unordered_map<ClassId, ControlClass>& ControlClasses() {
  static const std::unordered_map<ClassId, ControlClass> table = {
      {host::kLinearPositionClassId, {host::kCtrlPositionClass, Make<LinearPositionControl>}},
      {host::kLinearRotationClassId, {host::kCtrlRotationClass, Make<LinearRotationControl>}},
      {host::kLinearScaleClassId, {host::kCtrlScaleClass, Make<LinearScaleControl>}},
      {host::kTCBPositionClassId, {host::kCtrlPositionClass, Make<TCBPositionControl>}},
      {host::kTCBRotationClassId, {host::kCtrlRotationClass, Make<TCBRotationControl>}},
      {host::kTCBScaleClassId, {host::kCtrlScaleClass, Make<TCBScaleControl>}},
      {host::kBezierPositionClassId, {host::kCtrlPositionClass, Make<BezierPositionControl>}},
      {host::kBezierRotationClassId, {host::kCtrlRotationClass, Make<BezierRotationControl>}},
      {host::kBezierScaleClassId, {host::kCtrlScaleClass, Make<BezierScaleControl>}},
      {host::kLinearFloatClassId, {host::kCtrlFloatClass, Make<LinearFloatControl>}},
      {host::kBezierFloatClassId, {host::kCtrlFloatClass, Make<BezierFloatControl>}},
      {host::kPositionExpressionClassId, {host::kCtrlPositionClass, Make<KeylessControl>}},
      {host::kPositionListClassId, {host::kCtrlPositionClass, Make<KeylessControl>}},
      {host::kRotationExpressionClassId, {host::kCtrlRotationClass, Make<KeylessControl>}},
      {host::kScaleExpressionClassId, {host::kCtrlScaleClass, Make<KeylessControl>}},
      {host::kEulerRotationClassId, {host::kCtrlRotationClass, Make<KeylessControl>}},
      {host::kLookAtRotationClassId, {host::kCtrlRotationClass, Make<KeylessControl>}},
      {host::kPRSControlClassId,
       {host::kCtrlMatrix3Class,
        [](ClassId id, SuperClassId) { return std::make_unique<TransformControl>(id); }}},
      {host::kLookAtControlClassId,
       {host::kCtrlMatrix3Class,
        [](ClassId id, SuperClassId) { return std::make_unique<TransformControl>(id); }}},
  };
  return table;
}

bool ChannelHasKeys(const host::Control* c) {
  const host::IKeyControl* keys = c ? c->GetKeyControl() : nullptr;
  return keys && keys->GetNumKeys() > 0;
}

// Takes a sub-controller of the given super class.
bool Take(std::unique_ptr<host::Control>& slot, std::unique_ptr<host::Control> c, SuperClassId sc) {
  if (c && c->GetSuperClassId() != sc) return false;
  slot = std::move(c);
  return true;
}

}  // namespace

std::unique_ptr<ControlBase> CreateControl(ClassId id) {
  auto it = ControlClasses().find(id);
  return it == ControlClasses().end() ? nullptr : it->second.make(id, it->second.superClass);
}

SuperClassId ControlSuperClass(ClassId id) {
  auto it = ControlClasses().find(id);
  return it == ControlClasses().end() ? 0 : it->second.superClass;
}

bool TransformControl::SetPositionController(std::unique_ptr<host::Control> c) {
  return Take(pos_, std::move(c), host::kCtrlPositionClass);
}
bool TransformControl::SetRotationController(std::unique_ptr<host::Control> c) {
  return Take(rot_, std::move(c), host::kCtrlRotationClass);
}
bool TransformControl::SetScaleController(std::unique_ptr<host::Control> c) {
  return Take(scl_, std::move(c), host::kCtrlScaleClass);
}

bool TransformControl::HasKeys() const {
  return ChannelHasKeys(pos_.get()) || ChannelHasKeys(rot_.get()) || ChannelHasKeys(scl_.get());
}

host::Matrix3 TransformControl::LocalTM(TimeValue t, const host::Matrix3& rest, Interval* valid) const {
  host::AffineParts parts = host::DecompAffine(rest);
  host::Point3 p = ChannelHasKeys(pos_.get()) ? pos_->GetPoint3(t, valid) : parts.t;
  host::Quat q = ChannelHasKeys(rot_.get()) ? rot_->GetQuat(t, valid) : parts.q;
  host::ScaleValue s = ChannelHasKeys(scl_.get()) ? scl_->GetScale(t, valid) : host::ScaleValue{parts.k, {}};
  // A mirroring rest transform keeps its sign on the scale.
  if (!ChannelHasKeys(scl_.get())) s.s = s.s * parts.f;
  host::Matrix3 scale = host::Matrix3::Rotation(host::Conjugate(s.q)) * host::Matrix3::Scale(s.s) *
                        host::Matrix3::Rotation(s.q);
  return scale * host::Matrix3::Rotation(q) * host::Matrix3::Translation(p);
}

}  // namespace vorlan::workbench
