// The Mapwright utility: its rollup in the host's Utilities panel, the settings that live
// while the rollup is open, and the editing window's session opened from it.
#pragma once

#include <memory>

#include "host/plugin.h"
#include "host/rollup.h"
#include "mapwright/session.h"
#include "mapwright/settings.h"

namespace vorlan::mapwright {

const host::StringTable& MapwrightStrings();

enum RollupControl : int {
  kRollupPicture = 200,
  kRollupTexture,  // "Texture!"
  kRollupClose,    // "Close"
};
// The rollup page: a picture, "Texture!" and "Close", titled "params".
host::DialogModel RollupPage();

class MapwrightUtility : public host::UtilityObj, private host::RollupHandler {
 public:
  // Opening the rollup: defaults, then "Mapwright!.cfg", and the page in the host's panel.
  void BeginEditParams(host::Interface& ip) override;
  // Closing it: the window goes, the settings are written back.
  void EndEditParams(host::Interface& ip) override;
  // The host keeps one shared instance; nothing to free.
  void DeleteThis() override {}

  // "Texture!": the window's session, made when there is none (the tool becomes none).
  Session* OpenWindow();
  // The window closes: its session ends and its position and size stay in the settings.
  void CloseWindow(int left, int top, int width, int height);
  Session* Window() { return session_.get(); }
  Settings& GetSettings() { return settings_; }
  bool Open() const { return ip_ != nullptr; }

 private:
  // "Texture!" opens the window, "Close" closes the utility.
  void OnRollupCommand(host::RollupPage& page, int controlId) override;

  host::Interface* ip_ = nullptr;
  host::RollupPage* page_ = nullptr;
  Settings settings_;
  std::unique_ptr<Session> session_;
};

// The one instance the module hands out.
MapwrightUtility& TheMapwrightUtility();

}  // namespace vorlan::mapwright
