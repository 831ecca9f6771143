#include "mapwright/utility.h"

namespace vorlan::mapwright {

const host::StringTable& MapwrightStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Vorlan texture-coordinate editor"},
      {host::IDS_CLASS_NAME, "Mapwright"},
      {host::IDS_CATEGORY, "Vorlan Utilities"},
  };
  return strings;
}

host::DialogModel RollupPage() {
  host::DialogModel m;
  m.title = "params";
  m.controls = {
      {.id = kRollupPicture, .kind = host::ControlKind::Static, .label = "Mapwright"},
      {.id = kRollupTexture, .kind = host::ControlKind::Button, .label = "Texture!"},
      {.id = kRollupClose, .kind = host::ControlKind::Button, .label = "Close"},
  };
  return m;
}

void MapwrightUtility::BeginEditParams(host::Interface& ip) {
  ip_ = &ip;
  settings_ = LoadSettings(ip);
  page_ = ip.AddRollupPage(RollupPage(), *this);
}

void MapwrightUtility::EndEditParams(host::Interface& ip) {
  session_.reset();
  SaveSettings(ip, settings_);
  if (page_) ip.DeleteRollupPage(page_);
  page_ = nullptr;
  ip_ = nullptr;
}

void MapwrightUtility::OnRollupCommand(host::RollupPage&, int controlId) {
  if (!ip_) return;
  if (controlId == kRollupTexture) OpenWindow();
  if (controlId == kRollupClose) ip_->CloseUtility();
}

Session* MapwrightUtility::OpenWindow() {
  if (!ip_) return nullptr;
  if (!session_) session_ = std::make_unique<Session>(*ip_, settings_);
  session_->tool = Tool::None;
  return session_.get();
}

void MapwrightUtility::CloseWindow(int left, int top, int width, int height) {
  session_.reset();
  settings_.windowLeft = left;
  settings_.windowTop = top;
  ClampWindowSize(width, height);
  settings_.windowWidth = width;
  settings_.windowHeight = height;
}

MapwrightUtility& TheMapwrightUtility() {
  static MapwrightUtility utility;
  return utility;
}

}  // namespace vorlan::mapwright
