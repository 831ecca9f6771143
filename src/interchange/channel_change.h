// How keys of a node's local transform move between an interchange file and the host.
//
// Both sides animate a node's position, rotation and scale relative to its parent, but the
// host's local transform of a node is not always the file's: a top-level node carries the
// change of up axis, lengths are scaled, and a camera or light may sit turned in its node.
// For every node these differences are fixed, so the host's local transform at any time is
//
//     host(t) = pre · file(t) · post
//
// with `pre` a rotation and `post` a rotation with a uniform scale and a translation, and
// each key can be carried over on its own. Where `post` is the identity (a node under its
// own parent) keys are copied bit for bit; where it turns the axes by quarter turns (the up
// axis change) positions and scales still are, as only signs and components change places.
#pragma once

#include <optional>

#include "host/control.h"
#include "host/math3d.h"

namespace vorlan::workbench::interchange {

class ChannelChange {
 public:
  // The change that turns `from` into `to` (both local transforms at rest; `from` with its
  // lengths already multiplied by `lengthScale`), with `pre` in front. Nullopt when `to`
  // is not of that form.
  static std::optional<ChannelChange> Between(const host::Matrix3& from, const host::Matrix3& to,
                                              float lengthScale, const host::Matrix3& pre = host::Matrix3());

  host::Point3 Position(host::Point3 p) const;
  // A position tangent (units per time): turned and scaled, not moved.
  host::Point3 Tangent(host::Point3 v) const;
  host::Quat Rotation(host::Quat q) const;
  // Scale factors; only uniform factors can be carried past a turned `pre`.
  host::Point3 Scale(host::Point3 s) const;
  // Whether non-uniform scale keys keep their meaning.
  bool CarriesNonUniformScale() const { return !hasPre_; }

 private:
  float lengthScale_ = 1;
  bool hasPre_ = false, turns_ = false;
  host::Quat pre_, turn_;
  float k_ = 1;         // uniform scale of `post`
  host::Matrix3 post_;  // the whole `post`
};

}  // namespace vorlan::workbench::interchange
