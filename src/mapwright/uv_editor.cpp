#include "mapwright/uv_editor.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vorlan::mapwright {

namespace {

constexpr float kQuarterTurn = 1.5707964f;
constexpr float kHalfTurn = 3.1415927f;
// Corners this close (squared distance in pixels) to the first selected one are welded to it.
constexpr double kWeldDistanceSq = 3.0;

UvCorner& At(UvModel& model, int texture, CornerRef r) {
  return model.faces[std::size_t(r.face)].textures[std::size_t(texture)][std::size_t(r.corner)];
}

std::vector<std::pair<double, double>> Values(UvModel& model, int texture,
                                              const std::vector<CornerRef>& corners) {
  std::vector<std::pair<double, double>> out;
  out.reserve(corners.size());
  for (CornerRef r : corners) {
    const UvCorner& c = At(model, texture, r);
    out.emplace_back(c.u, c.v);
  }
  return out;
}

void SetValues(UvModel& model, const HistoryRecord& rec,
               const std::vector<std::pair<double, double>>& values) {
  for (std::size_t i = 0; i < rec.corners.size(); ++i) {
    UvCorner& c = At(model, rec.texture, rec.corners[i]);
    c.u = values[i].first;
    c.v = values[i].second;
  }
}

}  // namespace

Affine2 Affine2::FromHost(const host::Matrix3& m) {
  host::Point3 x = m.GetRow(0), y = m.GetRow(1), t = m.GetTrans();
  return {x.x, x.y, y.x, y.y, t.x, t.y};
}

std::vector<CornerRef> AffectedCorners(const UvModel& model, int group, int texture, bool vertexMode) {
  std::vector<CornerRef> out;
  if (group < 0 || std::size_t(group) >= model.groups.size()) return out;
  for (int f : model.groups[std::size_t(group)].faces) {
    const UvFace& face = model.faces[std::size_t(f)];
    if (texture < 0 || std::size_t(texture) >= face.textures.size()) continue;
    for (int k = 0; k < 3; ++k)
      if (!vertexMode || face.textures[std::size_t(texture)][std::size_t(k)].selected) out.push_back({f, k});
  }
  return out;
}

std::optional<Rect> SelectionRect(const UvModel& model, int group, int texture, bool vertexMode) {
  std::vector<CornerRef> corners = AffectedCorners(model, group, texture, vertexMode);
  if (corners.empty()) return std::nullopt;
  constexpr double inf = std::numeric_limits<double>::infinity();
  Rect r{inf, inf, -inf, -inf};
  for (CornerRef c : corners) {
    const UvCorner& p =
        model.faces[std::size_t(c.face)].textures[std::size_t(texture)][std::size_t(c.corner)];
    r.minX = std::min(r.minX, p.u);
    r.minY = std::min(r.minY, p.v);
    r.maxX = std::max(r.maxX, p.u);
    r.maxY = std::max(r.maxY, p.v);
  }
  return r;
}

std::vector<CornerRef> ApplyAboutCentre(UvModel& model, int group, int texture, bool vertexMode,
                                        const Affine2& m) {
  if (m.IsIdentity()) return {};
  std::optional<Rect> rect = SelectionRect(model, group, texture, vertexMode);
  if (!rect) return {};
  double qx = rect->CentreX(), qy = rect->CentreY();
  std::vector<CornerRef> corners = AffectedCorners(model, group, texture, vertexMode);
  for (CornerRef r : corners) {
    UvCorner& c = At(model, texture, r);
    double x = c.u - qx, y = c.v - qy;
    c.u = x * m.a + y * m.c + m.tx + qx;
    c.v = x * m.b + y * m.d + m.ty + qy;
  }
  return corners;
}

void History::Push(HistoryRecord record) {
  records_.resize(cursor_);
  records_.push_back(std::move(record));
  cursor_ = records_.size();
}

bool History::Undo(UvModel& model) {
  if (cursor_ == 0) return false;
  const HistoryRecord& rec = records_[--cursor_];
  SetValues(model, rec, rec.before);
  model.groups[std::size_t(rec.group)].textures[std::size_t(rec.texture)].texels = rec.texelsBefore;
  return true;
}

bool History::Redo(UvModel& model) {
  if (cursor_ == records_.size()) return false;
  const HistoryRecord& rec = records_[cursor_++];
  SetValues(model, rec, rec.after);
  model.groups[std::size_t(rec.group)].textures[std::size_t(rec.texture)].texels = rec.texelsAfter;
  return true;
}

