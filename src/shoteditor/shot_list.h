// The shot list: the commands in list order, the selected one, the two range rows and the
// rules that keep consecutive commands joined end to begin while they are edited.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shoteditor/editor_state.h"
#include "shoteditor/shot_types.h"

namespace vorlan::shoteditor {

enum RangeRow : int { kGlobalTimeLine = 0, kActiveSegment = 1 };

inline constexpr const char* kRangeRowNames[2] = {"Global TimeLine", "Active Segment"};

class ShotList {
 public:
  const std::vector<ShotCommand>& Commands() const { return commands_; }
  std::vector<ShotCommand>& Commands() { return commands_; }
  int Size() const { return static_cast<int>(commands_.size()); }
  // The selected command's index, -1 when none.
  int Selected() const { return selected_; }
  // Out-of-range indexes select nothing.
  void Select(int index);
  ShotCommand* SelectedCommand();

  const TimelineRange& Range(RangeRow row) const { return ranges_[row]; }
  void SetRange(RangeRow row, TimelineRange r) { ranges_[row] = r; }

  // A new command after the selected one (at the top when none is selected), starting and
  // ending where the command above it ends (0 at the top); it becomes the selected one.
  int Add(uint32_t colour);
  // Removes the selected command; the selection moves to the command now at its index, or
  // the one before when it was the last. False when nothing is selected.
  bool DeleteSelected();
  // Removes the command at an index, keeping the selection on the same command.
  void Remove(int index);
  void Clear();

  // Frame edits of a command. Begin pulls the previous command's end along; Length and End
  // push the next command's begin.
  void SetBegin(int index, int32_t begin);
  void SetLength(int index, int32_t length);
  void SetEnd(int index, int32_t end);
  // The same on the Active Segment (no neighbours).
  void SetSegmentBegin(int32_t begin);
  void SetSegmentLength(int32_t length);
  void SetSegmentEnd(int32_t end);

  // Unsaved changes, and the file of the last save or load, which the title names.
  bool Dirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  const std::string& FilePath() const { return filePath_; }
  void SetFilePath(std::string path) { filePath_ = std::move(path); }
  // "Shot-Editor v1.1", or "Shot-Editor v1.1 - [path]" after a save or load, with " *"
  // while there are unsaved changes.
  std::string Title() const;

  // The Global TimeLine spans from the first command's begin to the last one's end; with
  // no commands it keeps its values.
  void RecomputeGlobal();

 private:
  std::vector<ShotCommand> commands_;
  int selected_ = -1;
  TimelineRange ranges_[2];
  bool dirty_ = false;
  std::string filePath_;
};

}  // namespace vorlan::shoteditor
