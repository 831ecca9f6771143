#include "interchange/channel_change.h"

#include <algorithm>
#include <cmath>

namespace vorlan::workbench::interchange {

using host::Matrix3;
using host::Point3;
using host::Quat;

namespace {

// Transforms are products of floats: a change that is meant to be exact (the identity, a
// quarter turn) arrives a few units in the last place off and is put back.
constexpr float kSnap = 1e-5f;
// How far a transform may be from a rotation with a uniform scale and still count as one.
constexpr float kRigid = 1e-3f;

float Snapped(float v) {
  for (float exact : {0.0f, 1.0f, -1.0f})
    if (std::abs(v - exact) <= kSnap) return exact;
  return v;
}

bool IsRotation(const Matrix3& m) {
  for (int r = 0; r < 3; ++r)
    for (int c = r; c < 3; ++c) {
      const float d = host::Dot(m.GetRow(r), m.GetRow(c));
      if (std::abs(d - (r == c ? 1.0f : 0.0f)) > kRigid) return false;
    }
  return m.Parity() > 0.0f;
}

}  // namespace

std::optional<ChannelChange> ChannelChange::Between(const Matrix3& from, const Matrix3& to, float lengthScale,
                                                    const Matrix3& pre) {
  ChannelChange c;
  c.lengthScale_ = lengthScale;
  if (pre != Matrix3()) {
    if (host::Length(pre.GetTrans()) > kSnap || !IsRotation(pre)) return std::nullopt;
    c.hasPre_ = true;
    c.pre_ = host::MatrixToQuat(pre);
  }
  const Matrix3 post = host::Inverse(pre * from) * to;
  float k = 0;
  for (int r = 0; r < 3; ++r) k += host::Length(post.GetRow(r)) / 3.0f;
  if (!(k > 0.0f) || !std::isfinite(k)) return std::nullopt;
  if (std::abs(k - 1.0f) <= kSnap) k = 1.0f;
  Matrix3 turn;
  for (int r = 0; r < 3; ++r) {
    Point3 row = post.GetRow(r) / k;
    for (int i = 0; i < 3; ++i) row[i] = Snapped(row[i]);
    turn.SetRow(r, row);
  }
  if (!IsRotation(turn)) return std::nullopt;
  // A translation left over only from rounding is none.
  Point3 t = post.GetTrans();
  const float reach = std::max({1.0f, host::Length(from.GetTrans()), host::Length(to.GetTrans())});
  for (int i = 0; i < 3; ++i)
    if (std::abs(t[i]) <= kSnap * reach) t[i] = 0.0f;
  c.k_ = k;
  c.turns_ = turn != Matrix3();
  c.turn_ = host::MatrixToQuat(turn);
  for (int r = 0; r < 3; ++r) c.post_.SetRow(r, turn.GetRow(r) * k);
  c.post_.SetTrans(t);
  return c;
}

Point3 ChannelChange::Position(Point3 p) const {
  if (lengthScale_ != 1.0f) p = p * lengthScale_;
  return post_.PointTransform(p);
}

Point3 ChannelChange::Tangent(Point3 v) const {
  if (lengthScale_ != 1.0f) v = v * lengthScale_;
  return post_.VectorTransform(v);
}

Quat ChannelChange::Rotation(Quat q) const {
  if (hasPre_) q = pre_ * q;
  if (turns_) q = q * turn_;
  return q;
}

Point3 ChannelChange::Scale(Point3 s) const { return k_ == 1.0f ? s : s * k_; }

}  // namespace vorlan::workbench::interchange
