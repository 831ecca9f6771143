#include "shoteditor/save_wizard.h"

#include <cctype>
#include <optional>

#include "shoteditor/engine_root.h"
#include "shoteditor/shd_io.h"

namespace vorlan::shoteditor {

namespace {

constexpr const char* kAnimationFilter =
    "All supported types|*.stg;*.va;*.manm|Stg animations (*.stg)|*.stg|VA animations (*.va)|*.va|"
    "Manm animations (*.manm)|*.manm|All files (*.*)|*.*";

bool ValidRow(const std::vector<WizardRow>& rows, int i) {
  return i >= 0 && i < static_cast<int>(rows.size());
}

std::string Cells(const WizardRow& r) {
  return r.dummyName + "\t" + r.entityName + "\t" + r.startTime + "\t" + r.path;
}

}  // namespace

int32_t ParseStartTime(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(v);
}

SaveWizard::SaveWizard(const EditorState& state) : hideWeapon(state.hideWeapon) {
  for (const AnimationInfoRow& r : state.keptRows)
    rows.push_back({r.checked, r.dummyName, r.entityName, std::to_string(r.startTime), r.path});
}

void SaveWizard::ClickRow(int index) {
  if (!ValidRow(rows, index)) {
    selected = -1;
    return;
  }
  selected = index;
  const WizardRow& r = rows[static_cast<std::size_t>(index)];
  dummyName = r.dummyName;
  entityName = r.entityName;
  startTime = r.startTime;
  path = r.path;
}

bool SaveWizard::AddLine(host::Interface& ip) {
  if (dummyName.empty()) {
    ip.UI().Beep(host::Icon::Warning);
    return false;
  }
  int at = ValidRow(rows, selected) ? selected + 1 : static_cast<int>(rows.size());
  rows.insert(rows.begin() + at, WizardRow{false, dummyName, entityName, startTime, path});
  return true;
}

void SaveWizard::ChangeLine() {
  if (!ValidRow(rows, selected)) return;
  WizardRow& r = rows[static_cast<std::size_t>(selected)];
  r.dummyName = dummyName;
  r.entityName = entityName;
  r.startTime = startTime;
  r.path = path;
}

void SaveWizard::DeleteLine() {
  if (!ValidRow(rows, selected)) return;
  rows.erase(rows.begin() + selected);
  if (selected >= static_cast<int>(rows.size())) selected = static_cast<int>(rows.size()) - 1;
}

void SaveWizard::Browse(host::Interface& ip, EditorState& state) {
  auto chosen = ip.UI().PickFile({.title = "Choose file",
                                  .filter = kAnimationFilter,
                                  .initialPath = state.lastAnimationFile,
                                  .defaultExt = "stg"});
  if (!chosen) return;
  state.lastAnimationFile = *chosen;
  if (auto relative = PathBelowEngineRoot(*chosen)) {
    path = *relative;
    return;
  }
  ip.UI().MessageBox(
      {.text = "Could not find the root of engine! You have to edit the path manually to be relative "
               "to Vexn root directory.",
       .caption = "Warning",
       .icon = host::Icon::Warning});
  path = *chosen;
}

host::DialogModel SaveWizard::ToDialog() const {
  using host::ControlKind;
  host::DialogModel d{.title = "Shot-Editor: Save Wizard"};
  auto edit = [&](int id, const char* label, const std::string& text) {
    d.controls.push_back({.id = id, .kind = ControlKind::Edit, .label = label, .text = text});
  };
  d.controls.push_back(
      {.id = kWizInfoFrame, .kind = ControlKind::Group, .label = " Additional animation info "});
  edit(kWizDummy, "Dummy name", dummyName);
  edit(kWizEntity, "Entity name", entityName);
  edit(kWizTime, "Time", startTime);
  edit(kWizPath, "Animation path (relative to engine root):", path);
  d.controls.push_back({.id = kWizBrowse, .kind = ControlKind::Button, .label = "..."});
  d.controls.push_back({.id = kWizAdd, .kind = ControlKind::Button, .label = "&Add line"});
  d.controls.push_back({.id = kWizChange, .kind = ControlKind::Button, .label = "&Change line"});
  d.controls.push_back({.id = kWizDelete, .kind = ControlKind::Button, .label = "&Delete line"});
  host::DialogControl list{.id = kWizList, .kind = ControlKind::ListView, .value = selected};
  list.columns = {"Dummy name", "Entity name", "Start time", "Animation path"};
  list.columnWidths = {120, 120, 80, 360};
  for (const WizardRow& r : rows) {
    list.items.push_back(Cells(r));
    list.checks.push_back(r.checked ? 1 : 0);
  }
  d.controls.push_back(std::move(list));
  d.controls.push_back({.id = kWizOptionsFrame, .kind = ControlKind::Group, .label = " Additional options "});
  d.controls.push_back({.id = kWizHideWeapon,
                        .kind = ControlKind::CheckBox,
                        .label = "Hide player's weapon",
                        .value = hideWeapon});
  d.controls.push_back({.id = kWizExportCameras,
                        .kind = ControlKind::CheckBox,
                        .label = "Export animations of used cameras (filename.manm)",
                        .value = exportCameras});
  d.controls.push_back({.id = kWizSave, .kind = ControlKind::Button, .label = "&Save"});
  d.controls.push_back({.id = kWizCancel, .kind = ControlKind::Button, .label = "Cancel"});
  return d;
}

void SaveWizard::FromDialog(const host::DialogModel& d) {
  auto text = [&](int id, std::string& into) {
    if (const host::DialogControl* c = d.Find(id)) into = c->text;
  };
  text(kWizDummy, dummyName);
  text(kWizEntity, entityName);
  text(kWizTime, startTime);
  text(kWizPath, path);
  if (const host::DialogControl* list = d.Find(kWizList)) {
    for (std::size_t i = 0; i < rows.size() && i < list->checks.size(); ++i)
      rows[i].checked = list->checks[i] != 0;
    selected = ValidRow(rows, list->value) ? list->value : -1;
  }
  if (const host::DialogControl* c = d.Find(kWizHideWeapon)) hideWeapon = c->value != 0;
  if (const host::DialogControl* c = d.Find(kWizExportCameras)) exportCameras = c->value != 0;
}

bool RunSaveWizard(host::Interface& ip, EditorState& state, ShotList& list) {
  SaveWizard wizard(state);
  // What the user could have changed since a save failed; see below.
  auto signature = [&] {
    std::string s =
        wizard.dummyName + '\n' + wizard.entityName + '\n' + wizard.startTime + '\n' + wizard.path;
    for (const WizardRow& r : wizard.rows) s += '\n' + Cells(r) + (r.checked ? "+" : "-");
    return s + char('0' + wizard.hideWeapon) + char('0' + wizard.exportCameras);
  };
  std::optional<std::string> failedWith;
  for (;;) {
    host::DialogModel dialog = wizard.ToDialog();
    int pressed = ip.UI().RunModal(dialog);
    wizard.FromDialog(dialog);
    switch (pressed) {
      case kWizList:
        wizard.ClickRow(wizard.selected);
        break;
      case kWizBrowse:
        wizard.Browse(ip, state);
        break;
      case kWizAdd:
        wizard.AddLine(ip);
        break;
      case kWizChange:
        wizard.ChangeLine();
        break;
      case kWizDelete:
        wizard.DeleteLine();
        break;
      case kWizSave: {
        // A host that answers without a person presses "&Save" again and again with
        // nothing changed; the second such failure in a row ends the wizard as Cancel does.
        std::string now = signature();
        if (SaveShotList(ip, state, list, {wizard.rows, wizard.hideWeapon, wizard.exportCameras}))
          return true;
        if (failedWith == now) return false;
        failedWith = now;
        continue;
      }
      default:
        return false;  // "Cancel" or the window closed
    }
    failedWith.reset();
  }
}

}  // namespace vorlan::shoteditor
