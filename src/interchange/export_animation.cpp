#include "interchange/export_animation.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "interchange/channel_change.h"
#include "workbench/controllers.h"
#include "workbench/tcb_tangents.h"

namespace vorlan::workbench::interchange {

using host::Point3;
using host::Quat;
using host::TimeValue;
using nlohmann::json;

namespace {

constexpr double kTicksPerSecond = 4800.0;

float Seconds(TimeValue t) { return static_cast<float>(double(t) / kTicksPerSecond); }
// A slope per tick as one per second.
Point3 PerSecond(Point3 v) {
  return {static_cast<float>(double(v.x) * kTicksPerSecond),
          static_cast<float>(double(v.y) * kTicksPerSecond),
          static_cast<float>(double(v.z) * kTicksPerSecond)};
}

struct Track {
  std::vector<float> times, values;
  int components = 3;
  bool cubic = false;
};

void Put(std::vector<float>& v, Point3 p) { v.insert(v.end(), {p.x, p.y, p.z}); }
void Put(std::vector<float>& v, Quat q) { v.insert(v.end(), {q.x, q.y, q.z, q.w}); }

// glTF wants unit rotations; keys that are one already keep their exact value.
Quat Unit(Quat q) {
  const float l2 = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return std::abs(l2 - 1.0f) > 1e-5f && l2 > 0.0f ? host::Normalize(q) : q;
}

template <class K>
bool Distinct(const std::vector<K>& keys) {
  for (std::size_t i = 1; i < keys.size(); ++i)
    if (keys[i].time <= keys[i - 1].time) return false;
  return true;
}

bool ThirdLengths(Point3 in, Point3 out) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(in[c] - 1.0f / 3) > 1e-4f || std::abs(out[c] - 1.0f / 3) > 1e-4f) return false;
  return true;
}

// What is written of one controller, and how the node's change of frame applies to it.
struct Context {
  const ChannelChange& change;
  int ticksPerFrame;
  WarningSink& warnings;
  std::string name;
};

// One LINEAR key per frame from the first key to the last, evaluated by the workbench.
template <class K, class F>
Track Frames(const std::vector<K>& keys, const Context& x, int components, F value) {
  Track t;
  t.components = components;
  TimeValue first = keys.front().time, last = keys.front().time;
  for (const K& k : keys) first = std::min(first, k.time), last = std::max(last, k.time);
  for (int64_t at = first;; at += x.ticksPerFrame) {
    const auto time = static_cast<TimeValue>(std::min<int64_t>(at, last));
    t.times.push_back(Seconds(time));
    value(time, t.values);
    if (time == last) break;
  }
  return t;
}

// Keys of a track drawn as Hermite segments from TCB tangents (units per segment).
template <class K, class V, class D>
Track TcbCubic(const std::vector<K>& keys, const std::vector<std::pair<Point3, Point3>>& seg, V value,
               D tangent) {
  Track t;
  t.cubic = true;
  const std::size_t n = keys.size();
  for (std::size_t i = 0; i < n; ++i) {
    t.times.push_back(Seconds(keys[i].time));
    const Point3 in = i > 0 ? seg[i - 1].second / static_cast<float>(double(keys[i].time - keys[i - 1].time) /
                                                                     kTicksPerSecond)
                            : Point3{};
    const Point3 out =
        i + 1 < n
            ? seg[i].first / static_cast<float>(double(keys[i + 1].time - keys[i].time) / kTicksPerSecond)
            : Point3{};
    Put(t.values, tangent(in));
    Put(t.values, value(keys[i]));
    Put(t.values, tangent(out));
  }
  return t;
}

