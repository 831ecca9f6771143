#include "shoteditor/shot_list.h"

namespace vorlan::shoteditor {

namespace {

// Frame arithmetic of the spinners stays within 32 bits whatever a file held.
int32_t Clamp(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}
int32_t Diff(int32_t a, int32_t b) { return Clamp(int64_t(a) - b); }
int32_t Sum(int32_t a, int32_t b) { return Clamp(int64_t(a) + b); }

bool Valid(const std::vector<ShotCommand>& c, int i) { return i >= 0 && i < static_cast<int>(c.size()); }

}  // namespace

void ShotList::Select(int index) { selected_ = Valid(commands_, index) ? index : -1; }

ShotCommand* ShotList::SelectedCommand() {
  return Valid(commands_, selected_) ? &commands_[static_cast<std::size_t>(selected_)] : nullptr;
}

int ShotList::Add(uint32_t colour) {
  int at = selected_ < 0 ? 0 : selected_ + 1;
  ShotCommand c;
  c.colour = colour;
  if (at > 0) c.begin = c.end = commands_[static_cast<std::size_t>(at - 1)].end;
  commands_.insert(commands_.begin() + at, std::move(c));
  selected_ = at;
  return at;
}

bool ShotList::DeleteSelected() {
  if (!Valid(commands_, selected_)) return false;
  commands_.erase(commands_.begin() + selected_);
  if (selected_ >= Size()) selected_ = Size() - 1;
  return true;
}

void ShotList::Remove(int index) {
  if (!Valid(commands_, index)) return;
  commands_.erase(commands_.begin() + index);
  if (selected_ == index)
    selected_ = -1;
  else if (selected_ > index)
    --selected_;
}

void ShotList::Clear() {
  commands_.clear();
  selected_ = -1;
}

void ShotList::SetBegin(int i, int32_t begin) {
  if (!Valid(commands_, i)) return;
  ShotCommand& c = commands_[static_cast<std::size_t>(i)];
  c.begin = begin;
  c.length = Diff(c.end, c.begin);
  if (i > 0) {
    ShotCommand& prev = commands_[static_cast<std::size_t>(i - 1)];
    prev.end = begin;
    prev.length = Diff(prev.end, prev.begin);
  }
}

void ShotList::SetLength(int i, int32_t length) {
  if (!Valid(commands_, i)) return;
  ShotCommand& c = commands_[static_cast<std::size_t>(i)];
  c.length = length;
  c.end = Sum(c.begin, length);
  SetEnd(i, c.end);
}

void ShotList::SetEnd(int i, int32_t end) {
  if (!Valid(commands_, i)) return;
  ShotCommand& c = commands_[static_cast<std::size_t>(i)];
  c.end = end;
  c.length = Diff(c.end, c.begin);
  if (Valid(commands_, i + 1)) {
    ShotCommand& next = commands_[static_cast<std::size_t>(i + 1)];
    next.begin = end;
    next.length = Diff(next.end, next.begin);
  }
}

void ShotList::SetSegmentBegin(int32_t begin) {
  TimelineRange& r = ranges_[kActiveSegment];
  r.begin = begin;
  r.length = Diff(r.end, r.begin);
}

void ShotList::SetSegmentLength(int32_t length) {
  TimelineRange& r = ranges_[kActiveSegment];
  r.length = length;
  r.end = Sum(r.begin, length);
}

void ShotList::SetSegmentEnd(int32_t end) {
  TimelineRange& r = ranges_[kActiveSegment];
  r.end = end;
  r.length = Diff(r.end, r.begin);
}

std::string ShotList::Title() const {
  std::string title = kWindowTitle;
  if (!filePath_.empty()) title += " - [" + filePath_ + "]";
  if (dirty_) title += " *";
  return title;
}

void ShotList::RecomputeGlobal() {
  if (commands_.empty()) return;
  TimelineRange& g = ranges_[kGlobalTimeLine];
  g.begin = commands_.front().begin;
  g.end = commands_.back().end;
  g.length = Diff(g.end, g.begin);
}

}  // namespace vorlan::shoteditor
