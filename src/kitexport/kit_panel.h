// KitExport as a utility of the host: its rollup panel over the settings and the runs.
#pragma once

#include "host/interface.h"
#include "host/plugin.h"
#include "host/rollup.h"
#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

enum KitControl : int {
  IDC_GENERATE = 100,
  IDC_ENGINE_LABEL,
  IDC_ENGINE,
  IDC_ENGINE_BROWSE,
  IDC_EXPORT_LABEL,
  IDC_EXPORT,
  IDC_EXPORT_BROWSE,
  IDC_ZEF_LABEL,
  IDC_ZEF,
  IDC_ZEF_BROWSE,
  IDC_GENERATE_INDEX,
  IDC_REWRITE,
  IDC_GENERATED_LABEL,
  IDC_GENERATED,
  IDC_CLOSE,
};

host::DialogModel KitPanelModel(const KitSettings& settings);
KitSettings SettingsFromPanel(const host::DialogModel& panel);

// A "..." button: asks for a folder and puts it into the edit. An export or zef folder must
// lie under the engine path (in the edit); otherwise "Wrong path!..." and nothing changes.
void BrowseFolder(host::Interface& ip, host::DialogModel& panel, int editId);

class KitExportUtility : public host::UtilityObj, public host::RollupHandler {
 public:
  void BeginEditParams(host::Interface& ip) override;
  void EndEditParams(host::Interface& ip) override;
  void DeleteThis() override {}
  void OnRollupCommand(host::RollupPage& page, int controlId) override;
  // Typing a path must not trigger the host's shortcuts.
  void OnRollupFocus(host::RollupPage& page, int controlId, bool gained) override;

 private:
  host::Interface* ip_ = nullptr;
  host::RollupPage* page_ = nullptr;
};

KitExportUtility& TheKitExport();
const host::StringTable& KitExportStrings();

}  // namespace vorlan::kitexport
