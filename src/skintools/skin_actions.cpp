#include "skintools/skin_actions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "skintools/skin_host.h"
#include "support/file_io.h"

namespace vorlan::skintools {

namespace {

using host::ControlKind;

std::string Format(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// A spinner's value: the typed number within its range; text that is no number keeps the old value.
float SpinnerValue(const std::string& text, float old, float lo, float hi) {
  char* end = nullptr;
  float v = std::strtof(text.c_str(), &end);
  if (end == text.c_str() || !(v == v)) return old;
  return std::clamp(v, lo, hi);
}

void Collect(host::Node* node, std::vector<host::Node*>& out) {
  if (!node->IsRootNode() && FindPhysique(*node)) out.push_back(node);
  for (int i = 0; i < node->NumberOfChildren(); ++i) Collect(node->GetChildNode(i), out);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

host::FilePickerRequest FileDialog(const char* title, const std::string& remembered, bool save) {
  return {.title = title, .filter = kSkdFilter, .initialPath = remembered, .save = save, .defaultExt = "skd"};
}

void CollectSelected(host::Node* node, std::vector<host::Node*>& out) {
  if (!node->IsRootNode() && node->Selected()) out.push_back(node);
  for (int i = 0; i < node->NumberOfChildren(); ++i) CollectSelected(node->GetChildNode(i), out);
}

}  // namespace

std::vector<host::Node*> SelectedNodes(host::Interface& ip) {
  std::vector<host::Node*> out;
  if (host::Node* root = ip.GetRootNode()) CollectSelected(root, out);
  return out;
}

bool SavePhysique(host::Interface& ip, SkinToolsState& state) {
  std::vector<host::Node*> selected = SelectedNodes(ip);
  if (selected.size() != 1) {
    ShowError(ip, "Select only object you want to save...");
    return false;
  }
  host::Node* node = selected.front();
  if (!FindPhysique(*node)) {
    ShowError(ip, "There is no Physique modifier on '" + node->GetName() + "'.");
    return false;
  }
  std::optional<std::string> path = ip.UI().PickFile(FileDialog("Save file...", state.lastSaved, true));
  if (!path) return false;
  state.lastSaved = *path;
  return SaveSkd(ip, *node, ip.MapHostPath(*path), state.saveSelectedOnly);
}

std::vector<host::Node*> SkinnedNodes(host::Interface& ip) {
  std::vector<host::Node*> out;
  if (host::Node* root = ip.GetRootNode()) Collect(root, out);
  return out;
}

int ApplyToNodes(host::Interface& ip, const std::string& hostPath, const std::vector<host::Node*>& nodes,
                 const ApplySettings& settings) {
  if (nodes.empty()) {
    ShowError(ip, "Select at least one object.");
    return 0;
  }
  host::DialogModel progressModel{.title = "SkinTools: setting weights...",
                                  .controls = {{.id = 1, .kind = ControlKind::ProgressBar}}};
  std::unique_ptr<host::ModelessWindow> progress = ip.UI().OpenModeless(progressModel);
  TransferHost host;
  host.progress = [&progress](int percent) {
    if (progress) progress->SetPos(1, percent);
  };
  int applied = 0;
  for (host::Node* node : nodes) {
    if (ApplyPhysique(ip, ip.MapHostPath(hostPath), *node, settings, host))
      ++applied;
    else
      ShowError(ip, "ApplyPhysique() retured FALSE for object: " + node->GetName());
  }
  return applied;
}

void RunApplyDialog(host::Interface& ip, SkinToolsState& state) {
  std::vector<host::Node*> nodes = SkinnedNodes(ip);
  // The list is sorted by name; equal names keep the scene's order.
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](host::Node* a, host::Node* b) { return Lower(a->GetName()) < Lower(b->GetName()); });
  ApplySettings& s = state.apply;
  const bool nearest = s.flags & kApplyNearest, interpolate = !nearest && (s.flags & kApplyInterpolate);
  host::DialogModel dlg{
      .title = "SkinTools: Apply weights",
      .controls = {
          {.id = IDC_FILE_LABEL, .kind = ControlKind::Static, .label = "SkinTools Data file:"},
          {.id = IDC_FILE, .kind = ControlKind::Edit, .text = state.lastLoaded},
          {.id = IDC_BROWSE, .kind = ControlKind::Button, .label = "..."},
          {.id = IDC_OBJECTS_LABEL, .kind = ControlKind::Static, .label = "Select object:"},
          {.id = IDC_METHOD_GROUP, .kind = ControlKind::Group, .label = " Method "},
          {.id = IDC_EXACT,
           .kind = ControlKind::CheckBox,
           .label = "Exact Match (if possible)",
           .value = (s.flags & kApplyExact) ? 1 : 0},
          {.id = IDC_NEAREST,
           .kind = ControlKind::RadioButton,
           .label = "Find Nearest",
           .value = nearest ? 1 : 0},
          {.id = IDC_MAX_DIST_LABEL, .kind = ControlKind::Static, .label = "Max dist:"},
          {.id = IDC_MAX_DIST, .kind = ControlKind::Edit, .text = Format(s.maxDistance)},
          {.id = IDC_INTERPOLATE,
           .kind = ControlKind::RadioButton,
           .label = "Interpolate Weights",
           .value = interpolate ? 1 : 0},
          {.id = IDC_THRESHOLD_LABEL, .kind = ControlKind::Static, .label = "Treshold:"},
          {.id = IDC_THRESHOLD, .kind = ControlKind::Edit, .text = Format(s.threshold)},
          {.id = IDC_APPLY, .kind = ControlKind::Button, .label = "Apply"},
          {.id = IDC_CANCEL, .kind = ControlKind::Button, .label = "Cancel"},
      }};
  // The list allows several choices: one check box per node, sorted as the list sorts.
  for (std::size_t i = 0; i < nodes.size(); ++i)
    dlg.controls.insert(dlg.controls.begin() + 4 + static_cast<std::ptrdiff_t>(i),
                        {.id = IDC_OBJECT_FIRST + static_cast<int>(i),
                         .kind = ControlKind::CheckBox,
                         .label = nodes[i]->GetName()});
  for (;;) {
    int button = ip.UI().RunModal(dlg);
    if (button == IDC_BROWSE) {
      // The open dialog is part of the Apply dialog: it fills the file field and the dialog goes on.
      host::DialogControl* file = dlg.Find(IDC_FILE);
      if (auto path = ip.UI().PickFile(FileDialog("Load file...", state.lastLoaded, false))) {
        state.lastLoaded = *path;
        file->text = *path;
      }
      continue;
    }
    // Closing by either button stores the method and the two values.
    s.flags = (dlg.Find(IDC_EXACT)->value ? kApplyExact : 0) |
              (dlg.Find(IDC_NEAREST)->value ? kApplyNearest : 0) |
              (dlg.Find(IDC_INTERPOLATE)->value && !dlg.Find(IDC_NEAREST)->value ? kApplyInterpolate : 0);
    s.maxDistance = SpinnerValue(dlg.Find(IDC_MAX_DIST)->text, s.maxDistance, 0.00001f, 1000.0f);
    s.threshold = SpinnerValue(dlg.Find(IDC_THRESHOLD)->text, s.threshold, 1.0f, 1000.0f);
    if (button != IDC_APPLY) return;
    std::vector<host::Node*> chosen;
    for (std::size_t i = 0; i < nodes.size(); ++i)
      if (dlg.Find(IDC_OBJECT_FIRST + static_cast<int>(i))->value) chosen.push_back(nodes[i]);
    ApplyToNodes(ip, dlg.Find(IDC_FILE)->text, chosen, s);
    return;
  }
}

}  // namespace vorlan::skintools
