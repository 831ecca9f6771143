// The workbench's controllers: keyframe controllers of every key kind, keyless stand-ins
// (expressions, lists, look-at constraints) and the transform controller of a node.
//
// A keyframe controller with no keys has no value of its own: the transform controller then
// uses the node's static transform for that channel, so replacing a channel's controller with
// an empty one does not move the node.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "host/control.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

// Evaluation of one key kind's track at a time (interpolation.cpp). `valid` is narrowed to
// where the value stays the same. Precondition: `keys` is not empty and sorted by time.
host::Point3 EvalTrack(const std::vector<host::LinearPoint3Key>& keys, host::TimeValue t,
                       host::Interval* valid);
host::Point3 EvalTrack(const std::vector<host::TCBPoint3Key>& keys, host::TimeValue t, host::Interval* valid);
host::Point3 EvalTrack(const std::vector<host::BezPoint3Key>& keys, host::TimeValue t, host::Interval* valid);
host::Quat EvalTrack(const std::vector<host::LinearRotKey>& keys, host::TimeValue t, host::Interval* valid);
host::Quat EvalTrack(const std::vector<host::TCBRotKey>& keys, host::TimeValue t, host::Interval* valid);
host::Quat EvalTrack(const std::vector<host::BezQuatKey>& keys, host::TimeValue t, host::Interval* valid);
host::ScaleValue EvalTrack(const std::vector<host::LinearScaleKey>& keys, host::TimeValue t,
                           host::Interval* valid);
host::ScaleValue EvalTrack(const std::vector<host::TCBScaleKey>& keys, host::TimeValue t,
                           host::Interval* valid);
host::ScaleValue EvalTrack(const std::vector<host::BezScaleKey>& keys, host::TimeValue t,
                           host::Interval* valid);
float EvalTrack(const std::vector<host::LinearFloatKey>& keys, host::TimeValue t, host::Interval* valid);
float EvalTrack(const std::vector<host::BezFloatKey>& keys, host::TimeValue t, host::Interval* valid);

// Base of the workbench's controllers: class identity and application data.
class ControlBase : public WithAppData<host::Control> {
 public:
  ControlBase(host::ClassId id, host::SuperClassId sc) : classId_(id), superClass_(sc) {}
  host::ClassId GetClassId() const override { return classId_; }
  host::SuperClassId GetSuperClassId() const override { return superClass_; }
  // Whether the controller has keys that give the channel a value of its own.
  virtual bool HasKeys() const { return false; }

 protected:
  void SetClassId(host::ClassId id) { classId_ = id; }

 private:
  host::ClassId classId_;
  host::SuperClassId superClass_;
};

// A keyframe controller holding keys of kind K.
template <class K>
class KeyframeControl : public ControlBase, public host::IKeyControl {
 public:
  KeyframeControl(host::ClassId id, host::SuperClassId sc) : ControlBase(id, sc) {}

  std::vector<K> keys;

  bool HasKeys() const override { return !keys.empty(); }
  host::IKeyControl* GetKeyControl() override { return this; }

  int GetNumKeys() const override { return static_cast<int>(keys.size()); }
  void SetNumKeys(int n) override { keys.resize(static_cast<std::size_t>(std::max(n, 0))); }
  std::optional<host::AnyKey> GetKey(int i) const override {
    if (i < 0 || i >= GetNumKeys()) return std::nullopt;
    return host::AnyKey(keys[static_cast<std::size_t>(i)]);
  }
  bool SetKey(int i, const host::AnyKey& key) override {
    const K* k = std::get_if<K>(&key);
    if (!k || i < 0 || i >= GetNumKeys()) return false;
    keys[static_cast<std::size_t>(i)] = *k;
    return true;
  }
  void SortKeys() override {
    std::stable_sort(keys.begin(), keys.end(), [](const K& a, const K& b) { return a.time < b.time; });
  }

  // Values: only the accessor of the controller's own super class answers.
  float GetFloat(host::TimeValue t, host::Interval* valid) const override { return Eval<float>(t, valid); }
  host::Point3 GetPoint3(host::TimeValue t, host::Interval* valid) const override {
    return Eval<host::Point3>(t, valid);
  }
  host::Quat GetQuat(host::TimeValue t, host::Interval* valid) const override {
    return Eval<host::Quat>(t, valid);
  }
  host::ScaleValue GetScale(host::TimeValue t, host::Interval* valid) const override {
    return Eval<host::ScaleValue>(t, valid);
  }

 private:
  template <class V>
  V Eval(host::TimeValue t, host::Interval* valid) const {
    if constexpr (std::is_same_v<decltype(EvalTrack(keys, t, valid)), V>) {
      if (!keys.empty()) return EvalTrack(keys, t, valid);
    }
    return V{};
  }
};

using LinearPositionControl = KeyframeControl<host::LinearPoint3Key>;
using LinearRotationControl = KeyframeControl<host::LinearRotKey>;
using LinearScaleControl = KeyframeControl<host::LinearScaleKey>;
using TCBPositionControl = KeyframeControl<host::TCBPoint3Key>;
using TCBRotationControl = KeyframeControl<host::TCBRotKey>;
using TCBScaleControl = KeyframeControl<host::TCBScaleKey>;
using BezierPositionControl = KeyframeControl<host::BezPoint3Key>;
using BezierRotationControl = KeyframeControl<host::BezQuatKey>;
using BezierScaleControl = KeyframeControl<host::BezScaleKey>;
using LinearFloatControl = KeyframeControl<host::LinearFloatKey>;
using BezierFloatControl = KeyframeControl<host::BezFloatKey>;

// A controller without keys (an expression, a list, a constraint, a rotation of a class the
// exporters do not take): the channel keeps the node's static value.
class KeylessControl : public ControlBase {
 public:
  using ControlBase::ControlBase;
};

// A node's transform controller: position, rotation and scale sub-controllers, each of
// which may be absent. Its class id may be set, so that it can stand for controllers that
// plug-ins recognise by id (skeleton bones, look-at).
class TransformControl : public ControlBase {
 public:
  explicit TransformControl(host::ClassId id = host::kPRSControlClassId)
      : ControlBase(id, host::kCtrlMatrix3Class) {}

  using ControlBase::SetClassId;

  host::Control* GetPositionController() const override { return pos_.get(); }
  host::Control* GetRotationController() const override { return rot_.get(); }
  host::Control* GetScaleController() const override { return scl_.get(); }
  bool SetPositionController(std::unique_ptr<host::Control> c) override;
  bool SetRotationController(std::unique_ptr<host::Control> c) override;
  bool SetScaleController(std::unique_ptr<host::Control> c) override;

  bool HasKeys() const override;
  // The parent-relative transform at `t`: scale (about its axes), then rotation, then
  // translation. Channels without keys take their part of `rest`.
  host::Matrix3 LocalTM(host::TimeValue t, const host::Matrix3& rest, host::Interval* valid) const;

 private:
  std::unique_ptr<host::Control> pos_, rot_, scl_;
};

// A new controller of a known class (the nine keyframe classes, the keyframe float classes,
// the stand-ins, PRS and look-at), or null.
std::unique_ptr<ControlBase> CreateControl(host::ClassId id);
// The super class a known controller class animates; 0 when unknown.
host::SuperClassId ControlSuperClass(host::ClassId id);

}  // namespace vorlan::workbench
