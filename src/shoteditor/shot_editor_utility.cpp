#include "shoteditor/shot_editor_utility.h"

namespace vorlan::shoteditor {

void ShotEditorUtility::BeginEditParams(host::Interface& ip) {
  ip_ = &ip;
  host::DialogModel page{.title = "Parameters"};
  page.controls.push_back(
      {.id = kOpenButton, .kind = host::ControlKind::Button, .label = "Open Shot-Editor"});
  page.controls.push_back({.id = kCloseButton, .kind = host::ControlKind::Button, .label = "Close"});
  page_ = ip.AddRollupPage(page, *this);
}

void ShotEditorUtility::EndEditParams(host::Interface& ip) {
  // The host closes the utility whatever the answer; the question is the chance to save.
  if (window_) window_->Close();
  window_.reset();
  if (page_) ip.DeleteRollupPage(page_);
  page_ = nullptr;
  ip_ = nullptr;
}

void ShotEditorUtility::OnRollupCommand(host::RollupPage&, int controlId) {
  if (!ip_) return;
  if (controlId == kOpenButton) OpenWindow(*ip_);
  if (controlId == kCloseButton) ip_->CloseUtility();
}

ShotEditorWindow& ShotEditorUtility::OpenWindow(host::Interface& ip) {
  if (!window_) window_ = std::make_unique<ShotEditorWindow>(ip, state_);
  return *window_;
}

bool ShotEditorUtility::CloseWindow() {
  if (!window_) return true;
  if (!window_->Close()) return false;
  window_.reset();
  return true;
}

}  // namespace vorlan::shoteditor
