// The ShotEditor utility: its rollup ("Open Shot-Editor", "Close"), the one window it
// opens on demand, and the state it keeps for as long as the host runs.
#pragma once

#include <memory>

#include "host/plugin.h"
#include "shoteditor/editor_state.h"
#include "shoteditor/shot_editor_window.h"

namespace vorlan::shoteditor {

enum RollupControl : int { kOpenButton = 1001, kCloseButton = 1002 };

class ShotEditorUtility : public host::UtilityObj, public host::RollupHandler {
 public:
  void BeginEditParams(host::Interface& ip) override;
  // Closing the utility closes its window too (asking about unsaved work first): the
  // window must not outlive the host it was given.
  void EndEditParams(host::Interface& ip) override;
  void DeleteThis() override {}
  void OnRollupCommand(host::RollupPage& page, int controlId) override;

  // Creates the window, or shows the one that exists.
  ShotEditorWindow& OpenWindow(host::Interface& ip);
  // The closing question; false when the window stays open.
  bool CloseWindow();
  ShotEditorWindow* Window() { return window_.get(); }
  EditorState& State() { return state_; }

 private:
  host::Interface* ip_ = nullptr;
  host::RollupPage* page_ = nullptr;
  EditorState state_;
  std::unique_ptr<ShotEditorWindow> window_;
};

}  // namespace vorlan::shoteditor
