// SkinTools as a utility of the host: its rollup panel, its Apply dialog and the state that
// lasts until the host exits.
#pragma once

#include <string>
#include <vector>

#include "host/interface.h"
#include "host/plugin.h"
#include "host/rollup.h"
#include "skintools/skin_actions.h"

namespace vorlan::skintools {

inline constexpr const char* kSkinConfigFileName = "SkinTools.cfg";

// Controls of the panel.
enum SkinControl : int {
  IDC_SAVE_GROUP = 100,
  IDC_SAVE_ALL,
  IDC_SAVE_SELECTED,
  IDC_SAVE_PHYSIQUE,
  IDC_LOAD_GROUP,
  IDC_APPLY_TO,
  IDC_CLOSE,
};

// The panel's page model with the state's save mode.
host::DialogModel SkinPanelModel(const SkinToolsState& state);

class SkinToolsUtility : public host::UtilityObj, public host::RollupHandler {
 public:
  void BeginEditParams(host::Interface& ip) override;
  void EndEditParams(host::Interface& ip) override;
  void DeleteThis() override {}
  void OnRollupCommand(host::RollupPage& page, int controlId) override;

  SkinToolsState& State() { return state_; }

 private:
  host::Interface* ip_ = nullptr;
  host::RollupPage* page_ = nullptr;
  SkinToolsState state_;
};

// The one instance the class descriptor hands out.
SkinToolsUtility& TheSkinTools();
const host::StringTable& SkinToolsStrings();

}  // namespace vorlan::skintools
