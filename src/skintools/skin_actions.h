// SkinTools' actions, shared by its panel and by `vorlan skin`: saving the selected node's
// skin, the Apply dialog and applying a data file to nodes.
#pragma once

#include <string>
#include <vector>

#include "host/interface.h"
#include "skintools/transfer.h"

namespace vorlan::skintools {

struct SkinToolsState {
  bool saveSelectedOnly = false;
  std::string lastSaved;  // host paths
  std::string lastLoaded;
  ApplySettings apply;
};

// The filter of both file dialogs.
inline constexpr const char* kSkdFilter = "SkinTools Data File (*.skd)|*.skd|All files (*.*)|*.*";

// Controls of the Apply dialog.
enum ApplyDialogControl : int {
  IDC_FILE_LABEL = 200,
  IDC_FILE,
  IDC_BROWSE,
  IDC_OBJECTS_LABEL,
  IDC_METHOD_GROUP,
  IDC_EXACT,
  IDC_NEAREST,
  IDC_INTERPOLATE,
  IDC_MAX_DIST_LABEL,
  IDC_MAX_DIST,
  IDC_THRESHOLD_LABEL,
  IDC_THRESHOLD,
  // The host's own ids of a dialog's OK and Cancel: a user interface that answers by
  // default presses Apply, never "...".
  IDC_APPLY = 1001,
  IDC_CANCEL = 2,
  // "Select object:" offers each skinned node as a check box of its own, in list order.
  IDC_OBJECT_FIRST = 300,
};

// The selected nodes, depth first from the root.
std::vector<host::Node*> SelectedNodes(host::Interface& ip);

// "Save Physique": checks the selection and the skin, asks for the file and saves it. True
// when a file was written.
bool SavePhysique(host::Interface& ip, SkinToolsState& state);

// The Apply button's work: applies the file to each node in turn under a progress display,
// reporting the nodes a method failed on. Shows "Select at least one object." for an empty
// list. Returns how many nodes were applied.
int ApplyToNodes(host::Interface& ip, const std::string& hostPath, const std::vector<host::Node*>& nodes,
                 const ApplySettings& settings);

// Every node with a skin, depth first from the root.
std::vector<host::Node*> SkinnedNodes(host::Interface& ip);

// Runs the modal Apply dialog ("Apply to...").
void RunApplyDialog(host::Interface& ip, SkinToolsState& state);

}  // namespace vorlan::skintools
