// The workbench's Utilities panel: the loaded utility plug-ins by category, the one that is
// open, and its rollup pages. The console, the tests and the desktop open a utility and
// press its buttons through this panel; the utility sees an ordinary host.
//
// Closing is deferred while a page's handler runs: a "Close" button ends its own utility,
// and the pages must outlive the handler that asked.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/interface.h"
#include "workbench/plugin_loader.h"

namespace vorlan::workbench {

// The category under which this pipeline's utilities are listed.
inline constexpr const char* kVorlanUtilitiesCategory = "Vorlan Utilities";

class UtilitiesPanel {
 public:
  // The host is the one the utilities are given; it must outlive the panel.
  explicit UtilitiesPanel(host::Interface& ip);
  UtilitiesPanel(const UtilitiesPanel&) = delete;
  UtilitiesPanel& operator=(const UtilitiesPanel&) = delete;
  ~UtilitiesPanel();

  // The loaded modules to list; borrowed, may be null (then the panel is empty).
  void SetPlugins(const PluginLoader* plugins) { plugins_ = plugins; }

  // Utilities of one category (empty: every category), in load order.
  std::vector<const LoadedClass*> List(std::string_view category = kVorlanUtilitiesCategory) const;
  // The categories of the loaded utilities, each once, sorted.
  std::vector<std::string> Categories() const;

  // Opens a utility by class name (without regard to case), closing the open one first.
  // False when no loaded utility has that name.
  bool Open(std::string_view className);
  // Ends the open utility: its EndEditParams removes its pages. Deferred while a handler runs.
  void Close();
  const LoadedClass* Current() const { return current_; }

  // The open utility's pages, in the order it added them.
  std::vector<host::RollupPage*> Pages() const;
  // Presses a control of a page (a button, or a changed check box, edit or list whose new
  // value the caller has set in the page's model). False when there is no such enabled
  // control.
  bool Press(host::RollupPage& page, int controlId);
  // Tells the page's utility that one of its controls gained or lost the keyboard focus.
  bool Focus(host::RollupPage& page, int controlId, bool gained);
  // Presses the first enabled control of that label on any page; false when none.
  bool Press(std::string_view label);

  // The host's side, for Interface::AddRollupPage and friends.
  host::RollupPage* AddPage(const host::DialogModel& model, host::RollupHandler& handler);
  void DeletePage(host::RollupPage* page);
  void RequestClose();

 private:
  class Page;
  void ShowPages();
  void FinishHandler();

  host::Interface& ip_;
  const PluginLoader* plugins_ = nullptr;
  const LoadedClass* current_ = nullptr;
  PluginPtr<host::UtilityObj> utility_;
  std::vector<std::unique_ptr<Page>> pages_;
  int handlerDepth_ = 0;
  bool closeRequested_ = false;
};

}  // namespace vorlan::workbench
