// The ShotEditor's window as a model: the command list and range list, the property
// controls, the toolbar, playback with camera cuts, and the scene notifications that keep
// the list in step with the scene. It knows nothing of how it is drawn: a view reads its
// state, calls one method per user action and redraws when told that something changed.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/interface.h"
#include "shoteditor/editor_state.h"
#include "shoteditor/shot_list.h"

namespace vorlan::shoteditor {

enum class PlayMode { Stopped = 0, Command = 1, Segment = 2, All = 3 };
enum class EditingKind { None = 0, Range = 1, Command = 2 };
enum class ToolButton { Add, Delete, PlayCommand, PlaySegment, PlayAll, Magnet, Load, Save };

// Tool tips of the toolbar's buttons, in ToolButton order.
inline constexpr const char* kToolTips[] = {
    "Add new command",          "Delete selected command", "Play/Stop current command",
    "Play/Stop active segment", "Play/Stop all",           "Magnet",
    "Load .shd file",           "Save .shd file"};

inline constexpr uint32_t kDefaultSwatchColour = 0x5050C0;
inline constexpr uint32_t kSystemWindowColour = 0xFFFFFF;
inline constexpr int32_t kMinFrame = -10000;
inline constexpr int32_t kMaxFrame = 10000;

struct CameraItem {
  std::string name;
  host::Node* node = nullptr;
};

// The frame " Properties ": values and which controls are enabled.
struct Properties {
  int item = -1;  // index into the "Item" list, -1 for none
  std::string description;
  int32_t begin = 0, length = 0, end = 0;
  uint32_t colour = kDefaultSwatchColour;
  bool itemEnabled = true, descriptionEnabled = true, framesEnabled = true, colourEnabled = true;
};

class ShotEditorWindow final : public host::TimeChangeCallback {
 public:
  // Opens the window: fills the "Item" list, registers for the scene's notifications and
  // the time. The state (kept rows, last files) belongs to the utility and outlives it.
  ShotEditorWindow(host::Interface& ip, EditorState& state);
  ShotEditorWindow(const ShotEditorWindow&) = delete;
  ShotEditorWindow& operator=(const ShotEditorWindow&) = delete;
  // Removes every registration; asks nothing (Close() asks).
  ~ShotEditorWindow();

  // What a view draws.
  const ShotList& List() const { return list_; }
  std::string Title() const { return list_.Title(); }
  const std::vector<CameraItem>& Items() const { return items_; }
  const Properties& Props() const { return props_; }
  EditingKind Editing() const { return editing_; }
  RangeRow EditedRange() const { return editedRange_; }
  PlayMode Mode() const { return mode_; }
  bool Pressed(ToolButton b) const;
  // Cells of a command row before its timeline bar: item name, description, begin, end,
  // length.
  static std::array<std::string, 5> CommandCells(const ShotCommand& c);
  static std::array<std::string, 5> RangeCells(RangeRow row, const TimelineRange& r);
  // Called after every change, so that a view redraws.
  void SetChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  // Toolbar.
  void AddCommand();
  void DeleteCommand();
  // Presses (true) or releases a play button; returns whether it stays pressed.
  bool Play(PlayMode mode, bool pressed);
  void ToggleMagnet();
  void Save();  // the Save Wizard
  void Load();

  // The lists.
  void ClickCommand(int index);
  void ClickRange(RangeRow row);
  void CommandListLostFocus();

  // The properties.
  void ChooseItem(int index);
  void EditDescription(const std::string& text);
  void ChangeColour(uint32_t colour);
  void SetBegin(int32_t frames);
  void SetLength(int32_t frames);
  void SetEnd(int32_t frames);
  // The description edit took or lost the keyboard.
  void DescriptionFocus(bool focused);

  // Stops playback and asks about unsaved work. False when the window stays open.
  bool Close();

  // Host callbacks.
  void TimeChanged(host::TimeValue t) override;
  void OnNotify(const host::NotifyInfo& info);

  // Direct access for the utility's commands that run without a person (the command line).
  ShotList& MutableList() { return list_; }
  EditorState& State() { return state_; }

 private:
  static void Notified(void* param, const host::NotifyInfo& info);
  void FillItems();
  void LoadCommandProps();
  void LoadRangeProps();
  void EnableAll();
  void Edited();
  void Changed();
  void Stop();
  void ShowCamera(const ShotCommand& c);
  void SelectForPlayback(int index);
  void ReleasePlayButtons();
  void ResetForNewScene();

  host::Interface& ip_;
  EditorState& state_;
  ShotList list_;
  std::vector<CameraItem> items_;
  Properties props_;
  EditingKind editing_ = EditingKind::None;
  RangeRow editedRange_ = kGlobalTimeLine;
  bool guard_ = false;  // set while the window itself writes the description
  bool magnet_ = false;
  PlayMode mode_ = PlayMode::Stopped;
  int32_t firstFrame_ = 0, lastFrame_ = 0;
  bool looping_ = false;
  std::unique_ptr<host::ModelessWindow> window_;
  std::function<void()> changed_;
};

}  // namespace vorlan::shoteditor
