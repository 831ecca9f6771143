// What the ShotEditor utility keeps between windows and saves until the host exits: the
// animation rows of the last save or load, the "Hide player's weapon" flag and the last
// files chosen. Nothing of it is stored in a configuration file.
#pragma once

#include <string>
#include <vector>

#include "shoteditor/shot_types.h"

namespace vorlan::shoteditor {

inline constexpr const char* kWindowTitle = "Shot-Editor v1.1";

struct EditorState {
  std::vector<AnimationInfoRow> keptRows;
  bool hideWeapon = false;
  std::string lastDataFile;
  std::string lastAnimationFile;
};

}  // namespace vorlan::shoteditor