// Position and scale tracks share their shape; `value` gives a key's point, `carry` moves
// points and `turn` tangents into the file's frame; `eval` samples the controller.
template <class Lin, class Tcb, class Bez, class V, class C, class T, class E>
std::optional<Track> PointTrack(const host::Control& c, const Context& x, V value, C carry, T turn, E eval) {
  auto frames = [&](const auto& keys) {
    return Frames(keys, x, 3, [&](TimeValue time, std::vector<float>& out) { Put(out, carry(eval(time))); });
  };
  if (const auto* k = dynamic_cast<const KeyframeControl<Lin>*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    if (!Distinct(k->keys)) {
      x.warnings.Tally("animation keys sharing a time written as one key per frame", 1, x.name);
      return frames(k->keys);
    }
    Track t;
    for (const Lin& key : k->keys) t.times.push_back(Seconds(key.time)), Put(t.values, carry(value(key)));
    return t;
  }
  if (const auto* k = dynamic_cast<const KeyframeControl<Bez>*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    const bool thirds = std::all_of(k->keys.begin(), k->keys.end(),
                                    [](const Bez& b) { return ThirdLengths(b.inLength, b.outLength); });
    if (!Distinct(k->keys) || !thirds) {
      x.warnings.Tally(thirds
                           ? "animation keys sharing a time written as one key per frame"
                           : "Bezier keys whose handles do not reach a third of their segment written as one "
                             "key per frame",
                       1, x.name);
      return frames(k->keys);
    }
    Track t;
    t.cubic = true;
    for (const Bez& key : k->keys) {
      t.times.push_back(Seconds(key.time));
      Put(t.values, turn(PerSecond(key.inTan)));
      Put(t.values, carry(value(key)));
      Put(t.values, turn(PerSecond(key.outTan)));
    }
    return t;
  }
  if (const auto* k = dynamic_cast<const KeyframeControl<Tcb>*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    const bool eased = std::any_of(k->keys.begin(), k->keys.end(), [](const Tcb& key) {
      return key.tcb.easeIn != 0 || key.tcb.easeOut != 0;
    });
    if (!Distinct(k->keys) || eased) {
      x.warnings.Tally(eased ? "TCB keys with ease written as one key per frame"
                             : "animation keys sharing a time written as one key per frame",
                       1, x.name);
      return frames(k->keys);
    }
    if (k->keys.size() == 1) {
      Track t;
      t.times.push_back(Seconds(k->keys[0].time));
      Put(t.values, carry(value(k->keys[0])));
      return t;
    }
    return TcbCubic(
        k->keys, TcbSegmentTangents(k->keys), [&](const Tcb& key) { return carry(value(key)); }, turn);
  }
  return std::nullopt;
}

std::optional<Track> RotationTrack(const host::Control& c, const Context& x) {
  const ChannelChange& ch = x.change;
  auto frames = [&](const auto& keys) {
    return Frames(keys, x, 4, [&](TimeValue time, std::vector<float>& out) {
      Put(out, Unit(ch.Rotation(c.GetQuat(time))));
    });
  };
  if (const auto* k = dynamic_cast<const LinearRotationControl*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    if (!Distinct(k->keys)) {
      x.warnings.Tally("animation keys sharing a time written as one key per frame", 1, x.name);
      return frames(k->keys);
    }
    Track t;
    t.components = 4;
    for (const auto& key : k->keys)
      t.times.push_back(Seconds(key.time)), Put(t.values, Unit(ch.Rotation(key.val)));
    return t;
  }
  if (const auto* k = dynamic_cast<const BezierRotationControl*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    if (!Distinct(k->keys)) {
      x.warnings.Tally("animation keys sharing a time written as one key per frame", 1, x.name);
      return frames(k->keys);
    }
    // The smooth rotation has no tangents of its own: each key gets the slope of the chord
    // between its neighbours (of its one neighbour at the ends).
    x.warnings.Tally(
        "smooth rotations written as cubic splines through their keys, with tangents from the "
        "neighbouring keys",
        1, x.name);
    Track t;
    t.components = 4;
    t.cubic = true;
    const std::size_t n = k->keys.size();
    std::vector<Quat> q(n);
    for (std::size_t i = 0; i < n; ++i) q[i] = Unit(ch.Rotation(k->keys[i].val));
    for (std::size_t i = 0; i < n; ++i) {
      Quat slope{0, 0, 0, 0};
      if (n > 1) {
        const std::size_t a = i > 0 ? i - 1 : 0, b = i + 1 < n ? i + 1 : n - 1;
        const float dt = static_cast<float>(double(k->keys[b].time - k->keys[a].time) / kTicksPerSecond);
        slope = {(q[b].x - q[a].x) / dt, (q[b].y - q[a].y) / dt, (q[b].z - q[a].z) / dt,
                 (q[b].w - q[a].w) / dt};
      }
      t.times.push_back(Seconds(k->keys[i].time));
      Put(t.values, slope);
      Put(t.values, q[i]);
      Put(t.values, slope);
    }
    return t;
  }
  if (const auto* k = dynamic_cast<const TCBRotationControl*>(&c)) {
    if (k->keys.empty()) return std::nullopt;
    x.warnings.Tally("TCB rotations written as one key per frame", 1, x.name);
    return frames(k->keys);
  }
  return std::nullopt;
}

