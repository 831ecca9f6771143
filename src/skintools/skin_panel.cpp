#include "skintools/skin_panel.h"

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::skintools {

namespace {

using host::ControlKind;

std::string ConfigPath(host::Interface& ip) {
  return ip.MapHostPath(ip.GetPlugCfgDir() + "\\" + kSkinConfigFileName);
}

void WriteConfig(host::Interface& ip) {
  std::vector<uint8_t> bytes;
  support::ByteWriter(bytes).I32(1);
  support::WriteFileAtomic(ConfigPath(ip), bytes);
}

}  // namespace

host::DialogModel SkinPanelModel(const SkinToolsState& state) {
  return {.title = "Parameters",
          .controls = {
              {.id = IDC_SAVE_GROUP, .kind = ControlKind::Group, .label = " Save... "},
              {.id = IDC_SAVE_ALL,
               .kind = ControlKind::RadioButton,
               .label = "Save all vertices",
               .value = state.saveSelectedOnly ? 0 : 1},
              {.id = IDC_SAVE_SELECTED,
               .kind = ControlKind::RadioButton,
               .label = "Save selected only",
               .value = state.saveSelectedOnly ? 1 : 0},
              {.id = IDC_SAVE_PHYSIQUE, .kind = ControlKind::Button, .label = "Save Physique"},
              {.id = IDC_LOAD_GROUP, .kind = ControlKind::Group, .label = " Load... "},
              {.id = IDC_APPLY_TO, .kind = ControlKind::Button, .label = "Apply to..."},
              {.id = IDC_CLOSE, .kind = ControlKind::Button, .label = "Close"},
          }};
}

void SkinToolsUtility::BeginEditParams(host::Interface& ip) {
  ip_ = &ip;
  page_ = ip.AddRollupPage(SkinPanelModel(state_), *this);
  // The file says nothing; it only has to exist.
  if (!support::FileExists(ConfigPath(ip))) WriteConfig(ip);
}

void SkinToolsUtility::EndEditParams(host::Interface& ip) {
  if (page_) {
    state_.saveSelectedOnly = page_->Model().Find(IDC_SAVE_SELECTED)->value != 0;
    ip.DeleteRollupPage(page_);
  }
  WriteConfig(ip);
  page_ = nullptr;
  ip_ = nullptr;
}

void SkinToolsUtility::OnRollupCommand(host::RollupPage& page, int controlId) {
  host::DialogModel& m = page.Model();
  switch (controlId) {
    case IDC_SAVE_ALL:
    case IDC_SAVE_SELECTED: {
      bool selected =
          controlId == IDC_SAVE_SELECTED ? m.Find(controlId)->value != 0 : m.Find(controlId)->value == 0;
      m.Find(IDC_SAVE_ALL)->value = selected ? 0 : 1;
      m.Find(IDC_SAVE_SELECTED)->value = selected ? 1 : 0;
      state_.saveSelectedOnly = selected;
      page.Update();
      break;
    }
    case IDC_SAVE_PHYSIQUE: {
      for (auto& c : m.controls) c.enabled = false;
      page.Update();
      SavePhysique(*ip_, state_);
      for (auto& c : m.controls) c.enabled = true;
      page.Update();
      break;
    }
    case IDC_APPLY_TO:
      RunApplyDialog(*ip_, state_);
      break;
    case IDC_CLOSE:
      ip_->CloseUtility();
      break;
    default:
      break;
  }
}

SkinToolsUtility& TheSkinTools() {
  static SkinToolsUtility utility;
  return utility;
}

const host::StringTable& SkinToolsStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "SkinTools: saves skin weights and applies them to other meshes"},
      {host::IDS_CLASS_NAME, "SkinTools"},
      {host::IDS_CATEGORY, "Vorlan Utilities"},
  };
  return strings;
}

}  // namespace vorlan::skintools