void History::Clear() {
  records_.clear();
  cursor_ = 0;
}

std::string FormatTexels(float t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.5f", double(t));
  return buf;
}

std::optional<float> ParseNumberField(const std::string& text) {
  float v = std::strtof(text.c_str(), nullptr);
  if (v == 0.0f || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool UvEditor::Valid() const {
  return group >= 0 && std::size_t(group) < model.groups.size() && texture >= 0 &&
         std::size_t(texture) < model.groups[std::size_t(group)].textures.size();
}

UvGroup* UvEditor::CurrentGroup() {
  return group >= 0 && std::size_t(group) < model.groups.size() ? &model.groups[std::size_t(group)] : nullptr;
}

UvTexture* UvEditor::CurrentTexture() {
  return Valid() ? &model.groups[std::size_t(group)].textures[std::size_t(texture)] : nullptr;
}

void UvEditor::SelectGroup(int g) {
  if (g < 0 || std::size_t(g) >= model.groups.size()) return;
  group = g;
  texture = 0;
}

void UvEditor::SelectTexture(int t) {
  UvGroup* g = CurrentGroup();
  if (g && t >= 0 && std::size_t(t) < g->textures.size()) texture = t;
}

std::optional<Rect> UvEditor::Selection() const { return SelectionRect(model, group, texture, vertexMode); }

bool UvEditor::Record(EditKind kind, double p0, double p1, const Affine2& m, float texelsAfter) {
  if (!Valid()) return false;
  std::vector<CornerRef> corners = AffectedCorners(model, group, texture, vertexMode);
  if (corners.empty() || m.IsIdentity()) return false;
  auto before = Values(model, texture, corners);
  ApplyAboutCentre(model, group, texture, vertexMode, m);
  UvTexture& tex = *CurrentTexture();
  float texelsBefore = tex.texels;
  tex.texels = texelsAfter;

  HistoryRecord* last = history.Last();
  if (dragging_ && history.Position() > dragStart_ && last && last->kind == kind && last->group == group &&
      last->texture == texture && last->corners.size() == corners.size()) {
    last->after = Values(model, texture, corners);
    last->texelsAfter = texelsAfter;
    if (kind == EditKind::Scale) {
      last->p0 *= p0;
      last->p1 *= p1;
    } else {
      last->p0 += p0;
      if (kind == EditKind::Translate) last->p1 += p1;
    }
  } else {
    HistoryRecord rec{kind, p0,           p1,         group, texture, corners, std::move(before),
                      {},   texelsBefore, texelsAfter};
    rec.after = Values(model, texture, rec.corners);
    history.Push(std::move(rec));
  }
  if (dragging_) dragMoved_ = true;
  return true;
}

void UvEditor::RecordSet(EditKind kind, const std::vector<CornerRef>& corners,
                         const std::vector<std::pair<double, double>>& before) {
  float t = CurrentTexture()->texels;
  history.Push({kind, 0, 0, group, texture, corners, before, Values(model, texture, corners), t, t});
}

bool UvEditor::Translate(double dx, double dy) {
  return Record(EditKind::Translate, dx, dy, Affine2::Translate(dx, dy), CurrentTexels());
}

bool UvEditor::RotateZ(float radians) {
  return Record(EditKind::Rotate, radians, 2, Affine2::FromHost(host::Matrix3::RotationZ(radians)),
                CurrentTexels());
}

bool UvEditor::Rotate90Right() { return RotateZ(kQuarterTurn); }
bool UvEditor::Rotate90Left() { return RotateZ(-kQuarterTurn); }

bool UvEditor::FlipAroundY() {
  return Record(EditKind::Rotate, kHalfTurn, 1, Affine2::FromHost(host::Matrix3::RotationY(kHalfTurn)),
                CurrentTexels());
}

bool UvEditor::FlipAroundX() {
  return Record(EditKind::Rotate, kHalfTurn, 0, Affine2::FromHost(host::Matrix3::RotationX(kHalfTurn)),
                CurrentTexels());
}

bool UvEditor::ScaleBy(double sx, double sy) {
  return Record(EditKind::Scale, sx, sy, Affine2::Scale(sx, sy), CurrentTexels());
}

bool UvEditor::MoveToOrigin() {
  std::optional<Rect> r = Selection();
  return r && Translate(-r->minX, -r->minY);
}

float UvEditor::CurrentTexels() {
  UvTexture* t = CurrentTexture();
  return t ? t->texels : 1.0f;
}

bool UvEditor::ApplyTexels(float t) {
  if (!Valid() || t == 0.0f || !std::isfinite(t)) return false;
  double f = double(t) / CurrentTexels();
  if (f == 1.0) {
    CurrentTexture()->texels = t;
    return false;
  }
  return Record(EditKind::Scale, f, f, Affine2::Scale(f, f), t);
}

bool UvEditor::ScaleToTexels(float t, bool scaleU, bool scaleV) {
  // Scaling to (almost) nothing would fold every corner onto the centre, and the next step
  // would divide by it.
  constexpr float kSmallest = 1e-6f;
  if (!Valid() || !std::isfinite(t) || std::fabs(t) < kSmallest) return false;
  double f = double(t) / CurrentTexels();
  double sx = scaleU ? f : 1.0, sy = scaleV ? f : 1.0;
  if (sx == 1.0 && sy == 1.0) {
    CurrentTexture()->texels = t;
    return false;
  }
  return Record(EditKind::Scale, sx, sy, Affine2::Scale(sx, sy), t);
}

std::optional<Message> UvEditor::SetTexelsText(const std::string& text) {
  std::optional<float> t = ParseNumberField(text);
  if (!t) return Message{"Wrong number format"};
  ApplyTexels(*t);
  return std::nullopt;
}

std::optional<float> UvEditor::TexelsFromSelection() {
  std::optional<Rect> r = Selection();
  UvTexture* tex = CurrentTexture();
  if (!r || !tex) return std::nullopt;
  // A selection without width (or height) says nothing about that direction.
  double ratio = 0;
  if (r->Width() > 0) ratio = tex->width / r->Width();
  if (r->Height() > 0) ratio = std::max(ratio, tex->height / r->Height());
  if (ratio <= 0 || !std::isfinite(ratio)) return std::nullopt;
  float t = float(ratio * tex->texels);
  if (!std::isfinite(t) || t == 0.0f) return std::nullopt;
  ApplyTexels(t);
  return t;
}

bool UvEditor::Merge() {
  if (!Valid()) return false;
  std::vector<CornerRef> selected = AffectedCorners(model, group, texture, true);
  if (selected.empty()) return false;
  auto before = Values(model, texture, selected);
  UvCorner p = At(model, texture, selected.front());
  for (CornerRef r : selected) {
    At(model, texture, r).u = p.u;
    At(model, texture, r).v = p.v;
  }
  RecordSet(EditKind::Merge, selected, before);
  return true;
}

bool UvEditor::WeldOnTarget() {
  if (!Valid()) return false;
  std::vector<CornerRef> selected = AffectedCorners(model, group, texture, true);
  if (selected.empty()) return false;
  UvCorner p = At(model, texture, selected.front());
  std::vector<CornerRef> all = AffectedCorners(model, group, texture, false);
  const UvCorner* best = nullptr;
  double bestSq = 0;
  for (CornerRef r : all) {
    const UvCorner& c = At(model, texture, r);
    if (c.u == p.u || c.v == p.v) continue;
    double sq = (c.u - p.u) * (c.u - p.u) + (c.v - p.v) * (c.v - p.v);
    if (!best || sq < bestSq) best = &c, bestSq = sq;
  }
  if (!best || bestSq > kWeldDistanceSq) return false;
  double tu = best->u, tv = best->v;
  std::vector<CornerRef> targets;
  for (CornerRef r : all)
    if (At(model, texture, r).u == tu && At(model, texture, r).v == tv) targets.push_back(r);
  auto before = Values(model, texture, targets);
  for (CornerRef r : targets) {
    At(model, texture, r).u = p.u;
    At(model, texture, r).v = p.v;
  }
  RecordSet(EditKind::Weld, targets, before);
  return true;
}

void UvEditor::BeginDrag() {
  dragging_ = true;
  dragMoved_ = false;
  dragStart_ = history.Position();
}

void UvEditor::EndDrag() {
  bool weld = dragging_ && dragMoved_ && vertexMode && weldOnTarget;
  dragging_ = false;
  if (weld) WeldOnTarget();
}

}  // namespace vorlan::mapwright
