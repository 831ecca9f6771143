// The Save Wizard: the dialog through which every save goes. It edits a copy of the kept
// animation rows; "&Save" writes the data file (and exports the used cameras when asked),
// "Cancel" drops the edits.
//
// The wizard is a model with one method per control, and RunSaveWizard shows it through
// the host's modal dialogs: each press that does not close the wizard comes back, is
// applied, and the dialog is shown again with the new state.
#pragma once

#include <string>
#include <vector>

#include "host/interface.h"
#include "shoteditor/editor_state.h"
#include "shoteditor/shot_list.h"

namespace vorlan::shoteditor {

// Control ids of the wizard's dialog.
enum WizardControl : int {
  kWizSave = 1,
  kWizCancel = 2,
  kWizDummy = 1001,
  kWizEntity = 1002,
  kWizTime = 1003,
  kWizPath = 1004,
  kWizBrowse = 1005,
  kWizAdd = 1006,
  kWizChange = 1007,
  kWizDelete = 1008,
  kWizList = 1009,
  kWizHideWeapon = 1010,
  kWizExportCameras = 1011,
  kWizInfoFrame = 1012,
  kWizOptionsFrame = 1013,
};

// One row of the wizard's list: its four columns as the list shows them, and its check box.
struct WizardRow {
  bool checked = false;
  std::string dummyName;
  std::string entityName;
  std::string startTime;  // text; read as a decimal integer when saved
  std::string path;
};

class SaveWizard {
 public:
  // Filled from the kept rows and flag; "Export animations of used cameras" starts ticked.
  explicit SaveWizard(const EditorState& state);

  // The four edits of the row being composed.
  std::string dummyName, entityName, startTime, path;
  std::vector<WizardRow> rows;
  int selected = -1;
  bool hideWeapon = false;
  bool exportCameras = true;

  // Copies the clicked row's columns into the edits.
  void ClickRow(int index);
  // False (and a beep) when the dummy name is empty.
  bool AddLine(host::Interface& ip);
  void ChangeLine();
  void DeleteLine();
  // The file dialog for an animation file; its path, relative to the engine root, goes
  // into the path edit.
  void Browse(host::Interface& ip, EditorState& state);

  host::DialogModel ToDialog() const;
  // Takes the user's edits, check boxes and selection back from the dialog.
  void FromDialog(const host::DialogModel& dialog);
};

// Runs the wizard; true when it saved (and closed).
bool RunSaveWizard(host::Interface& ip, EditorState& state, ShotList& list);

// The "Start time" text as a decimal integer: leading blanks and a sign, then digits up to
// the first other character; no digits give 0, too many the nearest 32-bit value.
int32_t ParseStartTime(const std::string& text);

}  // namespace vorlan::shoteditor
