#include "shoteditor/shot_editor_window.h"

#include <algorithm>

#include "shoteditor/save_wizard.h"
#include "shoteditor/shd_io.h"

namespace vorlan::shoteditor {

namespace {

constexpr int kSceneChangeCodes[] = {
    host::kNotifySystemPreReset, host::kNotifySystemPostReset,      host::kNotifySystemPreNew,
    host::kNotifySystemPostNew,  host::kNotifyFilePreOpen,          host::kNotifyFilePostOpen,
    host::kNotifyFilePreMerge,   host::kNotifyFilePostMerge,        host::kNotifyNodeRenamed,
    host::kNotifyNodeCreated,    host::kNotifyScenePreDeletedNodes, host::kNotifySystemShutdown};

int32_t Spin(int32_t frames) { return std::clamp(frames, kMinFrame, kMaxFrame); }

bool IsBefore(int code) {
  return code == host::kNotifySystemPreReset || code == host::kNotifySystemPreNew ||
         code == host::kNotifyFilePreOpen || code == host::kNotifyFilePreMerge;
}

bool IsAfter(int code) {
  return code == host::kNotifySystemPostReset || code == host::kNotifySystemPostNew ||
         code == host::kNotifyFilePostOpen || code == host::kNotifyFilePostMerge;
}

// Depth first from the root, children in order.
void CollectCameras(host::Interface& ip, host::Node* node, std::vector<CameraItem>& out) {
  for (int i = 0; i < node->NumberOfChildren(); ++i) {
    host::Node* child = node->GetChildNode(i);
    if (IsCameraNode(ip, child)) out.push_back({child->GetName(), child});
    CollectCameras(ip, child, out);
  }
}

}  // namespace

ShotEditorWindow::ShotEditorWindow(host::Interface& ip, EditorState& state) : ip_(ip), state_(state) {
  FillItems();
  int32_t start = ip_.GetAnimRange().start / ip_.GetTicksPerFrame();
  props_.begin = props_.length = props_.end = start;
  window_ = ip_.UI().OpenModeless({.title = list_.Title()});
  for (int code : kSceneChangeCodes) ip_.RegisterNotification(&ShotEditorWindow::Notified, this, code);
  ip_.RegisterTimeChangeCallback(this);
}

ShotEditorWindow::~ShotEditorWindow() {
  if (mode_ != PlayMode::Stopped) ip_.EndAnimPlayback();
  for (int code : kSceneChangeCodes) ip_.UnRegisterNotification(&ShotEditorWindow::Notified, this, code);
  ip_.UnRegisterTimeChangeCallback(this);
  // The description edit goes with the window; the host's shortcuts must not stay off.
  ip_.EnableAccelerators();
}

bool ShotEditorWindow::Pressed(ToolButton b) const {
  switch (b) {
    case ToolButton::PlayCommand:
      return mode_ == PlayMode::Command;
    case ToolButton::PlaySegment:
      return mode_ == PlayMode::Segment;
    case ToolButton::PlayAll:
      return mode_ == PlayMode::All;
    case ToolButton::Magnet:
      return magnet_;
    default:
      return false;
  }
}

std::array<std::string, 5> ShotEditorWindow::CommandCells(const ShotCommand& c) {
  return {c.itemName, c.description, std::to_string(c.begin), std::to_string(c.end),
          std::to_string(c.length)};
}

std::array<std::string, 5> ShotEditorWindow::RangeCells(RangeRow row, const TimelineRange& r) {
  return {kRangeRowNames[row], "", std::to_string(r.begin), std::to_string(r.end), std::to_string(r.length)};
}

void ShotEditorWindow::Changed() {
  if (window_) window_->SetTitle(list_.Title());
  if (changed_) changed_();
}

void ShotEditorWindow::FillItems() {
  items_.clear();
  CollectCameras(ip_, ip_.GetRootNode(), items_);
}

// ---------------------------------------------------------------------------------------
// Lists and properties

void ShotEditorWindow::EnableAll() {
  props_.itemEnabled = props_.descriptionEnabled = props_.framesEnabled = props_.colourEnabled = true;
}

void ShotEditorWindow::LoadCommandProps() {
  const ShotCommand* c = list_.SelectedCommand();
  if (!c) return;
  props_.item = -1;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (c->camera && items_[i].node == c->camera) props_.item = static_cast<int>(i);
  props_.begin = c->begin;
  props_.length = c->length;
  props_.end = c->end;
  props_.colour = c->colour;
  // A view that echoes the edit's new text back must not write it into the command again.
  guard_ = true;
  props_.description = c->description;
  Changed();
  guard_ = false;
}

void ShotEditorWindow::LoadRangeProps() {
  const TimelineRange& r = list_.Range(editedRange_);
  props_.begin = r.begin;
  props_.length = r.length;
  props_.end = r.end;
}

void ShotEditorWindow::ClickCommand(int index) {
  list_.Select(index);
  if (!list_.SelectedCommand()) return Changed();
  editing_ = EditingKind::Command;
  EnableAll();
  LoadCommandProps();
}

void ShotEditorWindow::ClickRange(RangeRow row) {
  editing_ = EditingKind::Range;
  editedRange_ = row;
  LoadRangeProps();
  props_.item = -1;
  guard_ = true;
  props_.description.clear();
  bool segment = row == kActiveSegment;
  props_.itemEnabled = props_.descriptionEnabled = props_.colourEnabled = false;
  props_.framesEnabled = segment;
  Changed();
  guard_ = false;
}

void ShotEditorWindow::CommandListLostFocus() {
  EnableAll();
  Changed();
}

void ShotEditorWindow::Edited() {
  list_.SetDirty(true);
  list_.RecomputeGlobal();
  if (editing_ == EditingKind::Command) {
    if (const ShotCommand* c = list_.SelectedCommand()) {
      props_.begin = c->begin;
      props_.length = c->length;
      props_.end = c->end;
    }
  } else if (editing_ == EditingKind::Range) {
    LoadRangeProps();
  }
  Changed();
}

void ShotEditorWindow::ChooseItem(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  props_.item = index;
  if (editing_ == EditingKind::Command)
    if (ShotCommand* c = list_.SelectedCommand()) {
      c->camera = items_[static_cast<std::size_t>(index)].node;
      c->itemName = items_[static_cast<std::size_t>(index)].name;
    }
  Edited();
}

void ShotEditorWindow::EditDescription(const std::string& text) {
  if (guard_) return;
  props_.description = text.substr(0, kMaxDescription);
  if (editing_ == EditingKind::Command)
    if (ShotCommand* c = list_.SelectedCommand()) c->description = props_.description;
  Edited();
}

void ShotEditorWindow::ChangeColour(uint32_t colour) {
  props_.colour = colour;
  if (editing_ == EditingKind::Command)
    if (ShotCommand* c = list_.SelectedCommand()) c->colour = colour;
  Edited();
}

void ShotEditorWindow::SetBegin(int32_t frames) {
  frames = Spin(frames);
  if (editing_ == EditingKind::Command)
    list_.SetBegin(list_.Selected(), frames);
  else if (editing_ == EditingKind::Range && editedRange_ == kActiveSegment)
    list_.SetSegmentBegin(frames);
  Edited();
}

void ShotEditorWindow::SetLength(int32_t frames) {
  frames = Spin(frames);
  if (editing_ == EditingKind::Command)
    list_.SetLength(list_.Selected(), frames);
  else if (editing_ == EditingKind::Range && editedRange_ == kActiveSegment)
    list_.SetSegmentLength(frames);
  Edited();
}

void ShotEditorWindow::SetEnd(int32_t frames) {
  frames = Spin(frames);
  if (editing_ == EditingKind::Command)
    list_.SetEnd(list_.Selected(), frames);
  else if (editing_ == EditingKind::Range && editedRange_ == kActiveSegment)
    list_.SetSegmentEnd(frames);
  Edited();
}

void ShotEditorWindow::DescriptionFocus(bool focused) {
  if (focused)
    ip_.DisableAccelerators();
  else
    ip_.EnableAccelerators();
}

// ---------------------------------------------------------------------------------------
// Toolbar

void ShotEditorWindow::AddCommand() {
  int at = list_.Add(kSystemWindowColour);
  list_.SetDirty(true);
  list_.RecomputeGlobal();
  ClickCommand(at);
}

void ShotEditorWindow::DeleteCommand() {
  if (!list_.DeleteSelected()) return;
  list_.SetDirty(true);
  list_.RecomputeGlobal();
  if (list_.SelectedCommand())
    ClickCommand(list_.Selected());
  else
    Changed();
}

void ShotEditorWindow::ToggleMagnet() {
  magnet_ = !magnet_;
  Changed();
}

void ShotEditorWindow::Save() {
  RunSaveWizard(ip_, state_, list_);
  Changed();
}

void ShotEditorWindow::Load() {
  Stop();
  LoadOutcome outcome = LoadShotList(ip_, state_, list_);
  if (outcome == LoadOutcome::Loaded || outcome == LoadOutcome::Stopped) {
    if (list_.Size() > 0) return ClickCommand(0);
    editing_ = EditingKind::None;
  }
  Changed();
}

// ---------------------------------------------------------------------------------------
// Playback

void ShotEditorWindow::ShowCamera(const ShotCommand& c) {
  if (!c.camera) return;
  host::ViewExp* view = ip_.GetActiveViewport();
  if (!view) return;
  if (view->GetViewType() == host::ViewType::Camera) view->SetViewCamera(c.camera);
  ip_.ReleaseViewport(view);
}

void ShotEditorWindow::SelectForPlayback(int index) {
  list_.Select(index);
  if (const ShotCommand* c = list_.SelectedCommand()) ShowCamera(*c);
}

bool ShotEditorWindow::Play(PlayMode mode, bool pressed) {
  if (!pressed || mode == PlayMode::Stopped) {
    if (mode_ == mode || mode == PlayMode::Stopped) Stop();
    Changed();
    return false;
  }
  // One play button at a time: pressing another stops the one that plays.
  Stop();
  const auto& commands = list_.Commands();
  int32_t first = 0, last = 0;
  switch (mode) {
    case PlayMode::Command: {
      const ShotCommand* c = list_.SelectedCommand();
      if (!c) return Changed(), false;
      first = c->begin;
      last = c->end;
      ShowCamera(*c);
      break;
    }
    case PlayMode::Segment: {
      const TimelineRange& seg = list_.Range(kActiveSegment);
      if (!(seg.begin < seg.end)) return Changed(), false;
      first = seg.begin;
      last = seg.end;
      break;
    }
    case PlayMode::All:
      if (commands.empty() || !(commands.front().begin < commands.back().end)) return Changed(), false;
      first = commands.front().begin;
      last = commands.back().end;
      ShowCamera(commands.front());
      break;
    case PlayMode::Stopped:
      break;
  }
  mode_ = mode;
  firstFrame_ = first;
  lastFrame_ = last;
  ip_.SetTime(static_cast<host::TimeValue>(int64_t(first) * ip_.GetTicksPerFrame()));
  ip_.StartAnimPlayback();
  Changed();
  return true;
}

void ShotEditorWindow::Stop() {
  if (mode_ == PlayMode::Stopped) return;
  ip_.EndAnimPlayback();
  mode_ = PlayMode::Stopped;
}

void ShotEditorWindow::TimeChanged(host::TimeValue t) {
  if (mode_ == PlayMode::Stopped) return;
  const int64_t tpf = ip_.GetTicksPerFrame();
  const int64_t lastTick = lastFrame_ * tpf;
  const auto& commands = list_.Commands();
  if ((mode_ == PlayMode::Segment || mode_ == PlayMode::All) && !commands.empty()) {
    const ShotCommand* s = list_.SelectedCommand();
    if (!s || t >= lastTick || t < s->begin * tpf) SelectForPlayback(0);
    // Cuts are followed one after another until the command that holds t, so that a
    // segment starting late in the list shows its camera from its first frame.
    int i = list_.Selected();
    if (t < lastTick) {
      while (i + 1 < list_.Size() && t > commands[static_cast<std::size_t>(i)].end * tpf) ++i;
      if (i != list_.Selected()) SelectForPlayback(i);
    }
  }
  if (t >= lastTick && !looping_) {
    // The range loops: back to its first frame without a redraw, and on. A range of no
    // length lands at its end again, which must not loop once more from inside.
    looping_ = true;
    ip_.EndAnimPlayback();
    ip_.SetTime(static_cast<host::TimeValue>(firstFrame_ * tpf), false);
    ip_.StartAnimPlayback();
    looping_ = false;
  }
  Changed();
}

// ---------------------------------------------------------------------------------------
// Scene notifications and closing

void ShotEditorWindow::Notified(void* param, const host::NotifyInfo& info) {
  static_cast<ShotEditorWindow*>(param)->OnNotify(info);
}

void ShotEditorWindow::ResetForNewScene() {
  Stop();
  list_.Clear();
  items_.clear();
  state_.keptRows.clear();
  list_.SetRange(kGlobalTimeLine, {});
  list_.SetRange(kActiveSegment, {});
  props_ = Properties{};
  editing_ = EditingKind::None;
  FillItems();
  list_.SetFilePath("");
  list_.SetDirty(false);
}

void ShotEditorWindow::OnNotify(const host::NotifyInfo& info) {
  if (info.code == host::kNotifyNodeRenamed && info.rename) {
    const host::NodeNameChange& r = *info.rename;
    for (CameraItem& item : items_)
      if (item.name == r.oldName) {
        item.name = r.newName;
        break;
      }
    // Every command of that camera follows, so that a save writes the name the scene has.
    bool renamed = false;
    for (ShotCommand& c : list_.Commands())
      if (c.itemName == r.oldName) {
        c.itemName = r.newName;
        renamed = true;
      }
    if (renamed) list_.SetDirty(true);
  } else if (info.code == host::kNotifyNodeCreated && info.node) {
    if (IsCameraNode(ip_, info.node)) items_.push_back({info.node->GetName(), info.node});
  } else if (info.code == host::kNotifyScenePreDeletedNodes && info.nodes) {
    for (host::Node* node : *info.nodes) {
      auto item =
          std::find_if(items_.begin(), items_.end(), [&](const CameraItem& i) { return i.node == node; });
      if (item != items_.end()) {
        int index = static_cast<int>(item - items_.begin());
        items_.erase(item);
        if (props_.item == index)
          props_.item = -1;
        else if (props_.item > index)
          --props_.item;
      }
      // A command must not keep a camera that is gone: its row goes with it.
      for (int i = list_.Size() - 1; i >= 0; --i)
        if (list_.Commands()[static_cast<std::size_t>(i)].camera == node) {
          list_.Remove(i);
          list_.SetDirty(true);
        }
    }
    list_.RecomputeGlobal();
  } else if (IsBefore(info.code)) {
    host::Answer a =
        ip_.UI().MessageBox({.text = "The scene is being changed. New scene will be inconsistent with "
                                     "Shot-Editor's data.\nShot-Editor "
                                     "must release all data now!\nDo you want to save your work?",
                             .caption = "Shot-Editor",
                             .buttons = host::Buttons::YesNo,
                             .icon = host::Icon::Warning});
    if (a == host::Answer::Yes) RunSaveWizard(ip_, state_, list_);
  } else if (IsAfter(info.code)) {
    ResetForNewScene();
  } else if (info.code == host::kNotifySystemShutdown) {
    host::Answer a = ip_.UI().MessageBox({.text = "Max is shutting down...\nDo you want to save your work?",
                                          .caption = "Shot-Editor",
                                          .buttons = host::Buttons::YesNo});
    if (a == host::Answer::Yes) RunSaveWizard(ip_, state_, list_);
  }
  Changed();
}

bool ShotEditorWindow::Close() {
  Stop();
  if (list_.Dirty()) {
    host::Answer a = ip_.UI().MessageBox({.text = "Do you want to save your work?",
                                          .caption = "Closing Shot-Editor...",
                                          .buttons = host::Buttons::YesNoCancel,
                                          .icon = host::Icon::Question});
    if (a == host::Answer::Cancel) return false;
    // Work the user asked to keep is not thrown away when the save did not happen.
    if (a == host::Answer::Yes && !RunSaveWizard(ip_, state_, list_)) return false;
  }
  list_.Clear();
  return true;
}

}  // namespace vorlan::shoteditor
