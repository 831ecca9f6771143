// The workbench's time, playback, viewport, selection, undo, notification and command-panel
// services, and its scene operations that send notifications.
#include <algorithm>

#include "workbench/workbench.h"

namespace vorlan::workbench {

using host::TimeValue;

host::ViewType Workbench::ActiveView::GetViewType() const {
  if (wb_.viewType_) return *wb_.viewType_;
  return GetViewCamera() ? host::ViewType::Camera : host::ViewType::Perspective;
}

host::Node* Workbench::ActiveView::GetViewCamera() const {
  if (wb_.viewType_ && *wb_.viewType_ != host::ViewType::Camera) return nullptr;
  const std::string& name = wb_.scene_.activeViewCamera;
  return name.empty() ? nullptr : wb_.scene_.FindNode(name);
}

void Workbench::ActiveView::SetViewCamera(host::Node* camera) {
  if (!camera) return;
  wb_.scene_.activeViewCamera = camera->GetName();
  wb_.viewType_ = host::ViewType::Camera;
}

Workbench::~Workbench() { utilities_.Close(); }

// ---------------------------------------------------------------------------------------
// Time and playback

host::Interval Workbench::GetAnimRange() const { return {scene_.animStart, scene_.animEnd}; }

void Workbench::SetAnimRange(host::Interval range) {
  // The host keeps a range of at least one frame's length in the right order.
  if (range.end < range.start) std::swap(range.start, range.end);
  scene_.animStart = range.start;
  scene_.animEnd = range.end;
}

int Workbench::GetTicksPerFrame() const { return scene_.ticksPerFrame > 0 ? scene_.ticksPerFrame : 160; }

// The ticks per frame may be set alone (an importer restores what a file stored); the frame
// rate sets both.
void Workbench::SetTicksPerFrame(int ticks) {
  if (ticks > 0 && ticks <= host::kTicksPerSecond) scene_.ticksPerFrame = ticks;
}

int Workbench::GetFrameRate() const { return scene_.frameRate > 0 ? scene_.frameRate : 30; }

void Workbench::SetFrameRate(int framesPerSecond) {
  if (framesPerSecond <= 0 || framesPerSecond > host::kTicksPerSecond) return;
  scene_.frameRate = framesPerSecond;
  scene_.ticksPerFrame = host::kTicksPerSecond / framesPerSecond;
}

TimeValue Workbench::GetTime() const { return scene_.currentTime; }

void Workbench::SetTime(TimeValue t, bool /*redraw*/) {
  scene_.currentTime = t;
  // A callback may register or remove callbacks (a window that closes while it hears the
  // time): go over a copy and skip the ones that left meanwhile.
  auto callbacks = timeCallbacks_;
  for (host::TimeChangeCallback* cb : callbacks)
    if (std::find(timeCallbacks_.begin(), timeCallbacks_.end(), cb) != timeCallbacks_.end())
      cb->TimeChanged(t);
}

void Workbench::StartAnimPlayback() { playing_ = true; }
void Workbench::EndAnimPlayback() { playing_ = false; }

bool Workbench::StepPlayback() {
  if (!playing_) return false;
  int64_t next = int64_t(scene_.currentTime) + GetTicksPerFrame();
  if (next > scene_.animEnd || next < scene_.animStart) next = scene_.animStart;
  SetTime(static_cast<TimeValue>(next));
  return true;
}

void Workbench::RegisterTimeChangeCallback(host::TimeChangeCallback* callback) {
  if (callback && std::find(timeCallbacks_.begin(), timeCallbacks_.end(), callback) == timeCallbacks_.end())
    timeCallbacks_.push_back(callback);
}

void Workbench::UnRegisterTimeChangeCallback(host::TimeChangeCallback* callback) {
  std::erase(timeCallbacks_, callback);
}

// ---------------------------------------------------------------------------------------
// Notifications

bool Workbench::RegisterNotification(host::NotifyProc proc, void* param, int code) {
  if (!proc) return false;
  for (const Registration& r : notifications_)
    if (r.proc == proc && r.param == param && r.code == code) return true;
  notifications_.push_back({proc, param, code});
  return true;
}

bool Workbench::UnRegisterNotification(host::NotifyProc proc, void* param, int code) {
  auto n = std::erase_if(notifications_, [&](const Registration& r) {
    return r.proc == proc && r.param == param && r.code == code;
  });
  return n > 0;
}

void Workbench::Notify(const host::NotifyInfo& info) {
  auto registrations = notifications_;
  for (const Registration& r : registrations) {
    if (r.code != info.code) continue;
    bool still = std::any_of(notifications_.begin(), notifications_.end(), [&](const Registration& x) {
      return x.proc == r.proc && x.param == r.param && x.code == r.code;
    });
    if (still) r.proc(r.param, info);
  }
}

// ---------------------------------------------------------------------------------------
// Viewport

void Workbench::SetViewType(host::ViewType type) { viewType_ = type; }

host::ViewExp* Workbench::GetActiveViewport() { return &activeView_; }

void Workbench::ReleaseViewport(host::ViewExp*) {}

// ---------------------------------------------------------------------------------------
// Selection and undo

int Workbench::GetSelNodeCount() {
  int n = 0;
  for (const SceneNode* node : scene_.AllNodes()) n += node->Selected() ? 1 : 0;
  return n;
}

host::Node* Workbench::GetSelNode(int i) {
  for (SceneNode* node : scene_.AllNodes())
    if (node->Selected() && i-- == 0) return node;
  return nullptr;
}

void Workbench::SetSelected(SceneNode& node, bool selected) {
  if (node.Selected() == selected) return;
  if (hold_) hold_->selection.emplace_back(&node, node.Selected());
  node.SetSelected(selected);
}

void Workbench::ClearSelection() {
  for (SceneNode* node : scene_.AllNodes()) SetSelected(*node, false);
}

void Workbench::SelectNode(host::Node* node, bool clearSelection) {
  if (clearSelection) ClearSelection();
  // Only nodes of this scene can be selected; the root cannot.
  for (SceneNode* n : scene_.AllNodes())
    if (n == node) SetSelected(*n, true);
}

void Workbench::HoldBegin() {
  if (!hold_) hold_.emplace();
}

void Workbench::HoldAccept(const std::string& name) {
  if (!hold_) return;
  hold_->name = name;
  undo_.push_back(std::move(*hold_));
  hold_.reset();
}

void Workbench::HoldCancel() { hold_.reset(); }

bool Workbench::Undo() {
  if (undo_.empty()) return false;
  UndoStep step = std::move(undo_.back());
  undo_.pop_back();
  for (auto it = step.selection.rbegin(); it != step.selection.rend(); ++it)
    it->first->SetSelected(it->second);
  return true;
}

std::vector<std::string> Workbench::UndoNames() const {
  std::vector<std::string> names;
  for (const UndoStep& s : undo_) names.push_back(s.name);
  return names;
}

// ---------------------------------------------------------------------------------------
// Command panel

host::RollupPage* Workbench::AddRollupPage(const host::DialogModel& page, host::RollupHandler& handler) {
  return utilities_.AddPage(page, handler);
}

void Workbench::DeleteRollupPage(host::RollupPage* page) { utilities_.DeletePage(page); }

void Workbench::CloseUtility() { utilities_.RequestClose(); }

// ---------------------------------------------------------------------------------------
// Scene operations

SceneNode& Workbench::CreateNode(std::string name, SceneNode* parent, std::shared_ptr<SceneObject> object) {
  SceneNode& node = scene_.CreateNode(std::move(name), parent);
  if (object) node.SetObject(std::move(object));
  Notify({.code = host::kNotifyNodeCreated, .node = &node});
  return node;
}

void Workbench::RenameNode(SceneNode& node, std::string name) {
  host::NodeNameChange change{node.GetName(), name};
  node.SetName(std::move(name));
  if (scene_.activeViewCamera == change.oldName) scene_.activeViewCamera = change.newName;
  Notify({.code = host::kNotifyNodeRenamed, .rename = &change});
}

void Workbench::DeleteNodes(const std::vector<SceneNode*>& nodes) {
  // Every node that goes, subtrees included, each once; a node inside another's subtree is
  // deleted with it.
  std::vector<host::Node*> doomed;
  std::vector<SceneNode*> tops;
  for (SceneNode* n : nodes) {
    if (!n || n->IsRootNode()) continue;
    std::vector<SceneNode*> subtree{n};
    for (std::size_t i = 0; i < subtree.size(); ++i)
      for (SceneNode* c : subtree[i]->Children()) subtree.push_back(c);
    if (std::find(doomed.begin(), doomed.end(), n) != doomed.end()) continue;
    tops.push_back(n);
    for (SceneNode* s : subtree)
      if (std::find(doomed.begin(), doomed.end(), s) == doomed.end()) doomed.push_back(s);
  }
  if (doomed.empty()) return;
  Notify({.code = host::kNotifyScenePreDeletedNodes, .nodes = &doomed});
  // Undo steps must not point at deleted nodes.
  auto gone = [&](const std::pair<SceneNode*, bool>& e) {
    return std::find(doomed.begin(), doomed.end(), e.first) != doomed.end();
  };
  for (UndoStep& s : undo_) std::erase_if(s.selection, gone);
  if (hold_) std::erase_if(hold_->selection, gone);
  for (SceneNode* top : tops) {
    // A node met first as a child of a later top has already gone with it.
    bool inOtherTop = false;
    for (SceneNode* p = top->Parent(); p; p = p->Parent())
      if (std::find(tops.begin(), tops.end(), p) != tops.end()) inOtherTop = true;
    if (!inOtherTop) scene_.DeleteNode(*top);
  }
}

void Workbench::ResetScene() {
  Notify({.code = host::kNotifySystemPreReset});
  undo_.clear();
  hold_.reset();
  viewType_.reset();
  scene_.Clear();
  Notify({.code = host::kNotifySystemPostReset});
}

void Workbench::NewScene() {
  Notify({.code = host::kNotifySystemPreNew});
  undo_.clear();
  hold_.reset();
  viewType_.reset();
  scene_.Clear();
  Notify({.code = host::kNotifySystemPostNew});
}

DocumentResult Workbench::OpenScene(const std::string& path) {
  Notify({.code = host::kNotifyFilePreOpen});
  // Checked on a scratch scene first, so that a bad document leaves the scene as it was.
  DocumentResult result;
  {
    Scene scratch;
    result = LoadSceneDocument(path, scratch);
  }
  if (result) {
    undo_.clear();
    hold_.reset();
    viewType_.reset();
    scene_.Clear();
    result = LoadSceneDocument(path, scene_);
  }
  Notify({.code = host::kNotifyFilePostOpen});
  return result;
}

bool Workbench::MergeScene(const std::function<bool(Scene&)>& merge) {
  Notify({.code = host::kNotifyFilePreMerge});
  bool ok = merge ? merge(scene_) : false;
  Notify({.code = host::kNotifyFilePostMerge});
  return ok;
}

void Workbench::Shutdown() {
  Notify({.code = host::kNotifySystemShutdown});
  utilities_.Close();
}

}  // namespace vorlan::workbench
