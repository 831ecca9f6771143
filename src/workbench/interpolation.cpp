// Interpolation of keyframe tracks; docs/animation.md gives the formulas in full.
//
// Every track holds its first key's value before the first key and its last key's value
// after the last key. Between two keys the value changes at every tick, so the validity
// interval there is the tick itself; outside it reaches to the end of time.
#include <algorithm>
#include <cmath>
#include <vector>

#include "workbench/controllers.h"
#include "workbench/tcb_tangents.h"

namespace vorlan::workbench {

using host::Interval;
using host::Point3;
using host::Quat;
using host::ScaleValue;
using host::TimeValue;

namespace {

// The ticks from `a` to `b`: keys come from files, and their times may lie further apart
// than a TimeValue can count.
float TimeSpan(TimeValue a, TimeValue b) { return float(int64_t(b) - int64_t(a)); }

// Where `t` falls: the key before it and the fraction of the way to the next key; `u` is
// negative when `t` lies outside the keys (then `i` is the key whose value holds).
struct Segment {
  std::size_t i = 0;
  float u = -1;
  bool Inside() const { return u >= 0; }
};

template <class K>
Segment Locate(const std::vector<K>& keys, TimeValue t, Interval* valid) {
  constexpr TimeValue kMin = Interval::Forever().start, kMax = Interval::Forever().end;
  const std::size_t n = keys.size();
  if (n == 1) return {0, -1};
  if (t <= keys.front().time) {
    if (valid) *valid = *valid & Interval{kMin, keys.front().time};
    return {0, -1};
  }
  if (t >= keys.back().time) {
    if (valid) *valid = *valid & Interval{keys.back().time, kMax};
    return {n - 1, -1};
  }
  if (valid) *valid = *valid & Interval{t, t};
  auto next =
      std::upper_bound(keys.begin(), keys.end(), t, [](TimeValue v, const K& k) { return v < k.time; });
  std::size_t i = static_cast<std::size_t>(next - keys.begin()) - 1;
  double dt = double(keys[i + 1].time) - double(keys[i].time);
  return {i, static_cast<float>((double(t) - double(keys[i].time)) / dt)};
}

Point3 Lerp(Point3 a, Point3 b, float u) { return a + (b - a) * u; }

// --- Kochanek-Bartels ------------------------------------------------------------------

// Ease of the fraction u between a key with ease-out `from` and one with ease-in `to`:
// constant acceleration over the eased parts, constant speed between, continuous speed.
float Ease(float u, float from, float to) {
  float s = from + to;
  if (!(s > 1e-6f)) return u;
  if (s > 1.0f) {
    from /= s;
    to /= s;
  }
  float k = 1.0f / (2.0f - from - to);
  if (u < from) return k / from * u * u;
  if (u < 1.0f - to || !(to > 0)) return std::min(k * (2.0f * u - from), 1.0f);
  u = 1.0f - u;
  return 1.0f - k / to * u * u;
}

struct Hermite {
  float h00, h10, h01, h11;
  explicit Hermite(float u) {
    float u2 = u * u, u3 = u2 * u;
    h00 = 2 * u3 - 3 * u2 + 1;
    h10 = u3 - 2 * u2 + u;
    h01 = -2 * u3 + 3 * u2;
    h11 = u3 - u2;
  }
};

struct TcbPoint {
  TimeValue time;
  Point3 p;
  host::TCBParams tcb;
};

// Incoming (arriving) and outgoing (leaving) tangent at key i, each in units of the
// segment it belongs to. Ends without a neighbour use the natural end condition (no
// curvature there); two keys give a straight line.
struct Tangents {
  Point3 in, out;
};

Tangents InnerTangents(const std::vector<TcbPoint>& k, std::size_t i) {
  const host::TCBParams& p = k[i].tcb;
  Point3 g1 = k[i].p - k[i - 1].p, g2 = k[i + 1].p - k[i].p;
  float d1 = TimeSpan(k[i - 1].time, k[i].time), d2 = TimeSpan(k[i].time, k[i + 1].time);
  float a = (1 - p.tens) * (1 - p.cont) * (1 + p.bias) / 2,
        b = (1 - p.tens) * (1 + p.cont) * (1 - p.bias) / 2;
  float c = (1 - p.tens) * (1 + p.cont) * (1 + p.bias) / 2,
        d = (1 - p.tens) * (1 - p.cont) * (1 - p.bias) / 2;
  Tangents t{g1 * a + g2 * b, g1 * c + g2 * d};
  t.in = t.in * (2 * d1 / (d1 + d2));
  t.out = t.out * (2 * d2 / (d1 + d2));
  return t;
}

// Outgoing tangent of key i and incoming tangent of key i + 1.
std::pair<Point3, Point3> SegmentTangents(const std::vector<TcbPoint>& k, std::size_t i) {
  const std::size_t n = k.size();
  Point3 g = k[i + 1].p - k[i].p;
  bool innerStart = i > 0, innerEnd = i + 2 < n;
  Point3 out, in;
  if (innerStart) out = InnerTangents(k, i).out;
  if (innerEnd) in = InnerTangents(k, i + 1).in;
  if (!innerStart && !innerEnd) return {g, g};
  if (!innerStart) out = (g * 3 - in) * 0.5f;
  if (!innerEnd) in = (g * 3 - out) * 0.5f;
  return {out, in};
}

// The curve through the points, relative to the segment's start point.
Point3 TcbOffset(const std::vector<TcbPoint>& k, Segment s) {
  auto [out, in] = SegmentTangents(k, s.i);
  Hermite h(Ease(s.u, k[s.i].tcb.easeOut, k[s.i + 1].tcb.easeIn));
  return (k[s.i + 1].p - k[s.i].p) * h.h01 + out * h.h10 + in * h.h11;
}

template <class K, class F>
std::vector<TcbPoint> TcbPoints(const std::vector<K>& keys, F value) {
  std::vector<TcbPoint> pts;
  pts.reserve(keys.size());
  for (const K& k : keys) pts.push_back({k.time, value(k), k.tcb});
  return pts;
}

// Rotation as a vector: axis times angle.
Point3 LogVector(const host::AngAxis& aa) { return host::Normalize(aa.axis) * aa.angle; }
Quat ExpVector(Point3 v) {
  float angle = host::Length(v);
  return angle > 0 ? host::QuatFromAngAxis({v / angle, angle}) : Quat{};
}

// Rotations given as turns between keys (`turns[0]` from the identity) follow the TCB curve
// of their summed vectors; between keys i and i + 1 the node turns from key i's rotation by
// the curve's offset from key i.
Quat TcbTurns(const std::vector<TcbPoint>& turns, TimeValue t, Interval* valid) {
  std::vector<TcbPoint> pts = turns;
  std::vector<Quat> absolute(turns.size());
  for (std::size_t i = 0; i < turns.size(); ++i) {
    absolute[i] = i == 0 ? ExpVector(turns[0].p) : absolute[i - 1] * ExpVector(turns[i].p);
    pts[i].p = i == 0 ? Point3{} : pts[i - 1].p + turns[i].p;
  }
  Segment s = Locate(pts, t, valid);
  if (!s.Inside()) return absolute[s.i];
  return host::Normalize(absolute[s.i] * ExpVector(TcbOffset(pts, s)));
}

// --- Bezier ----------------------------------------------------------------------------

// One component of a Bezier segment whose handles reach `outLen` and `inLen` of the
// segment's time: the curve is solved for the Bezier parameter whose time is `u`.
float BezierComponent(float v0, float outTan, float outLen, float v1, float inTan, float inLen, float dt,
                      float u) {
  float x1 = std::clamp(outLen, 0.0f, 1.0f), x2 = 1.0f - std::clamp(inLen, 0.0f, 1.0f);
  auto timeAt = [&](float w) {
    float m = 1 - w;
    return 3 * m * m * w * x1 + 3 * m * w * w * x2 + w * w * w;
  };
  float lo = 0, hi = 1, w = u;
  for (int it = 0; it < 40; ++it) {
    w = 0.5f * (lo + hi);
    if (timeAt(w) < u)
      lo = w;
    else
      hi = w;
  }
  float m = 1 - w;
  float c1 = v0 + outTan * outLen * dt, c2 = v1 - inTan * inLen * dt;
  return m * m * m * v0 + 3 * m * m * w * c1 + 3 * m * w * w * c2 + w * w * w * v1;
}

template <class K>
Point3 BezierPoint(const std::vector<K>& keys, Segment s, Point3 v0, Point3 v1) {
  const K& a = keys[s.i];
  const K& b = keys[s.i + 1];
  float dt = TimeSpan(a.time, b.time);
  Point3 r;
  for (int c = 0; c < 3; ++c)
    r[c] = BezierComponent(v0[c], a.outTan[c], a.outLength[c], v1[c], b.inTan[c], b.inLength[c], dt, s.u);
  return r;
}

ScaleValue ScaleBetween(const ScaleValue& a, const ScaleValue& b, Point3 factors, float u) {
  return {factors, host::Slerp(a.q, b.q, u)};
}

}  // namespace

Point3 EvalTrack(const std::vector<host::LinearPoint3Key>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return keys[s.i].val;
  return Lerp(keys[s.i].val, keys[s.i + 1].val, s.u);
}

Point3 EvalTrack(const std::vector<host::TCBPoint3Key>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return keys[s.i].val;
  auto pts = TcbPoints(keys, [](const auto& k) { return k.val; });
  return keys[s.i].val + TcbOffset(pts, s);
}

Point3 EvalTrack(const std::vector<host::BezPoint3Key>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return keys[s.i].val;
  return BezierPoint(keys, s, keys[s.i].val, keys[s.i + 1].val);
}

Quat EvalTrack(const std::vector<host::LinearRotKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return host::Normalize(keys[s.i].val);
  return host::Slerp(host::Normalize(keys[s.i].val), host::Normalize(keys[s.i + 1].val), s.u);
}

Quat EvalTrack(const std::vector<host::TCBRotKey>& keys, TimeValue t, Interval* valid) {
  return TcbTurns(TcbPoints(keys, [](const auto& k) { return LogVector(k.val); }), t, valid);
}

Quat EvalTrack(const std::vector<host::BezQuatKey>& keys, TimeValue t, Interval* valid) {
  // The smooth rotation: a TCB curve with neutral parameters through the shorter turns
  // between consecutive keys.
  std::vector<TcbPoint> turns;
  turns.reserve(keys.size());
  Quat prev{};
  for (const auto& k : keys) {
    Quat q = host::Normalize(k.val);
    Quat r = host::Conjugate(prev) * q;
    if (r.w < 0) r = {-r.x, -r.y, -r.z, -r.w};
    turns.push_back({k.time, LogVector(host::AngAxisFromQuat(r)), {}});
    prev = q;
  }
  return TcbTurns(turns, t, valid);
}

ScaleValue EvalTrack(const std::vector<host::LinearScaleKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  const auto& a = keys[s.i].val;
  if (!s.Inside()) return a;
  const auto& b = keys[s.i + 1].val;
  return ScaleBetween(a, b, Lerp(a.s, b.s, s.u), s.u);
}

ScaleValue EvalTrack(const std::vector<host::TCBScaleKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  const auto& a = keys[s.i].val;
  if (!s.Inside()) return a;
  auto pts = TcbPoints(keys, [](const auto& k) { return k.val.s; });
  return ScaleBetween(a, keys[s.i + 1].val, a.s + TcbOffset(pts, s), s.u);
}

ScaleValue EvalTrack(const std::vector<host::BezScaleKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  const auto& a = keys[s.i].val;
  if (!s.Inside()) return a;
  const auto& b = keys[s.i + 1].val;
  return ScaleBetween(a, b, BezierPoint(keys, s, a.s, b.s), s.u);
}

float EvalTrack(const std::vector<host::LinearFloatKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return keys[s.i].val;
  return keys[s.i].val + (keys[s.i + 1].val - keys[s.i].val) * s.u;
}

float EvalTrack(const std::vector<host::BezFloatKey>& keys, TimeValue t, Interval* valid) {
  Segment s = Locate(keys, t, valid);
  if (!s.Inside()) return keys[s.i].val;
  const auto& a = keys[s.i];
  const auto& b = keys[s.i + 1];
  return BezierComponent(a.val, a.outTan, a.outLength, b.val, b.inTan, b.inLength, TimeSpan(a.time, b.time),
                         s.u);
}

namespace {

template <class K, class F>
std::vector<std::pair<Point3, Point3>> AllSegmentTangents(const std::vector<K>& keys, F value) {
  std::vector<std::pair<Point3, Point3>> out;
  if (keys.size() < 2) return out;
  auto pts = TcbPoints(keys, value);
  out.reserve(keys.size() - 1);
  for (std::size_t i = 0; i + 1 < keys.size(); ++i) out.push_back(SegmentTangents(pts, i));
  return out;
}

}  // namespace

std::vector<std::pair<Point3, Point3>> TcbSegmentTangents(const std::vector<host::TCBPoint3Key>& keys) {
  return AllSegmentTangents(keys, [](const auto& k) { return k.val; });
}

std::vector<std::pair<Point3, Point3>> TcbSegmentTangents(const std::vector<host::TCBScaleKey>& keys) {
  return AllSegmentTangents(keys, [](const auto& k) { return k.val.s; });
}

}  // namespace vorlan::workbench
