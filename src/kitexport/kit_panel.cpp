#include "kitexport/kit_panel.h"

#include "kitexport/kit_config.h"
#include "kitexport/kit_run.h"

namespace vorlan::kitexport {

namespace {

using host::ControlKind;

struct Browse {
  int edit;
  const char* title;
};
constexpr Browse kBrowse[] = {
    {IDC_ENGINE, "Set path to engine:"},
    {IDC_EXPORT, "Set path for Eqp export:"},
    {IDC_ZEF, "Set path to Zef files:"},
};

std::string ConfigPath(host::Interface& ip) { return ip.MapHostPath(KitConfigPath(ip.GetPlugCfgDir())); }

}  // namespace

host::DialogModel KitPanelModel(const KitSettings& s) {
  return {.title = "Parameters",
          .controls = {
              {.id = IDC_GENERATE, .kind = ControlKind::Button, .label = "Generate Eqps"},
              {.id = IDC_ENGINE_LABEL, .kind = ControlKind::Static, .label = "Engine path (D:\\Vexn\\Data):"},
              {.id = IDC_ENGINE, .kind = ControlKind::Edit, .text = s.enginePath, .maxLength = 259},
              {.id = IDC_ENGINE_BROWSE, .kind = ControlKind::Button, .label = "..."},
              {.id = IDC_EXPORT_LABEL, .kind = ControlKind::Static, .label = "Export path (G\\Equipments):"},
              {.id = IDC_EXPORT, .kind = ControlKind::Edit, .text = s.exportPath, .maxLength = 259},
              {.id = IDC_EXPORT_BROWSE, .kind = ControlKind::Button, .label = "..."},
              {.id = IDC_ZEF_LABEL, .kind = ControlKind::Static, .label = "Zef path (G\\Objects):"},
              {.id = IDC_ZEF, .kind = ControlKind::Edit, .text = s.zefPath, .maxLength = 259},
              {.id = IDC_ZEF_BROWSE, .kind = ControlKind::Button, .label = "..."},
              {.id = IDC_GENERATE_INDEX,
               .kind = ControlKind::CheckBox,
               .label = "Generate .ini file",
               .value = s.generateIndex},
              {.id = IDC_REWRITE,
               .kind = ControlKind::CheckBox,
               .label = "Rewrite existing .eqp files",
               .value = s.rewrite},
              {.id = IDC_GENERATED_LABEL, .kind = ControlKind::Static, .label = "Generated eqps:"},
              {.id = IDC_GENERATED, .kind = ControlKind::ListBox},
              {.id = IDC_CLOSE, .kind = ControlKind::Button, .label = "Close"},
          }};
}

KitSettings SettingsFromPanel(const host::DialogModel& panel) {
  return {.enginePath = panel.Find(IDC_ENGINE)->text,
          .exportPath = panel.Find(IDC_EXPORT)->text,
          .zefPath = panel.Find(IDC_ZEF)->text,
          .generateIndex = panel.Find(IDC_GENERATE_INDEX)->value != 0,
          .rewrite = panel.Find(IDC_REWRITE)->value != 0};
}

void BrowseFolder(host::Interface& ip, host::DialogModel& panel, int editId) {
  const Browse* b = nullptr;
  for (const Browse& entry : kBrowse)
    if (entry.edit == editId) b = &entry;
  if (!b) return;
  std::optional<std::string> picked = ip.UI().PickFolder(b->title);
  if (!picked) return;
  if (editId == IDC_ENGINE) {
    panel.Find(IDC_ENGINE)->text = *picked;
    return;
  }
  std::string relative;
  if (!RelativeFromPicked(*picked, panel.Find(IDC_ENGINE)->text, relative)) {
    ip.UI().MessageBox({.text = "Wrong path!\nThe path must be relative to engine path.",
                        .caption = "Error",
                        .icon = host::Icon::Error});
    return;
  }
  panel.Find(editId)->text = relative;
}

void KitExportUtility::BeginEditParams(host::Interface& ip) {
  ip_ = &ip;
  KitSettings settings = LoadKitConfig(ConfigPath(ip), KitSettings{});
  page_ = ip.AddRollupPage(KitPanelModel(settings), *this);
}

void KitExportUtility::EndEditParams(host::Interface& ip) {
  if (page_) {
    SaveKitConfig(ConfigPath(ip), SettingsFromPanel(page_->Model()));
    ip.DeleteRollupPage(page_);
  }
  page_ = nullptr;
  ip_ = nullptr;
}

void KitExportUtility::OnRollupCommand(host::RollupPage& page, int controlId) {
  host::DialogModel& m = page.Model();
  switch (controlId) {
    case IDC_GENERATE: {
      m.Find(IDC_GENERATED)->items.clear();
      page.Update();
      KitRunResult r = RunKitExport(*ip_, SettingsFromPanel(m), ip_->GetCurFileName());
      m.Find(IDC_GENERATED)->items = r.generated;
      page.Update();
      break;
    }
    case IDC_ENGINE_BROWSE:
    case IDC_EXPORT_BROWSE:
    case IDC_ZEF_BROWSE:
      BrowseFolder(*ip_, m, controlId - 1);
      page.Update();
      break;
    case IDC_CLOSE:
      ip_->CloseUtility();
      break;
    default:
      break;
  }
}

void KitExportUtility::OnRollupFocus(host::RollupPage&, int controlId, bool gained) {
  if (controlId != IDC_ENGINE && controlId != IDC_EXPORT && controlId != IDC_ZEF) return;
  if (gained)
    ip_->DisableAccelerators();
  else
    ip_->EnableAccelerators();
}

KitExportUtility& TheKitExport() {
  static KitExportUtility utility;
  return utility;
}

const host::StringTable& KitExportStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "KitExport: equipment files for characters' bones"},
      {host::IDS_CLASS_NAME, "Eqp Export"},
      {host::IDS_CATEGORY, "Vorlan Utilities"},
  };
  return strings;
}

}  // namespace vorlan::kitexport
