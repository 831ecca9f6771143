// Editing the texture coordinates of one group and texture at a time: transforms about the
// selection's centre, merging and welding corners, the texels rule and the history.
//
// Every change is recorded with the coordinates it replaced and the ones it made, so undo and
// redo return to exactly the coordinates before and after, however many steps are taken.
// (Applying the inverse transform instead would drift by rounding at every step.)
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/math3d.h"
#include "mapwright/uv_model.h"

namespace vorlan::mapwright {

// A row-vector affine map of texture space: (x, y) -> (x*a + y*c + tx, x*b + y*d + ty).
struct Affine2 {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static Affine2 Translate(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
  static Affine2 Scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  // The x/y part of a host matrix, with the host's own float entries.
  static Affine2 FromHost(const host::Matrix3& m);
  bool IsIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }
};

struct Rect {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  double Width() const { return maxX - minX; }
  double Height() const { return maxY - minY; }
  double CentreX() const { return minX + (maxX - minX) / 2; }
  double CentreY() const { return minY + (maxY - minY) / 2; }
};

struct CornerRef {
  int face = 0;  // index into UvModel::faces
  int corner = 0;
};

// The corners an operation acts on: the selected corners of the group's faces in vertex
// mode, otherwise all of them; faces in list order, corners 0, 1, 2.
std::vector<CornerRef> AffectedCorners(const UvModel& model, int group, int texture, bool vertexMode);
// The smallest rectangle around the affected corners; nothing when there are none.
std::optional<Rect> SelectionRect(const UvModel& model, int group, int texture, bool vertexMode);
// Applies `m` about the centre of the selection rectangle to the affected corners. Returns
// the corners it moved (none for the identity, which leaves every bit as it was).
std::vector<CornerRef> ApplyAboutCentre(UvModel& model, int group, int texture, bool vertexMode,
                                        const Affine2& m);

enum class EditKind { Translate, Rotate, Scale, Merge, Weld };

struct HistoryRecord {
  EditKind kind = EditKind::Translate;
  // Translate: dx, dy; rotate: angle, axis (0 X, 1 Y, 2 Z); scale: sx, sy.
  double p0 = 0, p1 = 0;
  int group = 0, texture = 0;
  std::vector<CornerRef> corners;
  std::vector<std::pair<double, double>> before, after;
  float texelsBefore = 1, texelsAfter = 1;
};

class History {
 public:
  // Drops the records after the current one (they can no longer be redone) and appends.
  void Push(HistoryRecord record);
  // Steps back, restoring the coordinates before the current record; false at the start.
  bool Undo(UvModel& model);
  // Steps forward, restoring the coordinates after the next record; false at the end.
  bool Redo(UvModel& model);
  void Clear();
  // The record the last step made, to extend while a mouse drag goes on.
  HistoryRecord* Last() { return cursor_ > 0 ? &records_[cursor_ - 1] : nullptr; }
  std::size_t Size() const { return records_.size(); }
  std::size_t Position() const { return cursor_; }

 private:
  std::vector<HistoryRecord> records_;
  std::size_t cursor_ = 0;
};

// "%.5f" of a value, as the texels field shows it.
std::string FormatTexels(float t);
// The value of a text as the number fields read it; nothing when it reads as 0 (not a number
// at all) or is not finite.
std::optional<float> ParseNumberField(const std::string& text);

class UvEditor {
 public:
  UvModel model;
  int group = 0, texture = 0;
  bool vertexMode = false;
  bool weldOnTarget = false;
  History history;

  bool Valid() const;  // a current group and texture exist
  UvGroup* CurrentGroup();
  UvTexture* CurrentTexture();
  // Chooses the group (and its first texture) or the texture within the group.
  void SelectGroup(int g);
  void SelectTexture(int t);
  std::optional<Rect> Selection() const;

  // Transforms of the selection about its centre, recorded in the history. Each returns
  // whether any corner moved.
  bool Translate(double dx, double dy);
  bool RotateZ(float radians);
  bool Rotate90Right();
  bool Rotate90Left();
  bool FlipAroundY();  // mirrors horizontally
  bool FlipAroundX();  // mirrors vertically
  bool ScaleBy(double sx, double sy);
  // Moves the selection so that its rectangle starts at (0, 0).
  bool MoveToOrigin();

  // The texels field: scales the selection by t / (current texels) and keeps t. A text that
  // reads as 0 (or is not a finite number) gives "Wrong number format" and changes nothing.
  std::optional<Message> SetTexelsText(const std::string& text);
  bool ApplyTexels(float t);
  // A scale drag: the texels value becomes t and the selection is scaled by t / (current
  // texels) in u, v or both. Values too close to 0 to divide by are refused.
  bool ScaleToTexels(float t, bool scaleU, bool scaleV);
  // The texels value that makes the selection fill the texture (numeric-pad 1), applied;
  // nothing when the selection has no size.
  std::optional<float> TexelsFromSelection();
  float CurrentTexels();

  // Moves every selected corner of the group onto the first selected one.
  bool Merge();
  // Moves the corners at the nearest other position (within sqrt(3) pixels, differing in
  // both u and v) onto the first selected corner.
  bool WeldOnTarget();

  bool Undo() { return history.Undo(model); }
  bool Redo() { return history.Redo(model); }

  // Mouse drags: the steps between BeginDrag and EndDrag become one history record per kind;
  // EndDrag welds when vertex mode and weld-on-target are on and a corner moved.
  void BeginDrag();
  void EndDrag();

  // Picks the corners of the current texture whose position satisfies `near`; without `add`
  // the others are deselected. Returns how many were picked.
  template <class Near>
  int Pick(Near near, bool add);

 private:
  // Applies and records; extends the running drag's record of the same kind.
  bool Record(EditKind kind, double p0, double p1, const Affine2& m, float texelsAfter);
  void RecordSet(EditKind kind, const std::vector<CornerRef>& corners,
                 const std::vector<std::pair<double, double>>& before);
  bool dragging_ = false;
  bool dragMoved_ = false;
  std::size_t dragStart_ = 0;  // history position when the drag began
};

template <class Near>
int UvEditor::Pick(Near near, bool add) {
  int picked = 0;
  if (!Valid()) return 0;
  for (int f : CurrentGroup()->faces)
    for (UvCorner& c : model.faces[std::size_t(f)].textures[std::size_t(texture)]) {
      bool hit = near(c.u, c.v);
      if (hit) ++picked;
      c.selected = hit || (add && c.selected);
    }
  return picked;
}

}  // namespace vorlan::mapwright