// Whether a scale controller turns its scale axes (glTF scales along the node's axes only).
template <class K>
bool TurnsAxes(const host::Control& c) {
  const auto* k = dynamic_cast<const KeyframeControl<K>*>(&c);
  return k &&
         std::any_of(k->keys.begin(), k->keys.end(), [](const K& key) { return !(key.val.q == Quat{}); });
}

}  // namespace

bool GltfAnimationWriter::Animates(const SceneNode& node) {
  return node.TMControl() && node.TMControl()->HasKeys();
}

void GltfAnimationWriter::AddNode(const SceneNode& node, int index, const host::Matrix3& hostLocal,
                                  const host::Matrix3& local, json& n) {
  const host::AffineParts parts = host::DecompAffine(local);
  const Point3 scale = parts.k * parts.f;
  if (!(parts.t == Point3{})) n["translation"] = {parts.t.x, parts.t.y, parts.t.z};
  if (!(parts.q == Quat{})) n["rotation"] = {parts.q.x, parts.q.y, parts.q.z, parts.q.w};
  if (!(scale == Point3{1, 1, 1})) n["scale"] = {scale.x, scale.y, scale.z};

  host::Matrix3 from = hostLocal;
  from.SetTrans(from.GetTrans() / scale_);
  const std::optional<ChannelChange> change = ChannelChange::Between(from, local, 1.0f / scale_);
  if (!change) {
    warnings_.Tally("animations of nodes whose transform glTF cannot take not exported", 1, node.GetName());
    return;
  }
  const Context x{*change, ticksPerFrame_, warnings_, node.GetName()};
  const TransformControl& tm = *node.TMControl();
  auto emit = [&](const char* path, std::optional<Track> t) {
    if (t && !t->times.empty())
      Channel(index, path, std::move(t->times), std::move(t->values), t->components, t->cubic);
  };
  if (const host::Control* c = tm.GetPositionController()) {
    emit("translation",
         PointTrack<host::LinearPoint3Key, host::TCBPoint3Key, host::BezPoint3Key>(
             *c, x, [](const auto& k) { return k.val; }, [&](Point3 p) { return change->Position(p); },
             [&](Point3 v) { return change->Tangent(v); }, [&](TimeValue t) { return c->GetPoint3(t); }));
  }
  if (const host::Control* c = tm.GetRotationController()) emit("rotation", RotationTrack(*c, x));
  if (const host::Control* c = tm.GetScaleController()) {
    if (TurnsAxes<host::LinearScaleKey>(*c) || TurnsAxes<host::TCBScaleKey>(*c) ||
        TurnsAxes<host::BezScaleKey>(*c))
      warnings_.Tally("turned scale axes not exported (glTF scales along the node's axes)", 1,
                      node.GetName());
    emit("scale",
         PointTrack<host::LinearScaleKey, host::TCBScaleKey, host::BezScaleKey>(
             *c, x, [](const auto& k) { return k.val.s; }, [&](Point3 s) { return change->Scale(s); },
             [&](Point3 v) { return change->Scale(v); }, [&](TimeValue t) { return c->GetScale(t).s; }));
  }
}

void GltfAnimationWriter::Channel(int node, const char* path, std::vector<float> times,
                                  std::vector<float> values, int components, bool cubic) {
  // Keys far out in time can fall on one float second; glTF's times must increase.
  const std::size_t stride = static_cast<std::size_t>(components) * (cubic ? 3u : 1u);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < times.size(); ++i) {
    if (kept > 0 && !(times[i] > times[kept - 1])) {
      warnings_.Tally("animation keys too close together for glTF's times left out", 1);
      continue;
    }
    times[kept] = times[i];
    std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(i * stride), stride,
                values.begin() + static_cast<std::ptrdiff_t>(kept * stride));
    ++kept;
  }
  times.resize(kept);
  values.resize(kept * stride);
  const int input = gltf_.FloatAccessor(times, 1, true, 0);
  const int output = gltf_.FloatAccessor(values, components, false, 0);
  samplers_.push_back(
      {{"input", input}, {"output", output}, {"interpolation", cubic ? "CUBICSPLINE" : "LINEAR"}});
  channels_.push_back({{"sampler", samplers_.size() - 1}, {"target", {{"node", node}, {"path", path}}}});
}

void GltfAnimationWriter::Finish() {
  if (channels_.empty()) return;
  gltf_.Append(
      "animations",
      {{"name", "animation"}, {"channels", std::move(channels_)}, {"samplers", std::move(samplers_)}});
  channels_ = json::array();
  samplers_ = json::array();
}

}  // namespace vorlan::workbench::interchange
