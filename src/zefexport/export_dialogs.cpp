#include "zefexport/export_dialogs.h"

#include <chrono>
#include <condition_variable>

namespace vorlan::zefexport {

using host::ControlKind;
using host::DialogControl;

host::DialogModel MakeConfigDialog(const std::string& userText, const ExportOptions& o) {
  host::DialogModel d;
  d.title = "ZEF Exporter Config";
  d.controls = {
      {.id = 0, .kind = ControlKind::Group, .label = " User info"},
      {.id = 0, .kind = ControlKind::Static, .label = "Name:"},
      {.id = IDC_USER_NAME,
       .kind = ControlKind::Edit,
       .text = userText.substr(0, 63),
       .maxLength = 63,
       .readOnly = true},
      {.id = 0, .kind = ControlKind::Static, .label = "Comment:"},
      {.id = IDC_COMMENT, .kind = ControlKind::MultiLineEdit, .maxLength = 1023},
      {.id = 0, .kind = ControlKind::Group, .label = " Smoothing options"},
      {.id = IDC_RESMOOTH_SINGLE,
       .kind = ControlKind::CheckBox,
       .label = "Resmooth single objects",
       .value = o.resmoothSingleObjects},
      {.id = IDC_SMOOTH_WHOLE,
       .kind = ControlKind::CheckBox,
       .label = "Smooth whole scene",
       .value = o.smoothWholeScene},
      {.id = IDC_DISTINGUISH_LODS,
       .kind = ControlKind::CheckBox,
       .label = "Distinguish LODs",
       .value = o.distinguishLODs},
      {.id = IDC_OK, .kind = ControlKind::Button, .label = "OK"},
      {.id = IDC_CANCEL, .kind = ControlKind::Button, .label = "Cancel"},
  };
  return d;
}

bool RunConfigDialog(host::Interface& ip, const std::string& userText, ExportOptions& o, std::string& comment,
                     bool& hasComment) {
  host::DialogModel d = MakeConfigDialog(userText, o);
  int closedBy = ip.UI().RunModal(d);
  if (closedBy != IDC_OK) return false;
  auto checked = [&](int id, bool fallback) {
    const DialogControl* c = d.Find(id);
    return c ? c->value != 0 : fallback;
  };
  o.resmoothSingleObjects = checked(IDC_RESMOOTH_SINGLE, o.resmoothSingleObjects);
  o.smoothWholeScene = checked(IDC_SMOOTH_WHOLE, o.smoothWholeScene);
  o.distinguishLODs = checked(IDC_DISTINGUISH_LODS, o.distinguishLODs);
  if (const DialogControl* c = d.Find(IDC_COMMENT)) {
    comment = c->text.substr(0, 1023);
    hasComment = !comment.empty();
  }
  return true;
}

ProgressWindow::ProgressWindow(host::UserInterface& ui, int nodeCount, const std::string& title) : ui_(ui) {
  thread_ = std::thread([this, nodeCount] { Run(nodeCount); });
  // The window must exist before the export touches it; poll as the host's loop would.
  while (!ready_.load(std::memory_order_acquire)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::lock_guard lock(mutex_);
  if (window_) window_->SetTitle(title);
}

ProgressWindow::~ProgressWindow() { Close(); }

void ProgressWindow::Run(int nodeCount) {
  host::DialogModel d;
  d.title = "Export progress...";
  d.controls = {
      {.id = IDC_PROGRESS_NODES, .kind = ControlKind::ProgressBar, .rangeMax = nodeCount},
      {.id = IDC_PROGRESS_BYTES, .kind = ControlKind::ProgressBar},
      {.id = 0, .kind = ControlKind::Static, .label = "Exporting:"},
      {.id = IDC_NODE_TEXT, .kind = ControlKind::Static},
      {.id = 0, .kind = ControlKind::Static, .label = "Operation:"},
      {.id = IDC_OPERATION_TEXT, .kind = ControlKind::Static},
      {.id = IDC_ABORT, .kind = ControlKind::Button, .label = "Abort", .enabled = false},
  };
  {
    std::lock_guard lock(mutex_);
    window_ = ui_.OpenModeless(d);
    if (window_) {
      window_->SetRange(IDC_PROGRESS_NODES, 0, nodeCount);
      window_->SetPos(IDC_PROGRESS_NODES, 0);
      window_->SetPos(IDC_PROGRESS_BYTES, 0);
      window_->Show(true);
    }
  }
  ready_.store(true, std::memory_order_release);
}

void ProgressWindow::SetStep(const char* node, const char* operation, int barPos) {
  std::lock_guard lock(mutex_);
  if (!window_) return;
  if (node) window_->SetText(IDC_NODE_TEXT, node);
  if (operation) window_->SetText(IDC_OPERATION_TEXT, operation);
  if (barPos >= 0) window_->SetPos(IDC_PROGRESS_NODES, barPos);
}

void ProgressWindow::SetBar2(int rangeMin, int rangeMax, int pos) {
  std::lock_guard lock(mutex_);
  if (!window_) return;
  if (rangeMin >= 0 && (rangeMin != bar2Min_ || rangeMax != bar2Max_)) {
    bar2Min_ = rangeMin;
    bar2Max_ = rangeMax;
    window_->SetRange(IDC_PROGRESS_BYTES, rangeMin, rangeMax);
  }
  window_->SetPos(IDC_PROGRESS_BYTES, pos);
}

void ProgressWindow::Close() {
  if (closing_.exchange(true)) return;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  if (window_) {
    window_->Show(false);
    window_.reset();
  }
}

}  // namespace vorlan::zefexport
