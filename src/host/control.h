// Animation as the host keeps it: time intervals, controllers and their keys.
//
// Every node has a transform controller. The common one combines three sub-controllers:
// position (a point in the parent's space), rotation (a quaternion) and scale (factors along
// axes that may be turned). Keyframe sub-controllers of the nine classes below hold their
// keys exactly as authored; a plug-in reads and writes them through `IKeyControl`.
//
// Other transform controllers (skeleton bones, look-at constraints) report their own class
// id and may have no sub-controllers at all; plug-ins recognise them by that id.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <variant>

#include "host/animatable.h"
#include "host/ids.h"
#include "host/math3d.h"

namespace vorlan::host {

// A closed range of ticks [start, end].
struct Interval {
  TimeValue start = 0, end = 0;

  static constexpr Interval Forever() {
    return {std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max()};
  }
  // Start beyond end: contains nothing.
  static constexpr Interval Never() { return {0, -1}; }
  constexpr bool Empty() const { return start > end; }
  constexpr bool Contains(TimeValue t) const { return t >= start && t <= end; }
  // Intersection, the host's "&=" on validity intervals.
  constexpr Interval operator&(Interval o) const {
    return {start > o.start ? start : o.start, end < o.end ? end : o.end};
  }
  friend constexpr bool operator==(Interval, Interval) = default;
};

// Super classes of controllers: what they animate.
inline constexpr SuperClassId kCtrlFloatClass = 0x9003;
inline constexpr SuperClassId kCtrlPositionClass = 0x900B;
inline constexpr SuperClassId kCtrlRotationClass = 0x900C;
inline constexpr SuperClassId kCtrlScaleClass = 0x900D;
inline constexpr SuperClassId kCtrlMatrix3Class = 0x9008;

// The nine keyframe classes.
inline constexpr ClassId kLinearPositionClassId{0x2002, 0};
inline constexpr ClassId kLinearRotationClassId{0x2003, 0};
inline constexpr ClassId kLinearScaleClassId{0x2004, 0};
inline constexpr ClassId kBezierPositionClassId{0x2008, 0};
inline constexpr ClassId kBezierRotationClassId{0x2009, 0};  // the host's "smooth" rotation
inline constexpr ClassId kBezierScaleClassId{0x2010, 0};
inline constexpr ClassId kTCBPositionClassId{0x442312, 0};
inline constexpr ClassId kTCBRotationClassId{0x442313, 0};
inline constexpr ClassId kTCBScaleClassId{0x442315, 0};
// Keyframe float controllers (a camera's field of view, for one).
inline constexpr ClassId kLinearFloatClassId{0x2001, 0};
inline constexpr ClassId kBezierFloatClassId{0x2007, 0};

// Transform controllers.
inline constexpr ClassId kPRSControlClassId{0x2005, 0};  // position, rotation, scale
inline constexpr ClassId kLookAtControlClassId{0x2012, 0};
// The rotation-side look-at of target cameras.
inline constexpr ClassId kLookAtRotationClassId{0x118F7E02, 0xFFEE238A};

// Stand-ins for procedural controllers that have no keys: an expression and a list.
inline constexpr ClassId kPositionExpressionClassId{0x7F200001, 0x56524C4E};
inline constexpr ClassId kPositionListClassId{0x7F200002, 0x56524C4E};
inline constexpr ClassId kRotationExpressionClassId{0x7F200003, 0x56524C4E};
inline constexpr ClassId kScaleExpressionClassId{0x7F200004, 0x56524C4E};
inline constexpr ClassId kEulerRotationClassId{0x2012A, 0x56524C4E};

// Scale factors along axes turned by a rotation; keys store only the factors.
struct ScaleValue {
  Point3 s{1, 1, 1};
  Quat q{};
  friend constexpr bool operator==(ScaleValue, ScaleValue) = default;
};

// A rotation of `angle` radians about `axis`. Angles beyond a half turn are kept: a key may
// spin a node several times.
struct AngAxis {
  Point3 axis{0, 0, 1};
  float angle = 0;
  friend constexpr bool operator==(AngAxis, AngAxis) = default;
};

// Key flags are the host's own bits; plug-ins store and restore them unchanged.
inline constexpr uint32_t kKeySelected = 1u << 0;

struct LinearPoint3Key {
  TimeValue time = 0;
  uint32_t flags = 0;
  Point3 val;
  friend bool operator==(const LinearPoint3Key&, const LinearPoint3Key&) = default;
};
struct LinearRotKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  Quat val;
  friend bool operator==(const LinearRotKey&, const LinearRotKey&) = default;
};
struct LinearScaleKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  ScaleValue val;
  friend bool operator==(const LinearScaleKey&, const LinearScaleKey&) = default;
};

// Tension, continuity and bias in -1..1 (0 = Catmull-Rom); ease in and out in 0..1.
struct TCBParams {
  float tens = 0, cont = 0, bias = 0, easeIn = 0, easeOut = 0;
  friend constexpr bool operator==(TCBParams, TCBParams) = default;
};
struct TCBPoint3Key {
  TimeValue time = 0;
  uint32_t flags = 0;
  Point3 val;
  TCBParams tcb;
  friend bool operator==(const TCBPoint3Key&, const TCBPoint3Key&) = default;
};
// The value of a TCB rotation key is the turn from the previous key (the first key: from
// the identity), so that a key can spin a node more than half a turn.
struct TCBRotKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  AngAxis val;
  TCBParams tcb;
  friend bool operator==(const TCBRotKey&, const TCBRotKey&) = default;
};
struct TCBScaleKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  ScaleValue val;
  TCBParams tcb;
  friend bool operator==(const TCBScaleKey&, const TCBScaleKey&) = default;
};

