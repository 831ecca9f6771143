// Saving and loading the shot list through the host: the file dialogs, the messages, the
// scene look-ups, and the export of the used cameras' animation through KeyExport.
#pragma once

#include <string>
#include <vector>

#include "host/interface.h"
#include "shoteditor/editor_state.h"
#include "shoteditor/save_wizard.h"
#include "shoteditor/shot_list.h"

namespace vorlan::shoteditor {

inline constexpr const char* kShdFilter = "Shot-Editor Data File (*.shd)|*.shd|All files (*.*)|*.*";

// What a save writes besides the list: the wizard's rows and options.
struct SaveOptions {
  std::vector<WizardRow> rows;
  bool hideWeapon = false;
  bool exportCameras = true;
};

// The whole save: the file dialog, the file, the title, the cameras' export and the dirty
// flag. False when the dialog was cancelled or the file could not be written.
bool SaveShotList(host::Interface& ip, EditorState& state, ShotList& list, const SaveOptions& options);
// Writes the data file at `path`: the header from the Global TimeLine, the options, every
// command and every row with its dummy's transform. The written rows become the kept ones.
bool WriteShotFile(host::Interface& ip, EditorState& state, const ShotList& list, const SaveOptions& options,
                   const std::string& path);
// The animation file beside a data file: everything up to the last '.', then ".manm".
std::string ManmPathFor(const std::string& shdPath);
// Selects the used cameras and the rows' dummies and has KeyExport write their animation.
void ExportUsedCameras(host::Interface& ip, const ShotList& list, const std::vector<std::string>& dummyNames,
                       const std::string& manmPath);

enum class LoadOutcome { Cancelled, CannotOpen, WrongMagic, Corrupted, Stopped, Loaded };

// The file dialog, then LoadShotFile.
LoadOutcome LoadShotList(host::Interface& ip, EditorState& state, ShotList& list);
// Reads a data file into the list, the host's time settings and the kept rows. A file that
// cannot be read, is not a data file or is damaged changes nothing. A camera the scene
// lacks is asked about; "No" stops there and keeps what was read.
LoadOutcome LoadShotFile(host::Interface& ip, EditorState& state, ShotList& list, const std::string& path);

// Whether a node's evaluated object is a camera at the host's current time.
bool IsCameraNode(host::Interface& ip, host::Node* node);

}  // namespace vorlan::shoteditor
