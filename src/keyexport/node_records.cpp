#include "keyexport/node_records.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "keyimport/manm.h"
#include "support/bytes.h"

namespace vorlan::keyexport {

using host::ClassId;
using host::Point3;
using host::TimeValue;
using manm::Channel;

namespace {

enum class Kind { Linear = 0, TCB = 1, Bezier = 2 };

struct KeyframeClass {
  ClassId id;
  Kind kind;
};

// The nine keyframe classes the exporter copies keys from.
constexpr KeyframeClass kKeyframeClasses[] = {
    {host::kLinearPositionClassId, Kind::Linear}, {host::kLinearRotationClassId, Kind::Linear},
    {host::kLinearScaleClassId, Kind::Linear},    {host::kBezierPositionClassId, Kind::Bezier},
    {host::kBezierRotationClassId, Kind::Bezier}, {host::kBezierScaleClassId, Kind::Bezier},
    {host::kTCBPositionClassId, Kind::TCB},       {host::kTCBRotationClassId, Kind::TCB},
    {host::kTCBScaleClassId, Kind::TCB},
};

// Controllers a target camera may also have; they carry no keys.
constexpr ClassId kTargetCameraClasses[] = {host::kLookAtControlClassId, host::kLookAtRotationClassId};

const KeyframeClass* FindKeyframeClass(ClassId id) {
  for (const KeyframeClass& c : kKeyframeClasses)
    if (c.id == id) return &c;
  return nullptr;
}

struct ChannelInfo {
  Channel channel;
  uint32_t digit;
  const char* message;
};

constexpr ChannelInfo kChannels[] = {
    {Channel::Position, 0x1, "Position keys must have one of these types: Linear/TCB/Bezier!"},
    {Channel::Rotation, 0x2, "Rotation keys must have one of these types: Linear/TCB/Smooth!"},
    {Channel::Scale, 0x3, "Scale keys must have one of these types: Linear/TCB/Bezier!"},
};

uint32_t TypeOf(uint32_t digit, Kind kind) { return digit << (4 * static_cast<int>(kind)); }

bool Accepted(const host::Control* c, bool targetCamera) {
  if (!c || FindKeyframeClass(c->GetClassId())) return true;
  return targetCamera &&
         std::ranges::find(kTargetCameraClasses, c->GetClassId()) != std::end(kTargetCameraClasses);
}

// The variant alternative a key of this channel and kind must be.
template <class K>
bool Matches(uint32_t type) {
  using namespace manm;
  if constexpr (std::is_same_v<K, host::LinearPoint3Key>)
    return type == kPosLinear;
  else if constexpr (std::is_same_v<K, host::TCBPoint3Key>)
    return type == kPosTCB;
  else if constexpr (std::is_same_v<K, host::BezPoint3Key>)
    return type == kPosBezier;
  else if constexpr (std::is_same_v<K, host::LinearRotKey>)
    return type == kRotLinear;
  else if constexpr (std::is_same_v<K, host::TCBRotKey>)
    return type == kRotTCB;
  else if constexpr (std::is_same_v<K, host::BezQuatKey>)
    return type == kRotBezier;
  else if constexpr (std::is_same_v<K, host::LinearScaleKey>)
    return type == kSclLinear;
  else if constexpr (std::is_same_v<K, host::TCBScaleKey>)
    return type == kSclTCB;
  else if constexpr (std::is_same_v<K, host::BezScaleKey>)
    return type == kSclBezier;
  else
    return false;
}

// Copies a keyframe controller's keys in key order; returns the number written. Keys of
// another kind than the controller's class names are left out, so the count always
// matches the bytes.
uint32_t WriteControllerKeys(const host::Control& c, uint32_t type, support::ByteWriter& w) {
  const host::IKeyControl* keys = c.GetKeyControl();
  if (!keys) return 0;
  uint32_t written = 0;
  const int n = keys->GetNumKeys();
  for (int i = 0; i < n; ++i) {
    auto key = keys->GetKey(i);
    if (!key) continue;
    std::visit(
        [&](const auto& k) {
          using K = std::decay_t<decltype(k)>;
          if constexpr (!std::is_same_v<K, host::LinearFloatKey> && !std::is_same_v<K, host::BezFloatKey>) {
            if (Matches<K>(type)) {
              manm::WriteKey(w, k);
              ++written;
            }
          }
        },
        *key);
  }
  return written;
}

// One sampled channel: from the range's start by the ticks per frame, until a sample's
// value holds up to or past the range's end.
void Sample(const host::Interface& ip, const std::function<host::Interval(TimeValue)>& sample) {
  const host::Interval range = ip.GetAnimRange();
  const int step = std::max(ip.GetTicksPerFrame(), 1);
  for (int64_t t = range.start; t <= std::numeric_limits<TimeValue>::max(); t += step) {
    host::Interval valid = sample(static_cast<TimeValue>(t));
    if (valid.end >= range.end) break;
  }
}

bool Moved(Point3 a, Point3 b) {
  return std::abs(a.x - b.x) > 0.001f || std::abs(a.y - b.y) > 0.001f || std::abs(a.z - b.z) > 0.001f;
}

uint32_t SampleCameraPositions(host::Interface& ip, host::Node& node, support::ByteWriter& w) {
  uint32_t n = 0;
  Point3 last;
  Sample(ip, [&](TimeValue t) {
    Point3 p = Point3{} * node.GetNodeTM(t);
    if (n == 0 || Moved(p, last)) {
      manm::WriteKey(w, host::LinearPoint3Key{t, 0, p});
      last = p;
      ++n;
    }
    return node.NodeTMValidity(t);
  });
  return n;
}

uint32_t SampleCameraOrientations(host::Interface& ip, host::Node& node, support::ByteWriter& w) {
  uint32_t n = 0;
  Point3 lastUp, lastView;
  Sample(ip, [&](TimeValue t) {
    host::Matrix3 tm = node.GetNodeTM(t);
    Point3 origin = Point3{} * tm;
    Point3 up = Point3{0, 1, 0} * tm - origin;
    Point3 forward = Point3{0, 0, 1} * tm - origin;
    Point3 side = host::Cross(up, forward);
    Point3 view = host::Cross(side, up);
    up = host::Normalize(up);
    view = host::Normalize(view);
    if (up != lastUp || view != lastView) {
      manm::WriteKey(w, manm::CameraOrientationKey{t, up, view});
      lastUp = up;
      lastView = view;
      ++n;
    }
    return node.NodeTMValidity(t);
  });
  return n;
}

uint32_t SampleCameraFov(host::Interface& ip, host::Node& node, support::ByteWriter& w) {
  uint32_t n = 0;
  float last = 0.0f;
  Sample(ip, [&](TimeValue t) {
    host::Object* obj = node.EvalWorldState(t);
    auto state = obj ? obj->EvalCameraState(t) : std::nullopt;
    float fov = state ? state->fov : 0.0f;
    if (fov != last) {
      manm::WriteKey(w, manm::CameraKey{t, fov});
      last = fov;
      ++n;
    }
    return obj ? obj->ObjectValidity(t) : host::Interval::Forever();
  });
  return n;
}

}  // namespace

void WalkChosenNodes(host::Node& root, const ExportChoice& choice,
                     const std::function<bool(host::Node&)>& visit) {
  std::function<bool(host::Node&, bool)> walk = [&](host::Node& parent, bool underSelected) {
    for (int i = 0; i < parent.NumberOfChildren(); ++i) {
      host::Node* child = parent.GetChildNode(i);
      if (!child) continue;
      bool selected = child->Selected();
      bool chosen = !choice.selectedOnly || selected || (choice.hierarchy && underSelected);
      if (chosen && !visit(*child)) return false;
      if (!walk(*child, underSelected || selected)) return false;
    }
    return true;
  };
  walk(root, false);
}

bool IsCamera(const host::Node& node) {
  host::Object* obj = node.EvalWorldState(0);
  if (!obj) return false;
  ClassId id = obj->GetClassId();
  return id == host::kFreeCameraClassId || id == host::kTargetCameraClassId;
}

namespace {

// A record's size is stored in 32 bits.
constexpr uint64_t kMaxRecordSize = 0xFFFFFFFFull;

bool RefuseRecord(host::Interface& ip, const std::string& name, uint64_t size) {
  ip.UI().MessageBox({"The animation of this node needs " + std::to_string(size) +
                          " bytes, more than a .manm record can hold (4 GiB). Nothing was exported.",
                      "Node: " + name, host::Buttons::Ok, host::Icon::Error});
  return false;
}

}  // namespace

bool WriteNodeRecord(host::Interface& ip, host::Node& node, std::vector<uint8_t>& out) {
  const bool camera = IsCamera(node);
  const bool targetCamera = camera && node.EvalWorldState(0)->GetClassId() == host::kTargetCameraClassId;
  const std::string name = node.GetName();
  host::Control* tm = node.GetTMController();
  host::Control* controllers[3] = {tm ? tm->GetPositionController() : nullptr,
                                   tm ? tm->GetRotationController() : nullptr,
                                   tm ? tm->GetScaleController() : nullptr};

  manm::RecordHead head;
  uint32_t* types[3] = {&head.posType, &head.rotType, &head.sclType};
  uint32_t* counts[3] = {&head.numPos, &head.numRot, &head.numScl};
  bool accepted[3];
  for (int c = 0; c < 3; ++c) {
    accepted[c] = Accepted(controllers[c], targetCamera);
    if (!accepted[c]) {
      ip.UI().MessageBox({kChannels[c].message, "Node: " + name, host::Buttons::Ok, host::Icon::None});
      continue;
    }
    const KeyframeClass* kc = controllers[c] ? FindKeyframeClass(controllers[c]->GetClassId()) : nullptr;
    if (kc && controllers[c]->GetKeyControl()) *types[c] = TypeOf(kChannels[c].digit, kc->kind);
  }
  if (camera) {
    if (accepted[0]) head.posType = manm::kPosLinear;
    if (accepted[1]) head.rotType = manm::kRotCameraOrientation;
  }
  const host::Interval range = ip.GetAnimRange();
  head.animStart = range.start;
  head.animEnd = range.end;
  head.ticksPerFrame = ip.GetTicksPerFrame();
  head.frameRate = ip.GetFrameRate();

  // The keys a record copies are counted before any is written: a record too large for its
  // size field is refused before its keys take the memory.
  manm::RecordHead counted = head;
  uint32_t* countedKeys[3] = {&counted.numPos, &counted.numRot, &counted.numScl};
  for (int c = 0; c < 3; ++c) {
    if (!accepted[c] || *types[c] == 0 || (camera && c < 2)) continue;
    const host::IKeyControl* keys = controllers[c]->GetKeyControl();
    *countedKeys[c] = keys ? static_cast<uint32_t>(std::max(keys->GetNumKeys(), 0)) : 0;
  }
  if (uint64_t size = manm::RecordSize(counted, name.size()); size > kMaxRecordSize)
    return RefuseRecord(ip, name, size);

  const std::size_t at = out.size();
  support::ByteWriter w(out);
  manm::WriteRecordHead(w, head, name);

  for (int c = 0; c < 3; ++c) {
    if (!accepted[c]) continue;
    if (camera && c == 0) {
      head.numPos = SampleCameraPositions(ip, node, w);
    } else if (camera && c == 1) {
      head.numRot = SampleCameraOrientations(ip, node, w);
    } else if (*types[c] != 0) {
      *counts[c] = WriteControllerKeys(*controllers[c], *types[c], w);
    }
  }
  if (camera) head.numCam = SampleCameraFov(ip, node, w);

  const uint64_t size = manm::RecordSize(head, name.size());
  if (size > kMaxRecordSize) {  // sampled cameras are only counted once sampled
    out.resize(at);
    return RefuseRecord(ip, name, size);
  }
  head.size = static_cast<uint32_t>(size);
  manm::StoreRecordHead(out.data() + at, head);
  return true;
}

}  // namespace vorlan::keyexport