// Bezier keys: tangents are slopes in units per tick, lengths are the fraction (0..1) of
// the time to the neighbouring key that the handle reaches, one per component.
struct BezPoint3Key {
  TimeValue time = 0;
  uint32_t flags = 0;
  Point3 val, inTan, outTan;
  Point3 inLength{1.0f / 3, 1.0f / 3, 1.0f / 3}, outLength{1.0f / 3, 1.0f / 3, 1.0f / 3};
  friend bool operator==(const BezPoint3Key&, const BezPoint3Key&) = default;
};
struct BezQuatKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  Quat val;
  friend bool operator==(const BezQuatKey&, const BezQuatKey&) = default;
};
struct BezScaleKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  ScaleValue val;
  Point3 inTan, outTan;
  Point3 inLength{1.0f / 3, 1.0f / 3, 1.0f / 3}, outLength{1.0f / 3, 1.0f / 3, 1.0f / 3};
  friend bool operator==(const BezScaleKey&, const BezScaleKey&) = default;
};
// Float keys of the float controllers (field of view).
struct LinearFloatKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  float val = 0;
  friend bool operator==(const LinearFloatKey&, const LinearFloatKey&) = default;
};
struct BezFloatKey {
  TimeValue time = 0;
  uint32_t flags = 0;
  float val = 0, inTan = 0, outTan = 0, inLength = 1.0f / 3, outLength = 1.0f / 3;
  friend bool operator==(const BezFloatKey&, const BezFloatKey&) = default;
};

// Any key; a keyframe controller holds keys of exactly one of these kinds.
using AnyKey = std::variant<LinearPoint3Key, LinearRotKey, LinearScaleKey, TCBPoint3Key, TCBRotKey,
                            TCBScaleKey, BezPoint3Key, BezQuatKey, BezScaleKey, LinearFloatKey, BezFloatKey>;

// The keyframe interface of a controller.
class IKeyControl {
 public:
  virtual int GetNumKeys() const = 0;
  // Grows with default keys of the controller's kind or drops keys from the end.
  virtual void SetNumKeys(int n) = 0;
  // The key at `i`; nullopt for an index out of range.
  virtual std::optional<AnyKey> GetKey(int i) const = 0;
  // Stores a key at `i`; false for an index out of range or a key of another kind.
  virtual bool SetKey(int i, const AnyKey& key) = 0;
  // Orders the keys by time (stable for equal times).
  virtual void SortKeys() = 0;

  // Typed access: the key at `i` when it is of kind K.
  template <class K>
  std::optional<K> GetKeyAs(int i) const {
    auto k = GetKey(i);
    if (!k) return std::nullopt;
    if (const K* p = std::get_if<K>(&*k)) return *p;
    return std::nullopt;
  }

 protected:
  ~IKeyControl() = default;
};

class Control : public Animatable {
 public:
  // The keyframe interface, or null when the controller has no keys (expressions, lists,
  // constraints).
  virtual IKeyControl* GetKeyControl() { return nullptr; }
  const IKeyControl* GetKeyControl() const { return const_cast<Control*>(this)->GetKeyControl(); }

  // Transform controllers: their sub-controllers, each possibly absent.
  virtual Control* GetPositionController() const { return nullptr; }
  virtual Control* GetRotationController() const { return nullptr; }
  virtual Control* GetScaleController() const { return nullptr; }
  // Replace a sub-controller; the transform controller takes ownership. False when the
  // controller does not take sub-controllers or the controller is of the wrong super class.
  virtual bool SetPositionController(std::unique_ptr<Control>) { return false; }
  virtual bool SetRotationController(std::unique_ptr<Control>) { return false; }
  virtual bool SetScaleController(std::unique_ptr<Control>) { return false; }

  // Values at a time, by super class; `valid` (if given) is narrowed to the interval over
  // which the value stays the same. Controllers of another super class return the default.
  virtual float GetFloat(TimeValue /*t*/, Interval* /*valid*/ = nullptr) const { return 0.0f; }
  virtual Point3 GetPoint3(TimeValue /*t*/, Interval* /*valid*/ = nullptr) const { return {}; }
  virtual Quat GetQuat(TimeValue /*t*/, Interval* /*valid*/ = nullptr) const { return {}; }
  virtual ScaleValue GetScale(TimeValue /*t*/, Interval* /*valid*/ = nullptr) const { return {}; }

  // Tells the host the keys changed (after SetKey/SortKeys).
  virtual void NotifyChanged() {}
};

// Converts between angle-axis and quaternions in the convention of Matrix3::Rotation.
Quat QuatFromAngAxis(const AngAxis& aa);
AngAxis AngAxisFromQuat(Quat q);
// Hamilton product: the rotation `a` followed by `b` in row-vector order
// (Matrix3::Rotation(a * b) == Matrix3::Rotation(a) * Matrix3::Rotation(b)).
Quat operator*(Quat a, Quat b);
Quat Conjugate(Quat q);
// Spherical interpolation along the shorter arc.
Quat Slerp(Quat a, Quat b, float u);

}  // namespace vorlan::host
